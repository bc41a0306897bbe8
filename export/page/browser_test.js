// The results page in a real browser: headless Chromium (Debian's), driven by puppeteer-core, with
// every request that leaves the page refused and counted (its own worker, a blob: of its own
// code, is allowed). For water, benzene and naphthalene, and where zephor is given (ZEPHOR) for
// 2,4,6-triisopropyltoluene (42 atoms), hexaisopropylbenzene (66 atoms) and the alkane C66H134
// (200 atoms, written here): the page is
// self-contained and, besides the library, under 1.5 MB; no console error; every orbital is in
// the level diagram and the table and is clickable; the table shows FOR006's energies; the HOMO
// is shown on opening and its surfaces drawn (window.zephor.gridReady); clicks on the LUMO,
// orbital 1, the highest orbital and a table row show them; the isovalue slider and the fine
// grid redraw; the picture holds both lobe colours; the atoms fill at least a quarter of the 3D
// view inside its whole frame; the level diagram has a numbered eV axis; the Mayer bond orders
// are labelled and on up to 30 atoms. The page's grids of the HOMO, LUMO and orbital 1 (water,
// benzene, the 42-atom molecule) lie on the points of zephor-export --cube with the same spacing
// and margin, agree with its printed values (E13.5: within 5e-6 of the value) and, where
// ZEPHOR_PLAIN_VALUES names the tests' tool, with the exporter's plain evaluation unrounded
// within 1e-9 of the orbital's largest value; the coefficients the page reads are the exported
// ones bit for bit, or within its fixed point for the 200-atom page; without a worker the page
// evaluates water's grid itself to the same bits. Then hostile titles: the
// page still parses as written and shows them. Exits 77 (skipped) where Chromium or
// puppeteer-core is missing.
//   node browser_test.js ZEPHOR_EXPORT GOLDEN_DIR [SCREENSHOT_DIR]
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {execFileSync} = require('child_process');

const [exportBinary, golden, shots] = process.argv.slice(2);
const chromium = '/usr/bin/chromium';
let puppeteer;
try {
  puppeteer = require('puppeteer-core');
} catch (e) {
  console.log('skipped: puppeteer-core is not installed (npm ci in export/page)');
  process.exit(77);
}
if (!fs.existsSync(chromium)) {
  console.log('skipped: Debian chromium is not installed');
  process.exit(77);
}

let passed = 0, failed = 0;
function check(ok, what) {
  if (ok) return true;
  console.error('FAIL: ' + what);
  failed++;
  return false;
}

// Pixels of the viewer's picture close to the two lobe colours.
async function lobeColours(page) {
  return page.evaluate(() => new Promise(resolve => {
    const img = new Image();
    img.onload = () => {
      const c = document.createElement('canvas');
      c.width = img.width; c.height = img.height;
      const g = c.getContext('2d');
      g.drawImage(img, 0, 0);
      const d = g.getImageData(0, 0, c.width, c.height).data;
      let blue = 0, red = 0;
      for (let i = 0; i < d.length; i += 4) {
        const [r, gr, b] = [d[i], d[i + 1], d[i + 2]];
        if (b > 120 && b > r + 60 && b > gr + 30) blue++;
        if (r > 120 && r > b + 60 && r > gr + 60) red++;
      }
      resolve({blue, red, picture: c.toDataURL()});
    };
    img.src = window.zephor.viewer.pngURI();
  }));
}

// CnH2n+2 as a zig-zag chain (C-C 1.54, C-H 1.09 Angstrom, tetrahedral), FOR005 text.
function alkane(carbons) {
  const deg = Math.PI / 180, half = 109.47 * deg / 2, dx = 1.54 * Math.sin(half), dy = 1.54 * Math.cos(half);
  const c = [], h = [];
  for (let i = 0; i < carbons; ++i) c.push([i * dx, i % 2 ? dy / 2 : -dy / 2, 0]);
  c.forEach((p, i) => {
    const y = p[1] + (i % 2 ? 1 : -1) * 1.09 * Math.cos(54.75 * deg), z = 1.09 * Math.sin(54.75 * deg);
    h.push([p[0], y, z], [p[0], y, -z]);
  });
  h.push([c[0][0] - 1.09, c[0][1], 0], [c[carbons - 1][0] + 1.09, c[carbons - 1][1], 0]);
  return 'alkane\n0\n' + c.map(p => 'C ' + p.map(x => x.toFixed(6)).join(' ')).concat(
      h.map(p => 'H ' + p.map(x => x.toFixed(6)).join(' '))).join('\n') + '\n';
}

