// libFuzzer target over the requests zephor-import --serve reads. Checked for every input: it
// ends in requests or in a FileError whose message is one line; the requests read, written again
// in their wire form, are exactly the bytes read before the end or the error (nothing is skipped,
// added or read twice), and no field is larger than the reader's limits.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "import/errors.hpp"
#include "import/request_reader.hpp"

namespace zi = zephor::importer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("requests", 0);
    if (fd < 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (::write(fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return 0;
    }
    zi::RequestReader reader(fd);
    std::string again;
    bool ended = false;
    try {
        zi::ImportRequest r;
        while (reader.next(r)) {
            if (r.arguments.size() > zi::RequestReader::most_arguments) std::abort();
            again += zi::encoded(r);
        }
        ended = true;
    } catch (const zi::FileError& e) {
        const std::string m = e.what();
        if (m.empty() || m.find('\n') != std::string::npos) std::abort();
    }
    ::close(fd);
    // Whole requests only: an input that ends cleanly is its requests; one that fails holds them
    // as its beginning.
    if (ended ? again != input : input.compare(0, again.size(), again) != 0) std::abort();
    return 0;
}
