#!/usr/bin/python3
"""fsim's web page in a real browser (headless Chromium driven by chromedriver), one browser for
every case:

- corvane: a tag added from the field's panel, read, and saved under a name typed on the page,
  with a long press of Back (held until it deleted twice, which only a held key does) on the way;
  the .uhf file checked on the card;
- a file uploaded to the card, then found and opened in the app;
- a recording (keys, a fault, an unplugged module, checks clicked on the screen's strings)
  replayed by `fsim --scenario`, which passes;
- a second tab watches and may not press; a WebSocket from another origin is refused; malformed
  and oversized messages are answered with a close and a reason, the app running on;
- the canvas holds the screen pixel for pixel as the screenshot button's PNG does;
- pacewick counting a walk started and stopped from the page.

    tests/web/browser_test.py --fsim build/sim/fsim [--page-screenshot docs/fsim-web.png]

Exit 0: passed; 1: failed; 77: skipped (no Chromium, chromedriver or selenium)."""

import argparse
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
try:
    import fsim_page
    from fsim_page import Browser, Fsim, Page, wait_until
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError as error:
    print(f"SKIP: {error}")
    sys.exit(77)

EPC = "30751FEB705C5904E3D50D70"
TID = "E2003412B802011234567890"
USER = "00112233445566778899AABB"
GATE = ("Filetype: Flipper UHF RFID device\nVersion: 1\nPC: 30 00\nCRC: F9 83\nEPC_LENGTH: 12\n"
        "EPC: E2 00 00 17 22 10 01 23 45 67 89 AB\nTID_LENGTH: 12\n"
        "TID: E2 00 34 12 01 23 45 67 89 AB CD EF\nUSER_LENGTH: 10\n"
        "USER: 00 11 22 33 44 55 66 77 88 99\n")


STARTED = time.monotonic()


def step(text):
    """Prints what the test does next, with the seconds since it started: a slow step shows."""
    print(f"- [{time.monotonic() - STARTED:5.1f} s] {text}", flush=True)


def add_tag(page):
    form = page.d.find_element(By.ID, "tag-form")
    form.find_element(By.NAME, "epc").send_keys(EPC)
    form.find_element(By.NAME, "tid").send_keys(TID)
    form.find_element(By.NAME, "user").send_keys(USER)
    page.d.find_element(By.ID, "tag-submit").click()
    wait_until(lambda: page.d.find_elements(By.CSS_SELECTOR, '#tags tr[data-tag="1"]'),
               "the tag in the field's list")


def read_and_save(page, sd):
    step("a tag added from the panel, read, saved under a typed name, with a long press")
    page.wait_text("Module Info")
    add_tag(page)
    page.press("right", "Read Tag")
    page.type(Keys.ENTER)
    page.wait_text("Read Success")
    page.wait_text("3400")  # the PC of a 12-byte EPC with User memory
    page.press("right", "Change Key")
    page.type(Keys.ENTER)
    page.wait_text("Name the tag")
    page.type("tag_xy")
    page.wait_text("Tag_xy")

    def field():
        return max((s for s in page.texts() if s and "Tag_xy".startswith(s)), key=len, default="")

    # A short Back leaves the keyboard; held, Back deletes at Long and at every Repeat: held
    # until it deleted twice (or more, when the page is slow to let go).
    page.hold_key_until("back", lambda: len(field()) <= 4, "a held Back to delete twice")
    assert page.shows("Name the tag"), f"a held Back left the keyboard: {page.texts()}"
    page.type("tag_2"[len(field()):])
    page.wait_text("Tag_2")
    page.type(Keys.ENTER)
    page.wait_text("Saved!")
    saved = os.path.join(sd, "apps_data", "corvane", "Tag_2.uhf")
    wait_until(lambda: os.path.exists(saved), "Tag_2.uhf on the card")
    with open(saved) as f:
        content = f.read()
    assert "EPC: 30 75 1F EB 70 5C 59 04 E3 D5 0D 70\n" in content, content
    assert "USER: 00 11 22 33 44 55 66 77 88 99 AA BB\n" in content, content
    wait_until(lambda: page.d.find_elements(By.CSS_SELECTOR, '#files tr[data-file="Tag_2.uhf"]'),
               "Tag_2.uhf in the card's panel")


def upload_and_open(page, sd, work):
    step("a file uploaded to the card, then opened in the app")
    path = os.path.join(work, "Gate.uhf")
    with open(path, "w") as f:
        f.write(GATE)
    page.d.find_element(By.ID, "upload").send_keys(path)
    wait_until(lambda: page.d.find_elements(By.CSS_SELECTOR, '#files tr[data-file="Gate.uhf"]'),
               "Gate.uhf in the card's panel")
    with open(os.path.join(sd, "apps_data", "corvane", "Gate.uhf")) as f:
        assert f.read() == GATE
    page.back_to("Read Tag")
    page.select("Saved")
    page.press("ok", "Gate")
    page.select("Gate")
    page.press("ok", "Info")
    page.select("Info")
    page.press("ok", "EPC Bank")
    page.wait_text("Length: 12 bytes")


