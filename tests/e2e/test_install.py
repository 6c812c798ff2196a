"""The installer as an administrator deploys it: silent install over an older version, the
installed program at work, a refused downgrade, a silent uninstall that keeps the settings."""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path

import quelvant as q
from harness import BIN_DIR, REPO, WineSession, windows_path
from input_kinds import LEFT, send_with_marker

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Building the package and an older release; generous for a loaded machine, but bounded.
BUILD_TIMEOUT = 600
PRODUCTS = r"HKLM\Software\Classes\Installer\Products"


def msiexec(wine: WineSession, *args: str) -> int:
    # No menu entries on the host for the shortcut the installer makes in the prefix.
    env = dict(wine.env, WINEDLLOVERRIDES=wine.env["WINEDLLOVERRIDES"] + ";winemenubuilder.exe=d")
    return subprocess.run(["wine", "msiexec", *args, "/qn"], env=env, timeout=120).returncode


def subkey_names(wine: WineSession, key: str) -> list[str]:
    out = subprocess.run(["wine", "reg", "query", key], env=wine.env, capture_output=True,
                         text=True, timeout=60).stdout.splitlines()
    return [line.strip() for line in out if line.startswith("HKEY_")]


def subkeys(wine: WineSession, key: str) -> list[dict[str, tuple[str, str]]]:
    return [q.reg_query(wine, name) for name in subkey_names(wine, key)]


def refused_as_downgrade(wine: WineSession, log: Path) -> str:
    """Why the install whose verbose log this is ended, "" when it was the downgrade rule: the
    package's upgrade search found the installed newer product (WIX_DOWNGRADE_DETECTED names
    its product code), and the launch condition that rule adds ended the install before
    anything was validated or copied. Wine's quiet install logs no message text."""
    raw = log.read_bytes() if log.is_file() else b""
    text = raw.decode("utf-16" if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else "utf-8", "replace")
    found = re.search(r"^Property\(S\): WIX_DOWNGRADE_DETECTED = (\{[0-9A-F-]+\})", text, re.M)
    installed = [name.rsplit("\\", 1)[-1] for name in subkey_names(wine, UNINSTALL)]
    if not found or found[1] not in installed:
        return f"no newer installed product detected (installed: {installed})"
    started = re.findall(r"^Action start [\d:]+: (\w+)\.", text, re.M)
    if not started or started[-1] != "LaunchConditions":
        return f"the install went on past its launch conditions: {started}"
    return ""


def test_silent_upgrade_use_refused_downgrade_and_uninstall(wine: WineSession, tmp_path: Path):
    version = re.search(r"project\(Quelvant VERSION (\S+)", (REPO / "CMakeLists.txt").read_text())[1]
    subprocess.run(["cmake", "--build", str(BIN_DIR.parent), "--target", "package"], check=True,
                   timeout=BUILD_TIMEOUT)
    new_msi = BIN_DIR.parent / "dist" / f"Quelvant-{version}-win64.msi"
    # An older release from the same .wxs, whose program differs from today's.
    old_exe, old_msi = tmp_path / "Quelvant.exe", tmp_path / "dist" / "Quelvant-0.9-win64.msi"
    old_exe.write_bytes((BIN_DIR / "Quelvant.exe").read_bytes() + b"older build")
    paths = dict(portable_exe=old_exe, installed_exe=old_exe, helper=BIN_DIR / "Helper.dll",
                 wxs=REPO / "packaging/Quelvant.wxs", icon=REPO / "res/Quelvant.ico",
                 source_dir=REPO, stage_dir=tmp_path / "stage", out_dir=tmp_path / "dist")
    subprocess.run([sys.executable, REPO / "packaging/make-release.py", "--version", "0.9",
                    *(f"--{k.replace('_', '-')}={v}" for k, v in paths.items())], check=True,
                   timeout=BUILD_TIMEOUT)

    folder = wine.prefix / "drive_c/Program Files/Quelvant"
    menus = [wine.prefix / "drive_c/ProgramData", *wine.prefix.glob("drive_c/users/*/AppData/Roaming")]

    def installed():
        return (sorted(p.name for p in folder.iterdir()) if folder.is_dir() else [],
                [m for m in menus if (m / "Microsoft/Windows/Start Menu/Programs/Quelvant.lnk").is_file()],
                [(e["DisplayVersion"][1], e["Publisher"][1]) for e in subkeys(wine, UNINSTALL)
                 if e.get("DisplayName", ("", ""))[1] == "Quelvant"])

    assert msiexec(wine, "/i", str(old_msi)) == 0
    assert installed()[2] == [("0.9", "Quelvant developers")]
    assert msiexec(wine, "/i", str(new_msi)) == 0
    state = installed()
    assert state[0] == ["Helper.dll", "PolicyDefinitions", "Quelvant.exe"] and len(state[1]) == 1
    for template in ("Quelvant.admx", "en-US/Quelvant.adml"):
        assert (folder / "PolicyDefinitions" / template).read_bytes() == (
            REPO / "packaging/policy" / template).read_bytes()
    assert state[2] == [(version, "Quelvant developers")]
    assert (folder / "Quelvant.exe").read_bytes() == (BIN_DIR / "Quelvant.exe").read_bytes()
    # Programs and Features shows the icon the installer registered with the product.
    icons = [k["ProductIcon"][1] for k in subkeys(wine, PRODUCTS) if "ProductIcon" in k]
    assert len(icons) == 1 and icons[0].endswith("Quelvant.ico")

    app, probe = q.start_with_probe(wine, program=r"C:\Program Files\Quelvant\Quelvant.exe")
    app.click(q.LEFT)
    app.wait_status("Mouse Buttons Disabled")
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1"))
    assert [m.name for m in seen if m.id in LEFT.ids] == []
    app.close()

    # Refused with 1603 (Wine hands on its low byte), and for the reason the package gives: any
    # failed install ends with 1603. The newer version stays as it was.
    log = tmp_path / "downgrade.log"
    assert msiexec(wine, "/i", str(old_msi), "/l*v", windows_path(log)) == 1603 % 256
    assert refused_as_downgrade(wine, log) == ""
    assert installed() == state

    assert msiexec(wine, "/x", str(new_msi)) == 0
    assert installed() == ([], [], []) and not folder.exists()
    assert q.settings(wine)["m_bCheckDisableLeftClick"] == 1
