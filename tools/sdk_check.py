#!/usr/bin/env python3
"""Checks that our SDK headers agree with the firmware's own headers, at each API we build for.

A device build compiles our headers into the apps, so every enumeration value, integer or string
constant, typedef, struct layout, function signature and variable declaration a device build can
see must equal the firmware's, and every function or variable declared must be one the firmware
exports (a '+' row of its symbol table). Both trees are read as a device compiler would: `__arm__`
defined, `__cplusplus` not, includes followed inside each tree, so anything behind a host-only
branch is invisible here as it is to the device build.

Two SDKs are checked: platform/include against the firmware at 36.1 (headers-36.1/ with its
MANIFEST.txt, api_symbols-36.0.csv and api_symbols-36.1.csv), and the 86.0 SDK, which is
platform/include-86.0 searched before platform/include, against headers-86.0/ and
api_symbols-86.0.csv. Includes are followed as a compiler would: "..." from the including file's
folder first, <...> by the search path, so a header of the lower layer that reaches a replaced
one by a quoted include is named. An overlay header whose device path stops with #error is a
header the firmware no longer has; it declares nothing.

The firmware side lives outside the repository (default ../shared/sdk next to the repository root,
or --sdk / $FIRMWARE_SDK_DIR). When it is absent the check says so and passes.

Exit status: 0 agree (or firmware headers absent), 1 differences found, 2 bad usage.
"""

from __future__ import annotations

import argparse
import csv
import os
import re
import sys
from dataclasses import dataclass, field
from pathlib import Path

# ----------------------------------------------------------------------------------------------
# Lexing

TOKEN_RE = re.compile(
    r"""
    (?P<ws>[ \t\r\f\v]+)
  | (?P<string>"(?:[^"\\\n]|\\.)*")
  | (?P<char>'(?:[^'\\\n]|\\.)*')
  | (?P<number>(?:0[xX][0-9a-fA-F]+|\d+\.?\d*(?:[eE][+-]?\d+)?)[uUlLfF]*)
  | (?P<ident>[A-Za-z_]\w*)
  | (?P<punct>\.\.\.|<<=?|>>=?|->|\+\+|--|&&|\|\||[<>=!]=|::|\[\[|\]\]|[-+*/%&|^~!<>=?:;,.(){}\[\]#])
  | (?P<other>.)
    """,
    re.VERBOSE,
)


@dataclass
class Tok:
    text: str
    kind: str
    line: int


def strip_comments(text: str) -> str:
    """Removes comments, keeping newlines so line numbers stay right."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(text[i : j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j) or " ")
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def tokenize(text: str, line: int) -> list[Tok]:
    toks = []
    for m in TOKEN_RE.finditer(text):
        kind = m.lastgroup
        if kind == "ws":
            continue
        toks.append(Tok(m.group(), kind, line))
    return toks


def logical_lines(text: str):
    """(first line number, text) of each line with backslash continuations joined."""
    lines = strip_comments(text).split("\n")
    i = 0
    while i < len(lines):
        start = i
        buf = lines[i]
        while buf.endswith("\\") and i + 1 < len(lines):
            i += 1
            buf = buf[:-1] + " " + lines[i]
        yield start + 1, buf
        i += 1


# ----------------------------------------------------------------------------------------------
# Constant expressions


class NotConstant(Exception):
    pass


BUILTIN_TYPE_WORDS = {
    "void", "char", "short", "int", "long", "float", "double", "signed", "unsigned", "bool",
    "_Bool", "const", "volatile", "struct", "enum", "union",
}
QUALIFIER_WORDS = {"const", "volatile", "struct", "enum", "union", "signed", "unsigned", "short", "long"}


def evaluate(tokens: list[str], lookup, depth: int = 0) -> int:
    """Evaluates a C integer constant expression; `lookup(name)` gives a name's token list or None."""
    if depth > 20:
        raise NotConstant()
    expanded: list[str] = []
    for t in tokens:
        if re.match(r"[A-Za-z_]", t):
            if t == "defined" or t == "sizeof":
                raise NotConstant()
            value = lookup(t)
            if value is None:
                expanded.append(t)  # may be a type in a cast; rejected below otherwise
            else:
                expanded.extend(["("] + [str(evaluate(value, lookup, depth + 1))] + [")"])
        else:
            expanded.append(t)
    # Drop casts: a parenthesised group of type words (and '*') followed by an operand.
    out: list[str] = []
    i = 0
    while i < len(expanded):
        if expanded[i] == "(":
            j = i + 1
            while j < len(expanded) and (re.match(r"[A-Za-z_]\w*$", expanded[j]) or expanded[j] == "*"):
                j += 1
            if j > i + 1 and j < len(expanded) and expanded[j] == ")":
                if j + 1 < len(expanded) and (re.match(r"[\w(]", expanded[j + 1]) or expanded[j + 1] in "-~!"):
                    i = j + 1
                    continue
        out.append(expanded[i])
        i += 1
    py = []
    for t in out:
        if re.match(r"[A-Za-z_]", t):
            raise NotConstant()
        if re.match(r"\d|0[xX]", t):
            t = re.sub(r"[uUlL]+$", "", t)
            if re.match(r"0\d", t):
                t = "0o" + t[1:]
            if "." in t or (re.search(r"[eE]", t) and not t.lower().startswith("0x")):
                raise NotConstant()
        elif t.startswith("'"):
            body = bytes(t[1:-1], "utf-8").decode("unicode_escape")
            if len(body) != 1:
                raise NotConstant()
            t = str(ord(body))
        elif t == "/":
            t = "//"
        elif t == "&&":
            t = " and "
        elif t == "||":
            t = " or "
        elif t == "!":
            t = " not "
        elif t in ("?", ":", "=", ",", "{", "}", ";", "[", "]", ".", "->") or t.startswith('"'):
            raise NotConstant()
        py.append(t)
    if not py:
        raise NotConstant()
    try:
        value = eval(" ".join(py), {"__builtins__": {}}, {})  # noqa: S307 - digits and operators only
    except Exception as exc:  # noqa: BLE001
        raise NotConstant() from exc
    if isinstance(value, bool):
        value = int(value)
    if not isinstance(value, int):
        raise NotConstant()
    return value


