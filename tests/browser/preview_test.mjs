// The look-development page of `xray-render serve`, end to end in headless
// Chromium, on the default scene with a camera that frames its parts: the
// first picture arrives; moving the shell's `power` slider and flipping its
// `invert` change the picture where the shell is and nowhere else; dragging
// places the camera and orbits it; unticking the texture of a list's
// parameter returns it to its default; the server refuses an out-of-range value; a page opened
// after a Render shows no stale progress, a page beyond the limit says
// that it was turned away, a page open while the server restarts with
// another scene shows that scene, and it says why adaptive sampling with few
// samples does nothing.
//
// Usage: node preview_test.mjs XRAY_RENDER WORK_DIR
//        node preview_test.mjs XRAY_RENDER WORK_DIR --measure N
// WORK_DIR holds node_modules (see run.sh), the browser profile and the
// screenshots. --measure moves the slider N times on the default scene at its
// full settings and prints the median times to the first and the final picture.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';

const [xrayRender, workDir, mode, count] = process.argv.slice(2);
const work = resolve(workDir);
const { chromium } = createRequire(join(work, 'package.json'))('playwright-core');
const measuring = mode === '--measure';

// The server, on a free port or `port`; resolves with its address once it prints it.
function startServer(args, port = 0) {
  const server = spawn(xrayRender, ['serve', '--port', String(port), ...args], {
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  const address = new Promise((resolve, reject) => {
    let out = '';
    server.stdout.on('data', (chunk) => {
      out += chunk;
      const found = out.match(/http:\/\/127\.0\.0\.1:\d+\//);
      if (found) resolve(found[0]);
    });
    server.on('exit', (code) => reject(new Error(`xray-render serve exited with ${code}: ${out}`)));
  });
  return { server, address };
}

async function stopServer(server) {
  const exited = new Promise((resolve) => server.once('exit', (code, signal) => resolve({ code, signal })));
  server.kill('SIGTERM');
  assert.deepEqual(await exited, { code: 0, signal: null }, 'the server stops cleanly');
}

async function launchBrowser() {
  const profile = mkdtempSync(join(work, 'profile-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 1180, height: 760 },
  });
  return { context, close: async () => { await context.close(); rmSync(profile, { recursive: true, force: true }); } };
}

// The shown frame's edit number, or -1 before the first.
const shownEdit = (page) => page.evaluate(() => Number(document.getElementById('picture').dataset.edit ?? -1));

// Waits for a frame of an edit after `edit`: the first one, the final one,
// or the first as wide as `width`.
async function frameAfter(page, edit, final, width = 0) {
  await page.waitForFunction(([edit, final, width]) => {
    const p = document.getElementById('picture');
    return Number(p.dataset.edit ?? -1) > edit && (!final || p.dataset.final === 'true') &&
      p.complete && p.naturalWidth >= width;
  }, [edit, final, width], { timeout: 120000, polling: 'raf' });
}

// The picture's pixels as the page decoded them.
const pixels = (page) => page.evaluate(() => {
  const img = document.getElementById('picture');
  const canvas = document.createElement('canvas');
  canvas.width = img.naturalWidth;
  canvas.height = img.naturalHeight;
  const g = canvas.getContext('2d');
  g.drawImage(img, 0, 0);
  return { width: canvas.width, height: canvas.height, data: Array.from(g.getImageData(0, 0, canvas.width, canvas.height).data) };
});

const sub = (a, b) => a.map((v, i) => v - b[i]);
const dot = (a, b) => a.reduce((s, v, i) => s + v * b[i], 0);
const cross = (a, b) => [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]];
const normalize = (a) => a.map((v) => v / Math.hypot(...a));

// Where the sphere lies in the picture, as the renderer's camera sees it:
// 'in' where every ray through the pixel's corners meets the sphere shrunk a
// little, 'out' where none meets it grown a little, else 'edge'.
function sphereMask(camera, center, radius, width, height) {
  const forward = normalize(sub(camera.target, camera.eye));
  const right = normalize(cross(forward, [0, 1, 0]));
  const up = cross(right, forward);
  const halfH = Math.tan((camera.fov * Math.PI) / 360);
  const halfW = (halfH * width) / height;
  const hits = (x, y, r) => {
    const sx = ((2 * x) / width - 1) * halfW;
    const sy = (1 - (2 * y) / height) * halfH;
    const d = normalize(forward.map((f, i) => f + right[i] * sx + up[i] * sy));
    const oc = sub(center, camera.eye);
    const along = dot(oc, d);
    return along > 0 && dot(oc, oc) - along * along < r * r;
  };
  const mask = [];
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const corners = [[x, y], [x + 1, y], [x, y + 1], [x + 1, y + 1]];
      if (corners.every(([cx, cy]) => hits(cx, cy, radius * 0.97))) mask.push('in');
      else if (corners.every(([cx, cy]) => !hits(cx, cy, radius * 1.01))) mask.push('out');
      else mask.push('edge');
    }
  }
  return mask;
}

