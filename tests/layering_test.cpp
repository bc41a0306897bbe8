// The layering of the sources: data flows driver -> integrals -> solver -> output, with common/
// below them all, so no folder may include a folder that comes later in that flow (output may
// read integrals' types, never the driver's). zephor-export sits beside the driver and reads the
// checkpoint through output's and integrals' headers (and FOR005's title through the driver's
// reader); zephor-import stands on common/ alone. Every #include "folder/..." of every source
// file is checked against this table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::set<std::string>> may_include = {
    {"common", {"common"}},
    {"integrals", {"common", "integrals"}},
    {"solver", {"common", "integrals", "solver"}},
    {"output", {"common", "integrals", "solver", "output"}},
    {"driver", {"common", "integrals", "solver", "output", "driver"}},
    {"export", {"common", "integrals", "solver", "output", "driver", "export"}},
    {"import", {"common", "import"}},
};

// The includes of `text` (a file in `folder`) that reach a folder it may not include.
std::vector<std::string> forbidden_includes(const std::string& folder, const std::string& text) {
    std::vector<std::string> bad;
    const std::set<std::string>& allowed = may_include.at(folder);
    static const std::regex include(R"re(^\s*#\s*include\s*"([a-z_]+)/[^"]*")re");
    std::istringstream in(text);
    std::string line;
    std::smatch m;
    while (std::getline(in, line))
        if (std::regex_search(line, m, include) && may_include.count(m[1]) != 0 && allowed.count(m[1]) == 0)
            bad.push_back(line);
    return bad;
}

}  // namespace

TEST(Layering, NoFolderIncludesALaterOne) {
    const fs::path root = ZEPHOR_SOURCE_DIR;
    int files = 0;
    for (const auto& [folder, allowed] : may_include) {
        ASSERT_TRUE(fs::is_directory(root / folder)) << folder;
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".hpp") continue;
            ++files;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            for (const std::string& line : forbidden_includes(folder, text.str()))
                ADD_FAILURE() << entry.path().lexically_relative(root).string() << ": " << line;
        }
    }
    EXPECT_GT(files, 40);
}

TEST(Layering, TheCheckSeesEveryKindOfViolation) {
    EXPECT_EQ(forbidden_includes("output", "#include \"driver/errors.hpp\"\n").size(), 1u);
    EXPECT_EQ(forbidden_includes("integrals", "  # include \"solver/x.hpp\" // later\n").size(), 1u);
    EXPECT_EQ(forbidden_includes("common", "#include \"integrals/element_table.hpp\"\n").size(), 1u);
    EXPECT_EQ(forbidden_includes("import", "#include \"driver/run.hpp\"\n").size(), 1u);
    EXPECT_TRUE(forbidden_includes("output", "#include \"integrals/basis_view.hpp\"\n#include <vector>\n").empty());
    EXPECT_TRUE(forbidden_includes("driver", "#include \"output/report.hpp\"\n").empty());
}
