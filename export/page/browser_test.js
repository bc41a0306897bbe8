// The results page in a real browser: headless Chromium (Debian's), driven by puppeteer-core, with
// every request that leaves the file system refused and counted. For water, benzene and
// naphthalene: the page is self-contained and within its size bound, no console error, every
// orbital of the window is in the level diagram, the table shows FOR006's energies, the HOMO is
// shown on opening, clicking the LUMO changes the drawn surface, the picture holds both lobe
// colours, the atoms fill at least a quarter of the 3D view inside its whole frame, the level
// diagram has a numbered eV axis, and the Mayer bond orders are labelled and on. Then hostile titles: the page still parses as written and shows them. Exits 77
// (skipped) where Chromium or puppeteer-core is missing.
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

(async () => {
  const browser = await puppeteer.launch({
    executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
           '--disable-quic'],
  });
  for (const molecule of ['water', 'benzene', 'naphthalene']) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'zephor-page-'));
    for (const f of ['FOR005', 'FOR006', 'FOR007']) fs.copyFileSync(path.join(golden, molecule, f), path.join(dir, f));
    execFileSync(exportBinary, ['--html', 'page.html'], {cwd: dir, stdio: 'pipe'});
    const html = fs.readFileSync(path.join(dir, 'page.html'), 'utf8');
    check(html.length < 20e6, molecule + ': page of ' + html.length + ' bytes');
    check(!/<script[^>]*\ssrc=|<link[^>]*\shref=|<img[^>]*\ssrc=|<iframe/i.test(html), molecule + ': a resource from outside');

    const page = await browser.newPage();
    const errors = [], outside = [];
    page.on('console', m => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', e => errors.push(String(e)));
    await page.setRequestInterception(true);
    page.on('request', r => {
      if (r.url().startsWith('file:') || r.url().startsWith('data:')) return r.continue();
      outside.push(r.url());
      r.abort();
    });
    await page.setViewport({width: 1280, height: 720});
    await page.goto('file://' + path.join(dir, 'page.html'));
    await page.waitForFunction(() => window.zephor && window.zephor.ready, {timeout: 60000});

    // FOR006's occupied energies (eV, four decimals) and the page's table and levels.
    const report = fs.readFileSync(path.join(dir, 'FOR006'), 'utf8');
    const estates = [...report.matchAll(/^Estate\d+:(.{8})eV$/gm)].map(m => m[1].trim());
    const homo = estates.length;
    const table = await page.$$eval('#orbitals tbody tr', rows => rows.map(r => [...r.cells].map(c => c.textContent)));
    const levels = await page.$$eval('#levels .level', ls => ls.map(l => Number(l.dataset.k)));
    const withGrid = await page.$$eval('#levels .level:not(.nogrid)', ls => ls.map(l => Number(l.dataset.k)));
    check(estates.every((e, i) => table[i] && table[i][1] === e), molecule + ': table energies ' +
          JSON.stringify(table.slice(0, homo).map(r => r[1])) + ' against FOR006 ' + JSON.stringify(estates));
    const expected = [];
    for (let k = Math.max(1, homo - 3); k <= Math.min(table.length, homo + 4); ++k) expected.push(k);
    check(JSON.stringify(withGrid) === JSON.stringify(expected), molecule + ': clickable levels ' + JSON.stringify(withGrid));
    check(expected.every(k => levels.includes(k)), molecule + ': every orbital of the window drawn');
    check(table[homo - 1][4] === 'HOMO' && table[homo][4] === 'LUMO', molecule + ': HOMO and LUMO marks');
    check(await page.evaluate(() => window.zephor.shown) === homo, molecule + ': the HOMO shown on opening');

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
    check(fit.label === 'Mayer bond orders' && fit.checked, molecule + ': Mayer bond orders labelled and shown ' + JSON.stringify(fit));
    if (fit.viewer)  // where WebGL is offered (it is with SwiftShader here)
      check(fit.viewer && fit.share >= 0.25 && fit.within, molecule + ': the molecule fills the view ' + JSON.stringify(fit));
    // The level diagram's energy axis: ticks numbered, named in eV.
    const axis = await page.$$eval('#levels text', ts => ts.map(t => t.textContent));
    check(axis.includes('energy (eV)') && (await page.$$eval('#levels text.tick', ts => ts.length)) >= 3,
          molecule + ': the level diagram\'s energy axis ' + JSON.stringify(axis));
    const before = await lobeColours(page);
    check(before.blue > 200 && before.red > 200, molecule + ': both lobes drawn (' + before.blue + ' blue, ' +
          before.red + ' red pixels)');
    await page.click('#levels .level[data-k="' + (homo + 1) + '"]');
    check(await page.evaluate(() => window.zephor.shown) === homo + 1, molecule + ': the LUMO shown after a click');
    const after = await lobeColours(page);
    check(after.picture !== before.picture, molecule + ': the surface changed');
    // Keyboard: the HOMO's level takes the focus and Enter shows it again.
    await page.$eval('#levels .level[data-k="' + homo + '"]', e => e.focus());
    await page.keyboard.press('Enter');
    check(await page.evaluate(() => window.zephor.shown) === homo, molecule + ': the HOMO shown from the keyboard');
    if (shots) await page.screenshot({path: path.join(shots, molecule + '-page.png')});
    check(errors.length === 0, molecule + ': console errors ' + JSON.stringify(errors));
    check(outside.length === 0, molecule + ': requests outside the file ' + JSON.stringify(outside));
    await page.close();
    fs.rmSync(dir, {recursive: true, force: true});
    if (failed === 0) passed++;
  }
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
