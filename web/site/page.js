// The page around the program (tovrak.wasm): only what a browser alone can do — the camera,
// files in and out, the keys and buttons, the console panel. Every step, pose and picture comes
// from the program; nothing leaves the browser.
'use strict';

const KEYS = [
  ['g', 'smoothing'], ['r', 'lens correction'], ['c', 'thin edges'], ['s', 'Sobel edges'],
  ['x', 'target outlines'], ['k', 'pose'], ['e', 'corners'], ['h', 'Hough lines'],
  ['p', 'regions'], ['m', 'character'], ['n', 'cone'], ['b', 'model'],
  ['u', 'turn model', true], ['t', 'adaptive edges'], ['v', 'calibrate (views)'],
  ['a', 'calibrate this view', true], ['l', 'log points'], ['+', 'corner threshold', true],
  [' ', 'pause', false, 'Space'], ['Escape', 'end the run', true, 'Esc'],
];
const STORED_CAMERA = 'tovrak.camera.yaml';
const STORED_POINTS = 'tovrak.pontos1.txt';

const $ = (id) => document.getElementById(id);
const canvas = $('tovrak-canvas');
const video = $('video');
const grab = document.createElement('canvas');
const grabContext = grab.getContext('2d', { willReadFrequently: true });

// What the tests read: console lines, poses with their truth, and errors.
const state = window.tovrak = {
  lines: [], poses: [], ready: false, ended: false, source: null, cameraError: null,
};
let program = null;
let feed = null;           // the picture the page hands over: a <video> or an <img>, or null
let lastFeedTime = -1;
let lastPass = 0;
let facing = 'user';
let modelDrops = 0;
let savedFiles = {};       // file name -> its last modification time in the program's files

function consoleLine(text) {
  state.lines.push(text);
  const pre = $('console');
  pre.textContent += text + '\n';
  const lines = pre.textContent.split('\n');
  if (lines.length > 500) pre.textContent = lines.slice(-500).join('\n');
  pre.scrollTop = pre.scrollHeight;
}
function notice(text) { $('notice').textContent = text; }

// The address's options as the command line's words: ?source=synthetic&keys=gsx is
// "--source synthetic --keys gsx"; an option without a value is a switch ("?loop").
function commandLineWords() {
  const words = [];
  const params = new URLSearchParams(location.search);
  if (!params.has('source')) words.push('--source', 'camera');
  for (const [name, value] of params) {
    words.push('--' + name);
    if (value !== '') words.push(value);
  }
  return words;
}

let layoutWidth = -1;     // the frame width the layout was chosen for
function chooseLayout() {
  layoutWidth = program._tovrak_frame_width();
  const stacked = window.matchMedia('(orientation: portrait) and (max-width: 700px)').matches;
  const width = program ? program._tovrak_frame_width() : 320;
  const scale = (window.devicePixelRatio >= 2 || width >= 640) ? 2 : 1;
  program._tovrak_set_layout(stacked ? 1 : 0, scale);
  canvas.width = (stacked ? 340 : 660) * scale;
  canvas.height = (stacked ? 500 : 260) * scale;
}

function buildButtons() {
  const box = $('keys');
  for (const [key, name, once, label] of KEYS) {
    const button = document.createElement('button');
    button.type = 'button';
    button.dataset.key = key;
    button.innerHTML = `<kbd>${label || key}</kbd> ${name}`;
    if (!once) button.setAttribute('aria-pressed', 'false');
    button.addEventListener('click', () => typeKey(key));
    box.appendChild(button);
  }
}

function keyCode(key) {
  if (key === 'Escape') return 27;
  return key.length === 1 ? key.charCodeAt(0) : 0;
}

function typeKey(key) {
  if (!program || state.ended) return;
  const code = keyCode(key);
  if (!code) return;
  if (program._tovrak_key(code) === 1) {
    state.ended = true;
    notice('The run ended (Esc). Reload the page to start again.');
  }
  showKeyStates();
}

