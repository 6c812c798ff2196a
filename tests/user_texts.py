#!/usr/bin/env python3
"""The check that no text a user sees or hears is written in the program's code: every such
text lives in the string tables of res/lang. Run by ctest: a wide string literal that reads as
words fails with its file and line.

    tests/user_texts.py [--source-dir DIR] [--self-test]

--self-test puts a text back into a copy of the sources and fails unless the check reports it
there, so that a scanner that no longer sees literals cannot pass unseen."""

from __future__ import annotations

import argparse
import re
import shutil
import sys
import tempfile
from pathlib import Path

FOLDERS = ("ui", "core", "app", "adapters", "framework", "hooklib")

# Literals that must stay as they are in every language: the product name, the registry's and
# the profile's names, value names read from the system, desktop names.
ALLOWED = {"Quelvant", "Settings", "Software", "Policy", "Present", "Enabled", "Default",
           "Attributes", "Language"}  # registry and SAPI token names

# Words with a blank between them, or one capitalised word (with numbers, a closing stop or
# colon); identifiers in CamelCase, capitals, paths and names with dots do not read as text.
_WORDS = re.compile(r"[^\W\d_]{2,} +[^\W\d_]{2,}")
_WORD = re.compile(r"[A-Z][a-z]+[.:!?]?")


def wide_literals(source: str) -> list[tuple[int, str]]:
    """Each wide string literal of C++ source (adjacent pieces apart) with its line, comments
    and other literals skipped."""
    found = []
    i, line = 0, 1
    while i < len(source):
        c = source[i]
        if source.startswith("//", i):
            i = source.find("\n", i)
            i = len(source) if i < 0 else i
        elif source.startswith("/*", i):
            end = source.find("*/", i + 2)
            end = len(source) if end < 0 else end + 2
            line += source.count("\n", i, end)
            i = end
        elif c in "\"'":
            wide = i > 0 and source[i - 1] == "L" and not (i > 1 and source[i - 2].isalnum())
            j = i + 1
            while j < len(source) and source[j] != c:
                j += 2 if source[j] == "\\" else 1
            if wide and c == '"':
                found.append((line, source[i + 1:j]))
            line += source.count("\n", i, j)
            i = j + 1
        else:
            line += c == "\n"
            i += 1
    return found


def reads_as_text(literal: str) -> bool:
    # Line breaks and tabs part words; an escaped backslash or quote belongs to a path or name.
    text = re.sub(r"\\(.)", lambda m: " " if m[1] in "nrt" else m[1], literal)
    if literal in ALLOWED:
        return False
    text = text.replace("&", "")  # access-key marks
    return (bool(_WORDS.search(text)) or bool(_WORD.fullmatch(re.sub(r"[\d ]", "", text)))
            or any(ord(ch) > 0x7F for ch in text))


def user_texts(root: Path) -> list[str]:
    problems = []
    for folder in FOLDERS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h") or not path.is_file():
                continue
            for line, literal in wide_literals(path.read_text(encoding="utf-8")):
                if reads_as_text(literal):
                    problems.append(f"{path.relative_to(root)}:{line}: L\"{literal}\" reads as "
                                    "a user's text: give it an IDS_ id in res/resource.h and "
                                    "res/lang/*.rc, or add it to ALLOWED in tests/user_texts.py")
    return problems


def self_test(root: Path) -> list[str]:
    """A copy of the sources with one text put back reports it, there and nowhere else."""
    with tempfile.TemporaryDirectory() as temp:
        copy = Path(temp)
        for folder in FOLDERS:
            shutil.copytree(root / folder, copy / folder)
        target = copy / "core" / "BlockingRules.cpp"
        lines = target.read_text(encoding="utf-8").count("\n")
        with target.open("a", encoding="utf-8") as source:
            source.write('// L"In a comment"\nconst wchar_t* kBack = L"Reset of Settings Done.";\n')
        found = user_texts(copy)
        expected = f"core/BlockingRules.cpp:{lines + 2}:"
        if len(found) != 1 or not found[0].startswith(expected):
            return [f"the self-test wanted one finding at {expected}, got {found}"]
    return []


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source-dir", type=Path, default=Path(__file__).resolve().parents[1])
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    problems = (self_test if args.self_test else user_texts)(args.source_dir)
    for line in problems:
        print(line, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
