// Test data and the program binary of the zephor-export tests.
#include "export_test_support.hpp"

namespace zephor_export_test {

namespace fs = std::filesystem;

fs::path data_dir() { return ZEPHOR_EXPORT_DATA; }

std::string checkpoint_text(const std::string& molecule) { return read_file(data_dir() / (molecule + ".FOR007")); }

std::string export_binary() { return "'" + std::string(ZEPHOR_EXPORT_BINARY) + "'"; }

}  // namespace zephor_export_test