# ----------------------------------------------------------------------------------------------
# Preprocessing one tree as a device compile would


@dataclass
class Macro:
    name: str
    params: list[str] | None  # None: object-like
    body: list[str]
    file: str
    line: int


@dataclass
class Decl:
    """One symbol a header declares."""

    kind: str  # enum-constant, macro, typedef, struct, function, variable
    name: str
    value: str  # the normalised form compared between the trees
    file: str
    line: int
    extra: dict = field(default_factory=dict)

    def where(self) -> str:
        return f"{self.file}:{self.line}"


class Tree:
    """The headers of one side, preprocessed and parsed."""

    def __init__(self, label: str, include_map: dict[str, Path], predefined: dict[str, str]):
        self.label = label
        self.include_map = include_map  # include path -> file
        self.display: dict[Path, str] = {}
        self.macros: dict[str, Macro] = {}
        for name, value in predefined.items():
            self.macros[name] = Macro(name, None, [t.text for t in tokenize(value, 0)], "<built-in>", 0)
        self.done: set[Path] = set()
        self.stack: list[Path] = []
        self.decls: dict[str, list[Decl]] = {}
        self.identifiers: set[str] = set()  # every identifier seen in code (for types used but not defined)
        self.enum_values: dict[str, int] = {}
        self.errors: list[str] = []
        # Headers an overlay replaces (file -> its replacement), and the files whose device path
        # stops the build with #error (a header removed at this API).
        self.shadowed: dict[Path, Path] = {}
        self.removed: set[Path] = set()

    # -- include resolution
    def resolve(self, name: str, current: Path, quoted: bool, line: int) -> Path | None:
        """The file a compiler opens: for "...", the including file's folder first."""
        if quoted:
            local = (current.parent / name).resolve()
            if local.is_file():
                if local in self.shadowed:
                    shown = self.display.get(current, str(current))
                    self.errors.append(
                        f"{shown}:{line}: #include \"{name}\" opens {self.display.get(local, local)}, which "
                        f"{self.display.get(self.shadowed[local], self.shadowed[local])} replaces here: "
                        "include it by its path in <...>")
                return local
        for path, file in self.include_map.items():
            if path == name:
                return file
        return None

    def lookup_value(self, name: str):
        if name in self.enum_values:
            return [str(self.enum_values[name])]
        m = self.macros.get(name)
        if m is not None and m.params is None:
            return m.body
        return None

    def eval_condition(self, toks: list[str]) -> bool:
        # Resolve defined(X) / defined X first, then evaluate with unknown names as 0.
        resolved: list[str] = []
        i = 0
        while i < len(toks):
            if toks[i] == "defined":
                if i + 1 < len(toks) and toks[i + 1] == "(":
                    name = toks[i + 2] if i + 2 < len(toks) else ""
                    i += 4
                else:
                    name = toks[i + 1] if i + 1 < len(toks) else ""
                    i += 2
                resolved.append("1" if name in self.macros else "0")
                continue
            resolved.append(toks[i])
            i += 1

        def lookup(name):
            value = self.lookup_value(name)
            if value is None or not value:
                return ["0"]
            return value

        try:
            return evaluate(resolved, lookup) != 0
        except NotConstant:
            return False

    def process(self, path: Path):
        path = path.resolve()
        if path in self.done or path in self.stack:
            return
        self.done.add(path)
        self.stack.append(path)
        shown = self.display.get(path, str(path))
        code: list[Tok] = []
        # Conditional stack: (this branch active, some branch already taken, parent active)
        cond: list[tuple[bool, bool, bool]] = []
        active = True
        try:
            text = path.read_text(encoding="utf-8", errors="replace")
        except OSError as exc:
            self.errors.append(f"{shown}: cannot read: {exc}")
            self.stack.pop()
            return
        for line, raw in logical_lines(text):
            stripped = raw.strip()
            if stripped.startswith("#"):
                directive = tokenize(stripped[1:], line)
                if not directive:
                    continue
                word = directive[0].text
                rest = [t.text for t in directive[1:]]
                if word in ("if", "ifdef", "ifndef"):
                    if word == "ifdef":
                        value = bool(rest) and rest[0] in self.macros
                    elif word == "ifndef":
                        value = not (bool(rest) and rest[0] in self.macros)
                    else:
                        value = self.eval_condition(rest) if active else False
                    cond.append((active and value, value, active))
                    active = active and value
                elif word == "elif":
                    if not cond:
                        continue
                    _, taken, parent = cond[-1]
                    value = (not taken) and parent and self.eval_condition(rest)
                    cond[-1] = (value, taken or value, parent)
                    active = value
                elif word == "else":
                    if not cond:
                        continue
                    _, taken, parent = cond[-1]
                    cond[-1] = (parent and not taken, True, parent)
                    active = parent and not taken
                elif word == "endif":
                    if cond:
                        active = cond.pop()[2]
                elif not active:
                    continue
                elif word == "define" and rest:
                    self.define(stripped, shown, line)
                elif word == "undef" and rest:
                    self.macros.pop(rest[0], None)
                elif word == "error":
                    self.removed.add(path)
                    break
                elif word == "include":
                    m = re.match(r'#\s*include\s*([<"])([^>"]+)[>"]', stripped)
                    if m:
                        target = self.resolve(m.group(2), path, m.group(1) == '"', line)
                        if target is not None:
                            self.parse(code, shown)
                            code = []
                            self.process(target)
                continue
            if active:
                code.extend(tokenize(raw, line))
        self.parse(code, shown)
        self.stack.pop()

    def define(self, stripped: str, shown: str, line: int):
        m = re.match(r"#\s*define\s+([A-Za-z_]\w*)(\(([^)]*)\))?(.*)$", stripped)
        if not m:
            return
        name = m.group(1)
        params = None if m.group(2) is None else [p.strip() for p in m.group(3).split(",") if p.strip()]
        body = [t.text for t in tokenize(m.group(4), line)]
        self.macros[name] = Macro(name, params, body, shown, line)
        if params is not None or not body:
            return
        strings = [t for t in body if t != "(" and t != ")"]
        try:
            value = str(evaluate(body, self.lookup_value))
            self.add(Decl("macro", name, value, shown, line))
            return
        except NotConstant:
            pass
        if strings and all(t.startswith('"') for t in strings):
            value = '"' + "".join(bytes(t[1:-1], "utf-8").decode("unicode_escape") for t in strings) + '"'
            self.add(Decl("macro", name, value, shown, line))

    def add(self, decl: Decl):
        self.decls.setdefault(decl.name, []).append(decl)

    # -- declarations
    def attribute_words(self) -> set[str]:
        # The firmware's attribute macros, also those defined in headers headers-36.1 does not carry.
        words = {"PRIVILEGED_FUNCTION", "noreturn", "_Noreturn", "inline", "__inline", "__inline__",
                 "register", "__extension__", "FURI_ALWAYS_INLINE", "FURI_NORETURN", "FURI_WARN_UNUSED",
                 "FURI_RETURNS_NONNULL", "FURI_DEPRECATED", "FURI_WEAK", "FURI_PACKED", "FURI_NOINLINE"}
        for m in self.macros.values():
            if m.params is None and (not m.body or m.body[0] in ("__attribute__", "_ATTRIBUTE", "[[")
                                     or m.body == ["noreturn"] or m.body == ["_Noreturn"]):
                words.add(m.name)
        return words

    def clean(self, toks: list[Tok]) -> list[Tok]:
        """Drops attributes (__attribute__((...)), [[...]], attribute macros) and `extern "C"`."""
        words = self.attribute_words()
        out = []
        i = 0
        while i < len(toks):
            t = toks[i].text
            if t in ("__attribute__", "_ATTRIBUTE", "__declspec", "__asm__", "asm") and i + 1 < len(toks) and toks[i + 1].text == "(":
                i = skip_group(toks, i + 1)
                continue
            if t == "[[":
                while i < len(toks) and toks[i].text != "]]":
                    i += 1
                i += 1
                continue
            if t in words:
                i += 1
                continue
            m = self.macros.get(t)
            if m is not None and m.params is not None and (not m.body or m.body[0] in ("__attribute__", "_ATTRIBUTE")):
                # An attribute macro, or one that expands to nothing here (a host-only link name).
                i = skip_group(toks, i + 1) if i + 1 < len(toks) and toks[i + 1].text == "(" else i + 1
                continue
            out.append(toks[i])
            i += 1
        return out

    def parse(self, toks: list[Tok], shown: str):
        toks = self.clean(toks)
        for t in toks:
            if t.kind == "ident":
                self.identifiers.add(t.text)
        i = 0
        start = 0
        while i < len(toks):
            t = toks[i].text
            if t == "extern" and i + 1 < len(toks) and toks[i + 1].text == '"C"':
                # extern "C" { ... } (only seen when __cplusplus is defined); skip the linkage.
                i += 2
                if i < len(toks) and toks[i].text == "{":
                    i += 1
                start = i
                continue
            if t == "{":
                end = skip_group(toks, i)
                # A function body (after a parameter list) ends the declaration.
                if i > start and toks[i - 1].text == ")" and not any(x.text in ("=", "typedef") for x in toks[start:i]):
                    self.declaration(toks[start:i], shown, body=True)
                    i = end
                    start = i
                    continue
                i = end
                continue
            if t == ";":
                if i > start:
                    self.declaration(toks[start:i], shown)
                i += 1
                start = i
                continue
            if t == "}":  # a stray close (end of extern "C")
                i += 1
                start = i
                continue
            i += 1

    def declaration(self, toks: list[Tok], shown: str, body: bool = False):
        words = [t.text for t in toks]
        line = toks[0].line
        if not words:
            return
        if words[0] in ("_Static_assert", "static_assert"):
            return
        if words[0] == "typedef":
            self.typedef(toks[1:], shown)
            return
        brace = index_of(words, "{")
        if brace >= 0 and words[0] in ("enum", "struct", "union"):
            close = skip_group(toks, brace)
            tag = words[1] if brace == 2 else None
            if words[0] == "enum":
                self.enum(toks[brace + 1 : close - 1], tag or "", shown)
            elif tag:
                self.add(Decl("struct", tag, members(toks[brace + 1 : close - 1]), shown, line))
            rest = toks[close:]
            if rest:  # struct X {...} var;
                self.object(toks[:brace] + rest, shown, line)
            return
        if words[0] in ("struct", "enum", "union") and len(words) == 2:
            return  # forward declaration
        self.object(toks, shown, line, body=body)

    def object(self, toks: list[Tok], shown: str, line: int, body: bool = False):
        words = [t.text for t in toks]
        static = "static" in words
        words = [w for w in words if w != "static"]
        # Function: a name followed by a parameter list, at depth 0, with no '(*' before it.
        paren = index_of(words, "(")
        if paren > 0 and re.match(r"[A-Za-z_]\w*$", words[paren - 1]) and words[paren - 1] not in BUILTIN_TYPE_WORDS:
            close = match_paren(words, paren)
            name = words[paren - 1]
            ret = normalise_type(words[: paren - 1])
            params = normalise_params(words[paren + 1 : close])
            self.add(Decl("function", name, f"{ret} {name}({params})", shown, line,
                          {"static": static, "ret": ret, "params": params}))
            return
        if "=" in words:
            words = words[: words.index("=")]
        if not words:
            return
        # Variable: the declarator's name is the last identifier before any array brackets.
        name_at = declarator_name(words)
        if name_at is None:
            return
        name = words[name_at]
        vtype = normalise_type(words[:name_at] + words[name_at + 1 :])
        self.add(Decl("variable", name, vtype, shown, line, {"static": static}))

    def typedef(self, toks: list[Tok], shown: str):
        words = [t.text for t in toks]
        line = toks[0].line if toks else 0
        brace = index_of(words, "{")
        if brace >= 0:
            close = skip_group(toks, brace)
            tag = words[brace - 1] if brace >= 2 else None
            kind = words[0]
            names = [w for w in words[close:] if re.match(r"[A-Za-z_]\w*$", w)]
            if kind == "enum":
                for name in names:
                    self.enum(toks[brace + 1 : close - 1], name, shown)
                value = "enum"
            else:
                value = f"{kind} {{{members(toks[brace + 1 : close - 1])}}}"
                if tag:
                    self.add(Decl("struct", tag, members(toks[brace + 1 : close - 1]), shown, line))
            for name in names:
                self.add(Decl("typedef", name, value, shown, line))
            return
        # Function pointer / function type: R (*Name)(params)  or  R Name(params)
        if "(" in words:
            p = words.index("(")
            if p + 1 < len(words) and words[p + 1] == "*":
                close = match_paren(words, p)
                name = words[close - 1]
                rest = words[close + 1 :]
                if rest and rest[0] == "(":
                    params = normalise_params(rest[1 : match_paren(rest, 0)])
                    value = f"{normalise_type(words[:p])}(*)({params})"
                else:
                    value = normalise_type(words[:p] + ["(", "*", ")"] + rest)
                self.add(Decl("typedef", name, value, shown, line))
                return
            name = words[p - 1]
            params = normalise_params(words[p + 1 : match_paren(words, p)])
            self.add(Decl("typedef", name, f"{normalise_type(words[: p - 1])}({params})", shown, line))
            return
        name_at = declarator_name(words)
        if name_at is None:
            return
        name = words[name_at]
        self.add(Decl("typedef", name, normalise_type(words[:name_at] + words[name_at + 1 :]), shown, line))

    def enum(self, toks: list[Tok], enum_name: str, shown: str):
        value = -1
        for item in split_top(toks, ","):
            if not item:
                continue
            name = item[0].text
            if "=" in [t.text for t in item]:
                expr = [t.text for t in item[[t.text for t in item].index("=") + 1 :]]
                try:
                    value = evaluate(expr, self.lookup_value)
                except NotConstant:
                    value = None
            else:
                value = None if value is None else value + 1
            if value is not None:
                self.enum_values[name] = value
            self.add(Decl("enum-constant", name, "?" if value is None else str(value), shown, item[0].line,
                          {"enum": enum_name}))


