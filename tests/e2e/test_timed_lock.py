"""The lock for cleaning: from the command line with a running instance and without one, on time
while the dialog's thread stands still, ended by the chord, from the notification icon's menu,
and refused when a word is bad or the administrator forbids it."""

from __future__ import annotations

import re
import subprocess
import time

import pytest

import quelvant as q
from harness import Probe, WineSession, fields, wait_until
from input_kinds import send_with_marker
from speech import install_recording_voice
from test_reliability import CHORD, KEY_IDS, LEFT_IDS, marker_time

RIGHT_IDS = (0x204, 0x205, 0x206)
NOACTIVATE_TOPMOST = 0x08000000 | 0x00000008
WM_CONTEXTMENU, NIN_SELECT = 0x007B, 0x0400


def arrived(wine: WineSession, probe: Probe) -> dict[str, bool]:
    """Which of a left click, a right click and a key reached the probe."""
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1", "click", "3",
                                                              "key", "a"))
    return {kind: any(m.id in ids for m in seen)
            for kind, ids in (("left", LEFT_IDS), ("right", RIGHT_IDS), ("key", KEY_IDS))}


LOCKED = {"left": False, "right": False, "key": False}
OWN_CHOICE = {"left": False, "right": True, "key": True}  # the user's box: left clicks only


def user_blocking_left(wine: WineSession):
    app, probe = q.start_with_probe(wine)
    app.click(q.LEFT)
    app.wait_status("Mouse Buttons Disabled")
    return app, probe, q.settings(wine)


def wait_lock_window(app) -> str:
    app.use(q.LOCK_WINDOW)
    try:
        wait_until(app.visible, what="the lock window")
        assert int(app.drive.value("exstyle") or 0) & NOACTIVATE_TOPMOST == NOACTIVATE_TOPMOST
        return app.text(q.LOCK_TEXT)
    finally:
        app.use()


def test_lock_from_the_command_line_blocks_everything_and_gives_the_users_choice_back(wine):
    recording = install_recording_voice(wine)
    app, probe, stored = user_blocking_left(wine)
    spoken = len(recording.wait_spoken(2))  # the start's status, the click's
    started = time.monotonic()
    assert q.exit_code(q.run_lock_command(wine, "/lock", "5")) == 0
    assert wait_lock_window(app) in (q.countdown(5), q.countdown(4))
    assert app.status().startswith("Locked for cleaning: 0:0")
    assert arrived(wine, probe) == LOCKED
    app.wait_status(q.LOCK_ENDED)
    assert 4.5 <= time.monotonic() - started <= 9, "the lock's length"
    assert arrived(wine, probe) == OWN_CHOICE
    assert app.drive(f"find {q.LOCK_WINDOW}") == "none"
    assert [app.check(box) for box in q.MOUSE_BOXES + (q.KEYBOARD,)] == [1, 0, 0, 0, 0, 0]
    assert q.settings(wine) == stored
    # Start and end are spoken, the seconds in between are not.
    app.assert_back_at_rest()
    assert recording.spoken()[spoken:] == [q.countdown(5), q.LOCK_ENDED]
    app.close()


def test_lock_without_a_running_instance_starts_the_program_locked(wine):
    # Right of where the dialog opens and below the lock window: the pointer cannot move later.
    probe = wine.start_probe(x=800, y=300)
    wine.settle_on(probe)
    app = q.start(wine, "/lock", "5")
    wait_until(lambda: app.status().startswith("Locked for cleaning"), what="the lock")
    assert arrived(wine, probe) == LOCKED
    app.wait_status(q.LOCK_ENDED)
    assert arrived(wine, probe) == {"left": True, "right": True, "key": True}
    app.close()


