#include "import/request_reader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "import/errors.hpp"

namespace zephor::importer {

std::string encoded(const ImportRequest& r) {
    auto field = [](const std::string& bytes) { return std::to_string(bytes.size()) + "\n" + bytes; };
    std::string out = std::to_string(r.arguments.size()) + "\n";
    for (const std::string& a : r.arguments) out += field(a);
    return out + field(r.standard_input) + field(r.folder);
}

bool RequestReader::at_end() {
    if (pos_ < buffer_.size()) return false;
    buffer_.resize(1 << 16);
    ssize_t got;
    do got = ::read(fd_, buffer_.data(), buffer_.size());
    while (got < 0 && errno == EINTR);
    if (got < 0) throw FileError(std::string("--serve: cannot read requests: ") + std::strerror(errno));
    buffer_.resize(static_cast<std::size_t>(got));
    pos_ = 0;
    return got == 0;
}

std::size_t RequestReader::number() {
    std::size_t value = 0;
    std::size_t digits = 0;
    for (;;) {
        if (at_end()) throw FileError("--serve: a request ends early");
        const char c = buffer_[pos_++];
        if (c == '\n' && digits > 0) return value;
        // One way to write each number: no sign, no leading zero, at most ten digits.
        if (c < '0' || c > '9' || ++digits > 10 || (digits == 2 && value == 0))
            throw FileError("--serve: a malformed request");
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
}

std::string RequestReader::counted() {
    const std::size_t n = number();
    if (n > most_bytes) throw FileError("--serve: a request too large");
    std::string out;
    while (out.size() < n) {
        if (at_end()) throw FileError("--serve: a request ends early");
        const std::size_t k = std::min(n - out.size(), buffer_.size() - pos_);
        out.append(buffer_, pos_, k);
        pos_ += k;
    }
    return out;
}

bool RequestReader::next(ImportRequest& r) {
    if (at_end()) return false;
    const std::size_t n = number();
    if (n > most_arguments) throw FileError("--serve: too many arguments");
    r.arguments.clear();
    for (std::size_t i = 0; i < n; ++i) r.arguments.push_back(counted());
    r.standard_input = counted();
    r.folder = counted();
    return true;
}

}  // namespace zephor::importer
