#!/usr/bin/env python3
"""Tests of the package build (tools/package.sh) and its checker (tools/fapinfo).

Builds every package into a temporary folder (objects are reused from build-package/), checks
each is accepted with the manifest of its application.fam, then breaks a good one in the ways a
package goes wrong and expects fapinfo to refuse each with the firmware loader's message. Also
checks the heatshrink coder the images and the manifest icon go through. Needs the arm-none-eabi
toolchain for the packages (those cases skip without it).
"""

import importlib.machinery
import importlib.util
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TOOLS = ROOT / "tools"
sys.path.insert(0, str(TOOLS))
import fap_assets  # noqa: E402

_loader = importlib.machinery.SourceFileLoader("fapinfo", str(TOOLS / "fapinfo"))
_spec = importlib.util.spec_from_loader("fapinfo", _loader)
fapinfo = sys.modules["fapinfo"] = importlib.util.module_from_spec(_spec)
_loader.exec_module(fapinfo)

APPS = {"corvane": ROOT / "corvane" / "application.fam", "pacewick": ROOT / "pacewick" / "application.fam"}
OBJCOPY = "arm-none-eabi-objcopy"
HAVE_TOOLCHAIN = shutil.which("arm-none-eabi-gcc") is not None and shutil.which(OBJCOPY) is not None


