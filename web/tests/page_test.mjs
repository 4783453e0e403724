// The page as a person uses it, in Debian's Chromium (headless, software WebGL), against the
// desktop program and the virtual camera's truth:
//   node page_test.mjs SITE_DIR WORK_DIR
// WORK_DIR holds what scripts/test-web.sh made with the desktop program: desktop.csv and
// desktop.png (the same frames through the window), fake.y4m with fake-view.txt (a webcam's
// frames and their view), tower.glb (a model of our corpus).
// Each case prints "ok NAME" or "FAIL NAME: why"; the exit status is the number of failures.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [siteDir, workDir] = process.argv.slice(2);
const PATH_OPTIONS = 'start=40';   // the moving path, from a frame where the whole target shows
const FRAMES = 60;
let failures = 0;

function report(name, why) {
  if (why) { failures += 1; console.log(`FAIL ${name}: ${why}`); } else console.log(`ok ${name}`);
}

function serve(dir) {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
  const server = http.createServer((req, res) => {
    const file = path.join(dir, decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/$/, '/index.html'));
    if (!file.startsWith(dir) || !fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
    res.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function launch(extra = []) {
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', ...extra],
  });
}

async function open(browser, url) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 800 });
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(url);
  await page.waitForFunction('window.tovrak && window.tovrak.ready', { timeout: 30000 });
  return { page, errors };
}

const waitForPoses = (page, n, timeout = 60000) =>
  page.waitForFunction(`tovrak.poses.length >= ${n}`, { timeout, polling: 100 });

// The angle between two rotations (row-major), in degrees: ||A - B||_F = 2 sqrt(2) sin(angle / 2),
// which keeps its precision for tiny angles where acos((trace(A^T B) - 1) / 2) loses it.
function rotationDeg(a, b) {
  let sum = 0;
  for (let i = 0; i < 9; ++i) sum += (a[i] - b[i]) ** 2;
  return 2 * Math.asin(Math.min(1, Math.sqrt(sum) / (2 * Math.SQRT2))) * 180 / Math.PI;
}
function translationPct(a, b) {
  return 100 * Math.hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]) / Math.hypot(b[0], b[1], b[2]);
}
const median = (v) => { const s = [...v].sort((x, y) => x - y); return s[Math.floor(s.length / 2)]; };

// Each row of a pose CSV: [frame, found, r1..r9, tx, ty, tz].
const csvRows = (text) => text.trim().split('\n').slice(1).map((line) => line.split(',').map(Number));

// The character's pixels (its green skin) in the live slot of a 660 x 260 picture: their centre
// and their box, in slot pixels. Runs in the page.
function characterPlace(source) {
  return new Promise((resolve) => {
    const measure = (drawable) => {
      const c = document.createElement('canvas');
      c.width = 660; c.height = 260;
      const g = c.getContext('2d');
      g.drawImage(drawable, 0, 0, 660, 260);
      const { data } = g.getImageData(10, 10, 320, 240);
      let n = 0, sx = 0, sy = 0, x0 = 1e9, y0 = 1e9, x1 = -1, y1 = -1;
      // The window writes its frame rate in green at the slot's foot: those rows are left out.
      for (let y = 0; y < 215; ++y)
        for (let x = 0; x < 320; ++x) {
          const i = 4 * (y * 320 + x), r = data[i], gr = data[i + 1], b = data[i + 2];
          if (gr > 80 && gr > r + 25 && gr > b + 25) {
            n += 1; sx += x; sy += y;
            x0 = Math.min(x0, x); y0 = Math.min(y0, y); x1 = Math.max(x1, x); y1 = Math.max(y1, y);
          }
        }
      resolve(n ? { n, x: sx / n, y: sy / n, width: x1 - x0 + 1, height: y1 - y0 + 1 } : { n: 0 });
    };
    if (source === 'canvas') { measure(document.getElementById('tovrak-canvas')); return; }
    const image = new Image();
    image.onload = () => measure(image);
    image.src = source;
  });
}