function showKeyStates() {
  for (const button of $('keys').querySelectorAll('button[aria-pressed]'))
    button.setAttribute('aria-pressed', program._tovrak_key_state(keyCode(button.dataset.key)) ? 'true' : 'false');
}

// ---- sources ----

async function listCameras() {
  if (!navigator.mediaDevices || !navigator.mediaDevices.enumerateDevices) return;
  const devices = await navigator.mediaDevices.enumerateDevices();
  const select = $('camera-device');
  const chosen = select.value;
  select.innerHTML = '<option value="">default</option>';
  devices.filter((d) => d.kind === 'videoinput').forEach((d, i) => {
    const option = document.createElement('option');
    option.value = d.deviceId;
    option.textContent = d.label || `camera ${i + 1}`;
    select.appendChild(option);
  });
  select.value = chosen;
}

function stopFeed() {
  if (video.srcObject) video.srcObject.getTracks().forEach((t) => t.stop());
  video.srcObject = null;
  if (video.src) URL.revokeObjectURL(video.src);
  video.removeAttribute('src');
  feed = null;
  lastFeedTime = -1;
}

async function useCamera() {
  stopFeed();
  const [width, height] = $('camera-size').value.split('x').map(Number);
  const constraints = { video: { width: { ideal: width }, height: { ideal: height }, facingMode: facing } };
  if ($('camera-device').value) constraints.video.deviceId = { exact: $('camera-device').value };
  try {
    if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia)
      throw new Error('this browser offers no camera here (a camera needs https or localhost)');
    const stream = await navigator.mediaDevices.getUserMedia(constraints);
    video.srcObject = stream;
    await video.play();
    feed = video;
    state.source = 'camera';
    program._tovrak_switch_source(0);
    $('source').value = 'camera';
    notice('');
    listCameras();
  } catch (error) {
    const why = error && error.name === 'NotAllowedError' ? 'permission was denied'
      : error && error.name === 'NotFoundError' ? 'no camera was found' : (error.message || String(error));
    state.cameraError = why;
    notice(`No camera: ${why}. The virtual camera runs instead.`);
    consoleLine(`Error: no camera: ${why}; the virtual camera runs instead`);
    useVirtualCamera();
  }
}

function useVirtualCamera() {
  stopFeed();
  program._tovrak_switch_source(1);
  state.source = 'synthetic';
  $('source').value = 'synthetic';
}

function usePictureFile(file) {
  stopFeed();
  const url = URL.createObjectURL(file);
  if (file.type.startsWith('image/')) {
    const image = new Image();
    image.onload = () => { feed = image; lastFeedTime = -1; };
    image.onerror = () => consoleLine(`Error: ${file.name}: the browser cannot show this picture`);
    image.src = url;
  } else {
    video.src = url;
    video.play().then(() => { feed = video; }).catch(() =>
      consoleLine(`Error: ${file.name}: the browser cannot play this video`));
  }
  program._tovrak_switch_source(0);
  state.source = 'file';
  $('source').value = 'file';
  consoleLine(`Playing ${file.name}`);
}

// The newest picture of the feed, scaled to at most the chosen size, into the program. True when
// a new picture is there to process.
function handOverPicture() {
  if (!feed) return false;
  let width, height;
  if (feed === video) {
    if (video.readyState < 2 || !video.videoWidth) return false;
    // A file's frame that has not changed is not a new frame; a camera's always is.
    if (!video.srcObject && video.currentTime === lastFeedTime) return false;
    lastFeedTime = video.currentTime;
    width = video.videoWidth; height = video.videoHeight;
  } else {
    if (lastFeedTime === 0) return false;  // a picture is one frame, handed over once
    width = feed.naturalWidth; height = feed.naturalHeight;
  }
  const [maxWidth] = $('camera-size').value.split('x').map(Number);
  if (width > maxWidth) { height = Math.round(height * maxWidth / width); width = maxWidth; }
  width -= width % 2; height -= height % 2;
  if (grab.width !== width || grab.height !== height) { grab.width = width; grab.height = height; }
  grabContext.drawImage(feed, 0, 0, width, height);
  const pixels = grabContext.getImageData(0, 0, width, height).data;
  const at = program._tovrak_frame_buffer(width, height);
  if (!at) return false;
  program.HEAPU8.set(pixels, at);
  program._tovrak_frame_written();
  if (feed !== video) lastFeedTime = 0;
  return true;
}