def run_fapinfo(*args):
    result = subprocess.run([sys.executable, str(TOOLS / "fapinfo"), *map(str, args)],
                            capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


class Heatshrink(unittest.TestCase):
    def test_known_stream(self):
        # 'a' as a literal (1 + 0x61), then a back-reference of distance 1, count 9
        # (0 + 00000000 + 1000), padded with zeros.
        self.assertEqual(fap_assets.heatshrink_encode(b"a" * 10), bytes([0xB0, 0x80, 0x20]))

    def test_round_trip(self):
        rng = random.Random(7)
        images = [fap_assets.read_png(p).rows for p in sorted((ROOT / "corvane" / "images").glob("*.png"))]
        samples = [b"", b"x", bytes(range(256)) * 3, bytes(rng.randrange(256) for _ in range(700)),
                   bytes(rng.choice(b"\0\xff") for _ in range(900)), *images]
        for data in samples:
            with self.subTest(size=len(data)):
                packed = fap_assets.heatshrink_encode(data)
                self.assertEqual(fap_assets.heatshrink_decode(packed), data)
                frame = fap_assets.encode_frame(data)
                self.assertLessEqual(len(frame), 1 + len(data), "the shorter form is taken")
                self.assertEqual(fap_assets.decode_frame(frame, len(data)), data)
        for data in images:  # the dolphins compress to well under half; a 10x10 stays raw
            self.assertEqual(fap_assets.encode_frame(data)[0], 1 if len(data) > 100 else 0)


@unittest.skipUnless(HAVE_TOOLCHAIN, "needs the arm-none-eabi toolchain")
class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="fapinfo_test."))
        cls.apis = ["36.0", "38.0"] + (["86.0"] if (ROOT / "platform" / "include-86.0").is_dir() else [])
        args = [a for api in cls.apis for a in ("--api", api)]
        build = subprocess.run([str(TOOLS / "package.sh"), *args, "--out", str(cls.work / "dist")],
                               capture_output=True, text=True)
        if build.returncode != 0:
            raise AssertionError(f"package.sh {' '.join(args)} failed:\n{build.stdout}{build.stderr}")
        cls.good = cls.work / "dist" / "36.0" / "pacewick.fap"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_every_package_accepted_with_its_manifest(self):
        for api in self.apis:
            for appid, fam_path in APPS.items():
                with self.subTest(api=api, app=appid):
                    fap = self.work / "dist" / api / f"{appid}.fap"
                    self.assertTrue((fap.parent / f"{appid}_d.elf").is_file())
                    status, out = run_fapinfo(fap)
                    self.assertEqual(status, 0, out)
                    self.assertIn("loader      accepts it", out)
                    fam = fap_assets.read_fam(fam_path)
                    info = fapinfo.check(fap, None)
                    m = info.manifest
                    self.assertEqual((m.name, m.stack, "%d.%d" % m.app_version, "%d.%d" % m.api, m.target),
                                     (fam["name"], fam["stack_size"], fam["fap_version"], api, 7))
                    icon = fap_assets.read_png(fam_path.parent / fam["fap_icon"]).rows
                    self.assertEqual(fap_assets.decode_frame(m.icon, 20), icon)
                    if appid == "corvane":
                        self.assertLessEqual(info.sizes[".text"], 16 * 1024, "corvane's code budget")

    # Breaking a good package ------------------------------------------------------------------

    def sections(self, data):
        return {s.name: s for s in fapinfo.Elf(data).sections}

    def patch_manifest(self, data, offset, value):
        meta = self.sections(data)[".fapmeta"]
        data[meta.offset + offset:meta.offset + offset + len(value)] = value
        return data

    def first_relocation_type(self, data, kind):
        rel = self.sections(data)[".rel.text"]
        data[rel.offset + 4] = kind
        return data

    def objcopy(self, data, *args):
        src, dst = self.work / "in.fap", self.work / "out.fap"
        src.write_bytes(bytes(data))
        subprocess.run([OBJCOPY, *args, str(src), str(dst)], check=True, capture_output=True)
        return bytearray(dst.read_bytes())

    def with_file(self, name, content):
        path = self.work / name
        path.write_bytes(content)
        return path

    def debug_package(self, _data):
        """A package linked from an object built with -g and not stripped, as a build that forgot
        --strip-debug would leave it: .debug_* sections with their relocations."""
        src = self.with_file("dbg.c", b"#include <stdint.h>\nint32_t dbg_main(void* p) { return p != 0; }\n")
        obj, elf = self.work / "dbg.o", self.work / "dbg_d.elf"
        flags = ["-mcpu=cortex-m4", "-mthumb", "-mfloat-abi=hard", "-mfpu=fpv4-sp-d16"]
        subprocess.run(["arm-none-eabi-gcc", *flags, "-g", "-Os", "-mword-relocations", "-mlong-calls",
                        "-c", str(src), "-o", str(obj)], check=True)
        subprocess.run(["arm-none-eabi-gcc", *flags, "-nostdlib", "-nostartfiles", "-Ur", "-Wl,-Ur",
                        "-T", str(TOOLS / "fap.ld"), "-Wl,-edbg_main", str(obj), "-o", str(elf)], check=True)
        meta = fap_assets.build_manifest(APPS["pacewick"], (36, 0))
        return self.objcopy(bytearray(elf.read_bytes()), "--add-section", f".fapmeta={self.with_file('m', meta)}",
                            "--set-section-flags", ".fapmeta=contents,noload,readonly,data")

    def without_import(self, symbol):
        table = (TOOLS / "api_symbols-36.0.csv").read_text()
        return self.with_file("table.csv", re.sub(rf"^Function,\+,{symbol},.*\n", "", table, flags=re.M).encode())

    def test_broken_packages_refused_with_the_loaders_message(self):
        t36 = TOOLS / "api_symbols-36.0.csv"
        cases = [
            # (case, make the package from the good one's bytes, extra fapinfo args, message, detail)
            ("wrong magic", lambda d: self.patch_manifest(d, 0, b"HDGS"), [],
             "Invalid file manifest", r"magic 0x53474448"),
            ("wrong hardware target", lambda d: self.patch_manifest(d, 12, struct.pack("<H", 8)), [],
             "Hardware target mismatch", r"hardware target 8"),
            ("API major not the firmware's", lambda d: self.patch_manifest(d, 8, struct.pack("<I", 35 << 16 | 1)),
             ["--api-table", t36], "API version mismatch", r"package API 35\.1, firmware \(table\) API 36\.0"),
            ("short manifest", lambda d: self.objcopy(d, "--update-section",
                                                      f".fapmeta={self.with_file('short', bytes(84))}"), [],
             "Invalid file", r"\.fapmeta: 84 bytes, the manifest is 85"),
            ("oversize section", lambda d: self.objcopy(
                d, "--add-section", f".big={self.with_file('big', bytes(0x10000))}",
                "--set-section-flags", ".big=alloc,load,contents,data"), [],
             "Invalid file", r"\.big: 65536 bytes, over the 65535"),
            ("debug section left in", self.debug_package, ["--api-table", t36],
             "Found unsatisfied imports", r"debug sections left in .*\.debug_info(.|\n)*"
                                          r"relocations of sections the loader never loads: .*\.debug_info"),
            ("unsupported relocation type", lambda d: self.first_relocation_type(d, 3), [],
             "Found unsatisfied imports", r"relocation type 3 at \.text\+0x"),
            ("import missing from the table", lambda d: d, ["--api-table", self.without_import("view_port_alloc")],
             "Found unsatisfied imports", r"view_port_alloc: not exported by the firmware \(API 36\.0"),
        ]
        good = bytearray(self.good.read_bytes())
        for case, make, args, message, detail in cases:
            with self.subTest(case):
                broken = self.with_file("pacewick.fap", bytes(make(bytearray(good))))
                status, out = run_fapinfo(*args, broken)
                self.assertEqual(status, 1, out)
                self.assertIn(f'refuses it: "{message}"', out)
                self.assertRegex(out, detail)

    def test_summary_and_usage(self):
        status, out = run_fapinfo("--summary", self.good, self.work / "missing.fap")
        self.assertEqual(status, 2, out)
        self.assertRegex(out, r"pacewick\.fap +\d+ B +\.text +\d+ .* ok\n")
        self.assertIn("missing.fap: No such file", out)
        self.assertEqual(run_fapinfo("--no-such-option", self.good)[0], 2)
        status, out = run_fapinfo(APPS["pacewick"])  # not an ELF file
        self.assertEqual((status, "Invalid file" in out), (1, True), out)


if __name__ == "__main__":
    unittest.main()
