#!/usr/bin/env python3
"""Generates the emulator's export table: one bridge per function of the firmware's table.

For every `Function,+` and `Variable,+` row of the firmware's symbol table that our SDK headers
(platform/include, or for 86.0 platform/include-86.0 searched before it; read as a device compile
sees them, with the parser of tools/sdk_check.py) declare, it emits the AAPCS unmarshalling of the arguments (which words, 64-bit values in an
even pair, a struct result through the pointer in r0) and the call into the runtime, and for a
variable the maker of its guest copy. Variadic functions and the C library go to hand-written
bridges (sim/emu/special_bridges.cpp); rows our headers do not declare get no bridge, so a
package that calls one stops with a clear message.

The generated file is compiled with the same include path, so a call the 86.0 headers give a host
link name of its own (FURI_HOST_API86) reaches the runtime's 86.0 definition.

    tools/fap_bridges.py --api tools/api_symbols-36.1.csv --include platform/include --out FILE
    tools/fap_bridges.py --api tools/api_symbols-86.0.csv --include platform/include-86.0 \
        --include platform/include --name api86 --out FILE
"""

from __future__ import annotations

import argparse
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import fap_assets  # noqa: E402  (the symbol table's version, as the package build reads it)
import sdk_check  # noqa: E402  (the same header parser the SDK check uses)

# Hand-written bridges (name -> C++ function in sim/emu/special_bridges.cpp).
SPECIAL = {
    "__furi_crash": "bridge_furi_crash",
    "__furi_crash_implementation": "bridge_furi_crash",
    "snprintf": "bridge_snprintf",
    "furi_string_printf": "bridge_furi_string_printf",
    "furi_string_cat_printf": "bridge_furi_string_cat_printf",
    "furi_string_alloc_printf": "bridge_furi_string_alloc_printf",
    "furi_log_print_format": "bridge_furi_log_print_format",
    "furi_log_print_raw_format": "bridge_furi_log_print_raw_format",
    "malloc": "bridge_malloc",
    "free": "bridge_free",
    "realloc": "bridge_realloc",
    "memcpy": "bridge_memcpy",
    "memmove": "bridge_memmove",
    "memset": "bridge_memset",
    "memcmp": "bridge_memcmp",
    "strlen": "bridge_strlen",
    "strcmp": "bridge_strcmp",
    "strncmp": "bridge_strncmp",
    "strcpy": "bridge_strcpy",
    "strncpy": "bridge_strncpy",
    "strchr": "bridge_strchr",
    "strrchr": "bridge_strrchr",
    "strstr": "bridge_strstr",
    "strcat": "bridge_strcat",
    "strtol": "bridge_strtol",
    "strtoul": "bridge_strtoul",
    "atoi": "bridge_atoi",
    "toupper": "bridge_toupper",
    "tolower": "bridge_tolower",
    "isalnum": "bridge_isalnum",
    "isalpha": "bridge_isalpha",
    "isdigit": "bridge_isdigit",
    "isspace": "bridge_isspace",
    "isxdigit": "bridge_isxdigit",
    "isprint": "bridge_isprint",
}

# Structs passed or returned by value, in words on the device.
BY_VALUE = {"SceneManagerEvent": 2, "FuriHalCortexTimer": 2, "InputEvent": 3}
WIDE = {"uint64_t", "int64_t", "long long", "unsigned long long", "long long int", "double"}
# Exported variables whose types have a guest-copy maker (sim/emu/types.h).
PLACEABLE = {"NotificationMessage", "NotificationSequence", "GpioPin"}


# Types with marshallers of their own (sim/emu/types.h): passed by pointer, they are converted.
MARSHALLED = {"Icon", "NotificationSequence", "NotificationMessage", "SceneManagerHandlers", "GpioPin",
              "DialogsFileBrowserOptions", "FuriHalCortexTimer", "SceneManagerEvent"}


class Unsupported(Exception):
    pass


