// The strict checkpoint reader: what it takes from zephor's own files, and the exact message
// (file and line) for each kind of damage, from small bad files under tests/data/export/bad.
#include <gtest/gtest.h>

#include "export/checkpoint_reader.hpp"
#include "export/errors.hpp"
#include "export_test_support.hpp"
#include "integrals/element_table.hpp"

namespace {

using zephor::exporter::Checkpoint;
using zephor::exporter::MalformedCheckpoint;
using zephor::exporter::parse_checkpoint;
using namespace zephor_export_test;

TEST(CheckpointReader, TakesWaterWithTheTablesExactDoubles) {
    const Checkpoint c = parse_checkpoint(checkpoint_text("water"), "water.FOR007");
    EXPECT_EQ(c.atom_count, 3);
    EXPECT_EQ(c.charge, 0);
    EXPECT_EQ(c.occupied_count, 4);
    EXPECT_EQ(c.basis_count, 6);
    EXPECT_EQ(c.shell_count, 4);
    EXPECT_EQ(c.atomic_number, (std::vector<std::int32_t>{8, 1, 1}));
    EXPECT_EQ(c.r[4], 1.43052274);  // bohr, as written
    EXPECT_EQ(c.shell_type, (std::vector<std::int32_t>{0, 1, 0, 0}));
    EXPECT_EQ(c.shell_atom, (std::vector<std::int32_t>{1, 1, 2, 3}));
    // The file shows nine digits; the reader hands on the element table's own values.
    const zephor::ElementData* oxygen = zephor::element_by_letter('O');
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(c.exponents[k], oxygen->exponents[k]);
        EXPECT_EQ(c.coefficients[k], zephor::coef_2s[k]);
        EXPECT_EQ(c.coefficients[6 + k], zephor::coef_2p[k]);
        EXPECT_EQ(c.coefficients[18 + k], zephor::coef_1s[k]);
    }
    EXPECT_EQ(c.orbital_energy.front(), -1.22605987);  // hartree
    EXPECT_EQ(c.mo_coef.size(), 36u);
    EXPECT_EQ(c.mo_coef[35], 5.19759182e-01);
}

TEST(CheckpointReader, TakesEveryGoldenMolecule) {
    struct Case {
        const char* molecule;
        std::int32_t atoms, basis, shells, occupied, charge;
    };
    for (const Case& m : {Case{"ammonia", 4, 7, 5, 4, 0}, Case{"bf3", 4, 16, 8, 12, 0},
                          Case{"benzene", 12, 30, 18, 15, 0}, Case{"h2_plus3", 2, 2, 2, 0, 3}}) {
        SCOPED_TRACE(m.molecule);
        const Checkpoint c = parse_checkpoint(checkpoint_text(m.molecule), m.molecule);
        EXPECT_EQ(c.atom_count, m.atoms);
        EXPECT_EQ(c.basis_count, m.basis);
        EXPECT_EQ(c.shell_count, m.shells);
        EXPECT_EQ(c.occupied_count, m.occupied);
        EXPECT_EQ(c.charge, m.charge);
        EXPECT_EQ(c.mo_coef.size(), static_cast<std::size_t>(m.basis * m.basis));
    }
}

// The message and line of each bad file (made from water.FOR007 by one change each).
TEST(CheckpointReader, NamesTheLineOfEveryDamage) {
    struct Case {
        const char* file;
        std::size_t line;
        const char* message;
    };
    const Case cases[] = {
        {"truncated", 55, "the file ends inside this row of 'Alpha MO coefficients' (36 values expected)"},
        {"truncated_at_row", 53, "the file ends in 'Alpha MO coefficients' after 20 of 36 values"},
        {"dropped_row", 37, "'Primitive exponents': a row of 5 values should be 80 characters long, this one has 64"},
        {"wrong_atom_count", 20, "'Atomic numbers': N=3, expected 4 (one per atom)"},
        {"wrong_mo_count", 48, "'Alpha MO coefficients': N=35, expected 36 (the basis functions squared)"},
        {"shifted_label", 16,
         "'Number of basis functions': the label field is not in zephor's layout (type I in column 44, "
         "value from column 60)"},
        {"bad_number", 23,
         "'Current cartesian coordinates': '  1.43052274E+0O' in columns 65-80 is not an ES16.8E2 number"},
        {"foreign_exponent", 36, "shell 3 (H s): exponent 1 is not the element table's"},
        {"hydrogen_p_shell", 28, "shell 4: hydrogen has no p shell"},
        {"trailing_blank", 57, "unexpected line after the orbital coefficients"},
        {"foreign_banner", 1, "not a zephor checkpoint: line 1 should read 'Thank you for using ZEPHOR'"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.file);
        const std::string name = std::string(k.file) + ".FOR007";
        try {
            parse_checkpoint(read_file(data_dir() / "bad" / name), name);
            ADD_FAILURE() << "accepted";
        } catch (const MalformedCheckpoint& e) {
            EXPECT_EQ(e.line(), k.line);
            EXPECT_EQ(std::string(e.what()), name + ":" + std::to_string(k.line) + ": " + k.message);
        }
    }
}

