// AtomicResult written member by member (json_writer.hpp); numbers are written with the shortest
// text that reads back as the same double.
#include "export/results_json.hpp"

#include <cmath>
#include <string_view>

#include "common/constants.hpp"
#include "export/errors.hpp"
#include "export/json_writer.hpp"
#include "export/utf8_text.hpp"
#include "integrals/element_table.hpp"
#include "solver/lapack_library.hpp"

namespace zephor::exporter {

double orbital_ev(const Checkpoint& c, std::size_t k) { return c.orbital_energy[k] / hartree_per_ev; }

void check_same_run(const Checkpoint& c, const Report& r) {
    if (r.charge.size() != static_cast<std::size_t>(c.atom_count) ||
        r.occupied_ev.size() != static_cast<std::size_t>(c.occupied_count))
        throw RequestError("the report and the checkpoint are not of the same run (atoms or occupied orbitals differ)");
}

std::string results_json(const Checkpoint& c, const Orbitals& o, const Report& r, const Analysis& a,
                         const std::string& raw_title, const std::string& version) {
    // The library zephor loads decides the last bits of every number here.
    return results_json(c, o, r, a, raw_title, version, lapack_library());
}

std::string results_json(const Checkpoint& c, const Orbitals& o, const Report& r, const Analysis& a,
                         const std::string& raw_title, const std::string& version, const LapackLibrary& lapack) {
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    check_same_run(c, r);
    const std::string title = valid_utf8(raw_title);

    std::string out;
    out.reserve(4096 + 24 * (2 * n + n * atoms + 3 * atoms * atoms));
    JsonWriter w(out);
    // Members in ascending order of their keys at every level.
    w.begin_object();
    w.key("driver").value("energy");

    w.key("extras").begin_object();
    // The overlap-aware analyses, from orbitals with c^T S c = 1.
    const auto pair_list = [&](const std::vector<double>& m) {
        w.begin_array();
        for (const AtomPair& p : pairs_above(m, c.atom_count, 0.01)) {
            w.begin_array();
            w.value(p.i);
            w.value(p.j);
            w.value(p.value);
            w.end_array();
        }
        w.end_array();
    };
    w.key("analysis").begin_object();
    w.key("atomic_valences").value(a.atomic_valences);
    w.key("lowdin_charges").value(a.lowdin_charges);
    w.key("mayer_bond_orders");
    pair_list(a.mayer);
    w.key("mulliken_charges").value(a.mulliken_charges);
    w.key("orbital_composition").begin_array();
    for (std::size_t k = 0; k < n; ++k) {
        w.begin_array();
        for (std::size_t at = 0; at < atoms; ++at) w.value(a.composition[k * atoms + at]);
        w.end_array();
    }
    w.end_array();
    w.key("overlap_populations");
    pair_list(a.overlap_population);
    w.key("wiberg_lowdin_bond_orders");
    pair_list(a.wiberg_lowdin);
    w.end_object();
    // Beside, not inside: readers take analysis to hold the seven analyses and nothing else.
    w.key("analysis_description")
        .value("From the orbitals normalised against the overlap S (c^T S c = 1), P = 2 sum_occ c c^T: Mulliken charges "
               "Z - sum_A (PS)_mumu and Loewdin charges Z - sum_A (S^1/2 P S^1/2)_mumu (valence charges, e); Mayer bond "
               "orders sum_A sum_B (PS)_munu (PS)_numu; Wiberg indices in the Loewdin basis sum (S^1/2 P S^1/2)_munu^2; "
               "Mulliken overlap populations sum 2 P_munu S_munu; pairs [i, j, value] with atoms from 1, i < j, above "
               "0.01 in magnitude; orbital_composition[k][A]: percent of orbital k on atom A (Mulliken partition); "
               "atomic_valences: the sum of each atom's Mayer bond orders.");
    w.key("closed_shell").value(true);
    const bool has_homo = c.occupied_count > 0, has_lumo = c.occupied_count < c.basis_count;
    const double homo = has_homo ? orbital_ev(c, static_cast<std::size_t>(c.occupied_count - 1)) : 0.0;
    const double lumo = has_lumo ? orbital_ev(c, static_cast<std::size_t>(c.occupied_count)) : 0.0;
    if (has_homo && has_lumo) w.key("gap_ev").value(lumo - homo);
    if (has_homo) w.key("homo_ev").value(homo);
    if (has_lumo) w.key("lumo_ev").value(lumo);
    w.key("occupied_orbitals").value(c.occupied_count);
    w.key("orbital_energies_ev").begin_array();
    for (std::size_t k = 0; k < n; ++k) w.value(orbital_ev(c, k));
    w.end_array();
    w.key("orbital_energies_hartree").value(c.orbital_energy);
    w.key("program").value("zephor");
    w.key("report_bond_orders").begin_array();
    for (const BondOrder& b : r.bond_orders) {
        w.begin_object();
        w.key("atoms").begin_array();
        w.value(b.a);
        w.value(b.b);
        w.end_array();
        w.key("order").value(b.order);
        w.end_object();
    }
    w.end_array();
    w.key("report_charges").value(r.charge);
    w.key("report_description")
        .value("report_charges and report_bond_orders are FOR006's values: from orbitals of unit Euclidean length, the "
               "density's diagonal and its squared elements, without the overlap matrix. They are not Mulliken charges "
               "or Wiberg indices; those are under analysis.");
    w.key("title").value(title);
    w.key("total_charge").value(r.total_charge);
    w.key("total_energy_ev").value(r.total_energy_ev);
    w.end_object();

    w.key("keywords").empty_object();
    w.key("model").begin_object();
    w.key("basis").value("STO-6G");
    w.key("method").value("extended-huckel");
    w.end_object();

    int electrons = -c.charge;
    for (std::size_t at = 0; at < atoms; ++at) electrons += c.atomic_number[at];
    w.key("molecule").begin_object();
    w.key("fix_com").value(true);
    w.key("fix_orientation").value(true);
    w.key("geometry").value(c.r);
    w.key("molecular_charge").value(c.charge);
    // The molecule's own spin state; the run itself is closed shell (an odd last electron is
    // dropped), as extras.closed_shell says.
    w.key("molecular_multiplicity").value(electrons % 2 == 0 ? 1 : 2);
    if (!title.empty()) w.key("name").value(title);
    w.key("schema_name").value("qcschema_molecule");
    w.key("schema_version").value(2);
    w.key("symbols").begin_array();
    for (std::size_t at = 0; at < atoms; ++at) w.value(std::string_view(&element_of(c.atomic_number[at])->letter, 1));
    w.end_array();
    w.end_object();

    w.key("properties").begin_object();
    w.key("calcinfo_nalpha").value(c.occupied_count);
    w.key("calcinfo_natom").value(c.atom_count);
    w.key("calcinfo_nbasis").value(c.basis_count);
    w.key("calcinfo_nbeta").value(c.occupied_count);
    w.key("calcinfo_nmo").value(c.basis_count);
    w.key("return_energy").value(o.total_energy);
    w.end_object();

    w.key("provenance").begin_object();
    w.key("creator").value("zephor");
    w.key("linear_algebra").begin_object();
    w.key("config").value(lapack.config);
    w.key("library").value(lapack.path);
    w.end_object();
    w.key("routine").value("zephor-export");
    w.key("version").value(version);
    w.end_object();

    w.key("return_result").value(o.total_energy);
    w.key("schema_name").value("qcschema_output");
    w.key("schema_version").value(1);
    w.key("success").value(true);
    w.end_object();
    out += '\n';
    return out;
}

}  // namespace zephor::exporter