def skip_group(toks, i: int) -> int:
    """Index after the group opened at toks[i] ('(' or '{' or '[')."""
    open_ch = toks[i].text if isinstance(toks[i], Tok) else toks[i]
    close_ch = {"(": ")", "{": "}", "[": "]"}[open_ch]
    depth = 0
    while i < len(toks):
        t = toks[i].text if isinstance(toks[i], Tok) else toks[i]
        if t == open_ch:
            depth += 1
        elif t == close_ch:
            depth -= 1
            if depth == 0:
                return i + 1
        i += 1
    return i


def match_paren(words: list[str], i: int) -> int:
    return skip_group(words, i) - 1


def index_of(words: list[str], w: str) -> int:
    try:
        return words.index(w)
    except ValueError:
        return -1


def split_top(toks, sep: str):
    """Splits a token list at `sep` outside brackets."""
    parts, cur, depth = [], [], 0
    for t in toks:
        text = t.text if isinstance(t, Tok) else t
        if text in "([{":
            depth += 1
        elif text in ")]}":
            depth -= 1
        if text == sep and depth == 0:
            parts.append(cur)
            cur = []
        else:
            cur.append(t)
    parts.append(cur)
    return parts


def declarator_name(words: list[str]) -> int | None:
    end = len(words)
    if "[" in words:
        end = words.index("[")
    for i in range(end - 1, -1, -1):
        if re.match(r"[A-Za-z_]\w*$", words[i]) and words[i] not in BUILTIN_TYPE_WORDS:
            return i
    return None


