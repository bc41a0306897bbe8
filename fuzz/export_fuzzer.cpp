// libFuzzer target over zephor-export's strict readers: the bytes are a checkpoint FOR007, a line
// "==== FOR006", then a report FOR006 (without that line, all of it is the checkpoint and the
// report is empty). Checked for every input:
// - each reader ends in its result or in a MalformedCheckpoint whose message is one line of plain
//   text;
// - a report the reader takes is what zephor's own writer makes of the values read, line for
//   line (the banner's middle and the total charge, which the writer sums itself, aside);
// - with both read, the match ends in agreement or in a ReportMismatch naming both files, and an
//   agreement means the same atoms, as many occupied orbitals and the same energies to the
//   report's digits.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/constants.hpp"
#include "export/checkpoint_reader.hpp"
#include "export/errors.hpp"
#include "export/orbitals.hpp"
#include "export/report_reader.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

constexpr std::string_view separator = "==== FOR006\n";

bool plain_line(const std::string& message) {
    if (message.empty()) return false;
    for (const char c : message)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    return true;
}

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The report zephor's writer makes of what the reader took: charges as valences over empty
// populations, bond orders off the diagonal, asterisk fields as values too wide for them.
std::string rewritten(const zephor::exporter::Report& r) {
    const auto wide = [](double x) { return std::isnan(x) ? 1e9 : x; };
    const std::size_t m = r.symbol.size();
    std::vector<double> energy, pop(m * m, 0.0), valence;
    std::vector<std::string> symbol;
    for (double e : r.occupied_ev) energy.push_back(wide(e));
    for (std::size_t a = 0; a < m; ++a) {
        valence.push_back(wide(r.charge[a]));
        symbol.push_back(r.symbol[a].size() < 4 ? r.symbol[a] + std::string(4 - r.symbol[a].size(), ' ') : r.symbol[a]);
    }
    for (const auto& b : r.bond_orders)
        pop[static_cast<std::size_t>(b.a - 1) + static_cast<std::size_t>(b.b - 1) * m] = wide(b.order);
    zephor::OutputFile f = zephor::OutputFile::in_memory("FOR006", 6);
    zephor::write_report(f, energy, static_cast<std::int32_t>(energy.size()), r.total_energy_ev, pop, valence, symbol,
                         static_cast<std::int32_t>(m));
    return f.take_text();
}

void check_rewritten(std::string_view text, const zephor::exporter::Report& r) {
    const std::string again = rewritten(r);
    const std::vector<std::string_view> read = lines_of(text), written = lines_of(again);
    check(read.size() == written.size());
    const std::size_t total_charge_line = 9 + 2 + r.occupied_ev.size() + 1 + 2 + r.symbol.size() + 1;
    for (std::size_t i = 0; i < read.size(); ++i)
        if ((i == 0 || i >= 8) && i != total_charge_line) check(read[i] == written[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace ze = zephor::exporter;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t cut = bytes.find(separator);
    while (cut != std::string_view::npos && cut != 0 && bytes[cut - 1] != '\n') cut = bytes.find(separator, cut + 1);
    const std::string_view checkpoint_text = bytes.substr(0, cut);
    const std::string_view report_text =
        cut == std::string_view::npos ? std::string_view() : bytes.substr(cut + separator.size());

    std::optional<ze::Checkpoint> c;
    try {
        c = ze::parse_checkpoint(checkpoint_text, "FOR007");
    } catch (const ze::MalformedCheckpoint& e) {
        check(std::string_view(e.what()).substr(0, 7) == "FOR007:" && plain_line(e.what()));
    }
    std::optional<ze::Report> r;
    try {
        r = ze::parse_report(report_text, "FOR006");
    } catch (const ze::MalformedCheckpoint& e) {
        check(std::string_view(e.what()).substr(0, 7) == "FOR006:" && plain_line(e.what()));
    }
    if (r) check_rewritten(report_text, *r);
    if (!c || !r) return 0;

    try {
        ze::check_report_of(*r, "b/FOR006", *c, "a/FOR007");
    } catch (const ze::ReportMismatch& e) {
        check(std::string_view(e.what()).substr(0, 34) == "b/FOR006 is not the report of a/FO" && plain_line(e.what()));
        return 0;
    }
    check(r->symbol.size() == static_cast<std::size_t>(c->atom_count));
    for (std::size_t a = 0; a < r->symbol.size(); ++a)
        check(r->symbol[a] == std::string(1, ze::element_of(c->atomic_number[a])->letter));
    check(r->occupied_ev.size() == static_cast<std::size_t>(c->occupied_count));
    for (std::size_t k = 0; k < r->occupied_ev.size(); ++k) {
        const double ev = c->orbital_energy[k] / zephor::hartree_per_ev;
        // Half a unit of the fourth decimal, and the nine digits of the hartree value.
        if (std::isnan(r->occupied_ev[k]))
            check(ev <= -99.9999 || ev >= 999.9999);
        else
            check(std::fabs(r->occupied_ev[k] - ev) <= 0.00005 + 1e-8 * std::fabs(ev));
    }
    return 0;
}