// Pixels that differ, counted inside and outside the mask.
function changes(a, b, mask) {
  const count = { in: 0, out: 0, edge: 0, inside: 0 };
  for (let i = 0; i < mask.length; ++i) {
    if (mask[i] === 'in') ++count.inside;
    for (let c = 0; c < 4; ++c) {
      if (a.data[4 * i + c] !== b.data[4 * i + c]) {
        ++count[mask[i]];
        break;
      }
    }
  }
  return count;
}

async function postEdit(page, patch) {
  return page.evaluate(async (patch) => {
    const r = await fetch('/api/edit', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(patch) });
    return { status: r.status, body: await r.json() };
  }, patch);
}

const state = (page) => page.evaluate(async () => (await fetch('/api/state')).json());

// Clicks a slider at a fraction of its length, as a user would.
async function moveSlider(page, selector, fraction) {
  const box = await page.locator(selector).boundingBox();
  await page.mouse.click(box.x + box.width * fraction, box.y + box.height / 2);
}

const powerSlider = 'input[type=range][data-path="/assign/0/xray/power"]';

async function test() {
  const started = Date.now();
  const scene = JSON.parse(readFileSync(new URL('../../scenes/default.json', import.meta.url)));
  scene.camera = { frame: '*', from: [0, 0.4, 1], fov: 36 };
  scene.assign[5].xray.mode = { texture: 'constant', a: 1 };
  writeFileSync(join(work, 'framed.json'), JSON.stringify(scene));
  // 8 connections: 4 pages at most.
  const options = ['--width', '240', '--height', '150', '--spp', '4', '--connections', '8',
    '--out', join(work, 'xray.png'), '--save', join(work, 'xray.json')];
  let { server, address } = startServer(['--scene', join(work, 'framed.json'), ...options]);
  const browser = await launchBrowser();
  try {
    const page = await browser.context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto(await address);

    await frameAfter(page, -1, true);
    const loaded = await state(page);
    const shell = loaded.scene.models.find((m) => m.name === 'shell');
    const before = await pixels(page);
    const mask = sphereMask(loaded.camera, shell.translate, shell.radius, before.width, before.height);
    console.log(`first picture ${before.width}x${before.height} after ${Date.now() - started} ms`);

    // power: the shell changes, nothing else does.
    let edit = await shownEdit(page);
    await moveSlider(page, powerSlider, 0.85);
    await frameAfter(page, edit, true);
    const powered = await pixels(page);
    const moved = changes(before, powered, mask);
    console.log(`power moved: ${moved.in} of ${moved.inside} pixels inside the shell changed, ${moved.out} outside`);
    assert.equal(moved.out, 0, 'pixels away from the shell changed');
    assert.ok(moved.in > moved.inside / 3, 'the shell barely changed');
    const power = (await state(page)).scene.assign[0].xray.power;
    assert.ok(power > 6 && power < 8, `power ${power} is not where the slider was clicked`);
    assert.equal(Number(await page.locator('input[type=number][data-path="/assign/0/xray/power"]').inputValue()).toFixed(1), power.toFixed(1));

    // invert: the same.
    edit = await shownEdit(page);
    await page.locator('input[type=checkbox][data-path="/assign/0/xray/invert"]').click();
    await frameAfter(page, edit, true);
    const inverted = changes(powered, await pixels(page), mask);
    console.log(`invert flipped: ${inverted.in} of ${inverted.inside} pixels inside the shell changed, ${inverted.out} outside`);
    assert.equal(inverted.out, 0, 'pixels away from the shell changed');
    assert.ok(inverted.in > inverted.inside / 3, 'the shell barely changed');
    assert.equal((await state(page)).scene.assign[0].xray.invert, true);
    await page.screenshot({ path: join(work, 'preview.png') });

    // Dragging the picture places the framed camera where it stands, and
    // orbits it about its target.
    edit = await shownEdit(page);
    const box = await page.locator('#picture').boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    await page.mouse.move(box.x + box.width / 2 + 60, box.y + box.height / 2 + 20, { steps: 5 });
    await page.mouse.up();
    await frameAfter(page, edit, true);
    const orbited = (await state(page)).camera;
    const distance = (c) => Math.hypot(...sub(c.eye, c.target));
    assert.notDeepEqual(orbited.eye, loaded.camera.eye, 'the camera did not move');
    assert.deepEqual(orbited.target, loaded.camera.target, 'the camera left its target');
    assert.ok(Math.abs(distance(orbited) - distance(loaded.camera)) < 1e-3, 'orbiting changed the distance');
    assert.equal((await state(page)).scene.camera.frame, undefined);

    // Unticking the texture of candy's mode returns it to its default.
    edit = await shownEdit(page);
    const candy = page.locator('details', { has: page.locator('summary', { hasText: 'candy' }) });
    await candy.locator('summary').click();
    await candy.locator('.row', { has: page.locator('[data-path="/assign/5/xray/mode"]') })
      .locator('label.note input').click();
    await frameAfter(page, edit, true);
    const mode = loaded.parameters.find((p) => p.name === 'mode');
    const unticked = (await state(page)).scene.assign[5].xray.mode ?? mode.enum[mode.default];
    assert.equal(unticked, mode.enum[mode.default]);

    // The server refuses what the declaration does not allow.
    const refused = await postEdit(page, [{ op: 'add', path: '/assign/0/xray/power', value: -1 }]);
    assert.equal(refused.status, 400);
    assert.match(refused.body.error, /\/assign\/0\/xray\/power: -1 is outside \[0, inf\)/);
    assert.deepEqual(errors, [], 'the page threw');
    assert.equal(await page.locator('#status.error').count(), 0, 'the page shows an error');

    // A page opened after a Render is told what it wrote, and no progress.
    await page.locator('#render').click();
    await page.locator('#status', { hasText: 'wrote' }).waitFor();
    const later = await browser.context.newPage();
    await later.goto(await address);
    await later.locator('#status', { hasText: 'wrote' }).waitFor();
    assert.equal(await later.locator('#progress').isHidden(), true, 'a stale progress is shown');

    // With two more streams open, a fifth page is turned away and says why.
    await later.evaluate(() => { window.held = [new EventSource('/api/events'), new EventSource('/api/events')]; });
    const away = await browser.context.newPage();
    await away.goto(await address);
    await away.locator('#status', { hasText: 'too many pages are open; close one and reload' }).waitFor();

    // Restarted on its port with the first two materials swapped: the page
    // open meanwhile draws the new scene's panels, and shows no error.
    await later.close();
    await away.close();
    const port = new URL(await address).port;
    await stopServer(server);
    [scene.assign[0], scene.assign[1]] = [scene.assign[1], scene.assign[0]];
    writeFileSync(join(work, 'swapped.json'), JSON.stringify(scene));
    ({ server, address } = startServer(['--scene', join(work, 'swapped.json'), ...options], port));
    await address;
    await page.waitForFunction(() => document.querySelector('#controls summary').textContent === 'inside/cube',
      null, { timeout: 30000 });
    const panels = await page.locator('#controls summary').allTextContents();
    assert.deepEqual(panels.slice(0, 2), ['inside/cube', 'shell']);
    await page.locator('#status.error').waitFor({ state: 'detached' });

    // Adaptive sampling with 4 samples a pixel stops no pixel early: the page says why.
    await page.locator('input[type=checkbox][data-path="/settings/adaptive"]').click();
    await page.locator('#sampling-warning', { hasText: 'adaptive sampling has no effect with 4 samples' }).waitFor();
    assert.deepEqual(errors, [], 'the page threw after the restart');
  } finally {
    await browser.close();
    await stopServer(server);
  }
  console.log(`browser test passed in ${Date.now() - started} ms; screenshot ${join(work, 'preview.png')}`);
}