def join_type(words: list[str]) -> str:
    s = " ".join(words)
    s = re.sub(r"\s*\*\s*", "*", s)
    s = re.sub(r"\s*([()\[\],])\s*", r"\1", s)
    return s.strip()


def normalise_type(words: list[str]) -> str:
    words = [w for w in words if w not in ("extern", "static", "inline")]
    return join_type(words)


def normalise_param(words: list[str]) -> str:
    if words == ["..."]:
        return "..."
    # Function pointer parameter: R (*name)(params)
    if "(" in words:
        p = words.index("(")
        if p + 1 < len(words) and words[p + 1] == "*":
            close = match_paren(words, p)
            rest = words[close + 1 :]
            if rest and rest[0] == "(":
                inner = normalise_params(rest[1 : match_paren(rest, 0)])
                return f"{normalise_type(words[:p])}(*)({inner})"
    array = False
    if "[" in words:
        b = words.index("[")
        words = words[:b]
        array = True
    # Drop the parameter name: the last identifier when a type remains before it.
    if len(words) >= 2 and re.match(r"[A-Za-z_]\w*$", words[-1]) and words[-1] not in BUILTIN_TYPE_WORDS:
        before = [w for w in words[:-1] if w not in QUALIFIER_WORDS]
        if before:
            words = words[:-1]
    if array:
        words = words + ["*"]
    # A top-level const on a by-value parameter is not part of the function's type.
    if words and words[0] == "const" and "*" not in words:
        words = words[1:]
    if words and words[-1] == "const":
        words = words[:-1]
    return join_type(words)


