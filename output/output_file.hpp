// An output file of the run: created only if its name is free, written line by line through one
// large buffer, each line ended by a single line feed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "driver/errors.hpp"

namespace zephor {

class OutputFile {
public:
    // Creates `name` for writing; fails (returns an unopened file) when the name is taken by
    // anything, a dangling symbolic link included, or cannot be created.
    static OutputFile create_new(const std::string& name, int unit);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    OutputFile(const OutputFile&) = delete;
    ~OutputFile();  // stores what is buffered (errors ignored) and closes

    bool is_open() const { return fd_ >= 0; }

    // The line under construction; end_line() appends the line feed and commits it.
    std::string& line() { return buf_; }
    void end_line();
    void write_line(std::string_view text);

    // Row blocks: five values to a line, no line at all for an empty list.
    void write_int_rows(std::span<const std::int32_t> values);
    void write_real_rows(std::span<const double> values);

    // Stores everything buffered; a refused write throws ReportError naming handle and file
    // with the system's text.
    void flush();
    void close();

private:
    OutputFile(int fd, int unit, std::string name);
    void store(const char* data, std::size_t size);
    int store_errno(const char* data, std::size_t size);  // 0, or the errno of a refused write
    ReportError write_error(int err) const;

    int fd_ = -1;
    int unit_ = 0;
    std::string name_;
    std::string buf_;
};

}  // namespace zephor
