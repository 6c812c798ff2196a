#!/usr/bin/env python3
"""Pictures of the real program under Wine, run inside scripts/wine-session: with --docs, the
README's main window, notification icon's menu and lock for cleaning's countdown window
(scripts/pictures); with --window, the main window alone (scripts/run without a display).
Every program of the prefix runs in Wine's virtual desktop, which has a taskbar with a
notification area, with Wine's own fonts: the window as a user of Wine sees it."""

from __future__ import annotations

import argparse
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests/e2e"))

import quelvant as q  # noqa: E402
from harness import new_session, wait_until  # noqa: E402

DESKTOP = (640, 480)
WM_CONTEXTMENU = 0x007B
TASKBAR = 22  # the height of the virtual desktop's taskbar, in which the menu is anchored
MARGIN = 12


def desktop_window(wine) -> str:
    """The X window of the virtual desktop, inside which Windows' screen coordinates hold."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", " - Wine desktop$"],
                           env=wine.env, capture_output=True, text=True, timeout=30).stdout.split()
    assert len(found) == 1, f"virtual desktop windows: {found}"
    return found[0]


def grab(wine) -> bytes:
    """The whole desktop, as PNG bytes."""
    return subprocess.run(["import", "-window", desktop_window(wine), "-strip", "png:-"],
                          env=wine.env, check=True, capture_output=True, timeout=60).stdout


def shoot(wine, target: Path, box: tuple[int, int, int, int], before: bytes = b"") -> None:
    """A part of the desktop (left, top, right, bottom) once it is painted: two grabs alike,
    and unlike the one taken before what is shown was asked for. Saved small, with a palette."""
    last = b""

    def settled() -> bytes | None:
        nonlocal last
        now = grab(wine)
        done = now == last and now != before
        last = now
        return now if done else None

    picture = wait_until(settled, what=f"{target.name} painted")
    left, top = max(0, box[0]), max(0, box[1])
    right, bottom = min(DESKTOP[0], box[2]), min(DESKTOP[1], box[3])
    subprocess.run(["convert", "png:-", "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                    "+repage", "-colors", "64", "-define", "png:compression-level=9",
                    str(target)], input=picture, check=True, timeout=60)
    print(f"pictures: {target}")


def rect(value: str | None) -> tuple[int, int, int, int]:
    assert value is not None
    left, top, right, bottom = map(int, value.split())
    return left, top, right, bottom


def into_virtual_desktop(wine, fonts: Path) -> None:
    """Every program of the prefix in one virtual desktop (the driver's too, so that it finds
    the dialog), with Wine's fonts; read when the prefix's server starts, so it starts anew."""
    q.store_values(wine, r"HKCU\Software\Wine\Explorer", Desktop="Default")
    q.store_values(wine, r"HKCU\Software\Wine\Explorer\Desktops",
                   Default=f"{DESKTOP[0]}x{DESKTOP[1]}")
    for font in fonts.glob("*.ttf"):
        shutil.copy(font, wine.prefix / "drive_c/windows/Fonts" / font.name)
    subprocess.run(["wineserver", "-k"], env=wine.env, check=False, timeout=60)
    subprocess.run(["wineserver", "-w"], env=wine.env, check=False, timeout=60)
    wine.driver = None


WINE_FONTS = Path("/usr/share/wine/fonts")


def wine_fonts(cache: Path) -> Path:
    """Wine's own fonts (Tahoma, and Marlett for the caption buttons): Debian's fonts-wine as
    installed, else unpacked into the cache without installing it."""
    if (WINE_FONTS / "tahoma.ttf").is_file():
        return WINE_FONTS
    unpacked = cache / "usr/share/wine/fonts"
    if not (unpacked / "tahoma.ttf").is_file():
        cache.mkdir(parents=True, exist_ok=True)
        subprocess.run(["apt-get", "download", "fonts-wine"], cwd=cache, check=True,
                       capture_output=True, timeout=300)
        package = next(cache.glob("fonts-wine_*.deb"))
        subprocess.run(["dpkg-deb", "-x", str(package), str(cache)], check=True, timeout=60)
    return unpacked


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--fonts-cache", required=True, type=Path)
    which = parser.add_mutually_exclusive_group(required=True)
    which.add_argument("--docs", type=Path, help="folder of the README's pictures")
    which.add_argument("--window", type=Path, help="a picture of the main window alone")
    parser.add_argument("program_args", nargs="*", help="after --: for Quelvant.exe")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        wine = new_session(Path(tmp))
        try:
            into_virtual_desktop(wine, wine_fonts(args.fonts_cache))
            app = q.start(wine, *args.program_args)
            # The pointer away from the window: no hover marks in the picture.
            wine.xdotool("mousemove", str(DESKTOP[0] - 1), "1")
            shoot(wine, args.window or args.docs / "main-window.png",
                  rect(app.drive.value("winrect")))
            if args.docs:
                docs_pictures(wine, app, args.docs)
            app.close()
        finally:
            wine.close()


def docs_pictures(wine, app: q.Quelvant, docs: Path) -> None:
    # The icon's menu, as a right click on the icon in the taskbar opens it, with the corner
    # of the taskbar it opened from.
    before = grab(wine)
    x, y = DESKTOP[0] - 12, DESKTOP[1] - TASKBAR // 2
    app.post(q.NOTIFY_ICON, (y << 16) | x, (1 << 16) | WM_CONTEXTMENU)
    wait_until(lambda: app.drive.value("menu-open") == "1", what="the icon's menu")
    left, top, right, bottom = rect(app.drive.value("menu-rect"))  # only its size
    width, height = right - left + 2 * MARGIN, bottom - top + TASKBAR + 2 * MARGIN
    shoot(wine, docs / "notification-menu.png",
          (DESKTOP[0] - width, DESKTOP[1] - height, *DESKTOP), before)
    wine.xdotool("key", "Escape")
    wait_until(lambda: app.drive.value("menu-open") == "0", what="the menu to close")

    # The lock for cleaning's countdown, a minute from the command line.
    before = grab(wine)
    assert q.exit_code(q.run_lock_command(wine, "/lock", "60")) == 0
    app.use(q.LOCK_WINDOW)
    wait_until(app.visible, what="the lock window")
    wait_until(lambda: app.text(q.LOCK_TEXT) == q.countdown(58), what="0:58 left")
    shoot(wine, docs / "lock-window.png", rect(app.drive.value("winrect")), before)
    app.use()
    assert q.exit_code(q.run_lock_command(wine, "/unlock")) == 0
    app.wait_status(q.LOCK_ENDED)


if __name__ == "__main__":
    main()
