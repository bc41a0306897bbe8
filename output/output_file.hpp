// An output file of the run: created only if its name is free, written line by line through one
// large buffer, each line ended by a single line feed. The file is written unnamed and gets its
// name only once it is complete, so that a run killed part-way never leaves a cut file that
// looks whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <vector>

#include "common/errors.hpp"

namespace zephor {

class OutputFile {
public:
    // Buffers for `name`, allocated now; nothing exists on disk until open().
    OutputFile(std::string name, int unit);
    // Constructed and opened at once.
    static OutputFile create_new(const std::string& name, int unit);

    // Allocates now the room that a row block of `values` reals will need, so that writing it
    // asks the system for no memory once the file exists.
    void reserve_row_block(std::size_t values);

    // Whether `name` is free: nothing stands there, not even a dangling symbolic link.
    bool name_is_free() const;

    // Opens the file for writing, unnamed (O_TMPFILE) in the folder of `name`; where the file
    // system has no unnamed files, `name` itself is created exclusively. False when the name is
    // taken by anything, a dangling symbolic link included, or the file cannot be created.
    bool open();

    // Stores everything and gives the file its name: false when the name was taken meanwhile
    // (the unnamed file is then dropped). Nothing more may be written after it.
    bool publish();

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    OutputFile(const OutputFile&) = delete;
    // A file written under its name (no unnamed files here) stores what is buffered, errors
    // ignored; an unnamed one is dropped, never named.
    ~OutputFile();

    bool is_open() const { return fd_ >= 0; }

    // The line under construction; end_line() appends the line feed and commits it.
    std::string& line() { return buf_; }
    void end_line();
    void write_line(std::string_view text);

    // Row blocks: five values to a line, no line at all for an empty list.
    void write_int_rows(std::span<const std::int32_t> values);
    void write_real_rows(std::span<const double> values);

    // Stores everything buffered; a refused write throws ReportError naming handle and file
    // with the system's text, after giving the lines stored before it the file's name.
    void flush();
    // publish() (when not done yet), then closes the handle.
    void close();

private:
    void store(const char* data, std::size_t size);
    int store_errno(const char* data, std::size_t size);  // 0, or the errno of a refused write
    int give_name();  // 0, or the errno of a refused link (EEXIST: the name is taken)
    [[noreturn]] void fail_write(int err);

    int fd_ = -1;
    int unit_ = 0;
    bool unnamed_ = false;  // written through O_TMPFILE, not named yet
    std::string name_;
    std::string buf_;
    std::vector<char> staging_;  // threaded formatting of long row blocks
};

}  // namespace zephor
