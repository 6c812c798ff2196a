"""The real Quelvant.exe at start and in its window: layout, defaults, the single-instance rule,
the reset word, the about box, the context menu, the on-screen keyboard, auto minimise and the
ways the program ends."""

from __future__ import annotations

import re
import shutil
import subprocess

import pytest

import quelvant as q
from harness import DEFAULT_TIMEOUT, poll, wait_until, windows_path
from runentry import lock_key

WS_VISIBLE = 0x10000000
WS_TABSTOP = 0x00010000

# The main dialog's controls in template order: id, class, caption, x, y, width, height in
# dialog units, and whether the control is a tab stop.
TEMPLATE = [
    (-1, "Button", "Select the Mouse Type to Disable", 7, 4, 236, 104, False),
    (q.LEFT, "Button", "Disable &Left Button Click", 63, 19, 150, 10, True),
    (q.RIGHT, "Button", "Disable &Right Button Click", 63, 30, 150, 10, True),
    (q.MIDDLE, "Button", "Disable &Middle Button Click", 63, 41, 150, 10, True),
    (q.MOVES, "Button", "Disable Mouse Mo&vements", 63, 52, 150, 10, True),
    (q.WHEEL, "Button", "Disable Mouse &Wheel", 63, 63, 150, 10, True),
    (q.TOUCHPAD, "Button", "Disable &Touchpad", 63, 74, 150, 10, True),
    (q.DISABLE_ENABLE_SHORTCUT, "Button", "Disable / Enable Shortcut", 16, 91, 222, 10, True),
    (q.KEYBOARD, "Button", "Disable Keyboard Keys", 17, 115, 112, 10, True),
    (q.ALLOW_INJECTED, "Button", "Allow Simulated", 134, 115, 104, 10, True),
    (q.AUTO_MINIMIZE, "Button", "Auto Minimize", 17, 131, 112, 10, True),
    (q.AUTO_START, "Button", "Auto Start at Logon", 134, 131, 104, 10, True),
    (q.CLOSE_SHORTCUT, "Button", "Close Shortcut", 17, 147, 112, 10, True),
    (q.AUDIBLE_ALERTS, "Button", "Audible Alerts", 134, 147, 104, 10, True),
    (q.OSK, "Button", "OSK", 43, 164, 74, 24, True),
    (q.RESET, "Button", "Reset &Settings", 132, 164, 74, 24, True),
    (
        -1,
        "Static",
        "Note : You can use Tab Key to Move Focus to Next Control and Press Spacebar to Click it.",
        6, 196, 238, 19, False,
    ),
    (q.STATUS, "Edit", None, 7, 214, 236, 36, False),
    (q.MANAGED, "Edit", None, 7, 253, 236, 12, True),
]

DEFAULTS = q.DEFAULTS


def test_dialog_shows_every_control_of_the_template_and_the_defaults(wine):
    app = q.start(wine)
    assert app.drive.value("wintext") == "Quelvant"
    rows = app.controls()
    assert [(r["id"], r["cls"]) for r in rows] == [(t[0], t[1]) for t in TEMPLATE]
    for row, (cid, _cls, caption, x, y, w, h, tabstop) in zip(rows, TEMPLATE):
        left, top, right, bottom = app.map_dialog_rect(x, y, w, h)
        assert row["rect"] == (left, top, right, bottom), f"control {cid} {caption!r}"
        if caption is not None:
            assert row["text"] == caption
        # Wine has no precision touchpad (error 1439, and no Status value): only that box is grey.
        assert row["enabled"] == (cid != q.TOUCHPAD), f"control {cid} grey or not"
        assert bool(row["style"] & WS_TABSTOP) == tabstop, f"tab stop of {cid}"
        # Only the managed line is hidden while nothing is locked.
        assert bool(row["style"] & WS_VISIBLE) == (cid != q.MANAGED), f"visibility of {cid}"
    app.screenshot("main-dialog")

    # A first start: every box shows its setting's default (nothing blocked, simulated input
    # allowed, alerts on, no shortcut), and there is no Run entry.
    for name, box in q.SETTING_BOX.items():
        assert app.check(box) == int(DEFAULTS[name] != 0), f"box {box} of {name}"
    assert app.check(q.AUTO_START) == 0
    assert app.status() == "Mouse Buttons Enabled"
    # The keyboard box describes itself: the way out, heard where the keys are blocked; the
    # touchpad box says why it cannot be used.
    assert app.tip(q.KEYBOARD).startswith("Stops every key. Ctrl+Alt+Shift+Q releases")
    assert app.tip(q.TOUCHPAD) == "Not available: Windows reports no precision touchpad on this computer."
    assert app.tip(q.LEFT) is None
    assert q.wait_settings(wine, **DEFAULTS) == DEFAULTS
    app.close()


