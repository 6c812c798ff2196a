#!/usr/bin/env python3
"""The settings table of core/SettingsTable.h as the tests read it, and the check that every
place that must name a setting names each row of it. Run by ctest: a row added to the table
alone fails with one line for each place that lacks it.

    tests/settings_table.py [--source-dir DIR] [--self-test]

--self-test adds a made-up row to a copy of the sources and fails unless every place reports it,
so that a part that no longer matches what it looks for cannot pass unseen."""

from __future__ import annotations

import argparse
import re
import shutil
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

TABLE = "core/SettingsTable.h"


@dataclass(frozen=True)
class SettingRow:
    index: str  # kDisableTouchpad
    control: str  # IDC_CHECK_DISABLE_TOUCHPAD
    name: str  # m_bDisableTouchpad, the stored value's name
    kind: str  # Bool, Word or String
    default: int
    kept_by_reset: bool
    highest: int  # the largest value a policy may give a Word


_ROW = re.compile(r'ROW\(\s*(\w+)\s*,\s*(\w+)\s*,\s*L"(\w+)"\s*,\s*(Bool|Word|String)\s*,'
                  r"\s*(-?\d+)\s*(?:,\s*(true|false)\s*)?(?:,\s*(0x[0-9A-Fa-f]+|\d+)\s*)?\)")


def read_settings_table(root: Path) -> list[SettingRow]:
    """Every row of QUELVANT_SETTINGS, in table order; ValueError when a row cannot be read."""
    text = (root / TABLE).read_text(encoding="utf-8")
    found = re.search(r"^#define QUELVANT_SETTINGS\(ROW\)((?:.*\\\n)*.*)$", text, re.MULTILINE)
    if not found:
        raise ValueError(f"{TABLE} has no #define QUELVANT_SETTINGS(ROW)")
    table = found.group(1).replace("\\\n", " ")
    rows = [SettingRow(index, control, name, kind, int(default), kept == "true",
                       int(highest, 0) if highest else 0xFFFF)
            for index, control, name, kind, default, kept, highest in _ROW.findall(table)]
    if not rows or len(rows) != table.count("ROW("):
        raise ValueError(f"cannot read every row of {TABLE}: update tests/settings_table.py")
    return rows


@dataclass(frozen=True)
class Place:
    """A part of the sources that must name every row (of some kinds): the files searched, where
    the part starts and ends in them, what must be found there for a row, and what to say
    when it is not."""
    files: str  # a glob below the root
    start: str  # the part begins at this pattern's first match; "" for the whole file
    end: str  # and ends at this pattern's first match after it
    kinds: tuple[str, ...]
    wanted: Callable[[SettingRow, dict[str, str]], str]  # a pattern, searched with MULTILINE
    says: Callable[[SettingRow, dict[str, str]], str]


ALL, BOOL = ("Bool", "Word", "String"), ("Bool",)


def _reg_type(row: SettingRow) -> str:
    return "REG_SZ" if row.kind == "String" else "REG_DWORD"


PLACES = [
    Place("res/resource.h", "", "", ALL,
          lambda r, _: rf"^#define\s+{r.control}\s+\d+\s*$",
          lambda r, _: f"res/resource.h does not #define {r.control}, the control of {r.name}"),
    Place("res/lang/en-US.rc", r"^IDD_QUELVANT_DIALOG DIALOGEX", r"^END\b", ALL,
          lambda r, _: rf'^\s*CONTROL\s+"[^"\n]*",\s*{r.control},\s*"Button",\s*BS_AUTOCHECKBOX\b',
          lambda r, _: f'res/lang/en-US.rc: the main dialog has no CONTROL "...", {r.control}, '
                       f'"Button", BS_AUTOCHECKBOX ... for {r.name}'),
    Place("ui/*.cpp", r"^BEGIN_MESSAGE_MAP\(CQuelvantDlg\b", r"^END_MESSAGE_MAP\(\)", ALL,
          lambda r, _: rf"^\s*ON_BN_CLICKED\(\s*{r.control}\s*,\s*\w+\s*\)",
          lambda r, _: f"ui/: the main dialog's message map has no ON_BN_CLICKED({r.control}, "
                       f"handler) for {r.name}"),
    Place("packaging/policy/Quelvant.admx", r"<policies>", r"</policies>", ALL,
          lambda r, _: rf'<policy name="{r.name}"',
          lambda r, _: f'packaging/policy/Quelvant.admx has no <policy name="{r.name}">'),
    Place("packaging/policy/en-US/Quelvant.adml", r"<stringTable>", r"</stringTable>", ALL,
          lambda r, _: rf'<string id="{r.name}">',
          lambda r, _: f'packaging/policy/en-US/Quelvant.adml has no <string id="{r.name}">'),
    Place("README.md", r"^\| value name \| type \| range \| setting \|$", r"^$", ALL,
          lambda r, _: rf"^\|[^|\n]*`{r.name}`[^|\n]*\|\s*{_reg_type(r)}\s*\|",
          lambda r, _: f"README.md: the table of policy values has no row for `{r.name}` "
                       f"({_reg_type(r)})"),
    Place("tests/native/*.cpp", r"\bkBoxes\[\]\s*=\s*\{", r"\};", BOOL,
          lambda r, _: rf"\b{r.index}\b",
          lambda r, _: f"tests/native: TestDialog::kBoxes lacks {r.index}, the box of {r.name}"),
    Place("tests/e2e/test_settings.py", r"^ROUNDS = \{", r"== set\(q\.SETTING_NAMES\)", ALL,
          lambda r, _: rf"\b{r.name}\b",
          lambda r, _: f"tests/e2e/test_settings.py: ROUNDS moves {r.name} nowhere, nor names it "
                       f"as left out"),
    Place("tests/e2e/test_app_startup.py", r"^TEMPLATE = \[", r"^\]", ALL,
          lambda r, e2e: rf'^\s*\(q\.{e2e.get(r.control, "(?!)")},\s*"Button"',
          lambda r, e2e: f"tests/e2e/test_app_startup.py: TEMPLATE lacks "
                         f"(q.{e2e[r.control]}, \"Button\", ...) for {r.name}"
                         if r.control in e2e else
                         f'tests/e2e/quelvant.py has no NAME = _id("{r.control}") for '
                         f"test_app_startup.py's TEMPLATE to show {r.name}"),
]