// Damage made in place, for the rules the files above do not reach.
TEST(CheckpointReader, RefusesInconsistentCounts) {
    const std::string water = checkpoint_text("water");
    auto message = [](const std::string& text) {
        try {
            parse_checkpoint(text, "x");
        } catch (const MalformedCheckpoint& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = water;
        const std::size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return t.replace(at, from.size(), to);
    };
    EXPECT_EQ(message(""), "x:1: the file ends where line 1 of the banner should be");
    EXPECT_EQ(message(replaced("beta electrons                   I                4",
                               "beta electrons                   I                3")),
              "x:15: 'Number of beta electrons' must equal the alpha electrons");
    EXPECT_EQ(message(replaced("Multiplicity                               I                1",
                               "Multiplicity                               I                3")),
              "x:12: 'Multiplicity' must be 1 (closed shell)");
    EXPECT_EQ(message(replaced("           8           1           1", "           8           2           1")),
              "x:21: atomic number 2 of atom 2 is none of H, B, C, N, O, F");
    EXPECT_EQ(message(replaced("           1           1           2           3",
                               "           1           1           3           2")),
              "x:32: shell 4: shells must be listed atom by atom");
    EXPECT_EQ(message(replaced("           6           6           6           6",
                               "           6           6           3           6")),
              "x:30: shell 3 must have 6 primitives");
    EXPECT_EQ(message(replaced(" -6.04115171E-01 -5.82476590E-01", " -5.82476590E-01 -6.04115171E-01")),
              "x:46: orbital energies must ascend (orbital 4)");
    EXPECT_EQ(message(replaced("Number of atoms                            I                3",
                               "Number of atoms                            I                3x")),
              "x:10: 'Number of atoms': '3x' is not an integer");
    EXPECT_EQ(message(replaced("Charge      ", "Charges     ")), "x:11: expected the 'Charge' line, found 'Charges'");
    // The file's control bytes are shown escaped: none reaches the terminal or cuts the message.
    EXPECT_EQ(message(replaced("Charge      ", std::string("Charge\x1b[2J\0 ", 12))),
              "x:11: expected the 'Charge' line, found 'Charge\\x1b[2J\\x00'");
    // A carriage return (a file saved with CRLF line ends) is one character too many.
    EXPECT_EQ(message(water.substr(0, water.size() - 1) + "\r\n"),
              "x:56: 'Alpha MO coefficients': a row of 1 value should be 16 characters long, this one has 17");
}

}  // namespace

// zephor writes a coefficient below 1E-99 in magnitude as asterisks (ES16.8E2 has no room for its
// exponent): an oxygen 50 angstrom from its hydrogens. Such a checkpoint is zephor's own and is read,
// the field as 0.
TEST(CheckpointReader, TakesCoefficientsTooSmallForTheirField) {
    TempDir dir;
    write_file(dir / "FOR005", "far\n0\nO 50.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n");
    ASSERT_EQ(zephor_test::run_zephor(dir.path()).status, 0);
    const std::string text = read_file(dir / "FOR007");
    const std::size_t coefficients = text.find("Alpha MO coefficients");
    ASSERT_NE(text.find("****************", coefficients), std::string::npos);
    const Checkpoint c = parse_checkpoint(text, "FOR007");
    std::size_t zeros = 0;
    for (const double v : c.mo_coef) zeros += v == 0.0;
    EXPECT_GT(zeros, 0u);
    // Elsewhere asterisks stay malformed.
    std::string damaged = text;
    const std::size_t energies = damaged.find("Alpha Orbital Energies");
    const std::size_t row = damaged.find('\n', energies) + 1;
    damaged.replace(row, 16, "****************");
    EXPECT_THROW(parse_checkpoint(damaged, "FOR007"), MalformedCheckpoint);
}
