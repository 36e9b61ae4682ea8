#!/usr/bin/python3
"""Figures of fsim's web page, in headless Chromium:

- the time from a screen change in the app (the GUI's commit, on the wall clock) to its pixels on
  the page (the browser's next paint after drawing the frame), median and worst, over a read and
  save done on the page;
- the bytes sent per frame (the WebSocket message: header, strings, 1024 bytes of pixels);
- fsim's CPU use with the page open and idle, over 10 s (from /proc/PID/stat).

    bench/web_page.py --fsim build/sim/fsim [--runs 3]

It prints figures and asserts nothing about time."""

import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from fsim_page import Browser, Fsim, Page, wait_until  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def read_and_save(page):
    page.wait_text("Module Info")
    form = page.d.find_element(By.ID, "tag-form")
    form.find_element(By.NAME, "epc").send_keys("30751FEB705C5904E3D50D70")
    page.d.find_element(By.ID, "tag-submit").click()
    page.press("right", "Read Tag")
    page.press("ok", "Read Success")
    page.press("right", "Change Key")
    page.press("ok", "Name the tag")
    page.type("tag_1")
    page.wait_text("Tag_1")
    page.type(Keys.ENTER)
    page.wait_text("Saved!")
    page.wait_text("Change Key")


def run(fsim, browser, idle_seconds):
    sd = tempfile.mkdtemp(prefix="fsim-bench-sd-")
    app = Fsim(fsim, "corvane", "--no-tags", "--sd", sd)
    try:
        page = Page(browser, app.url)
        page.js("window.fsim.stats.latencies = []; window.fsim.stats.frames = 0;"
                "window.fsim.stats.frameBytes = 0;")
        read_and_save(page)
        time.sleep(0.5)  # the last paint's report
        stats = page.js("return window.fsim.stats")
        # Idle: the page open on a screen that does not change.
        time.sleep(1)
        start_cpu = cpu_seconds(app.process.pid)
        start = time.monotonic()
        time.sleep(idle_seconds)
        idle = (cpu_seconds(app.process.pid) - start_cpu) / (time.monotonic() - start)
        page.d.close()
        return stats, idle
    finally:
        app.stop(check=False)
        shutil.rmtree(sd, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--fsim", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    args = parser.parse_args()
    browser = Browser()
    latencies = []
    frames = 0
    frame_bytes = 0
    idles = []
    try:
        for i in range(args.runs):
            browser.driver.switch_to.new_window("tab")
            stats, idle = run(os.path.abspath(args.fsim), browser, args.idle_seconds)
            browser.driver.switch_to.window(browser.driver.window_handles[0])
            latencies += stats["latencies"]
            frames += stats["frames"]
            frame_bytes += stats["frameBytes"]
            idles.append(idle)
            print(f"run {i + 1}: {len(stats['latencies'])} frames, latency median "
                  f"{statistics.median(stats['latencies']):.1f} ms, worst "
                  f"{max(stats['latencies']):.1f} ms; idle CPU {100 * idle:.2f} %", flush=True)
    finally:
        browser.quit()
    print(f"screen change to pixels on the page, over {len(latencies)} frames of "
          f"{args.runs} read-and-saves: median {statistics.median(latencies):.1f} ms, "
          f"90th percentile {statistics.quantiles(latencies, n=10)[-1]:.1f} ms, "
          f"worst {max(latencies):.1f} ms")
    print(f"bytes per frame: {frame_bytes / frames:.0f} (mean of {frames})")
    print(f"fsim's CPU with the page open and idle: {100 * statistics.mean(idles):.2f} % of one "
          f"core (mean of {len(idles)} x {args.idle_seconds:.0f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
