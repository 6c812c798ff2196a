"""The two global shortcuts with real key presses: the Disable / Enable shortcut captured in
its dialog and the close key on the first free function key of F6 to F12."""

from __future__ import annotations

import pytest

import quelvant as q
from harness import WineSession, poll, wait_until
from input_kinds import real_click_arrived
from speech import install_recording_voice

CAPTURE_TITLE = "Keyboard Shortcut - Quelvant"
HOTKEY, CLEAR = q.HOTKEY, q.CLEAR
MOD_SHIFT, MOD_CONTROL = 0x4, 0x2
HOTKEYF_SHIFT, HOTKEYF_CONTROL, HOTKEYF_EXT = 0x1, 0x2, 0x8
VK_K, VK_F6, VK_RIGHT = 0x4B, 0x75, 0x27
FAILURE = "Failed to Assign Keyboard Shortcut to Disable / Enable Mouse Button(s)."
NO_FREE_CLOSE_KEY = "None of F6 to F12 is Free to Close Quelvant."
OPTION_BOXES = (*q.MOUSE_BOXES, q.ALLOW_INJECTED)


def key_name(app: q.Quelvant, vk: int, extended: bool = False) -> str:
    name = app.drive.value(f"keyname {vk:#x} {int(extended)}")
    assert name
    return q.unescape(name)


def combination_name(app: q.Quelvant, modifiers: int, vk: int) -> str:
    """The name the hot-key control gives a combination: modifier names from the keyboard
    layout in the order Control, Shift, Alt, then the key, joined with " + "."""
    parts = []
    for flag, modifier_vk in ((HOTKEYF_CONTROL, 0x11), (HOTKEYF_SHIFT, 0x10), (0x4, 0x12)):
        if modifiers & flag:
            parts.append(key_name(app, modifier_vk))
    return " + ".join(parts + [key_name(app, vk, bool(modifiers & HOTKEYF_EXT))])


def open_capture(app: q.Quelvant) -> None:
    app.click(q.DISABLE_ENABLE_SHORTCUT)
    wait_capture_shown(app)


def wait_capture_shown(app: q.Quelvant) -> None:
    """Works on the capture dialog once it shows: its window exists before its initialisation
    has placed it over the main dialog's corner."""
    wait_until(lambda: app.drive(f"find {CAPTURE_TITLE}") != "none", what="the capture dialog")
    app.use(CAPTURE_TITLE)
    wait_until(app.visible, what="the capture dialog to show")


