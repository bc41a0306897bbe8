// Orbital-grid benchmark: one checkpoint's cubes written at the default grid by the plain
// point-by-point evaluation (as zephor-export wrote them before the factorised grids) and by the
// factorised one, in one process, with the text of both compared value by value.
//
//   zephor_grid_bench FOR007 [--repeat R] [--threads T]
//
// Prints a Markdown table: seconds (the plain once, the fast the median of R), gains, sizes, and
// how many of the written values differ (and by more than their last digit).
#include <omp.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "export/checkpoint_reader.hpp"
#include "export/cube_writer.hpp"
#include "export/orbital_grid.hpp"
#include "export/orbital_value.hpp"
#include "export/orbitals.hpp"

namespace ze = zephor::exporter;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Wall and processor seconds (all threads), the medians of `repeat` runs: on a shared machine the
// wall time grows with the others' work, the processor time much less.
struct Seconds {
    double wall = 0.0, cpu = 0.0;
};

template <class F>
Seconds median_seconds(int repeat, F&& f) {
    std::vector<double> wall, cpu;
    for (int r = 0; r < repeat; ++r) {
        const auto t0 = Clock::now();
        const double c0 = cpu_seconds();
        f();
        cpu.push_back(cpu_seconds() - c0);
        wall.push_back(seconds_since(t0));
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

// The value fields after the header's lines.
std::vector<std::string> value_fields(const std::string& cube, std::size_t header_lines) {
    std::istringstream in(cube);
    std::string line;
    for (std::size_t i = 0; i < header_lines; ++i) std::getline(in, line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// Two E13.5 fields one unit apart in their last digit (same exponent and sign).
bool last_digit_apart(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.substr(a.size() - 4) != b.substr(b.size() - 4) || a[0] != b[0]) return false;
    std::string ma, mb;
    for (char ch : a.substr(0, a.size() - 4)) if (ch >= '0' && ch <= '9') ma += ch;
    for (char ch : b.substr(0, b.size() - 4)) if (ch >= '0' && ch <= '9') mb += ch;
    return std::llabs(std::stoll(ma) - std::stoll(mb)) == 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zephor_grid_bench FOR007 [--repeat R] [--threads T]\n");
        return 2;
    }
    int repeat = 5, threads = 2;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--threads" && i + 1 < argc) threads = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: zephor_grid_bench FOR007 [--repeat R] [--threads T]\n");
            return 2;
        }
    }
    const ze::Checkpoint c = ze::read_checkpoint(argv[1]);
    const ze::Orbitals o = ze::export_orbitals(c);
    const ze::CubeGrid grid;
    const std::int32_t homo = c.occupied_count, lumo = c.occupied_count + 1;
    const ze::GridAxes axes = ze::cube_axes(c, grid);

    std::string plain;
    const Seconds t_plain = median_seconds(1, [&] {
        plain = ze::cube_text(c, homo, grid, ze::plain_grid_values(c, o, {homo}, axes));
    });
    std::string fast;
    omp_set_num_threads(1);
    const Seconds t_one = median_seconds(repeat, [&] { fast = ze::cube_text(c, o, homo, grid); });
    omp_set_num_threads(threads);
    const Seconds t_team = median_seconds(repeat, [&] { fast = ze::cube_text(c, o, homo, grid); });
    // HOMO and LUMO in one pass, against two single passes.
    std::size_t both_bytes = 0;
    const Seconds t_pair = median_seconds(repeat, [&] {
        both_bytes = 0;
        ze::write_cubes(c, o, {homo, lumo}, grid, [&](std::size_t, std::string_view s) { both_bytes += s.size(); });
    });
    // The values alone, as a page or a script takes them (surface bound), one orbital.
    std::vector<double> values;
    const Seconds t_values = median_seconds(repeat, [&] { values = ze::orbital_grid_values(c, o, {homo}, axes); });
    std::vector<double> text_values;
    const Seconds t_text_values =
        median_seconds(repeat, [&] { text_values = ze::orbital_grid_values(c, o, {homo}, axes, 0, ze::cube_text_bound); });
    std::string formatted;
    const Seconds t_format = median_seconds(repeat, [&] { formatted = ze::cube_text(c, homo, grid, text_values); });
    const double reach_text = ze::OrbitalGrid(c, o, {homo}, axes, ze::cube_text_bound).reach();
    const double reach_surface = ze::OrbitalGrid(c, o, {homo}, axes, ze::surface_bound).reach();

    const std::size_t header_lines = 6 + static_cast<std::size_t>(c.atom_count) + 1;
    const std::vector<std::string> a = value_fields(plain, header_lines), b = value_fields(fast, header_lines);
    std::size_t differ = 0, beyond_last = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i]) {
            ++differ;
            if (!last_digit_apart(a[i], b[i])) ++beyond_last;
        }

    std::printf("Orbital grids: %d atoms, %d basis functions, HOMO (orbital %d) cube at %.2f bohr, %lld x %lld x %lld "
                "= %lld points, %.1f MB.\n\n",
                c.atom_count, c.basis_count, homo, grid.spacing, static_cast<long long>(axes.count[0]),
                static_cast<long long>(axes.count[1]), static_cast<long long>(axes.count[2]),
                static_cast<long long>(ze::grid_point_count(axes)), static_cast<double>(fast.size()) / 1e6);
    std::printf("| what | wall s | gain | processor s | gain |\n|---|--:|--:|--:|--:|\n");
    const auto row = [&](const std::string& what, const Seconds& t, double cubes) {
        std::printf("| %s | %.3f | %.1f× | %.3f | %.1f× |\n", what.c_str(), t.wall, cubes * t_plain.wall / t.wall, t.cpu,
                    cubes * t_plain.cpu / t.cpu);
    };
    row("cube, plain evaluation (before)", t_plain, 1.0);
    row("cube, factorised, 1 thread", t_one, 1.0);
    row("cube, factorised, " + std::to_string(threads) + " threads", t_team, 1.0);
    row("HOMO and LUMO cubes in one pass (gain per cube), " + std::to_string(threads) + " threads", t_pair, 2.0);
    row("values only, cube-text bound, " + std::to_string(threads) + " threads", t_text_values, 1.0);
    row("values only, surface bound, " + std::to_string(threads) + " threads", t_values, 1.0);
    std::printf("| the text alone, from values | %.3f | | %.3f | |\n\n", t_format.wall, t_format.cpu);
    std::printf("Share of primitive-point pairs evaluated (boxes of reach): %.3f for the cube's text, %.3f for "
                "surfaces. Cube text: %s bytes as the plain one's; %zu of %zu values differ, %zu of them by more than "
                "one unit of the last digit. Fast times are medians of %d.\n",
                reach_text, reach_surface, plain.size() == fast.size() ? "the same" : "NOT the same", differ, a.size(),
                beyond_last, repeat);
    return a.size() == b.size() ? 0 : 1;
}
