// Entry of zephor-export: reads a zephor checkpoint (FOR007) and writes the files orbital viewers
// read. The one place that turns a failure into its message and exit status.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/run_files.hpp"
#include "common/text_forms.hpp"
#include "common/whole_file.hpp"
#include "driver/worker_threads.hpp"
#include "export/checkpoint_reader.hpp"
#include "export/cube_writer.hpp"
#include "export/errors.hpp"
#include "export/fchk_writer.hpp"
#include "export/molden_writer.hpp"
#include "export/level_diagram.hpp"
#include "export/orbital_list.hpp"
#include "export/orbitals.hpp"
#include "export/population_analysis.hpp"
#include "export/report_reader.hpp"
#include "export/results_json.hpp"
#include "export/results_page.hpp"
#include "export/title_reader.hpp"
#include "solver/lapack_library.hpp"

namespace {

using namespace zephor::exporter;

struct Options {
    std::string input = zephor::checkpoint_file_name;
    std::string prefix;
    bool molden = false;
    bool fchk = false;
    std::string cube;  // orbital numbers, "homo" or "lumo", comma-separated; empty for no cube
    CubeGrid grid;
    bool force = false;
    bool list = false;
    bool plain_cube = false;
    std::string levels, dos, json;  // picture and results files; empty for none
    std::string html;               // the results page; empty for none
    std::string analysis;           // the population analyses as a readable table; empty for none
    std::string analysis_csv;       // their CSV tables' prefix; empty for none
    std::string orbitals;           // the orbitals the page lists first; empty for HOMO-3 to LUMO+3
    std::string window;             // "EMIN,EMAX" in eV; empty for the default
    double broadening = 0.2;        // eV
    std::string report;             // FOR006; default: beside the checkpoint
    std::optional<std::string> title;
};

// The file FILE beside the checkpoint (FOR005, FOR006 in the same folder).
std::string beside(const std::string& checkpoint, const char* file) {
    return (std::filesystem::path(checkpoint).parent_path() / file).string();
}

EnergyWindow window_of(const std::string& text, const LevelData& d) {
    if (text.empty()) return default_window(d);
    const std::size_t comma = text.find(',');
    const std::optional<double> lo = comma == std::string::npos ? std::nullopt : zephor::parse_real_text(text.substr(0, comma));
    const std::optional<double> hi = comma == std::string::npos ? std::nullopt : zephor::parse_real_text(text.substr(comma + 1));
    if (!lo || !hi || !(*lo < *hi)) throw RequestError("--window " + text + ": give EMIN,EMAX in eV, EMIN below EMAX");
    return {*lo, *hi};
}

// --cube takes an orbital number from 1, or HOMO / LUMO in any case.
std::int32_t cube_orbital(const std::string& which, const Checkpoint& c) {
    std::string lower;
    for (char ch : which) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    if (lower == "homo") {
        if (c.occupied_count == 0) throw RequestError("--cube homo: the checkpoint has no occupied orbital");
        return c.occupied_count;
    }
    if (lower == "lumo") {
        if (c.occupied_count == c.basis_count) throw RequestError("--cube lumo: every orbital is occupied");
        return c.occupied_count + 1;
    }
    std::int32_t k = 0;
    const auto res = std::from_chars(which.data(), which.data() + which.size(), k);
    if (res.ec != std::errc() || res.ptr != which.data() + which.size())
        throw RequestError("--cube " + which + ": give an orbital number, homo or lumo");
    return k;
}

// --cube takes a comma list of those; an orbital named twice (homo and its number) gives one cube.
std::vector<std::int32_t> cube_orbitals(const std::string& list, const Checkpoint& c) {
    std::vector<std::int32_t> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        if (end == start)
            throw RequestError("--cube " + list + ": give orbital numbers, homo or lumo, separated by single commas");
        const std::int32_t k = cube_orbital(list.substr(start, end - start), c);
        if (std::find(out.begin(), out.end(), k) == out.end()) out.push_back(k);
        start = end + 1;
    }
    return out;
}

struct Target {
    std::string name;
    enum Kind { molden, fchk, cube, levels, dos, json, html, analysis, analysis_csv } kind;
};

