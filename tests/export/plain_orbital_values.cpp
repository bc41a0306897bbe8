// For the results page's browser test: one orbital's values from the exporter's plain evaluation
// (a sum over shells and primitives at each point), unrounded, on the grid a cube header states.
//   zephor_plain_orbital_values FOR007 ORBITAL X0 Y0 Z0 NX NY NZ STEP
// writes NX*NY*NZ little-endian doubles (bohr^-3/2) to stdout, x-major, z fastest, at the points
// X0 + i*STEP, ... (bohr), as the cube writer takes them;
//   zephor_plain_orbital_values --coefficients FOR007
// writes the exported orbitals' coefficients (c^T S c = 1), n x n doubles, column k = orbital k.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>

#include "export/checkpoint_reader.hpp"
#include "export/orbital_value.hpp"
#include "export/orbitals.hpp"

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--coefficients") {
        try {
            using namespace zephor::exporter;
            const Orbitals o = export_orbitals(read_checkpoint(argv[2]));
            std::string out;
            for (const double x : o.coef) {
                const auto bits = std::bit_cast<std::uint64_t>(x);
                for (int b = 0; b < 8; ++b) out += static_cast<char>((bits >> (8 * b)) & 0xff);
            }
            return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0 ? 0 : 1;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zephor_plain_orbital_values: %s\n", e.what());
            return 2;
        }
    }
    if (argc != 10) {
        std::fputs("usage: zephor_plain_orbital_values FOR007 ORBITAL X0 Y0 Z0 NX NY NZ STEP\n"
                   "       zephor_plain_orbital_values --coefficients FOR007\n", stderr);
        return 2;
    }
    try {
        using namespace zephor::exporter;
        const Checkpoint c = read_checkpoint(argv[1]);
        const Orbitals o = export_orbitals(c);
        const std::int32_t k = std::stoi(argv[2]);
        if (k < 1 || k > c.basis_count) throw std::out_of_range("no such orbital");
        const double origin[3] = {std::stod(argv[3]), std::stod(argv[4]), std::stod(argv[5])};
        const long count[3] = {std::stol(argv[6]), std::stol(argv[7]), std::stol(argv[8])};
        const double step = std::stod(argv[9]);
        std::string out;
        for (long i = 0; i < count[0]; ++i)
            for (long j = 0; j < count[1]; ++j)
                for (long l = 0; l < count[2]; ++l) {
                    const double p[3] = {origin[0] + static_cast<double>(i) * step, origin[1] + static_cast<double>(j) * step,
                                         origin[2] + static_cast<double>(l) * step};
                    const auto bits = std::bit_cast<std::uint64_t>(orbital_value(c, o, k, p));
                    for (int b = 0; b < 8; ++b) out += static_cast<char>((bits >> (8 * b)) & 0xff);
                }
        return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zephor_plain_orbital_values: %s\n", e.what());
        return 2;
    }
}
