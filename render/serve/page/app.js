// The look-development page: controls drawn from the shader's declaration,
// edits sent as JSON Patches, frames and state received as Server-Sent Events.
'use strict';

const $ = (id) => document.getElementById(id);

let state = null; // the server's newest state
const controls = new Map(); // path -> function showing that path's value
const pending = new Map(); // path -> the newest operation not yet sent
const awaited = new Map(); // path -> the edit that will show it (Infinity while sending)
let sending = false;

// Elements: el('input', {type: 'range'}, child, ...).
function el(tag, props = {}, ...children) {
  const e = document.createElement(tag);
  for (const [key, value] of Object.entries(props)) {
    if (key === 'text') e.textContent = value;
    else if (key in e) e[key] = value;
    else e.setAttribute(key, value);
  }
  e.append(...children);
  return e;
}

async function post(url, body) {
  const response = await fetch(url, {
    method: 'POST',
    headers: {'Content-Type': 'application/json'},
    body: JSON.stringify(body),
  });
  let json = {};
  try {
    json = await response.json();
  } catch {
    json = {error: `${response.status} ${response.statusText}`};
  }
  return {ok: response.ok, body: json};
}

function showStatus(text, error = false) {
  $('status').textContent = text;
  $('status').classList.toggle('error', error);
}

// Edits: one request at a time, carrying the newest value of every path
// changed meanwhile, so a fast slider never queues stale values. A request
// leaves once the handler that made the change is done: the changes it made
// together, such as placing a camera that framed parts, are one edit, which
// the scene takes or refuses whole.
function change(path, value) {
  pending.set(path, value === undefined ? {op: 'remove', path} : {op: 'add', path, value});
  queueMicrotask(flush);
}

async function flush() {
  if (sending || pending.size === 0) return;
  const patch = [...pending.values()];
  pending.clear();
  for (const op of patch) awaited.set(op.path, Infinity);
  sending = true;
  try {
    const reply = await post('/api/edit', patch);
    for (const op of patch) {
      if (awaited.get(op.path) !== Infinity) continue;
      if (reply.ok) awaited.set(op.path, reply.body.edit);
      else awaited.delete(op.path);
    }
    if (!reply.ok) {
      showStatus(reply.body.error, true);
      refresh();
    }
  } catch (e) {
    for (const op of patch) awaited.delete(op.path);
    showStatus(`cannot reach the server: ${e.message}`, true);
  } finally {
    sending = false;
    flush();
  }
}

// The value at a JSON pointer into the scene file, or undefined.
function sceneValue(path) {
  let v = state.scene;
  for (const key of path.split('/').slice(1)) {
    if (v === undefined || v === null) return undefined;
    v = v[key];
  }
  return v;
}

// Shows the state's value in every control, except where this page's own
// edits are still on their way.
function refresh() {
  for (const [path, show] of controls) {
    if (pending.has(path) || (awaited.get(path) ?? -1) > state.edit) continue;
    show(sceneValue(path));
  }
}

// Colours: the scene holds linear RGB, a colour picker shows sRGB.
const encode = (c) => (c <= 0.0031308 ? 12.92 * c : 1.055 * Math.pow(c, 1 / 2.4) - 0.055);
const decode = (c) => (c <= 0.04045 ? c / 12.92 : Math.pow((c + 0.055) / 1.055, 2.4));
const round = (v, digits = 4) => Math.round(v * 10 ** digits) / 10 ** digits;

function toHex(rgb) {
  return '#' + rgb.slice(0, 3).map((c) => {
    const byte = Math.round(Math.min(1, Math.max(0, encode(c))) * 255);
    return byte.toString(16).padStart(2, '0');
  }).join('');
}

function fromHex(hex) {
  return [1, 3, 5].map((i) => round(decode(parseInt(hex.substr(i, 2), 16) / 255)));
}

function row(name, help, ...value) {
  return el('div', {className: 'row', title: help},
    el('label', {text: name}), el('div', {className: 'value'}, ...value));
}

// A slider over the soft range with a number beside it for exact values,
// which may go beyond the slider within the hard limits.
function numberInputs(path, lo, hi, soft, onValue) {
  const [softLo, softHi] = soft;
  const slider = el('input', {type: 'range', min: softLo, max: softHi, step: (softHi - softLo) / 1000});
  const box = el('input', {type: 'number', step: 'any'});
  if (lo !== null && lo !== undefined) box.min = lo;
  if (hi !== null && hi !== undefined) box.max = hi;
  slider.dataset.path = path;
  box.dataset.path = path;
  slider.addEventListener('input', () => {
    box.value = round(Number(slider.value), 3);
    onValue(Number(slider.value));
  });
  box.addEventListener('change', () => {
    if (box.value === '' || !Number.isFinite(Number(box.value))) return;
    slider.value = box.value;
    onValue(Number(box.value));
  });
  const show = (v) => {
    slider.value = v;
    box.value = round(v, 3);
  };
  return {elements: [slider, box], show, disable: (off) => { slider.disabled = box.disabled = off; }};
}

