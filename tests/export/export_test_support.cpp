// Temporary directories and shell commands for the zephor-export tests.
#include "export_test_support.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace zephor_export_test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / ("zephor-export-test-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path& p, const std::string& content) {
    std::ofstream out(p, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

fs::path data_dir() { return ZEPHOR_EXPORT_DATA; }

std::string checkpoint_text(const std::string& molecule) { return read_file(data_dir() / (molecule + ".FOR007")); }

Result run(const fs::path& dir, const std::string& command) {
    const fs::path out = dir / ".stdout";
    const fs::path err = dir / ".stderr";
    const std::string line = "cd '" + dir.string() + "' && { " + command + " ; } >'" + out.string() + "' 2>'" +
                             err.string() + "' </dev/null";
    const int raw = std::system(line.c_str());
    Result r;
    r.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

std::string export_binary() { return "'" + std::string(ZEPHOR_EXPORT_BINARY) + "'"; }

}  // namespace zephor_export_test
