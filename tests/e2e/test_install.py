"""The installer as an administrator deploys it: silent install over an older version, the
installed program at work, a refused downgrade, a silent uninstall that keeps the settings; the
install folder an administrator names, refused for a program that asks for user-interface
access when it lies outside Program Files, and kept by the next version's upgrade."""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path

import pytest
import quelvant as q
from harness import BIN_DIR, REPO, WINE_MSIEXEC, WineSession, windows_path
from input_kinds import LEFT, send_with_marker

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Building the package and an older release; generous for a loaded machine, but bounded.
BUILD_TIMEOUT = 600
PRODUCTS = r"HKLM\Software\Classes\Installer\Products"
# Where the installer remembers its folder for the next version.
REMEMBERED = r"HKLM\Software\Quelvant"
# (installed program asks for user-interface access, INSTALLDIR given, where it lands or None
# when refused). Such a program starts only from a protected folder, so its installer (a signed
# build's) takes a folder below Program Files only; the unsigned one takes any.
FOLDERS = [
    (True, None, r"C:\Program Files\Quelvant"),
    (True, r"C:\Program Files\Tools\Quelvant", r"C:\Program Files\Tools\Quelvant"),
    (True, r"C:\Tools\Quelvant", None),
    (True, r"C:\Program Files (x86)\Quelvant", None),
    (True, r"C:\Program Files\..\Tools\Quelvant", None),
    (False, r"C:\Tools\Quelvant", r"C:\Tools\Quelvant"),
]


def msiexec(wine: WineSession, *args: str) -> int:
    # No menu entries on the host for the shortcut the installer makes in the prefix.
    env = dict(wine.env, WINEDLLOVERRIDES=wine.env["WINEDLLOVERRIDES"] + ";winemenubuilder.exe=d")
    return subprocess.run(["wine", WINE_MSIEXEC, *args, "/qn"], env=env, timeout=120).returncode


def subkey_names(wine: WineSession, key: str) -> list[str]:
    return [line.strip() for line in q.reg_query_lines(wine, key) if line.startswith("HKEY_")]


def subkeys(wine: WineSession, key: str) -> list[dict[str, tuple[str, str]]]:
    return [q.reg_query(wine, name) for name in subkey_names(wine, key)]


def make_release(version: str, exe: Path, out: Path) -> Path:
    """An installer from the .wxs of today around the given program; its path."""
    paths = dict(portable_exe=exe, installed_exe=exe, helper=BIN_DIR / "Helper.dll",
                 wxs=REPO / "packaging/Quelvant.wxs", icon=REPO / "res/Quelvant.ico",
                 source_dir=REPO, stage_dir=out / "stage", out_dir=out / "dist")
    subprocess.run([sys.executable, REPO / "packaging/make-release.py", "--version", version,
                    *(f"--{k.replace('_', '-')}={v}" for k, v in paths.items())], check=True,
                   timeout=BUILD_TIMEOUT, stdout=subprocess.DEVNULL)
    return out / "dist" / f"Quelvant-{version}-win64.msi"


def log_text(log: Path) -> str:
    raw = log.read_bytes() if log.is_file() else b""
    return raw.decode("utf-16" if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else "utf-8", "replace")


def refused_as_downgrade(wine: WineSession, log: Path) -> str:
    """Why the install whose verbose log this is ended, "" when it was the downgrade rule: the
    package's upgrade search found the installed newer product (WIX_DOWNGRADE_DETECTED names
    its product code), and the launch condition that rule adds ended the install before
    anything was validated or copied. Wine's quiet install logs no message text."""
    text = log_text(log)
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
    old_exe = tmp_path / "Quelvant.exe"
    old_exe.write_bytes((BIN_DIR / "Quelvant.exe").read_bytes() + b"older build")
    old_msi = make_release("0.9", old_exe, tmp_path)

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
    # The .admx and every language's .adml, each in its culture's folder.
    templates = ["Quelvant.admx", *sorted(p.relative_to(REPO / "packaging/policy").as_posix()
                                          for p in (REPO / "packaging/policy").glob("*/Quelvant.adml"))]
    assert len(templates) > 2 and "en-US/Quelvant.adml" in templates
    assert sorted(p.relative_to(folder / "PolicyDefinitions").as_posix()
                  for p in (folder / "PolicyDefinitions").rglob("*") if p.is_file()) == sorted(templates)
    for template in templates:
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


