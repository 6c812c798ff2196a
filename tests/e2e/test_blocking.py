"""Ticking the dialog's boxes blocks real input at once: each mouse box, keyboard blocking,
simulated input, the Disable / Enable hot key; the status line and the store follow."""

from __future__ import annotations

import pytest

import quelvant as q
from harness import Probe, WineSession
from input_kinds import (
    KEY_MESSAGES,
    LEFT,
    MIDDLE,
    MOVE,
    RIGHT,
    WHEEL,
    check_actions,
    keys_through,
    real_click_arrived,
    send_with_marker,
)

BOX_BITS = {q.LEFT: LEFT.bit, q.RIGHT: RIGHT.bit, q.MIDDLE: MIDDLE.bit, q.MOVES: MOVE.bit,
            q.WHEEL: WHEEL.bit}
BOX_SETTING = {box: name for name, box in q.SETTING_BOX.items() if box in BOX_BITS}
WM_HOTKEY = 0x0312


# One box, from the tick to real input and back. Which bit each box sets is the native mouse
# word table's; that every box reaches the library through its own entry of the message map,
# the stand-in's click test; that each bit discards its kind of real input, the filter word test.
@pytest.mark.parametrize("boxes", [pytest.param([q.LEFT], id="left")])
def test_ticked_mouse_boxes_discard_exactly_their_kinds(wine: WineSession, boxes: list[int]):
    app, probe = q.start_with_probe(wine)
    assert app.status() == "Mouse Buttons Enabled"
    for box in boxes:
        app.click(box)
        app.wait_check(box, 1)
    app.wait_status("Mouse Buttons Disabled")
    expected = {BOX_SETTING[b]: (1 if b in boxes else 0) for b in BOX_BITS}
    stored = q.wait_settings(wine, **expected)
    assert set(stored) == set(q.SETTING_NAMES)

    word = sum(BOX_BITS[b] for b in boxes)
    wrong = check_actions(wine, probe, word)
    assert not wrong, "\n".join(wrong)

    # Clearing every box releases the mouse.
    for box in boxes:
        app.click(box)
        app.wait_check(box, 0)
    app.wait_status("Mouse Buttons Enabled")
    q.wait_settings(wine, **{BOX_SETTING[b]: 0 for b in BOX_BITS})
    wrong = check_actions(wine, probe, 0)
    assert not wrong, "\n".join(wrong)
    app.close()


def test_disable_keyboard_keys_blocks_keys_and_switches_both_shortcuts_off(wine: WineSession):
    # Both shortcuts set before the start; the wheel box keeps a mouse hook on the program's
    # thread, which keeps the marker click behind the keys.
    q.store_settings(
        wine,
        m_bCheckDisableMouseWheel=1,
        m_bCloseWithKeyboardShortcut=1,
        m_bDisableEnableKeyboardShortcut=1,
        m_wKey2=0x51,
        m_wMod2=0x02,
        m_sKeyboardShortcutName2="Ctrl + Q",
    )
    app, probe = q.start_with_probe(wine)
    assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Ctrl + Q to Disable / Enable"
    assert keys_through(wine, probe, "a") != []

    app.click(q.KEYBOARD)
    app.wait_check(q.KEYBOARD, 1)
    q.wait_settings(
        wine,
        m_bDisableKeyboardKeys=1,
        m_bCloseWithKeyboardShortcut=0,
        m_bDisableEnableKeyboardShortcut=0,
        m_wKey2=0,
        m_wMod2=0,
        m_sKeyboardShortcutName2="",
    )
    assert keys_through(wine, probe, "a", "F5", "shift", "ctrl+q", "Return") == []
    assert not app.enabled(q.CLOSE_SHORTCUT)
    assert not app.enabled(q.DISABLE_ENABLE_SHORTCUT)
    assert app.check(q.CLOSE_SHORTCUT) == 0
    assert app.check(q.DISABLE_ENABLE_SHORTCUT) == 0
    assert app.text(q.CLOSE_SHORTCUT) == "Close Shortcut"
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Disable / Enable Shortcut"
    # Both hot keys were given up.
    assert q.hot_key_free(wine, 0, 0x75)
    assert q.hot_key_free(wine, 0x02, 0x51)
    # The mouse boxes are usable again once the shortcut is gone.
    assert all(app.enabled(b) for b in (*q.MOUSE_BOXES, q.ALLOW_INJECTED))

    app.click(q.KEYBOARD)
    app.wait_check(q.KEYBOARD, 0)
    q.wait_settings(wine, m_bDisableKeyboardKeys=0)
    assert app.enabled(q.CLOSE_SHORTCUT) and app.enabled(q.DISABLE_ENABLE_SHORTCUT)
    assert app.check(q.CLOSE_SHORTCUT) == 0 and app.check(q.DISABLE_ENABLE_SHORTCUT) == 0
    assert keys_through(wine, probe, "b") != []
    assert q.settings(wine)["m_bCloseWithKeyboardShortcut"] == 0
    app.assert_back_at_rest()  # the wheel still blocked: the watchdog's looks alone
    app.close()


def injected_click_arrived(wine: WineSession, probe: Probe) -> bool:
    seen = send_with_marker(
        wine, probe, lambda: wine.inject("click", "left", "click", "x2"), marker_included=True
    )
    return any(m.id in LEFT.ids for m in seen)


def injected_key_arrived(wine: WineSession, probe: Probe) -> bool:
    seen = send_with_marker(
        wine, probe, lambda: wine.inject("key", "0x41", "click", "x2"), marker_included=True
    )
    return any(m.id in KEY_MESSAGES for m in seen)


def test_allow_simulated_lets_injected_input_through_and_never_real_input(wine: WineSession):
    q.store_settings(wine, m_bCheckDisableLeftClick=1)
    app, probe = q.start_with_probe(wine)
    # Switched on once the probe is settled: the probe needs a real key to know it has focus.
    app.click(q.KEYBOARD)
    q.wait_settings(wine, m_bDisableKeyboardKeys=1)
    assert app.check(q.ALLOW_INJECTED) == 1
    assert injected_click_arrived(wine, probe)
    assert injected_key_arrived(wine, probe)
    assert not real_click_arrived(wine, probe)
    assert keys_through(wine, probe, "a") == []

    app.click(q.ALLOW_INJECTED)
    q.wait_settings(wine, m_bAllowInjected=0)
    assert not injected_click_arrived(wine, probe)
    assert not injected_key_arrived(wine, probe)
    assert not real_click_arrived(wine, probe)

    app.click(q.ALLOW_INJECTED)
    q.wait_settings(wine, m_bAllowInjected=1)
    assert injected_click_arrived(wine, probe)
    app.close()


def test_hot_key_message_toggles_blocking_without_touching_the_settings(wine: WineSession):
    q.store_settings(wine, m_bCheckDisableLeftClick=1)
    app, probe = q.start_with_probe(wine)
    assert app.status() == "Mouse Buttons Disabled"
    before = q.settings(wine)
    assert not real_click_arrived(wine, probe)

    app.post(WM_HOTKEY, 2)
    app.wait_status("Mouse Buttons Enabled")
    assert real_click_arrived(wine, probe)
    assert app.check(q.LEFT) == 1

    app.post(WM_HOTKEY, 2)
    app.wait_status("Mouse Buttons Disabled")
    assert not real_click_arrived(wine, probe)
    assert q.settings(wine) == before

    # Identifier 1 is the close shortcut: the program ends.
    app.post(WM_HOTKEY, 1)
    assert app.wait_exit() == 0
