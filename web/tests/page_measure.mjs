// What the page costs in Chromium (headless, software WebGL): first load, the first tracked frame
// after the page opens, the frame rate and the parts of a frame, at 320 x 240 and 640 x 480 with
// the chain, the pose and the character (keys g s x k m).
//   node page_measure.mjs SITE_DIR
import fs from 'node:fs';
import path from 'node:path';
import http from 'node:http';
import puppeteer from 'puppeteer-core';

const site = path.resolve(process.argv[2]);
const bytes = fs.readdirSync(site).reduce((sum, f) => sum + fs.statSync(path.join(site, f)).size, 0);
console.log(`first load: ${(bytes / 1e6).toFixed(2)} MB in ${fs.readdirSync(site).length} files`);
const server = http.createServer((req, res) => {
  const file = path.join(site, new URL(req.url, 'http://x').pathname.replace(/^\/$/, '/index.html'));
  if (!fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
  res.writeHead(200, { 'Content-Type': file.endsWith('.wasm') ? 'application/wasm' : file.endsWith('.js') ? 'text/javascript' : 'text/html' });
  fs.createReadStream(file).pipe(res);
}).listen(0, '127.0.0.1');
await new Promise((r) => server.on('listening', r));
const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'] });
for (const size of ['320x240', '640x480']) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  await page.goto(`http://127.0.0.1:${server.address().port}/?source=synthetic:size=${size}&keys=gsxkm`);
  await page.waitForFunction('window.tovrak && tovrak.firstPoseMs !== undefined', { timeout: 30000 });
  const first = await page.evaluate(() => tovrak.firstPoseMs);
  // The frame rate over 5 s, and the mean parts of the frames meanwhile.
  const result = await page.evaluate(() => new Promise((resolve) => {
    const start = tovrak.poses.length, t0 = performance.now(), parts = [0, 0, 0];
    let n = 0;
    const sample = () => {
      const t = tovrak.timings();
      parts[1] += t[1]; parts[2] += t[2]; n += 1;
      if (performance.now() - t0 < 5000) requestAnimationFrame(sample);
      else resolve({ fps: (tovrak.poses.length - start) / ((performance.now() - t0) / 1000), steps: parts[1] / n, drawing: parts[2] / n });
    };
    requestAnimationFrame(sample);
  }));
  console.log(`${size}: first tracked frame ${(first / 1000).toFixed(2)} s after the page opened; ` +
    `${result.fps.toFixed(1)} frames a second; a frame: grab with steps and pose ${result.steps.toFixed(2)} ms, drawing ${result.drawing.toFixed(2)} ms`);
  await page.close();
}
await browser.close();

// A webcam of 640 x 480 (a Y4M file played as Chromium's fake camera): the copy of its picture in.
if (process.argv[3]) {
  const camera = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--use-fake-ui-for-media-stream', '--use-fake-device-for-media-stream', `--use-file-for-fake-video-capture=${process.argv[3]}`] });
  const page = await camera.newPage();
  await page.goto(`http://127.0.0.1:${server.address().port}/?keys=gsxkm&size=640x480`);
  await page.waitForFunction('window.tovrak && tovrak.poses.length > 60', { timeout: 30000 });
  const r = await page.evaluate(() => ({ copy: tovrak.copyInMs, t: tovrak.timings(), w: document.getElementById('fps').textContent }));
  console.log(`webcam 640x480: copy in (canvas, getImageData, into the program) ${r.copy.toFixed(2)} ms, ` +
    `grab with steps and pose ${r.t[1].toFixed(2)} ms, drawing ${r.t[2].toFixed(2)} ms, ${r.w}`);
  await camera.close();
}
server.close();