def test_the_lock_ends_on_time_while_the_dialog_thread_stands_still(wine):
    app, probe, stored = user_blocking_left(wine)
    host = wine.start_hookhost()
    assert q.exit_code(q.run_lock_command(wine, "/lock", "5")) == 0
    started = time.monotonic()
    answer = host.command(f"stall {q.TITLE} 12000")
    assert answer.startswith("stalled "), answer
    mark = probe.mark()
    # Keys come back by themselves while the dialog still stands still.
    wait_until(lambda: arrived(wine, probe)["key"], timeout=15, what="keys back after the lock")
    assert time.monotonic() - started < 9
    resumed = wait_until(lambda: next((line for line in host.lines()
                                       if line.startswith("resumed ")), None),
                         what="the end of the stall")
    assert marker_time(probe, mark) < int(fields(resumed)["t"])
    app.wait_status(q.LOCK_ENDED)
    assert arrived(wine, probe) == OWN_CHOICE
    assert q.settings(wine) == stored


def test_the_chord_ends_the_lock_at_once_without_toggling(wine):
    app, probe, _ = user_blocking_left(wine)
    assert q.exit_code(q.run_lock_command(wine, "/lock", "600")) == 0
    wait_lock_window(app)
    assert arrived(wine, probe) == LOCKED
    seen = send_with_marker(wine, probe, lambda: wine.xdotool(*CHORD))
    assert not [m for m in seen if m.id in KEY_IDS and m.params.get("vk") == "0x51"]
    app.wait_status(q.LOCK_ENDED)
    assert arrived(wine, probe) == OWN_CHOICE
    app.close()


def test_the_hand_over_is_let_through_to_a_program_with_user_interface_access(wine):
    """Installed and signed, the program runs above the user's integrity level, where a second
    start's WM_COPYDATA passes only when the dialog lets it through. Wine has no integrity
    levels: its trace shows the call, and the hand-over still works."""
    trace = wine.root / "quelvant-fixme.log"
    with trace.open("wb") as out:
        process = subprocess.Popen(["wine", str(wine.exe("Quelvant.exe"))],
                                   stdin=subprocess.DEVNULL, stderr=out,
                                   env={**wine.env, "WINEDEBUG": "-all,fixme+all"})
    wine.processes.append(process)
    app = q.Quelvant(wine, q.driver_for(wine), process)
    q.wait_shown(app)
    dialog = int(app.drive.value("find Quelvant"))
    allowed = {(int(hwnd, 16), int(message, 16)) for hwnd, message in re.findall(
        r"ChangeWindowMessageFilterEx ([0-9A-Fa-f]+) ([0-9a-f]+) 1 ", trace.read_text("latin-1"))}
    assert (dialog, 0x004A) in allowed, "WM_COPYDATA let through"
    assert q.exit_code(q.run_lock_command(wine, "/lock", "5")) == 0
    wait_lock_window(app)
    assert q.exit_code(q.run_lock_command(wine, "/unlock")) == 0
    app.wait_status(q.LOCK_ENDED)
    app.close()


# One refused command carries the usage box and the exit code through a running instance; an
# extra word shows that the whole line is parsed. The grammar's other refusals ("+5", "4", no
# seconds, "/unlock now", "/lokc 60") are rows of the native command-line table.
@pytest.mark.parametrize("words", [("/lock", "5", "5")])
def test_a_bad_lock_command_shows_the_usage_and_changes_nothing(wine, words):
    app, probe, stored = user_blocking_left(wine)
    command = q.run_lock_command(wine, *words)
    app.use(q.LOCK_BOX)
    box = app.wait_message_box()
    assert box.text == q.LOCK_USAGE
    app.press_message_box()
    app.use()
    assert q.exit_code(command) == 2
    assert app.status() == "Mouse Buttons Disabled"
    assert arrived(wine, probe) == OWN_CHOICE
    assert q.settings(wine) == stored
    app.close()


def test_the_administrator_can_forbid_the_lock(wine):
    q.store_values(wine, q.MACHINE_POLICY, m_bAllowTimedLock=0)
    app, probe = q.start_with_probe(wine)
    command = q.run_lock_command(wine, "/lock", "5")
    app.use(q.LOCK_BOX)
    assert app.wait_message_box().text == q.LOCK_FORBIDDEN
    app.press_message_box()
    app.use()
    assert q.exit_code(command) == 3
    app.command(q.TRAY_LOCK_1)  # the greyed menu item, sent all the same
    app.wait_status(q.LOCK_FORBIDDEN)
    assert arrived(wine, probe) == {"left": True, "right": True, "key": True}
    app.close()


