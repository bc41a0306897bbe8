// Entry of zephor: no arguments, no standard input, nothing on standard output. The one place
// that turns an early end of the run into its report and exit status.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "common/errors.hpp"
#include "driver/fp_flags.hpp"
#include "driver/run.hpp"

namespace {

int memory_refused(const char* system_text) {
    std::fprintf(stderr, "Operating system error: %s\nAllocation would exceed memory limit\n", system_text);
    return 1;
}

// A closed standard descriptor would be handed to the next file opened, and a stray message
// of a library meant for standard output would then land inside FOR006 or FOR007.
void keep_standard_descriptors_taken() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
}

}  // namespace

int main() {
    keep_standard_descriptors_taken();
    // A file-size limit must come back as a refused write with its report, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        zephor::run();
        return 0;
    } catch (const zephor::PlainStop&) {
        const std::string note = zephor::fp_note();
        if (!note.empty()) std::fprintf(stderr, "%s\n", note.c_str());
        return 0;
    } catch (const zephor::ReportError& e) {
        std::fprintf(stderr, "%s\n%s\n", e.where().c_str(), e.what());
        return 2;
    } catch (const zephor::MemoryRefused& e) {
        return memory_refused(e.what());
    } catch (const std::bad_alloc&) {
        return memory_refused("Cannot allocate memory");
    } catch (const std::length_error&) {
        return memory_refused("Cannot allocate memory");
    }
}