@pytest.fixture(scope="module")
def installers(tmp_path_factory) -> dict[tuple[bool, str], Path]:
    """Installers of a program asking for no user-interface access, and for it (a signed
    build's), by (access, version); each version's program differs from the others'."""
    plain = (BIN_DIR / "Quelvant.exe").read_bytes()
    assert plain.count(b'uiAccess="false"') == 1
    made = {}
    for access, version in ((False, "1.0"), (True, "1.0"), (True, "1.1")):
        text = b'uiAccess="true" ' if access else b'uiAccess="false"'
        out = tmp_path_factory.mktemp(f"access-{access}-{version}")
        (out / "Quelvant.exe").write_bytes(plain.replace(b'uiAccess="false"', text)
                                           + version.encode())
        made[access, version] = make_release(version, out / "Quelvant.exe", out)
    return made


def test_upgrade_stays_in_the_folder_of_the_install(wine: WineSession, installers):
    """A signed build installed into a folder of the administrator's choice: the next version,
    given no folder (as winget upgrade gives none), replaces it there and puts nothing
    elsewhere; Programs and Features names the folder."""
    folder = r"C:\Program Files\Tools\Quelvant"
    drive_c = wine.prefix / "drive_c"

    def programs() -> list[Path]:
        return sorted(drive_c.rglob("Quelvant.exe"))

    def entries() -> list[tuple[str, str]]:
        return [(e["DisplayVersion"][1], e.get("InstallLocation", ("", ""))[1])
                for e in subkeys(wine, UNINSTALL)
                if e.get("DisplayName", ("", ""))[1] == "Quelvant"]

    assert msiexec(wine, "/i", str(installers[True, "1.0"]), f"INSTALLDIR={folder}") == 0
    assert entries() == [("1.0", folder + "\\")]
    assert q.reg_query(wine, REMEMBERED).get("InstallDir") == ("REG_SZ", folder + "\\")
    assert msiexec(wine, "/i", str(installers[True, "1.1"])) == 0
    landed = drive_c / "Program Files/Tools/Quelvant/Quelvant.exe"
    assert programs() == [landed]
    assert landed.read_bytes() == (installers[True, "1.1"].parents[1] / "Quelvant.exe").read_bytes()
    assert entries() == [("1.1", folder + "\\")]
    assert msiexec(wine, "/x", str(installers[True, "1.1"])) == 0
    assert entries() == [] and q.reg_query(wine, REMEMBERED) == {}


@pytest.mark.parametrize("access, folder, lands", FOLDERS)
def test_install_folder(wine: WineSession, tmp_path: Path, installers, access, folder, lands):
    log = tmp_path / "install.log"
    given = [f"INSTALLDIR={folder}"] if folder else []
    code = msiexec(wine, "/i", str(installers[access, "1.0"]), *given, "/l*v", windows_path(log))

    def entries():
        return [e for e in subkeys(wine, UNINSTALL)
                if e.get("DisplayName", ("", ""))[1] == "Quelvant"]

    def program(folder: str) -> Path:
        return wine.prefix / "drive_c" / folder[3:].replace("\\", "/") / "Quelvant.exe"

    if lands is None:
        # Refused with 1603 at the launch condition, before anything was copied or registered.
        started = re.findall(r"^Action start [\d:]+: (\w+)\.", log_text(log), re.M)
        assert code == 1603 % 256 and started[-1:] == ["LaunchConditions"]
        assert not re.search(r"^Property\(S\): WIX_DOWNGRADE_DETECTED = ", log_text(log), re.M)
        assert entries() == [] and not program(folder).exists()
        return
    assert code == 0 and len(entries()) == 1
    built = installers[access, "1.0"].parents[1] / "Quelvant.exe"
    assert program(lands).read_bytes() == built.read_bytes()
    # Uninstalling is never refused. (Wine removes the files from the default folder only.)
    assert msiexec(wine, "/x", str(installers[access, "1.0"])) == 0 and entries() == []
