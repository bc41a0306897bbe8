// Helpers shared by the tests: temporary directories, file contents, and running the real
// program binary the way a user does (in a working directory, no arguments).
#pragma once

#include <filesystem>
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

struct RunResult {
    int status = -1;          // exit status, or -1 when the process did not exit normally
    std::string out;          // standard output
    std::string err;          // standard error
};

// Runs `command` through /bin/sh in `dir`, standard input from /dev/null, the outputs captured.
RunResult run_shell(const std::filesystem::path& dir, const std::string& command);

// Runs the zephor binary in `dir` through /bin/sh. `prefix` is put before the binary in the
// command line (e.g. "env OPENBLAS_NUM_THREADS=2" or "prlimit --fsize=100"); `setup` is a shell
// command run first in the same shell (e.g. "trap '' XFSZ").
RunResult run_zephor(const std::filesystem::path& dir, const std::string& prefix = "",
                     const std::string& setup = "");

}  // namespace zephor_test
