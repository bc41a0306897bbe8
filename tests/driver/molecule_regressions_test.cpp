// The fuzzing inputs kept in the repository, replayed through the whole input stage in the
// ordinary suite, and so under the sanitizers too: the seeds of fuzz/corpus/input and every
// input a fuzzer ever failed on (tests/data/fuzz_regressions). Each must give a molecule whose
// arrays match its counts, or end in one of the typed reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/errors.hpp"
#include "driver/molecule.hpp"
#include "test_support.hpp"

using namespace zephor_test;
namespace fs = std::filesystem;

namespace {

// Reads one input and says how it ended: "ok", "report" or "memory".
std::string outcome(const std::string& data) {
    try {
        const zephor::Molecule m = zephor::load_molecule(data);
        const auto atoms = static_cast<std::size_t>(m.atom_count);
        const auto n = static_cast<std::size_t>(m.basis_count);
        EXPECT_EQ(m.symbol.size(), atoms);
        EXPECT_EQ(m.r.size(), 3 * atoms);
        EXPECT_EQ(m.basis.ham.size(), n * n);
        EXPECT_EQ(m.basis.basis_atom.size(), n);
        return "ok";
    } catch (const zephor::ReportError& e) {
        EXPECT_EQ(e.where().rfind("At line ", 0), 0u);
        EXPECT_NE(e.where().find("file = 'FOR005')"), std::string::npos);
        // One line of text: quoted input bytes are escaped (a NUL would cut the report short).
        for (const char c : std::string(e.what())) {
            EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) << e.what();
        }
        return "report";
    } catch (const zephor::MemoryRefused&) {
        return "memory";
    }
}

}  // namespace

TEST(FuzzRegressions, EverySavedInputLoadsOrIsReported) {
    const fs::path folders[] = {data_dir() / "fuzz_regressions", data_dir() / ".." / ".." / "fuzz" / "corpus" / "input"};
    int files = 0;
    int loaded = 0;
    for (const fs::path& folder : folders) {
        ASSERT_TRUE(fs::is_directory(folder)) << folder;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
            SCOPED_TRACE(entry.path().string());
            ++files;
            if (outcome(read_file(entry.path())) == "ok") ++loaded;
        }
    }
    // The seeds hold the golden molecules, which load, and malformed files, which do not.
    EXPECT_GT(files, 50);
    EXPECT_GT(loaded, 14);
    EXPECT_LT(loaded, files);
}
