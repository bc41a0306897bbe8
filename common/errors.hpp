// The three ways a run can end early, carried as exceptions to main(), which alone prints the
// report and chooses the exit status. All derive from RunEnd, so that nothing else can escape.
#pragma once

#include <stdexcept>
#include <string>

namespace zephor {

class RunEnd : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A stop with exit status 0 and no message of the program's own (missing input, existing output
// file, failed solve). main() adds the floating-point note when exception flags are raised.
class PlainStop : public RunEnd {
public:
    PlainStop() : RunEnd("plain stop") {}
};

// A failed read of FOR005, a refused write, or a linear-algebra library that cannot be used:
// two lines on standard error, exit status 2. `where` is the first line (it locates the
// statement and names handle and file); `what()` is the message line.
class ReportError : public RunEnd {
public:
    ReportError(std::string where, const std::string& message) : RunEnd(message), where_(std::move(where)) {}
    const std::string& where() const { return where_; }

private:
    std::string where_;
};

// The first line of a read-failure report: the input line, the handle and the file.
inline std::string read_location(int line, int unit, const std::string& file) {
    return "At line " + std::to_string(line) + " of input (unit = " + std::to_string(unit) +
           ", file = '" + file + "')";
}

// A failed read of FOR005: the report with the input line, the handle and the message.
inline ReportError read_error(int line, int unit, const std::string& file, const std::string& message) {
    return ReportError(read_location(line, unit, file), message);
}

// Memory (or another resource a run cannot go on without: descriptors, threads) that the system
// refused, or a molecule too large to be sized at all: exit status 1. `what()` is the system's
// text.
class MemoryRefused : public RunEnd {
public:
    explicit MemoryRefused(const std::string& system_text = "Cannot allocate memory") : RunEnd(system_text) {}
};

}  // namespace zephor