async function main() {
  const server = await serve(path.resolve(siteDir));
  const base = `http://127.0.0.1:${server.address().port}/`;
  const browser = await launch(['--use-fake-ui-for-media-stream']);

  // The virtual camera, the target chain with the pose and the character, as the desktop ran it.
  const { page, errors } = await open(browser, `${base}?source=synthetic:${PATH_OPTIONS}&keys=gsxkm&frames=${FRAMES}`);
  await waitForPoses(page, FRAMES);
  const poses = await page.evaluate(() => tovrak.poses);
  const found = poses.filter((p) => p[0] === 1 && p[13] === 1);
  const rotation = median(found.map((p) => rotationDeg(p.slice(1, 10), p.slice(14, 23))));
  const translation = median(found.map((p) => translationPct(p.slice(10, 13), p.slice(23, 26))));
  report('the page tracks the virtual camera',
    found.length < 0.9 * FRAMES ? `found in ${found.length} of ${FRAMES} frames`
      : rotation > 0.5 || translation > 1 ? `median error ${rotation.toFixed(3)} deg, ${translation.toFixed(3)} %` : '');
  console.log(`   found ${found.length}/${FRAMES}, median ${rotation.toFixed(3)} deg, ${translation.toFixed(3)} % of the distance`);

  // The same frames through the desktop program: the same poses.
  const pageRows = csvRows(await page.evaluate(() => tovrak.readFile('/poses.csv')));
  const deskRows = csvRows(fs.readFileSync(path.join(workDir, 'desktop.csv'), 'utf8'));
  let worstR = 0, worstT = 0, foundDiffer = 0;
  for (let i = 0; i < Math.min(pageRows.length, deskRows.length); ++i) {
    if (pageRows[i][1] !== deskRows[i][1]) foundDiffer += 1;
    if (!deskRows[i][1]) continue;
    worstR = Math.max(worstR, rotationDeg(pageRows[i].slice(2, 11), deskRows[i].slice(2, 11)));
    worstT = Math.max(worstT, translationPct(pageRows[i].slice(11, 14), deskRows[i].slice(11, 14)));
  }
  report('the page\'s poses are the desktop\'s',
    pageRows.length !== deskRows.length ? `${pageRows.length} rows against ${deskRows.length}`
      : foundDiffer ? `found differs in ${foundDiffer} frames`
        : worstR > 0.01 || worstT > 0.01 ? `worst ${worstR.toFixed(4)} deg, ${worstT.toFixed(4)} %` : '');
  console.log(`   ${pageRows.length} rows, worst ${worstR.toExponential(2)} deg, ${worstT.toExponential(2)} %`);

  // The character in the same place as in the window's screenshot of the same frame.
  const desk = await page.evaluate(characterPlace,
    'data:image/png;base64,' + fs.readFileSync(path.join(workDir, 'desktop.png')).toString('base64'));
  // The character moves by the clock, not by the frame: the page's is sampled over two of its
  // animation's cycles, and the sample in the window's phase (the same box) must stand where the
  // window's does.
  let mine = { n: 0 }, apart = Infinity;
  for (let i = 0; i < 24; ++i) {
    const sample = await page.evaluate(characterPlace, 'canvas');
    const d = sample.n && desk.n && Math.abs(sample.width - desk.width) <= 2 && Math.abs(sample.height - desk.height) <= 2
      ? Math.hypot(sample.x - desk.x, sample.y - desk.y) : Infinity;
    if (d < apart || !mine.n) { mine = sample; apart = d; }
    await new Promise((r) => setTimeout(r, 110));
  }
  report('the character stands where the window draws it',
    !mine.n ? 'no character on the page' : !desk.n ? 'no character in the window\'s screenshot'
      : apart > 2 ? `${apart.toFixed(1)} px apart` : mine.height < mine.width * 0.8 ? 'not upright' : '');
  console.log(`   page (${mine.x?.toFixed(1)}, ${mine.y?.toFixed(1)}) ${mine.width}x${mine.height}, ` +
    `window (${desk.x?.toFixed(1)}, ${desk.y?.toFixed(1)}) ${desk.width}x${desk.height}`);
  await page.screenshot({ path: path.join(workDir, 'page.png') });

  // A key and a button each switch a step, and the buttons show it.
  await page.keyboard.press('e');
  await page.click('#keys button[data-key="p"]');
  const keyStates = await page.evaluate(() => [tovrak.keyState('e'), tovrak.keyState('p'),
    document.querySelector('#keys button[data-key="e"]').getAttribute('aria-pressed'),
    document.querySelector('#keys button[data-key="p"]').getAttribute('aria-pressed')]);
  report('a key and a button switch their steps', keyStates.join() === '1,1,true,true' ? '' : `states ${keyStates}`);

  // A model dropped on the page stands on the target; a damaged one is refused with its line.
  const input = await page.$('#file-input');
  await input.uploadFile(path.join(workDir, 'tower.glb'));
  await page.waitForFunction(() => tovrak.lines.some((l) => /^Model .*tower\.glb: \d+ triangles/.test(l)), { timeout: 10000 })
    .then(() => report('a dropped model is drawn', ''), async () => report('a dropped model is drawn',
      `no "Model" line: ${(await page.evaluate(() => tovrak.lines.slice(-3))).join(' | ')}`));
  const glb = fs.readFileSync(path.join(workDir, 'tower.glb'));
  const damaged = path.join(workDir, 'damaged.glb');
  fs.writeFileSync(damaged, glb.subarray(0, Math.floor(glb.length / 2)));
  await input.uploadFile(damaged);
  await page.waitForFunction(() => tovrak.lines.some((l) => /^Error loading model file .*damaged\.glb\.$/.test(l)), { timeout: 10000 })
    .then(() => report('a damaged model is refused in one line', ''), () => report('a damaged model is refused in one line', 'no refusal line'));
  // A model naming a file beside its folder is refused, and says why.
  const outside = path.join(workDir, 'outside.gltf');
  fs.writeFileSync(outside, JSON.stringify({ asset: { version: '2.0' }, buffers: [{ uri: '../secret.bin', byteLength: 36 }] }));
  await input.uploadFile(outside);
  await page.waitForFunction(() => tovrak.lines.some((l) => /outside the model's folder/.test(l)), { timeout: 10000 })
    .then(() => report('a model naming a file outside its folder is refused', ''),
      async () => report('a model naming a file outside its folder is refused', (await page.evaluate(() => tovrak.lines.slice(-2))).join(' | ')));
  await page.screenshot({ path: path.join(workDir, 'page-model.png') });
  report('the page runs without a console error', errors.length ? errors.join(' | ') : '');
  await page.close();

  // Key v calibrates in the page: camera.yaml is offered and remembered, and used on the next visit.
  const calibrating = await open(browser, `${base}?source=synthetic:fps=0&keys=gsxkv`);
  const calibrated = await calibrating.page.waitForFunction(() => tovrak.lines.some((l) => /^Calibrated from 15 views.*wrote camera\.yaml$/.test(l)),
    { timeout: 90000, polling: 500 }).then(() => true, () => false);
  const offered = await calibrating.page.evaluate(() => ({
    stored: (localStorage.getItem('tovrak.camera.yaml') || '').startsWith('%YAML:1.0'),
    button: !document.getElementById('camera-file').disabled }));
  await calibrating.page.close();
  const again = await open(browser, `${base}?source=synthetic&frames=1`);
  const used = await again.page.evaluate(() => tovrak.lines.some((l) => /^Note: camera from camera\.yaml: fx 3[23]\d\./.test(l)));
  await again.page.evaluate(() => localStorage.clear());
  await again.page.close();
  report('key v calibrates in the page, and the calibration is kept for the next visit',
    !calibrated ? 'no calibration within 90 s' : !offered.stored || !offered.button ? `not kept or not offered (${JSON.stringify(offered)})`
      : !used ? 'the next visit does not use it' : '');

  // A webcam: the fake camera plays frames of a known view.
  const view = fs.readFileSync(path.join(workDir, 'fake-view.txt'), 'utf8').trim();
  const truthPage = await open(browser, `${base}?source=synthetic:${view}&frames=1`);
  await waitForPoses(truthPage.page, 1);
  const truth = (await truthPage.page.evaluate(() => tovrak.poses[0])).slice(14, 26);
  await truthPage.page.close();
  const camera = await launch(['--use-fake-ui-for-media-stream', '--use-fake-device-for-media-stream',
    `--use-file-for-fake-video-capture=${path.join(workDir, 'fake.y4m')}`]);
  const webcam = await open(camera, `${base}?keys=gsxk`);
  await waitForPoses(webcam.page, 30).catch(() => {});
  const camPoses = (await webcam.page.evaluate(() => tovrak.poses)).filter((p) => p[0] === 1).slice(5);
  const camRotation = median(camPoses.map((p) => rotationDeg(p.slice(1, 10), truth.slice(0, 9))));
  const camTranslation = median(camPoses.map((p) => translationPct(p.slice(10, 13), truth.slice(9, 12))));
  report('the page tracks a webcam',
    camPoses.length < 10 ? `${camPoses.length} poses` : camRotation > 0.5 || camTranslation > 1
      ? `median error ${camRotation.toFixed(3)} deg, ${camTranslation.toFixed(3)} %` : '');
  console.log(`   ${camPoses.length} poses, median ${camRotation.toFixed(3)} deg, ${camTranslation.toFixed(3)} %`);
  await camera.close();
  await browser.close();

  // No camera at all: one line, and the virtual camera runs instead.
  const bare = await launch(['--deny-permission-prompts']);
  const denied = await open(bare, base);
  await waitForPoses(denied.page, 5, 20000).catch(() => {});
  const deniedState = await denied.page.evaluate(() => ({
    notice: document.getElementById('notice').textContent, poses: tovrak.poses.length, source: tovrak.source }));
  report('a missing or denied camera says so and offers the virtual camera',
    !/^No camera: .*The virtual camera runs instead\.$/.test(deniedState.notice) ? `notice "${deniedState.notice}"`
      : deniedState.source !== 'synthetic' || deniedState.poses < 5 ? 'the virtual camera does not run' : '');
  await bare.close();
  server.close();
  process.exit(failures);
}

main().catch((error) => { console.log(`FAIL the page tests: ${error.stack || error}`); process.exit(100); });
