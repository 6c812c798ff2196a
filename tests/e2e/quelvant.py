"""Drives the real Quelvant.exe: starts it in a test's Wine prefix, works its dialogs through
drive.exe (as an automation client would, so it works while the mouse is blocked), and reads
and writes its registry values."""

from __future__ import annotations

import re
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

# BIN_DIR, poll and utf16z are here for the modules that use them as q.BIN_DIR and so on.
from harness import (  # noqa: F401
    ARTIFACT_DIR,
    BIN_DIR,
    DEFAULT_TIMEOUT,
    REPO,
    WINE_REG,
    WINE_REGEDIT,
    LineReader,
    Probe,
    WineSession,
    assert_back_at_rest,
    header_number,
    header_numbers,
    poll,
    prefix_processes,
    run_wine,
    unescape,
    utf16z,
    wait_until,
)

sys.path.append(str(REPO / "tests"))  # the settings table's reader, shared with the release check
from settings_table import read_settings_table  # noqa: E402

# Every row of the program's settings table: value name, kind, default and control.
SETTING_ROWS = read_settings_table(REPO)

SETTINGS_KEY = r"HKCU\Software\AppData\Quelvant\Settings"
MACHINE_POLICY = r"HKLM\Software\Policies\Quelvant"
USER_POLICY = r"HKCU\Software\Policies\Quelvant"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
TITLE = "Quelvant"
CAPTURE_TITLE = "Keyboard Shortcut - Quelvant"

# Control and command ids of the dialogs, from the program's resource header.
_RESOURCE_H = "res/resource.h"
_IDS = header_numbers(_RESOURCE_H)


def _id(name: str) -> int:
    return header_number(_IDS, name, _RESOURCE_H)


LEFT = _id("IDC_CHECK_DISABLE_LEFT_CLICK")
RIGHT = _id("IDC_CHECK_DISABLE_RIGHT_CLICK")
MIDDLE = _id("IDC_CHECK_DISABLE_MIDDLE_CLICK")
MOVES = _id("IDC_CHECK_DISABLE_MOUSE_MOVEMENTS")
WHEEL = _id("IDC_CHECK_DISABLE_MOUSE_WHEEL")
OSK = _id("IDC_BUTTON_OSK")
RESET = _id("IDC_BUTTON_RESET_SETTINGS")
KEYBOARD = _id("IDC_CHECK_DISABLE_KEYBOARD_KEYS")
AUTO_MINIMIZE = _id("IDC_CHECK_AUTO_MINIMIZE")
CLOSE_SHORTCUT = _id("IDC_CHECK_CLOSE_SHORTCUT")
AUTO_START = _id("IDC_CHECK_AUTO_START")
ALLOW_INJECTED = _id("IDC_CHECK_ALLOW_INJECTED")
DISABLE_ENABLE_SHORTCUT = _id("IDC_CHECK_DISABLE_ENABLE_SHORTCUT")
HOTKEY = _id("IDC_HOTKEY_SHORTCUT")  # in the capture dialog
CLEAR = _id("IDC_BUTTON_CLEAR")  # in the capture dialog
AUDIBLE_ALERTS = _id("IDC_CHECK_AUDIBLE_ALERTS")
STATUS = _id("IDC_EDIT_STATUS")
TOUCHPAD = _id("IDC_CHECK_DISABLE_TOUCHPAD")
MANAGED = _id("IDC_EDIT_MANAGED")
MENU_RESET = _id("ID_MENU_RESET_SETTINGS")
MENU_MINIMIZE = _id("ID_MENU_MINIMIZE")
MENU_CLOSE = _id("ID_MENU_CLOSE")
MENU_OSK = _id("ID_MENU_ON_SCREEN_KEYBOARD")
ABOUT = _id("IDM_ABOUTBOX")
# The notification icon: its callback message and its menu's commands.
NOTIFY_ICON = _id("WM_NOTIFY_ICON")
TRAY_LOCK_1 = _id("ID_TRAY_LOCK_1")
TRAY_RELEASE = _id("ID_TRAY_RELEASE")
TRAY_OPEN = _id("ID_TRAY_OPEN")
TRAY_CLOSE = _id("ID_TRAY_CLOSE")
LOCK_TEXT = _id("IDC_LOCK_TEXT")
CONTEXT_MENU = _id("IDR_MENU_CONTEXT")
MOUSE_BOXES = (LEFT, RIGHT, MIDDLE, MOVES, WHEEL)


