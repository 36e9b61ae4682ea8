"""fsim's web page driven in headless Chromium: starting `fsim ... --web 0`, the browser, and what a
person does on the page (click and hold the keys, type, use the panels), each followed by a wait
for what the page then shows. Shared by the browser test and the page's benchmark.

Nothing here depends on how fast the machine is: every wait polls for a condition, with a
generous timeout."""

import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


def available():
    """Why the browser cannot run here, or None."""
    for path in (CHROMIUM, CHROMEDRIVER):
        if not os.access(path, os.X_OK):
            return f"{path} is not installed"
    return None


def wait_until(condition, what, timeout=30.0, every=0.05):
    """Polls `condition` until it gives something true; AssertionError naming `what` after
    `timeout` seconds."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(every)


class Fsim:
    """One `fsim <app> --web 0 ...` process; its page's address is the first line it prints."""

    def __init__(self, fsim, app, *args):
        self.log = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(
            [fsim, app, "--web", "0", *args],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        ready, _, _ = select.select([self.process.stdout], [], [], 60)
        line = self.process.stdout.readline().strip() if ready else ""
        if not line.startswith("http://127.0.0.1:"):
            self.stop(check=False)
            raise AssertionError(f"fsim printed no address first, but {line!r}: {self.stderr()}")
        self.url = line

    def stderr(self):
        self.log.seek(0)
        return self.log.read()

    def running(self):
        return self.process.poll() is None

    def stop(self, check=True):
        """SIGTERM, as Ctrl-C: fsim ends the app and exits 0."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                raise AssertionError("fsim did not end on SIGTERM")
        if check and self.process.returncode != 0:
            raise AssertionError(f"fsim exited {self.process.returncode}: {self.stderr()}")


class Browser:
    """Headless Chromium with a profile of its own, removed at the end."""

    def __init__(self, width=1400, height=1000):
        self.profile = tempfile.mkdtemp(prefix="fsim-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                    "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync",
                    "--disable-dev-shm-usage", f"--window-size={width},{height}",
                    f"--user-data-dir={self.profile}"):
            options.add_argument(arg)
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_script_timeout(30)

    def quit(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)


class Page:
    """fsim's page in one tab of the browser."""

    def __init__(self, browser, url, new_tab=False):
        self.d = browser.driver
        if new_tab:
            self.d.switch_to.new_window("tab")
        self.handle = self.d.current_window_handle
        self.d.get(url)
        wait_until(lambda: self.js("return window.fsim && window.fsim.state.frame !== null"),
                   "the page's first frame")

    def focus(self):
        self.d.switch_to.window(self.handle)

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def texts(self):
        return self.js("return window.fsim.state.frame.texts.map(t => t.s)")

    def selected(self):
        return self.js("return window.fsim.state.frame.texts.filter(t => t.inv).map(t => t.s)")

    def seq(self):
        return self.js("return window.fsim.stats.lastSeq")

    def shows(self, text):
        return any(text in s for s in self.texts())

    def wait_text(self, text, timeout=30):
        wait_until(lambda: self.shows(text), f"{text!r} on the screen (it shows {self.texts()})",
                   timeout)

    def wait_gone(self, text, timeout=30):
        wait_until(lambda: not self.shows(text), f"{text!r} to leave the screen", timeout)

    def button(self, key):
        return self.d.find_element(By.CSS_SELECTOR, f'.key[data-key="{key}"]')

    def click_key(self, key):
        """A click of a key's button: pointer down, then up."""
        ActionChains(self.d).click(self.button(key)).perform()

    def press(self, key, then):
        """Clicks a key and waits until the screen shows `then`."""
        self.click_key(key)
        self.wait_text(then)

    def hold_key_until(self, key, condition, what):
        """Holds a key's button down until `condition` holds, then lets go."""
        ActionChains(self.d).click_and_hold(self.button(key)).perform()
        try:
            wait_until(condition, what)
        finally:
            ActionChains(self.d).release().perform()

    def type(self, keys):
        """Keys of the computer's keyboard, each down and up."""
        ActionChains(self.d).send_keys(keys).perform()

    def back_to(self, text, presses=8):
        """Back until the screen shows `text`."""
        for _ in range(presses):
            if self.shows(text):
                return
            before = self.seq()
            self.click_key("back")
            wait_until(lambda: self.seq() != before, "the screen to change on Back")
        self.wait_text(text)

    def select(self, text, key="down", presses=12):
        """Moves with `key` until the selected string contains `text`."""
        for _ in range(presses):
            if any(text in s for s in self.selected()):
                return
            before = self.selected()
            self.click_key(key)
            wait_until(lambda: self.selected() != before, f"the selection to move off {before}")
        assert any(text in s for s in self.selected()), f"{text!r} never selected"

    def wait_control(self, driving):
        wait_until(lambda: self.js("return window.fsim.state.driving") == driving,
                   "this page to drive the app" if driving else "this page to watch")

    def reply(self):
        """The last message fsim answered with, as the page shows it."""
        return self.d.find_element(By.ID, "toast").text
