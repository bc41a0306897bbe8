// Whole-file reads of FOR005.
#include "driver/input_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zephor {

InputFile InputFile::open(const std::string& name, int unit) {
    return InputFile(::open(name.c_str(), O_RDONLY | O_CLOEXEC), unit);
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