def string_table(relative: str) -> dict[str, str]:
    """The STRINGTABLE of a resource script, each text by the name before it, escapes undone."""
    table = {}
    text = (REPO / relative).read_text(encoding="utf-8")
    for block in re.findall(r"^STRINGTABLE\s*\nBEGIN\n(.*?)^END", text, re.M | re.S):
        for name, quoted in re.findall(r'^\s*(\S+)\s+"((?:[^"]|"")*)"\s*$', block, re.M):
            table[name] = unescape(quoted.replace('""', '"'))
    return table


ENGLISH = string_table("res/lang/en-US.rc")


def english(name: str, *args: str) -> str:
    """An English text of the program by its id's name, %1, %2... filled."""
    if name not in ENGLISH:
        raise RuntimeError(f"res/lang/en-US.rc has no {name}: update quelvant.py")
    return re.sub(r"%([1-9])", lambda m: args[int(m[1]) - 1] if int(m[1]) <= len(args) else m[0],
                  ENGLISH[name])


# What a control of a locked setting says, and what the keyboard box says of the way out.
MANAGED_TIP = english("IDS_MANAGED_TIP")
MANAGED_LINE = english("IDS_MANAGED_LINE")
MANAGED_DESCRIPTION = english("IDS_MANAGED_LINE_DESCRIPTION").split("%1")[0]
KEYBOARD_TIP = english("IDS_KEYBOARD_BOX_TIP")
# The check box that shows each BOOL setting, as the settings table names it.
SETTING_BOX = {row.name: _id(row.control) for row in SETTING_ROWS if row.kind == "Bool"}
# Every stored setting in the order of core/SettingsTable.h.
SETTING_NAMES = tuple(row.name for row in SETTING_ROWS)
# What a first start stores: numbers for BOOLs and words, text for the one string.
DEFAULTS: dict[str, int | str] = {
    row.name: "" if row.kind == "String" else row.default for row in SETTING_ROWS
}


class Driver:
    """drive.exe: one command a line, one answer a line."""

    def __init__(self, wine: WineSession):
        # What Wine says when the driver cannot start (no server to join, say) goes to a file.
        errors = wine.root / "drive.err"
        with errors.open("w") as sink:
            self.process = wine.start(
                "drive.exe",
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=sink,
                text=True,
                encoding="utf-8",
                bufsize=1,
            )
        self._lines = LineReader(self.process, "drive.exe")
        try:
            first = self._next()
        except AssertionError as error:
            # Say what the prefix was doing and what Wine said.
            said = errors.read_text(errors="replace")[-2000:]
            raise AssertionError(f"{error}; the prefix's processes:\n"
                                 f"{prefix_processes(wine.prefix)}\ndrive.exe's errors: {said!r}"
                                 ) from None
        assert first == "ready", first

    def _next(self) -> str:
        return self._lines.next()

    def __call__(self, line: str) -> str:
        assert self.process.stdin is not None
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        return self._next()

    def lines(self, line: str) -> list[str]:
        """For commands that answer several lines closed by "end"."""
        first = self(line)
        if first.startswith("error"):
            raise AssertionError(f"drive.exe: {line!r} -> {first!r}")
        out = []
        while first != "end":
            out.append(first)
            first = self._next()
        return out

    def value(self, line: str) -> str | None:
        """The text after "ok ", or None when the window or control is not there."""
        answer = self(line)
        if answer == "ok":
            return ""
        if answer.startswith("ok "):
            return answer[3:]
        return None


