// Whole-file reads of FOR005.
#include "driver/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zephor {

InputFile InputFile::open(const std::string& name, int unit) {
    // Only a regular file (or a link to one) can be read three times over: a FIFO would hold the
    // run waiting for a writer (hence O_NONBLOCK, which regular files ignore), a device such as
    // /dev/zero would be read until memory runs out. Anything else counts as unreadable.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return InputFile(-1, unit);
    }
    return InputFile(fd, unit);
}

InputFile::InputFile(InputFile&& other) noexcept : fd_(other.fd_), unit_(other.unit_) { other.fd_ = -1; }

InputFile::~InputFile() { close(); }

std::optional<std::string> InputFile::read_all() {
    std::string data;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return data;
        data.append(chunk, static_cast<std::size_t>(n));
    }
}

void InputFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace zephor
