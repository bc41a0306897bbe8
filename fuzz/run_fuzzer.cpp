// libFuzzer target over whole runs of small molecules, in a scratch working directory. The bytes
// choose the atoms (element, coordinates: ordinary, coincident, nearly coincident, far apart),
// the charge, and which output file is present beforehand. Checked after every run:
// - it ends in one of the three ways main() knows (statuses 0, 1, 2), nothing else escapes;
// - a normal end leaves both files complete; a quiet stop leaves only what is documented (no
//   file, or a complete report beside an old checkpoint); a reported failure leaves no new file
//   and every old one untouched;
// - the populations sum to twice the occupied orbitals, and the report's total charge agrees;
// - the files are byte for byte those of the plain pipeline (reference assembly and analysis, the
//   solve on copies of the matrices).
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "fuzz/scratch_files.hpp"
#include "common/elements.hpp"
#include "common/errors.hpp"
#include "driver/molecule.hpp"
#include "driver/plain_pipeline.hpp"
#include "driver/run.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

constexpr std::size_t max_atoms = 12;
const std::string old_report = "an older report\n";
const std::string old_checkpoint = "an older checkpoint\n";

struct Case {
    std::string input;  // FOR005
    int present = 0;    // 0: no output file beforehand, 1: FOR006, 2: FOR007
    bool overflows = false;  // a coordinate whose bohr value is infinite
};

void put_real(std::string& out, double x) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, x);  // shortest text that reads back
    out.append(buf, res.ptr);
}

Case decode(const std::uint8_t* data, std::size_t size) {
    Case c;
    if (size < 2) return c;
    c.present = data[0] % 3;
    const int charge = static_cast<std::int8_t>(data[1]) / 16;  // -8 .. 7
    c.input = "molecule\n" + std::to_string(charge) + "\n";
    double prev[3] = {0.0, 0.0, 0.0};
    for (std::size_t at = 2, atoms = 0; at + 7 <= size && atoms < max_atoms; at += 7, ++atoms) {
        const std::uint8_t kind = data[at];
        double xyz[3];
        for (int k = 0; k < 3; ++k) {
            const auto v = static_cast<std::int16_t>(data[at + 1 + 2 * k] | (data[at + 2 + 2 * k] << 8));
            switch ((kind / 6) % 5) {
            case 0: xyz[k] = v / 1000.0; break;            // within +-33 Angstrom
            case 1: xyz[k] = prev[k]; break;               // on top of the previous atom
            case 2: xyz[k] = prev[k] + v * 1e-7; break;    // nearly on top
            case 3: xyz[k] = v * 3.0; break;               // up to about 10^5 Angstrom away
            default: xyz[k] = v * 5e303; break;            // up to 1.6e308, past what bohr can hold
            }
            if (!std::isfinite(xyz[k] / zephor::bohr_in_angstrom)) c.overflows = true;
            prev[k] = xyz[k];
        }
        c.input += zephor::element_letters[kind % 6];
        for (double x : xyz) {
            c.input += ' ';
            put_real(c.input, x);
        }
        c.input += '\n';
    }
    return c;
}

using zephor_fuzz::slurp;

