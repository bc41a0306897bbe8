// An output file of the run: created only if its name is free, written line by line through one
// large buffer, each line ended by a single line feed. The file is written unnamed and gets its
// name only once it is complete, so that a run killed part-way never leaves a cut file that
// looks whole.
#pragma once

#include <cstdint>
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
    // Written to memory instead of a file, for callers that compare the bytes (take_text()).
    static OutputFile in_memory(const std::string& name, int unit);
    std::string take_text();

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

    // Work space for text formatted outside the line buffer (row_blocks.hpp), allocated by
    // reserve_scratch before the file exists so that writing asks the system for no memory.
    void reserve_scratch(std::size_t bytes);
    char* scratch() { return scratch_.data(); }

    // Stores bytes formatted elsewhere, after flush(): 0, or the errno of a refused write (for
    // callers that must not throw, such as one thread among several); fail_write() then reports
    // it, after giving the lines stored before it the file's name.
    int try_store(const char* data, std::size_t size);
    [[noreturn]] void fail_write(int err);

    // Stores everything buffered; a refused write throws ReportError naming handle and file
    // with the system's text, after giving the lines stored before it the file's name.
    void flush();
    // publish() (when not done yet), then closes the handle.
    void close();

private:
    void store(const char* data, std::size_t size);
    int give_name();  // 0, or the errno of a refused link (EEXIST: the name is taken)

    int fd_ = -1;
    int unit_ = 0;
    bool unnamed_ = false;    // written through O_TMPFILE, not named yet
    bool in_memory_ = false;  // bytes go to memory_
    std::string name_;
    std::string buf_;
    std::vector<char> scratch_;
    std::string memory_;
};

}  // namespace zephor
