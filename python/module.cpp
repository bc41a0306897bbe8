// zephor._zephor: the program's own reading, computation and writers, and zephor-export's
// analyses, for the Python package. Nothing here computes: it moves values between the run's
// arrays and numpy, and turns the run's early ends into outcomes the package raises as its own
// exceptions (zephor/__init__.py). The calculation runs without the interpreter's lock.
#include <dlfcn.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "driver/fp_flags.hpp"
#include "driver/in_memory_run.hpp"
#include "export/checkpoint_reader.hpp"
#include "export/cube_writer.hpp"
#include "export/errors.hpp"
#include "export/orbital_grid.hpp"
#include "export/orbital_value.hpp"
#include "export/orbitals.hpp"
#include "export/population_analysis.hpp"
#include "export/report_reader.hpp"
#include "export/results_json.hpp"
#include "import/for005_writer.hpp"
#include "python/solver_pool.hpp"
#include "solver/private_library.hpp"

namespace py = pybind11;

struct Run;

namespace {

// The folder this module was loaded from, where the two modules of the private solve lie.
std::string module_folder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&module_folder), &info) == 0 || info.dli_fname == nullptr) return ".";
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Namespaces loaded as threads ask for them; a failure of the first (reported like the
// program's) is tried again on the next run. Four at most: the dynamic linker's room for
// namespaces is small, and a batch on more cores than that waits for a free one.
zephor::SolverPool& solvers() {
    static zephor::SolverPool pool(module_folder() + "/libzephor_environment.so",
                                   module_folder() + "/libzephor_solve.so", 4);
    return pool;
}

// A run's outcome: "ok" with the run, or the early end with its texts, as zephor's main() tells
// them apart (exit statuses 0 quiet, 2 report, 1 memory).
struct Outcome {
    std::string kind;  // "ok", "stop", "report", "memory"
    std::string where, message;
    std::shared_ptr<Run> run;
};

py::array_t<double> matrix(const std::vector<double>& v, std::size_t rows, std::size_t cols) {
    // Column-major like the run's arrays: a[i, k] is element (i, k).
    py::array_t<double> a({rows, cols}, {sizeof(double), sizeof(double) * rows});
    std::copy(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(rows * cols), a.mutable_data());
    return a;
}

py::array_t<double> vector(const std::vector<double>& v) {
    py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

struct Run {
    zephor::InMemoryRun x;

    // zephor-export's view of the same run, built from the checkpoint text when first asked.
    std::unique_ptr<zephor::exporter::Checkpoint> checkpoint;
    std::unique_ptr<zephor::exporter::Orbitals> orbitals;
    std::unique_ptr<zephor::exporter::Analysis> analysis;
    std::mutex lock;  // the three above are built once, by whichever thread asks first

    void exported() {
        std::lock_guard<std::mutex> hold(lock);
        exported_locked();
    }
    void exported_locked() {
        if (checkpoint) return;
        auto c = std::make_unique<zephor::exporter::Checkpoint>(zephor::exporter::parse_own_checkpoint(x.checkpoint, "FOR007"));
        c->title = trimmed(x.molecule.title);
        orbitals = std::make_unique<zephor::exporter::Orbitals>(zephor::exporter::export_orbitals(*c));
        checkpoint = std::move(c);
    }
    void analysed() {
        std::lock_guard<std::mutex> hold(lock);
        exported_locked();
        if (analysis) return;
        const zephor::SolverPool::Lease solver = solvers().take();
        solver->with_library([&](void* library) {
            analysis = std::make_unique<zephor::exporter::Analysis>(
                zephor::exporter::population_analysis(*checkpoint, *orbitals, library));
        });
    }
};

namespace {

Outcome run_for005(const std::string& for005, bool keep_matrices) {
    Outcome o;
    try {
        auto run = std::make_shared<Run>();
        run->x = zephor::run_in_memory(
            for005, keep_matrices,
            [](std::vector<double>& a, std::vector<double>& b, std::int32_t n, std::vector<double>& w) {
                const zephor::SolverPool::Lease solver = solvers().take();
                return solver->dsygv(a, b, n, w);
            });
        o.kind = "ok";
        o.run = std::move(run);
    } catch (const zephor::PlainStop&) {
        o.kind = "stop";
        o.message = zephor::fp_note();
    } catch (const zephor::ReportError& e) {
        o.kind = "report";
        o.where = e.where();
        o.message = e.what();
    } catch (const zephor::MemoryRefused& e) {
        o.kind = "memory";
        o.message = e.what();
    } catch (const std::bad_alloc&) {
        o.kind = "memory";
        o.message = "Cannot allocate memory";
    } catch (const std::length_error&) {
        o.kind = "memory";
        o.message = "Cannot allocate memory";
    }
    return o;
}

py::dict analysis_dict(Run& r) {
    {
        py::gil_scoped_release free;
        r.analysed();
    }
    const zephor::exporter::Analysis& a = *r.analysis;
    const std::size_t m = static_cast<std::size_t>(r.x.molecule.atom_count);
    const std::size_t n = static_cast<std::size_t>(r.x.molecule.basis_count);
    py::dict d;
    d["mulliken_charges"] = vector(a.mulliken_charges);
    d["lowdin_charges"] = vector(a.lowdin_charges);
    d["mulliken_populations"] = vector(a.mulliken_populations);
    d["atomic_valences"] = vector(a.atomic_valences);
    d["mayer_bond_orders"] = matrix(a.mayer, m, m);
    d["wiberg_lowdin_bond_orders"] = matrix(a.wiberg_lowdin, m, m);
    d["overlap_populations"] = matrix(a.overlap_population, m, m);
    d["composition"] = matrix(a.composition, m, n);
    d["composition_s"] = matrix(a.composition_s, m, n);
    d["composition_p"] = matrix(a.composition_p, m, n);
    return d;
}

// Export errors (a grid too large, a spacing the header cannot state) become ValueError.
template <class F>
auto as_value_error(F f) {
    try {
        return f();
    } catch (const zephor::exporter::ExportError& e) {
        throw py::value_error(e.what());
    }
}

}  // namespace

PYBIND11_MODULE(_zephor, mod) {
    mod.doc() = "The program's computation in this process (use the zephor package, not this module).";

    mod.def(
        "for005_text",
        [](const std::vector<std::string>& symbols, const std::vector<std::array<double, 3>>& coords, int charge,
           const std::string& title) {
            if (symbols.size() != coords.size())
                throw py::value_error(std::to_string(symbols.size()) + " symbols for " + std::to_string(coords.size()) +
                                      " positions");
            zephor::importer::MoleculeIn m;
            m.title = title;
            for (std::size_t i = 0; i < symbols.size(); ++i) {
                // Only letters can stand in the symbol's place of an atom line without changing the
                // lines around it; which letters zephor computes, it says itself.
                const std::string& s = symbols[i];
                bool letters = !s.empty() && s.size() <= 3;
                for (const char c : s) letters = letters && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
                if (!letters)
                    throw py::value_error("atom " + std::to_string(i + 1) + ": the symbol '" + s +
                                          "' is not an element symbol");
                for (const double v : coords[i])
                    if (!std::isfinite(v))
                        throw py::value_error("atom " + std::to_string(i + 1) + ": a coordinate is not finite");
                m.atoms.push_back({s, coords[i][0], coords[i][1], coords[i][2]});
            }
            return py::bytes(zephor::importer::for005_lines(m, charge));
        },
        py::arg("symbols"), py::arg("coords"), py::arg("charge"), py::arg("title"));

    py::class_<Outcome>(mod, "Outcome")
        .def_readonly("kind", &Outcome::kind)
        .def_readonly("where", &Outcome::where)
        .def_readonly("message", &Outcome::message)
        .def_readonly("run", &Outcome::run);

    mod.def(
        "run",
        [](const py::bytes& for005, bool keep_matrices) {
            const std::string text = for005;
            py::gil_scoped_release free;
            return run_for005(text, keep_matrices);
        },
        py::arg("for005"), py::arg("keep_matrices") = true);

    py::class_<Run, std::shared_ptr<Run>>(mod, "Run")
        .def_property_readonly("report", [](const Run& r) { return py::bytes(r.x.report); })
        .def_property_readonly("checkpoint", [](const Run& r) { return py::bytes(r.x.checkpoint); })
        .def_property_readonly("title", [](const Run& r) { return py::bytes(trimmed(r.x.molecule.title)); })
        .def_property_readonly("charge", [](const Run& r) { return r.x.molecule.charge; })
        .def_property_readonly("atom_count", [](const Run& r) { return r.x.molecule.atom_count; })
        .def_property_readonly("basis_count", [](const Run& r) { return r.x.molecule.basis_count; })
        .def_property_readonly("electron_count", [](const Run& r) { return r.x.molecule.electron_count; })
        .def_property_readonly("occupied_count", [](const Run& r) { return r.x.result.occupied_count; })
        .def_property_readonly("total_energy", [](const Run& r) { return r.x.result.total_energy; })
        .def_property_readonly("orbital_energies", [](const Run& r) { return vector(r.x.result.orbital_energy); })
        .def_property_readonly("coefficients",
                               [](const Run& r) {
                                   const auto n = static_cast<std::size_t>(r.x.molecule.basis_count);
                                   return matrix(r.x.result.mo_coef, n, n);
                               })
        .def_property_readonly("overlap",
                               [](const Run& r) -> py::object {
                                   const auto n = static_cast<std::size_t>(r.x.molecule.basis_count);
                                   if (r.x.result.s.empty()) return py::none();
                                   return matrix(r.x.result.s, n, n);
                               })
        .def_property_readonly("hamiltonian",
                               [](const Run& r) -> py::object {
                                   const auto n = static_cast<std::size_t>(r.x.molecule.basis_count);
                                   if (r.x.result.ham.empty()) return py::none();
                                   return matrix(r.x.result.ham, n, n);
                               })
        .def_property_readonly("symbols",
                               [](const Run& r) {
                                   std::vector<std::string> s;
                                   for (const std::string& x : r.x.molecule.symbol) s.push_back(trimmed(x));
                                   return s;
                               })
        .def_property_readonly("positions_bohr",
                               [](const Run& r) {
                                   // r is 3 x atoms, column-major: row a of the result is atom a.
                                   const auto m = static_cast<std::size_t>(r.x.molecule.atom_count);
                                   py::array_t<double> a({m, std::size_t(3)});
                                   std::copy(r.x.molecule.r.begin(), r.x.molecule.r.end(), a.mutable_data());
                                   return a;
                               })
        .def_property_readonly("atomic_numbers", [](const Run& r) { return r.x.molecule.basis.atomic_number; })
        .def_property_readonly("function_atom",
                               [](const Run& r) {
                                   std::vector<std::int32_t> v;
                                   for (const std::int32_t a : r.x.molecule.basis.basis_atom) v.push_back(a - 1);
                                   return v;
                               })
        .def_property_readonly("function_label",
                               [](const Run& r) {
                                   std::vector<std::string> v;
                                   const auto& g = r.x.molecule.basis.g;
                                   for (std::size_t i = 0; i < static_cast<std::size_t>(r.x.molecule.basis_count); ++i) {
                                       const std::string l = trimmed(std::string(g[6 * i].begin(), g[6 * i].end()));
                                       v.push_back(l == "ss" ? "s" : l);
                                   }
                                   return v;
                               })
        .def_property_readonly("shell_type", [](const Run& r) { return r.x.molecule.basis.shell_type; })
        .def_property_readonly("shell_atom",
                               [](const Run& r) {
                                   std::vector<std::int32_t> v;
                                   for (const std::int32_t a : r.x.molecule.basis.shell_atom) v.push_back(a - 1);
                                   return v;
                               })
        .def_property_readonly("report_charges",
                               [](const Run& r) {
                                   // As FOR006 computes them before printing: valence less population.
                                   const auto m = static_cast<std::size_t>(r.x.molecule.atom_count);
                                   std::vector<double> q(m);
                                   for (std::size_t a = 0; a < m; ++a)
                                       q[a] = r.x.molecule.basis.valence[a] - r.x.result.atom_pop[a * (m + 1)];
                                   return vector(q);
                               })
        .def_property_readonly("report_bond_orders",
                               [](const Run& r) {
                                   // FOR006 prints pair (a, b), a < b, from atom_pop(a, b); both halves of
                                   // the symmetric matrix take that value, the diagonal is zero.
                                   const auto m = static_cast<std::size_t>(r.x.molecule.atom_count);
                                   std::vector<double> b(m * m, 0.0);
                                   for (std::size_t i = 0; i + 1 < m; ++i)
                                       for (std::size_t j = i + 1; j < m; ++j)
                                           b[i + j * m] = b[j + i * m] = r.x.result.atom_pop[i + j * m];
                                   return matrix(b, m, m);
                               })
        .def("analysis",
             [](Run& r) {
                 return as_value_error([&] { return analysis_dict(r); });
             })
        .def(
            "qcschema_text",
            [](Run& r, const std::string& version) {
                return as_value_error([&] {
                    r.analysed();
                    const zephor::exporter::Report report = zephor::exporter::parse_report(r.x.report, "FOR006");
                    return zephor::exporter::results_json(*r.checkpoint, *r.orbitals, report, *r.analysis,
                                                          r.checkpoint->title, version, solvers().first().library());
                });
            },
            py::arg("version"), py::call_guard<py::gil_scoped_release>())
        .def(
            "cube_text",
            [](Run& r, int orbital, double spacing, double margin) {
                return as_value_error([&] {
                    r.exported();
                    zephor::exporter::CubeGrid grid;
                    grid.spacing = spacing;
                    grid.margin = margin;
                    grid.orbital_header = false;
                    return zephor::exporter::cube_text(*r.checkpoint, *r.orbitals, orbital, grid);
                });
            },
            py::arg("orbital"), py::arg("spacing"), py::arg("margin"), py::call_guard<py::gil_scoped_release>())
        .def(
            "grid_values",
            // The orbital on the grid --cube would write, unrounded (screened far below any value a
            // cube prints): (origin in bohr, counts, spacing in bohr, values x slowest, z fastest).
            [](Run& r, int orbital, double spacing, double margin) {
                zephor::exporter::GridAxes axes;
                std::vector<double> values;
                as_value_error([&] {
                    py::gil_scoped_release release;
                    r.exported();
                    zephor::exporter::CubeGrid grid;
                    grid.spacing = spacing;
                    grid.margin = margin;
                    zephor::exporter::check_cube(*r.checkpoint, orbital, grid);
                    axes = zephor::exporter::cube_axes(*r.checkpoint, grid);
                    values = zephor::exporter::orbital_grid_values(*r.checkpoint, *r.orbitals, {orbital}, axes, 0,
                                                                   zephor::exporter::cube_text_bound);
                    return 0;
                });
                py::array_t<double> a({static_cast<py::ssize_t>(axes.count[0]), static_cast<py::ssize_t>(axes.count[1]),
                                       static_cast<py::ssize_t>(axes.count[2])});
                std::copy(values.begin(), values.end(), a.mutable_data());
                return py::make_tuple(std::array<double, 3>{axes.origin[0], axes.origin[1], axes.origin[2]},
                                      std::array<std::int64_t, 3>{axes.count[0], axes.count[1], axes.count[2]},
                                      axes.spacing, a);
            },
            py::arg("orbital"), py::arg("spacing"), py::arg("margin"))
        .def(
            "orbital_value",
            [](Run& r, int orbital, std::array<double, 3> p) {
                return as_value_error([&] {
                    r.exported();
                    if (orbital < 1 || orbital > r.checkpoint->basis_count) throw py::value_error("no such orbital");
                    return zephor::exporter::orbital_value(*r.checkpoint, *r.orbitals, orbital, p.data());
                });
            },
            py::arg("orbital"), py::arg("point_bohr"));

    // A text put on one line as the batch's JSON Lines want zephor-export's layout: every line
    // break dropped with the blanks that begin the next line (the ASCII whitespace of Python's
    // bytes.lstrip), as are those at the start.
    mod.def(
        "one_line",
        [](const py::bytes& text) {
            const std::string_view t = text;
            std::string out;
            {
                py::gil_scoped_release free;
                out.reserve(t.size());
                const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
                bool line_start = true;
                for (const char c : t) {
                    if (line_start && blank(c)) continue;
                    line_start = c == '\n';
                    if (!line_start) out.push_back(c);
                }
            }
            return py::bytes(out);
        },
        py::arg("text"));

    mod.attr("version") = ZEPHOR_VERSION;
    mod.attr("bohr_in_angstrom") = zephor::bohr_in_angstrom;

    // The private copy of the library: its kernel and the counters of the routines it calls.
    mod.def("solver_state", [] {
        const zephor::PrivateSolver& s = solvers().first();
        const zephor::PrivateSolveCounts c = solvers().counts();
        py::dict d;
        d["corename"] = s.corename();
        d["config"] = s.library().config;
        d["dsteqr_calls"] = c.dsteqr_calls;
        d["deferred_sweeps"] = c.deferred_sweeps;
        d["level3_calls"] = c.level3_calls;
        d["level3_split_calls"] = c.level3_split_calls;
        return d;
    });
}
