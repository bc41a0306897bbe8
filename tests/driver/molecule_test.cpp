// FOR005 is opened anew for each pass, and another program may replace or rewrite it in between.
// The arrays are sized from the sizing pass; the reading pass must refuse any content that does
// not match it (more, fewer or other atoms, another title or charge) instead of writing past them.
#include "driver/molecule.hpp"

#include <gtest/gtest.h>

#include <string>

#include "common/errors.hpp"
#include "driver/input_reader.hpp"

using namespace zephor;

namespace {

const std::string water = "water\n0\nO 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n";

// Sizes on `sized`, reads on `read`: the report's two lines, or "read" when it went through.
std::string read_after_change(const std::string& sized, const std::string& read) {
    try {
        Molecule m = size_molecule(sized, count_atom_lines(sized));
        read_molecule(m, read);
        EXPECT_EQ(m.symbol.size(), static_cast<std::size_t>(m.atom_count));
        return "read";
    } catch (const ReportError& e) {
        return e.where() + "\n" + e.what();
    }
}

}  // namespace

TEST(Molecule, ContentThatChangedBetweenThePassesIsRefused) {
    const std::string changed =
        "While reading input (unit = 10, file = 'FOR005')\nFOR005 changed while it was being read";
    const std::string cases[] = {
        "water\n0\nF 0.0 0.0 0.0\nF 0.0 0.757 0.587\nF 0.0 -0.757 0.587\n",   // larger basis, same count
        "water\n0\nH 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n",   // smaller basis
        "water\n0\nN 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n",   // same basis, other atom
        "water\n0\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\nH 1 1 1\n",   // one atom more
        "water\n0\nO 0 0 0\nH 0 0.757 0.587\n",                                 // one atom fewer
        "water\n0\nO 0 0 0\nH 0 0.757 0.587\nC 0 -0.757 0.587\nC 1 1 1\nC 2 2 2\n",
        "ice\n0\nO 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n",     // another title
        "water\n-2\nO 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n",  // another charge
        "water\n0\n",                                                            // no atoms left
    };
    for (const std::string& read : cases) EXPECT_EQ(read_after_change(water, read), changed) << read;
    // The other way round: a file that grew or shrank under a smaller or larger sizing.
    EXPECT_EQ(read_after_change("h\n0\nH 0 0 0\n", "h\n0\nF 0 0 0\n"), changed);
    EXPECT_EQ(read_after_change("f\n0\nF 0 0 0\nF 0 0 1\n", "f\n0\nH 0 0 0\nH 0 0 1\n"), changed);
}

TEST(Molecule, ContentThatOnlyMovedOrWasRewrittenTheSameReads) {
    // Coordinates are read by the reading pass alone, so moved atoms are simply the molecule.
    EXPECT_EQ(read_after_change(water, "water\n0\nO 0 0 0.1\nH 0 0.76 0.59\nH 0 -0.76 0.59\n"), "read");
    // The same molecule in another layout (commas, blank lines, a quoted title, CRLF).
    EXPECT_EQ(read_after_change(water, "'water'\r\n\r\n0\r\nO,0,0,0\r\nH 0 0.757 0.587\r\nH 0 -0.757 0.587\r\n"), "read");
    // The reading pass's own report comes first when the new content is broken.
    EXPECT_EQ(read_after_change(water, "water\n0\nO 0 0 0\nH 0 x 0.587\nH 0 -0.757 0.587\n"),
              "At line 4 of input (unit = 10, file = 'FOR005')\nBad real number in item 3 of list input");
}
