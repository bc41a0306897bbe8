// Output files: a name already taken (even by a dangling link) is refused and left as it was.
#include "output/output_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.hpp"

using namespace zephor;
using zephor_test::TempDir;

TEST(OutputFile, RefusesAnExistingNameOrADanglingLink) {
    TempDir dir;
    zephor_test::write_file(dir / "taken", "old");
    EXPECT_FALSE(OutputFile::create_new((dir / "taken").string(), 11).is_open());
    EXPECT_EQ(zephor_test::read_file(dir / "taken"), "old");
    std::filesystem::create_symlink(dir / "elsewhere", dir / "link");
    EXPECT_FALSE(OutputFile::create_new((dir / "link").string(), 11).is_open());
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
}
