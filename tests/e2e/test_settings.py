"""The per-user store: what a start reads, what every change writes, what reset restores, and
that a change outlives the program."""

from __future__ import annotations

import os
import signal
import subprocess

import pytest

import quelvant as q
from harness import WineSession, wait_until
from test_blocking import real_click_arrived

RESET_VALUES = {
    **{name: 0 for name in q.SETTING_NAMES},
    "m_bAllowInjected": 1,
    "m_sKeyboardShortcutName2": "",
}


def test_stored_values_are_taken_without_range_checks(wine: WineSession):
    q.store_settings(
        wine,
        m_wKey2=0x10051,  # Q, with bits above the low 16
        m_wMod2=0x30002,  # Ctrl, with bits above the low 16
        m_sKeyboardShortcutName2="Ctrl + Q",
        m_bDisableEnableKeyboardShortcut=1,
        m_bCheckDisableLeftClick=7,
    )
    app = q.start(wine)
    # The key registered is the low 16 bits, and the next save writes those back.
    assert not q.hot_key_free(wine, 0x02, 0x51)
    stored = q.wait_settings(wine, m_wKey2=0x51, m_wMod2=0x02)
    # A BOOL of 7 counts as on: the box is ticked and the left button is blocked.
    assert app.check(q.LEFT) == 1
    assert app.status() == "Mouse Buttons Disabled"
    assert stored["m_bCheckDisableLeftClick"] == 1
    app.close()


@pytest.mark.parametrize(
    "name, kind, data, default",
    [
        ("m_bAllowInjected", "REG_SZ", "0", 1),
        ("m_bCheckDisableLeftClick", "REG_SZ", "1", 0),
        ("m_bAudibleAlerts", "REG_BINARY", "00000000", 1),
        ("m_wKey2", "REG_SZ", "81", 0),
        ("m_sKeyboardShortcutName2", "REG_DWORD", "5", ""),
    ],
)
def test_value_of_the_wrong_type_reads_as_its_default_and_is_stored_clean(
    wine: WineSession, name: str, kind: str, data: str, default: int | str
):
    q.reg_add(wine, q.SETTINGS_KEY, name, kind, data)
    app = q.start(wine)
    stored = q.reg_query(wine, q.SETTINGS_KEY)
    expected_kind = "REG_SZ" if isinstance(default, str) else "REG_DWORD"
    wait_until(lambda: q.reg_query(wine, q.SETTINGS_KEY)[name][0] == expected_kind,
               what=f"{name} stored as {expected_kind}")
    assert q.settings(wine)[name] == default
    assert len(stored) == 14
    app.close()


def test_every_choice_comes_back_with_blocking_in_force(wine: WineSession):
    app = q.start(wine)
    for box in (q.LEFT, q.WHEEL, q.AUTO_MINIMIZE, q.ALLOW_INJECTED, q.AUDIBLE_ALERTS):
        app.click(box)
    q.wait_settings(
        wine,
        m_bCheckDisableLeftClick=1,
        m_bCheckDisableMouseWheel=1,
        m_bAutoMinimize=1,
        m_bAllowInjected=0,
        m_bAudibleAlerts=0,
    )
    app.close()

    app, probe = q.start_with_probe(wine)
    assert [app.check(b) for b in (q.LEFT, q.WHEEL, q.AUTO_MINIMIZE, q.ALLOW_INJECTED,
                                   q.AUDIBLE_ALERTS, q.RIGHT)] == [1, 1, 1, 0, 0, 0]
    assert app.status() == "Mouse Buttons Disabled"
    assert not real_click_arrived(wine, probe)
    app.close()


def test_a_change_survives_the_program_being_killed(wine: WineSession):
    app = q.start(wine)
    app.click(q.MIDDLE)
    q.wait_settings(wine, m_bCheckDisableMiddleClick=1)
    os.kill(app.process.pid, signal.SIGKILL)
    app.process.wait(timeout=30)
    wait_until(lambda: not app.exists(), what="the killed dialog to go")

    app = q.start(wine)
    assert app.check(q.MIDDLE) == 1
    assert app.status() == "Mouse Buttons Disabled"
    app.close()


@pytest.mark.parametrize("how", ["button", "menu"])
@pytest.mark.parametrize("alerts", [0, 1])
def test_reset_restores_starting_values_and_leaves_nothing_behind(
    wine: WineSession, how: str, alerts: int
):
    q.store_settings(
        wine,
        m_bCheckDisableLeftClick=1,
        m_bCheckDisableMouseMovements=0,
        m_bAllowInjected=0,
        m_bAutoMinimize=0,
        m_bCloseWithKeyboardShortcut=1,
        m_bDisableEnableKeyboardShortcut=1,
        m_wKey2=0x51,
        m_wMod2=0x02,
        m_sKeyboardShortcutName2="Ctrl + Q",
        m_bAudibleAlerts=alerts,
    )
    app = q.start(wine)
    app.click(q.AUTO_START)
    wait_until(lambda: "Quelvant" in q.reg_query(wine, q.RUN_KEY), what="the Run entry")
    assert not app.enabled(q.LEFT)  # greyed by the shortcut
    assert not q.hot_key_free(wine, 0x02, 0x51)

    if how == "button":
        app.click(q.RESET)
    else:
        app.command(32771)
    expected = dict(RESET_VALUES, m_bAudibleAlerts=alerts)
    assert q.wait_settings(wine, **expected) == expected
    app.wait_status("Mouse Buttons Enabled")
    assert "Quelvant" not in q.reg_query(wine, q.RUN_KEY)

    # Boxes show the reset values...
    for box in (*q.MOUSE_BOXES, q.KEYBOARD, q.AUTO_MINIMIZE, q.CLOSE_SHORTCUT, q.AUTO_START,
                q.DISABLE_ENABLE_SHORTCUT):
        assert app.check(box) == 0, f"box {box}"
    assert app.check(q.ALLOW_INJECTED) == 1
    assert app.check(q.AUDIBLE_ALERTS) == alerts
    # ...and nothing stays grey, captioned or registered from before the reset.
    assert all(app.enabled(b) for b in (*q.MOUSE_BOXES, q.ALLOW_INJECTED, q.CLOSE_SHORTCUT,
                                        q.DISABLE_ENABLE_SHORTCUT))
    assert app.text(q.CLOSE_SHORTCUT) == "Close Shortcut"
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Disable / Enable Shortcut"
    assert q.hot_key_free(wine, 0x02, 0x51)
    assert q.hot_key_free(wine, 0, 0x75)
    app.close()