def type_into_capture(app: q.Quelvant, *keys: str) -> None:
    """Real key presses into the capture dialog, which opens over the main dialog's corner;
    without a window manager the keys go where the pointer is."""
    left, top, right, bottom = app.window_rect()
    app.wine.xdotool("mousemove", str(left + 20), str(top + (bottom - top) // 2))
    wait_until(lambda: app.drive.value("focus") == str(HOTKEY), what="focus in the hot-key box")
    app.wine.xdotool("key", "--delay", "50", *keys)


def close_capture(app: q.Quelvant) -> None:
    wait_until(lambda: not app.visible(), what="the capture dialog to close")
    app.use()


def test_captured_shortcut_toggles_blocking_from_anywhere(wine: WineSession):
    q.store_settings(wine, m_bCheckDisableLeftClick=1)
    app, probe = q.start_with_probe(wine)
    open_capture(app)
    assert app.drive.value("wintext") == CAPTURE_TITLE
    assert app.drive.value(f"hotkey-get {HOTKEY}") == "0"
    type_into_capture(app, "ctrl+shift+k")
    wait_until(lambda: app.drive.value(f"hotkey-get {HOTKEY}") == str(0x300 | VK_K),
               what="the combination in the hot-key box")
    wine.xdotool("key", "Return")
    close_capture(app)

    name = combination_name(app, HOTKEYF_CONTROL | HOTKEYF_SHIFT, VK_K)
    wait_until(lambda: app.text(q.DISABLE_ENABLE_SHORTCUT) == f"{name} to Disable / Enable",
               what="the caption naming the shortcut")
    stored = q.wait_settings(wine, m_bDisableEnableKeyboardShortcut=1, m_wKey2=VK_K,
                             m_wMod2=HOTKEYF_CONTROL | HOTKEYF_SHIFT,
                             m_sKeyboardShortcutName2=name)
    assert not any(app.enabled(b) for b in OPTION_BOXES)
    assert app.enabled(q.KEYBOARD)

    # The real combination, pressed while the pointer is at another program.
    wine.xdotool("mousemove", *map(str, probe.point()))
    assert not real_click_arrived(wine, probe)
    wine.xdotool("key", "ctrl+shift+k")
    app.wait_status("Mouse Buttons Enabled")
    assert real_click_arrived(wine, probe)
    wine.xdotool("key", "ctrl+shift+k")
    app.wait_status("Mouse Buttons Disabled")
    assert not real_click_arrived(wine, probe)
    assert q.settings(wine) == stored
    assert app.check(q.LEFT) == 1
    app.close()


def test_extended_key_registers_the_combination_its_caption_names(wine: WineSession):
    q.store_settings(wine, m_bCheckDisableLeftClick=1)
    app, probe = q.start_with_probe(wine)
    # Ctrl+Right as Windows' control reports it, with the extended-key bit that Wine's never sets.
    open_capture(app)
    value = (HOTKEYF_CONTROL | HOTKEYF_EXT) << 8 | VK_RIGHT
    assert app.drive(f"hotkey-set {HOTKEY} {value:#x}") == "ok"
    assert app.drive.value(f"hotkey-get {HOTKEY}") == str(value)
    app.click(1)
    close_capture(app)
    # The caption names the key as the extended one: the arrow key, not the keypad's 6.
    name = combination_name(app, HOTKEYF_CONTROL | HOTKEYF_EXT, VK_RIGHT)
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == f"{name} to Disable / Enable"
    q.wait_settings(wine, m_wKey2=VK_RIGHT, m_wMod2=HOTKEYF_CONTROL | HOTKEYF_EXT,
                    m_sKeyboardShortcutName2=name)
    assert app.status() == "Mouse Buttons Disabled"

    wine.xdotool("mousemove", *map(str, probe.point()))
    wine.xdotool("key", "ctrl+Right")
    app.wait_status("Mouse Buttons Enabled")
    app.close()


# The close box ends the capture as Cancel does (the framework's own tests show WM_CLOSE giving
# IDCANCEL, and what the dialog keeps after a Cancel is a row of the core's native table).
@pytest.mark.parametrize("how", ["cancel-button", "escape", "empty-ok"])
def test_capture_without_a_key_leaves_no_shortcut(wine: WineSession, how: str):
    # An earlier shortcut is not kept by a Cancel either.
    q.store_settings(wine, m_wKey2=0x51, m_wMod2=HOTKEYF_CONTROL, m_sKeyboardShortcutName2="Q")
    app = q.start(wine)
    assert not q.hot_key_free(wine, MOD_CONTROL, 0x51)
    open_capture(app)
    # The stored combination is shown at once.
    assert app.drive.value(f"hotkey-get {HOTKEY}") == str(0x200 | 0x51)
    if how == "cancel-button":
        app.click(2)
    elif how == "escape":
        type_into_capture(app, "Escape")
    else:
        # Cleared, then a bare modifier left in the box: OK returns key 0 with that modifier.
        app.click(CLEAR)
        wait_until(lambda: app.drive.value(f"hotkey-get {HOTKEY}") == "0", what="a cleared box")
        assert app.drive(f"hotkey-set {HOTKEY} {0x200}") == "ok"
        app.click(1)
    close_capture(app)
    app.wait_check(q.DISABLE_ENABLE_SHORTCUT, 0)

    expected_mod = HOTKEYF_CONTROL if how == "empty-ok" else 0
    q.wait_settings(wine, m_bDisableEnableKeyboardShortcut=0, m_wKey2=0, m_wMod2=expected_mod,
                    m_sKeyboardShortcutName2="")
    assert app.check(q.DISABLE_ENABLE_SHORTCUT) == 0
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Disable / Enable Shortcut"
    assert all(app.enabled(b) for b in OPTION_BOXES)
    assert q.hot_key_free(wine, MOD_CONTROL, 0x51)
    app.close()


def test_combination_held_elsewhere_is_saved_then_refused(wine: WineSession):
    holder = q.HotKeyHolder(wine, (MOD_CONTROL | MOD_SHIFT, VK_K))
    assert holder.held[(MOD_CONTROL | MOD_SHIFT, VK_K)]
    app = q.start(wine)
    open_capture(app)
    assert app.drive(f"hotkey-set {HOTKEY} {0x300 | VK_K}") == "ok"
    app.click(1)
    app.use()
    box = app.wait_message_box()
    assert box.text == FAILURE and box.owned
    # Saved before the registration was tried.
    q.wait_settings(wine, m_bDisableEnableKeyboardShortcut=1, m_wKey2=VK_K,
                    m_wMod2=HOTKEYF_CONTROL | HOTKEYF_SHIFT)
    app.press_message_box()
    app.wait_check(q.DISABLE_ENABLE_SHORTCUT, 0)
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Disable / Enable Shortcut"
    assert all(app.enabled(b) for b in OPTION_BOXES)
    holder.release()
    app.close()


def test_whole_capture_by_keyboard_alone(wine: WineSession):
    app = q.start(wine)
    left, top, right, bottom = app.window_rect()
    wine.xdotool("mousemove", str(left + 20), str(top + (bottom - top) // 2))
    # The focus starts on the first box; five Tabs reach "Disable / Enable Shortcut".
    wait_until(lambda: app.drive.value("focus") == str(q.LEFT), what="focus on the first box")
    wine.xdotool("key", "--delay", "50", *(["Tab"] * 5))
    wait_until(lambda: app.drive.value("focus") == str(q.DISABLE_ENABLE_SHORTCUT),
               what="focus on the shortcut box")
    wine.xdotool("key", "space")
    wait_capture_shown(app)
    type_into_capture(app, "ctrl+shift+k", "Return")
    close_capture(app)
    name = combination_name(app, HOTKEYF_CONTROL | HOTKEYF_SHIFT, VK_K)
    q.wait_settings(wine, m_wKey2=VK_K, m_sKeyboardShortcutName2=name)
    wait_until(lambda: app.text(q.DISABLE_ENABLE_SHORTCUT) == f"{name} to Disable / Enable",
               what="the caption naming the shortcut")
    app.close()


def test_close_shortcut_takes_f6_and_a_real_press_closes_the_program(wine: WineSession):
    app = q.start(wine)
    assert q.hot_key_free(wine, 0, VK_F6)
    app.click(q.CLOSE_SHORTCUT)
    q.wait_settings(wine, m_bCloseWithKeyboardShortcut=1)
    assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"
    assert not q.hot_key_free(wine, 0, VK_F6)
    wine.xdotool("key", "F6")
    assert app.wait_exit() == 0


def test_close_shortcut_moves_on_past_held_keys(wine: WineSession):
    holder = q.HotKeyHolder(wine, (0, VK_F6))
    app = q.start(wine)
    app.click(q.CLOSE_SHORTCUT)
    wait_until(lambda: app.text(q.CLOSE_SHORTCUT) == "F7 to Close", what="F7 as close key")
    assert not q.hot_key_free(wine, 0, VK_F6 + 1)
    # Unticking gives the key up.
    app.click(q.CLOSE_SHORTCUT)
    wait_until(lambda: app.text(q.CLOSE_SHORTCUT) == "Close Shortcut", what="the plain caption")
    q.wait_settings(wine, m_bCloseWithKeyboardShortcut=0)
    assert q.hot_key_free(wine, 0, VK_F6 + 1)
    holder.release()
    app.close()


# With every one of F6 to F12 held elsewhere no caption or announcement names a close key; the
# user is told so, on screen and by voice when alerts are on, and the choice stays on.
@pytest.mark.parametrize("how, alerts", [("click", 1), ("start", 0)])
def test_close_shortcut_without_a_free_key_says_so_and_stays_chosen(
    wine: WineSession, how: str, alerts: int
):
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=alerts, m_bCloseWithKeyboardShortcut=int(how == "start"))
    holder = q.HotKeyHolder(wine, *((0, vk) for vk in range(VK_F6, VK_F6 + 7)))
    assert all(holder.held.values())
    if how == "click":
        app = q.start(wine)
        app.click(q.CLOSE_SHORTCUT)
    else:
        app = q.Quelvant(wine, q.driver_for(wine), wine.start("Quelvant.exe"))
    assert app.wait_message_box() == q.MessageBox("Error", NO_FREE_CLOSE_KEY, owned=True)
    assert app.text(q.CLOSE_SHORTCUT) == "Close Shortcut"
    assert app.check(q.CLOSE_SHORTCUT) == 1
    app.press_message_box()
    q.wait_settings(wine, m_bCloseWithKeyboardShortcut=1)
    if alerts:
        wait_until(lambda: NO_FREE_CLOSE_KEY in recording.spoken(), what="the spoken notice")
    assert [t for t in recording.spoken() if "Close" in t] == [NO_FREE_CLOSE_KEY] * alerts
    app.close()

    # Once a key is free again, the next start takes it.
    holder.release()
    app = q.start(wine)
    assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"
    app.close()


def test_stored_shortcut_is_registered_at_start_even_with_its_box_clear(wine: WineSession):
    q.store_settings(wine, m_bDisableEnableKeyboardShortcut=0, m_wKey2=VK_K,
                     m_wMod2=HOTKEYF_SHIFT, m_sKeyboardShortcutName2="")
    app = q.start(wine)
    assert not q.hot_key_free(wine, MOD_SHIFT, VK_K)
    assert app.check(q.DISABLE_ENABLE_SHORTCUT) == 0
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Disable / Enable Shortcut"
    app.close()


def test_stored_name_without_key_still_names_the_box(wine: WineSession):
    q.store_settings(wine, m_wKey2=0, m_wMod2=0, m_sKeyboardShortcutName2="Hand Made")
    app = q.start(wine)
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Hand Made to Disable / Enable"
    app.close()


def test_bare_f6_shortcut_loses_its_key_to_the_close_shortcut_at_the_next_start(wine: WineSession):
    q.store_settings(wine, m_bCloseWithKeyboardShortcut=1, m_bDisableEnableKeyboardShortcut=1,
                     m_wKey2=VK_F6, m_wMod2=0, m_sKeyboardShortcutName2="F6")
    process = wine.start("Quelvant.exe")
    app = q.Quelvant(wine, q.driver_for(wine), process)
    box = app.wait_message_box()
    assert box.text == FAILURE and box.owned
    app.press_message_box()
    app.wait_check(q.DISABLE_ENABLE_SHORTCUT, 0)
    assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Disable / Enable Shortcut"
    assert all(app.enabled(b) for b in OPTION_BOXES)
    app.close()


def test_presses_while_a_start_error_box_is_open_do_nothing_and_minimising_waits(wine):
    # F6 goes to the close key first, so the stored shortcut fails with a box at start.
    q.store_settings(wine, m_bAutoMinimize=1, m_bCloseWithKeyboardShortcut=1, m_wKey2=VK_F6)
    app = q.Quelvant(wine, q.driver_for(wine), wine.start("Quelvant.exe"))
    assert app.wait_message_box().text == FAILURE
    app.use("Error")
    left, top, right, bottom = app.window_rect()
    wine.xdotool("mousemove", str((left + right) // 2), str((top + bottom) // 2))
    app.use()
    wine.xdotool("key", "F6")
    assert poll(lambda: app.iconic() or app.ended(), 1.5) is None
    app.press_message_box()
    wait_until(app.iconic, what="the dialog to minimise once the box is gone")
    # The same press, once the box is gone, closes the program: it was the box that held it.
    probe = wine.start_probe()
    wine.settle_on(probe)
    wine.xdotool("key", "F6")
    assert app.wait_exit() == 0


def test_shortcut_pressed_while_capturing_is_ignored(wine: WineSession):
    # A stored key is registered with its box clear, so ticking the box opens the capture.
    q.store_settings(wine, m_bCheckDisableLeftClick=1, m_wKey2=VK_K,
                     m_wMod2=HOTKEYF_CONTROL | HOTKEYF_SHIFT)
    app = q.start(wine)
    open_capture(app)
    type_into_capture(app, "ctrl+shift+k")
    app.use()
    assert poll(lambda: app.status() != "Mouse Buttons Disabled", 1.5) is None
    # Confirmed, the same combination is the shortcut, and the same press now toggles.
    app.use(CAPTURE_TITLE)
    assert app.drive(f"hotkey-set {HOTKEY} {0x300 | VK_K:#x}") == "ok"
    app.click(1)
    close_capture(app)
    app.wait_check(q.DISABLE_ENABLE_SHORTCUT, 1)
    wine.xdotool("key", "ctrl+shift+k")
    app.wait_status("Mouse Buttons Enabled")
    app.close()
