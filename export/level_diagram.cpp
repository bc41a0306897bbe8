// Level diagram and density of states with cairo: a surface for the file's format drawing into memory, the drawing in
// points on a 600 x 800 page (levels) or 800 x 500 (DOS), the same code for every format.
#include "export/level_diagram.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>

#include "export/errors.hpp"
#include "export/utf8_text.hpp"

namespace zephor::exporter {

namespace {

constexpr double pi = 3.14159265358979323846;

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
    try {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    } catch (const std::bad_alloc&) {
        return CAIRO_STATUS_NO_MEMORY;
    }
}

// The status of a cairo object as the program's failure.
void check(cairo_status_t status) {
    if (status == CAIRO_STATUS_SUCCESS) return;
    if (status == CAIRO_STATUS_NO_MEMORY) throw std::bad_alloc();
    throw RequestError(std::string("the picture cannot be drawn: ") + cairo_status_to_string(status));
}

// A cairo surface of the format drawing into memory, and its context, released together; the
// caller writes the bytes as one whole file.
class Canvas {
public:
    Canvas(PictureFormat format, double width, double height) : format_(format) {
        if (format == PictureFormat::svg)
            surface_ = cairo_svg_surface_create_for_stream(append_bytes, &bytes_, width, height);
        else if (format == PictureFormat::pdf)
            surface_ = cairo_pdf_surface_create_for_stream(append_bytes, &bytes_, width, height);
        else
            surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height));
        cr_ = cairo_create(surface_);
        if (const cairo_status_t status = cairo_surface_status(surface_); status != CAIRO_STATUS_SUCCESS) {
            cairo_destroy(cr_);  // the destructor does not run for a throwing constructor
            cairo_surface_destroy(surface_);
            check(status);
        }
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_paint(cr_);
        cairo_select_font_face(cr_, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    }
    ~Canvas() {
        if (cr_ != nullptr) cairo_destroy(cr_);
        if (surface_ != nullptr) cairo_surface_destroy(surface_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() { return cr_; }

    // The file's bytes; vector surfaces write as they are finished.
    std::string finish() {
        check(cairo_status(cr_));
        cairo_surface_flush(surface_);
        if (format_ == PictureFormat::png) check(cairo_surface_write_to_png_stream(surface_, append_bytes, &bytes_));
        cairo_surface_finish(surface_);
        check(cairo_surface_status(surface_));
        return std::move(bytes_);
    }

private:
    PictureFormat format_;
    std::string bytes_;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
};

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool centred = false) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, centred ? x - e.width / 2 - e.x_bearing : x, y);
    cairo_show_text(cr, s.c_str());
}

// Text ending at x.
void text_right(cairo_t* cr, double x, double y, const std::string& s, double size) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - e.x_advance, y);
    cairo_show_text(cr, s.c_str());
}

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// A tick step of 1, 2 or 5 times a power of ten giving about six ticks over `span`.
double tick_step(double span) {
    const double raw = span / 6.0;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= raw) return m * p;
    return 10.0 * p;
}

// An arrow along x = x0 from y0 to y1 (pointing towards y1).
void arrow(cairo_t* cr, double x0, double y0, double y1) {
    const double head = y1 > y0 ? -4.0 : 4.0;
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x0, y1);
    cairo_move_to(cr, x0 - 3.0, y1 + head);
    cairo_line_to(cr, x0, y1);
    cairo_line_to(cr, x0 + 3.0, y1 + head);
    cairo_stroke(cr);
}

// cairo takes UTF-8 only: other bytes of the title are drawn as U+FFFD.
void heading(cairo_t* cr, const LevelData& d, double centre) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    text(cr, centre, 28, d.title.empty() ? d.formula : valid_utf8(d.title), 18, true);
    if (!d.title.empty()) text(cr, centre, 48, d.formula, 13, true);
}

}  // namespace

std::vector<std::pair<int, int>> degenerate_groups(const std::vector<double>& e, double tolerance_ev) {
    std::vector<std::pair<int, int>> groups;
    for (int k = 0; k < static_cast<int>(e.size());) {
        int j = k + 1;
        while (j < static_cast<int>(e.size()) && e[static_cast<std::size_t>(j)] - e[static_cast<std::size_t>(k)] <= tolerance_ev) ++j;
        groups.emplace_back(k, j);
        k = j;
    }
    return groups;
}