def _parts(root: Path, place: Place) -> list[str]:
    """The text of the place in each of its files; none when no file holds it."""
    parts = []
    for path in sorted(root.glob(place.files)):
        text = path.read_text(encoding="utf-8")
        if not place.start:
            parts.append(text)
            continue
        start = re.search(place.start, text, re.MULTILINE)
        end = start and re.compile(place.end, re.MULTILINE).search(text, start.end())
        if end:  # a part that does not end is not taken: the rest of the file could pass for it
            parts.append(text[start.start():end.end()])
    return parts


def _e2e_names(root: Path) -> dict[str, str]:
    """The names quelvant.py gives controls: {"IDC_CHECK_DISABLE_TOUCHPAD": "TOUCHPAD"}."""
    text = (root / "tests/e2e/quelvant.py").read_text(encoding="utf-8")
    return {control: name
            for name, control in re.findall(r'^(\w+) = _id\("(\w+)"\)', text, re.MULTILINE)}


def check_place(root: Path, place: Place, rows: list[SettingRow], e2e: dict[str, str]) -> list[str]:
    """One line for each row the place does not name, or one saying the place is not found."""
    parts = _parts(root, place)
    if not parts:
        return [f"cannot find the part {place.start!r} to {place.end!r} in {place.files}: "
                f"update PLACES in tests/settings_table.py"]
    lines = []
    for row in rows:
        if row.kind in place.kinds and not any(
                re.search(place.wanted(row, e2e), part, re.MULTILINE) for part in parts):
            line = place.says(row, e2e)
            if line not in lines:  # rows that share a control are told once
                lines.append(line)
    return lines


def missing_places(root: Path) -> list[str]:
    """One line for each place that does not name a row it must name, or cannot be found."""
    rows, e2e = read_settings_table(root), _e2e_names(root)
    return [line for place in PLACES for line in check_place(root, place, rows, e2e)]


def self_test(root: Path) -> list[str]:
    """A copy of the sources with one row more fails at every place once for that row."""
    new = SettingRow("kDisableSelfTest", "IDC_CHECK_DISABLE_SELF_TEST", "m_bDisableSelfTest",
                     "Bool", 0, False, 0xFFFF)
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        copy = Path(tmp)
        for name in {TABLE, "tests/e2e/quelvant.py"} | {p.files for p in PLACES}:
            for path in root.glob(name):
                (copy / path.relative_to(root)).parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(path, copy / path.relative_to(root))
        table = copy / TABLE
        row = f'ROW({new.index}, {new.control}, L"{new.name}", {new.kind}, {new.default})'
        text, count = re.subn(r"(^#define QUELVANT_SETTINGS\(ROW\).*\\\n)", rf"\1    {row} \\\n",
                              table.read_text(encoding="utf-8"), flags=re.MULTILINE)
        table.write_text(text, encoding="utf-8")
        rows, e2e = read_settings_table(copy), _e2e_names(copy)
        if count != 1 or rows[0] != new:
            return ["the self-test cannot add its row to the copy of the table"]
        for place in PLACES:
            lines = check_place(copy, place, rows, e2e)
            if sum(new.name in line for line in lines) != 1:
                problems.append(f"{place.files} with a new row {new.name} says {lines}")
    return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source-dir", type=Path, default=Path(__file__).resolve().parents[1])
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    try:
        problems = (self_test if args.self_test else missing_places)(args.source_dir)
    except (OSError, ValueError) as error:
        problems = [str(error)]
    for line in problems:
        print(line)
    if not problems:
        print(f"every place names each of the {len(read_settings_table(args.source_dir))} rows "
              f"of {TABLE}" + (" and reports a new one" if args.self_test else ""))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
