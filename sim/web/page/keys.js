// The device's keys: the buttons beside the screen (pressed while the pointer holds them) and the
// computer's keyboard, both with real key down and key up, so that holding gives the device's long
// press and repeats. While the on-screen keyboard shows, letters, digits and _ type into it,
// Backspace deletes and Enter presses its save key.

const KEYBOARD = {
  ArrowUp: 'up', ArrowDown: 'down', ArrowLeft: 'left', ArrowRight: 'right',
  Enter: 'ok', Backspace: 'back', Escape: 'back',
};

function editing(target) {
  return target instanceof HTMLElement &&
    (target.isContentEditable || ['INPUT', 'TEXTAREA', 'SELECT'].includes(target.tagName));
}

export class Keys {
  /// send(message) sends to fsim; keyboardShown() tells whether the on-screen keyboard shows.
  constructor(send, keyboardShown) {
    this.send = send;
    this.keyboardShown = keyboardShown;
    this.down = new Map(); // device key -> what holds it ('pointer' or a keyboard code)
    this.buttons = new Map();
    for (const button of document.querySelectorAll('.key[data-key]')) {
      this.buttons.set(button.dataset.key, button);
      this.bindButton(button);
    }
    document.addEventListener('keydown', (e) => this.keydown(e));
    document.addEventListener('keyup', (e) => this.keyup(e));
    // A key held while the page loses the keyboard would never come up: let go of all.
    window.addEventListener('blur', () => this.releaseAll());
    document.addEventListener('visibilitychange', () => { if (document.hidden) this.releaseAll(); });
  }

  press(key, holder) {
    if (this.down.has(key)) return;
    this.down.set(key, holder);
    this.buttons.get(key)?.classList.add('pressed');
    this.send({ t: 'key', key, down: true });
  }

  release(key) {
    if (!this.down.has(key)) return;
    this.down.delete(key);
    this.buttons.get(key)?.classList.remove('pressed');
    this.send({ t: 'key', key, down: false });
  }

  releaseAll() {
    for (const key of [...this.down.keys()]) this.release(key);
  }

  bindButton(button) {
    const key = button.dataset.key;
    button.addEventListener('pointerdown', (e) => {
      if (e.button !== 0) return;
      e.preventDefault();
      // The device takes the keyboard too, from whatever had it (a form's button).
      document.getElementById('device').focus({ preventScroll: true });
      button.setPointerCapture(e.pointerId);
      this.press(key, 'pointer');
    });
    const up = () => { if (this.down.get(key) === 'pointer') this.release(key); };
    button.addEventListener('pointerup', up);
    button.addEventListener('pointercancel', up);
    button.addEventListener('lostpointercapture', up);
    // Activated without a pointer (a screen reader, the keyboard on a focused button): a short press.
    button.addEventListener('click', (e) => {
      if (e.detail !== 0) return;
      this.press(key, 'click');
      this.release(key);
    });
    button.addEventListener('contextmenu', (e) => e.preventDefault());
  }

  keydown(e) {
    if (e.ctrlKey || e.altKey || e.metaKey || editing(e.target)) return;
    if (this.keyboardShown()) {
      if (e.key.length === 1 && /^[A-Za-z0-9_]$/.test(e.key)) {
        e.preventDefault();
        this.send({ t: 'type', text: e.key.toLowerCase() });
        return;
      }
      if (e.key === 'Backspace' || e.key === 'Enter') {
        e.preventDefault();
        if (!e.repeat) this.send({ t: e.key === 'Enter' ? 'save' : 'erase' });
        return;
      }
    }
    const key = KEYBOARD[e.key];
    if (!key) return;
    // Enter or Space on a focused button of the page's own is that button's.
    if (e.target instanceof HTMLButtonElement && !e.target.dataset.key && e.key === 'Enter') return;
    e.preventDefault();
    if (e.repeat) return; // the device repeats by itself while the key stays down
    this.press(key, e.code);
  }

  keyup(e) {
    const key = KEYBOARD[e.key];
    if (!key) return;
    for (const [held, holder] of this.down) {
      if (holder === e.code) {
        e.preventDefault();
        this.release(held);
      }
    }
  }
}