def test_the_start_up_time_line_runs_from_process_start_to_the_first_paint(wine, tmp_path):
    """QUELVANT_STARTUP_TRACE: each step's end and cost in µs, blocking in force before the
    window is drawn."""
    q.store_settings(wine, m_bCheckDisableRightClick=1)
    trace = tmp_path / "startup.tsv"
    wine.env["QUELVANT_STARTUP_TRACE"] = windows_path(trace)
    app = q.start(wine)
    wait_until(lambda: trace.exists() and trace.read_text().endswith("\n")
               and "first paint" in trace.read_text(), what="the time line")
    header, *lines = trace.read_text().splitlines()
    assert header == "step\tend_us\tcost_us"
    steps = [(name, int(end), int(cost)) for name, end, cost in (l.split("\t") for l in lines)]
    names = [name for name, _, _ in steps]
    assert names[0] == "process start to first step" and names[-1] == "first paint"
    assert names.index("settings and policy read") < names.index("blocking in force")
    ends = [end for _, end, _ in steps]
    assert ends == sorted(ends) and ends[0] > 0
    # Each cost is the step's own: its end less the previous step's (to the µs's rounding).
    assert all(abs(cost - (end - before)) <= 1 for (_, end, cost), before in zip(steps[1:], ends))
    assert app.status() == "Mouse Buttons Disabled"
    app.close()


@pytest.mark.parametrize("hidden", ["minimised", "behind-another-window"])
def test_second_start_brings_the_first_forward_and_ends_without_resetting(wine, hidden):
    app = q.start(wine)
    app.click(q.LEFT)
    q.wait_settings(wine, m_bCheckDisableLeftClick=1)
    if hidden == "minimised":
        app.command(q.MENU_MINIMIZE)
        wait_until(app.iconic, what="the first instance to minimise")
    else:
        # Another program's window, over the dialog and in front.
        left, top, right, bottom = app.window_rect()
        other = wine.start_probe(x=left, y=top, w=right - left, h=bottom - top)
        wait_until(lambda: app.drive.value("foreground") == other.title,
                   what="the other window in front")

    second = wine.start("Quelvant.exe", "<RESET>", stdin=subprocess.DEVNULL)
    assert second.wait(timeout=DEFAULT_TIMEOUT * 3) == 0
    wait_until(lambda: not app.iconic(), what="the first instance to be restored")
    wait_until(lambda: app.drive.value("foreground") == q.TITLE,
               what=f"the dialog in front (now {app.drive.value('foreground')!r})")
    assert app.check(q.LEFT) == 1
    assert q.settings(wine)["m_bCheckDisableLeftClick"] == 1
    assert app.message_box() is None
    app.close()


@pytest.mark.parametrize("other_window", [False, True], ids=["alone", "beside-another-quelvant"])
def test_two_starts_at_once_give_one_dialog(wine, other_window):
    if other_window:
        # Another program's window with the title, as a folder window of the unpacked folder.
        wine.start_probe(title=q.TITLE)
    starts = [wine.start("Quelvant.exe", stdin=subprocess.DEVNULL) for _ in range(2)]
    ended = wait_until(lambda: [p for p in starts if p.poll() is not None], what="a start to end")
    assert [p.returncode for p in ended] == [0]
    app = q.Quelvant(wine, q.driver_for(wine), next(p for p in starts if p not in ended))
    wait_until(app.visible, what="the one dialog")
    wait_until(lambda: app.status() != "", what="the dialog's first status text")
    assert poll(app.ended, 1.0) is None
    app.close()


