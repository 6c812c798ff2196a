"""The per-user store: what a start reads, what every change writes, what reset restores, and
that a change outlives the program."""

from __future__ import annotations

import os
import shutil
import signal
import subprocess
from pathlib import Path

import pytest

import quelvant as q
from harness import LineReader, WineSession, wait_until
from input_kinds import keys_through, real_click_arrived
from speech import install_recording_voice

CHECK_BOX = q.SETTING_BOX
BOX_SETTING = {box: name for name, box in CHECK_BOX.items()}

# A reset restores the defaults of the settings table; Audible Alerts keep the user's choice.
RESET_VALUES = q.DEFAULTS


# One number and the text; the other kinds and types are rows of the decoder's native table.
@pytest.mark.parametrize(
    "name, kind, data, default",
    [
        ("m_bAllowInjected", "REG_SZ", "0", 1),
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
    # The value may be gone for a moment while the program writes it anew in its own type.
    wait_until(lambda: q.reg_query(wine, q.SETTINGS_KEY).get(name, ("",))[0] == expected_kind,
               what=f"{name} stored as {expected_kind}")
    assert q.settings(wine)[name] == default
    assert len(stored) == len(q.SETTING_NAMES)
    app.close()


VK_F6, VK_K = 0x75, 0x4B
# Every setting away from its default, in two rounds: blocking the keys gives up both
# shortcuts, so the shortcuts get a round of their own. The first round ends with the program
# killed as soon as its boxes show the last choice, the second with an ordinary close.
ROUNDS = {
    "keys-blocked-then-killed": dict(
        boxes=(*q.MOUSE_BOXES, q.KEYBOARD, q.AUTO_MINIMIZE, q.ALLOW_INJECTED, q.AUDIBLE_ALERTS),
        stored=dict(m_bCheckDisableLeftClick=1, m_bCheckDisableRightClick=1,
                    m_bCheckDisableMiddleClick=1, m_bCheckDisableMouseMovements=1,
                    m_bCheckDisableMouseWheel=1, m_bDisableKeyboardKeys=1, m_bAutoMinimize=1,
                    m_bAllowInjected=0, m_bAudibleAlerts=0),
    ),
    "shortcuts-then-closed": dict(
        boxes=(q.LEFT, q.CLOSE_SHORTCUT),
        stored=dict(m_bCheckDisableLeftClick=1, m_bCloseWithKeyboardShortcut=1,
                    m_bDisableEnableKeyboardShortcut=1, m_wKey2=VK_K, m_wMod2=0x3),
    ),
}

# Together the rounds move every setting off its default; the name comes with the shortcut.
# The touchpad box cannot be ticked under Wine: its round through a stand-in is below.
_ROUNDS_COVER = set().union(*(r["stored"] for r in ROUNDS.values())) | {
    "m_sKeyboardShortcutName2", "m_bDisableTouchpad"}
assert _ROUNDS_COVER == set(q.SETTING_NAMES), \
    f"ROUNDS leave out {sorted(set(q.SETTING_NAMES) - _ROUNDS_COVER)}"


@pytest.mark.parametrize("round_name", ROUNDS)
def test_every_choice_comes_back_with_blocking_in_force(wine: WineSession, round_name: str):
    boxes, changed = ROUNDS[round_name]["boxes"], ROUNDS[round_name]["stored"]
    app = q.start(wine)
    _left, _top, right, _bottom = app.window_rect()
    for box in boxes:
        app.click(box)
        app.wait_check(box, 1 - (q.DEFAULTS[BOX_SETTING[box]] != 0))
    if round_name == "shortcuts-then-closed":
        app.set_disable_enable_shortcut(0x300 | VK_K)  # Ctrl+Shift+K
        app.wait_check(q.DISABLE_ENABLE_SHORTCUT, 1)
        name = q.wait_settings(wine, **changed)["m_sKeyboardShortcutName2"]
        assert name
        app.close()
    else:
        # Killed once stored: the store does not hang on an orderly end of the program.
        q.wait_settings(wine, **changed)
        os.kill(app.process.pid, signal.SIGKILL)
        app.process.wait(timeout=30)
        wait_until(lambda: not app.exists(), what="the killed dialog to go")
        name = ""
    expected = dict(q.DEFAULTS, **changed, m_sKeyboardShortcutName2=name)

    # The probe first, beside where the dialog will be again: with moves and keys blocked from
    # the start it could not be settled afterwards.
    probe = wine.start_probe(x=max(right, 0) + 60, y=100, w=400, h=300)
    wine.settle_on(probe)
    app = q.start(wine)
    assert {k: app.check(box) for k, box in CHECK_BOX.items()} == {
        k: min(int(expected[k]), 1) for k in CHECK_BOX}
    assert app.status() == "Mouse Buttons Disabled"
    assert not real_click_arrived(wine, probe)
    if round_name == "keys-blocked-then-killed":
        assert keys_through(wine, probe, "a", "F5") == []
        wait_until(app.iconic, what="the dialog to minimise by itself")
    else:
        assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"
        assert app.text(q.DISABLE_ENABLE_SHORTCUT) == f"{name} to Disable / Enable"
        assert not q.hot_key_free(wine, 0, VK_F6)
        assert not q.hot_key_free(wine, 0x2 | 0x4, VK_K)  # MOD_CONTROL | MOD_SHIFT
    assert q.settings(wine) == expected
    app.close()


# Either way in, either alerts choice kept; which settings a reset keeps is checked natively.
@pytest.mark.parametrize("how, alerts", [("button", 0), ("menu", 1)])
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
        app.command(q.MENU_RESET)
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


# The touchpad, against a stand-in for the system (touchpadsys.exe) that keeps to its contract:
# the state is the Status value, a write of touchpadEnabled does nothing, and only a
# Ctrl+Win+F24 that gets past every program's hooks toggles it. Started before the program, so
# that its hook sees only what the program's hooks pass. The test build (touchpadseam) reads
# the state through SPI_GETTOUCHPADPARAMETERS as on 24H2; the real build, as under Wine, from
# the Status value.
STATUS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\PrecisionTouchPad\Status"
SEAM_KEY = r"HKCU\Software\Quelvant.Seam\Touchpad"
RELEASED, RESTORED = "All Blocking Released. Press Ctrl+Alt+Shift+Q to Block Again", "Blocking Restored"
NOT_TAKEN = "Windows did not switch the touchpad when sent its toggle, Ctrl+Win+F24."
# A program's Ctrl+Win+F24, sent as the program sends its own but without its mark.
FOREIGN_TOGGLE = ("keydown", "0xA2", "keydown", "0x5B", "key", "0x87", "keyup", "0x5B",
                  "keyup", "0xA2")


class TouchpadSystem:
    def __init__(self, wine: WineSession, enabled: int = 1, how: str = ""):
        self.process = wine.start("touchpadsys.exe", str(enabled), *([how] if how else []),
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.lines = LineReader(self.process, "touchpadsys.exe")
        self.mark = None  # the extra information of the last toggle, as any hook reads it
        assert self.lines.next() == "ready"

    def next(self, timeout: float | None = None) -> str:
        """The next line about a toggle ("toggle N", "locked N", "other held 0xVK"), or of
        the stand-in's answer to a command."""
        while (line := self.lines.next(*([timeout] if timeout else []))).startswith("mark "):
            self.mark = line.split()[1]
        return line

    def command(self, word: str) -> None:
        self.process.stdin.write(word + "\n")
        self.process.stdin.flush()
        while self.next() != word:
            pass

    def total(self) -> int:
        """Ends the stand-in: how many toggles reached the system. None came with another
        key held, which would not have been the toggle."""
        self.process.stdin.close()
        while not (line := self.next()).startswith("total "):
            assert not line.startswith("other held"), line
        self.process.wait(timeout=30)
        return int(line.split()[1])


def touchpad_at(wine: WineSession, enabled: int) -> None:
    wait_until(lambda: int(q.reg_query(wine, STATUS_KEY)["Enabled"][1], 16) == enabled,
               what=f"the touchpad's switch at {enabled}")


def touchpad_program(wine: WineSession, seam: bool) -> Path:
    program = wine.root / "touchpad" / "Quelvant.exe"
    program.parent.mkdir(exist_ok=True)
    shutil.copy2(q.BIN_DIR / ("touchpadseam" if seam else "") / "Quelvant.exe", program)
    shutil.copy2(q.BIN_DIR / "Helper.dll", program.parent / "Helper.dll")
    return program


# Each way the touchpad comes back after a tick switched it off, and how many toggles reached
# the system in all; which touchpad is the program's to switch on is checked natively.
WAYS = {  # way: (the test build, toggles)
    "clear": (True, 2), "shortcut": (False, 4), "chord-keys-blocked": (False, 4),
    "chord-touchpad-only": (False, 4), "chord-dialog-stalled": (False, 4), "exit": (False, 2),
    "killed": (False, 2), "reset-word": (False, 2), "reset": (False, 2), "endsession": (True, 2),
}


@pytest.mark.parametrize("way", WAYS)
def test_touchpad_switched_off_comes_back_every_way(wine: WineSession, way: str):
    seam, toggles = WAYS[way]
    system = TouchpadSystem(wine)
    program = touchpad_program(wine, seam)
    q.remove_key(wine, STATUS_KEY)
    app, _probe = q.start_with_probe(wine, program=program)
    # The touchpad appears after the start, as the system's settings change.
    assert not app.enabled(q.TOUCHPAD)
    assert app.tip(q.TOUCHPAD) == "Not available: Windows reports no precision touchpad on this computer."
    q.reg_add(wine, STATUS_KEY, "Enabled", "REG_DWORD", "1")
    if seam:
        q.reg_add(wine, SEAM_KEY, "Present", "REG_DWORD", "1")
    assert app.drive("settingchange") == "ok"
    wait_until(lambda: app.enabled(q.TOUCHPAD), what="the touchpad box to come alive")
    assert app.tip(q.TOUCHPAD).startswith("Switches the built-in precision touchpad off")
    if way == "chord-keys-blocked":
        for box, state in ((q.KEYBOARD, 1), (q.ALLOW_INJECTED, 0)):
            app.click(box)
            app.wait_check(box, state)
    app.click(q.TOUCHPAD)
    app.wait_status("Touchpad Disabled")
    touchpad_at(wine, 0)
    q.wait_settings(wine, m_bDisableTouchpad=1, m_bTouchpadSwitchedOff=1)

    if way == "clear":
        app.click(q.TOUCHPAD)
        app.wait_status("Touchpad Enabled")
        app.assert_back_at_rest()
        q.wait_settings(wine, m_bDisableTouchpad=0)
    elif way.startswith("chord") or way == "shortcut":
        if way == "chord-dialog-stalled":
            host = wine.start_hookhost()
            assert host.command(f"stall {q.TITLE} 10000").startswith("stalled ")
        # Given back for a while and taken again; the box and the store stay as they are.
        for enabled, status in ((1, RELEASED), (0, RESTORED)):
            if way == "shortcut":
                app.post(0x0312, 2)  # WM_HOTKEY of the Disable / Enable shortcut
                status = "Touchpad Enabled" if enabled else "Touchpad Disabled"
            elif enabled and way in ("chord-keys-blocked", "chord-touchpad-only"):
                # Ctrl, Alt and Shift held on for 2 s after Q: the toggle waits for them (with
                # them it would be another combination), then goes out once, alone.
                assert system.next() == "toggle 1"
                wine.xdotool("keydown", "ctrl+alt+shift")
                wine.xdotool("key", "q")
                with pytest.raises(AssertionError):
                    system.next(timeout=2)
                wine.xdotool("keyup", "shift+alt+ctrl")
                assert system.next() == "toggle 2"
            else:
                wine.xdotool("key", "ctrl+alt+shift+q")
            touchpad_at(wine, enabled)
            if way != "chord-dialog-stalled":
                app.wait_status(status)
        if way == "chord-dialog-stalled":
            # Both chords were done while the dialog still stood still.
            assert not any(line.startswith("resumed ") for line in host.lines())
            wait_until(lambda: any(line.startswith("resumed ") for line in host.lines()),
                       what="the end of the stall")
            app.wait_status(RESTORED)
        if way == "chord-keys-blocked":
            # Another program's toggle stays blocked with the keys; only ours passed. So does
            # one that carries our keys' mark, which any program's hook can read.
            assert system.mark is not None
            for extra in ("0", system.mark):
                assert wine.start("inject.exe", "extra", extra, *FOREIGN_TOGGLE,
                                  stdout=subprocess.DEVNULL).wait(30) == 0
        assert app.check(q.TOUCHPAD) == 1
        app.close()
    elif way == "exit":
        app.close()
    elif way == "reset":
        app.click(q.RESET)
        app.wait_check(q.TOUCHPAD, 0)
        app.close()
    elif way == "endsession":
        app.post(0x0016, 1)  # WM_ENDSESSION: the session ends
        assert app.wait_exit() == 0
        assert q.settings(wine)["m_bDisableTouchpad"] == 1  # taken again at the next start
    else:
        os.kill(app.process.pid, signal.SIGKILL)
        app.process.wait(timeout=30)
        wait_until(lambda: not app.exists(), what="the killed dialog to go")
        touchpad_at(wine, 0)
        # Under Wine a killed process's hook stays in the chain and ends it there: a new
        # stand-in goes in front of it, as the system would always come after every hook.
        toggles -= system.total()
        system = TouchpadSystem(wine, enabled=0)
        if way == "killed":
            # The next start finds the touchpad still its own to give back, under the ticked box.
            app = q.start(wine, program=program)
            assert app.check(q.TOUCHPAD) == 1
            touchpad_at(wine, 0)
            app.close()
        else:
            app = q.Quelvant(wine, q.driver_for(wine),
                             wine.start(program, "<RESET>", stdin=subprocess.DEVNULL))
            app.wait_message_box()
            app.press_message_box()
            assert app.wait_exit() == 0
            assert q.settings(wine)["m_bDisableTouchpad"] == 0
    touchpad_at(wine, 1)
    assert q.settings(wine)["m_bTouchpadSwitchedOff"] == 0
    assert system.total() == toggles


# The user's own off stays theirs; a toggle the system does not take is an error after exactly
# one combination; and where policy locks the box, it is told once, in the status line and by
# voice, never in a box, neither at the next apply nor after the chord.
@pytest.mark.parametrize("case", ["users-own-off", "not-taken", "locked-not-taken", "taken-late"])
def test_touchpad_that_does_not_switch(wine: WineSession, case: str):
    system = TouchpadSystem(wine, enabled=0 if case == "users-own-off" else 1,
                            how={"users-own-off": "", "taken-late": "late"}.get(case, "refuse"))
    program = touchpad_program(wine, seam=False)
    recording = None
    if case == "locked-not-taken":
        recording = install_recording_voice(wine)
        q.store_settings(wine, m_bAudibleAlerts=1)
        q.store_values(wine, q.MACHINE_POLICY, m_bDisableTouchpad=1)
    app, _probe = q.start_with_probe(wine, program=program)
    failed = f"Could not Disable Touchpad: {NOT_TAKEN}"
    if case == "locked-not-taken":
        app.wait_status(failed)
        wait_until(lambda: failed in recording.spoken(), what="the failure spoken")
        app.click(q.LEFT)
        app.wait_status("Mouse Buttons Disabled")
        for status in (RELEASED, RESTORED):
            wine.xdotool("key", "ctrl+alt+shift+q")
            app.wait_status(status)
        wait_until(lambda: RESTORED in recording.spoken(), what="the chord's restore spoken")
        assert app.message_box() is None
        assert recording.spoken().count(failed) == 1
    else:
        app.click(q.TOUCHPAD)
        if case in ("not-taken", "taken-late"):
            box = app.wait_message_box()
            assert box.text == f"Could not Disable Touchpad.\n\nLast Error 32\n\n{NOT_TAKEN}"
            if case == "taken-late":
                # The system takes it after all, 1.5 s late: the touchpad is still ours, and
                # with the box clear it goes back on, by a toggle taken as late.
                assert system.next() == "toggle 1"
                assert system.next() == "toggle 2"
                touchpad_at(wine, 1)
                q.wait_settings(wine, m_bTouchpadSwitchedOff=0)
            app.press_message_box()
            app.wait_check(q.TOUCHPAD, 0)
            assert app.status() == "Error Disabling Touchpad"
        else:
            q.wait_settings(wine, m_bDisableTouchpad=1)
            app.click(q.TOUCHPAD)
            q.wait_settings(wine, m_bDisableTouchpad=0)
    app.close()
    assert q.settings(wine).get("m_bTouchpadSwitchedOff", 0) == 0
    touchpad_at(wine, 0 if case == "users-own-off" else 1)
    assert system.total() == {"users-own-off": 0, "taken-late": 2}.get(case, 1)


@pytest.mark.parametrize("held,session", [(False, ""), (True, ""), (False, "locked")],
                         ids=["on", "held off by the box", "ended in a locked session"])
def test_a_lock_for_cleaning_takes_the_touchpad_and_gives_the_users_choice_back(
    wine: WineSession, held: bool, session: str
):
    system = TouchpadSystem(wine)
    app = q.start(wine, program=touchpad_program(wine, seam=False))
    wait_until(lambda: app.enabled(q.TOUCHPAD), what="the touchpad box to come alive")
    if held:
        app.click(q.TOUCHPAD)
        app.wait_status("Touchpad Disabled")
    # Long enough to see the stand-in's session locked before the lock ends.
    assert q.exit_code(q.run_lock_command(wine, "/lock", "10" if session else "5")) == 0
    touchpad_at(wine, 0)
    # Ours to give back while the lock holds it, whatever ends the program.
    q.wait_settings(wine, m_bTouchpadSwitchedOff=1)
    if session:
        # The lock ends while the session is locked, where our toggle reaches no one; still
        # owed, the touchpad comes back when the session is unlocked, with one toggle.
        system.command("lock")
        app.wait_status(q.LOCK_ENDED)
        assert system.next() == "locked 1"
        assert q.settings(wine)["m_bTouchpadSwitchedOff"] == 1
        system.command("unlock")
        app.post(0x02B1, 0x8)  # WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK
        assert system.next() == "toggle 2"
        app.wait_status("Touchpad Enabled")
    else:
        app.wait_status(q.LOCK_ENDED)
    touchpad_at(wine, 0 if held else 1)
    q.wait_settings(wine, m_bTouchpadSwitchedOff=int(held), m_bDisableTouchpad=int(held))
    app.close()
    touchpad_at(wine, 1)
    assert system.total() == 2


def test_locked_settings_hold_until_the_policy_goes(wine: WineSession):
    """The machine's policy locks left clicks blocked over the user policy's 0; the user policy
    locks the wheel and keyboard boxes off. Neither a click, Reset Settings nor "<RESET>"
    changes them or the user's own values, which come back as each policy goes: the user's at
    the next start, the machine's and then the user's while the program runs, each key deleted
    whole and announced to nobody."""
    q.store_settings(wine, m_bCheckDisableLeftClick=0, m_bCheckDisableMouseWheel=1)
    q.store_values(wine, q.MACHINE_POLICY, m_bCheckDisableLeftClick=1, m_bDisableTouchpad=1)
    q.store_values(wine, q.USER_POLICY, m_bCheckDisableLeftClick=0, m_bCheckDisableMouseWheel=0,
                   m_bDisableKeyboardKeys=0)
    app, probe = q.start_with_probe(wine)
    assert [app.check(b) for b in (q.LEFT, q.WHEEL)] == [1, 0]
    assert not any(app.enabled(b) for b in (q.LEFT, q.WHEEL, q.KEYBOARD))
    assert app.tip(q.LEFT) == app.tip(q.WHEEL) == q.MANAGED_TIP
    assert app.tip(q.KEYBOARD) == f"{q.MANAGED_TIP} {q.KEYBOARD_TIP}"
    assert app.enabled(q.RIGHT) and app.tip(q.RIGHT) is None
    # Locked where the system cannot switch the touchpad: it says both.
    assert app.check(q.TOUCHPAD) == 1 and not app.enabled(q.TOUCHPAD)
    assert app.tip(q.TOUCHPAD).startswith(f"{q.MANAGED_TIP} Not available:")
    assert not real_click_arrived(wine, probe)
    # One line says so where the keyboard reaches it, naming the locked boxes by their texts.
    assert managed_line_shown(app) and app.text(q.MANAGED) == q.MANAGED_LINE
    assert app.tip(q.MANAGED) == (f"{q.MANAGED_DESCRIPTION}Disable Left Button Click, Disable "
                                  "Mouse Wheel, Disable Keyboard Keys, Disable Touchpad.")

    app.click(q.LEFT)
    app.click(q.RIGHT)
    app.wait_check(q.RIGHT, 1)
    assert app.check(q.LEFT) == 1
    app.click(q.RESET)
    q.wait_settings(wine, m_bCheckDisableRightClick=0)
    assert [app.check(b) for b in (q.LEFT, q.WHEEL, q.RIGHT)] == [1, 0, 0]
    assert not app.enabled(q.LEFT) and app.status() == "Mouse Buttons Disabled"
    app.close()
    reset = wine.start("Quelvant.exe", "<RESET>", stdin=subprocess.DEVNULL)
    reset_app = q.Quelvant(wine, q.driver_for(wine), reset)
    assert reset_app.wait_message_box().text == "Reset of Settings Done."
    reset_app.press_message_box()
    assert reset_app.wait_exit() == 0
    own = dict(m_bCheckDisableLeftClick=0, m_bCheckDisableMouseWheel=1)
    assert {k: q.settings(wine)[k] for k in own} == own

    q.remove_key(wine, q.USER_POLICY)
    app = q.start(wine)
    assert [app.check(b) for b in (q.LEFT, q.WHEEL)] == [1, 1]
    assert app.enabled(q.WHEEL) and app.tip(q.WHEEL) is None
    assert app.enabled(q.KEYBOARD) and app.tip(q.KEYBOARD) == q.KEYBOARD_TIP
    assert app.tip(q.MANAGED) == f"{q.MANAGED_DESCRIPTION}Disable Left Button Click, Disable Touchpad."
    tab_to(wine, app, q.MANAGED)
    wine.xdotool("mousemove", *map(str, probe.point()))
    # A value written by hand, which nobody announces, is in force within moments.
    q.store_values(wine, q.USER_POLICY, m_bCheckDisableRightClick=1)
    wait_until(lambda: app.check(q.RIGHT) == 1 and not app.enabled(q.RIGHT), timeout=2,
               what="the right-click box locked on")
    # Deleted whole, as "reg delete /f" or an unlinked Group Policy object does, and announced
    # to nobody: in force as soon.
    q.remove_key(wine, q.MACHINE_POLICY, whole=True)
    wait_until(lambda: app.enabled(q.LEFT), timeout=2,
               what="the left-click box to be the user's again")
    assert app.check(q.LEFT) == 0 and app.tip(q.LEFT) is None
    assert app.tip(q.TOUCHPAD).startswith("Not available:") and not app.enabled(q.TOUCHPAD)
    assert real_click_arrived(wine, probe)
    q.remove_key(wine, q.USER_POLICY, whole=True)
    wait_until(lambda: not managed_line_shown(app), timeout=2, what="the managed line to go")
    app.assert_back_at_rest()
    assert app.enabled(q.RIGHT) and app.check(q.RIGHT) == 0
    app.close()


def managed_line_shown(app: q.Quelvant) -> bool:
    return any(r["id"] == q.MANAGED and r["style"] & 0x10000000 for r in app.controls())


def tab_to(wine: WineSession, app: q.Quelvant, control: int) -> None:
    """Presses Tab until the focus is on the control, failing when it goes round without it."""
    left, top, _, _ = app.window_rect()
    dx, dy, _, _ = app.map_dialog_rect(3, 100, 0, 0)
    wine.xdotool("mousemove", str(left + dx), str(top + dy))
    wait_until(lambda: app.drive.value("focus") is not None, what="the focus in the dialog")
    seen: list[int] = []
    while (focus := int(app.drive.value("focus") or 0)) != control:
        assert focus not in seen, f"Tab went round without reaching {control}: {seen}"
        seen.append(focus)
        wine.xdotool("key", "Tab")
        wait_until(lambda: int(app.drive.value("focus") or 0) != focus, what="the focus to move")


def test_a_broadcast_is_answered_at_once_while_a_change_that_fails_waits(wine: WineSession):
    """A policy that sets a shortcut another program holds cannot come into force: its error
    box waits for the user, and another program's broadcast meanwhile gets its answer."""
    app = q.start(wine)
    holder = q.HotKeyHolder(wine, (0x2, 0x51))  # Ctrl+Q
    q.store_values(wine, q.USER_POLICY, m_bDisableEnableKeyboardShortcut=1, m_wKey2=0x51,
                   m_wMod2=2, m_sKeyboardShortcutName2="Ctrl + Q")
    assert app.drive("settingchange Policy") == "ok"
    assert app.wait_message_box().text.startswith("Failed to Assign Keyboard Shortcut")
    assert app.drive("settingchange Policy") == "ok"
    app.press_message_box()
    holder.release()
    app.close()
