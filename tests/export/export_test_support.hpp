// Helpers of the zephor-export tests: temporary directories, files, the test data folder, and
// shell commands run with their output captured (the export program, Open Babel, Jmol).
#pragma once

#include <filesystem>
#include <string>

namespace zephor_export_test {

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

// tests/data/export: golden checkpoints <molecule>.FOR007 and bad/ inputs.
std::filesystem::path data_dir();
std::string checkpoint_text(const std::string& molecule);

struct Result {
    int status = -1;  // exit status, -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs `command` through /bin/sh in `dir`.
Result run(const std::filesystem::path& dir, const std::string& command);

// The zephor-export binary, quoted for the shell.
std::string export_binary();

}  // namespace zephor_export_test
