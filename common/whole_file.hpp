// Writing a companion program's output file in one piece (zephor-export, zephor-import).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

namespace zephor {

struct FileWriteFailure {
    int err = 0;             // 0: written; else the errno (EEXIST: the name is taken)
    bool at_create = false;  // the file could not be created at all
};

// Writes `text` as the whole file `name`: created only where nothing stands (no link is followed),
// or, with `replace`, over what stands there. A file that cannot be written completely is removed
// again, so that no half-written output is left behind.
inline FileWriteFailure write_whole_file(const std::string& name, std::string_view text, bool replace) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL);
    const int fd = ::open(name.c_str(), flags, 0666);
    if (fd < 0) return {errno, true};
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(name.c_str());
            return {err, false};
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(name.c_str());
        return {err, false};
    }
    return {};
}

}  // namespace zephor
