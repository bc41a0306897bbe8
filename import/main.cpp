// zephor-import: writes a FOR005 that zephor runs, from the molecule a chemist has (XYZ,
// Z-matrix, SDF/MOL, MOL2, PDB, CML or a SMILES string).
//
//   zephor-import INPUT [-o FOR005] [--format FMT] [--charge N] [--title T] [--index N] [--force]
//                [--timeout SECONDS]
//   zephor-import --smiles 'CCO' [...]
//   zephor-import --serve   (many such runs for zephor-batch: import/request_server.hpp)
//
// Exit status: 0 written, 1 bad command line or file problem, 2 a molecule that cannot become a
// FOR005, also one on which Open Babel crashed or ran past --timeout (nothing is written then).
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "common/run_files.hpp"
#include "common/whole_file.hpp"
#include "import/errors.hpp"
#include "import/for005_writer.hpp"
#include "import/request_server.hpp"
#include "import/sandboxed_reader.hpp"
#include "import/text_lines.hpp"
#include "import/xyz_reader.hpp"
#include "import/zmatrix.hpp"

namespace zi = zephor::importer;
namespace fs = std::filesystem;

namespace {

struct Options {
    std::string input;
    std::string smiles;
    std::string output = zephor::input_file_name;
    std::string format;
    std::optional<int> charge;
    std::optional<std::string> title;
    int index = 1;
    bool force = false;
    double timeout = 60;  // seconds of wall-clock time for Open Babel's reading and 3D building
};

// The format a file name's extension names, or "" when it names none.
std::string format_of(const std::string& path) {
    static const std::map<std::string, std::string> by_extension = {
        {".xyz", "xyz"}, {".zmat", "zmat"}, {".gzmat", "gzmat"}, {".sdf", "sdf"}, {".sd", "sdf"},
        {".mol", "mol"}, {".mol2", "mol2"}, {".pdb", "pdb"},     {".ent", "pdb"}, {".cml", "cml"},
        {".smi", "smi"}, {".smiles", "smi"}};
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto it = by_extension.find(ext);
    return it == by_extension.end() ? "" : it->second;
}

std::string read_input(const std::string& path) {
    std::ostringstream text;
    if (path == "-") {
        text << std::cin.rdbuf();
        return text.str();
    }
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw zi::FileError(path + " is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw zi::FileError("cannot open " + path + " for reading: " + std::strerror(errno));
    text << in.rdbuf();
    if (in.bad()) throw zi::FileError("cannot read " + path);
    return text.str();
}

// Open Babel's formats: in the server's long-lived child where there is one, else in a child of
// this run.
zi::MoleculeIn read_babel(zi::BabelChild* babel, std::string_view text, const std::string& format,
                          const std::string& name, double seconds) {
    return babel != nullptr ? babel->read(text, format, name, seconds)
                            : zi::read_with_babel_in_child(text, format, name, seconds);
}

zi::MoleculeIn read_molecule(const Options& opt, const std::string& format, zi::BabelChild* babel) {
    if (!opt.smiles.empty()) {
        zi::MoleculeIn m = read_babel(babel, opt.smiles, "smi", "SMILES '" + zi::shown(opt.smiles) + "'", opt.timeout);
        m.title = opt.smiles;  // Open Babel takes a title only from text after the SMILES
        return m;
    }
    const std::string text = read_input(opt.input);
    const std::string name = opt.input == "-" ? "standard input" : opt.input;
    zi::MoleculeIn m;
    if (format == "xyz")
        m = zi::read_xyz(text, name, opt.index);
    else if (format == "zmat")
        m = zi::read_zmatrix(text, name);
    else if (format == "gzmat")
        m = zi::read_gaussian_zmatrix(text, name);
    else
        m = read_babel(babel, text, format, zi::shown(name), opt.timeout);
    if (m.title.find_first_not_of(" \t\r") == std::string::npos && opt.input != "-")
        m.title = fs::path(opt.input).stem().string();
    return m;
}

// The file, written whole and then named: only where nothing stands, or with --force by a rename
// over a regular file or a symbolic link.
void write_output(const Options& opt, const std::string& text) {
    if (const std::string failure = zephor::write_whole_file(opt.output, text, opt.force); !failure.empty())
        throw zi::FileError(failure);
}

int run(const Options& opt, zi::BabelChild* babel) {
    if (opt.input.empty() == opt.smiles.empty())
        throw zi::FileError("give one input: a file (or - for standard input) or --smiles");
    std::string format = opt.format;
    if (format.empty() && opt.smiles.empty()) {
        format = format_of(opt.input);
        if (format.empty())
            throw zi::FileError("cannot tell the format of '" + opt.input + "' from its name; give --format");
    }
    zi::MoleculeIn m = read_molecule(opt, format, babel);
    if (opt.title) m.title = *opt.title;
    write_output(opt, zi::for005_text(m, opt.charge.value_or(m.charge.value_or(0))));
    return 0;
}

// One run: the command line as a chemist gives it; babel, the server's long-lived reading child
// (nullptr for a run of its own).
int import_main(int argc, char** argv, zi::BabelChild* babel) {
    CLI::App app{"zephor-import: writes the molecule file FOR005 that zephor reads, from an XYZ, Z-matrix, "
                 "SDF/MOL, MOL2, PDB or CML file, or a SMILES string."};
    Options opt;
    app.add_option("input", opt.input, "the molecule file; - reads standard input (give --format)");
    app.add_option("--smiles", opt.smiles, "a SMILES string instead of a file; 3D coordinates are generated");
    app.add_option("-o,--output", opt.output, "the file to write")->capture_default_str();
    app.add_option("--format", opt.format, "the input format, when the file name does not tell it")
        ->check(CLI::IsMember({"xyz", "zmat", "gzmat", "sdf", "mol", "mol2", "pdb", "cml", "smi"}));
    // Read as text: CLI11's own conversion would take "0x10" as 16.
    std::optional<std::string> charge_text;
    app.add_option("--charge", charge_text, "the total charge, a decimal integer (default: the file's, else 0)");
    app.add_option("--title", opt.title, "the title (default: the file's, else the file name)");
    app.add_option("--index", opt.index, "which molecule of a multi-molecule XYZ file, from 1")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--timeout", opt.timeout,
                   "seconds Open Babel may take to read the molecule and build its 3D coordinates")
        ->check(CLI::Validator(
            [](std::string& text) {
                double s = 0;
                // Up to a year: beyond that the milliseconds of the deadline would not fit.
                if (!CLI::detail::lexical_cast(text, s) || !(s > 0) || s > 3.2e7)
                    return std::string("must be a positive number of seconds, at most 32000000");
                return std::string();
            },
            "POSITIVE"))
        ->capture_default_str();
    app.add_flag("-f,--force", opt.force, "replace the output file if it exists");
    app.set_version_flag("--version", "zephor-import " ZEPHOR_VERSION);
    app.footer("Formats by extension: .xyz .zmat .gzmat .sdf/.sd .mol .mol2 .pdb/.ent .cml .smi.\n"
               "Open Babel's formats are read in a child process limited to --timeout seconds (and 2 GiB).\n"
               "Exit status: 0 written, 1 bad command line or file problem, 2 a molecule that cannot be "
               "written, or a crash or overrun of Open Babel (nothing is written).");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 1;
    }
    try {
        if (charge_text && !(opt.charge = zi::parse_integer(*charge_text)))
            throw zi::FileError("--charge: '" + zi::shown(*charge_text) + "' is not a decimal integer");
        return run(opt, babel);
    } catch (const zi::ContentError& e) {
        std::fprintf(stderr, "zephor-import: %s\n", e.what());
        return 2;
    } catch (const zi::FileError& e) {
        std::fprintf(stderr, "zephor-import: %s\n", e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "zephor-import: out of memory\n");
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--serve") == 0) {
        try {
            zi::BabelChild babel;
            return zi::serve_requests(STDIN_FILENO, STDOUT_FILENO, [&babel](std::vector<char*>& argv) {
                return import_main(static_cast<int>(argv.size()) - 1, argv.data(), &babel);
            });
        } catch (const zi::FileError& e) {
            std::fprintf(stderr, "zephor-import: %s\n", e.what());
            return 1;
        }
    }
    return import_main(argc, argv, nullptr);
}