EnergyWindow default_window(const LevelData& d) {
    const int n = static_cast<int>(d.energies_ev.size());
    const double homo = d.occupied > 0 ? d.energies_ev[static_cast<std::size_t>(d.occupied - 1)] : d.energies_ev.front();
    const double lumo = d.occupied < n ? d.energies_ev[static_cast<std::size_t>(d.occupied)] : d.energies_ev.back();
    return {homo - 15.0, lumo + 10.0};
}

PictureFormat picture_format(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (ext == ".svg") return PictureFormat::svg;
    if (ext == ".pdf") return PictureFormat::pdf;
    if (ext == ".png") return PictureFormat::png;
    throw RequestError(path + ": the picture's name must end in .svg, .png or .pdf");
}

void check_broadening(double broadening_ev) {
    if (!(broadening_ev > 0.0)) throw RequestError("--broadening must be a positive number of eV");
}

std::string levels_picture(const LevelData& d, const EnergyWindow& w, PictureFormat format) {
    const double width = 600, height = 800, top = 90, bottom = 760, axis_x = 80;
    Canvas canvas(format, width, height);
    cairo_t* cr = canvas.cr();
    const auto y_of = [&](double e) { return bottom - (e - w.min_ev) / (w.max_ev - w.min_ev) * (bottom - top); };
    heading(cr, d, width / 2);

    // The energy axis with its ticks.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, axis_x, top - 10);
    cairo_line_to(cr, axis_x, bottom + 10);
    cairo_stroke(cr);
    const double step = tick_step(w.max_ev - w.min_ev);
    for (double t = std::ceil(w.min_ev / step) * step; t <= w.max_ev + 1e-9; t += step) {
        cairo_move_to(cr, axis_x - 5, y_of(t));
        cairo_line_to(cr, axis_x, y_of(t));
        cairo_stroke(cr);
        text(cr, axis_x - 50, y_of(t) + 4, fixed(t, step < 1 ? 1 : 0), 11);
    }
    cairo_save(cr);
    cairo_translate(cr, 20, (top + bottom) / 2);
    cairo_rotate(cr, -pi / 2);
    text(cr, 0, 0, "energy (eV)", 12, true);
    cairo_restore(cr);

    const double centre = 330, line = 56, pitch = 70;
    // Side by side only for degenerate levels (within 1e-4 eV). Distinct levels closer than
    // `min_sep` points are moved apart on the page (the least, each run of crowded levels centred
    // on its true heights), and each moved line is joined by a thin leader to a short tick at its
    // true energy, so near levels never read as one degenerate set.
    std::vector<std::pair<int, int>> groups;
    for (const auto& g : degenerate_groups(d.energies_ev)) {
        const double e = d.energies_ev[static_cast<std::size_t>(g.first)];
        if (e >= w.min_ev && e <= w.max_ev) groups.push_back(g);
    }
    const std::size_t ng = groups.size();
    const double min_sep = ng > 1 ? std::min(6.0, (bottom - top) / static_cast<double>(ng - 1)) : 6.0;
    std::vector<double> true_y(ng), shown_y(ng);
    for (std::size_t g = 0; g < ng; ++g) true_y[g] = y_of(d.energies_ev[static_cast<std::size_t>(groups[g].first)]);
    {
        // Runs of groups drawn min_sep apart (y falls as energy rises), merged while they overlap.
        struct Run { std::size_t first, last; double centre; };
        std::vector<Run> runs;
        for (std::size_t g = 0; g < ng; ++g) {
            runs.push_back({g, g + 1, true_y[g]});
            while (runs.size() > 1) {
                Run& b = runs.back();
                const Run& a = runs[runs.size() - 2];
                const double a_top = a.centre - (static_cast<double>(a.last - a.first) - 1) / 2 * min_sep;
                const double b_bottom = b.centre + (static_cast<double>(b.last - b.first) - 1) / 2 * min_sep;
                if (a_top - b_bottom >= min_sep - 1e-9) break;
                double sum = 0;
                for (std::size_t k = a.first; k < b.last; ++k) sum += true_y[k] + (static_cast<double>(k - a.first) - static_cast<double>(b.last - a.first - 1) / 2) * min_sep;
                const Run merged{a.first, b.last, sum / static_cast<double>(b.last - a.first)};
                runs.pop_back();
                runs.back() = merged;
            }
        }
        for (const Run& r : runs)
            for (std::size_t k = r.first; k < r.last; ++k)
                shown_y[k] = r.centre - (static_cast<double>(k - r.first) - static_cast<double>(r.last - r.first - 1) / 2) * min_sep;
    }
    for (std::size_t g = 0; g < ng; ++g) {
        const auto [first, last] = groups[g];
        const double e = d.energies_ev[static_cast<std::size_t>(first)];
        const double y = shown_y[g];
        const int count = last - first;
        if (std::abs(y - true_y[g]) > 0.25) {  // moved: a leader from its true energy
            const double x_left = centre - (count / 2.0) * pitch + (pitch - line) / 2;
            cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
            cairo_set_line_width(cr, 0.6);
            cairo_move_to(cr, x_left - 22, true_y[g]);
            cairo_line_to(cr, x_left - 14, true_y[g]);
            cairo_line_to(cr, x_left - 2, y);
            cairo_stroke(cr);
        }
        for (int k = first; k < last; ++k) {
            const double x = centre + (k - first - (count - 1) / 2.0) * pitch;
            const bool occupied = k < d.occupied;
            cairo_set_line_width(cr, level_line_width);
            if (occupied)
                cairo_set_source_rgb(cr, 0.0, 0.0, 0.55);
            else
                cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
            cairo_move_to(cr, x - line / 2, y);
            cairo_line_to(cr, x + line / 2, y);
            cairo_stroke(cr);
            if (occupied) {  // the electron pair, spin up and spin down
                cairo_set_line_width(cr, 1.2);
                arrow(cr, x - 8, y + 9, y - 9);
                arrow(cr, x + 8, y - 9, y + 9);
            }
        }
        const double label_x = centre + (count / 2.0) * pitch + 8;
        cairo_set_source_rgb(cr, 0, 0, 0);
        if (d.occupied >= first + 1 && d.occupied <= last)
            text(cr, label_x, y + 4, "HOMO  " + fixed(e, 2) + " eV", 11);
        else if (d.occupied == first)
            text(cr, label_x, y + 4, "LUMO  " + fixed(e, 2) + " eV", 11);
    }
    // The gap, between HOMO and LUMO.
    const int n = static_cast<int>(d.energies_ev.size());
    if (d.occupied > 0 && d.occupied < n) {
        const double homo = d.energies_ev[static_cast<std::size_t>(d.occupied - 1)];
        const double lumo = d.energies_ev[static_cast<std::size_t>(d.occupied)];
        if (homo >= w.min_ev && lumo <= w.max_ev) {
            cairo_set_source_rgb(cr, 0.6, 0.0, 0.0);
            cairo_set_line_width(cr, 1.0);
            const double x = 150;
            arrow(cr, x, y_of(homo), y_of(lumo));
            arrow(cr, x, y_of(lumo), y_of(homo));
            text(cr, x + 8, (y_of(homo) + y_of(lumo)) / 2 + 4, "gap " + fixed(lumo - homo, 2) + " eV", 11);
        }
    }
    return canvas.finish();
}

