// The page: a fixed HTML/CSS/JS template, the inlined library, and one JSON block of data (atoms
// in Angstrom, energies, charges, bond orders, the basis and every orbital's coefficients); the
// page evaluates an orbital's grid itself when it is shown.
#include "export/results_page.hpp"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "common/constants.hpp"
#include "common/elements.hpp"
#include "export/base64_text.hpp"
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
main { display: flex; flex-wrap: wrap; gap: 10px; padding: 10px; }
main > section:first-child { width: 562px; }
#frame { border: 1px solid #ccc; width: 560px; height: 420px; }
#viewer { width: 560px; height: 420px; position: relative; }
#levelbox { border: 1px solid #ccc; width: 330px; max-height: 520px; overflow-y: auto; }
#levels { display: block; }
#levels .level { cursor: pointer; }
#levels .level:focus { outline: 2px solid #e08000; }
#levels .level.selected { fill: #e08000; }
.controls { font-size: 14px; margin: 6px 0; }
details { font-size: 13px; max-width: 560px; }
#tablebox { max-height: 560px; overflow-y: auto; }
table { border-collapse: collapse; font-size: 12px; }
td, th { padding: 2px 5px; text-align: right; }
#orbitals tbody tr { cursor: pointer; }
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
<label>grid <select id="resolution"><option value="coarse">coarse</option><option value="fine">fine</option></select></label>
</div>
<div class="controls">
<label><input id="labels" type="checkbox"> atom labels</label>
<label title="Mulliken charges from the orbitals normalised against the overlap; definitions below"><input id="charges" type="checkbox"> colour by Mulliken charge</label>
<label title="Mayer bond orders of the bonded pairs; definitions below"><input id="bonds" type="checkbox"> Mayer bond orders</label>
</div>
<p id="shown" class="controls"></p>
<details id="definitions"><summary>What the charges and bond orders are</summary>
<p>From the orbitals normalised against the overlap matrix S (c<sup>T</sup>Sc = 1), with the density
P = 2 &Sigma;<sub>occupied</sub> c c<sup>T</sup>:</p>
<ul>
<li><b>Mulliken charge</b> of atom A: q<sub>A</sub> = Z<sub>A</sub> &minus; &Sigma;<sub>&mu; on A</sub> (PS)<sub>&mu;&mu;</sub>,
Z<sub>A</sub> its valence electrons. The atoms are coloured by it (red negative, blue positive).</li>
<li><b>Löwdin charge</b>: the same from S<sup>&frac12;</sup>PS<sup>&frac12;</sup>.</li>
<li><b>Mayer bond order</b> of atoms A and B: &Sigma;<sub>&mu; on A</sub> &Sigma;<sub>&nu; on B</sub> (PS)<sub>&mu;&nu;</sub>(PS)<sub>&nu;&mu;</sub>,
labelled for the bonded pairs (order at least 0.3, or closer than 1.2 times the sum of the covalent radii).</li>
</ul>
<p>The report's (FOR006) “Mulliken population analysis” charges and “Wiberg bond orders” are built from
orbitals of unit length without the overlap, and differ from these; its charges are in the last column.</p>
<table id="charge-table"><thead><tr><th>atom</th><th>Mulliken</th><th>Löwdin</th><th>FOR006 (unit-length orbitals, no overlap)</th></tr></thead><tbody></tbody></table>
</details>
</section>
<section><div id="levelbox"><svg id="levels" width="312" height="520" role="list" aria-label="orbital energy levels"></svg></div></section>
<section id="tablebox"><table id="orbitals"><thead><tr><th>orbital</th><th>eV</th><th>hartree</th><th>occupation</th><th></th></tr></thead><tbody></tbody></table></section>
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
  // The orbitals' values on a grid, evaluated here from the basis and the coefficients. On a
  // Cartesian grid every Gaussian factorises, exp(-a|r-A|^2) = exp(-a dx^2) exp(-a dy^2)
  // exp(-a dz^2), so each shell needs per-axis tables of its six primitives only; and a shell is
  // summed only over the points within its reach. Lengths in bohr, values in bohr^-3/2, points
  // in x-major order (z fastest), as in a cube file. Self-contained: it also runs in the worker.
  function orbitalGrid(shellType, shellAtom, r, exponents, factor, c, box) {
    const nx = box.count[0], ny = box.count[1], nz = box.count[2], h = box.step, o = box.origin;
    const out = new Float64Array(nx * ny * nz);
    const first = [];
    for (let s = 0, f = 0; s < shellType.length; ++s) { first.push(f); f += shellType[s] === 1 ? 3 : 1; }
    const largest = s => shellType[s] === 1
        ? Math.max(Math.abs(c[first[s]]), Math.abs(c[first[s] + 1]), Math.abs(c[first[s] + 2])) : Math.abs(c[first[s]]);
    // A shell's contribution is left out where it is below 1e-12 of the largest peak any one
    // shell reaches with these coefficients (a p primitive peaks at 1/sqrt(2 e a) bohr).
    let top = 0;
    for (let s = 0; s < shellType.length; ++s) {
      let sum = 0;
      for (let k = 0; k < 6; ++k)
        sum += Math.abs(factor[6 * s + k]) * (shellType[s] === 1 ? 1 / Math.sqrt(2 * Math.E * exponents[6 * s + k]) : 1);
      top = Math.max(top, largest(s) * sum);
    }
    if (!(top > 0)) return out;
    const tau = 1e-12 * top;
    const X = new Float64Array(6 * nx), Y = new Float64Array(6 * ny), Z = new Float64Array(6 * nz);
    const DX = new Float64Array(nx), DY = new Float64Array(ny), DZ = new Float64Array(nz);
    function table(T, Dd, count, origin, centre, from, to, s) {
      for (let i = from; i <= to; ++i) {
        const d = origin + i * h - centre;
        Dd[i] = d;
        for (let k = 0; k < 6; ++k) T[k * count + i] = Math.exp(-exponents[6 * s + k] * d * d);
      }
    }
    for (let s = 0; s < shellType.length; ++s) {
      const p = shellType[s] === 1, cmax = largest(s);
      if (cmax === 0) continue;
      // The reach: beyond it every primitive times cmax (and, for p, times the distance) is
      // below tau; for p the distance is found by a few fixed-point steps, then widened a little.
      let reach = 0;
      for (let k = 0; k < 6; ++k) {
        const a = exponents[6 * s + k], w = Math.abs(factor[6 * s + k]) * cmax;
        if (!(w > tau)) continue;
        let r2 = Math.log(w / tau) / a;
        if (p) for (let step = 0; step < 6; ++step) r2 = Math.log(w * Math.max(1, Math.sqrt(r2)) / tau) / a;
        reach = Math.max(reach, Math.sqrt(r2) * (p ? 1.01 : 1));
      }
      const A = 3 * (shellAtom[s] - 1), ax = r[A], ay = r[A + 1], az = r[A + 2];
      const i0 = Math.max(0, Math.ceil((ax - reach - o[0]) / h)), i1 = Math.min(nx - 1, Math.floor((ax + reach - o[0]) / h));
      const j0 = Math.max(0, Math.ceil((ay - reach - o[1]) / h)), j1 = Math.min(ny - 1, Math.floor((ay + reach - o[1]) / h));
      const l0 = Math.max(0, Math.ceil((az - reach - o[2]) / h)), l1 = Math.min(nz - 1, Math.floor((az + reach - o[2]) / h));
      if (i0 > i1 || j0 > j1 || l0 > l1) continue;
      table(X, DX, nx, o[0], ax, i0, i1, s);
      table(Y, DY, ny, o[1], ay, j0, j1, s);
      table(Z, DZ, nz, o[2], az, l0, l1, s);
      const f = factor.slice(6 * s, 6 * s + 6);
      const Z0 = Z.subarray(0, nz), Z1 = Z.subarray(nz, 2 * nz), Z2 = Z.subarray(2 * nz, 3 * nz),
            Z3 = Z.subarray(3 * nz, 4 * nz), Z4 = Z.subarray(4 * nz, 5 * nz), Z5 = Z.subarray(5 * nz, 6 * nz);
      const c0 = c[first[s]], cy = p ? c[first[s] + 1] : 0, cz = p ? c[first[s] + 2] : 0;
      for (let i = i0; i <= i1; ++i) {
        const a0 = f[0] * X[i], a1 = f[1] * X[nx + i], a2 = f[2] * X[2 * nx + i],
              a3 = f[3] * X[3 * nx + i], a4 = f[4] * X[4 * nx + i], a5 = f[5] * X[5 * nx + i];
        for (let j = j0; j <= j1; ++j) {
          const b0 = a0 * Y[j], b1 = a1 * Y[ny + j], b2 = a2 * Y[2 * ny + j],
                b3 = a3 * Y[3 * ny + j], b4 = a4 * Y[4 * ny + j], b5 = a5 * Y[5 * ny + j];
          const base = (i * ny + j) * nz;
          if (p) {
            const xy = c0 * DX[i] + cy * DY[j];
            for (let l = l0; l <= l1; ++l)
              out[base + l] += (xy + cz * DZ[l]) * (b0 * Z0[l] + b1 * Z1[l] + b2 * Z2[l] + b3 * Z3[l] + b4 * Z4[l] + b5 * Z5[l]);
          } else {
            for (let l = l0; l <= l1; ++l)
              out[base + l] += c0 * (b0 * Z0[l] + b1 * Z1[l] + b2 * Z2[l] + b3 * Z3[l] + b4 * Z4[l] + b5 * Z5[l]);
          }
        }
      }
    }
    return out;
  }
  // The basis as the page carries it: each primitive's written coefficient (contraction norm
  // folded in) times its own normalisation, (2a/pi)^(3/4) for s and (128 a^5/pi^3)^(1/4) for p.
  const B = D.basis, shells = B.shell_type.length;
  const factor = new Float64Array(6 * shells);
  for (let i = 0; i < 6 * shells; ++i) {
    const a = B.exponents[i];
    factor[i] = B.coefficients[i] * (B.shell_type[Math.floor(i / 6)] === 1
        ? Math.pow(128 * Math.pow(a, 5) / Math.pow(Math.PI, 3), 0.25) : Math.pow(2 * a / Math.PI, 0.75));
  }
  // The coefficients: little-endian doubles, or (large molecules) fixed point of 2, 3 or 4 bytes
  // against each orbital's largest coefficient; column k - 1 is orbital k.
  const coef = (() => {
    const text = atob(D.orbitals.data), bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    const view = new DataView(bytes.buffer), out = new Float64Array(n * n);
    if (D.orbitals.encoding === 'float64le') {
      for (let i = 0; i < n * n; ++i) out[i] = view.getFloat64(8 * i, true);
    } else {
      const width = Number(D.orbitals.encoding.slice(5, -2)) / 8, full = Math.pow(2, 8 * width - 1) - 1;
      for (let i = 0; i < n * n; ++i) {
        let q = 0;
        for (let b = width - 1; b >= 0; --b) q = q * 256 + bytes[width * i + b];
        if (q > full) q -= 2 * (full + 1);  // two's complement
        out[i] = q / full * D.orbitals.scale[Math.floor(i / n)];
      }
    }
    return out;
  })();
  // The grid: as zephor-export --cube lays it out with the same spacing and margin (bohr), its
  // origin a whole number of steps from 0 rounded to six decimals.
  function gridBox(step) {
    const r = B.r_bohr, m = D.grid.margin, origin = [], count = [];
    for (let u = 0; u < 3; ++u) {
      let lo = r[u], hi = r[u];
      for (let a = 1; a < D.atoms.length; ++a) { lo = Math.min(lo, r[3 * a + u]); hi = Math.max(hi, r[3 * a + u]); }
      origin.push(Number((Math.floor((lo - m) / step) * step).toFixed(6)));
      count.push(Math.ceil((hi + m - origin[u]) / step) + 1);
    }
    return {origin: origin, count: count, step: step};
  }
  // One worker, made from this page's own code, evaluates the grids one after another, a shown
  // orbital's before those evaluated ahead; where no worker can be made, the page does it itself.
  let worker = null;
  try {
    const source = '"use strict";\n' + orbitalGrid.toString() + '\nonmessage = e => { const m = e.data;' +
        ' const v = orbitalGrid(m.shellType, m.shellAtom, m.r, m.exponents, m.factor, m.c, m.box);' +
        ' postMessage(v, [v.buffer]); };\n';
    worker = new Worker(URL.createObjectURL(new Blob([source], {type: 'text/javascript'})));
  } catch (e) {
    worker = null;
  }
  const queue = [];
  let busy = null;
  function pump() {
    if (busy || !queue.length) return;
    busy = queue.shift();
    const job = busy, c = coef.slice((job.k - 1) * n, job.k * n);
    const done = values => { busy = null; job.resolve({box: job.box, values: values}); pump(); };
    const failed = e => { busy = null; job.reject(e); pump(); };
    if (worker) {
      worker.onmessage = e => done(e.data);
      worker.onerror = e => { e.preventDefault(); worker = null; queue.unshift(job); busy = null; pump(); };
      worker.postMessage({shellType: B.shell_type, shellAtom: B.shell_atom, r: B.r_bohr, exponents: B.exponents,
                          factor: factor, c: c, box: job.box});
    } else {
      setTimeout(() => {
        try { done(orbitalGrid(B.shell_type, B.shell_atom, B.r_bohr, B.exponents, factor, c, job.box)); } catch (e) { failed(e); }
      }, 0);
    }
  }
  const grids = new Map();  // 'k:resolution' -> promise of {box, values}
  function grid(k, resolution, urgent) {
    const key = k + ':' + resolution;
    let g = grids.get(key);
    if (g) {
      if (urgent) {  // asked for now: ahead of those evaluated in advance
        const i = queue.findIndex(j => j.key === key);
        if (i > 0) queue.unshift(queue.splice(i, 1)[0]);
      }
      return g;
    }
    g = new Promise((resolve, reject) => {
      const job = {key: key, k: k, box: gridBox(D.grid[resolution]), resolve: resolve, reject: reject};
      if (urgent) queue.unshift(job); else queue.push(job);
    });
    grids.set(key, g);
    // The oldest grids are let go beyond 24 (a fine grid of a large molecule is some 8 MB).
    for (const old of grids.keys()) {
      if (grids.size <= 24) break;
      if (old !== key && !queue.some(j => j.key === old) && !(busy && busy.key === old)) grids.delete(old);
    }
    pump();
    return g;
  }
  // The grid as the library's volume: Angstrom, x-major, single precision.
  function volume(g) {
    if (g.volume) return g.volume;
    const v = new $3Dmol.VolumeData('', 'none'), a = D.angstrom_per_bohr;
    v.origin = new $3Dmol.Vector3(g.box.origin[0] * a, g.box.origin[1] * a, g.box.origin[2] * a);
    v.unit = new $3Dmol.Vector3(g.box.step * a, g.box.step * a, g.box.step * a);
    v.size = {x: g.box.count[0], y: g.box.count[1], z: g.box.count[2]};
    v.data = Float32Array.from(g.values);
    v.matrix = null;
    return g.volume = v;
  }
  let iso = 0.05, shown = 0, showing = 0;
  const resolutionInput = document.getElementById('resolution');
  function describe(k, state) {
    document.getElementById('shown').textContent = 'Orbital ' + k + (k === homo ? ' (HOMO)' : k === lumo ? ' (LUMO)' : '') +
        ', ' + D.energies_ev[k - 1].toFixed(4) + ' eV; ' + state;
  }
  function show(k) {
    if (!(k >= 1 && k <= n)) return;
    shown = k;
    const token = ++showing, resolution = resolutionInput.value;
    window.zephor.shown = k;
    window.zephor.gridReady = false;
    document.querySelectorAll('.level').forEach(e => e.classList.toggle('selected', Number(e.dataset.k) === k));
    document.querySelectorAll('#orbitals tbody tr').forEach(e => e.classList.toggle('selected', Number(e.dataset.k) === k));
    describe(k, 'evaluating its ' + resolution + ' grid…');
    grid(k, resolution, true).then(g => {
      if (token !== showing) return;
      if (viewer) {
        viewer.removeAllShapes();
        const v = volume(g);
        viewer.addIsosurface(v, {isoval: iso, color: '#1f5fd6', opacity: 0.85});
        viewer.addIsosurface(v, {isoval: -iso, color: '#d6301f', opacity: 0.85});
        viewer.render();
      }
      describe(k, 'blue positive, red negative lobe, isovalue ' + iso.toFixed(3) + ' on a ' + resolution + ' grid of ' +
               g.values.length + ' points (' + g.box.step + ' bohr).');
      window.zephor.gridReady = true;
      // Then the listed orbitals' grids, ahead of time, so that a click on them draws at once.
      for (const j of D.listed) grid(j, resolution, false);
    }, e => { if (token === showing) describe(k, 'its grid could not be evaluated: ' + e); console.error(e); });
  }
  // The level diagram: every orbital, on an energy axis (eV) whose scale frames the listed
  // orbitals (and 2 eV beyond) in the visible 480 pixels; the rest is reached by scrolling.
  const svg = document.getElementById('levels'), NS = 'http://www.w3.org/2000/svg';
  const listed = D.listed.length ? D.listed : [Math.max(1, homo)];
  const wlo = Math.min(...listed.map(k => D.energies_ev[k - 1])) - 2, whi = Math.max(...listed.map(k => D.energies_ev[k - 1])) + 2;
  const elo = Math.min(wlo, D.energies_ev[0] - 1), ehi = Math.max(whi, D.energies_ev[n - 1] + 1);
  const scale = Math.min(60, Math.max(480 / (ehi - elo), 480 / (whi - wlo)));  // pixels per eV
  function svgElement(name, attributes, text) {
    const el = document.createElementNS(NS, name);
    for (const [a, v] of Object.entries(attributes)) el.setAttribute(a, v);
    if (text !== undefined) el.textContent = text;
    svg.appendChild(el);
    return el;
  }
  // Side by side only for degenerate levels (within 1e-4 eV); distinct levels closer than six
  // pixels are lifted apart, each with a thin leader from its true energy.
  const groups = [];
  for (let k = 1; k <= n; ++k) {
    const e = D.energies_ev[k - 1], g = groups[groups.length - 1];
    if (g && e - D.energies_ev[g[0] - 1] <= 1e-4) g.push(k); else groups.push([k]);
  }
  let lastShown = Infinity;
  const placed = groups.map(g => {
    const trueY = (ehi - D.energies_ev[g[0] - 1]) * scale, shownY = Math.min(trueY, lastShown - 6);
    lastShown = shownY;
    return {g: g, trueY: trueY, shownY: shownY};
  });
  // Lifted levels may rise above the highest energy: everything moves down to make room.
  const shift = 20 - Math.min(0, ...placed.map(p => p.shownY));
  const y = e => (ehi - e) * scale + shift;
  svg.setAttribute('height', Math.ceil(y(elo) + 20));
  const axisX = 62;
  svgElement('line', {x1: axisX, y1: y(ehi), x2: axisX, y2: y(elo), stroke: '#000'});
  // Ticks of 1, 2 or 5 times a power of ten, about six over the framed window.
  const raw = (whi - wlo) / 6, p10 = Math.pow(10, Math.floor(Math.log10(raw)));
  const step = [1, 2, 5, 10].map(m => m * p10).find(s => s >= raw);
  for (let t = Math.ceil(elo / step) * step; t <= ehi + 1e-9; t += step) {
    svgElement('line', {x1: axisX - 4, y1: y(t), x2: axisX, y2: y(t), stroke: '#000'});
    svgElement('text', {x: axisX - 6, y: y(t) + 4, 'font-size': '11', 'text-anchor': 'end', class: 'tick'},
               t.toFixed(step < 1 ? 1 : 0));
  }
  const labelY = y((wlo + whi) / 2);
  svgElement('text', {x: 12, y: labelY, 'font-size': '12', transform: 'rotate(-90 12 ' + labelY + ')', 'text-anchor': 'middle'}, 'energy (eV)');
  const levelX = 110;
  for (const {g, trueY, shownY} of placed) {
    const ty = trueY + shift, sy = shownY + shift;
    if (ty - sy > 0.25)
      svgElement('polyline', {points: (levelX - 24) + ',' + ty + ' ' + (levelX - 16) + ',' + ty + ' ' + (levelX - 2) + ',' + sy,
                              fill: 'none', stroke: '#888', 'stroke-width': '0.8', class: 'leader'});
    g.forEach((k, column) => {
      const e = D.energies_ev[k - 1];
      const line = svgElement('rect', {x: levelX + column * 62, width: 50, y: sy - 2, height: 4,  // a short bar, easy to click
                                       fill: k <= homo ? '#00008c' : '#777', class: 'level', tabindex: '0', role: 'button',
                                       'aria-label': 'orbital ' + k + ', ' + e.toFixed(4) + ' eV'});
      line.dataset.k = k;
      line.addEventListener('click', () => show(k));
      line.addEventListener('keydown', ev => { if (ev.key === 'Enter' || ev.key === ' ') { ev.preventDefault(); show(k); } });
      const title = document.createElementNS(NS, 'title');
      title.textContent = 'orbital ' + k + ': ' + e.toFixed(4) + ' eV';
      line.appendChild(title);
      if (k === homo || k === lumo)
        svgElement('text', {x: levelX + g.length * 62, y: sy + 4, 'font-size': '12'}, (k === homo ? 'HOMO ' : 'LUMO ') + e.toFixed(2));
    });
  }
  // Opened on the framed window.
  const levelBox = document.getElementById('levelbox');
  levelBox.scrollTop = Math.max(0, y(whi) - 20);
  const body = document.querySelector('#orbitals tbody');
  for (let k = 1; k <= n; ++k) {
    const tr = document.createElement('tr');
    tr.dataset.k = k;
    for (const v of [k, D.energies_ev[k - 1].toFixed(4), D.energies_hartree[k - 1].toFixed(6), k <= homo ? 2 : 0,
                     k === homo ? 'HOMO' : k === lumo ? 'LUMO' : ''])
      tr.appendChild(document.createElement('td')).textContent = v;
    tr.addEventListener('click', () => show(k));
    body.appendChild(tr);
  }
  const charges = document.querySelector('#charge-table tbody');
  D.atoms.forEach((a, i) => {
    const tr = charges.appendChild(document.createElement('tr'));
    for (const v of [a.symbol + (i + 1), D.charges[i].toFixed(4), D.lowdin_charges[i].toFixed(4), D.report_charges[i].toFixed(4)])
      tr.appendChild(document.createElement('td')).textContent = v;
  });
  const isoInput = document.getElementById('iso');
  isoInput.addEventListener('input', () => { iso = Number(isoInput.value);
    document.getElementById('isotext').textContent = iso.toFixed(3); show(shown); });
  document.getElementById('isotext').textContent = iso.toFixed(3);
  resolutionInput.addEventListener('change', () => show(shown));
  for (const id of ['labels', 'charges', 'bonds']) document.getElementById(id).addEventListener('change', style);
  // Bond labels crowd the view of a large molecule: on by default up to 30 atoms.
  document.getElementById('bonds').checked = D.atoms.length <= 30;
  // For scripts and tests: the viewer, the orbital shown, whether the page is set up and the
  // shown orbital's surfaces drawn, any orbital's coefficients as read, and its grid ({origin,
  // count, step} in bohr, values in bohr^-3/2) at 'coarse' or 'fine'.
  window.zephor = {viewer: viewer, shown: 0, ready: false, gridReady: false,
                   coefficients: k => Array.from(coef.subarray((k - 1) * n, k * n)),
                   grid: (k, resolution) => grid(k, resolution || 'coarse', true).then(g =>
                     ({origin: g.box.origin, count: g.box.count, step: g.box.step, values: Array.from(g.values)}))};
  style();
  if (viewer) frame();
  show(D.listed.includes(homo) || !D.listed.length ? homo : D.listed[0]);
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

