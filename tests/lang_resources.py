#!/usr/bin/env python3
"""The language files res/lang/<tag>.rc against English, and the pseudo-language made from it.

    tests/lang_resources.py [--source-dir DIR] [--self-test]
    tests/lang_resources.py --pseudo OUT.rc [--source-dir DIR]

Every language listed in res/CMakeLists.txt must have English's dialogs (the same controls, ids,
classes and styles, in the same order), menu items and string ids, no more and no fewer; each
text keeps English's %n placeholders, its one or no & mnemonic and its tabs; and each file says
the language it is. One line per fault. --self-test spoils copies of en-US.rc one way at a time
and fails unless each spoilt copy is reported. --pseudo writes the test-only pseudo-language:
every text bracketed, accented and 40 % longer, with its placeholders, mnemonic and escapes."""

from __future__ import annotations

import argparse
import math
import re
import sys
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

LANGUAGES = {
    "en-US": ("LANG_ENGLISH", "SUBLANG_ENGLISH_US"),
    "de": ("LANG_GERMAN", "SUBLANG_NEUTRAL"),
    "fr": ("LANG_FRENCH", "SUBLANG_NEUTRAL"),
    "es": ("LANG_SPANISH", "SUBLANG_NEUTRAL"),
    "pt-BR": ("LANG_PORTUGUESE", "SUBLANG_PORTUGUESE_BRAZILIAN"),
    "ja": ("LANG_JAPANESE", "SUBLANG_NEUTRAL"),
}
# qps-ploc, LANGID 0x0501: MAKELANGID(0x101, 1).
PSEUDO_LANGUAGE = ("0x101", "0x1")

_STRING = r'"(?:[^"\\\n]|\\.|"")*"'
_TOKEN = re.compile(rf'{_STRING}|[\w.]+|[|,]')
# Statements whose first argument is a text; ICON names an icon, EDITTEXT has none.
_TEXT_CONTROLS = {"LTEXT", "CTEXT", "RTEXT", "PUSHBUTTON", "DEFPUSHBUTTON", "GROUPBOX", "CONTROL",
                  "CHECKBOX", "AUTOCHECKBOX", "RADIOBUTTON", "AUTORADIOBUTTON", "PUSHBOX",
                  "STATE3", "AUTO3STATE"}
_CONTROLS = _TEXT_CONTROLS | {"ICON", "EDITTEXT", "COMBOBOX", "LISTBOX", "SCROLLBAR"}


@dataclass
class Resources:
    language: tuple[str, ...] = ()
    dialogs: dict[str, list[tuple]] = field(default_factory=dict)  # name: [(kind, id, class, styles)]
    menu: list[tuple] = field(default_factory=list)  # (POPUP|MENUITEM|SEPARATOR|END, id)
    strings: dict[str, str] = field(default_factory=dict)
    texts: dict[str, str] = field(default_factory=dict)  # where: text, every text of the file


def _logical_lines(text: str) -> list[str]:
    """The file's statements: comments and directives dropped, a line ending in , or | joined
    with the next."""
    lines, pending = [], ""
    for raw in text.splitlines():
        line = re.sub(rf'({_STRING})|//.*', lambda m: m.group(1) or "", raw).strip()
        if not line or line.startswith("#"):
            continue
        pending = f"{pending} {line}" if pending else line
        if not pending.endswith((",", "|")):
            lines.append(pending)
            pending = ""
    return lines + ([pending] if pending else [])


def _styles(tokens: list[str]) -> tuple[str, ...]:
    """Style words joined by |, as a sorted tuple (order does not matter to the compiler)."""
    return tuple(sorted(" ".join(tokens).replace(" | ", "|").replace("|", " ").split()))