def normalise_params(words: list[str]) -> str:
    params = [normalise_param(p) for p in split_top(words, ",")]
    params = [p for p in params if p]
    if params == ["void"]:
        params = []
    return ", ".join(params)


def members(toks) -> str:
    words = [t.text if isinstance(t, Tok) else t for t in toks]
    parts = []
    for member in split_top(words, ";"):
        if member:
            parts.append(join_type(member))
    return "; ".join(parts)


# ----------------------------------------------------------------------------------------------
# The firmware's symbol tables


def read_symbols(path: Path) -> dict[str, tuple[str, str, str, str]]:
    """name -> (entry, status, type, params) for Function and Variable rows."""
    table = {}
    with path.open(newline="", encoding="utf-8") as f:
        for row in csv.reader(f):
            if len(row) >= 3 and row[0] in ("Function", "Variable"):
                row = row + [""] * (5 - len(row))
                table[row[2]] = (row[0], row[1], row[3], row[4])
    return table


def read_header_rows(path: Path) -> set[str]:
    rows = set()
    with path.open(newline="", encoding="utf-8") as f:
        for row in csv.reader(f):
            if len(row) >= 3 and row[0] == "Header" and row[1] == "+":
                rows.add(row[2])
    return rows


def csv_signature(ret: str, params: str) -> tuple[str, str]:
    ptoks = [t.text for t in tokenize(params, 0)]
    return normalise_type([t.text for t in tokenize(ret, 0)]), normalise_params(ptoks)


