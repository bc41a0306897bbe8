// libFuzzer target over zephor-import's own readers: the first byte chooses XYZ, Z-matrix or the
// Gaussian Z-matrix layout, the rest is the file. Checked for every input:
// - it ends in a molecule or in a ContentError whose message is one line of plain text;
// - a molecule that becomes a FOR005 is read back by zephor's own reader with the same atoms and
//   exactly the coordinates it had (Angstrom / Bohr radius), and a nonzero count of atoms.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "driver/molecule.hpp"
#include "import/errors.hpp"
#include "import/for005_writer.hpp"
#include "import/xyz_reader.hpp"
#include "import/zmatrix.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void check_message(const std::string& message) {
    check(!message.empty());
    for (const char c : message) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
}

}  // namespace

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
    }
    return 0;
}