@dataclass
class MessageBox:
    caption: str
    text: str
    owned: bool


class Quelvant:
    """One running Quelvant.exe and the driver that works it."""

    def __init__(self, wine: WineSession, driver: Driver, process: subprocess.Popen):
        self.wine = wine
        self.drive = driver
        self.process = process

    # Window and controls
    def use(self, title: str = TITLE) -> None:
        assert self.drive(f"use {title}") == "ok"

    def visible(self) -> bool:
        return self.drive.value("visible") == "1"

    def exists(self) -> bool:
        return self.drive.value("exists") == "1"

    def iconic(self) -> bool:
        return self.drive.value("iconic") == "1"

    def check(self, control: int) -> int:
        value = self.drive.value(f"check {control}")
        assert value is not None, f"control {control} is missing"
        return int(value)

    def enabled(self, control: int) -> bool:
        return self.drive.value(f"enabled {control}") == "1"

    def text(self, control: int) -> str:
        value = self.drive.value(f"text {control}")
        assert value is not None, f"control {control} is missing"
        return unescape(value)

    def tip(self, control: int) -> str | None:
        """The control's tooltip, which screen readers read as its description; None if it has none."""
        value = self.drive.value(f"tip {control}")
        return None if value is None else unescape(value)

    def status(self) -> str:
        return self.text(STATUS)

    def click(self, control: int) -> None:
        assert self.drive(f"click {control}") == "ok", f"cannot click {control}"

    def command(self, command_id: int) -> None:
        assert self.drive(f"command {command_id}") == "ok"

    def post(self, message: int, wparam: int = 0, lparam: int = 0) -> None:
        assert self.drive(f"post {message} {wparam} {lparam}") == "ok"

    def wait_status(self, text: str) -> None:
        wait_until(lambda: self.status() == text, what=f"status {text!r} (now {self.status()!r})")

    def set_disable_enable_shortcut(self, hotkey: int) -> None:
        """Ticks the box and confirms the capture dialog with the hot-key control set to
        hotkey (HKM_SETHOTKEY's value: modifier flags << 8 | virtual key)."""
        self.click(DISABLE_ENABLE_SHORTCUT)
        wait_until(lambda: self.drive(f"find {CAPTURE_TITLE}") != "none", what="the capture dialog")
        self.use(CAPTURE_TITLE)
        wait_until(self.visible, what="the capture dialog to show")
        assert self.drive(f"hotkey-set {HOTKEY} {hotkey:#x}") == "ok"
        self.click(1)  # OK
        wait_until(lambda: not self.visible(), what="the capture dialog to close")
        self.use()

    def wait_focus(self, control: int) -> None:
        """Waits until the keyboard focus is on the control: without a window manager it
        follows the pointer, and keys sent before it arrives go elsewhere."""
        wait_until(lambda: self.drive.value("focus") == str(control),
                   what=f"the focus on control {control} (now {self.drive.value('focus')})")

    def wait_foreground(self) -> None:
        """Waits until the dialog is the window the keys go to."""
        wait_until(lambda: self.drive.value("foreground") == self.drive.value("wintext"),
                   what=f"the dialog in front (now {self.drive.value('foreground')!r})")

    def wait_check(self, control: int, state: int) -> None:
        wait_until(lambda: self.check(control) == state, what=f"box {control} to be {state}")

    def message_box(self) -> MessageBox | None:
        value = self.drive.value("msgbox")
        if value is None:
            return None
        caption, text, owned = value.split("\t")
        return MessageBox(unescape(caption), unescape(text), owned == "owned")

    def wait_message_box(self) -> MessageBox:
        return wait_until(self.message_box, what="a message box")

    def press_message_box(self, button: int = 1) -> None:
        assert self.drive(f"msgbox-press {button}") == "ok"
        wait_until(lambda: self.message_box() is None, what="the message box to close")

    def controls(self) -> list[dict]:
        rows = []
        for line in self.drive.lines("controls"):
            cid, cls, style, left, top, right, bottom, enabled, text = line.split("\t")
            rows.append(
                dict(
                    id=int(cid),
                    cls=cls,
                    style=int(style),
                    rect=(int(left), int(top), int(right), int(bottom)),
                    enabled=enabled == "1",
                    text=unescape(text),
                )
            )
        return rows

    def map_dialog_rect(self, x: int, y: int, w: int, h: int) -> tuple[int, int, int, int]:
        value = self.drive.value(f"maprect {x} {y} {w} {h}")
        assert value is not None
        return tuple(map(int, value.split()))  # type: ignore[return-value]

    def window_rect(self) -> tuple[int, int, int, int]:
        value = self.drive.value("winrect")
        assert value is not None
        return tuple(map(int, value.split()))  # type: ignore[return-value]

    def close(self) -> None:
        """Closes the dialog as the close box would and waits for the program to end."""
        self.post(0x0010)
        self.wait_exit()

    def wait_exit(self) -> int:
        code = wait_until(lambda: self.process.poll() is not None or None, what="Quelvant to end")
        assert code
        return self.process.returncode

    def ended(self) -> bool:
        return self.process.poll() is not None

    def assert_back_at_rest(self) -> None:
        """Back at rest within 2 s of the last event it handled: only the watchdog wakes it."""
        assert_back_at_rest(self.process.pid)

    def screenshot(self, name: str) -> Path:
        ARTIFACT_DIR.mkdir(parents=True, exist_ok=True)
        path = ARTIFACT_DIR / f"{name}.png"
        left, top, right, bottom = self.window_rect()
        geometry = f"{right - left}x{bottom - top}+{max(left, 0)}+{max(top, 0)}"
        subprocess.run(
            ["import", "-window", "root", "-crop", geometry, "+repage", str(path)],
            env=self.wine.env,
            check=True,
            timeout=60,
        )
        return path


