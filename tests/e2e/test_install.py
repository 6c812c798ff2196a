"""The installer as an administrator deploys it: silent install over an older version, the
installed program at work, a refused downgrade, and a silent uninstall that leaves the
user's settings."""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path

import quelvant as q
from harness import BIN_DIR, REPO, WineSession
from input_kinds import LEFT, send_with_marker

BUILD = BIN_DIR.parent
INSTALLED = r"C:\Program Files\Quelvant\Quelvant.exe"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def msiexec(wine: WineSession, *args: str) -> int:
    # No menu entries on the host for the shortcut the installer makes in the prefix.
    env = dict(wine.env, WINEDLLOVERRIDES=wine.env["WINEDLLOVERRIDES"] + ";winemenubuilder.exe=d")
    return subprocess.run(["wine", "msiexec", *args, "/qn"], env=env, timeout=120,
                          stdin=subprocess.DEVNULL).returncode


def subkeys(wine: WineSession, key: str) -> list[str]:
    out = subprocess.run(["wine", "reg", "query", key], env=wine.env, capture_output=True,
                         text=True, timeout=60).stdout
    return [line.strip() for line in out.splitlines() if line.startswith("HKEY_") and "\\" in line]


def entries(wine: WineSession) -> list[dict[str, tuple[str, str]]]:
    """Every Programs and Features entry named Quelvant."""
    found = [q.reg_query(wine, k) for k in subkeys(wine, UNINSTALL)]
    return [e for e in found if e.get("DisplayName", ("", ""))[1] == "Quelvant"]


def test_silent_upgrade_use_refused_downgrade_and_uninstall(wine: WineSession, tmp_path: Path):
    version = re.search(r"project\(Quelvant VERSION (\S+)", (REPO / "CMakeLists.txt").read_text())[1]
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "package"], check=True,
                   stdout=subprocess.DEVNULL)
    new_msi = BUILD / "dist" / f"Quelvant-{version}-win64.msi"
    # An older release from the same .wxs, whose program differs from today's.
    old_exe = tmp_path / "old" / "Quelvant.exe"
    old_exe.parent.mkdir()
    old_exe.write_bytes((BIN_DIR / "Quelvant.exe").read_bytes() + b"older build")
    subprocess.run([sys.executable, str(REPO / "packaging" / "make-release.py"), "--version", "0.9",
                    "--source-dir", str(REPO), "--portable-exe", str(old_exe), "--installed-exe",
                    str(old_exe), "--helper", str(BIN_DIR / "Helper.dll"),
                    "--wxs", str(REPO / "packaging" / "Quelvant.wxs"),
                    "--icon", str(REPO / "res" / "Quelvant.ico"), "--stage-dir",
                    str(tmp_path / "stage"), "--out-dir", str(tmp_path / "dist")],
                   check=True, stdout=subprocess.DEVNULL)
    old_msi = tmp_path / "dist" / "Quelvant-0.9-win64.msi"

    folder = wine.prefix / "drive_c" / "Program Files" / "Quelvant"
    shortcuts = [wine.prefix / "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs",
                 *wine.prefix.glob("drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")]

    def installed_state():
        return (sorted(p.name for p in folder.iterdir()) if folder.is_dir() else [],
                [s for s in shortcuts if (s / "Quelvant.lnk").is_file()],
                [(e["DisplayVersion"][1], e["Publisher"][1]) for e in entries(wine)])

    assert msiexec(wine, "/i", str(old_msi)) == 0
    assert installed_state()[2] == [("0.9", "Quelvant developers")]
    assert msiexec(wine, "/i", str(new_msi)) == 0
    files, links, listed = installed_state()
    assert files == ["Helper.dll", "Quelvant.exe"] and len(links) == 1
    assert listed == [(version, "Quelvant developers")]
    assert (folder / "Quelvant.exe").read_bytes() == (BIN_DIR / "Quelvant.exe").read_bytes()
    # Programs and Features takes the icon the installer registered with the product.
    icons = [q.reg_query(wine, k).get("ProductIcon", ("", ""))[1]
             for k in subkeys(wine, r"HKLM\Software\Classes\Installer\Products")]
    assert len(icons) == 1 and icons[0].endswith("Quelvant.ico")

    # The installed program starts from Program Files and blocks a real click.
    app, probe = q.start_with_probe(wine, program=INSTALLED)
    app.click(q.LEFT)
    app.wait_status("Mouse Buttons Disabled")
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1"))
    assert [m.name for m in seen if m.id in LEFT.ids] == []
    app.close()

    # Refused with 1603 (Wine hands on its low byte); the newer version stays as it was.
    assert msiexec(wine, "/i", str(old_msi)) == 1603 % 256
    assert installed_state() == (files, links, listed)

    assert msiexec(wine, "/x", str(new_msi)) == 0
    assert installed_state() == ([], [], [])
    assert not folder.exists()
    assert q.settings(wine)["m_bCheckDisableLeftClick"] == 1
