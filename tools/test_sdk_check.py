#!/usr/bin/env python3
"""Tests of tools/sdk_check.py on a two-header stand-in for the firmware SDK.

tests/data/sdk_check/firmware is the firmware side and tests/data/sdk_check/ours a header set that
agrees with it at 36.1 (ours-86.0, searched first, at 86.0); each case copies them, changes one
thing and expects the check to name it.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TOOL = ROOT / "tools" / "sdk_check.py"
DATA = ROOT / "tests" / "data" / "sdk_check"
DEMO = "demo/demo.h"

# (case, file, text to replace, replacement, exit status, patterns the output must match)
CASES = [
    ("agrees", DEMO, "", "", 0, [r"2 headers, \d+ declarations agree"]),
    ("wrong enum value", DEMO, "DemoModeAuto = 5", "DemoModeAuto = 6", 1,
     [r"demo/demo\.h:16: enum-constant DemoModeAuto: 6 here, 5 in the firmware \(lib/demo/demo\.h:\d+\)"]),
    ("enumerator the firmware lacks", DEMO, "DemoModeOff = 0,", "DemoModeOff = 0,\n    DemoModeExtra = 1,", 1,
     [r"enum-constant DemoModeExtra \(1\): not in the firmware's headers"]),
    ("wrong integer constant", DEMO, "#define DEMO_MAX_ITEMS 15", "#define DEMO_MAX_ITEMS 16", 1,
     [r"demo/demo\.h:11: macro DEMO_MAX_ITEMS: 16 here, 15 in the firmware"]),
    ("wrong string constant", DEMO, '"de" "mo"', '"demo2"', 1,
     [r'macro DEMO_RECORD: "demo2" here, "demo" in the firmware']),
    ("wrong signature", DEMO, "const uint8_t data[]", "uint8_t* data", 1,
     [r"demo/demo\.h:31: function demo_write: void demo_write\(Demo\*, uint8_t\*, size_t\) here, "
      r"void demo_write\(Demo\*, const uint8_t\*, size_t\) in the firmware \(lib/demo/demo\.h:\d+\)"]),
    ("wrong return type", DEMO, "Demo* demo_alloc();", "void* demo_alloc();", 1,
     [r"function demo_alloc: void\* demo_alloc\(\) here, Demo\* demo_alloc\(\) in the firmware"]),
    ("wrong callback typedef", DEMO, "(DemoMode, void* ctx)", "(uint32_t, void* ctx)", 1,
     [r"typedef DemoCallback: void\(\*\)\(uint32_t, void\*\) here, void\(\*\)\(DemoMode, void\*\) in the firmware"]),
    ("wrong struct layout", DEMO, "    const uint8_t width;\n    DemoMode mode;", "    DemoMode mode;", 1,
     [r"typedef DemoInfo: struct \{DemoMode mode\} here"]),
    ("wrong variable type", DEMO, "extern const uint32_t demo_version;", "extern uint32_t demo_version;", 1,
     [r"variable demo_version: uint32_t here, const uint32_t in the firmware"]),
    ("function the firmware does not export", DEMO, "void demo_reload(Demo* d);",
     "void demo_reload(Demo* d);\nvoid demo_internal_reset(Demo* demo);\nvoid demo_secret(void);", 1,
     [r"demo/demo\.h:33: function demo_internal_reset: not exported by the firmware \('-' row in the 36\.0 table\)",
      r"demo/demo\.h:34: function demo_secret: not exported by the firmware \(no row\)"]),
    ("host-only declarations visible to a device build", DEMO, "#if !defined(__arm__)", "#if 1", 1,
     [r"function demo_host_reset: not exported", r"macro DEMO_HOST_ONLY \(1\): not in the firmware's headers"]),
    ("exported-only signature from the symbol table", "demo/demo_extra.h", "uint8_t value", "uint16_t value", 1,
     [r"demo/demo_extra\.h:4: function demo_extra_ping: int demo_extra_ping\(uint16_t\) here, "
      r"int demo_extra_ping\(uint8_t\) in the firmware's symbol table"]),
]


# At 86.0: (case, change to the copies in the temporary folder, exit status, patterns)
OVERLAY_CASES = [
    ("overlay agrees; a removed header stops the build", lambda tmp: None, 0,
     [r"ours-86\.0 over \S*ours: 1 headers, \d+ declarations agree with the firmware at 86\.0; "
      r"1 header\(s\) it no longer has stop the build"]),
    ("a header that changed but has no overlay shows the 36.x one",
     lambda tmp: (tmp / "ours-86.0" / DEMO).unlink(), 1,
     [r"ours/demo/demo\.h:15: enum-constant DemoModeOn: 4 here, 8 in the firmware",
      r"function demo_write: void demo_write\(Demo\*, const uint8_t\*, size_t\) here, "
      r"void demo_write\(Demo\*, const uint8_t\*, uint32_t\) in the firmware"]),
    ("a quoted include opens the replaced header, not the overlay", lambda tmp: (
        (tmp / "ours-86.0" / "demo" / "demo_extra.h").unlink(),
        (tmp / "ours" / "demo" / "demo_extra.h").write_text('#pragma once\n#include "demo.h"\n')), 1,
     [r'ours/demo/demo_extra\.h:2: #include "demo\.h" opens \S*ours/demo/demo\.h, which '
      r"\S*ours-86\.0/demo/demo\.h replaces here",
      r"ours/demo/demo_extra\.h:1: demo/demo_extra\.h: not in the firmware's headers"]),
]


def run_check(include: Path, sdk: Path, *options: str):
    proc = subprocess.run([sys.executable, str(TOOL), "--sdk", str(sdk), "--include", str(include), *options],
                          capture_output=True, text=True, check=False)
    return proc.returncode, proc.stdout + proc.stderr


class SdkCheckTest(unittest.TestCase):
    def test_cases(self):
        for name, file, old, new, status, patterns in CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                include = Path(tmp) / "include"
                shutil.copytree(DATA / "ours", include)
                if old:
                    path = include / file
                    text = path.read_text()
                    self.assertIn(old, text, "the fixture changed; update the case")
                    path.write_text(text.replace(old, new))
                code, out = run_check(include, DATA / "firmware", "--api", "36.1")
                self.assertEqual(code, status, out)
                for pattern in patterns:
                    self.assertRegex(out, pattern)

    def test_overlay_cases(self):
        for name, change, status, patterns in OVERLAY_CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                tmp = Path(tmp)
                for tree in ("ours", "ours-86.0"):
                    shutil.copytree(DATA / tree, tmp / tree)
                change(tmp)
                code, out = run_check(tmp / "ours", DATA / "firmware", "--api", "86.0",
                                      "--overlay", str(tmp / "ours-86.0"))
                self.assertEqual(code, status, out)
                for pattern in patterns:
                    self.assertRegex(out, pattern)

    def test_header_the_firmware_does_not_have(self):
        with tempfile.TemporaryDirectory() as tmp:
            include = Path(tmp) / "include"
            shutil.copytree(DATA / "ours", include)
            (include / "demo" / "demo_private.h").write_text("#pragma once\n")
            (include / "elsewhere").mkdir()
            (include / "elsewhere" / "tool.h").write_text("void elsewhere(void);\n")
            code, out = run_check(include, DATA / "firmware", "--api", "36.1")
            self.assertEqual(code, 1, out)
            self.assertRegex(out, r"demo/demo_private\.h:1: demo/demo_private\.h: not in the firmware's headers")
            self.assertNotIn("elsewhere", out)

    def test_skips_without_the_firmware_headers(self):
        with tempfile.TemporaryDirectory() as tmp:
            env = dict(os.environ, FIRMWARE_SDK_DIR=str(Path(tmp) / "absent"))
            proc = subprocess.run([sys.executable, str(TOOL)], capture_output=True, text=True, env=env, check=False)
            self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
            self.assertTrue(re.search(r"skipped: no firmware headers", proc.stdout), proc.stdout)


if __name__ == "__main__":
    unittest.main()
