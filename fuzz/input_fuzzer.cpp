// libFuzzer target over the whole input stage: the counting pass, the sizing pass, the reading
// pass and the basis enumeration, from the bytes of one FOR005. A typed failure (a read report,
// a refused size) is an expected outcome; anything else, or a molecule that breaks the shape the
// later phases rely on, is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/errors.hpp"
#include "driver/input_reader.hpp"
#include "driver/molecule.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// The first line of a read report names the line, a handle of FOR005 and the file.
void check_report(const zephor::ReportError& e) {
    const std::string& w = e.where();
    check(w.rfind("At line ", 0) == 0);
    check(w.find(" of input (unit = 13, file = 'FOR005')") != std::string::npos ||
          w.find(" of input (unit = 10, file = 'FOR005')") != std::string::npos);
    // The message is one line of text: bytes of the input it quotes are shown escaped, so no
    // NUL cuts it short and no control byte reaches the terminal.
    const std::string message = e.what();
    check(!message.empty());
    for (const char c : message) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
}

void check_molecule(const zephor::Molecule& m) {
    const auto atoms = static_cast<std::size_t>(m.atom_count);
    const auto n = static_cast<std::size_t>(m.basis_count);
    const auto shells = static_cast<std::size_t>(m.shell_count);
    check(m.atom_count >= 0 && m.basis_count >= 0 && m.shell_count >= 0);
    check(m.title.size() == 100);
    check(m.symbol.size() == atoms && m.r.size() == 3 * atoms);
    check(m.basis.g.size() == 6 * n && m.basis.alfa.size() == 6 * n && m.basis.d.size() == 6 * n);
    check(m.basis.ham.size() == n * n && m.norm.size() == n && m.basis.basis_atom.size() == n);
    check(m.basis.shell_type.size() == shells && m.basis.shell_atom.size() == shells);
    check(m.electron_count / 2 <= m.basis_count);

    std::size_t functions = 0;
    std::size_t shell_total = 0;
    for (std::size_t i = 0; i < atoms; ++i) {
        const std::string& s = m.symbol[i];
        check(s.size() == 4 && s.substr(1) == "   ");
        check(zephor::element_letters.find(s[0]) != std::string_view::npos);
        functions += (s[0] == 'H') ? 1 : 4;
        shell_total += (s[0] == 'H') ? 1 : 2;
        for (std::size_t c = 0; c < 3; ++c) check(std::isfinite(m.r[3 * i + c]));
    }
    check(functions == n && shell_total == shells);
    for (std::size_t f = 0; f < n; ++f) {
        const std::int32_t a = m.basis.basis_atom[f];
        check(a >= 1 && static_cast<std::size_t>(a) <= atoms);
        check(f == 0 || a >= m.basis.basis_atom[f - 1]);
        check(m.basis.ham[f * (n + 1)] < 0.0);  // every level energy is bound
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        check_molecule(zephor::load_molecule(bytes));
    } catch (const zephor::ReportError& e) {
        check_report(e);
    } catch (const zephor::MemoryRefused&) {
        // A basis too large to size: refused before any array exists.
    }
    return 0;
}