def check_pointee(tree: sdk_check.Tree, t: str) -> None:
    """Refuses a pointer to data whose device layout differs from the host's and that has no
    marshaller: an enum (as small as its values on the device) or a struct holding enums or
    pointers."""
    if "(" in t or t.count("*") != 1:
        return
    base = re.sub(r"\bconst\b|\*", "", t).strip()
    if base in MARSHALLED:
        return
    value = typedef_of(tree, base)
    if value == "enum":
        raise Unsupported(f"an {base}* parameter (an enum is as small as its values on the device)")
    if value and (value.startswith("struct {") or value.startswith("union {")):
        for member in value[value.index("{") + 1 : value.rindex("}")].split(";"):
            words = member.strip().split(" ")
            if not member.strip():
                continue
            if "*" in member or "(" in member:
                raise Unsupported(f"{base} holds pointers, which are 4 bytes on the device")
            mtype = " ".join(w for w in words[:-1] if w not in ("const", "volatile"))
            if typedef_of(tree, mtype) == "enum":
                raise Unsupported(f"{base} holds an enum, which is as small as its values on the device")


def typedef_of(tree: sdk_check.Tree, name: str) -> str | None:
    for d in tree.decls.get(name, []):
        if d.kind == "typedef":
            return d.value
    return None


def words_of(tree: sdk_check.Tree, t: str, depth: int = 0) -> tuple[int, bool]:
    """(words, wide) a parameter of type t takes in the AAPCS."""
    t = re.sub(r"\bconst\b|\bvolatile\b", "", t).strip()
    t = re.sub(r"\s+", " ", t)
    if "*" in t or "(" in t:
        return 1, False
    if t in WIDE:
        return 2, True
    if t == "float":
        raise Unsupported("a float argument (the hard-float ABI passes it in s0)")
    if t in BY_VALUE:
        return BY_VALUE[t], False
    if depth > 8:
        return 1, False
    value = typedef_of(tree, t)
    if value is not None:
        if value == "enum" or "*" in value:
            return 1, False
        if value.startswith("struct") or value.startswith("union"):
            raise Unsupported(f"the struct {t} by value has no marshaller")
        return words_of(tree, value, depth + 1)
    return 1, False