// A control for one declared parameter of one material, at `path`.
function parameterRow(path, p) {
  const value = el('div', {className: 'value'});
  let show;
  let disable = () => {};
  if (p.type === 'float' || (p.type === 'integer' && !p.enum)) {
    const range = p.range ?? [null, null];
    const soft = p.soft_range ?? [range[0] ?? 0, range[1] ?? 1];
    const inputs = numberInputs(path, range[0], range[1], soft, (v) => change(path, v));
    value.append(...inputs.elements);
    show = (v) => inputs.show(v ?? p.default);
    disable = inputs.disable;
  } else if (p.type === 'color') {
    const picker = el('input', {type: 'color'});
    const alpha = el('input', {type: 'number', min: 0, step: 0.05, title: 'alpha'});
    picker.dataset.path = path;
    let current = [...p.default];
    const send = () => change(path, current.map((c) => round(c)));
    picker.addEventListener('input', () => {
      current = [...fromHex(picker.value), current[3]];
      send();
    });
    alpha.addEventListener('change', () => {
      if (alpha.value === '' || !(Number(alpha.value) >= 0)) return;
      current[3] = Number(alpha.value);
      send();
    });
    value.append(picker, el('span', {className: 'note', text: 'a'}), alpha);
    show = (v) => {
      current = Array.isArray(v) ? [...v, 1].slice(0, 4) : [...p.default];
      picker.value = toHex(current);
      alpha.value = current[3];
    };
    disable = (off) => { picker.disabled = alpha.disabled = off; };
  } else if (p.type === 'boolean') {
    const box = el('input', {type: 'checkbox'});
    box.dataset.path = path;
    box.addEventListener('change', () => change(path, box.checked));
    value.append(box);
    show = (v) => { box.checked = v ?? p.default; };
    disable = (off) => { box.disabled = off; };
  } else if (p.type === 'integer') {
    const select = el('select', {}, ...p.enum.map((name) => el('option', {value: name, text: name})));
    select.dataset.path = path;
    select.addEventListener('change', () => change(path, select.value));
    value.append(select);
    show = (v) => { select.value = v ?? p.enum[p.default]; };
    disable = (off) => { select.disabled = off; };
  } else if (p.type === 'light_array') {
    const every = el('input', {type: 'checkbox'});
    every.dataset.path = path;
    const boxes = state.lights.map((name) => el('input', {type: 'checkbox', value: name}));
    const chosen = () => boxes.filter((b) => b.checked).map((b) => b.value);
    every.addEventListener('change', () => change(path, every.checked ? undefined : chosen()));
    for (const b of boxes) b.addEventListener('change', () => change(path, chosen()));
    value.append(el('label', {}, every, ' every light'),
      ...boxes.map((b) => el('label', {}, b, ' ' + b.value)));
    show = (v) => {
      every.checked = v === undefined;
      for (const b of boxes) {
        b.checked = v === undefined || v.includes(b.value);
        b.disabled = v === undefined;
      }
    };
  } else {
    return null;
  }

  // A parameter connected to a texture keeps it until unticked, which
  // returns it to its default; ticking connects the texture it had last.
  let texture = null;
  const connected = el('input', {type: 'checkbox'});
  const textureName = el('span');
  const textureLabel = el('label', {className: 'note', hidden: true}, connected, textureName);
  connected.addEventListener('change', () => {
    change(path, connected.checked ? texture : undefined);
  });
  value.append(textureLabel);
  controls.set(path, (v) => {
    const isTexture = v !== null && typeof v === 'object' && !Array.isArray(v);
    if (isTexture) {
      texture = v;
      textureName.textContent = ` ${v.texture} texture`;
    }
    textureLabel.hidden = texture === null;
    connected.checked = isTexture;
    disable(isTexture);
    show(isTexture ? undefined : v); // connected: what unticking gives
  });
  return el('div', {className: 'row', title: p.help}, el('label', {text: p.name}), value);
}