// ---- files ----

function download(name, blob) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

function fileTime(path) {
  try { return program.FS.stat(path).mtime.getTime(); } catch (e) { return 0; }
}

// A calibration written by the program (keys v and a): remembered for the next visit and offered.
function noticeSavedFiles() {
  for (const [path, key] of [['/camera.yaml', STORED_CAMERA], ['/pontos1.txt', STORED_POINTS]]) {
    const time = fileTime(path);
    if (!time || savedFiles[path] === undefined) { savedFiles[path] = time; continue; }
    if (time === savedFiles[path]) continue;
    savedFiles[path] = time;
    const text = program.FS.readFile(path, { encoding: 'utf8' });
    try { localStorage.setItem(key, text); } catch (e) { /* storage full or off: the download still works */ }
    if (path === '/camera.yaml') {
      $('camera-file').disabled = false;
      notice('The calibration is saved: camera.yaml is remembered for your next visit (download it with the camera.yaml button).');
    }
  }
}

async function dropFiles(files) {
  files = Array.from(files);
  const model = files.find((f) => /\.(glb|gltf|obj)$/i.test(f.name));
  const cameraFile = files.find((f) => /\.ya?ml$/i.test(f.name));
  if (model) {
    // The model and everything dropped with it, in a folder of their own: the model may name
    // those files and no others.
    const folder = `/models/${++modelDrops}`;
    program.FS.mkdirTree(folder);
    for (const f of files) {
      if (f.size > 128 * 1024 * 1024) { consoleLine(`Error: ${f.name} is larger than the page takes (128 MB)`); return; }
      program.FS.writeFile(`${folder}/${f.name}`, new Uint8Array(await f.arrayBuffer()));
    }
    program.ccall('tovrak_load_model', 'number', ['string'], [`${folder}/${model.name}`]);
    showKeyStates();
    return;
  }
  if (cameraFile) {
    const text = await cameraFile.text();
    program.FS.writeFile('/dropped-camera.yaml', text);
    program.ccall('tovrak_use_camera_file', null, ['string'], ['/dropped-camera.yaml']);
    try { localStorage.setItem(STORED_CAMERA, text); } catch (e) { /* not remembered */ }
    return;
  }
  const media = files.find((f) => f.type.startsWith('video/') || f.type.startsWith('image/'));
  if (media) { usePictureFile(media); return; }
  if (files.length) consoleLine(`Error: ${files[0].name}: not a model (glTF, GLB, OBJ), a camera.yaml, a video or a picture`);
}

// ---- the loop ----

function pass(now) {
  if (state.ended) return;
  requestAnimationFrame(pass);
  let fresh;
  if (state.source === 'synthetic') {
    // The virtual camera at its own rate (every animation frame at fps=0).
    const fps = program._tovrak_source_fps();
    fresh = !(fps > 0 && now - lastPass < 1000 / fps - 2);
  } else {
    const copyStart = performance.now();
    fresh = handOverPicture();
    if (fresh) state.copyInMs = performance.now() - copyStart;
  }
  if (fresh) lastPass = now;
  const result = program._tovrak_frame(fresh ? 0 : 1);
  if (result < 0) return;
  if (result === 1) {
    const pose = new Float64Array(program.HEAPF64.buffer, program._tovrak_pose(), 26);
    if (pose[0] === 1 && state.firstPoseMs === undefined) state.firstPoseMs = performance.now();
    state.poses.push(Array.from(pose));
    if (state.poses.length > 2000) state.poses.shift();
    if (state.poses.length % 10 === 0) showKeyStates();
  }
  $('fps').textContent = `${program._tovrak_fps().toFixed(1)} fps`;
  $('status').textContent = program.UTF8ToString(program._tovrak_status());
  noticeSavedFiles();
  if (program._tovrak_frame_width() !== layoutWidth) chooseLayout();
}