// The page's coarse grid, laid out as --cube lays out a grid of this spacing and margin (the page
// repeats that layout in the browser).
CubeGrid page_grid(const Checkpoint& c) {
    CubeGrid grid;
    grid.margin = page_margin;
    grid.spacing = grid_spacing(c, grid.margin);
    return grid;
}

// The orbitals' coefficients (n x n, column k = orbital k) as the page carries them, in at most
// about 1 MB of base64 so that a 200-atom page stays under 1.5 MB besides the library: the doubles
// themselves, little-endian, when they fit (up to 349 functions, some 130 atoms); else each
// orbital in fixed point of 4, 3 or 2 bytes (the most that fit) against its largest coefficient in
// magnitude, written exactly. Every coefficient is then within 2^-31, 2^-23 or 2^-15 of that
// largest one (2^-15 = 3e-5 is far below what an isovalue of 0.005 shows).
nlohmann::json page_coefficients(const std::vector<double>& coef, std::size_t n) {
    constexpr std::size_t max_bytes = 975'000;
    std::string bytes;
    nlohmann::json out = {{"count", n}};
    if (8 * n * n <= max_bytes) {
        bytes.reserve(8 * n * n);
        for (const double x : coef) {
            const auto bits = std::bit_cast<std::uint64_t>(x);
            for (int b = 0; b < 8; ++b) bytes += static_cast<char>((bits >> (8 * b)) & 0xff);
        }
        out["encoding"] = "float64le";
    } else {
        const int width = 4 * n * n <= max_bytes ? 4 : 3 * n * n <= max_bytes ? 3 : 2;
        const double full = std::ldexp(1.0, 8 * width - 1) - 1.0;  // the largest coefficient's integer
        nlohmann::json scale = nlohmann::json::array();
        bytes.reserve(static_cast<std::size_t>(width) * n * n);
        for (std::size_t k = 0; k < n; ++k) {
            double largest = 0.0;
            for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, std::fabs(coef[k * n + i]));
            scale.push_back(largest);
            for (std::size_t i = 0; i < n; ++i) {
                const double q = largest > 0.0 ? std::nearbyint(coef[k * n + i] / largest * full) : 0.0;
                // Two's complement in `width` bytes, lowest first.
                const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(q));
                for (int b = 0; b < width; ++b) bytes += static_cast<char>((bits >> (8 * b)) & 0xff);
            }
        }
        out["encoding"] = "fixed" + std::to_string(8 * width) + "le";
        out["scale"] = scale;
    }
    out["data"] = base64_text(bytes);
    return out;
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
    // What the browser needs to evaluate any orbital on a grid: the shells on their atoms (bohr),
    // their exponents (bohr^-2) and contraction coefficients with the contraction's norm folded
    // in, as the cube and Molden writers use them, and every orbital with c^T S c = 1.
    d["basis"] = {{"r_bohr", c.r},
                  {"shell_type", c.shell_type},
                  {"shell_atom", c.shell_atom},
                  {"exponents", c.exponents},
                  {"coefficients", o.shell_coef}};
    d["orbitals"] = page_coefficients(o.coef, static_cast<std::size_t>(c.basis_count));
    const CubeGrid grid = page_grid(c);
    d["grid"] = {{"margin", grid.margin}, {"coarse", grid.spacing}, {"fine", grid.spacing / 2}};
    d["listed"] = orbitals;
    d["angstrom_per_bohr"] = bohr_in_angstrom;

    return fill(page_template, {{"@TITLE@", html_escaped(title.empty() ? hill_formula(c) : title)},
                                {"@LIBRARY@", script_safe(library_js)},
                                {"@DATA@", script_data(d.dump(-1, ' ', false, json::error_handler_t::replace))}});
}

}  // namespace zephor::exporter