# ----------------------------------------------------------------------------------------------
# The check

DEVICE_DEFINES = {"__arm__": "1", "__GNUC__": "12", "__STDC__": "1", "__STDC_VERSION__": "201710L"}


def load_manifest(headers: Path) -> list[tuple[str, str]]:
    """(file under headers-36.1, include path) rows of MANIFEST.txt."""
    rows = []
    for line in (headers / "MANIFEST.txt").read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        cols = line.split("\t")
        if len(cols) >= 2 and cols[1] != "-":
            rows.append((cols[0], cols[1]))
    return rows


@dataclass
class Api:
    """One SDK we serve: the firmware headers and symbol tables it is checked against."""

    name: str  # as printed: the firmware's API version
    headers: str  # folder under the SDK with the firmware's headers and MANIFEST.txt
    tables: tuple[str, ...]  # API versions whose api_symbols-<v>.csv a declaration may be exported by
    overlay: bool  # served as platform/include-<name>/ over platform/include


APIS = {
    "36.1": Api("36.1", "headers-36.1", ("36.0", "36.1"), False),
    "86.0": Api("86.0", "headers-86.0", ("86.0",), True),
}


def run(sdk: Path, layers: list[Path], root: Path, verbose: bool, api: Api = APIS["36.1"]) -> int:
    """Checks the headers of `layers` (the first one that has an include path serves it) against
    the firmware's at `api`."""
    headers = sdk / api.headers
    tables = {v: sdk / f"api_symbols-{v}.csv" for v in api.tables}
    for p in [headers / "MANIFEST.txt", *tables.values()]:
        if not p.is_file():
            print(f"sdk_check: {p} is missing", file=sys.stderr)
            return 2
    manifest = load_manifest(headers)
    fw_map = {inc: headers / fw for fw, inc in manifest}
    symbols = {v: read_symbols(p) for v, p in tables.items()}
    header_rows = set().union(*(read_header_rows(p) for p in tables.values()))
    # The firmware's include roots (firmware path minus include path), to place Header rows.
    roots = {fw[: len(fw) - len(inc)] for fw, inc in manifest if fw.endswith(inc)}
    sdk_headers = set(fw_map)
    for row in header_rows:
        for r in roots:
            if row.startswith(r):
                sdk_headers.add(row[len(r):])
    sdk_dirs = {os.path.dirname(h) for h in sdk_headers}

    fw = Tree("firmware", fw_map, DEVICE_DEFINES)
    for fw_path, inc in manifest:
        fw.display[(headers / fw_path).resolve()] = fw_path
    for _, inc in manifest:
        fw.process(fw_map[inc])

    ours_map: dict[str, Path] = {}
    replaced: dict[str, Path] = {}
    for layer in reversed(layers):
        for p in sorted(q for q in layer.rglob("*.h") if q.is_file()):
            inc = p.relative_to(layer).as_posix()
            if inc in ours_map:
                replaced[inc] = ours_map[inc]
            ours_map[inc] = p.resolve()
    ours = Tree("ours", ours_map, DEVICE_DEFINES)

    def shown_path(p: Path) -> str:
        try:
            return p.resolve().relative_to(root).as_posix()
        except ValueError:
            return str(p)

    for layer in layers:
        for p in layer.rglob("*.h"):
            ours.display[p.resolve()] = shown_path(p)
    ours.shadowed = {old.resolve(): ours_map[inc] for inc, old in replaced.items()}
    for inc in sorted(ours_map):
        ours.process(ours_map[inc])
    include = " over ".join(shown_path(layer) for layer in layers)

    problems: list[str] = list(fw.errors) + list(ours.errors)
    notes: list[str] = []

    checked_files = set()
    removed = 0
    for inc, p in ours_map.items():
        shown = ours.display[p]
        if p in ours.removed:
            # A header the firmware dropped at this API: including it stops the build.
            if inc in fw_map:
                problems.append(f"{shown}:1: {inc}: stops the build with #error, but the firmware has it")
            else:
                removed += 1
                notes.append(f"{shown}: not in the SDK at {api.name}: including it stops the build")
        elif inc in fw_map:
            checked_files.add(shown)
        elif inc in sdk_headers:
            checked_files.add(shown)
            notes.append(f"{shown}: the firmware's {inc} is not in {api.headers}; its functions are checked "
                         "against the symbol table only")
        elif os.path.dirname(inc) in sdk_dirs:
            problems.append(f"{shown}:1: {inc}: not in the firmware's headers")
        else:
            notes.append(f"{shown}: not under a firmware include path; not checked")

    fw_file_for = {fw.display.get(fw_map[inc], ""): inc for inc in fw_map}

    def describe(d: Decl) -> str:
        return d.value

    for name, decls in sorted(ours.decls.items()):
        for d in decls:
            if d.file not in checked_files:
                continue
            theirs = fw.decls.get(name, [])
            same_kind = [t for t in theirs if t.kind == d.kind or {t.kind, d.kind} <= {"macro", "enum-constant"}]
            if d.kind in ("function", "variable"):
                problems.extend(check_export(d, symbols, same_kind))
            if not same_kind:
                if d.kind in ("function", "variable"):
                    continue  # judged by the symbol table above
                if d.kind in ("typedef", "struct") and name in fw.identifiers:
                    notes.append(f"{d.where()}: {name} comes from a header the firmware includes but "
                                 f"{api.headers} lacks; not compared")
                    continue
                problems.append(f"{d.where()}: {d.kind} {name} ({describe(d)}): not in the firmware's headers")
                continue
            if any(t.value == d.value for t in same_kind) and d.kind != "enum-constant":
                if d.kind == "function" and not d.extra.get("static") and all(t.extra.get("static") for t in same_kind):
                    t = same_kind[0]
                    problems.append(f"{d.where()}: {name}: declared as an exported function here, "
                                    f"static inline in the firmware ({t.where()})")
                continue
            if d.kind == "enum-constant":
                match = [t for t in same_kind if t.value == d.value]
                if match:
                    t = match[0]
                    if t.kind == "enum-constant" and t.extra.get("enum") != d.extra.get("enum"):
                        problems.append(f"{d.where()}: {name}: member of {d.extra.get('enum') or 'an unnamed enum'} "
                                        f"here, of {t.extra.get('enum') or 'an unnamed enum'} in the firmware "
                                        f"({t.where()})")
                    continue
            t = same_kind[0]
            problems.append(f"{d.where()}: {d.kind} {name}: {describe(d)} here, {describe(t)} in the firmware "
                            f"({t.where()})")

    for n in notes if verbose else []:
        print(f"note: {n}")
    for p in problems:
        print(p)
    total = sum(len(v) for k, v in ours.decls.items())
    if problems:
        print(f"sdk_check: {len(problems)} difference(s) between {include} and the firmware's headers at "
              f"{api.name}", file=sys.stderr)
        return 1
    gone = f"; {removed} header(s) it no longer has stop the build" if removed else ""
    print(f"sdk_check: {include}: {len(checked_files)} headers, {total} declarations agree with the firmware "
          f"at {api.name}{gone}")
    return 0


