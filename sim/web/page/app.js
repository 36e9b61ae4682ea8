// fsim's page: the app's screen and keys, its outputs and log, the hardware's panels, screenshots
// and the scenario recorder, over one WebSocket to fsim (/ws).
//
// For tests and measurements, window.fsim holds the state and the figures: frames drawn, their
// bytes, and each frame's time from the app's commit to the browser's next paint.

import { Screen } from './screen.js';
import { Keys } from './keys.js';
import { CardPanel, ModulePanels, WalkPanel, download } from './panels.js';

const $ = (id) => document.getElementById(id);

const state = {
  hello: null,
  frame: null,       // the last frame's header
  keyboard: false,   // the on-screen keyboard shows
  driving: false,
  recording: false,
  vt: 0, vtAt: 0, speed: 1, running: true,
  recordings: [],    // the texts of the recordings made here
};
const stats = { frames: 0, frameBytes: 0, latencies: [], messages: 0, bytes: 0, closed: null };
window.fsim = { state, stats, downloads: [] };

const screen = new Screen($('screen'));
let socket = null;

function send(message) {
  if (!socket || socket.readyState !== WebSocket.OPEN) return;
  socket.send(message instanceof Uint8Array ? message : JSON.stringify(message));
}

let toastTimer = 0;
function notify(ok, text) {
  const toast = $('toast');
  toast.textContent = text;
  toast.className = `toast ${ok ? 'good' : 'bad'}`;
  toast.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { toast.hidden = true; }, ok ? 3000 : 6000);
}

const keys = new Keys(send, () => state.keyboard && state.driving);
const modulePanels = new ModulePanels(send, notify);
const card = new CardPanel(send, notify);
const walk = new WalkPanel(send);
window.fsim.panels = { modulePanels, card, walk };

// --- zoom ----------------------------------------------------------------------------------
const zoom = $('zoom');
const savedZoom = Number(localStorage.getItem('fsim-zoom'));
if ([1, 2, 3, 4, 5, 6, 8].includes(savedZoom)) zoom.value = String(savedZoom);
screen.setZoom(Number(zoom.value));
zoom.addEventListener('change', () => {
  screen.setZoom(Number(zoom.value));
  localStorage.setItem('fsim-zoom', zoom.value);
});

// --- the screen's strings --------------------------------------------------------------------
function showTexts(texts) {
  const items = texts.filter((t) => t.s.trim() !== '').map((t) => {
    const li = document.createElement('li');
    li.textContent = t.s;
    if (t.inv) {
      li.classList.add('selected');
      li.setAttribute('aria-current', 'true');
    }
    if (state.recording) {
      const check = document.createElement('button');
      check.type = 'button';
      check.className = 'check';
      check.textContent = '+ check';
      check.title = 'add an expect-text step for this string';
      check.addEventListener('click', () => send({ t: 'expect', text: t.s }));
      li.append(check);
    }
    return li;
  });
  $('texts').replaceChildren(...items);
}

// A click on a string on the screen itself adds its check too, while recording.
$('screen').addEventListener('click', (e) => {
  $('device').focus({ preventScroll: true });
  if (!state.recording || !state.frame) return;
  const rect = e.target.getBoundingClientRect();
  const x = ((e.clientX - rect.left) / rect.width) * 128;
  const y = ((e.clientY - rect.top) / rect.height) * 64;
  const hit = state.frame.texts.find((t) => t.s.trim() && x >= t.x - 1 && x <= t.x + t.w + 1 && y >= t.y - 1 && y <= t.y + t.h + 1);
  if (hit) send({ t: 'expect', text: hit.s });
});

function onFrame(header, pixels, size) {
  // The frame a page gets as it connects was drawn before it: not a change to time.
  const fresh = state.frame !== null;
  state.frame = header;
  state.keyboard = header.keyboard;
  screen.draw(pixels);
  showTexts(header.texts);
  stats.frames += 1;
  stats.frameBytes += size;
  // The pixels reach the page with the next paint.
  if (fresh) requestAnimationFrame(() => {
    const latency = performance.timeOrigin + performance.now() - header.at;
    stats.latencies.push(latency);
    if (stats.latencies.length > 5000) stats.latencies.shift();
  });
  stats.lastSeq = header.seq;
}

// --- outputs -------------------------------------------------------------------------------
let blinkAnimation = null;
function showStatus(s) {
  state.vt = s.vt;
  state.vtAt = performance.now();
  const dot = $('led-dot');
  const steady = s.led === 'off' ? '#8d897f' : s.led;
  blinkAnimation?.cancel();
  blinkAnimation = null;
  dot.style.background = steady;
  dot.style.boxShadow = s.led === 'off' && !s.blink ? 'none' : `0 0 8px ${s.blink ? s.blink.color : s.led}`;
  if (s.blink && s.blink.period > 0) {
    const on = Math.min(1, s.blink.on / s.blink.period);
    blinkAnimation = dot.animate([
      { background: s.blink.color, offset: 0 },
      { background: s.blink.color, offset: on },
      { background: steady, offset: on },
      { background: steady, offset: 1 },
    ], { duration: s.blink.period, iterations: Infinity });
  }
  $('led-text').textContent = s.led_text.replace(/^LED /, '');
  const flag = (id, on, text) => {
    $(id).textContent = text;
    $(id).className = on ? 'on-text' : '';
  };
  flag('vibro', s.vibro, s.vibro ? 'ON' : 'off');
  flag('speaker', s.speaker > 0, s.speaker > 0 ? `${Math.round(s.speaker)} Hz` : 'off');
  flag('otg', s.otg, s.otg ? 'on' : 'off');
}