// Times from a slider move to the first picture of the change and to the
// final one, on the default scene at its own settings.
async function measure(moves) {
  const { server, address } = startServer(['--out', join(work, 'xray.png'), '--save', join(work, 'xray.json')]);
  const browser = await launchBrowser();
  const first = [], full = [], final = [];
  try {
    const page = await browser.context.newPage();
    await page.goto(await address);
    await frameAfter(page, -1, true);
    const { width } = (await state(page)).scene.settings;
    for (let i = 0; i < moves; ++i) {
      const edit = await shownEdit(page);
      const start = Date.now();
      await moveSlider(page, powerSlider, 0.2 + (0.6 * i) / Math.max(1, moves - 1));
      await frameAfter(page, edit, false);
      first.push(Date.now() - start);
      await frameAfter(page, edit, false, width);
      full.push(Date.now() - start);
      await frameAfter(page, edit, true);
      final.push(Date.now() - start);
      console.log(`move ${i + 1}: first picture ${first.at(-1)} ms, full size ${full.at(-1)} ms, ` +
        `final ${final.at(-1)} ms`);
    }
  } finally {
    await browser.close();
    await stopServer(server);
  }
  const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];
  console.log(`median of ${moves} moves: first picture ${median(first)} ms, full size ` +
    `${median(full)} ms, final ${median(final)} ms`);
}

await (measuring ? measure(Number(count ?? 5)) : test());
