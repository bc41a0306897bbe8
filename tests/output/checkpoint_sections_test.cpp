// The checkpoint's label fields: where the value text starts for each width and kind.
#include "output/checkpoint_sections.hpp"

#include <gtest/gtest.h>

#include <string>

#include "output/fields.hpp"

using namespace zephor;

TEST(CheckpointSections, ValueTextStartsInColumn60Or61) {
    auto line = [](const CheckpointSection& section, std::int32_t v) {
        std::string s;
        put_label_field(s, section);
        put_integer_text(s, v);
        return s;
    };
    // A 12-atom count in a 60-character field ends in position 62.
    const std::string atoms = line(section::atom_count, 12);
    EXPECT_EQ(atoms.size(), 62u);
    EXPECT_EQ(atoms[43], 'I');
    // A 5-function count in a 59-character field ends in position 60; charge -1 in 62.
    EXPECT_EQ(line(section::basis_functions, 5).size(), 60u);
    EXPECT_EQ(line(section::charge, -1), "Charge" + std::string(37, ' ') + "I" + std::string(16, ' ') + "-1");
    EXPECT_EQ(line(section::exponents, 18),
              "Primitive exponents" + std::string(24, ' ') + "R   N=" + std::string(10, ' ') + "18");
}