// A cube file's grid and values.
function readCube(text) {
  const lines = text.split('\n');
  const head = lines[2].trim().split(/\s+/).map(Number), atoms = Math.abs(head[0]);
  const axes = [3, 4, 5].map(i => lines[i].trim().split(/\s+/).map(Number));
  const from = 6 + atoms + (head[0] < 0 ? 1 : 0);
  const values = lines.slice(from).join(' ').trim().split(/\s+/).map(Number);
  return {origin: head.slice(1, 4), count: axes.map(a => a[0]), step: axes[0][1], values};
}

function doubles(buffer) {
  const out = new Float64Array(buffer.length / 8);
  for (let i = 0; i < out.length; ++i) out[i] = buffer.readDoubleLE(8 * i);
  return out;
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
           '--disable-quic'],
  });
  // The 42- and 66-atom molecules' FOR005 files were written by zephor-import from SMILES
  // (Cc1c(C(C)C)cc(C(C)C)cc1C(C)C and CC(C)c1c(C(C)C)c(C(C)C)c(C(C)C)c(C(C)C)c1C(C)C) and are kept,
  // so that the test neither waits for nor depends on the importer's 3D embedding.
  const env = process.env, data = path.join(golden, '..', 'export'), plain = env.ZEPHOR_PLAIN_VALUES;
  const molecules = [
    // fit: the view's share and the two lobes' colours checked (a long chain is small on screen)
    {name: 'water', golden: true, compare: true, fine: true, fit: true, withoutWorker: true},
    {name: 'benzene', golden: true, compare: true, fine: true, fit: true},
    {name: 'naphthalene', golden: true, fit: true},
  ];
  if (env.ZEPHOR)
    molecules.push({name: 'triisopropyltoluene', for005: fs.readFileSync(path.join(data, 'triisopropyltoluene.FOR005')), compare: true},
                   {name: 'hexaisopropylbenzene', for005: fs.readFileSync(path.join(data, 'hexaisopropylbenzene.FOR005')), fit: true},
                   {name: 'C66H134', for005: alkane(66)});
  else console.log('note: ZEPHOR not given, the molecules without a golden run left out');
  const worst = {plain: 0, cube: 0};
  const started = Date.now();
  for (const m of molecules) {
    const molecule = m.name;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zephor-page-'));
    if (m.golden) for (const f of ['FOR005', 'FOR006', 'FOR007']) fs.copyFileSync(path.join(golden, molecule, f), path.join(dir, f));
    else {
      fs.writeFileSync(path.join(dir, 'FOR005'), m.for005);
      execFileSync(env.ZEPHOR, [], {cwd: dir, stdio: 'pipe'});
    }
    execFileSync(exportBinary, ['--html', 'page.html'], {cwd: dir, stdio: 'pipe'});
    const html = fs.readFileSync(path.join(dir, 'page.html'), 'utf8');
    const library = html.indexOf('</script>') - html.indexOf('<script>');
    const own = Buffer.byteLength(html) - library;
    console.log(molecule + ': page of ' + Buffer.byteLength(html) + ' bytes, ' + own + ' besides the library (' +
                ((Date.now() - started) / 1000).toFixed(1) + ' s into the test)');
    check(own < 1.5e6, molecule + ': page of ' + own + ' bytes besides the library');
    check(!/<script[^>]*\ssrc=|<link[^>]*\shref=|<img[^>]*\ssrc=|<iframe/i.test(html), molecule + ': a resource from outside');

    const page = await browser.newPage();
    const errors = [], outside = [];
    page.on('console', m => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', e => errors.push(String(e)));
    await page.setRequestInterception(true);
    page.on('request', r => {
      if (r.url().startsWith('file:') || r.url().startsWith('data:') || r.url().startsWith('blob:')) return r.continue();
      outside.push(r.url());
      r.abort();
    });
    await page.setViewport({width: 1280, height: 720});
    await page.goto('file://' + path.join(dir, 'page.html'));
    await page.waitForFunction(() => window.zephor && window.zephor.ready, {timeout: 60000});
    const drawn = async k => {
      try {
        await page.waitForFunction(k => window.zephor.shown === k && window.zephor.gridReady, {timeout: 60000}, k);
        return true;
      } catch (e) {
        return false;
      }
    };

    // FOR006's occupied energies (eV, four decimals) and the page's table and levels.
    const report = fs.readFileSync(path.join(dir, 'FOR006'), 'utf8');
    const estates = [...report.matchAll(/^Estate\d+:(.{8})eV$/gm)].map(m => m[1].trim());
    const homo = estates.length;
    const table = await page.$$eval('#orbitals tbody tr', rows => rows.map(r => [...r.cells].map(c => c.textContent)));
    const n = table.length;
    const levels = await page.$$eval('#levels .level[role="button"]', ls => ls.map(l => Number(l.dataset.k)));
    check(estates.every((e, i) => table[i] && table[i][1] === e), molecule + ': table energies ' +
          JSON.stringify(table.slice(0, homo).map(r => r[1])) + ' against FOR006 ' + JSON.stringify(estates));
    check(JSON.stringify(levels.sort((a, b) => a - b)) === JSON.stringify(Array.from({length: n}, (_, i) => i + 1)),
          molecule + ': every orbital a clickable level ' + JSON.stringify(levels));
    check(table[homo - 1][4] === 'HOMO' && table[homo][4] === 'LUMO', molecule + ': HOMO and LUMO marks');
    check(await page.evaluate(() => window.zephor.shown) === homo, molecule + ': the HOMO shown on opening');
    check(await drawn(homo), molecule + ': the HOMO\'s surfaces drawn');

    // The molecule fills the view: its atoms' bounding box on the screen covers a quarter of the
    // 3D view or more and lies inside it; the frame is whole; the bond orders labelled.
    const fit = await page.evaluate(() => {
      const v = window.zephor.viewer, el = document.getElementById('viewer');
      const frame = document.getElementById('frame') || el, r = frame.getBoundingClientRect(), style = getComputedStyle(frame);
      const borders = ['top', 'right', 'bottom', 'left'].map(s => parseFloat(style.getPropertyValue('border-' + s + '-width')));
      const canvas = el.querySelector('canvas'), c = canvas ? canvas.getBoundingClientRect() : r;
      const inside = c.left >= r.left + borders[3] - 0.5 && c.top >= r.top + borders[0] - 0.5 &&
                     c.right <= r.right - borders[1] + 0.5 && c.bottom <= r.bottom - borders[2] + 0.5;
      const box = {left: r.left + window.scrollX, top: r.top + window.scrollY, width: r.width, height: r.height};
      const bonds = document.getElementById('bonds');
      const label = bonds.closest('label').textContent.trim();
      if (!v) return {viewer: false, borders, inside, label, checked: bonds.checked};
      const pts = v.modelToScreen(v.getModel().selectedAtoms({}).map(a => ({x: a.x, y: a.y, z: a.z})));
      const xs = pts.map(p => p.x), ys = pts.map(p => p.y);
      const [x0, x1, y0, y1] = [Math.min(...xs), Math.max(...xs), Math.min(...ys), Math.max(...ys)];
      return {viewer: true, borders, inside, label, checked: bonds.checked, share: (x1 - x0) * (y1 - y0) / (el.clientWidth * el.clientHeight),
              within: x0 >= box.left && x1 <= box.left + box.width && y0 >= box.top && y1 <= box.top + box.height};
    });
    check(fit.borders.every(b => b >= 1) && fit.inside, molecule + ': the 3D view\'s frame whole ' + JSON.stringify(fit));
    const atomCount = await page.$$eval('#charge-table tbody tr', rows => rows.length);
    check(fit.label === 'Mayer bond orders' && fit.checked === (atomCount <= 30),
          molecule + ': Mayer bond orders labelled, shown up to 30 atoms ' + JSON.stringify(fit));
    if (fit.viewer && m.fit)  // where WebGL is offered (it is with SwiftShader here)
      check(fit.share >= 0.25 && fit.within, molecule + ': the molecule fills the view ' + JSON.stringify(fit));
    // The level diagram's energy axis: ticks numbered, named in eV.
    const axis = await page.$$eval('#levels text', ts => ts.map(t => t.textContent));
    check(axis.includes('energy (eV)') && (await page.$$eval('#levels text.tick', ts => ts.length)) >= 3,
          molecule + ': the level diagram\'s energy axis ' + JSON.stringify(axis));
    const before = await lobeColours(page);
    if (m.fit) check(before.blue > 200 && before.red > 200, molecule + ': both lobes drawn (' + before.blue + ' blue, ' +
          before.red + ' red pixels)');
    // Clicks on levels (the LUMO, orbital 1, the highest) and on a table row; each draws anew.
    let last = before.picture;
    for (const [k, how] of [[homo + 1, 'level'], [1, 'level'], [n, 'level'], [Math.max(1, homo - 1), 'row']]) {
      await page.click(how === 'level' ? '#levels .level[data-k="' + k + '"]' : '#orbitals tbody tr[data-k="' + k + '"]');
      if (check(await drawn(k), molecule + ': orbital ' + k + ' shown after a click on its ' + how)) {
        const now = await lobeColours(page);
        check(now.picture !== last, molecule + ': orbital ' + k + '\'s surface drawn anew');
        last = now.picture;
      }
    }
    // Keyboard: the HOMO's level takes the focus and Enter shows it again.
    await page.$eval('#levels .level[data-k="' + homo + '"]', e => e.focus());
    await page.keyboard.press('Enter');
    check(await drawn(homo), molecule + ': the HOMO shown from the keyboard');
    // The isovalue slider and the fine grid redraw the surfaces.
    const atHomo = (await lobeColours(page)).picture;
    await page.$eval('#iso', e => { e.value = '0.02'; e.dispatchEvent(new Event('input')); });
    check(await drawn(homo) && (await lobeColours(page)).picture !== atHomo, molecule + ': the isovalue slider redraws');
    if (m.fine) {
      await page.select('#resolution', 'fine');
      check(await drawn(homo) && /fine grid/.test(await page.$eval('#shown', e => e.textContent)), molecule + ': the fine grid drawn');
      const [coarse, fine] = await page.evaluate(() => Promise.all(['coarse', 'fine'].map(r => window.zephor.grid(window.zephor.shown, r)
          .then(g => g.values.length))));
      check(fine > 6 * coarse, molecule + ': the fine grid of ' + fine + ' points, the coarse of ' + coarse);
    }
    if (shots) await page.screenshot({path: path.join(shots, molecule + '-page.png')});

    // The coefficients as the page reads them: the exported ones, bit for bit where the page
    // carries doubles, else within its fixed point against each orbital's largest.
    if (plain) {
      const exact = doubles(execFileSync(plain, ['--coefficients', path.join(dir, 'FOR007')], {maxBuffer: 1 << 30}));
      const encoding = JSON.parse(html.slice(html.indexOf('"encoding":"') + 11, html.indexOf('"', html.indexOf('"encoding":"') + 12) + 1));
      const unit = encoding === 'float64le' ? 0 : Math.pow(2, -(Number(encoding.slice(5, -2)) - 1)) * 0.5000001;
      let bad = 0;
      for (const k of [1, homo, n]) {
        const c = await page.evaluate(k => window.zephor.coefficients(k), k), e = exact.subarray((k - 1) * n, k * n);
        const largest = Math.max(...e.map(Math.abs));
        e.forEach((x, i) => { if (unit === 0 ? !Object.is(x, c[i]) : !(Math.abs(x - c[i]) <= (unit + 1e-15) * largest)) ++bad; });
      }
      check(bad === 0, molecule + ': ' + bad + ' coefficients read otherwise than written (' + encoding + ')');
    }
    // The page's grids against the cube's and the plain evaluation's at the same points.
    console.log(molecule + ': page checked (' + ((Date.now() - started) / 1000).toFixed(1) + ' s into the test)');
    if (m.compare) {
      for (const k of [homo, homo + 1, 1]) {
        const g = await page.evaluate(k => window.zephor.grid(k, 'coarse'), k);
        execFileSync(exportBinary, ['--cube', String(k), '--spacing', String(g.step), '--margin', '5', '--force'], {cwd: dir, stdio: 'pipe'});
        const cube = readCube(fs.readFileSync(path.join(dir, 'FOR007.mo' + k + '.cube'), 'utf8'));
        if (!check(JSON.stringify([cube.origin, cube.count, cube.step]) === JSON.stringify([g.origin, g.count, g.step]) &&
                   cube.values.length === g.values.length,
                   molecule + ' orbital ' + k + ': the page\'s grid ' + JSON.stringify([g.origin, g.count, g.step]) +
                   ' and the cube\'s ' + JSON.stringify([cube.origin, cube.count, cube.step]))) continue;
        let reference = cube.values;
        if (plain)
          reference = doubles(execFileSync(plain, [path.join(dir, 'FOR007'), String(k), ...g.origin.map(String),
                                                   ...g.count.map(String), String(g.step)], {maxBuffer: 1 << 30}));
        const largest = reference.reduce((a, v) => Math.max(a, Math.abs(v)), 0);
        let plainWorst = 0, cubeWorst = 0;
        g.values.forEach((v, i) => {
          if (plain) plainWorst = Math.max(plainWorst, Math.abs(v - reference[i]) / largest);
          cubeWorst = Math.max(cubeWorst, Math.abs(v - cube.values[i]) / (5e-6 * Math.abs(cube.values[i]) + 1e-9 * largest));
        });
        worst.plain = Math.max(worst.plain, plainWorst);
        worst.cube = Math.max(worst.cube, cubeWorst);
        if (plain) check(plainWorst <= 1e-9, molecule + ' orbital ' + k + ': the page\'s grid off the plain evaluation by ' + plainWorst + ' of its largest value');
        check(cubeWorst <= 1, molecule + ' orbital ' + k + ': the page\'s grid off the cube by ' + cubeWorst + ' of the printed precision');
      }
    }
    // Where no worker can be made the page evaluates its grids itself, to the same bits.
    if (m.withoutWorker) {
      const inWorker = await page.evaluate(k => window.zephor.grid(k, 'coarse'), homo);
      const alone = await browser.newPage();
      alone.on('pageerror', e => errors.push(String(e)));
      await alone.evaluateOnNewDocument(() => { window.Worker = undefined; });
      await alone.goto('file://' + path.join(dir, 'page.html'));
      await alone.waitForFunction(() => window.zephor && window.zephor.ready && window.zephor.gridReady, {timeout: 60000});
      const itself = await alone.evaluate(k => window.zephor.grid(k, 'coarse'), homo);
      check(itself.values.length === inWorker.values.length && itself.values.every((v, i) => Object.is(v, inWorker.values[i])),
            molecule + ': the grid evaluated without a worker differs');
      await alone.close();
    }
    check(errors.length === 0, molecule + ': console errors ' + JSON.stringify(errors));
    check(outside.length === 0, molecule + ': requests outside the file ' + JSON.stringify(outside));
    await page.close();
    fs.rmSync(dir, {recursive: true, force: true});
    if (failed === 0) passed++;
  }
  console.log('grids: at most ' + worst.plain.toExponential(2) + ' of the largest value off the plain evaluation, ' +
              worst.cube.toFixed(3) + ' of the tolerance off the cube');
  // Hostile titles (from --title, or bytes of FOR005 that are not UTF-8): the page still parses
  // as written, runs, and shows the title as given.
  const titles = [['</script><b>'], ['<!--<script>'], ['<script>'], ['-->'], ['<!--'], ['<!-- <script> </script> -->'],
                  ['a & b > c <\/script>'], ['\u2028\u2029'], [Buffer.from('caf\xe9', 'latin1'), 'caf\ufffd']];
  for (const [title, shown = title] of titles) {
    const what = 'title ' + JSON.stringify(String(shown));
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zephor-page-'));
    for (const f of ['FOR005', 'FOR006', 'FOR007']) fs.copyFileSync(path.join(golden, 'water', f), path.join(dir, f));
    const args = ['--html', 'page.html'];
    if (typeof title === 'string') args.push('--title', title);
    else {
      const for005 = fs.readFileSync(path.join(dir, 'FOR005'));
      fs.writeFileSync(path.join(dir, 'FOR005'), Buffer.concat([Buffer.from("'"), title, Buffer.from("'"),
                                                              for005.subarray(for005.indexOf(10))]));
    }
    execFileSync(exportBinary, args, {cwd: dir, stdio: 'pipe'});
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', e => errors.push(String(e)));
    page.on('console', m => { if (m.type() === 'error') errors.push(m.text()); });
    await page.goto('file://' + path.join(dir, 'page.html'));
    let ready = true;
    try {
      await page.waitForFunction(() => window.zephor && window.zephor.ready, {timeout: 15000});
    } catch (e) {
      ready = false;
    }
    if (check(ready, what + ': the page runs')) {
      check(await page.$eval('#title', e => e.textContent) === shown + ' (H2O)', what + ': heading');
      check(await page.title() === shown + ' — ZEPHOR results', what + ': document title ' + JSON.stringify(await page.title()));
      check(await page.$$eval('#orbitals tbody tr', rows => rows.length) === 6, what + ': the table');
      check(await page.$$eval('body script', s => s.length) === 2, what + ': the page\'s own two scripts');
    }
    check(errors.length === 0, what + ': console errors ' + JSON.stringify(errors));
    await page.close();
    fs.rmSync(dir, {recursive: true, force: true});
  }
  await browser.close();
  console.log(passed + ' passed, ' + failed + ' failed');
  process.exit(failed === 0 ? 0 : 1);
})().catch(e => {
  console.error(e);
  process.exit(1);
});