# Audible Alerts keep the stored choice, on when none is stored, as the other resets do. One
# start carries the windowless reset through; where the word is found (capitals, inside other
# text, after the silent word) is the native start-up table's, and the alerts kept without a
# window, whether off, on or never stored, the native reset test's.
@pytest.mark.parametrize("argument, alerts", [("<reset>", 0)])
def test_reset_word_resets_and_reports_without_the_dialog(wine, argument, alerts):
    stored = dict(
        m_bCheckDisableLeftClick=1,
        m_bDisableKeyboardKeys=1,
        m_bAllowInjected=0,
        m_bAutoMinimize=1,
        m_wKey2=0x41,
        m_wMod2=2,
        m_sKeyboardShortcutName2="Ctrl + A",
    )
    q.store_settings(wine, **stored, m_bAudibleAlerts=alerts)
    q.reg_add(wine, q.RUN_KEY, "Quelvant", "REG_SZ", r"C:\windows\notepad.exe :silent")

    process = wine.start("Quelvant.exe", argument, stdin=subprocess.DEVNULL)
    app = q.Quelvant(wine, q.driver_for(wine), process)
    box = app.wait_message_box()
    assert box.text == "Reset of Settings Done."
    assert box.caption == "Quelvant"
    # Only the box is shown: no window carries the dialog's controls.
    assert app.drive.value(f"check {q.LEFT}") is None
    app.press_message_box()
    assert app.wait_exit() == 0

    expected = dict(DEFAULTS, m_bAudibleAlerts=alerts)
    assert q.settings(wine) == expected
    assert "Quelvant" not in q.reg_query(wine, q.RUN_KEY)


# A store that takes no value, or a Run entry that cannot go: the success is not claimed. A
# reset whose settings cannot be stored changes nothing, auto start included.
@pytest.mark.parametrize(
    "locked, settings_reset",
    [(q.SETTINGS_KEY, False), (q.RUN_KEY, True)],
    ids=["settings", "run-list"],
)
def test_reset_word_that_cannot_reset_says_so(wine, locked, settings_reset):
    stored = dict(DEFAULTS, m_bCheckDisableLeftClick=1, m_bAutoMinimize=1, m_bAudibleAlerts=1)
    q.store_settings(wine, **stored)
    q.reg_add(wine, q.RUN_KEY, "Quelvant", "REG_SZ", r"C:\windows\notepad.exe :silent")
    lock_key(wine, locked)

    process = wine.start("Quelvant.exe", "<RESET>", stdin=subprocess.DEVNULL)
    app = q.Quelvant(wine, q.driver_for(wine), process)
    assert app.wait_message_box() == q.MessageBox("Quelvant", "Could not Reset Settings.", False)
    app.press_message_box()
    assert app.wait_exit() == 0

    assert q.settings(wine) == (dict(DEFAULTS, m_bAudibleAlerts=1) if settings_reset else stored)
    assert q.reg_query(wine, q.RUN_KEY)["Quelvant"][1] == r"C:\windows\notepad.exe :silent"


def test_reset_letters_without_brackets_start_normally(wine):
    q.store_settings(wine, m_bCheckDisableMiddleClick=1)
    app = q.start(wine, "RESET")
    assert app.check(q.MIDDLE) == 1
    assert app.status() == "Mouse Buttons Disabled"
    app.close()
    assert q.settings(wine)["m_bCheckDisableMiddleClick"] == 1


