// AtomicResult built with nlohmann::json; numbers are written with the shortest text that reads
// back as the same double.
#include "export/results_json.hpp"

#include <cmath>
#include <nlohmann/json.hpp>

#include "common/constants.hpp"
#include "export/errors.hpp"
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
    using nlohmann::json;
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    check_same_run(c, r);
    const std::string title = valid_utf8(raw_title);

    json symbols = json::array();
    int electrons = -c.charge;
    for (std::size_t a = 0; a < atoms; ++a) {
        symbols.push_back(std::string(1, element_of(c.atomic_number[a])->letter));
        electrons += c.atomic_number[a];
    }
    json molecule = {{"schema_name", "qcschema_molecule"},
                     {"schema_version", 2},
                     {"symbols", symbols},
                     {"geometry", c.r},
                     {"molecular_charge", c.charge},
                     // The molecule's own spin state; the run itself is closed shell (an odd last
                     // electron is dropped), as extras.closed_shell says.
                     {"molecular_multiplicity", electrons % 2 == 0 ? 1 : 2},
                     {"fix_com", true},
                     {"fix_orientation", true}};
    if (!title.empty()) molecule["name"] = title;

    json energies_ev = json::array(), energies_hartree = json::array();
    for (std::size_t k = 0; k < n; ++k) {
        energies_ev.push_back(orbital_ev(c, k));
        energies_hartree.push_back(c.orbital_energy[k]);
    }
    json extras = {{"program", "zephor"},
                   {"title", title},
                   {"closed_shell", true},
                   {"orbital_energies_ev", energies_ev},
                   {"orbital_energies_hartree", energies_hartree},
                   {"occupied_orbitals", c.occupied_count},
                   {"total_energy_ev", r.total_energy_ev},
                   {"report_charges", r.charge},
                   {"total_charge", r.total_charge}};
    if (c.occupied_count > 0) extras["homo_ev"] = orbital_ev(c, static_cast<std::size_t>(c.occupied_count - 1));
    if (c.occupied_count < c.basis_count) extras["lumo_ev"] = orbital_ev(c, static_cast<std::size_t>(c.occupied_count));
    if (c.occupied_count > 0 && c.occupied_count < c.basis_count)
        extras["gap_ev"] = extras["lumo_ev"].get<double>() - extras["homo_ev"].get<double>();
    json bonds = json::array();
    for (const BondOrder& b : r.bond_orders) bonds.push_back({{"atoms", {b.a, b.b}}, {"order", b.order}});
    extras["report_bond_orders"] = bonds;
    extras["report_description"] =
        "report_charges and report_bond_orders are FOR006's values: from orbitals of unit Euclidean length, the "
        "density's diagonal and its squared elements, without the overlap matrix. They are not Mulliken charges "
        "or Wiberg indices; those are under analysis.";

    // The overlap-aware analyses, from orbitals with c^T S c = 1.
    const auto pair_list = [&](const std::vector<double>& m) {
        json list = json::array();
        for (const AtomPair& p : pairs_above(m, c.atom_count, 0.01)) list.push_back({p.i, p.j, p.value});
        return list;
    };
    json composition = json::array();
    for (std::size_t k = 0; k < n; ++k)
        composition.push_back(std::vector<double>(a.composition.begin() + static_cast<std::ptrdiff_t>(k * atoms),
                                                  a.composition.begin() + static_cast<std::ptrdiff_t>((k + 1) * atoms)));
    extras["analysis"] = {
        {"mulliken_charges", a.mulliken_charges},
        {"lowdin_charges", a.lowdin_charges},
        {"mayer_bond_orders", pair_list(a.mayer)},
        {"wiberg_lowdin_bond_orders", pair_list(a.wiberg_lowdin)},
        {"overlap_populations", pair_list(a.overlap_population)},
        {"orbital_composition", composition},
        {"atomic_valences", a.atomic_valences}};
    // Beside, not inside: readers take analysis to hold the seven analyses and nothing else.
    extras["analysis_description"] =
        "From the orbitals normalised against the overlap S (c^T S c = 1), P = 2 sum_occ c c^T: Mulliken charges "
        "Z - sum_A (PS)_mumu and Loewdin charges Z - sum_A (S^1/2 P S^1/2)_mumu (valence charges, e); Mayer bond "
        "orders sum_A sum_B (PS)_munu (PS)_numu; Wiberg indices in the Loewdin basis sum (S^1/2 P S^1/2)_munu^2; "
        "Mulliken overlap populations sum 2 P_munu S_munu; pairs [i, j, value] with atoms from 1, i < j, above "
        "0.01 in magnitude; orbital_composition[k][A]: percent of orbital k on atom A (Mulliken partition); "
         "atomic_valences: the sum of each atom's Mayer bond orders.";

    const json result = {
        {"schema_name", "qcschema_output"},
        {"schema_version", 1},
        {"molecule", molecule},
        {"driver", "energy"},
        {"model", {{"method", "extended-huckel"}, {"basis", "STO-6G"}}},
        {"keywords", json::object()},
        {"return_result", o.total_energy},
        {"properties",
         {{"return_energy", o.total_energy},
          {"calcinfo_nbasis", c.basis_count},
          {"calcinfo_nmo", c.basis_count},
          {"calcinfo_nalpha", c.occupied_count},
          {"calcinfo_nbeta", c.occupied_count},
          {"calcinfo_natom", c.atom_count}}},
        {"provenance", {{"creator", "zephor"}, {"version", version}, {"routine", "zephor-export"},
                        {"linear_algebra", {{"library", lapack.path}, {"config", lapack.config}}}}},
        {"success", true},
        {"extras", extras}};
    // Replacing stays as the last guard for any text that is not UTF-8.
    return result.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace zephor::exporter
