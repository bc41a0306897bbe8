// The page: a fixed HTML/CSS/JS template, the inlined library, and one JSON block of data (atoms
// in Angstrom, energies, charges, bond orders, and the orbitals' grids as cube text in bohr).
#include "export/results_page.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "common/constants.hpp"
#include "common/elements.hpp"
#include "export/cube_writer.hpp"
#include "export/errors.hpp"
#include "export/orbital_list.hpp"
#include "export/results_json.hpp"
#include "export/utf8_text.hpp"

namespace zephor::exporter {

namespace {

// The page's own code: layout, the viewer, the level diagram (SVG drawn here, every level a
// keyboard-reachable button), the table, the controls. window.zephor tells a test what is shown.
constexpr const char* page_template = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>@TITLE@ — ZEPHOR results</title>
<style>
body { font-family: sans-serif; margin: 0; color: #222; }
header { padding: 10px 16px; border-bottom: 1px solid #ccc; }
header h1 { font-size: 20px; margin: 0; }
header p { margin: 4px 0 0; font-size: 14px; }
main { display: flex; flex-wrap: wrap; gap: 12px; padding: 12px; }
#frame { border: 1px solid #ccc; width: 560px; height: 420px; }
#viewer { width: 560px; height: 420px; position: relative; }
#levels { border: 1px solid #ccc; }
#levels .level { cursor: pointer; }
#levels .level:focus { outline: 2px solid #e08000; }
#levels .level.selected { fill: #e08000; }
#levels .level.nogrid { cursor: default; opacity: 0.5; }
.controls { font-size: 14px; margin: 6px 0; }
table { border-collapse: collapse; font-size: 13px; }
td, th { padding: 2px 8px; text-align: right; }
tr.selected { background: #ffe7c2; }
</style>
<script>@LIBRARY@</script>
</head>
<body>
<header><h1 id="title"></h1><p id="summary"></p></header>
<main>
<section>
<div id="frame"><div id="viewer" aria-label="molecule and orbital"></div></div>
<div class="controls">
<label>isovalue <input id="iso" type="range" min="0.005" max="0.2" step="0.005" value="0.05"> <span id="isotext"></span></label>
<label><input id="labels" type="checkbox"> atom labels</label>
<label><input id="charges" type="checkbox"> colour by Mulliken charge</label>
<label><input id="bonds" type="checkbox"> Mayer bond orders</label>
</div>
<p id="shown" class="controls"></p>
</section>
<section><svg id="levels" width="360" height="520" role="list" aria-label="orbital energy levels"></svg></section>
<section><table id="orbitals"><thead><tr><th>orbital</th><th>eV</th><th>hartree</th><th>occupation</th><th></th></tr></thead><tbody></tbody></table></section>
</main>
<script type="application/json" id="zephor-data">@DATA@</script>
<script>
(function () {
  const D = JSON.parse(document.getElementById('zephor-data').textContent);
  const homo = D.occupied, lumo = D.occupied + 1, n = D.energies_ev.length;
  document.getElementById('title').textContent = (D.title || D.formula) + (D.title ? ' (' + D.formula + ')' : '');
  document.getElementById('summary').textContent = 'Total energy ' + D.total_energy_ev.toFixed(4) + ' eV' +
      (D.gap_ev !== null ? ', HOMO–LUMO gap ' + D.gap_ev.toFixed(4) + ' eV' : '') + ', ' + n + ' orbitals, ' +
      D.atoms.length + ' atoms. Extended Hückel, STO-6G.';
  // Without WebGL (some headless or remote browsers) the 3D view is left out; the levels, the
  // table and the text still work.
  let viewer = null;
  if (document.createElement('canvas').getContext('webgl')) {
    try { viewer = $3Dmol.createViewer(document.getElementById('viewer'), {backgroundColor: 'white'}); } catch (e) { viewer = null; }
  }
  if (!viewer) document.getElementById('viewer').textContent = 'This browser offers no WebGL here: the 3D view is not available.';
  let xyz = D.atoms.length + '\n\n';
  for (const a of D.atoms) xyz += a.symbol + ' ' + a.x + ' ' + a.y + ' ' + a.z + '\n';
  const atoms = viewer ? viewer.addModel(xyz, 'xyz').selectedAtoms({}) : [];
  atoms.forEach((a, i) => { a.properties = {charge: D.charges[i]}; });
  const sphereScale = 0.2;  // of the library's atomic radii
  function style() {
    if (!viewer) return;
    const byCharge = document.getElementById('charges').checked;
    const color = byCharge ? {colorfunc: a => {
      const q = Math.max(-1, Math.min(1, a.properties.charge));
      const r = q < 0 ? 255 : Math.round(255 * (1 - q)), b = q > 0 ? 255 : Math.round(255 * (1 + q));
      return (r << 16) | (Math.round(255 * (1 - Math.abs(q))) << 8) | b; }} : {colorscheme: 'Jmol'};
    viewer.setStyle({}, {stick: Object.assign({radius: 0.12}, color), sphere: Object.assign({scale: sphereScale}, color)});
    viewer.removeAllLabels();
    if (document.getElementById('labels').checked)
      atoms.forEach((a, i) => viewer.addLabel(a.elem + (i + 1) + (byCharge ? ' ' + D.charges[i].toFixed(2) : ''),
        {position: {x: a.x, y: a.y, z: a.z}, fontSize: 12, backgroundOpacity: 0.6}));
    if (document.getElementById('bonds').checked)
      for (const b of D.bonds) {
        const p = atoms[b.a - 1], q = atoms[b.b - 1];
        viewer.addLabel(b.order.toFixed(2), {position: {x: (p.x + q.x) / 2, y: (p.y + q.y) / 2, z: (p.z + q.z) / 2},
          fontSize: 10, fontColor: 'black', backgroundColor: 'white', backgroundOpacity: 0.7});
      }
    viewer.render();
  }
  // The camera: the molecule's two largest principal axes (of its atoms' spread) across the
  // screen, the largest horizontal, turned 15 degrees about the vertical so that lobes standing
  // out of a flat molecule's plane are seen; then the atoms, with their spheres, fitted to the
  // view. Coordinates in Angstrom.
  function principalAxes(points) {
    const c = [0, 1, 2].map(u => points.reduce((s, p) => s + p[u], 0) / points.length);
    const a = [[0, 0, 0], [0, 0, 0], [0, 0, 0]];
    for (const p of points)
      for (let i = 0; i < 3; ++i) for (let j = 0; j < 3; ++j) a[i][j] += (p[i] - c[i]) * (p[j] - c[j]);
    const v = [[1, 0, 0], [0, 1, 0], [0, 0, 1]];  // columns: eigenvectors (Jacobi rotations)
    for (let sweep = 0; sweep < 50; ++sweep) {
      let off = 0;
      for (let i = 0; i < 3; ++i) for (let j = i + 1; j < 3; ++j) off += a[i][j] * a[i][j];
      if (off < 1e-30) break;
      for (let p = 0; p < 3; ++p) for (let q = p + 1; q < 3; ++q) {
        if (Math.abs(a[p][q]) < 1e-300) continue;
        const theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
        const t = Math.sign(theta || 1) / (Math.abs(theta) + Math.sqrt(theta * theta + 1));
        const cs = 1 / Math.sqrt(t * t + 1), sn = t * cs;
        for (let k = 0; k < 3; ++k) {  // a <- a J
          const akp = a[k][p], akq = a[k][q];
          a[k][p] = cs * akp - sn * akq; a[k][q] = sn * akp + cs * akq;
        }
        for (let k = 0; k < 3; ++k) {  // a <- J^T a
          const apk = a[p][k], aqk = a[q][k];
          a[p][k] = cs * apk - sn * aqk; a[q][k] = sn * apk + cs * aqk;
        }
        for (let k = 0; k < 3; ++k) {
          const vkp = v[k][p], vkq = v[k][q];
          v[k][p] = cs * vkp - sn * vkq; v[k][q] = sn * vkp + cs * vkq;
        }
      }
    }
    const order = [0, 1, 2].sort((i, j) => a[j][j] - a[i][i]);
    const e1 = [0, 1, 2].map(k => v[k][order[0]]), e2 = [0, 1, 2].map(k => v[k][order[1]]);
    const e3 = [e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]];
    return [e1, e2, e3];
  }
  // The unit quaternion [x, y, z, w] of a rotation matrix (rows).
  function quaternion(m) {
    const tr = m[0][0] + m[1][1] + m[2][2];
    if (tr > 0) {
      const s = 2 * Math.sqrt(tr + 1);
      return [(m[2][1] - m[1][2]) / s, (m[0][2] - m[2][0]) / s, (m[1][0] - m[0][1]) / s, s / 4];
    }
    if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
      const s = 2 * Math.sqrt(1 + m[0][0] - m[1][1] - m[2][2]);
      return [s / 4, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s, (m[2][1] - m[1][2]) / s];
    }
    if (m[1][1] > m[2][2]) {
      const s = 2 * Math.sqrt(1 + m[1][1] - m[0][0] - m[2][2]);
      return [(m[0][1] + m[1][0]) / s, s / 4, (m[1][2] + m[2][1]) / s, (m[0][2] - m[2][0]) / s];
    }
    const s = 2 * Math.sqrt(1 + m[2][2] - m[0][0] - m[1][1]);
    return [(m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, s / 4, (m[1][0] - m[0][1]) / s];
  }
  function frame() {
    const points = D.atoms.map(a => [a.x, a.y, a.z]);
    const axes = points.length > 1 ? principalAxes(points) : [[1, 0, 0], [0, 1, 0], [0, 0, 1]];
    const tilt = 15 * Math.PI / 180, ct = Math.cos(tilt), st = Math.sin(tilt);
    const m = [axes[0].map((u, k) => ct * u + st * axes[2][k]), axes[1], axes[2].map((u, k) => ct * u - st * axes[0][k])];
    const view = points.map(p => m.map(r => r[0] * p[0] + r[1] * p[1] + r[2] * p[2]));
    // The spheres as drawn: the library's radii (Angstrom) times the style's scale.
    const radii = ($3Dmol.GLModel && $3Dmol.GLModel.vdwRadii) || {};
    const radius = D.atoms.map(a => sphereScale * (radii[a.symbol] || 2.0));
    const lo = [0, 1, 2].map(u => Math.min(...view.map(p => p[u]))), hi = [0, 1, 2].map(u => Math.max(...view.map(p => p[u])));
    const mid = [0, 1, 2].map(u => (lo[u] + hi[u]) / 2);
    const centre = [0, 1, 2].map(k => m[0][k] * mid[0] + m[1][k] * mid[1] + m[2][k] * mid[2]);  // m^T mid
    viewer.zoomTo();  // fog and slab for the whole scene
    // The camera's distance from the centre such that every sphere, seen in perspective at its own
    // depth, lies inside the view with a little room.
    const el = document.getElementById('viewer'), aspect = el.clientWidth / el.clientHeight, room = 1.03;
    const t = Math.tan(viewer.camera.fov * Math.PI / 360);
    let distance = 1.0;
    view.forEach((p, i) => {
      distance = Math.max(distance, p[2] - mid[2] + room * (Math.abs(p[0] - mid[0]) + radius[i]) / (t * aspect),
                          p[2] - mid[2] + room * (Math.abs(p[1] - mid[1]) + radius[i]) / t);
    });
    const q = quaternion(m);
    viewer.setView([-centre[0], -centre[1], -centre[2], viewer.CAMERA_Z - distance, q[0], q[1], q[2], q[3]]);
  }
  let iso = 0.05, shown = 0;
  const volumes = {};
  function show(k) {
    if (!D.cubes[k]) return;
    shown = k;
    if (viewer) {
      viewer.removeAllShapes();
      const v = volumes[k] || (volumes[k] = new $3Dmol.VolumeData(D.cubes[k], 'cube'));
      viewer.addIsosurface(v, {isoval: iso, color: '#1f5fd6', opacity: 0.85});
      viewer.addIsosurface(v, {isoval: -iso, color: '#d6301f', opacity: 0.85});
      viewer.render();
    }
    document.querySelectorAll('.level').forEach(e => e.classList.toggle('selected', Number(e.dataset.k) === k));
    document.querySelectorAll('#orbitals tbody tr').forEach(e => e.classList.toggle('selected', Number(e.dataset.k) === k));
    document.getElementById('shown').textContent = 'Orbital ' + k + (k === homo ? ' (HOMO)' : k === lumo ? ' (LUMO)' : '') +
        ', ' + D.energies_ev[k - 1].toFixed(4) + ' eV; blue positive, red negative lobe, isovalue ' + iso.toFixed(3) + '.';
    window.zephor.shown = k;
  }
  // The level diagram over the window of the orbitals with grids, and a little beyond.
  const svg = document.getElementById('levels'), NS = 'http://www.w3.org/2000/svg';
  const ks = Object.keys(D.cubes).map(Number);
  const lo = D.energies_ev[Math.min(...ks) - 1] - 2, hi = D.energies_ev[Math.max(...ks) - 1] + 2;
  const y = e => 500 - (e - lo) / (hi - lo) * 480;
  function svgElement(name, attributes, text) {
    const el = document.createElementNS(NS, name);
    for (const [a, v] of Object.entries(attributes)) el.setAttribute(a, v);
    if (text !== undefined) el.textContent = text;
    svg.appendChild(el);
    return el;
  }
  // The energy axis (eV) with ticks of 1, 2 or 5 times a power of ten, about six of them.
  const axisX = 62;
  svgElement('line', {x1: axisX, y1: y(lo), x2: axisX, y2: y(hi), stroke: '#000'});
  const raw = (hi - lo) / 6, p10 = Math.pow(10, Math.floor(Math.log10(raw)));
  const step = [1, 2, 5, 10].map(m => m * p10).find(s => s >= raw);
  for (let t = Math.ceil(lo / step) * step; t <= hi + 1e-9; t += step) {
    svgElement('line', {x1: axisX - 4, y1: y(t), x2: axisX, y2: y(t), stroke: '#000'});
    svgElement('text', {x: axisX - 6, y: y(t) + 4, 'font-size': '11', 'text-anchor': 'end', class: 'tick'},
               t.toFixed(step < 1 ? 1 : 0));
  }
  svgElement('text', {x: 12, y: 260, 'font-size': '12', transform: 'rotate(-90 12 260)', 'text-anchor': 'middle'}, 'energy (eV)');
  // Side by side only for degenerate levels (within 1e-4 eV); distinct levels closer than six
  // pixels are lifted apart, each with a thin leader from its true energy.
  const groups = [];
  for (let k = 1; k <= n; ++k) {
    const e = D.energies_ev[k - 1];
    if (e < lo || e > hi) continue;
    const g = groups[groups.length - 1];
    if (g && e - D.energies_ev[g[0] - 1] <= 1e-4) g.push(k); else groups.push([k]);
  }
  let lastShown = Infinity;
  const levelX = 150;
  for (const g of groups) {
    const e0 = D.energies_ev[g[0] - 1], trueY = y(e0), shownY = Math.min(trueY, lastShown - 6);
    lastShown = shownY;
    if (trueY - shownY > 0.25)
      svgElement('polyline', {points: (levelX - 24) + ',' + trueY + ' ' + (levelX - 16) + ',' + trueY + ' ' + (levelX - 2) + ',' + shownY,
                              fill: 'none', stroke: '#888', 'stroke-width': '0.8', class: 'leader'});
    g.forEach((k, column) => {
    const e = D.energies_ev[k - 1];
    const x = levelX + column * 62;
    const line = document.createElementNS(NS, 'rect');  // a level: a short bar, easy to click
    line.setAttribute('x', x); line.setAttribute('width', 50);
    line.setAttribute('y', shownY - 2); line.setAttribute('height', 4);
    line.setAttribute('fill', k <= homo ? '#00008c' : '#777');
    line.setAttribute('class', 'level' + (D.cubes[k] ? '' : ' nogrid'));
    line.dataset.k = k;
    if (D.cubes[k]) {
      line.setAttribute('tabindex', '0');
      line.setAttribute('role', 'button');
      line.setAttribute('aria-label', 'orbital ' + k + ', ' + e.toFixed(4) + ' eV');
      line.addEventListener('click', () => show(k));
      line.addEventListener('keydown', ev => { if (ev.key === 'Enter' || ev.key === ' ') { ev.preventDefault(); show(k); } });
    }
    const title = document.createElementNS(NS, 'title');
    title.textContent = 'orbital ' + k + ': ' + e.toFixed(4) + ' eV';
    line.appendChild(title);
    svg.appendChild(line);
    if (k === homo || k === lumo)
      svgElement('text', {x: levelX + g.length * 62, y: shownY + 4, 'font-size': '12'}, (k === homo ? 'HOMO ' : 'LUMO ') + e.toFixed(2));
    });
  }
  const body = document.querySelector('#orbitals tbody');
  for (let k = 1; k <= n; ++k) {
    const tr = document.createElement('tr');
    tr.dataset.k = k;
    for (const v of [k, D.energies_ev[k - 1].toFixed(4), D.energies_hartree[k - 1].toFixed(6), k <= homo ? 2 : 0,
                     k === homo ? 'HOMO' : k === lumo ? 'LUMO' : ''])
      tr.appendChild(document.createElement('td')).textContent = v;
    if (D.cubes[k]) { tr.style.cursor = 'pointer'; tr.addEventListener('click', () => show(k)); }
    body.appendChild(tr);
  }
  const isoInput = document.getElementById('iso');
  isoInput.addEventListener('input', () => { iso = Number(isoInput.value);
    document.getElementById('isotext').textContent = iso.toFixed(3); show(shown); });
  document.getElementById('isotext').textContent = iso.toFixed(3);
  for (const id of ['labels', 'charges', 'bonds']) document.getElementById(id).addEventListener('change', style);
  // Bond labels crowd the view of a large molecule: on by default up to 30 atoms.
  document.getElementById('bonds').checked = D.atoms.length <= 30;
  window.zephor = {viewer: viewer, shown: 0, ready: false};
  style();
  if (viewer) frame();
  show(D.cubes[homo] ? homo : ks[0]);
  window.zephor.ready = true;
})();
</script>
</body>
</html>
)PAGE";

// The template with each marker replaced; only the template is scanned, never what is put in.
std::string fill(const std::string& tmpl, const std::vector<std::pair<std::string, std::string>>& values) {
    std::string out;
    std::size_t at = 0;
    while (at < tmpl.size()) {
        std::size_t next = std::string::npos;
        const std::pair<std::string, std::string>* which = nullptr;
        for (const auto& v : values) {
            const std::size_t p = tmpl.find(v.first, at);
            if (p < next) {
                next = p;
                which = &v;
            }
        }
        if (which == nullptr) {
            out.append(tmpl, at, std::string::npos);
            break;
        }
        out.append(tmpl, at, next - at);
        out += which->second;
        at = next + which->first.size();
    }
    return out;
}

// JSON that may stand inside a <script> element whatever its strings hold: no "<" can open
// "</script" or "<!--" (which would hide the rest of the page), and ">", "&", U+2028 and U+2029
// are escaped too, as is customary. In JSON these bytes occur only inside strings, where the
// escapes read back as the same characters.
std::string script_data(const std::string& json_text) {
    std::string out;
    out.reserve(json_text.size());
    for (std::size_t i = 0; i < json_text.size(); ++i) {
        const char ch = json_text[i];
        if (ch == '<') out += "\\u003c";
        else if (ch == '>') out += "\\u003e";
        else if (ch == '&') out += "\\u0026";
        else if (ch == '\xE2' && json_text.compare(i + 1, 2, "\x80\xA8") == 0) {
            out += "\\u2028";
            i += 2;
        } else if (ch == '\xE2' && json_text.compare(i + 1, 2, "\x80\xA9") == 0) {
            out += "\\u2029";
            i += 2;
        } else out += ch;
    }
    return out;
}

// The library's text inside a <script> element: "</" cannot end it early.
std::string script_safe(std::string s) {
    for (std::size_t at = s.find("</"); at != std::string::npos; at = s.find("</", at + 3)) s.replace(at, 2, "<\\/");
    return s;
}

std::string html_escaped(const std::string& s) {
    std::string out;
    for (const char ch : s) {
        if (ch == '<') out += "&lt;";
        else if (ch == '>') out += "&gt;";
        else if (ch == '&') out += "&amp;";
        else out += ch;
    }
    return out;
}

constexpr double page_margin = 5.0;            // bohr
constexpr double page_coarsest_spacing = 10.0;  // bohr, the largest a cube takes
// A grid of the page is about 100,000 points; a molecule so large that even the coarsest spacing
// gives more than this is refused.
constexpr double max_page_points = 1'000'000;

// A spacing of at most two decimals giving about 100,000 points over the molecule's box, at
// most the coarsest.
double grid_spacing(const Checkpoint& c, double margin) {
    double volume = 1.0;
    for (std::size_t u = 0; u < 3; ++u) {
        double lo = c.r[u], hi = c.r[u];
        for (std::size_t a = 1; a < static_cast<std::size_t>(c.atom_count); ++a) {
            lo = std::min(lo, c.r[3 * a + u]);
            hi = std::max(hi, c.r[3 * a + u]);
        }
        volume *= hi - lo + 2 * margin;
    }
    return std::min(page_coarsest_spacing, std::max(0.25, std::ceil(std::cbrt(volume / 100000.0) * 100.0) / 100.0));
}

CubeGrid page_grid(const Checkpoint& c) {
    CubeGrid grid;
    grid.margin = page_margin;
    grid.spacing = grid_spacing(c, grid.margin);
    grid.orbital_header = false;  // the plain header, as 3Dmol.js reads cubes
    return grid;
}

}  // namespace

std::vector<std::int32_t> page_orbitals(const Checkpoint& c, const std::string& list) {
    std::vector<std::int32_t> out;
    if (list.empty()) {
        for (std::int32_t k = c.occupied_count - 3; k <= c.occupied_count + 4; ++k)
            if (k >= 1 && k <= c.basis_count) out.push_back(k);
        return out;
    }
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        std::string item = list.substr(start, end - start);
        for (char& ch : item) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        std::int32_t k = 0;
        if (item == "homo") k = c.occupied_count;
        else if (item == "lumo") k = c.occupied_count + 1;
        else {
            const auto res = std::from_chars(item.data(), item.data() + item.size(), k);
            if (res.ec != std::errc() || res.ptr != item.data() + item.size()) k = 0;
        }
        if (k < 1 || k > c.basis_count)
            throw RequestError("--orbitals " + list + ": '" + item + "' is not an orbital from 1 to " +
                               std::to_string(c.basis_count) + ", homo or lumo");
        if (std::find(out.begin(), out.end(), k) == out.end()) out.push_back(k);
        start = end + 1;
    }
    return out;
}

void check_page(const Checkpoint& c, const Report& r) {
    check_same_run(c, r);
    const double points = cube_point_count(c, page_grid(c));
    if (!(points <= max_page_points))
        throw RequestError("the molecule is too large for the page's grids: each would have " + point_count_text(points) +
                           " points (at most " + point_count_text(max_page_points) + ")");
}

std::vector<AtomPair> page_bonds(const Checkpoint& c, const Analysis& a) {
    std::vector<AtomPair> bonds;
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    for (std::size_t i = 0; i < atoms; ++i)
        for (std::size_t j = i + 1; j < atoms; ++j) {
            const SupportedElement* ei = supported_element_number(c.atomic_number[i]);
            const SupportedElement* ej = supported_element_number(c.atomic_number[j]);
            double d2 = 0.0;
            for (std::size_t x = 0; x < 3; ++x) {
                const double dx = (c.r[3 * i + x] - c.r[3 * j + x]) * bohr_in_angstrom;
                d2 += dx * dx;
            }
            const double reach = ei && ej ? 1.2 * (ei->covalent_radius + ej->covalent_radius) : 0.0;
            const double order = a.mayer[j * atoms + i];
            if (order >= 0.3 || d2 <= reach * reach)
                bonds.push_back({static_cast<std::int32_t>(i + 1), static_cast<std::int32_t>(j + 1), order});
        }
    return bonds;
}

std::string results_page(const Checkpoint& c, const Orbitals& o, const Report& r, const Analysis& a,
                         const std::vector<std::int32_t>& orbitals, const std::string& library_js) {
    using nlohmann::json;
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    check_page(c, r);
    const std::string title = valid_utf8(c.title);
    json d;
    d["title"] = title;
    d["formula"] = hill_formula(c);
    d["occupied"] = c.occupied_count;
    d["total_energy_ev"] = r.total_energy_ev;
    json list = json::array();
    for (std::size_t a = 0; a < atoms; ++a)
        list.push_back({{"symbol", std::string(1, element_of(c.atomic_number[a])->letter)},
                        {"x", c.r[3 * a] * bohr_in_angstrom},
                        {"y", c.r[3 * a + 1] * bohr_in_angstrom},
                        {"z", c.r[3 * a + 2] * bohr_in_angstrom}});
    d["atoms"] = list;
    // What the page shows by default are the overlap-aware values; FOR006's own stay in the data,
    // named for what they are.
    d["charges"] = a.mulliken_charges;
    d["lowdin_charges"] = a.lowdin_charges;
    d["report_charges"] = r.charge;
    json bonds = json::array();
    for (const AtomPair& b : page_bonds(c, a)) bonds.push_back({{"a", b.i}, {"b", b.j}, {"order", b.value}});
    d["bonds"] = bonds;
    json ev = json::array(), hartree = json::array();
    for (std::size_t k = 0; k < c.orbital_energy.size(); ++k) {
        ev.push_back(orbital_ev(c, k));
        hartree.push_back(c.orbital_energy[k]);
    }
    d["energies_ev"] = ev;
    d["energies_hartree"] = hartree;
    d["gap_ev"] = (c.occupied_count > 0 && c.occupied_count < c.basis_count)
                      ? json(orbital_ev(c, static_cast<std::size_t>(c.occupied_count)) -
                             orbital_ev(c, static_cast<std::size_t>(c.occupied_count - 1)))
                      : json(nullptr);
    const CubeGrid grid = page_grid(c);
    json cubes = json::object();
    for (const std::int32_t k : orbitals) cubes[std::to_string(k)] = cube_text(c, o, k, grid);
    d["cubes"] = cubes;

    return fill(page_template, {{"@TITLE@", html_escaped(title.empty() ? hill_formula(c) : title)},
                                {"@LIBRARY@", script_safe(library_js)},
                                {"@DATA@", script_data(d.dump(-1, ' ', false, json::error_handler_t::replace))}});
}

}  // namespace zephor::exporter
