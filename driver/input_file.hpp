// FOR005 opened read-only on a numbered handle and read whole: each pass works on the bytes of
// its own opening.
#pragma once

#include <optional>
#include <string>

namespace zephor {

class InputFile {
public:
    // An unopened file when `name` cannot be opened for reading.
    static InputFile open(const std::string& name, int unit);

    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&&) = delete;
    InputFile(const InputFile&) = delete;
    ~InputFile();

    bool is_open() const { return fd_ >= 0; }
    int unit() const { return unit_; }

    // The whole content from the start, or nothing when a read fails (a directory, an I/O error).
    std::optional<std::string> read_all();
    void close();

private:
    InputFile(int fd, int unit) : fd_(fd), unit_(unit) {}
    int fd_ = -1;
    int unit_ = 0;
};

}  // namespace zephor
