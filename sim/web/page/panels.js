// The hardware beside the device: corvane's reader module, the tags in its field and the SD card;
// pacewick's walk with its plot.

const $ = (id) => document.getElementById(id);

function element(tag, attributes = {}, ...children) {
  const e = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (name === 'class') e.className = value;
    else if (name.startsWith('on')) e.addEventListener(name.slice(2), value);
    else if (value !== undefined && value !== null && value !== false) e.setAttribute(name, value);
  }
  for (const child of children) {
    if (child !== null && child !== undefined) e.append(child);
  }
  return e;
}

function spaced(hex) {
  return hex.replace(/(..)/g, '$1 ').trim();
}

function kib(size) {
  return size < 1024 ? `${size} B` : `${(size / 1024).toFixed(1)} KiB`;
}

export class ModulePanels {
  constructor(send, notify) {
    this.send = send;
    this.notify = notify;
    this.editing = null; // the tag number being edited
    this.plugged = true;
    $('plug').addEventListener('click', () => this.send({ t: 'plug', plugged: !this.plugged }));
    for (const button of document.querySelectorAll('[data-fault]')) {
      button.addEventListener('click', () => this.send({ t: 'fault', kind: button.dataset.fault }));
    }
    $('refuse-write').addEventListener('click', () => this.send({ t: 'refuse-write' }));
    $('tag-form').addEventListener('submit', (e) => { e.preventDefault(); this.submitTag(); });
    $('tag-cancel').addEventListener('click', () => this.editTag(null));
  }

  show(hello) {
    $('module-panel').hidden = !hello.module;
    $('field-panel').hidden = hello.module !== 'virtual';
  }

  module(m) {
    if (m.kind === 'real') {
      $('module-virtual').hidden = true;
      const real = $('module-real');
      real.hidden = false;
      real.replaceChildren(
        element('span', {}, 'A real YRM100 on '), element('code', {}, m.device), element('span', {}, ' · the line: '),
        element('span', { class: `state ${m.connected ? 'good' : 'bad'}` }, m.connected ? 'working' : `failed: ${m.problem}`));
      return;
    }
    this.plugged = m.plugged;
    const state = $('module-state');
    state.textContent = m.plugged ? 'Virtual YRM100 · plugged in' : 'Virtual YRM100 · UNPLUGGED';
    state.className = `state ${m.plugged ? 'good' : 'bad'}`;
    $('plug').textContent = m.plugged ? 'Unplug' : 'Plug in';
    this.tags(m.tags);
  }

  tags(tags) {
    this.known = tags;
    const rows = tags.map((tag) => {
      const toggle = element('input', {
        type: 'checkbox', 'aria-label': `tag ${tag.n} in the field`,
        onchange: (e) => this.send({ t: 'tag-field', tag: tag.n, in: e.target.checked }),
      });
      toggle.checked = tag.in;
      const locks = Object.entries(tag.locks)
        .filter(([bank, lock]) => lock !== (bank === 'tid' ? 'permanent' : 'open'))
        .map(([bank, lock]) => `${bank === 'reserved' ? 'passwords' : bank.toUpperCase()} ${lock}`)
        .join(', ') || 'as a new tag';
      const banks = element('td', { class: 'banks' },
        element('span', {}, element('b', {}, 'EPC'), tag.epc ? spaced(tag.epc) : '(none)'),
        tag.tid ? element('span', {}, element('b', {}, 'TID'), spaced(tag.tid)) : null,
        tag.user ? element('span', {}, element('b', {}, 'USER'), spaced(tag.user)) : null,
        element('span', { class: 'lockstate' }, element('b', {}, 'locks'), locks));
      return element('tr', { class: tag.in ? 'in' : 'out', 'data-tag': tag.n },
        element('td', {}, String(tag.n)),
        element('td', {}, toggle),
        banks,
        element('td', { class: 'act' },
          element('button', { type: 'button', onclick: () => this.editTag(tag) }, 'Edit'), ' ',
          element('button', { type: 'button', onclick: () => this.send({ t: 'tag-remove', tag: tag.n }) }, 'Remove')));
    });
    if (!rows.length) rows.push(element('tr', {}, element('td', { colspan: 4, class: 'note' }, 'No tags: add one below.')));
    $('tags').replaceChildren(...rows);
  }

  editTag(tag) {
    const form = $('tag-form');
    this.editing = tag ? tag.n : null;
    $('tag-form-title').textContent = tag ? `Edit tag ${tag.n}` : 'Add a tag';
    $('tag-submit').textContent = tag ? 'Save the banks' : 'Add to the field';
    $('tag-cancel').hidden = !tag;
    $('lock-fields').disabled = Boolean(tag);
    form.epc.value = tag ? tag.epc : '';
    form.tid.value = tag ? tag.tid : '';
    form.user.value = tag ? tag.user : '';
    if (tag) form.epc.focus();
  }