function materialSection(material, open) {
  const section = el('details', {open}, el('summary', {text: material.name}));
  for (const p of state.parameters) {
    const r = parameterRow(`${material.path}/${p.name}`, p);
    if (r) section.append(r);
  }
  return section;
}

function environmentSection() {
  const path = '/environment/background';
  const kind = el('select', {},
    el('option', {value: 'studio', text: 'studio backdrop'}),
    el('option', {value: 'transparent', text: 'transparent'}),
    el('option', {value: 'color', text: 'solid colour'}));
  const picker = el('input', {type: 'color', value: '#808080'});
  kind.dataset.path = path;
  const send = () => change(path, kind.value === 'color' ? fromHex(picker.value) : kind.value);
  kind.addEventListener('change', send);
  picker.addEventListener('input', () => {
    kind.value = 'color';
    send();
  });
  controls.set(path, (v) => {
    kind.value = Array.isArray(v) ? 'color' : v ?? 'studio';
    if (Array.isArray(v)) picker.value = toHex(v);
  });

  const floor = el('input', {type: 'checkbox'});
  floor.dataset.path = '/environment/floor';
  floor.addEventListener('change', () => change('/environment/floor', floor.checked));
  controls.set('/environment/floor', (v) => { floor.checked = v ?? true; });

  return el('details', {open: true}, el('summary', {text: 'Environment'}),
    row('background', 'the studio backdrop, nothing (alpha 0) or a solid colour (linear RGB)',
      kind, picker),
    row('floor', "the studio's checkered floor under the models", floor));
}

// Adaptive sampling, its controls drawn as the parameters' are, and why it
// does nothing when the scene's samples leave it nothing to do.
function samplingSection() {
  const section = el('details', {open: true}, el('summary', {text: 'Sampling'}));
  for (const p of state.sampling) section.append(parameterRow(`/settings/${p.name}`, p));
  section.append(el('p', {id: 'sampling-warning', className: 'note warning', hidden: true}));
  return section;
}

function showSamplingWarning() {
  $('sampling-warning').textContent = state.sampling_warning;
  $('sampling-warning').hidden = !state.sampling_warning;
}

// The camera orbits its target: drag to turn, wheel to move closer or away.
let drag = null;
const view = {camera: null}; // the camera as this page last showed or set it

function currentCamera() {
  return structuredClone(view.camera);
}

// Placed by eye and target, whatever framed it before; the scene's other
// camera settings (a turntable) stay.
function setCamera(camera) {
  view.camera = camera;
  for (const key of ['eye', 'target', 'fov']) change(`/camera/${key}`, camera[key]);
  for (const key of ['frame', 'from']) change(`/camera/${key}`, undefined);
}

function orbit(camera, yaw, pitch) {
  const [ex, ey, ez] = camera.eye;
  const [tx, ty, tz] = camera.target;
  const d = [ex - tx, ey - ty, ez - tz];
  const r = Math.hypot(...d);
  const limit = 1.5; // radians: the view never looks straight up or down
  const elevation = Math.min(limit, Math.max(-limit, Math.asin(d[1] / r) + pitch));
  const azimuth = Math.atan2(d[0], d[2]) + yaw;
  camera.eye = [
    tx + r * Math.cos(elevation) * Math.sin(azimuth),
    ty + r * Math.sin(elevation),
    tz + r * Math.cos(elevation) * Math.cos(azimuth),
  ].map((v) => round(v, 5));
  return camera;
}

function zoom(camera, factor) {
  camera.eye = camera.eye.map((e, i) => round(camera.target[i] + (e - camera.target[i]) * factor, 5));
  return camera;
}

function cameraSection() {
  const inputs = numberInputs('/camera/fov', ...state.fov_range, [10, 90], (fov) => {
    const camera = currentCamera();
    camera.fov = fov;
    setCamera(camera);
  });
  controls.set('/camera/eye', () => {
    if (drag) return;
    view.camera = state.camera;
    inputs.show(state.camera.fov);
  });
  const reset = el('button', {type: 'button', text: 'scene camera'});
  reset.addEventListener('click', () => setCamera(structuredClone(state.loaded_camera)));
  return el('details', {open: true}, el('summary', {text: 'Camera'}),
    row('field of view', 'vertical, in degrees', ...inputs.elements),
    row('', '', reset));
}

