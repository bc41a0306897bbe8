// The report's layout in the small cases whose shape is fixed: no occupied orbital, one atom,
// labels that grow with two-digit numbers, asterisks for energies that do not fit.
#include "output/report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zephor;

namespace {

// What `fn` writes through an output file kept in memory.
template <class Fn>
std::string written(Fn&& fn) {
    OutputFile f = OutputFile::in_memory("FOR006", 11);
    fn(f);
    return f.take_text();
}

}  // namespace

TEST(Report, NoOccupiedOrbitalAndOneAtom) {
    const std::string report = written([](OutputFile& f) {
        write_report(f, {-13.6}, 0, 0.0, {1.0}, {1.0}, {"H   "}, 1);
    });
    const std::string tail =
        std::string(62, '*') + "\nEnergy levels (occupied orbitals)\nTotal energy:         0.0000eV\n" +
        std::string(66, '*') + "\nMulliken population analysis:\n   H(1):  0.0000\n" + std::string(66, '*') +
        "\nTotal charge:  0.0000\n" + std::string(66, '*') + "\nWiberg bond orders:\n";
    ASSERT_GE(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
    EXPECT_EQ(report.rfind("Thank you for using ZEPHOR\n", 0), 0u);
}

TEST(Report, LabelsGrowWithTwoDigitNumbers) {
    const int atoms = 10;
    std::vector<double> pop(atoms * atoms, 0.25);
    std::vector<double> valence(atoms, 4.0);
    std::vector<std::string> symbol(atoms, "C   ");
    symbol[9] = "H   ";
    std::vector<double> energy(12, -150.0);
    energy[9] = -1.5;
    const std::string report = written([&](OutputFile& f) {
        write_report(f, energy, 10, -300.0, pop, valence, symbol, atoms);
    });
    EXPECT_NE(report.find("\nEstate9:********eV\nEstate10: -1.5000eV\nTotal energy:      -300.0000eV\n"), std::string::npos);
    EXPECT_NE(report.find("\n   H(10):  3.7500\n"), std::string::npos);
    EXPECT_NE(report.find("\n   C(1)-H(10):  0.2500\n"), std::string::npos);
    EXPECT_NE(report.find("\n   C(9)-H(10):  0.2500\n"), std::string::npos);
}