// The virtual clock runs on between status messages at the run's speed.
setInterval(() => {
  if (!state.hello || !state.running) return;
  const vt = state.vt + ((performance.now() - state.vtAt) / 1000) * state.speed;
  $('vtime').textContent = `${vt.toFixed(1)} s`;
}, 100);

// --- log -----------------------------------------------------------------------------------
function addLog(items) {
  const log = $('log');
  const atEnd = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
  for (const line of items) {
    const div = document.createElement('div');
    div.className = `line ${line.level}`;
    const t = document.createElement('span');
    t.className = 't';
    t.textContent = `${(line.ms / 1000).toFixed(3)} `;
    const tag = document.createElement('span');
    tag.className = 'tag';
    tag.textContent = `[${line.level}][${line.tag}] `;
    div.append(t, tag, line.text);
    log.append(div);
  }
  while (log.childElementCount > 500) log.firstElementChild.remove();
  if (atEnd) log.scrollTop = log.scrollHeight;
}

// --- who drives ----------------------------------------------------------------------------
function showControl(c) {
  state.driving = c.you;
  const pages = c.pages > 1 ? ` · ${c.pages} pages open` : '';
  $('control').textContent = c.you ? `You drive the app${pages}` : `Watching: another page drives the app${pages}`;
  $('control').className = `pill ${c.you ? 'good' : ''}`;
  $('take-control').hidden = c.you;
  document.body.classList.toggle('watching', !c.you);
  if (!c.you) keys.releaseAll();
}
$('take-control').addEventListener('click', () => send({ t: 'control' }));

// --- the app ended -------------------------------------------------------------------------
function showApp(a) {
  state.running = a.running;
  $('ended').hidden = a.running;
  if (!a.running) {
    const name = state.hello?.app ?? 'The app';
    $('ended-text').textContent = `${name} has ended${a.code !== undefined ? ` (exit code ${a.code})` : ''}.`;
  }
}
$('start-app').addEventListener('click', () => send({ t: 'start' }));

// --- screenshot and recorder ---------------------------------------------------------------
$('shot').addEventListener('click', () => send({ t: 'shot' }));

$('record').addEventListener('click', () => {
  if (state.recording) {
    send({ t: 'record', on: false });
    return;
  }
  const app = state.hello?.app ?? 'the app';
  if (confirm(`Recording starts ${app} again from its first screen, so that the scenario replays from its start.\n` +
    'The card\'s files and the tags in the field go into it as they are now. Record?')) {
    send({ t: 'record', on: true });
  }
});

function showRecord(r) {
  state.recording = r.on;
  const button = $('record');
  button.textContent = r.on ? '■ Stop recording' : '● Record';
  button.classList.toggle('on', r.on);
  $('record-state').textContent = r.on ? `recording: ${r.steps} step${r.steps === 1 ? '' : 's'} · click a string to check it` : '';
  state.replay = r.replay;
  if (state.frame) showTexts(state.frame.texts);
}

function onRecording(r) {
  state.recordings.push(r.text);
  download(r.name, new Blob([r.text], { type: 'text/yaml' }));
  const replay = $('replay');
  replay.hidden = false;
  const again = document.createElement('button');
  again.type = 'button';
  again.textContent = 'Download again';
  again.addEventListener('click', () => download(r.name, new Blob([r.text], { type: 'text/yaml' })));
  const code = document.createElement('code');
  code.textContent = state.replay;
  replay.replaceChildren(`Saved ${r.name}. Replay it with `, code, ' ', again);
}

// --- messages ------------------------------------------------------------------------------
function onHello(h) {
  state.hello = h;
  state.speed = h.speed;
  document.title = `fsim · ${h.app}`;
  $('app-name').textContent = h.app;
  modulePanels.show(h);
  card.show(h);
  walk.show(h);
}

function onText(m) {
  switch (m.t) {
    case 'hello': return onHello(m);
    case 'control': return showControl(m);
    case 'status': return showStatus(m);
    case 'app': return showApp(m);
    case 'log': return addLog(m.items);
    case 'module': return modulePanels.module(m);
    case 'files': return card.files(m);
    case 'walk': return walk.walk(m);
    case 'pulse': return walk.pulse(m.items);
    case 'step': return walk.step(m.items);
    case 'record': return showRecord(m);
    case 'recording': return onRecording(m);
    case 'reply':
      if (card.reply(m)) return undefined;
      return notify(m.ok, m.text);
    default: return undefined;
  }
}

function onBinary(buffer) {
  const bytes = new Uint8Array(buffer);
  const length = new DataView(buffer).getUint32(0, true);
  const header = JSON.parse(new TextDecoder().decode(bytes.subarray(4, 4 + length)));
  const payload = bytes.subarray(4 + length);
  if (header.t === 'frame') onFrame(header, payload, buffer.byteLength);
  else if (header.t === 'file') card.file(header, payload);
  else if (header.t === 'png') download(header.name, new Blob([payload], { type: 'image/png' }));
}

function connect() {
  socket = new WebSocket(`ws://${location.host}/ws`);
  socket.binaryType = 'arraybuffer';
  socket.addEventListener('open', () => {
    $('connection').textContent = 'connected';
    $('connection').className = 'pill good';
    document.body.classList.remove('offline');
  });
  socket.addEventListener('message', (e) => {
    stats.messages += 1;
    if (typeof e.data === 'string') {
      stats.bytes += e.data.length;
      onText(JSON.parse(e.data));
    } else {
      stats.bytes += e.data.byteLength;
      onBinary(e.data);
    }
  });
  socket.addEventListener('close', (e) => {
    stats.closed = { code: e.code, reason: e.reason };
    keys.releaseAll();
    document.body.classList.add('offline');
    $('connection').textContent = e.reason ? `disconnected: ${e.reason}` : 'disconnected: is fsim still running?';
    $('connection').className = 'pill bad';
  });
}

connect();