function wirePicture() {
  const picture = $('picture');
  picture.addEventListener('pointerdown', (e) => {
    if (!view.camera) return;
    drag = {x: e.clientX, y: e.clientY, camera: currentCamera()};
    picture.setPointerCapture(e.pointerId);
  });
  picture.addEventListener('pointermove', (e) => {
    if (!drag) return;
    const turn = 4 / picture.clientWidth; // radians a pixel: the width turns 4 radians
    setCamera(orbit(structuredClone(drag.camera), -(e.clientX - drag.x) * turn,
      (e.clientY - drag.y) * turn));
  });
  const end = () => { drag = null; };
  picture.addEventListener('pointerup', end);
  picture.addEventListener('pointercancel', end);
  picture.addEventListener('wheel', (e) => {
    e.preventDefault();
    if (view.camera) setCamera(zoom(currentCamera(), Math.exp(Math.sign(e.deltaY) * 0.1)));
  }, {passive: false});
  picture.addEventListener('dblclick', () => {
    if (state) setCamera(structuredClone(state.loaded_camera));
  });
}

// The controls of the state's scene, drawn afresh for a restarted server's,
// whose materials, lights and size may differ.
function build() {
  $('controls').replaceChildren();
  controls.clear();
  pending.clear();
  view.camera = null;
  $('title').textContent = state.title;
  $('save').title = `writes ${state.files.scene}`;
  $('render').title = `writes ${state.files.image}`;
  // Every stage fills the frame of the full-size picture.
  const {width, height} = state.scene.settings;
  $('picture').style.width = `${width}px`;
  $('picture').style.aspectRatio = `${width} / ${height}`;
  const aside = $('controls');
  state.materials.forEach((m, i) => aside.append(materialSection(m, i === 0)));
  aside.append(environmentSection(), samplingSection(), cameraSection());
}

function showFrame(frame) {
  const picture = $('picture');
  picture.src = frame.image;
  picture.dataset.edit = frame.edit;
  picture.dataset.final = frame.final;
  $('waiting').hidden = true;
  if (frame.final) $('progress').hidden = true;
  const progress = frame.final ? 'final' : `stage ${frame.stage} of ${frame.stages}`;
  $('frame-info').textContent = `${frame.width}×${frame.height}, ${frame.samples} spp, ` +
    `${progress}, ${frame.seconds.toFixed(2)} s after ${frame.edit ? 'the change' : 'loading'}`;
}

function wireButtons() {
  for (const [id, url, verb] of [['save', '/api/save', 'saved'], ['render', '/api/render', 'wrote']]) {
    const button = $(id);
    button.addEventListener('click', async () => {
      button.disabled = true;
      try {
        const reply = await post(url, {});
        if (reply.ok) showStatus(`${verb} ${reply.body.file}`);
        else showStatus(reply.body.error, true);
      } catch (e) {
        showStatus(`cannot reach the server: ${e.message}`, true);
      } finally {
        button.disabled = false;
        $('progress').hidden = true;
      }
    });
  }
}

function listen() {
  const events = new EventSource('/api/events');
  // A new state restarts the picture's stages: the progress shown before it
  // is of a render cancelled.
  events.addEventListener('state', (e) => {
    const before = state;
    state = JSON.parse(e.data);
    if (before?.server !== state.server) build();
    refresh();
    showSamplingWarning();
    $('progress').hidden = true;
  });
  events.addEventListener('frame', (e) => showFrame(JSON.parse(e.data)));
  events.addEventListener('progress', (e) => {
    const progress = JSON.parse(e.data);
    $('progress').textContent = `${progress.text}: ${progress.percent}%`;
    $('progress').hidden = false;
  });
  // A status comes once a Save, a Render or a picture has ended, well or
  // not: the progress shown before it is over.
  events.addEventListener('status', (e) => {
    const status = JSON.parse(e.data);
    showStatus(status.text, status.error);
    $('progress').hidden = true;
  });
  // A restarted server numbers its edits afresh, and sends a status only once
  // something has ended: the one shown is of the lost connection, or older.
  events.addEventListener('open', () => {
    awaited.clear();
    showStatus('');
  });
  events.addEventListener('error', () => {
    if (events.readyState === EventSource.CONNECTING) showStatus('reconnecting to the server…', true);
    else if (events.readyState === EventSource.CLOSED) turnedAway();
  });
}

// The server refused the page's events, which a browser does not ask for
// again: a request of the page's own reads why, letting go of any stream
// that it gets instead.
async function turnedAway() {
  let why = 'the server refused this page; reload to try again';
  const abort = new AbortController();
  try {
    const response = await fetch('/api/events', {signal: abort.signal});
    if (response.status === 503) why = `${(await response.json()).error}; close one and reload`;
  } catch {
    // The server has gone: the reason stays unknown.
  }
  abort.abort();
  showStatus(why, true);
}

wirePicture();
wireButtons();
listen();