  submitTag() {
    const form = $('tag-form');
    const clean = (text) => text.replace(/[\s-]/g, '').toUpperCase();
    const epc = clean(form.epc.value);
    const tid = clean(form.tid.value);
    const user = clean(form.user.value);
    if (this.editing === null) {
      this.send({
        t: 'tag-add', epc, tid, user,
        locks: {
          epc: form['lock-epc'].value, tid: form['lock-tid'].value,
          user: form['lock-user'].value, reserved: form['lock-reserved'].value,
        },
      });
      form.reset();
      return;
    }
    const tag = this.known.find((t) => t.n === this.editing);
    if (!tag) return this.editTag(null);
    for (const [bank, value] of [['epc', epc], ['tid', tid], ['user', user]]) {
      if (value !== tag[bank]) this.send({ t: 'tag-edit', tag: tag.n, bank, data: value });
    }
    this.editTag(null);
  }
}

export class CardPanel {
  constructor(send, notify) {
    this.send = send;
    this.notify = notify;
    this.maxUpload = 65536;
    this.pending = null; // an upload waiting for "replace?"
    $('upload').addEventListener('change', (e) => this.upload(e.target));
    $('viewer-close').addEventListener('click', () => { $('viewer').hidden = true; });
  }

  show(hello) {
    $('card-panel').hidden = !hello.card;
    this.maxUpload = hello.max_upload || this.maxUpload;
  }

  files(f) {
    $('card-folder').textContent = f.folder;
    const rows = f.files.map((file) => element('tr', { 'data-file': file.name },
      element('td', {}, file.name),
      element('td', { class: 'size' }, kib(file.size)),
      element('td', { class: 'act' },
        element('button', { type: 'button', onclick: () => this.send({ t: 'file-read', name: file.name }) }, 'View'), ' ',
        element('button', { type: 'button', onclick: () => this.send({ t: 'file-read', name: file.name, download: true }) }, 'Download'), ' ',
        element('button', {
          type: 'button',
          onclick: () => { if (confirm(`Delete ${file.name} from the card?`)) this.send({ t: 'file-delete', name: file.name }); },
        }, 'Delete'))));
    if (!rows.length) rows.push(element('tr', {}, element('td', { class: 'note' }, 'No files.')));
    $('files').replaceChildren(...rows);
  }

  /// A file's bytes came: shown as text, or saved on the user's disk.
  file(header, bytes) {
    if (header.download) {
      download(header.name, new Blob([bytes], { type: 'application/octet-stream' }));
      return;
    }
    const text = new TextDecoder('utf-8', { fatal: false }).decode(bytes);
    $('viewer-name').textContent = header.name;
    $('viewer-text').textContent = text;
    $('viewer').hidden = false;
  }

  async upload(input) {
    const file = input.files[0];
    input.value = '';
    if (!file) return;
    if (file.size > this.maxUpload) {
      this.notify(false, `${file.name} is ${kib(file.size)}: the card takes files of at most 64 KiB from here`);
      return;
    }
    this.pending = { name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) };
    this.sendUpload(false);
  }

  sendUpload(replace) {
    const { name, bytes } = this.pending;
    const header = new TextEncoder().encode(JSON.stringify({ t: 'file-upload', name, replace }));
    const message = new Uint8Array(4 + header.length + bytes.length);
    new DataView(message.buffer).setUint32(0, header.length, true);
    message.set(header, 4);
    message.set(bytes, 4 + header.length);
    this.send(message);
  }

  /// fsim answered: an upload over a file that is there asks first.
  reply(r) {
    if (this.pending && r.exists) {
      if (confirm(`${this.pending.name} is on the card already. Replace it?`)) {
        this.sendUpload(true);
        return true;
      }
      this.pending = null;
      return true;
    }
    if (this.pending && r.text.startsWith(this.pending.name)) this.pending = null;
    return false;
  }
}