def start(wine: WineSession, *args: str, wait_window: bool = True,
          program: str | Path = "Quelvant.exe") -> Quelvant:
    """Starts the program: a name from the build, or a path (a copy elsewhere, an installed
    program); waits until its dialog is shown unless told not to."""
    process = wine.start(program, *args, stdin=subprocess.DEVNULL)
    app = Quelvant(wine, driver_for(wine), process)
    if wait_window:
        wait_shown(app)
    return app


def wait_shown(app: Quelvant) -> None:
    wait_until(app.visible, what="the Quelvant dialog")
    # The status line is written by the first apply at the end of the initialisation.
    wait_until(lambda: app.status() != "", what="the first status text")
    # The tooltips follow the first paint; the keyboard box always has one.
    wait_until(lambda: app.tip(KEYBOARD) is not None, what="the tooltips")


def driver_for(wine: WineSession) -> Driver:
    """One driver per session, started on first use and ended with the session."""
    if not isinstance(wine.driver, Driver) or wine.driver.process.poll() is not None:
        wine.driver = Driver(wine)
    return wine.driver


# Registry
def reg_query_lines(wine: WineSession, key: str) -> list[str]:
    """What `reg query` prints for a key, line by line; [] when the key is missing."""
    result = run_wine(["wine", WINE_REG, "query", key], wine.env)
    if result.returncode != 0:
        if result.returncode == 1 and "Unable to find the specified registry key" in result.stdout:
            return []
        # Any other failure is no answer, never "no values": say what reg.exe said.
        raise AssertionError(f"reg query {key} ended with {result.returncode}: "
                             f"{result.stdout!r} {result.stderr!r}")
    return [line.rstrip("\r") for line in result.stdout.splitlines()]


def reg_query(wine: WineSession, key: str) -> dict[str, tuple[str, str]]:
    """The values of a key as {name: (type, data)}; {} when the key is missing."""
    values = {}
    for line in reg_query_lines(wine, key):
        if not line.startswith("    "):
            continue
        parts = line.strip().split("    ")
        if len(parts) >= 2:
            name, kind = parts[0], parts[1]
            data = parts[2] if len(parts) > 2 else ""
            values[name] = (kind, data)
    return values