def parse(text: str) -> Resources:
    res, block, name, depth = Resources(), None, "", 0
    for line in _logical_lines(text):
        tokens = _TOKEN.findall(line)
        head = tokens[0] if tokens else ""
        args = [[]]  # comma-separated arguments, each a token list
        for token in tokens[1:]:
            if token == ",":
                args.append([])
            else:
                args[-1].append(token)
        if head == "LANGUAGE":
            res.language = tuple(a[0] for a in args if a)
        elif len(tokens) > 1 and tokens[1] in ("DIALOG", "DIALOGEX"):
            block, name = "dialog", head
            res.dialogs[name] = [("STYLE", "", "", ())]
        elif len(tokens) > 1 and tokens[1] == "MENU":
            block, name = "menu", head
        elif head == "STRINGTABLE":
            block = "strings"
        elif head == "BEGIN":
            depth += 1
        elif head == "END":
            depth -= 1
            if block == "menu" and depth:
                res.menu.append(("END", ""))
            if not depth:
                block = None
        elif block == "dialog" and head in ("STYLE", "EXSTYLE"):
            res.dialogs[name][0] = ("STYLE", "", "", res.dialogs[name][0][3] + _styles(tokens[1:]))
        elif block == "dialog" and head == "CAPTION":
            res.texts[f"{name} CAPTION"] = tokens[1][1:-1]
        elif block == "dialog" and head in _CONTROLS:
            at = 0 if head == "EDITTEXT" else 1
            control = args[at][0] if len(args) > at else "?"
            if head == "CONTROL":  # text, id, class, style, x, y, w, h[, exstyle]
                kind, styles = args[2][0] if len(args) > 2 else "?", args[3:4] + args[8:]
            else:  # [text,] id, x, y, w, h[, style[, exstyle]]
                kind, styles = head, args[at + 5:]
            res.dialogs[name].append((head, control, kind, _styles(sum(styles, []))))
            if head in _TEXT_CONTROLS:
                res.texts[f"{name} {control}"] = args[0][0][1:-1]
        elif block == "menu" and head in ("POPUP", "MENUITEM"):
            item = args[0][0] if head == "MENUITEM" and args[0][0] == "SEPARATOR" else tokens[1]
            if item == "SEPARATOR":
                res.menu.append(("SEPARATOR", ""))
            else:
                control = args[1][0] if head == "MENUITEM" and len(args) > 1 else ""
                res.menu.append((head, control))
                res.texts[f"{name} {head} {control or len(res.menu)}"] = item[1:-1]
        elif block == "strings" and len(tokens) > 1:
            text = next(t for t in tokens[1:] if t.startswith('"'))
            res.strings[head] = res.texts[f"STRINGTABLE {head}"] = text[1:-1]
    return res


def _marks(text: str) -> tuple:
    """What a translation must keep of a text: its placeholders as a set, its mnemonics (a lone
    &; && is a literal &) and its tabs."""
    plain = text.replace("&&", "")
    return (sorted(set(re.findall(r"%\d+", text))), plain.count("&"), text.count(r"\t"))


