// Loaded with LD_PRELOAD into the companion programs: opening an unnamed file (O_TMPFILE) fails
// with EOPNOTSUPP, as on a file system that has none, so that the tests reach the fallback of a
// temporary name. Each refusal appends a line to the file named by ZEPHOR_REFUSALS, if set.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {

using open_function = int (*)(const char*, int, ...);

int open_or_refuse(const char* function, const char* path, int flags, int mode) {
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        if (const char* log = std::getenv("ZEPHOR_REFUSALS")) {
            const auto next = reinterpret_cast<open_function>(dlsym(RTLD_NEXT, "open"));
            const int fd = next(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
            if (fd >= 0) {
                const ssize_t ignored = write(fd, "O_TMPFILE refused\n", 18);
                (void)ignored;
                close(fd);
            }
        }
        errno = EOPNOTSUPP;
        return -1;
    }
    return reinterpret_cast<open_function>(dlsym(RTLD_NEXT, function))(path, flags, mode);
}

int mode_of(int flags, va_list ap) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const int mode = mode_of(flags, ap);
    va_end(ap);
    return open_or_refuse("open", path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const int mode = mode_of(flags, ap);
    va_end(ap);
    return open_or_refuse("open64", path, flags, mode);
}
