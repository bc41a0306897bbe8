// Temporary directories and process runs for the tests.
#include "test_support.hpp"

#include "common/errors.hpp"

#include <sys/wait.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace zephor_test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / ("zephor-test-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything removable again (tests may drop permissions).
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const fs::path& p, const std::string& content) {
    std::ofstream out(p, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

fs::path data_dir() { return fs::path(ZEPHOR_TEST_DATA); }

const char* const golden_names[14] = {"ammonia",   "benzene", "bf3",      "ch_anion",  "fluoroethylene",
                                      "formamide", "h2",      "h2_plus3", "hydroxide", "methane_hfirst",
                                      "methyl",    "methylamine_borane", "naphthalene", "water"};

std::string golden_input(const std::string& name) { return read_file(data_dir() / "golden" / name / "FOR005"); }

std::string report_of(const std::function<void()>& call) {
    try {
        call();
    } catch (const zephor::ReportError& e) {
        return e.where() + "\n" + e.what();
    }
    return "no report";
}

std::string read_report(int line, int unit, const std::string& message) {
    return "At line " + std::to_string(line) + " of input (unit = " + std::to_string(unit) +
           ", file = 'FOR005')\n" + message;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool same_bits_or_nan(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t e = 0; e < a.size(); ++e)
        if (!(std::isnan(a[e]) && std::isnan(b[e])) &&
            std::bit_cast<std::uint64_t>(a[e]) != std::bit_cast<std::uint64_t>(b[e]))
            return false;
    return true;
}

RunResult run_shell(const fs::path& dir, const std::string& command) {
    TempDir capture;
    const fs::path out = capture / "stdout";
    const fs::path err = capture / "stderr";
    const std::string line = "cd '" + dir.string() + "' && { " + command + " ; } </dev/null >'" +
                             out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(line.c_str());
    RunResult r;
    r.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

RunResult run_zephor(const fs::path& dir, const std::string& prefix, const std::string& setup) {
    std::string command;
    if (!setup.empty()) command += setup + "; ";
    command += prefix + " '" + std::string(ZEPHOR_BINARY) + "'";
    return run_shell(dir, command);
}

}  // namespace zephor_test
