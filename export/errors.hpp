// The ways zephor-export can fail, carried as exceptions to main(), which alone prints them and
// chooses the exit status: 2 for a malformed checkpoint or report and for a report of another
// run, 1 for everything else. All derive from ExportError, which main() catches last of its own.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zephor::exporter {

class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A checkpoint that does not have the layout zephor writes; the message names file and line.
class MalformedCheckpoint : public ExportError {
public:
    MalformedCheckpoint(const std::string& file, std::size_t line, const std::string& message)
        : ExportError(file + ":" + std::to_string(line) + ": " + message), line_(line) {}
    std::size_t line() const { return line_; }

private:
    std::size_t line_;
};

// A file that cannot be read or written, or an output that exists already (without --force).
class FileError : public ExportError {
public:
    using ExportError::ExportError;
};

// A request the checkpoint cannot satisfy: an orbital number out of range, a grid too large.
class RequestError : public ExportError {
public:
    using ExportError::ExportError;
};

// A well-formed report FOR006 that is not the one written with the checkpoint: its atoms or its
// occupied orbital energies differ. The message names both files.
class ReportMismatch : public ExportError {
public:
    ReportMismatch(const std::string& report, const std::string& checkpoint, const std::string& difference)
        : ExportError(report + " is not the report of " + checkpoint + " (" + difference + ")") {}
};

// The lines of a file's text, without their line feeds (a last line without one included).
std::vector<std::string_view> file_lines(std::string_view text);

// The whole content of the file `path`, which the messages call `what` ("a checkpoint").
std::string read_input_file(const std::string& path, const std::string& what, const std::string& hint = "");

}  // namespace zephor::exporter