// A name as compared with the others: its folder made absolute and canonical, its last part as
// given (a symbolic link there is replaced as a link, so it is a name of its own).
std::filesystem::path compared_name(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path p(name);
    std::error_code ec;
    fs::path folder = fs::absolute(p.parent_path().empty() ? fs::path(".") : p.parent_path(), ec);
    const fs::path canonical = fs::weakly_canonical(folder, ec);
    if (!ec) folder = canonical;
    return (folder / p.filename()).lexically_normal();
}

void check_distinct(const std::vector<Target>& targets) {
    for (std::size_t i = 0; i < targets.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (compared_name(targets[i].name) == compared_name(targets[j].name))
                throw RequestError(targets[j].name == targets[i].name
                                       ? targets[i].name + " is named for two outputs; give each output its own name"
                                       : targets[j].name + " and " + targets[i].name +
                                             " are the same file; give each output its own name");
}

void fail_on(const std::string& failure) {
    if (!failure.empty()) throw FileError(failure);
}

int run(const Options& opt) {
    Checkpoint c = read_checkpoint(opt.input);
    c.title = opt.title ? *opt.title : for005_title(beside(opt.input, zephor::input_file_name));
    const bool pictures = !opt.levels.empty() || !opt.dos.empty() || !opt.json.empty() || !opt.html.empty() ||
                          !opt.analysis.empty() || !opt.analysis_csv.empty();
    const bool any = opt.molden || opt.fchk || !opt.cube.empty() || pictures;
    if (opt.list) {
        std::fputs(orbital_list(c).c_str(), stdout);
        if (!any) return 0;
    }
    const std::string prefix =
        opt.prefix.empty() ? std::filesystem::path(opt.input).replace_extension().string() : opt.prefix;

    // Every request is checked, and every name, before the first file is written.
    std::vector<Target> targets;
    if (opt.molden || !any) targets.push_back({prefix + ".molden", Target::molden});
    if (opt.fchk || !any) targets.push_back({prefix + ".fchk", Target::fchk});
    CubeGrid grid = opt.grid;
    grid.orbital_header = !opt.plain_cube;
    const std::vector<std::int32_t> cubes = opt.cube.empty() ? std::vector<std::int32_t>{} : cube_orbitals(opt.cube, c);
    for (const std::int32_t k : cubes) {
        check_cube(c, k, grid);
        targets.push_back({prefix + ".mo" + std::to_string(k) + ".cube", Target::cube});
    }
    if (!opt.levels.empty()) targets.push_back({opt.levels, Target::levels});
    if (!opt.dos.empty()) targets.push_back({opt.dos, Target::dos});
    if (!opt.json.empty()) targets.push_back({opt.json, Target::json});
    if (!opt.html.empty()) targets.push_back({opt.html, Target::html});
    if (!opt.analysis.empty()) targets.push_back({opt.analysis, Target::analysis});
    if (!opt.analysis_csv.empty())
        for (const char* table : {".charges.csv", ".bonds.csv", ".composition.csv"})
            targets.push_back({opt.analysis_csv + table, Target::analysis_csv});
    check_distinct(targets);
    const PictureFormat levels_format = opt.levels.empty() ? PictureFormat::svg : picture_format(opt.levels);
    const PictureFormat dos_format = opt.dos.empty() ? PictureFormat::svg : picture_format(opt.dos);
    if (!opt.dos.empty()) check_broadening(opt.broadening);
    LevelData levels{c.title, hill_formula(c), {}, c.occupied_count};
    for (std::size_t k = 0; k < c.orbital_energy.size(); ++k) levels.energies_ev.push_back(orbital_ev(c, k));
    const EnergyWindow window = window_of(opt.window, levels);
    const std::vector<std::int32_t> page_list =
        opt.html.empty() && opt.orbitals.empty() ? std::vector<std::int32_t>{} : page_orbitals(c, opt.orbitals);
    // The report is read (strictly) and matched with the checkpoint.
    const bool needs_report = !opt.json.empty() || !opt.html.empty();
    const Report report =
        needs_report ? read_report_of(opt.report.empty() ? beside(opt.input, zephor::report_file_name) : opt.report,
                                      c, opt.input)
                     : Report{};
    if (!opt.html.empty()) check_page(c, report);
    const std::string library = opt.html.empty() ? std::string() : read_3dmol_library();
    // No name is taken unless every name can be: no half-replaced set of files.
    for (const Target& t : targets) fail_on(zephor::output_name_problem(t.name, opt.force));

    // The cubes' grids run on OpenMP threads: started here, or where the system refuses them the
    // grids run on this thread alone, with the same values.
    if (!cubes.empty()) zephor::start_worker_threads();
    // Each file is written whole without its name (one text in memory at a time; the cubes are
    // streamed a slab of planes at a time); then all are named.
    const Orbitals o = export_orbitals(c);
    // The overlap-aware analyses, for every output that shows charges or bond orders.
    const bool analysed = !opt.analysis.empty() || !opt.analysis_csv.empty() || !opt.json.empty() || !opt.html.empty();
    const Analysis analysis = analysed ? population_analysis(c, o) : Analysis{};
    const std::vector<std::string> csv = opt.analysis_csv.empty() ? std::vector<std::string>{} : analysis_csv(c, analysis);
    std::size_t csv_next = 0;
    std::vector<zephor::WholeFile> files;
    files.reserve(targets.size());
    for (const Target& t : targets) {
        if (t.kind == Target::cube) {
            // The cubes, consecutive targets, in one pass over the grid at the first of them, each
            // streamed into its own unnamed file.
            if (files.size() < targets.size() && &t == &targets[files.size()]) {
                const std::size_t first = files.size();
                for (std::size_t m = 0; m < cubes.size(); ++m) {
                    files.emplace_back(targets[first + m].name, opt.force);
                    fail_on(files.back().open());
                }
                write_cubes(c, o, cubes, grid,
                            [&](std::size_t m, std::string_view piece) { fail_on(files[first + m].write(piece)); });
            }
            continue;
        }
        std::string text;
        switch (t.kind) {
            case Target::molden: text = molden_text(c, o); break;
            case Target::fchk: text = fchk_text(c, o); break;
            case Target::cube: break;
            case Target::levels: text = levels_picture(levels, window, levels_format); break;
            case Target::dos: text = dos_picture(levels, window, opt.broadening, dos_format); break;
            case Target::json: text = results_json(c, o, report, analysis, c.title, ZEPHOR_VERSION); break;
            case Target::html: text = results_page(c, o, report, analysis, page_list, library); break;
            case Target::analysis: text = analysis_text(c, analysis); break;
            case Target::analysis_csv: text = csv[csv_next++]; break;
        }
        files.emplace_back(t.name, opt.force);
        fail_on(files.back().open());
        fail_on(files.back().write(text));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        fail_on(files[i].publish());
        std::printf("wrote %s\n", targets[i].name.c_str());
        if (targets[i].kind == Target::fchk && c.occupied_count == 0)
            std::fprintf(stderr,
                         "zephor-export: note: %s has no occupied orbital; Open Babel refuses formatted "
                         "checkpoints with zero alpha electrons\n",
                         targets[i].name.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Turns a zephor checkpoint (FOR007) into files that orbital viewers read: a Molden file, "
                 "a conventional formatted checkpoint, and a Gaussian cube of one orbital; and into the "
                 "energy-level diagram, the density of states, the results as JSON and one results page "
                 "for the browser. Orbitals are normalised against the overlap (c^T S c = 1). Lengths in "
                 "bohr, energies in hartree.",
                 "zephor-export"};
    Options opt;
    app.add_option("input", opt.input, "checkpoint written by zephor")->capture_default_str();
    app.add_option("-o,--output", opt.prefix,
                   "prefix of the files written (default: the input path without its extension)");
    app.add_flag("--molden", opt.molden, "write PREFIX.molden");
    app.add_flag("--fchk", opt.fchk, "write PREFIX.fchk (formatted checkpoint)");
    app.add_option("--cube", opt.cube,
                   "write PREFIX.moN.cube of orbital N (from 1), homo or lumo; a comma list (homo,lumo,12) writes "
                   "one cube each")
        ->type_name("N|homo|lumo[,...]");
    app.add_option("--spacing", opt.grid.spacing, "cube grid spacing in bohr, at most six decimals")
        ->capture_default_str();
    app.add_option("--margin", opt.grid.margin, "cube grid extent beyond the outermost atoms, bohr")
        ->capture_default_str();
    app.add_flag("--plain-cube", opt.plain_cube,
                 "write the cube with the plain header (positive atom count, no orbital line), for ASE");
    app.add_flag("--list", opt.list, "print every orbital: number, energy in eV and hartree, occupation, HOMO/LUMO");
    app.add_option("--levels", opt.levels, "draw the orbital energy-level diagram to FILE (.svg, .png or .pdf)");
    app.add_option("--dos", opt.dos, "draw the Gaussian-broadened density of states to FILE (.svg, .png or .pdf)");
    app.add_option("--window", opt.window, "energy window EMIN,EMAX of the pictures, eV (default: HOMO-15 to LUMO+10)");
    app.add_option("--broadening", opt.broadening, "standard deviation of the DOS Gaussians, eV")->capture_default_str();
    app.add_option("--json", opt.json, "write the results as a QCSchema AtomicResult to FILE");
    app.add_option("--html", opt.html, "write one self-contained results page for the browser to FILE");
    app.add_option("--analysis", opt.analysis,
                   "write the overlap-aware population analyses (Mulliken, Loewdin, Mayer, overlap populations, "
                   "orbital composition) as a readable table to FILE");
    app.add_option("--analysis-csv", opt.analysis_csv,
                   "write the same analyses as PREFIX.charges.csv, PREFIX.bonds.csv and PREFIX.composition.csv")
        ->type_name("PREFIX");
    app.add_option("--orbitals", opt.orbitals, "the orbitals the page lists first (framed in its level diagram, their grids evaluated ahead): numbers, homo, lumo (default: HOMO-3 to LUMO+3)");
    app.add_option("--report", opt.report, "the report FOR006 the JSON takes charges and bond orders from "
                                           "(default: beside the checkpoint)");
    app.add_option("--title", opt.title, "the molecule's title (default: that of FOR005 beside the checkpoint)");
    app.add_flag("-f,--force", opt.force, "replace files that exist already (by a rename; a symbolic link is replaced as a link)");
    // The version, and the linear-algebra library zephor loads: its bits depend on it.
    app.set_version_flag("--version", [] {
        const zephor::LapackLibrary l = zephor::lapack_library();
        return std::string("zephor-export " ZEPHOR_VERSION "\nlinear algebra: ") + l.path + "\n" +
               (l.config.empty() ? std::string("(cannot be loaded, or not OpenBLAS)") : l.config);
    });
    app.footer("With none of --molden, --fchk, --cube, --levels, --dos, --json, --html, --analysis, "
               "--analysis-csv: writes the Molden file and "
               "the formatted checkpoint (with --list alone, nothing). Every request and name is checked before "
               "anything is written; each file is written whole, then named (with --force by a rename over a "
               "regular file or a symbolic link, never over anything else).\n"
               "Exit status: 0 done, 1 bad command line, request or file problem, 2 malformed checkpoint or "
               "report, or a report of another run.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 1;
    }
    // A closed standard output ends no run half-way; it is reported at the end.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const int status = run(opt);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "zephor-export: cannot write standard output: %s\n", std::strerror(errno));
            return 1;
        }
        return status;
    } catch (const MalformedCheckpoint& e) {
        std::fprintf(stderr, "zephor-export: %s\n", e.what());
        return 2;
    } catch (const ReportMismatch& e) {
        std::fprintf(stderr, "zephor-export: %s\n", e.what());
        return 2;
    } catch (const ExportError& e) {  // FileError, RequestError
        std::fprintf(stderr, "zephor-export: %s\n", e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "zephor-export: out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        // A library's own failure (the JSON writer's on text that is not UTF-8, the file system's).
        std::fprintf(stderr, "zephor-export: %s\n", e.what());
        return 1;
    }
}
