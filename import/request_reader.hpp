// The requests zephor-import --serve reads (request_server.hpp): each one run's arguments,
// standard input and folder, read from a descriptor in blocks of the reader's own (never through
// stdio, whose standard input belongs to the run).
//
// A request:  <n>\n, then n arguments, then standard input's bytes, then the folder, each as
//             <length>\n<bytes> (decimal numbers of at most 10 digits, without sign, spaces or leading zeros)
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zephor::importer {

struct ImportRequest {
    std::vector<std::string> arguments;  // after the program's name
    std::string standard_input;
    std::string folder;
};

// The wire form of a request, as a batch writes it.
std::string encoded(const ImportRequest& r);

class RequestReader {
public:
    static constexpr std::size_t most_arguments = 1000;
    static constexpr std::size_t most_bytes = std::size_t{1} << 30;  // in one field

    explicit RequestReader(int fd) : fd_(fd) {}
    // The next request; false at the end of the input before a request's first byte. Throws
    // FileError on a malformed, oversized or cut request, or a failed read.
    bool next(ImportRequest& r);

private:
    bool at_end();
    std::size_t number();
    std::string counted();

    int fd_;
    std::string buffer_;
    std::size_t pos_ = 0;
};

}  // namespace zephor::importer
