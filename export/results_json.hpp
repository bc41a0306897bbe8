// The run's results as a QCSchema AtomicResult (schema_name "qcschema_output"), the form that
// the ecosystem's tools (QCElemental, QCFractal, QCEngine) read: molecule (geometry in bohr),
// model, total energy in hartree as return_result, counts in properties, and under "extras"
// what the report holds, in its units (eV).
#pragma once

#include <string>

#include "export/checkpoint_reader.hpp"
#include "export/orbitals.hpp"
#include "export/population_analysis.hpp"
#include "export/report_reader.hpp"
#include "solver/lapack_library.hpp"

namespace zephor::exporter {

// `title` is FOR005's title ("" when unknown), bytes that are not UTF-8 written as U+FFFD;
// `version` the program's. FOR006's charges and bond orders are extras.report_charges and
// extras.report_bond_orders; the overlap-aware analyses are extras.analysis. Throws RequestError
// as check_same_run does.
std::string results_json(const Checkpoint& c, const Orbitals& o, const Report& r, const Analysis& a,
                         const std::string& title, const std::string& version);
// The same, naming `lapack` as the library of the analyses (a process that holds the pinned
// library apart from its own, solver/private_library.hpp).
std::string results_json(const Checkpoint& c, const Orbitals& o, const Report& r, const Analysis& a,
                         const std::string& title, const std::string& version, const LapackLibrary& lapack);

// Throws RequestError when the report is not of the checkpoint's run (atoms or occupied orbitals
// differ).
void check_same_run(const Checkpoint& c, const Report& r);

// Orbital k (from 0) in eV, from the checkpoint's hartree value.
double orbital_ev(const Checkpoint& c, std::size_t k);

}  // namespace zephor::exporter
