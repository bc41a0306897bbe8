// Helpers shared by the tests: temporary directories, file contents, and running the real
// program binary the way a user does (in a working directory, no arguments).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zephor_test {

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, const std::string& content);

// The folder of the test data (molecules, golden outputs, bad inputs).
std::filesystem::path data_dir();

// The molecules with golden outputs, and the FOR005 of one of them.
extern const char* const golden_names[14];
std::string golden_input(const std::string& name);

// The two lines of the ReportError that `call` throws, or "no report".
std::string report_of(const std::function<void()>& call);
// The report of a failed read of FOR005: "At line L of input (unit = U, file = 'FOR005')", then
// the message.
std::string read_report(int line, int unit, const std::string& message);

// Bit-for-bit equality of two arrays of doubles; the second form counts any two NaNs as equal
// (which NaN operand's payload survives is the compiler's choice, and every NaN prints "NaN").
bool same_bits(const std::vector<double>& a, const std::vector<double>& b);
bool same_bits_or_nan(const std::vector<double>& a, const std::vector<double>& b);

struct RunResult {
    int status = -1;          // exit status, or -1 when the process did not exit normally
    std::string out;          // standard output
    std::string err;          // standard error
};

// Whether this build runs under AddressSanitizer, which reserves terabytes of address space up
// front and so cannot run under an address-space limit (prlimit --as).
constexpr bool under_address_sanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// Runs `command` through /bin/sh in `dir`, standard input from /dev/null, the outputs captured.
RunResult run_shell(const std::filesystem::path& dir, const std::string& command);

// Runs the zephor binary in `dir` through /bin/sh. `prefix` is put before the binary in the
// command line (e.g. "env OPENBLAS_NUM_THREADS=2" or "prlimit --fsize=100"); `setup` is a shell
// command run first in the same shell (e.g. "trap '' XFSZ").
RunResult run_zephor(const std::filesystem::path& dir, const std::string& prefix = "",
                     const std::string& setup = "");

}  // namespace zephor_test