def check_export(d: Decl, symbols, in_headers: list[Decl]) -> list[str]:
    """A declared function or variable must be a '+' export (36.0 or 36.1) unless it is static."""
    if d.extra.get("static"):
        return []
    rows = {v: t.get(d.name) for v, t in symbols.items()}
    plus = [v for v, r in rows.items() if r is not None and r[1] == "+"]
    if not plus:
        status = next((f"'{r[1]}' row in the {v} table" for v, r in rows.items() if r is not None), "no row")
        return [f"{d.where()}: {d.kind} {d.name}: not exported by the firmware ({status})"]
    if in_headers:
        return []
    entry, _, ret, params = rows[plus[-1]]
    if d.kind == "function":
        want = csv_signature(ret, params)
        if (d.extra["ret"], d.extra["params"]) != want:
            return [f"{d.where()}: function {d.name}: {d.value} here, {want[0]} {d.name}({want[1]}) in the "
                    f"firmware's symbol table"]
    else:
        want = normalise_type([t.text for t in tokenize(ret, 0)])
        if d.value != want:
            return [f"{d.where()}: variable {d.name}: {d.value} here, {want} in the firmware's symbol table"]
    return []


def default_sdk(root: Path) -> Path:
    """../shared/sdk beside the repository; from a linked worktree, beside its main checkout."""
    candidates = [root.parent / "shared" / "sdk"]
    git = root / ".git"
    if git.is_file():  # a worktree: "gitdir: <main>/.git/worktrees/<name>"
        m = re.match(r"gitdir:\s*(.+)", git.read_text(encoding="utf-8").strip())
        if m:
            common = Path(m.group(1)).resolve().parent.parent
            candidates.append(common.parent.parent / "shared" / "sdk")
    return next((c for c in candidates if c.is_dir()), candidates[0])


