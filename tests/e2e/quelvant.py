"""Drives the real Quelvant.exe: starts it in a test's Wine prefix, works its dialogs through
drive.exe (as an automation client would, so it works while the mouse is blocked), and reads
and writes its registry values."""

from __future__ import annotations

import queue
import subprocess
import threading
from dataclasses import dataclass
from pathlib import Path

from harness import ARTIFACT_DIR, BIN_DIR, DEFAULT_TIMEOUT, WineSession, poll, wait_until

SETTINGS_KEY = r"HKCU\Software\AppData\Quelvant\Settings"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
TITLE = "Quelvant"

# Control ids of the main dialog.
LEFT, RIGHT, MIDDLE, MOVES, WHEEL = 1000, 1001, 1002, 1003, 1004
OSK, RESET = 1005, 1006
KEYBOARD, AUTO_MINIMIZE, CLOSE_SHORTCUT, AUTO_START, ALLOW_INJECTED = 1007, 1011, 1012, 1013, 1014
DISABLE_ENABLE_SHORTCUT, AUDIBLE_ALERTS, STATUS = 1016, 1019, 1020
MOUSE_BOXES = (LEFT, RIGHT, MIDDLE, MOVES, WHEEL)

SETTING_NAMES = (
    "m_bCheckDisableLeftClick",
    "m_bCheckDisableMiddleClick",
    "m_bCheckDisableMouseMovements",
    "m_bCheckDisableMouseWheel",
    "m_bCheckDisableRightClick",
    "m_bDisableKeyboardKeys",
    "m_bAutoMinimize",
    "m_bCloseWithKeyboardShortcut",
    "m_bAllowInjected",
    "m_bDisableEnableKeyboardShortcut",
    "m_wKey2",
    "m_wMod2",
    "m_sKeyboardShortcutName2",
    "m_bAudibleAlerts",
)


class Driver:
    """drive.exe: one command a line, one answer a line."""

    def __init__(self, wine: WineSession):
        self.process = wine.start(
            "drive.exe",
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
            text=True,
            encoding="utf-8",
            bufsize=1,
        )
        self._lines: queue.Queue[str] = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        assert self._next() == "ready"

    def _read(self) -> None:
        assert self.process.stdout is not None
        for line in self.process.stdout:
            self._lines.put(line.rstrip("\r\n"))

    def _next(self) -> str:
        try:
            return self._lines.get(timeout=DEFAULT_TIMEOUT)
        except queue.Empty:
            raise AssertionError("drive.exe did not answer") from None

    def __call__(self, line: str) -> str:
        assert self.process.stdin is not None
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        return self._next()

    def lines(self, line: str) -> list[str]:
        """For commands that answer several lines closed by "end"."""
        first = self(line)
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


def unescape(text: str) -> str:
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


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
          program: str = "Quelvant.exe") -> Quelvant:
    process = wine.start(program, *args, stdin=subprocess.DEVNULL)
    app = Quelvant(wine, driver_for(wine), process)
    if wait_window:
        wait_until(app.visible, what="the Quelvant dialog")
        # The status line is written by the first apply at the end of the initialisation.
        wait_until(lambda: app.status() != "", what="the first status text")
    return app


_drivers: dict[int, Driver] = {}


def driver_for(wine: WineSession) -> Driver:
    """One driver per session, started on first use and ended with the session."""
    key = id(wine)
    if key not in _drivers or _drivers[key].process.poll() is not None:
        _drivers[key] = Driver(wine)
    return _drivers[key]


# Registry
def reg_query(wine: WineSession, key: str) -> dict[str, tuple[str, str]]:
    """The values of a key as {name: (type, data)}; {} when the key is missing."""
    result = subprocess.run(
        ["wine", "reg", "query", key],
        env=wine.env,
        capture_output=True,
        text=True,
        timeout=60,
    )
    values = {}
    for line in result.stdout.splitlines():
        line = line.rstrip("\r")
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


def reg_add(wine: WineSession, key: str, name: str, kind: str, data: str) -> None:
    subprocess.run(
        ["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"],
        env=wine.env,
        check=True,
        capture_output=True,
        timeout=60,
    )


def store_settings(wine: WineSession, **values: int | str) -> None:
    """Writes settings before a start, through a .reg file in one go."""
    lines = ["Windows Registry Editor Version 5.00", "", f"[{SETTINGS_KEY.replace('HKCU', 'HKEY_CURRENT_USER')}]"]
    for name, value in values.items():
        if isinstance(value, str):
            escaped = value.replace("\\", "\\\\").replace('"', '\\"')
            lines.append(f'"{name}"="{escaped}"')
        else:
            lines.append(f'"{name}"=dword:{value & 0xFFFFFFFF:08x}')
    reg_file = wine.root / "settings.reg"
    reg_file.write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")
    subprocess.run(["wine", "regedit", "/S", str(reg_file)], env=wine.env, check=True, timeout=60)
    wait_until(lambda: all(n in settings(wine) for n in values), what="the stored settings")


def wait_settings(wine: WineSession, **expected: int | str) -> dict[str, int | str]:
    """Polls the stored settings until the given values hold."""

    def matching() -> dict[str, int | str] | None:
        stored = settings(wine)
        return stored if all(stored.get(k) == v for k, v in expected.items()) else None

    return wait_until(matching, what=f"stored settings {expected}")


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
        assert self.process.stdout is not None
        for line in self.process.stdout:
            line = line.strip()
            if line == "ready":
                break
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


def start_with_probe(wine: WineSession, *args: str, program: str = "Quelvant.exe"):
    """Quelvant, and the probe beside its dialog with pointer and keys going to the probe."""
    app = start(wine, *args, program=program)
    left, top, right, bottom = app.window_rect()
    probe = wine.start_probe(x=max(right, 0) + 60, y=100, w=400, h=300)
    wine.settle_on(probe)
    return app, probe


def store_raw(wine: WineSession, key: str, values: dict[str, tuple[int, bytes] | None],
              delete_key: bool = False) -> None:
    """Writes values of any registry type and shape (odd sizes, no NUL), through a .reg file.
    None deletes the value; delete_key removes the whole key first."""
    full = key.replace("HKCU", "HKEY_CURRENT_USER")
    lines = ["Windows Registry Editor Version 5.00", ""]
    if delete_key:
        lines += [f"[-{full}]", ""]
    lines.append(f"[{full}]")
    for name, value in values.items():
        if value is None:
            lines.append(f'"{name}"=-')
            continue
        kind, data = value
        hex_bytes = ",".join(f"{b:02x}" for b in data)
        lines.append(f'"{name}"=hex({kind:x}):{hex_bytes}')
    reg_file = wine.root / "raw.reg"
    reg_file.write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")
    subprocess.run(["wine", "regedit", "/S", str(reg_file)], env=wine.env, check=True, timeout=60)


def utf16z(text: str) -> bytes:
    """A string as the registry stores it: UTF-16 with its closing NUL."""
    return (text + "\0").encode("utf-16-le")
