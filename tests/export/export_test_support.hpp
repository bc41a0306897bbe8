// Helpers of the zephor-export tests: temporary directories, files, the test data folder, and
// shell commands run with their output captured (the export program, Open Babel, Jmol).
#pragma once

#include <filesystem>
#include <string>

#include "../test_support.hpp"

namespace zephor_export_test {

using zephor_test::read_file;
using zephor_test::TempDir;
using zephor_test::write_file;
using Result = zephor_test::RunResult;

// Runs `command` through /bin/sh in `dir`.
inline Result run(const std::filesystem::path& dir, const std::string& command) {
    return zephor_test::run_shell(dir, command);
}

// tests/data/export: golden checkpoints <molecule>.FOR007 and bad/ inputs.
std::filesystem::path data_dir();
std::string checkpoint_text(const std::string& molecule);

// The zephor-export binary, quoted for the shell.
std::string export_binary();

}  // namespace zephor_export_test