def open_icon_menu(wine, app) -> None:
    left, top, right, bottom = app.window_rect()
    x, y = (left + right) // 2, (top + bottom) // 2
    wine.xdotool("mousemove", str(x), str(y))
    app.wait_foreground()
    app.post(q.NOTIFY_ICON, (y << 16) | x, (1 << 16) | WM_CONTEXTMENU)
    wait_until(lambda: app.drive.value("menu-open") == "1", what="the icon's menu")


def test_the_notification_icon_is_added_again_and_its_menu_works(wine):
    tray = q.TrayHost(wine)
    assert wine_tray_found(wine) == tray.hwnd, "the stand-in is the notification area found"
    app = q.start(wine)
    dialog = app.drive.value("find Quelvant")
    added = tray.wait_call("the icon", msg="0", owner=dialog, ok="1")
    assert (int(added["flags"], 16) & 0x87, added["callback"]) == (0x87, str(q.NOTIFY_ICON))
    tray.wait_call("version 4", msg="4", version="4", ok="1")
    # "TaskbarCreated" while the notification area still holds the icon (a new scale or layout):
    # the add is refused and the icon is changed in place, picture, tip and all.
    for _ in range(2):
        app.post(int(app.drive.value("register TaskbarCreated")))
        tray.wait_call("the add refused", msg="0", owner=dialog, ok="0")
        changed = tray.wait_call("the icon changed in place", owner=dialog, ok="1")
        assert changed["msg"] == "1" and int(changed["flags"], 16) & 0x87 == 0x87, changed

    # The menu cancelled by Escape hands the focus back to the notification area; closed by a
    # click elsewhere, it does not.
    open_icon_menu(wine, app)
    wine.xdotool("key", "Escape")
    tray.wait_call("the focus back", msg="3", owner=dialog, ok="1")
    seen = len(tray.calls)
    open_icon_menu(wine, app)
    left, top, _, _ = app.window_rect()
    wine.xdotool("mousemove", str(left + 40), str(top + 8), "click", "1")
    wait_until(lambda: app.drive.value("menu-open") == "0", what="the menu closed by the click")

    # Right click (or Shift+F10, the Menu key) on the icon: Lock for Cleaning > 1 Minute.
    open_icon_menu(wine, app)
    wine.xdotool("key", "--delay", "100", "Down", "Right", "Return")
    wait_until(lambda: app.status() in (q.countdown(60), q.countdown(59)), what="a lock of 1 min")
    tray.wait_call("the countdown as the tip", msg="1", tip=q.countdown(59), ok="1")
    assert not [c for c in tray.calls[seen:] if c["msg"] == "3"], "focus after a click away"
    # Release All Blocking ends it (sent: no key reaches the menu during the lock).
    app.command(q.TRAY_RELEASE)
    app.wait_status(q.LOCK_ENDED)
    tray.wait_call("the tip back", msg="1", tip=q.LOCK_ENDED, ok="1")

    # A click (NIN_SELECT) brings the minimised dialog forward.
    app.command(q.MENU_MINIMIZE)
    wait_until(app.iconic, what="the dialog minimised")
    app.post(q.NOTIFY_ICON, 0, (1 << 16) | NIN_SELECT)
    wait_until(lambda: not app.iconic(), what="the dialog forward")
    app.command(q.MENU_MINIMIZE)
    wait_until(app.iconic, what="the dialog minimised")
    app.command(q.TRAY_OPEN)
    wait_until(lambda: not app.iconic(), what="the dialog opened from the menu")
    app.command(q.TRAY_CLOSE)
    assert app.wait_exit() == 0
    tray.wait_call("the icon removed", msg="2", owner=dialog, ok="1")


def wine_tray_found(wine) -> str:
    return q.driver_for(wine).value("findclass Shell_TrayWnd") or ""