def compare(tag: str, english: Resources, other: Resources) -> list[str]:
    where = f"res/lang/{tag}.rc"
    faults = []
    if tag in LANGUAGES and other.language != LANGUAGES[tag]:
        faults.append(f"{where}: LANGUAGE {', '.join(other.language) or '(none)'} "
                      f"instead of {', '.join(LANGUAGES[tag])}")
    elif tag not in LANGUAGES:
        faults.append(f"{where}: no language is decided for {tag}: add it to LANGUAGES in "
                      f"tests/lang_resources.py")
    for name in english.dialogs.keys() | other.dialogs.keys():
        mine, theirs = english.dialogs.get(name), other.dialogs.get(name)
        if mine is None or theirs is None:
            faults.append(f"{where}: dialog {name} is {'extra' if mine is None else 'missing'}")
        elif mine != theirs:
            at = next((i for i, (a, b) in enumerate(zip(mine, theirs)) if a != b),
                      min(len(mine), len(theirs)))
            got = theirs[at] if at < len(theirs) else "nothing"
            want = mine[at] if at < len(mine) else "nothing"
            faults.append(f"{where}: dialog {name}, item {at}: {got} where English has {want}")
    if english.menu != other.menu:
        faults.append(f"{where}: the menu's items {other.menu} differ from English's "
                      f"{english.menu}")
    for missing in english.strings.keys() - other.strings.keys():
        faults.append(f"{where}: STRINGTABLE lacks {missing}")
    for extra in other.strings.keys() - english.strings.keys():
        faults.append(f"{where}: STRINGTABLE has {extra}, which English has not")
    for key in english.texts.keys() & other.texts.keys():
        if _marks(english.texts[key]) != _marks(other.texts[key]):
            faults.append(f'{where}: {key} "{other.texts[key]}" keeps not the placeholders, '
                          f'& mnemonic and \\t of "{english.texts[key]}"')
        if other.texts[key].replace("&&", "").count("&") > 1:
            faults.append(f'{where}: {key} "{other.texts[key]}" has more than one mnemonic')
    return faults


def languages(root: Path) -> list[str]:
    found = re.search(r"^set\(QUELVANT_LANGUAGES ([^$)]*)\)",
                      (root / "res/CMakeLists.txt").read_text(encoding="utf-8"), re.MULTILINE)
    if not found:
        raise ValueError("res/CMakeLists.txt has no set(QUELVANT_LANGUAGES ...)")
    return found.group(1).split()


def check(root: Path) -> list[str]:
    english = parse((root / "res/lang/en-US.rc").read_text(encoding="utf-8"))
    if not english.dialogs or not english.menu or not english.strings:
        return ["cannot read en-US.rc's dialogs, menu and strings: update tests/lang_resources.py"]
    return [fault for tag in languages(root)
            for fault in compare(tag, english, parse(
                (root / f"res/lang/{tag}.rc").read_text(encoding="utf-8")))]


_ACCENTS = str.maketrans("aceinousyzACEINOUSYZ", "áçéîñöüšýžÁÇÉÎÑÖÜŠÝŽ")


def pseudo_text(text: str, tag_id: str = "") -> str:
    """[ + the text accented + padding to 140 % of its length + ]; escapes, placeholders and
    the mnemonic's letter are kept as they are, so the access keys stay. Empty stays empty."""
    if not text:
        return text
    parts = re.findall(r'\\.|""|%\d+|&&|&.|.', text)
    length = sum(1 if p.startswith(("\\", '"')) or p in ("&&",) else len(p.lstrip("&"))
                 for p in parts)
    body = "".join(p if len(p) > 1 else p.translate(_ACCENTS) for p in parts)
    # Breakable like words, so that wrapping statics wrap as they would with a translation.
    filler = "".join(" " if i % 6 == 5 else "·" for i in range(math.ceil(length * 0.4)))
    return f"[{body}{filler[:-1]}{filler[-1:] and '·'}]"


def pseudo(english_rc: str) -> str:
    """The pseudo-language's resource script: en-US.rc with every text replaced."""
    out, block = [], None
    for line in english_rc.splitlines():
        word = line.split()[0] if line.split() else ""
        first = re.compile(_STRING)
        if word == "LANGUAGE":
            line = f"LANGUAGE {', '.join(PSEUDO_LANGUAGE)}"
        elif word == "STRINGTABLE":
            block = "strings"
        elif word == "END" and not line.startswith(" "):
            block = None
        elif word == "IDS_LANGUAGE_TAG":
            line = first.sub('"qps-ploc"', line, count=1)
        elif (word in _TEXT_CONTROLS | {"CAPTION", "MENUITEM", "POPUP"} or block == "strings") \
                and word not in ("BEGIN", "END"):
            line = first.sub(lambda m: f'"{pseudo_text(m.group(0)[1:-1])}"', line, count=1)
        elif word.startswith("//"):
            continue
        out.append(line)
    return "// Made by tests/lang_resources.py from res/lang/en-US.rc: for tests only.\n" + \
        "\n".join(out) + "\n"


