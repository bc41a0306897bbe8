// The layering of the sources: data flows driver -> integrals -> solver -> output, with common/
// below them all, so no folder may include a folder that comes later in that flow (output may
// read integrals' types, never the driver's). zephor-export sits beside the driver and reads the
// checkpoint through output's and integrals' headers (and FOR005's title through the driver's
// reader); zephor-import stands on common/ alone, where the chemistry facts all programs share
// are (common/elements.hpp). Every #include "folder/..." of every source file is checked against
// this table, and no source outside common/ states those facts again.
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
    {"python", {"common", "integrals", "solver", "output", "driver", "export", "import", "python"}},
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
    EXPECT_TRUE(forbidden_includes("import", "#include \"common/elements.hpp\"\n").empty());
}

namespace {

// The forms in which the facts of common/elements.hpp were once written out again: the element
// letters as a string or a list, an element's letter with its atomic number, the periodic table.
std::vector<std::string> restated_facts(const std::string& text) {
    static const std::regex forms[] = {
        std::regex(R"re("[FBONHC]{6}")re"),
        std::regex(R"re('H',\s*'B',\s*'C')re"),
        std::regex(R"re(\{\s*'[HBCNOF]',\s*[0-9])re"),
        std::regex(R"re("He",\s*"Li")re"),
        std::regex(R"re(== "H" \? 1 : a\.symbol == "B")re"),
    };
    std::vector<std::string> found;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        for (const std::regex& form : forms)
            if (std::regex_search(line, form)) found.push_back(line);
    return found;
}

}  // namespace

TEST(Layering, TheChemistryFactsHaveOneHome) {
    const fs::path root = ZEPHOR_SOURCE_DIR;
    for (const char* folder : {"common", "integrals", "solver", "output", "driver", "export", "import", "fuzz", "python"}) {
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if ((ext != ".cpp" && ext != ".hpp") || entry.path().filename() == "elements.hpp") continue;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            for (const std::string& line : restated_facts(text.str()))
                ADD_FAILURE() << entry.path().lexically_relative(root).string() << ": " << line;
        }
    }
    EXPECT_EQ(restated_facts("c.input += \"FBONHC\"[kind % 6];\n").size(), 1u);
    EXPECT_EQ(restated_facts("    {'H', 1, 1.0, 1, 1, 1, w(-13.6f), 0.0,\n").size(), 1u);
    EXPECT_EQ(restated_facts("for (char letter : {'H', 'B', 'C', 'N', 'O', 'F'}) {\n").size(), 1u);
    EXPECT_EQ(restated_facts("constexpr const char* periodic[] = {\"\",   \"H\",  \"He\", \"Li\",\n").size(), 1u);
    EXPECT_TRUE(restated_facts("with_facts('H', w(-13.6f), 0.0,\n").empty());
}
