// The ways zephor-import can fail, carried as exceptions to main(), which alone prints them and
// chooses the exit status. Nothing is written in either case.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/text_forms.hpp"

namespace zephor::importer {

class ImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the molecule says is wrong (an element zephor does not know, a malformed line, a Z-matrix
// that does not define a geometry, no atom at all): exit status 2.
class ContentError : public ImportError {
public:
    using ImportError::ImportError;
};

// A file that cannot be read or written, an output that exists already, an unknown format: exit
// status 1, like a bad command line.
class FileError : public ImportError {
public:
    using ImportError::ImportError;
};

// Input bytes as zephor-import's messages show them: as zephor::shown() does, and bytes 0x80 and
// above written as \xhh too, so that no byte of a bad file (a C1 control, a sequence cut short)
// reaches the terminal raw.
inline std::string shown(std::string_view s) { return zephor::shown(s, true); }

// "FILE:LINE: message", the form of every error that points into the input.
inline ContentError content_error(const std::string& file, std::size_t line, const std::string& message) {
    return ContentError(file + ":" + std::to_string(line) + ": " + message);
}

}  // namespace zephor::importer