def record_and_replay(page, fsim, work):
    step("a recording replayed by fsim --scenario")
    page.d.find_element(By.ID, "record").click()
    page.d.switch_to.alert.accept()
    wait_until(lambda: page.js("return window.fsim.state.recording"), "the recording to start")
    page.wait_text("Module Info")

    def check(text):
        before = page.js("return document.getElementById('record-state').textContent")
        item = next(li for li in page.d.find_elements(By.CSS_SELECTOR, "#texts li")
                    if li.text.startswith(text))
        item.find_element(By.CSS_SELECTOR, "button.check").click()
        wait_until(lambda: page.js("return document.getElementById('record-state').textContent")
                   != before, f"the check of {text!r} recorded")

    check("Module Info")
    page.press("right", "Read Tag")
    check("Read Tag")
    page.type(Keys.ENTER)
    page.wait_text("Read Success")
    check("Read Success")
    page.back_to("Read Tag")
    page.d.find_element(By.CSS_SELECTOR, '[data-fault="silence"]').click()
    page.d.find_element(By.ID, "plug").click()
    wait_until(lambda: "UNPLUGGED" in page.d.find_element(By.ID, "module-state").text,
               "the module unplugged")
    page.d.find_element(By.ID, "record").click()
    text = wait_until(lambda: page.js("return window.fsim.state.recordings[0]"), "the recording")
    for expected in ("card-file:", "tag-enter:", "press: right", "press: ok",
                     'expect-text: "Read Success"', "module: {fault: silence}", "module: unplug"):
        assert expected in text, f"{expected!r} not in the recording:\n{text}"
    scenario = os.path.join(work, "recorded.yaml")
    with open(scenario, "w") as f:
        f.write(text)
    replay = subprocess.run([fsim, "corvane", "--no-tags", "--scenario", scenario],
                            capture_output=True, text=True, timeout=120)
    assert replay.returncode == 0, f"the replay failed:\n{replay.stdout}{replay.stderr}\n{text}"
    # Plugged in again for what follows.
    page.d.find_element(By.ID, "plug").click()
    wait_until(lambda: "plugged in" in page.d.find_element(By.ID, "module-state").text,
               "the module plugged in")


def second_tab(browser, page):
    step("a second tab watches the screen and may not press")
    page.back_to("Read Tag")
    other = Page(browser, page.d.current_url, new_tab=True)
    other.wait_control(False)
    assert other.texts() == page.texts()
    before = page.seq()
    other.click_key("down")
    wait_until(lambda: "another page drives the app" in other.reply(), "the refusal")
    assert page.seq() == before, "a watching page pressed a key"
    other.d.close()
    page.focus()
    page.wait_control(True)
    page.press("down", "Saved")


class OtherSite(http.server.BaseHTTPRequestHandler):
    """A page of another origin that tries fsim's WebSocket."""
    target = ""
    timeout = 5  # a connection Chromium opens ahead and never uses ends after this

    def do_GET(self):
        body = ("<!doctype html><script>window.result = 'pending';"
                f"const w = new WebSocket('{self.target}');"
                "w.onopen = () => { window.result = 'open'; };"
                "w.onclose = (e) => { if (window.result === 'pending') window.result = 'refused'; };"
                "</script>").encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def guarded_socket(browser, page, fsim_url):
    step("a WebSocket from another origin is refused")
    OtherSite.target = fsim_url.replace("http://", "ws://") + "ws"
    # Chromium may open a connection ahead of need and leave it idle for a minute and more: served
    # one at a time, it would hold up the server's shutdown until Chromium dropped it.
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), OtherSite)
    server.daemon_threads = True
    server.block_on_close = False
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        page.d.switch_to.new_window("tab")
        page.d.get(f"http://127.0.0.1:{server.server_port}/")
        result = wait_until(lambda: page.js("return window.result") != "pending" and
                            page.js("return window.result"), "the other site's socket")
        assert result == "refused", f"a page of another origin got fsim's socket: {result}"
        page.d.close()
        page.focus()
    finally:
        server.shutdown()
        server.server_close()

    step("malformed and oversized messages close that socket with a reason; the app runs on")
    cases = [
        ("{not json", 1008, "not JSON"),
        ('{"t":"key","key":"sideways","down":true}', 1008, "'key' must be one of"),
        ('{"t":"key","key":"up","down":true,"extra":1}', 1008, "unknown field 'extra'"),
        ('{"t":"launch"}', 1008, "unknown command 'launch'"),
        ("x" * 70000, 1009, "message too big"),
    ]
    for message, code, reason in cases:
        closed = page.d.execute_async_script("""
            const [message, done] = arguments;
            const w = new WebSocket(`ws://${location.host}/ws`);
            w.onopen = () => w.send(message);
            w.onclose = (e) => done([e.code, e.reason]);""", message)
        assert closed[0] == code and reason in closed[1], f"{message[:40]!r}: closed with {closed}"
    assert page.js("return window.fsim.stats.closed") is None, "the page's own socket closed"
    page.press("up", "Read Tag")