def settings(wine: WineSession) -> dict[str, int | str]:
    """The stored settings, integers as numbers."""
    out: dict[str, int | str] = {}
    for name, (kind, data) in reg_query(wine, SETTINGS_KEY).items():
        out[name] = int(data, 16) if kind == "REG_DWORD" else data
    return out


def reg_run(wine: WineSession, *args: str) -> None:
    """Runs reg.exe to change the registry; a failure fails the test with what reg.exe said."""
    result = run_wine(["wine", WINE_REG, *args], wine.env)
    assert result.returncode == 0, \
        f"reg {' '.join(args)} ended with {result.returncode}: {result.stdout!r} {result.stderr!r}"


def reg_add(wine: WineSession, key: str, name: str, kind: str, data: str) -> None:
    reg_run(wine, "add", key, "/v", name, "/t", kind, "/d", data, "/f")


def store_settings(wine: WineSession, **values: int | str) -> None:
    """Writes settings before a start, through a .reg file in one go."""
    store_values(wine, SETTINGS_KEY, **values)


def remove_key(wine: WineSession, key: str, whole: bool = False) -> None:
    """Deletes a key. Wine's reg.exe empties its values first; whole, it goes at once with all
    it holds (regdelete.exe), as Windows' "reg delete /f" or an unlinked policy object does."""
    if whole:
        parent, name = key.rsplit("\\", 1)
        run_wine(["wine", str(wine.exe("regdelete.exe")), parent, name], wine.env, check=True)
    else:
        reg_run(wine, "delete", key, "/f")
    wait_until(lambda: reg_query(wine, key) == {}, what=f"{key} to go")


def store_values(wine: WineSession, key: str, **values: int | str) -> None:
    """Writes values under an HKCU or HKLM key (settings, an administrator's policy) in one go."""
    root, path = key.split("\\", 1)
    root = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}[root]
    lines = ["Windows Registry Editor Version 5.00", "", f"[{root}\\{path}]"]
    for name, value in values.items():
        if isinstance(value, str):
            escaped = value.replace("\\", "\\\\").replace('"', '\\"')
            lines.append(f'"{name}"="{escaped}"')
        else:
            lines.append(f'"{name}"=dword:{value & 0xFFFFFFFF:08x}')
    reg_file = wine.root / "settings.reg"
    reg_file.write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")
    subprocess.run(["wine", WINE_REGEDIT, "/S", str(reg_file)], env=wine.env, check=True,
                   timeout=60)
    wait_until(lambda: all(n in reg_query(wine, key) for n in values), what=f"the values in {key}")


def wait_settings(wine: WineSession, **expected: int | str) -> dict[str, int | str]:
    """Polls the stored settings until the given values hold."""

    def matching() -> dict[str, int | str] | None:
        stored = settings(wine)
        return stored if all(stored.get(k) == v for k, v in expected.items()) else None

    return wait_until(matching, what=f"stored settings {expected}")


# The lock for cleaning: its window, its words, and what it says.
LOCK_WINDOW = "Quelvant Lock"
LOCK_BOX = "Quelvant: Lock for Cleaning"
LOCK_ENDED = english("IDS_LOCK_ENDED")
LOCK_USAGE = english("IDS_LOCK_USAGE")
LOCK_FORBIDDEN = english("IDS_LOCK_FORBIDDEN")


def countdown(seconds: int) -> str:
    return (f"Locked for cleaning: {seconds // 60}:{seconds % 60:02d} left. "
            "Ctrl+Alt+Shift+Q ends it now.")


def run_lock_command(wine: WineSession, *words: str) -> subprocess.Popen:
    """A second start with lock words; it hands them over (or shows a box) and ends."""
    return wine.start("Quelvant.exe", *words, stdin=subprocess.DEVNULL)


def exit_code(process: subprocess.Popen) -> int:
    return wait_until(lambda: process.poll() is not None or None, what="the start to end") and \
        process.returncode


