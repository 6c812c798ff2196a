"""The real Quelvant.exe beside the stand-in Helper.dll (tools/fakehelper), in a folder of the
test's own: the stand-in records every call of its two exports and fails the ones it is told
to, so the program can meet a hook that cannot be installed."""

from __future__ import annotations

import os
import shutil
from dataclasses import dataclass

import quelvant as q
from harness import BIN_DIR, Probe, WineSession, fields, wait_until

STAND_IN = BIN_DIR / "fakehelper" / "Helper.dll"


@dataclass(frozen=True)
class Call:
    """One call of an export as the stand-in logged it; every argument and result a number."""

    kind: str  # "mouse" or "keyboard"
    args: dict[str, int]

    def __getitem__(self, name: str) -> int:
        return self.args[name]

    def short(self) -> tuple:
        """The arguments in order and the result, for comparing whole sequences at once."""
        if self.kind == "mouse":
            return ("mouse", self["wFilter"], self["bAllowInjected"], self["result"])
        return ("keyboard", self["bDisable"], self["bAllowInjected"], self["result"])


def mouse(word: int, allow: int = 1, result: int = 1) -> tuple:
    return ("mouse", word, allow, result)


def keyboard(disable: int, allow: int = 1, result: int = 1) -> tuple:
    return ("keyboard", disable, allow, result)


class StandIn:
    """A test folder holding a copy of Quelvant.exe and the stand-in as its Helper.dll.

    real_hooks: a copy of the real library goes beside them as RealHelper.dll, and the
    stand-in hands every call it does not fail on to it, so the hooks are really installed."""

    def __init__(self, wine: WineSession, real_hooks: bool = False):
        copies = {BIN_DIR / "Quelvant.exe": "Quelvant.exe", STAND_IN: "Helper.dll"}
        if real_hooks:
            copies[BIN_DIR / "Helper.dll"] = "RealHelper.dll"
        self.wine = wine
        self.folder = wine.root / "app"
        self.folder.mkdir()
        for source, name in copies.items():
            if not source.is_file():
                raise AssertionError(f"{source} is missing: build the win64 preset first")
            shutil.copy2(source, self.folder / name)
        self.log = self.folder / "fakehelper.log"
        self.conf = self.folder / "fakehelper.conf"

    def fail(self, *rules: str) -> None:
        """Sets the rules the stand-in reads at its next call; none makes every call succeed."""
        staged = self.folder / "fakehelper.conf.new"
        staged.write_text("".join(rule + "\n" for rule in rules), encoding="ascii")
        # Replaced in one step, so that a call never reads half a file.
        os.replace(staged, self.conf)

    def lines(self) -> list[str]:
        try:
            text = self.log.read_text(encoding="ascii")
        except FileNotFoundError:
            return []
        # A line without its newline is still being written.
        return text.split("\n")[:-1]

    def calls(self) -> list[Call]:
        """Every call so far, in order. A line the stand-in wrote about a problem of its own
        (a rule it could not read, an internal error) fails the test here."""
        out = []
        for line in self.lines():
            kind, _, rest = line.partition(" ")
            if kind == "attach":
                continue
            if kind not in ("mouse", "keyboard"):
                raise AssertionError(f"the stand-in reports: {line!r}")
            out.append(Call(kind, {k: int(v, 0) for k, v in fields(rest).items()}))
        return out

    def attached(self) -> int:
        return sum(1 for line in self.lines() if line == "attach")

    def wait_calls(self, count: int) -> list[Call]:
        """Waits until at least count calls are logged and returns them all."""

        def enough() -> list[Call] | None:
            calls = self.calls()
            return calls if len(calls) >= count else None

        return wait_until(enough, what=f"{count} calls of the stand-in")

    def start(self, *args: str, wait_window: bool = True) -> q.Quelvant:
        """Starts the copy of Quelvant.exe, which loads the stand-in from its own folder."""
        app = q.start(self.wine, *args, program=self.folder / "Quelvant.exe", wait_window=False)
        wait_until(self.attached, what="the stand-in to be loaded")
        if wait_window:
            q.wait_shown(app)
        return app

    def start_with_probe(self, *args: str) -> tuple[q.Quelvant, Probe]:
        """As quelvant.start_with_probe: the probe beside the dialog, pointer and keys on it."""
        app = self.start(*args)
        return app, q.probe_beside(app)
