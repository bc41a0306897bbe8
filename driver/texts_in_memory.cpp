#include "driver/texts_in_memory.hpp"

#include "common/run_files.hpp"
#include "output/checkpoint.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"

namespace zephor {

RunTexts texts_in_memory(const Molecule& m, const std::vector<double>& orbital_energy, std::int32_t occupied_count,
                         double total_energy, const std::vector<double>& atom_pop, const std::vector<double>& mo_coef) {
    RunTexts t;
    OutputFile report = OutputFile::in_memory(report_file_name, report_unit);
    write_report(report, orbital_energy, occupied_count, total_energy, atom_pop, m.basis.valence, m.symbol,
                 m.atom_count);
    t.report = report.take_text();
    OutputFile checkpoint = OutputFile::in_memory(checkpoint_file_name, checkpoint_unit);
    write_checkpoint(checkpoint, {basis_view(m), m.charge, occupied_count, orbital_energy, mo_coef});
    t.checkpoint = checkpoint.take_text();
    return t;
}

}  // namespace zephor