def main(argv=None) -> int:
    root = Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sdk", type=Path, default=None,
                        help="the firmware SDK folder with headers-36.1/, headers-86.0/ and api_symbols-*.csv "
                             "(default: $FIRMWARE_SDK_DIR, else ../shared/sdk beside the repository)")
    parser.add_argument("--api", choices=sorted(APIS), action="append",
                        help="check the SDK for this API only (repeatable; default: every API whose firmware "
                             "headers the SDK folder has)")
    parser.add_argument("--include", type=Path, default=root / "platform" / "include",
                        help="our SDK headers (default: platform/include)")
    parser.add_argument("--overlay", type=Path, default=None,
                        help="the 86.0 headers that differ, searched before --include "
                             "(default: platform/include-86.0)")
    parser.add_argument("-v", "--verbose", action="store_true", help="also print notes")
    args = parser.parse_args(argv)
    sdk = args.sdk or (Path(os.environ["FIRMWARE_SDK_DIR"]) if os.environ.get("FIRMWARE_SDK_DIR")
                       else default_sdk(root))
    if not args.include.is_dir():
        print(f"sdk_check: {args.include} is not a folder", file=sys.stderr)
        return 2
    status = 0
    for name in args.api or sorted(APIS):
        api = APIS[name]
        if not (sdk / api.headers).is_dir():
            if args.api or name == "36.1":
                print(f"sdk_check: skipped: no firmware headers at {sdk / api.headers} "
                      "(set FIRMWARE_SDK_DIR or pass --sdk to check against them)")
            continue
        layers = [args.include.resolve()]
        if api.overlay:
            overlay = args.overlay or root / "platform" / f"include-{api.name}"
            if not overlay.is_dir():
                print(f"sdk_check: {overlay} is not a folder", file=sys.stderr)
                return 2
            layers.insert(0, overlay.resolve())
        status = max(status, run(sdk, layers, root, args.verbose, api))
    return status


if __name__ == "__main__":
    sys.exit(main())