void put(const char* name, const std::string& content) {
    std::ofstream out(name, std::ios::binary);
    out << content;
    check(static_cast<bool>(out));
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        check(end != std::string::npos);  // every record ends with a line feed
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The report of a molecule of `atoms` atoms with `occupied` orbitals: every record present, and
// the total charge as computed here.
void check_report(const std::string& text, std::size_t atoms, std::size_t occupied, double total_charge) {
    const std::vector<std::string> lines = lines_of(text);
    check(lines.size() == 9 + 3 + occupied + 2 + atoms + 4 + atoms * (atoms - 1) / 2);
    check(lines[0] == "Thank you for using ZEPHOR");
    check(lines[11 + occupied].rfind("Total energy:", 0) == 0);
    const std::string& charge_line = lines[14 + occupied + atoms + 1];
    check(charge_line.rfind("Total charge:", 0) == 0);
    const double printed = std::strtod(charge_line.c_str() + 13, nullptr);
    check(std::fabs(printed - total_charge) <= 0.00006);
    check(lines[14 + occupied + atoms + 3] == "Wiberg bond orders:");
}

// The checkpoint ends with all n^2 orbital coefficients, five to a line.
void check_checkpoint(const std::string& text, std::size_t n) {
    const std::vector<std::string> lines = lines_of(text);
    std::size_t header = 0;
    while (header < lines.size() && lines[header].rfind("Alpha MO coefficients", 0) != 0) ++header;
    check(header < lines.size());
    check(lines[header].substr(lines[header].find("N=") + 2).find(std::to_string(n * n)) != std::string::npos);
    const std::size_t rows = (n * n + 4) / 5;
    check(lines.size() == header + 1 + rows);
    for (std::size_t i = 0; i < rows; ++i) {
        const std::size_t values = (i + 1 < rows || n * n % 5 == 0) ? 5 : n * n % 5;
        check(lines[header + 1 + i].size() == 16 * values);
    }
}

// What the program's steps compute for the molecule through the plain pipeline (reference
// assembly and analysis, the solve on copies), with the files it would write.
struct Expected {
    bool solved = false;
    std::size_t atoms = 0, n = 0, occupied = 0;
    double total_charge = 0.0;
    std::string report, checkpoint;
};

Expected compute(const std::string& input) {
    Expected x;
    zephor::PlainRun p;
    try {
        p = zephor::plain_pipeline(input);
    } catch (const zephor::ReportError&) {
        return x;
    }
    if (!p.solved) return x;
    const zephor::Molecule& m = p.molecule;
    double population = 0.0, valence = 0.0;
    for (std::int32_t a = 0; a < m.atom_count; ++a) {
        population += p.atom_pop[static_cast<std::size_t>(a) * (m.atom_count + 1)];
        valence += m.basis.valence[a];
    }
    // Unit-length orbitals: each occupied one puts exactly two electrons on the atoms.
    check(std::fabs(population - 2.0 * p.occupied_count) <= 1e-9 * (1.0 + p.occupied_count));
    x.solved = true;
    x.atoms = static_cast<std::size_t>(m.atom_count);
    x.n = static_cast<std::size_t>(m.basis_count);
    x.occupied = static_cast<std::size_t>(p.occupied_count);
    x.total_charge = valence - population;
    x.report = std::move(p.report);
    x.checkpoint = std::move(p.checkpoint);
    return x;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Runs create and remove files in the working directory: each fuzzing process takes a
    // scratch folder of its own, under ZEPHOR_FUZZ_WORKDIR when set.
    const char* parent = std::getenv("ZEPHOR_FUZZ_WORKDIR");
    std::string name = std::string(parent ? parent : "/tmp") + "/zephor-fuzz-run.XXXXXX";
    check(mkdtemp(name.data()) != nullptr && chdir(name.c_str()) == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Case c = decode(data, size);
    if (c.input.empty()) return 0;
    std::remove("FOR006");
    std::remove("FOR007");
    put("FOR005", c.input);
    if (c.present == 1) put("FOR006", old_report);
    if (c.present == 2) put("FOR007", old_checkpoint);

    const Expected x = compute(c.input);

    int status = -1;
    bool returned = false;
    try {
        zephor::run();
        status = 0;
        returned = true;
    } catch (const zephor::PlainStop&) {
        status = 0;
    } catch (const zephor::ReportError& e) {
        status = 2;
        check(e.where().find("file = 'FOR005'") != std::string::npos);  // nothing is written yet
    } catch (const zephor::MemoryRefused&) {
        status = 1;
    } catch (const std::bad_alloc&) {
        status = 1;
    }
    check(status == 0 || status == 1 || status == 2);
    // A coordinate that overflows in bohr is a bad real number, never NaN results or a quiet stop.
    if (c.overflows) check(status == 2);

    const auto report = slurp("FOR006");
    const auto checkpoint = slurp("FOR007");
    if (returned) {
        check(c.present == 0 && x.solved);
        check(report && checkpoint);
        check_report(*report, x.atoms, x.occupied, x.total_charge);
        check_checkpoint(*checkpoint, x.n);
        check(*report == x.report && *checkpoint == x.checkpoint);
    } else if (status == 0 && c.present == 2 && x.solved) {
        // The report was written in full; the old checkpoint stopped the run.
        check(report.has_value());
        check_report(*report, x.atoms, x.occupied, x.total_charge);
        check(*report == x.report);
        check(checkpoint == old_checkpoint);
    } else {
        // Stopped before any output: every file as it was.
        check(status != 0 || !x.solved || c.present == 1);
        check(report == (c.present == 1 ? std::optional(old_report) : std::nullopt));
        check(checkpoint == (c.present == 2 ? std::optional(old_checkpoint) : std::nullopt));
    }
    std::remove("FOR005");
    std::remove("FOR006");
    std::remove("FOR007");
    return 0;
}