/// Saves a blob on the user's disk (and keeps it in window.fsim.downloads, for tests).
export function download(name, blob) {
  window.fsim?.downloads.push({ name, blob });
  const url = URL.createObjectURL(blob);
  const a = element('a', { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

/// pacewick: walking, cadence and mount, the counts, and the plot of the pulses.
export class WalkPanel {
  constructor(send) {
    this.send = send;
    this.walking = false;
    this.pulses = []; // [virtual ms, high µs]
    this.steps = [];  // [virtual ms, count]
    this.periodMs = 10;
    this.canvas = $('plot');
    $('walk-toggle').addEventListener('click', () => this.send({ t: 'walk', walking: !this.walking }));
    $('cadence-set').addEventListener('click', () => {
      const cadence = Number($('cadence').value);
      if (cadence >= 0.1 && cadence <= 10) this.send({ t: 'gait', cadence });
    });
    $('mount').addEventListener('change', (e) => this.send({ t: 'gait', mount: e.target.value }));
  }

  show(hello) {
    $('walk-panel').hidden = !hello.walk;
  }

  walk(w) {
    this.last = w;
    this.periodMs = w.period_ms;
    if (w.trace) {
      $('walk-state').textContent = 'the sensor replays a trace';
      $('walk-toggle').disabled = true;
    } else {
      this.walking = w.walking;
      $('walk-toggle').textContent = w.walking ? 'Stop walking' : 'Start walking';
      $('walk-state').textContent = w.walking ? 'walking' : 'standing';
      $('walk-state').className = `state ${w.walking ? 'good' : ''}`;
      $('cadence-set').disabled = w.walking;
      if (document.activeElement !== $('cadence')) $('cadence').value = w.cadence.toFixed(2);
      $('mount').value = w.mount;
    }
    const counted = w.counted ?? '–';
    const steps = $('steps');
    steps.replaceChildren('Counted ', element('b', {}, String(counted)));
    if (w.true !== undefined) {
      steps.append(` · true steps ${w.true}`);
      if (w.true > 0 && w.counted !== undefined) steps.append(` (${Math.round(100 * w.counted / w.true)}%)`);
    }
  }

  pulse(items) {
    this.pulses.push(...items);
    this.trim();
    this.scheduleDraw();
  }

  step(items) {
    this.steps.push(...items);
    this.trim();
    this.scheduleDraw();
  }

  trim() {
    const last = Math.max(this.pulses.at(-1)?.[0] ?? 0, this.steps.at(-1)?.[0] ?? 0);
    const from = last - 8000;
    while (this.pulses.length && this.pulses[0][0] < from) this.pulses.shift();
    while (this.steps.length && this.steps[0][0] < from) this.steps.shift();
  }

  scheduleDraw() {
    if (this.drawing) return;
    this.drawing = true;
    requestAnimationFrame(() => { this.drawing = false; this.draw(); });
  }

  draw() {
    const c = this.canvas.getContext('2d');
    const w = this.canvas.width;
    const h = this.canvas.height;
    const left = 42;
    const bottom = h - 20;
    c.clearRect(0, 0, w, h);
    const half = this.periodMs / 2;
    const highs = this.pulses.map((p) => p[1] / 1000);
    const spread = Math.max(0.3, ...highs.map((v) => Math.abs(v - half)));
    const lo = half - spread * 1.15;
    const hi = half + spread * 1.15;
    const last = this.pulses.at(-1)?.[0] ?? 8000;
    const first = last - 8000;
    const x = (t) => left + ((t - first) / 8000) * (w - left - 8);
    const y = (v) => 8 + ((hi - v) / (hi - lo)) * (bottom - 8);
    c.font = '11px ui-monospace, monospace';
    c.fillStyle = '#9aa3ad';
    c.strokeStyle = '#323941';
    c.lineWidth = 1;
    for (const v of [lo, half, hi]) {
      c.fillText(v.toFixed(2), 2, y(v) + 4);
    }
    for (let s = Math.ceil(first / 1000); s * 1000 <= last; ++s) {
      c.beginPath(); c.moveTo(x(s * 1000), 8); c.lineTo(x(s * 1000), bottom); c.stroke();
      c.fillText(`${s} s`, x(s * 1000) - 8, h - 5);
    }
    // Half the period: the sway crosses it once a step.
    c.strokeStyle = '#fe8a2c';
    c.setLineDash([5, 4]);
    c.beginPath(); c.moveTo(left, y(half)); c.lineTo(w - 8, y(half)); c.stroke();
    c.setLineDash([]);
    // Each counted step.
    c.strokeStyle = 'rgba(91, 196, 106, 0.85)';
    c.fillStyle = 'rgba(91, 196, 106, 0.95)';
    for (const [t, n] of this.steps) {
      if (t < first) continue;
      c.beginPath(); c.moveTo(x(t), 8); c.lineTo(x(t), bottom); c.stroke();
      c.fillText(String(n), x(t) + 2, 18);
    }
    // The high time of each pulse.
    c.strokeStyle = '#e8e6e3';
    c.lineWidth = 1.5;
    c.beginPath();
    this.pulses.forEach(([t, high], i) => {
      if (i === 0) c.moveTo(x(t), y(high / 1000));
      else c.lineTo(x(t), y(high / 1000));
    });
    c.stroke();
  }
}