def result_kind(tree: sdk_check.Tree, t: str) -> str:
    bare = re.sub(r"\bconst\b", "", t).strip()
    if bare == "void":
        return "Void"
    words, wide = words_of(tree, t)
    if wide:
        return "DWord"
    if words > 1:
        return "Indirect"
    return "Word"


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--api", required=True, type=Path)
    ap.add_argument("--include", required=True, type=Path, action="append",
                    help="an SDK include folder; given again, the earlier ones are searched first")
    ap.add_argument("--name", default="",
                    help="the table's functions are api_table_<name>() and api_table_version_<name>() "
                         "(default: api_table() and api_table_version())")
    ap.add_argument("--out", required=True, type=Path)
    args = ap.parse_args(argv)

    try:
        major, minor = fap_assets.table_version(args.api)
    except fap_assets.AssetError as err:
        print(f"fap_bridges: {err}", file=sys.stderr)
        return 2
    rows = sdk_check.read_symbols(args.api)

    # The headers by include path, the first folder that has one serving it; a declaration's
    # file is named by its include path.
    files_map: dict[str, Path] = {}
    for layer in reversed([p.resolve() for p in args.include]):
        for p in sorted(q for q in layer.rglob("*.h") if q.is_file()):
            files_map[p.relative_to(layer).as_posix()] = p.resolve()
    tree = sdk_check.Tree("ours", files_map, sdk_check.DEVICE_DEFINES)
    for inc, p in sorted(files_map.items()):
        tree.display[p] = inc
    for inc in sorted(files_map):
        tree.process(files_map[inc])

    headers: set[str] = set()
    entries = []  # (hash, name, code)
    bridges = []
    weak = []
    notes = []
    for name, (entry, status, _rtype, _params) in rows.items():
        if status != "+":
            continue
        h = sdk_check_hash(name)
        decl = None
        for d in tree.decls.get(name, []):
            if d.kind in ("function", "variable") and not d.extra.get("static"):
                decl = d
        if entry == "Variable":
            place = "nullptr"
            if decl is not None and decl.kind == "variable":
                vtype = re.sub(r"\bconst\b", "", decl.value).strip()
                if vtype in PLACEABLE:
                    place = f"&place_variable<&{name}>"
                    headers.add(decl.file)
            entries.append((h, name, f'{{"{name}", {h}u, true, nullptr, nullptr, {place}}}'))
            continue
        if name in SPECIAL:
            host_fn = "nullptr"
            entries.append((h, name, f'{{"{name}", {h}u, false, &{SPECIAL[name]}, {host_fn}, nullptr}}'))
            continue
        if decl is None or decl.kind != "function":
            entries.append((h, name, f'{{"{name}", {h}u, false, nullptr, nullptr, nullptr}}'))
            continue
        ret, params = decl.extra["ret"], decl.extra["params"]
        # The parser's normalised parameter list; function-pointer parameters hold commas inside
        # parentheses, so split at the top level only.
        plist = ["".join(x).strip() for x in sdk_check.split_top(list(params), ",")] if params else []
        plist = [p for p in plist if p]
        if "..." in plist:
            notes.append(f"{name}: variadic, no hand-written bridge")
            entries.append((h, name, f'{{"{name}", {h}u, false, nullptr, nullptr, nullptr}}'))
            continue
        try:
            kind = result_kind(tree, ret)
            slot = 1 if kind == "Indirect" else 0
            slots = []
            for p in plist:
                check_pointee(tree, p)
                words, wide = words_of(tree, p)
                if wide:
                    slot = (slot + 1) & ~1
                slots.append(f"Slot{{{slot}, {words}, {'true' if wide else 'false'}}}")
                slot += words
        except Unsupported as e:
            notes.append(f"{name}: {e}")
            entries.append((h, name, f'{{"{name}", {h}u, false, nullptr, nullptr, nullptr}}'))
            continue
        headers.add(decl.file)
        fn = f"b_{name}"
        targs = ", ".join([f"&{name}", f"Ret::{kind}"] + slots)
        # A weak reference: a function the runtime declares but does not define yet links as
        # null, and a package that calls it stops with a clear message.
        weak.append(f"#pragma weak {name}\n")
        bridges.append(f"// {decl.value}  ({decl.file}:{decl.line})\n"
                       f"void {fn}(Call& c) {{ require(c, reinterpret_cast<const void*>(&{name})); "
                       f"invoke<{targs}>(c); }}\n")
        entries.append((h, name, f'{{"{name}", {h}u, false, &{fn}, reinterpret_cast<const void*>(&{name}), nullptr}}'))

    entries.sort(key=lambda e: e[0])
    out = []
    out.append(f"// Generated by tools/fap_bridges.py from {args.api.name} and the SDK headers: do not edit.\n")
    # The firmware still exports the calls its headers mark deprecated; so does the table.
    out.append('#pragma GCC diagnostic ignored "-Wdeprecated-declarations"\n')
    for h in sorted(headers):
        out.append(f"#include <{h}>\n")
    out.append('\n#include "marshal.h"\n#include "special_bridges.h"\n#include "types.h"\n\n')
    out.extend(weak)
    out.append("\n")
    out.append("namespace fap {\nnamespace {\n\n")
    out.extend(bridges)
    out.append("\nconst ApiEntry kTable[] = {\n")
    for _, _, code in entries:
        out.append(f"    {code},\n")
    out.append("};\n\n} // namespace\n\n")
    suffix = f"_{args.name}" if args.name else ""
    out.append(f"std::span<const ApiEntry> api_table{suffix}() {{\n    return kTable;\n}}\n\n")
    out.append(f"std::uint32_t api_table_version{suffix}() {{\n    return 0x{(major << 16) | minor:08x}u;\n}}\n\n")
    for n in notes:
        out.append(f"// No bridge: {n}\n")
    out.append("\n} // namespace fap\n")
    text = "".join(out)
    if not args.out.exists() or args.out.read_text(encoding="utf-8") != text:
        args.out.parent.mkdir(parents=True, exist_ok=True)
        args.out.write_text(text, encoding="utf-8")
    return 0


def sdk_check_hash(name: str) -> int:
    h = 5381
    for c in name.encode():
        h = (h * 33 + c) & 0xFFFFFFFF
    return h


if __name__ == "__main__":
    sys.exit(main())
