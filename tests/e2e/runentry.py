"""Byte-exact access to registry values through regvalue.exe (tools/voice), which `reg` lacks:
it shows no sizes and cannot write odd ones; keys made read-only (tools/reglock); and Quelvant
started from a copy elsewhere."""

from __future__ import annotations

import re
import shutil
from dataclasses import dataclass
from pathlib import Path

import quelvant as q
from harness import (  # noqa: F401 (the registry's names, for the modules that import them here)
    BIN_DIR,
    DEFAULT_TIMEOUT,
    REG_BINARY,
    REG_DWORD,
    REG_EXPAND_SZ,
    REG_SZ,
    WineSession,
    run_wine,
    utf16z,
)


@dataclass(frozen=True)
class RawValue:
    type: int
    data: bytes

    @property
    def size(self) -> int:
        return len(self.data)

    def text(self) -> str:
        """The data as UTF-16, without the closing NUL."""
        return self.data.decode("utf-16-le").removesuffix("\0")


def _regvalue(wine: WineSession, *args: str) -> str:
    result = run_wine(["wine", str(wine.exe("regvalue.exe")), *args], wine.env,
                      timeout=DEFAULT_TIMEOUT * 3)
    assert result.returncode == 0, f"regvalue {args}: {result.stdout}{result.stderr}"
    return result.stdout.strip()


def reg_value(wine: WineSession, key: str, name: str) -> RawValue | None:
    """A value exactly as stored, or None when it or its key is missing."""
    answer = _regvalue(wine, "get", key, name)
    if answer in ("missing", "nokey"):
        return None
    match = re.fullmatch(r"type=(\d+) size=(\d+) data=([0-9a-f]*)", answer)
    assert match, f"unexpected answer {answer!r}"
    data = bytes.fromhex(match[3])
    assert len(data) == int(match[2])
    return RawValue(int(match[1]), data)


def key_exists(wine: WineSession, key: str) -> bool:
    return _regvalue(wine, "get", key, "") != "nokey"


def set_reg_value(wine: WineSession, key: str, name: str, kind: int, data: bytes) -> None:
    """Writes any type and any bytes, odd sizes and missing NULs included."""
    q.store_raw(wine, key, {name: (kind, data)})


def lock_key(wine: WineSession, key: str) -> None:
    """Makes an HKCU key read-only for everyone (reglock.exe): its values read, but no value
    or subkey can be written, as under a locked-down policy. The lock lives in the prefix's
    wineserver, so the session's driver is started first to keep that server running."""
    q.driver_for(wine)
    result = run_wine(["wine", str(wine.exe("reglock.exe")), key], wine.env,
                      timeout=DEFAULT_TIMEOUT * 3)
    assert result.stdout.strip() == "ok", f"reglock {key}: {result.stdout}{result.stderr}"


def copy_program(folder: Path) -> Path:
    """Quelvant.exe with Helper.dll beside it in folder; returns the program's path."""
    folder.mkdir(parents=True, exist_ok=True)
    for name in ("Quelvant.exe", "Helper.dll"):
        shutil.copy(BIN_DIR / name, folder / name)
    return folder / "Quelvant.exe"


def start_program(wine: WineSession, program: Path, *args: str) -> q.Quelvant:
    """Like quelvant.start, for a program file anywhere."""
    return q.start(wine, *args, program=program)