class TrayHost:
    """trayhost.exe: the notification area as Wine's shell32 talks to it; one line per call."""

    def __init__(self, wine: WineSession):
        self.process = wine.start("trayhost.exe", stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self._lines = LineReader(self.process, "trayhost.exe")
        self.calls: list[dict[str, str]] = []
        ready = self._lines.next()
        assert ready.startswith("ready "), ready
        self.hwnd = ready.split("=", 1)[1]

    def wait_call(self, what: str, **expected: str) -> dict[str, str]:
        """The next call (after those already read) whose fields hold the expected values."""
        while True:
            try:
                line = self._lines.next()
            except AssertionError as error:
                raise AssertionError(f"no call of the notification area for {what}") from error
            head, _, tip = line.partition(" tip=")
            call = dict(part.split("=", 1) for part in head.split()[1:])
            call["tip"] = unescape(tip)
            self.calls.append(call)
            if all(call.get(k) == v for k, v in expected.items()):
                return call


class HotKeyHolder:
    """hotkeyhold.exe: another program that holds global hot keys."""

    def __init__(self, wine: WineSession, *combinations: tuple[int, int]):
        self.process = wine.start(
            "hotkeyhold.exe",
            *(f"{mod:x}:{vk:x}" for mod, vk in combinations),
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
            text=True,
            bufsize=1,
        )
        self.held: dict[tuple[int, int], bool] = {}
        lines = LineReader(self.process, "hotkeyhold.exe")
        while (line := lines.next().strip()) != "ready":
            state, pair = line.split(" ", 1)
            mod, vk = (int(part, 16) for part in pair.split(":"))
            self.held[(mod, vk)] = state == "held"

    def release(self) -> None:
        if self.process.stdin is not None and not self.process.stdin.closed:
            self.process.stdin.close()
        self.process.wait(timeout=DEFAULT_TIMEOUT)


def hot_key_free(wine: WineSession, modifiers: int, vk: int) -> bool:
    """Whether another program could register the combination now."""
    holder = HotKeyHolder(wine, (modifiers, vk))
    try:
        return holder.held[(modifiers, vk)]
    finally:
        holder.release()


def probe_beside(app: Quelvant) -> Probe:
    """The probe right of the dialog, with pointer and keys going to it."""
    _left, _top, right, _bottom = app.window_rect()
    probe = app.wine.start_probe(x=max(right, 0) + 60, y=100, w=400, h=300)
    app.wine.settle_on(probe)
    return probe


def start_with_probe(wine: WineSession, *args: str, program: str | Path = "Quelvant.exe"):
    """Quelvant, and the probe beside its dialog with pointer and keys going to the probe."""
    app = start(wine, *args, program=program)
    return app, probe_beside(app)


def probe_edit_text(wine: WineSession, probe: Probe) -> str:
    """What the probe's edit holds, read as an automation client would."""
    drive = driver_for(wine)
    assert drive(f"use {probe.title}") == "ok"
    try:
        text = drive.value("text 100")  # the edit's control id in tools/probe
        assert text is not None, "the probe has no edit"
        return unescape(text)
    finally:
        assert drive(f"use {TITLE}") == "ok"


def store_raw(wine: WineSession, key: str, values: dict[str, tuple[int, bytes]]) -> None:
    """Writes values of any registry type and shape (odd sizes, no NUL) byte for byte, through
    regvalue.exe (tools/voice); the key is created when it is missing."""
    for name, (kind, data) in values.items():
        # Through standard input: a long value does not fit on a command line.
        result = run_wine(
            ["wine", str(wine.exe("regvalue.exe")), "set", key, name, str(kind), "-"],
            wine.env,
            input=data.hex(),
            timeout=DEFAULT_TIMEOUT * 3,
        )
        assert (result.returncode, result.stdout.strip()) == (0, "ok"), (
            f"regvalue set {key} {name}: {result.stdout}{result.stderr}"
        )