def test_about_box_opens_from_the_system_menu_only(wine):
    app = q.start(wine)
    app.post(0x0111, q.ABOUT)  # WM_COMMAND with the about entry's id: not the system menu
    assert poll(lambda: app.drive("find About Quelvant") != "none", 1.0) is None
    app.post(0x0112, q.ABOUT)  # WM_SYSCOMMAND, as the system menu entry sends it
    wait_until(lambda: app.drive("find About Quelvant") != "none", what="the about box")
    app.use("About Quelvant")
    # The box's window exists before its controls do; it shows once they are made and set.
    wait_until(app.visible, what="the about box to show")
    texts = [row["text"] for row in app.controls()]
    assert "Quelvant, Version 1.0" in texts
    assert "OK" in texts
    # Owned by the main dialog, which is disabled meanwhile: no second box from it, and no
    # taskbar button of its own.
    assert app.drive.value("owner") == "Quelvant"
    app.use()
    assert app.drive.value("winenabled") == "0"
    app.use("About Quelvant")
    app.command(1)  # its OK
    wait_until(lambda: not app.exists(), what="the about box to close")
    app.use()
    assert app.visible() and app.drive.value("winenabled") == "1"
    app.close()


def dialog_point(app: q.Quelvant, x: int, y: int) -> tuple[int, int]:
    """Screen coordinates of a point given in the dialog's units."""
    left, top, _, _ = app.window_rect()
    dx, dy, _, _ = app.map_dialog_rect(x, y, 0, 0)
    return left + dx, top + dy


def install_osk(wine) -> None:
    """There is no on-screen keyboard under Wine: a small window program stands in for it."""
    target = wine.prefix / "drive_c" / "windows" / "system32" / "osk.exe"
    shutil.copyfile(q.BIN_DIR / "oskstub.exe", target)


def osk_running(app: q.Quelvant) -> bool:
    return app.drive("find On-Screen Keyboard stand-in") != "none"


# The context menu as the program's file holds it, item by item: command id and text, "-" for
# a separator. The walk by keys below shows that the menu on the screen is this one.
MENU_ITEMS = [
    f"{q.MENU_RESET}\tReset Settings", "-",
    f"{q.MENU_MINIMIZE}\tMinimize", "-",
    f"{q.MENU_OSK}\tOn Screen Keyboard...", "-",
    f"{q.MENU_CLOSE}\tClose",
]


# "wrap": a fifth Down comes round to the first command, so there is none after Close.
@pytest.mark.parametrize("item", ["reset", "minimize", "osk", "close", "wrap"])
def test_context_menu_offers_four_commands_in_order(wine, item):
    install_osk(wine)
    app = q.start(wine)
    app.click(q.AUTO_MINIMIZE)  # something for the reset to undo
    q.wait_settings(wine, m_bAutoMinimize=1)

    # A right click on the dialog's own surface opens the menu at the pointer; the Nth
    # item is reached with N presses of Down, separators skipped.
    x, y = dialog_point(app, 3, 100)
    wine.xdotool("mousemove", str(x), str(y))
    app.wait_foreground()
    wine.xdotool("click", "3")
    wait_until(lambda: app.drive.value("menu-open") == "1", what="the context menu")
    assert app.drive.lines(f"menu-resource {q.CONTEXT_MENU}") == MENU_ITEMS
    position = ["reset", "minimize", "osk", "close", "wrap"].index(item) + 1
    wine.xdotool("key", *(["Down"] * position), "Return")
    if item == "wrap":
        item = "reset"

    if item == "reset":
        q.wait_settings(wine, m_bAutoMinimize=0)
        app.wait_check(q.AUTO_MINIMIZE, 0)
    elif item == "minimize":
        wait_until(app.iconic, what="the dialog to minimise")
    elif item == "osk":
        wait_until(lambda: osk_running(app), what="the on-screen keyboard")
    else:
        assert app.wait_exit() == 0
        return
    app.close()


@pytest.mark.parametrize("key", ["shift+F10", "Menu"])
def test_context_menu_from_the_keyboard_opens_at_the_focus_and_works_by_keys(wine, key):
    app = q.start(wine)
    x, y = dialog_point(app, 3, 100)
    wine.xdotool("mousemove", str(x), str(y))
    app.wait_focus(q.LEFT)
    wine.xdotool("key", "--delay", "50", *(["Tab"] * 6), key)
    wait_until(lambda: app.drive.value("menu-open") == "1", what="the context menu")
    # Just below the focused control, not at the screen's corner.
    focus = int(app.drive.value("focus") or 0)
    control = next(r["rect"] for r in app.controls() if r["id"] == focus)
    left, top, _, _ = map(int, (app.drive.value("menu-rect") or "").split())
    assert (focus, left, top) == (q.KEYBOARD, control[0], control[3])
    wine.xdotool("key", "Down", "Down", "Return")  # Minimize
    wait_until(app.iconic, what="the dialog to minimise")
    app.close()