std::string dos_picture(const LevelData& d, const EnergyWindow& w, double broadening_ev, PictureFormat format) {
    check_broadening(broadening_ev);
    const double width = 800, height = 500, left = 80, right = 770, top = 70, bottom = 440;
    Canvas canvas(format, width, height);
    cairo_t* cr = canvas.cr();
    heading(cr, d, width / 2);

    const int samples = 700;
    std::vector<double> all(samples + 1), occupied(samples + 1);
    const double norm = 2.0 / (broadening_ev * std::sqrt(2.0 * pi));  // two electrons' states
    double peak = 0.0;
    for (int i = 0; i <= samples; ++i) {
        const double e = w.min_ev + (w.max_ev - w.min_ev) * i / samples;
        for (std::size_t k = 0; k < d.energies_ev.size(); ++k) {
            const double u = (e - d.energies_ev[k]) / broadening_ev;
            const double g = norm * std::exp(-0.5 * u * u);
            all[static_cast<std::size_t>(i)] += g;
            if (static_cast<int>(k) < d.occupied) occupied[static_cast<std::size_t>(i)] += g;
        }
        peak = std::max(peak, all[static_cast<std::size_t>(i)]);
    }
    if (peak <= 0.0) peak = 1.0;
    const auto x_of = [&](int i) { return left + (right - left) * i / samples; };
    const auto y_of = [&](double v) { return bottom - v / (1.1 * peak) * (bottom - top); };

    // The occupied states, shaded; then the whole curve, both inside the plot's rectangle.
    cairo_save(cr);
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.65, 0.75, 0.95);
    cairo_move_to(cr, x_of(0), bottom);
    for (int i = 0; i <= samples; ++i) cairo_line_to(cr, x_of(i), y_of(occupied[static_cast<std::size_t>(i)]));
    cairo_line_to(cr, x_of(samples), bottom);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.4);
    cairo_set_line_width(cr, 1.5);
    for (int i = 0; i <= samples; ++i) {
        if (i == 0) cairo_move_to(cr, x_of(i), y_of(all[0]));
        else cairo_line_to(cr, x_of(i), y_of(all[static_cast<std::size_t>(i)]));
    }
    cairo_stroke(cr);
    cairo_restore(cr);

    // Axes, energy and states-per-eV ticks, and the HOMO marked.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, left, top);
    cairo_line_to(cr, left, bottom);
    cairo_line_to(cr, right, bottom);
    cairo_stroke(cr);
    const double step = tick_step(w.max_ev - w.min_ev);
    for (double t = std::ceil(w.min_ev / step) * step; t <= w.max_ev + 1e-9; t += step) {
        const double x = left + (t - w.min_ev) / (w.max_ev - w.min_ev) * (right - left);
        cairo_move_to(cr, x, bottom);
        cairo_line_to(cr, x, bottom + 5);
        cairo_stroke(cr);
        text(cr, x, bottom + 20, fixed(t, step < 1 ? 1 : 0), 11, true);
    }
    text(cr, (left + right) / 2, bottom + 45, "energy (eV)", 12, true);
    const double v_step = tick_step(1.1 * peak);
    const int v_decimals = v_step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(v_step) - 1e-9));
    for (int i = 0; i * v_step <= 1.1 * peak * (1 + 1e-9); ++i) {
        const double y = y_of(i * v_step);
        cairo_move_to(cr, left - 5, y);
        cairo_line_to(cr, left, y);
        cairo_stroke(cr);
        text_right(cr, left - 8, y + 4, fixed(i * v_step, v_decimals), 11);
    }
    cairo_save(cr);
    cairo_translate(cr, 22, (top + bottom) / 2);
    cairo_rotate(cr, -pi / 2);
    text(cr, 0, 0, "states per eV (Gaussian, sigma " + fixed(broadening_ev, 2) + " eV)", 12, true);
    cairo_restore(cr);
    if (d.occupied > 0) {
        const double homo = d.energies_ev[static_cast<std::size_t>(d.occupied - 1)];
        if (homo >= w.min_ev && homo <= w.max_ev) {
            const double x = left + (homo - w.min_ev) / (w.max_ev - w.min_ev) * (right - left);
            cairo_set_source_rgb(cr, 0.6, 0.0, 0.0);
            const double dashes[] = {4.0, 3.0};
            cairo_set_dash(cr, dashes, 2, 0);
            cairo_move_to(cr, x, top);
            cairo_line_to(cr, x, bottom);
            cairo_stroke(cr);
            cairo_set_dash(cr, nullptr, 0, 0);
            text(cr, x + 4, top + 12, "HOMO", 11);
        }
    }
    return canvas.finish();
}

}  // namespace zephor::exporter