def pixels(page):
    step("the canvas holds the screenshot button's PNG pixel for pixel")
    page.d.find_element(By.ID, "zoom").send_keys("4")
    page.d.find_element(By.ID, "shot").click()
    wait_until(lambda: page.js("return window.fsim.downloads.some(d => d.name.endsWith('.png'))"),
               "the screenshot's download")
    result = page.d.execute_async_script("""
        const done = arguments[0];
        const shot = window.fsim.downloads.filter(d => d.name.endsWith('.png')).at(-1);
        createImageBitmap(shot.blob).then((image) => {
          const c = document.createElement('canvas');
          c.width = image.width; c.height = image.height;
          const g = c.getContext('2d');
          g.drawImage(image, 0, 0);
          const png = g.getImageData(0, 0, c.width, c.height).data;
          const screen = document.getElementById('screen');
          const shown = screen.getContext('2d').getImageData(0, 0, screen.width, screen.height).data;
          let differ = 0;
          for (let i = 0; i < png.length; i += 4)
            if (png[i] !== shown[i] || png[i + 1] !== shown[i + 1] || png[i + 2] !== shown[i + 2]) ++differ;
          done([image.width, image.height, screen.width, screen.height, differ, shot.name]);
        });""")
    assert result[:4] == [512, 256, 512, 256], f"sizes: {result}"
    assert result[4] == 0, f"{result[4]} pixels differ from {result[5]}"


def pacewick(browser, fsim):
    step("pacewick counts a walk started and stopped from the page")
    app = Fsim(fsim, "pacewick")
    try:
        page = Page(browser, app.url)
        page.wait_text("Steps: 0")
        page.press("ok", "STOP")
        page.d.find_element(By.ID, "walk-toggle").click()
        walk = lambda key: page.js(f"return window.fsim.panels.walk.last?.{key}")
        wait_until(lambda: (walk("counted") or 0) >= 8, "eight steps counted")
        page.d.find_element(By.ID, "walk-toggle").click()
        wait_until(lambda: walk("walking") is False, "the walker to stop")
        # The last step ends; its count follows within a pulse or two.
        wait_until(lambda: abs(walk("counted") - walk("true")) <= max(1, 0.15 * walk("true")),
                   "the count to match the true steps", timeout=10)
        assert page.js("return window.fsim.panels.walk.pulses.length") > 100, "no pulses plotted"
        assert page.js("return window.fsim.panels.walk.steps.length") >= 8, "no steps marked"
        page.d.close()
    finally:
        app.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--fsim", required=True)
    parser.add_argument("--page-screenshot", help="save the page with a read tag here (PNG)")
    args = parser.parse_args()
    if why := fsim_page.available():
        print(f"SKIP: {why}")
        return 77
    fsim = os.path.abspath(args.fsim)
    work = tempfile.mkdtemp(prefix="fsim-browser-")
    sd = os.path.join(work, "sd")
    browser = None
    app = None
    try:
        step("Chromium and chromedriver start")
        browser = Browser()
        step("fsim corvane starts")
        app = Fsim(fsim, "corvane", "--sd", sd, "--no-tags")
        page = Page(browser, app.url)
        read_and_save(page, sd)
        upload_and_open(page, sd, work)
        record_and_replay(page, fsim, work)
        second_tab(browser, page)
        guarded_socket(browser, page, app.url)
        pixels(page)
        if args.page_screenshot:
            page.back_to("Read Tag")
            page.select("Read Tag", key="up")
            page.press("ok", "Read Success")
            page.d.save_screenshot(args.page_screenshot)
            step(f"the page saved to {args.page_screenshot}")
        step("fsim corvane stops")
        app.stop()
        app = None
        pacewick(browser, fsim)
        step("Chromium quits")
        browser.quit()
        browser = None
        step("PASS")
        return 0
    except AssertionError as error:
        print(f"FAIL: {error}")
        if app is not None:
            print(f"--- fsim's stderr:\n{app.stderr()}")
        traceback.print_exc()
        return 1
    finally:
        if app is not None:
            app.stop(check=False)
        if browser is not None:
            browser.quit()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
