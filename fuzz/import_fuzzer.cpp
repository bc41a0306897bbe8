// libFuzzer target over zephor-import's own readers: the first byte chooses XYZ, Z-matrix or the
// Gaussian Z-matrix layout, the rest is the file. Checked for every input:
// - it ends in a molecule or in a ContentError whose message is one line of plain text;
// - a molecule that becomes a FOR005 is read back by zephor's own reader with the same atoms and
//   exactly the coordinates it had (Angstrom / Bohr radius), and a nonzero count of atoms;
// - zephor, run in this process on that FOR005 in a scratch folder, ends normally with both
//   files written, and no coordinate of the checkpoint in asterisks: a FOR005 that zephor-import
//   writes never stops quietly or with a report (a molecule too large for the machine aside).
#include <unistd.h>

#include <cctype>
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
#include <string_view>

#include "common/constants.hpp"
#include "fuzz/scratch_files.hpp"
#include "common/errors.hpp"
#include "driver/molecule.hpp"
#include "driver/run.hpp"
#include "import/errors.hpp"
#include "import/for005_writer.hpp"
#include "import/xyz_reader.hpp"
#include "import/zmatrix.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// One line of plain text: no control byte, and no byte of 0x80 or above but those of the messages'
// own "\u00c5" (a C1 control or a cut sequence of the input would reach the terminal raw).
void check_message(std::string message) {
    check(!message.empty());
    for (std::size_t at; (at = message.find("\u00c5")) != std::string::npos;) message.erase(at, 2);
    for (const char c : message) check(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f);
}

using zephor_fuzz::slurp;

// Whether the checkpoint's coordinate rows hold numbers, no field in asterisks. (Other rows may:
// an orbital coefficient below 1E-99 is asterisks in zephor's checkpoint, as zephor writes it.)
bool coordinates_fit(const std::string& checkpoint) {
    std::size_t at = checkpoint.find("\nCurrent cartesian coordinates");
    if (at == std::string::npos) return false;
    at = checkpoint.find('\n', at + 1) + 1;
    while (at < checkpoint.size() && !std::isalpha(static_cast<unsigned char>(checkpoint[at]))) {
        const std::size_t end = checkpoint.find('\n', at);
        if (checkpoint.substr(at, end - at).find('*') != std::string::npos) return false;
        at = end + 1;
    }
    return true;
}

// zephor on `for005` in the working directory: true when it ends normally with both files.
bool runs_to_the_end(const std::string& for005) {
    std::remove("FOR006");
    std::remove("FOR007");
    {
        std::ofstream out("FOR005", std::ios::binary);
        out << for005;
        check(static_cast<bool>(out));
    }
    try {
        zephor::run();
    } catch (const zephor::MemoryRefused&) {
        return true;  // refused before any array exists: the machine, not the molecule
    } catch (const std::bad_alloc&) {
        return true;
    } catch (const zephor::RunEnd&) {
        return false;  // a quiet stop or a report
    }
    const auto report = slurp("FOR006");
    const auto checkpoint = slurp("FOR007");
    return report && checkpoint && !report->empty() && coordinates_fit(*checkpoint);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // zephor's runs create files in the working directory: each fuzzing process takes a scratch
    // folder of its own, under ZEPHOR_FUZZ_WORKDIR when set.
    const char* parent = std::getenv("ZEPHOR_FUZZ_WORKDIR");
    std::string name = std::string(parent ? parent : "/tmp") + "/zephor-fuzz-import.XXXXXX";
    check(mkdtemp(name.data()) != nullptr && chdir(name.c_str()) == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    namespace zi = zephor::importer;
    zi::MoleculeIn m;
    std::string for005;
    try {
        switch (data[0] % 4) {
        case 0: m = zi::read_xyz(text, "f.xyz"); break;
        case 1: m = zi::read_xyz(text, "f.xyz", 1 + data[0] / 4 % 3); break;
        case 2: m = zi::read_zmatrix(text, "f.zmat"); break;
        default: m = zi::read_gaussian_zmatrix(text, "f.gzmat"); break;
        }
        for005 = zi::for005_text(m, m.charge.value_or(0));
    } catch (const zi::ContentError& e) {
        check_message(e.what());
        return 0;
    }
    check(!m.atoms.empty());
    try {
        const zephor::Molecule back = zephor::load_molecule(for005);
        check(back.atom_count == static_cast<std::int32_t>(m.atoms.size()));
        for (std::size_t i = 0; i < m.atoms.size(); ++i) {
            check(back.symbol[i] == m.atoms[i].symbol + "   ");
            const double xyz[3] = {m.atoms[i].x, m.atoms[i].y, m.atoms[i].z};
            for (int c = 0; c < 3; ++c) check(back.r[3 * i + c] == xyz[c] / zephor::bohr_in_angstrom);
        }
    } catch (const zephor::MemoryRefused&) {
        // A molecule too large for the machine: refused before any array exists.
        return 0;
    }
    check(runs_to_the_end(for005));
    return 0;
}