async function start() {
  buildButtons();
  const words = commandLineWords();
  // --size WxH asks the camera for that size, as on the desktop.
  const size = new URLSearchParams(location.search).get('size');
  if (size && [...$('camera-size').options].some((o) => o.value === size)) $('camera-size').value = size;
  program = await createTovrak({
    print: consoleLine,
    printErr: consoleLine,
    canvas,
  });
  // A calibration made on an earlier visit, unless the address names a camera file.
  const stored = localStorage.getItem(STORED_CAMERA);
  if (stored && !words.includes('--camera')) program.FS.writeFile('/camera.yaml', stored);
  const points = localStorage.getItem(STORED_POINTS);
  if (points) program.FS.writeFile('/pontos1.txt', points);
  savedFiles = { '/camera.yaml': fileTime('/camera.yaml'), '/pontos1.txt': fileTime('/pontos1.txt') };
  $('camera-file').disabled = !stored;
  const status = program.ccall('tovrak_start', 'number', ['string'], [words.join('\n')]);
  if (status !== 0) {
    notice('The page cannot start: see the console below.');
    return;
  }
  chooseLayout();
  // For tests and the curious: the program's files and timings.
  state.readFile = (path) => { program._tovrak_flush(); return program.FS.readFile(path, { encoding: 'utf8' }); };
  state.timings = () => Array.from(new Float64Array(program.HEAPF64.buffer, program._tovrak_timings(), 3));
  state.keyState = (key) => program._tovrak_key_state(keyCode(key));
  const source = words[words.indexOf('--source') + 1] || 'camera';
  if (source === 'camera') await useCamera();
  else { state.source = 'synthetic'; $('source').value = 'synthetic'; }
  showKeyStates();
  state.ready = true;
  requestAnimationFrame(pass);
}

// ---- the page's controls ----

document.addEventListener('keydown', (event) => {
  if (event.target.closest && event.target.closest('select, input')) return;
  if (event.ctrlKey || event.metaKey || event.altKey) return;
  const key = event.key === 'Escape' ? 'Escape' : event.key;
  if (!keyCode(key)) return;
  event.preventDefault();
  typeKey(key);
});
$('source').addEventListener('change', () => {
  const value = $('source').value;
  if (value === 'camera') useCamera();
  else if (value === 'synthetic') useVirtualCamera();
  else { $('file-input').accept = 'video/*,image/*'; $('file-input').click(); }
});
$('camera-device').addEventListener('change', () => { if (state.source === 'camera') useCamera(); });
$('camera-size').addEventListener('change', () => { if (state.source === 'camera') useCamera(); });
$('facing').addEventListener('click', () => {
  facing = facing === 'user' ? 'environment' : 'user';
  if (state.source === 'camera') useCamera();
});
$('open-files').addEventListener('click', () => { $('file-input').accept = ''; $('file-input').click(); });
$('file-input').addEventListener('change', () => { dropFiles($('file-input').files); $('file-input').value = ''; });
$('screenshot').addEventListener('click', () => canvas.toBlob((blob) => download('tovrak.png', blob)));
$('poses').addEventListener('click', () => {
  program._tovrak_flush();
  download('poses.csv', new Blob([program.FS.readFile('/poses.csv')], { type: 'text/csv' }));
});
$('camera-file').addEventListener('click', () => {
  const text = localStorage.getItem(STORED_CAMERA) ||
    (fileTime('/camera.yaml') ? program.FS.readFile('/camera.yaml', { encoding: 'utf8' }) : '');
  if (text) download('camera.yaml', new Blob([text], { type: 'text/yaml' }));
});
document.addEventListener('dragover', (event) => { event.preventDefault(); document.body.classList.add('dragging'); });
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  dropFiles(event.dataTransfer.files);
});
window.addEventListener('resize', () => { if (program) chooseLayout(); });

start().catch((error) => { notice('The page cannot start: ' + error); consoleLine('Error: ' + error); });