@pytest.mark.parametrize("how", ["button", "menu"])
def test_on_screen_keyboard_starts_from_button_and_menu(wine, how):
    install_osk(wine)
    app = q.start(wine)
    assert not osk_running(app)
    if how == "button":
        app.click(q.OSK)
    else:
        app.command(q.MENU_OSK)
    wait_until(lambda: osk_running(app), what="the on-screen keyboard")
    assert app.visible()
    app.close()


def test_auto_minimize_minimises_once_after_start(wine):
    q.store_settings(wine, m_bAutoMinimize=1)
    app = q.start(wine)
    wait_until(app.iconic, what="the dialog to minimise by itself")
    app.post(0x0112, 0xF120)  # SC_RESTORE
    wait_until(lambda: not app.iconic(), what="the dialog to be restored")
    # The timer acted once: restored, the dialog stays so.
    assert poll(app.iconic, 1.5) is None
    app.close()


def test_ticking_auto_minimize_takes_effect_only_at_the_next_start(wine):
    app = q.start(wine)
    app.click(q.AUTO_MINIMIZE)
    q.wait_settings(wine, m_bAutoMinimize=1)
    assert poll(app.iconic, 1.0) is None
    app.close()


@pytest.mark.parametrize("key", ["Escape", "Return"])
def test_escape_and_enter_end_the_program(wine, key):
    app = q.start(wine)
    # Keyboard focus follows the pointer without a window manager.
    x, y = dialog_point(app, 3, 100)
    wine.xdotool("mousemove", str(x), str(y))
    app.wait_focus(q.LEFT)
    wine.xdotool("key", key)
    assert app.wait_exit() == 0


def test_menu_close_ends_the_program(wine):
    app = q.start(wine)
    app.command(q.MENU_CLOSE)
    assert app.wait_exit() == 0


def dialog_texts(rc: str, dialog: str) -> list[str]:
    """The texts of a dialog template's controls that have one, in template order."""
    block = re.search(rf"^{dialog} DIALOGEX.*?^BEGIN\n(.*?)^END", rc, re.M | re.S)[1]
    kinds = "LTEXT|GROUPBOX|CONTROL|PUSHBUTTON|DEFPUSHBUTTON"
    return [m.replace('""', '"') for m in
            re.findall(rf'^\s*(?:{kinds})\s+"((?:[^"]|"")*)"', block, re.M) if m]


# Wine takes the display language from LC_ALL, even where the host lacks that locale.
@pytest.mark.parametrize("lang, texts", [("de_DE.UTF-8", "de.rc"), ("ja_JP.UTF-8", "ja.rc"),
                                         ("fi_FI.UTF-8", "en-US.rc")],
                         ids=["german", "japanese", "finnish gives english"])
def test_the_dialog_is_in_the_display_language(wine, lang: str, texts: str):
    rc = (q.REPO / "res" / "lang" / texts).read_text(encoding="utf-8")
    table = q.string_table(f"res/lang/{texts}")
    wine.env["LC_ALL"] = lang
    app = q.start(wine)
    # The title stays the product's name: a second start finds the window by it.
    assert app.drive.value("wintext") == "Quelvant"
    shown = [r["text"] for r in app.controls() if r["cls"] in ("Button", "Static") and r["text"]]
    assert shown == dialog_texts(rc, "IDD_QUELVANT_DIALOG")
    assert app.status() == table["IDS_MOUSE_ENABLED"]
    assert app.tip(q.KEYBOARD) == table["IDS_KEYBOARD_BOX_TIP"]
    app.click(q.LEFT)
    app.wait_status(table["IDS_MOUSE_DISABLED"])
    app.close()