def self_test(root: Path) -> list[str]:
    """Each way of spoiling a copy of en-US.rc must be reported; the pseudo-language must pass."""
    english = (root / "res/lang/en-US.rc").read_text(encoding="utf-8")
    spoilers = {
        "a control dropped": (r"^\s*CONTROL\b.*\n", ""),
        "a control's style changed": (r"BS_AUTOCHECKBOX \| WS_TABSTOP", "BS_AUTOCHECKBOX"),
        "two controls swapped": (r"^(\s*PUSHBUTTON.*\n)(\s*PUSHBUTTON.*\n)", r"\2\1"),
        "a menu separator dropped": (r"^\s*MENUITEM SEPARATOR\n", ""),
        "a string dropped": (r"^(\s*STRINGTABLE\s*\n\s*BEGIN\s*\n)\s*\w+\s+\".*\n", r"\1"),
        "a string added": (r"^(\s*STRINGTABLE\s*\n\s*BEGIN\s*\n)", r'\1    9999 "x"\n'),
        "a mnemonic dropped": (r'"([^"&\n]*)&(\w)', r'"\1\2'),
        "a second mnemonic": (r'"([^"&\n]*)&(\w)', r'"&\1&\2'),
        "the language changed": (r"^LANGUAGE .*", "LANGUAGE LANG_GERMAN, SUBLANG_GERMAN"),
    }
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        copy = Path(tmp)
        (copy / "res/lang").mkdir(parents=True)
        (copy / "res/CMakeLists.txt").write_text("set(QUELVANT_LANGUAGES en-US de)\n")
        (copy / "res/lang/en-US.rc").write_text(english, encoding="utf-8")
        german = re.sub(r"^LANGUAGE .*", "LANGUAGE LANG_GERMAN, SUBLANG_NEUTRAL", english,
                        flags=re.MULTILINE)
        for what, (pattern, replacement) in spoilers.items():
            spoilt, count = re.subn(pattern, replacement, german, count=1, flags=re.MULTILINE)
            (copy / "res/lang/de.rc").write_text(spoilt, encoding="utf-8")
            if count != 1 or not check(copy):
                problems.append(f"a copy with {what} passes" if count else
                                f"the self-test cannot make a copy with {what}")
        (copy / "res/lang/de.rc").write_text(german, encoding="utf-8")
        problems += [f"a faithful copy fails: {line}" for line in check(copy)]
        made = parse(pseudo(english))
        made.language = LANGUAGES["en-US"]
        problems += [f"the pseudo-language fails: {line}"
                     for line in compare("en-US", parse(english), made)]
        if any(t and (not t.startswith("[") or not t.endswith("]") or t == english_text)
               for t, english_text in zip(made.texts.values(), parse(english).texts.values())):
            problems.append("the pseudo-language leaves a text unmarked")
    return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source-dir", type=Path, default=Path(__file__).resolve().parents[1])
    parser.add_argument("--self-test", action="store_true")
    parser.add_argument("--pseudo", type=Path)
    args = parser.parse_args()
    if args.pseudo:
        text = pseudo((args.source_dir / "res/lang/en-US.rc").read_text(encoding="utf-8"))
        if not args.pseudo.exists() or args.pseudo.read_text(encoding="utf-8") != text:
            args.pseudo.write_text(text, encoding="utf-8")
        return 0
    try:
        problems = (self_test if args.self_test else check)(args.source_dir)
    except (OSError, ValueError, IndexError, StopIteration) as error:
        problems = [f"cannot read the language files: {error!r}"]
    for line in problems:
        print(line)
    if not problems:
        print("every language file matches English" +
              (", and each spoilt copy is reported" if args.self_test else ""))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
