"""The real Quelvant.exe against the stand-in Helper.dll: what the program shows, stores and
calls when a hook cannot be installed, and the exact arguments it passes to the library."""

from __future__ import annotations

import pytest

import quelvant as q
from fakehelper import StandIn, keyboard, mouse
from harness import WineSession, wait_until
from input_kinds import check_actions
from quelvant import MessageBox
from runentry import lock_key

ERROR_CAPTION = "Error"  # Wine's caption for a message box that has none of its own
KEYBOARD_ERROR = "Could not Disable Keyboard."
SAVE_ERROR = "Could not Save Settings."
RESET_ERROR = "Could not Reset Settings."


def mouse_error(hex_code: str, system_text: str) -> str:
    return (
        "Could not Disable Selected Mouse Functionality.\n\n"
        f"Last Error {hex_code}\n\n{system_text}"
    )


def all_settings(**changes: int | str) -> dict[str, int | str]:
    """Every stored value with the given changes: storing every one of them before a start
    means that whatever the start itself saves cannot make the store look unchanged."""
    return dict(q.DEFAULTS, **changes)


def plant_sentinel(wine: WineSession, app: q.Quelvant) -> dict[str, int | str]:
    """Stores "Auto Minimize" on behind the program's back and returns the store then.

    The program still holds it off, so any save from now on writes 0 over it; a reload from
    the store instead ticks box 1011. Either way the test can see it."""
    assert app.check(q.AUTO_MINIMIZE) == 0
    q.reg_add(wine, q.SETTINGS_KEY, "m_bAutoMinimize", "REG_DWORD", "1")
    return q.wait_settings(wine, m_bAutoMinimize=1)


def assert_error_variable_discipline(stand_in: StandIn) -> None:
    """Every mouse call gets a fresh error variable of 0, and only a failure writes it."""
    for call in stand_in.calls():
        if call.kind == "mouse":
            assert call["dwLastError"] == 0, call
            if call["result"] != 0:
                assert call["dwLastErrorOut"] == 0, call


# The system's text, and the fallback where the system has none; how the code is written and
# the fallback's wording are checked natively, as is what the dialog does after the failure.
@pytest.mark.parametrize(
    "box, word, code, hex_code, system_text",
    [
        pytest.param(q.LEFT, 0x01, 5, "5", "Access denied.", id="left-access-denied"),
        pytest.param(
            q.MIDDLE, 0x04, 0x20000001, "20000001", "Unknown error 0x20000001",
            id="middle-no-system-text",
        ),
    ],
)
def test_a_failed_mouse_hook_on_a_tick_is_reported_and_nothing_is_stored(
    wine: WineSession, box: int, word: int, code: int, hex_code: str, system_text: str
):
    stand_in = StandIn(wine)
    app = stand_in.start()
    assert [c.short() for c in stand_in.wait_calls(2)] == [mouse(0), keyboard(0)]
    stored = plant_sentinel(wine, app)
    stand_in.fail(f"mouse word=nonzero error={code:#x}")

    app.click(box)

    shown = app.wait_message_box()
    assert shown == MessageBox(ERROR_CAPTION, mouse_error(hex_code, system_text), owned=True)
    assert app.status() == "Error Disablig Mouse Buttons"
    # While the box is open the handler has not yet read the store back.
    assert app.check(box) == 1
    app.press_message_box()
    app.wait_check(box, 0)
    # The members came back from the store: the sentinel shows in its box.
    assert app.check(q.AUTO_MINIMIZE) == 1
    assert app.status() == "Error Disablig Mouse Buttons"
    assert q.settings(wine) == stored
    # One mouse call with the new word, which failed; the keyboard was left alone.
    calls = stand_in.calls()
    assert [c.short() for c in calls[2:]] == [mouse(word, result=0)]
    assert calls[2]["dwLastErrorOut"] == code
    assert_error_variable_discipline(stand_in)
    assert app.message_box() is None


def test_after_a_failed_tick_the_previous_blocking_stays_in_force(wine: WineSession):
    q.store_settings(wine, **all_settings(m_bCheckDisableLeftClick=1))
    stand_in = StandIn(wine, real_hooks=True)
    app, probe = stand_in.start_with_probe()
    wrong = check_actions(wine, probe, 0x01)
    assert not wrong, "\n".join(["before the failure:", *wrong])
    stored = plant_sentinel(wine, app)
    stand_in.fail("mouse word=nonzero error=5")

    app.click(q.RIGHT)
    assert app.wait_message_box().text == mouse_error("5", "Access denied.")
    app.press_message_box()
    app.wait_check(q.RIGHT, 0)

    # The former hook outlives the failed call: what the boxes show again is what holds.
    wrong = check_actions(wine, probe, 0x01)
    assert not wrong, "\n".join(["after the failure:", *wrong])
    assert app.check(q.LEFT) == 1
    assert app.status() == "Error Disablig Mouse Buttons"
    assert q.settings(wine) == stored
    assert [c.short() for c in stand_in.calls()] == [
        mouse(0x01),
        keyboard(0),
        mouse(0x03, result=0),
    ]


# The mouse is applied before the keyboard fails; once the boxes are reloaded, the mouse is
# brought back to what they show again, and the former keyboard hook stays. The same after a
# click on "Allow Simulated" is a row of the core's native table.
@pytest.mark.parametrize(
    "box, expected_calls, status",
    [
        pytest.param(
            q.LEFT,
            [mouse(0x01), keyboard(1, result=0), mouse(0x00)],
            "Mouse Buttons Disabled",
            id="left",
        ),
    ],
)
def test_a_failed_keyboard_hook_is_reported_and_nothing_is_stored(
    wine: WineSession, box: int, expected_calls: list[tuple], status: str
):
    q.store_settings(wine, **all_settings(m_bDisableKeyboardKeys=1))
    stand_in = StandIn(wine)
    app = stand_in.start()
    assert [c.short() for c in stand_in.wait_calls(2)] == [mouse(0), keyboard(1)]
    before = app.check(box)
    stored = plant_sentinel(wine, app)
    stand_in.fail("keyboard")

    app.click(box)

    shown = app.wait_message_box()
    assert shown == MessageBox(ERROR_CAPTION, KEYBOARD_ERROR, owned=True)
    # The mouse was applied before the keyboard failed.
    assert app.status() == status
    assert app.check(box) == 1 - before
    app.press_message_box()
    app.wait_check(box, before)
    app.wait_status("Mouse Buttons Enabled")
    assert app.check(q.AUTO_MINIMIZE) == 1
    assert app.check(q.KEYBOARD) == 1
    assert q.settings(wine) == stored
    assert [c.short() for c in stand_in.calls()[2:]] == expected_calls
    assert_error_variable_discipline(stand_in)


# The store takes no value: a change is undone in force as on screen, and the user is told.
# (A click on "Disable Keyboard Keys" is a row of the core's native table.)
@pytest.mark.parametrize(
    "control, text, expected_calls",
    [
        pytest.param(
            q.LEFT, SAVE_ERROR, [mouse(0x05), keyboard(0), mouse(0x04), keyboard(0)], id="tick"
        ),
        pytest.param(q.RESET, RESET_ERROR, [mouse(0x04), keyboard(0)], id="reset"),
    ],
)
def test_a_change_the_store_does_not_take_is_undone_in_force_and_reported(
    wine: WineSession, control: int, text: str, expected_calls: list[tuple]
):
    q.store_settings(wine, **all_settings(m_bCheckDisableMiddleClick=1))
    stand_in = StandIn(wine)
    app = stand_in.start()
    assert [c.short() for c in stand_in.wait_calls(2)] == [mouse(0x04), keyboard(0)]
    lock_key(wine, q.SETTINGS_KEY)
    stored = q.settings(wine)

    app.click(control)
    assert app.wait_message_box() == MessageBox(ERROR_CAPTION, text, owned=True)
    app.press_message_box()
    # The boxes show the stored choice again, and the last calls asked for just that.
    assert [app.check(b) for b in (q.LEFT, q.MIDDLE, q.KEYBOARD)] == [0, 1, 0]
    assert app.status() == "Mouse Buttons Disabled"
    assert [c.short() for c in stand_in.calls()[2:]] == expected_calls
    assert q.settings(wine) == stored
    assert app.message_box() is None


# The error box before the dialog shows, for a failed mouse hook; a keyboard hook that fails at
# the start (its text, the mouse kept in force, the boxes and the store) is a row of the core's
# native start table, and its box on a tick is the keyboard test above.
@pytest.mark.parametrize(
    "stored, rule, text, status, expected_calls, ticked",
    [
        pytest.param(
            all_settings(m_bCheckDisableLeftClick=1, m_bDisableKeyboardKeys=1),
            "mouse error=5",
            mouse_error("5", "Access denied."),
            "Error Disablig Mouse Buttons",
            [mouse(0x01, result=0)],
            [q.LEFT, q.KEYBOARD],
            id="mouse",
        ),
    ],
)
def test_a_hook_that_fails_at_start_is_reported_before_the_dialog_shows(
    wine: WineSession,
    stored: dict,
    rule: str,
    text: str,
    status: str,
    expected_calls: list[tuple],
    ticked: list[int],
):
    q.store_settings(wine, **stored)
    stand_in = StandIn(wine)
    stand_in.fail(rule)

    app = stand_in.start(wait_window=False)

    shown = app.wait_message_box()
    assert shown == MessageBox(ERROR_CAPTION, text, owned=True)
    assert app.status() == status
    assert not app.visible()
    app.press_message_box()
    wait_until(app.visible, what="the dialog after the error box")
    # The boxes show the stored choice, although it is not in force.
    assert [app.check(box) for box in ticked] == [1] * len(ticked)
    assert [c.short() for c in stand_in.calls()] == expected_calls
    assert q.settings(wine) == stored
    assert_error_variable_discipline(stand_in)


# Each step: the box clicked, then the mouse word, "Allow Simulated" and the keyboard choice
# that the program must pass, mouse first, and the status line after it.
# Every box that blocks, clicked once: each reaches the library through its own entry of the
# message map. Longer sequences and the words they compose are rows of the core's native table.
SEQUENCES = {
    "every-blocking-box-once": [
        (q.MOVES, 0x08, 1, 0, "Mouse Buttons Disabled"),
        (q.LEFT, 0x09, 1, 0, "Mouse Buttons Disabled"),
        (q.RIGHT, 0x0B, 1, 0, "Mouse Buttons Disabled"),
        (q.MIDDLE, 0x0F, 1, 0, "Mouse Buttons Disabled"),
        (q.WHEEL, 0x1F, 1, 0, "Mouse Buttons Disabled"),
        (q.ALLOW_INJECTED, 0x1F, 0, 0, "Mouse Buttons Disabled"),
        (q.KEYBOARD, 0x1F, 0, 1, "Mouse Buttons Disabled"),
        (q.AUTO_MINIMIZE, 0x1F, 0, 1, "Mouse Buttons Disabled"),
    ],
}


@pytest.mark.parametrize("steps", SEQUENCES.values(), ids=SEQUENCES.keys())
def test_each_click_passes_the_boxes_to_the_library_mouse_first(
    wine: WineSession, steps: list[tuple]
):
    stand_in = StandIn(wine)
    app = stand_in.start()
    assert [c.short() for c in stand_in.wait_calls(2)] == [mouse(0), keyboard(0)]

    for box, word, allow, disable_keys, status in steps:
        count = len(stand_in.calls())
        app.click(box)
        calls = stand_in.wait_calls(count + 2)
        assert [c.short() for c in calls[count:]] == [
            mouse(word, allow),
            keyboard(disable_keys, allow),
        ], f"after a click on {box}"
        app.wait_status(status)

    # The last choice was stored as applied.
    box, word, allow, disable_keys, _ = steps[-1]
    q.wait_settings(
        wine,
        m_bCheckDisableLeftClick=word & 0x01,
        m_bCheckDisableRightClick=(word >> 1) & 1,
        m_bCheckDisableMiddleClick=(word >> 2) & 1,
        m_bCheckDisableMouseMovements=(word >> 3) & 1,
        m_bCheckDisableMouseWheel=(word >> 4) & 1,
        m_bAllowInjected=allow,
        m_bDisableKeyboardKeys=disable_keys,
    )
    assert len(stand_in.calls()) == 2 + 2 * len(steps)
    assert_error_variable_discipline(stand_in)


def test_clicks_on_boxes_that_do_not_block_call_nothing(wine: WineSession):
    stand_in = StandIn(wine)
    app = stand_in.start()
    assert [c.short() for c in stand_in.wait_calls(2)] == [mouse(0), keyboard(0)]

    # Each handler ends with the write waited for here, so a call would be logged by then.
    steps = [
        (q.AUDIBLE_ALERTS, lambda: q.settings(wine).get("m_bAudibleAlerts") == 0),
        (q.CLOSE_SHORTCUT, lambda: q.settings(wine).get("m_bCloseWithKeyboardShortcut") == 1),
        (q.AUTO_START, lambda: "Quelvant" in q.reg_query(wine, q.RUN_KEY)),
    ]
    for box, written in steps:
        app.click(box)
        wait_until(written, what=f"the write of a click on {box}")
        assert len(stand_in.calls()) == 2, f"a click on {box} called the library"


# Other stored choices, and the first start, are rows of the core's native table.
@pytest.mark.parametrize(
    "stored, expected",
    [
        pytest.param(
            all_settings(
                m_bCheckDisableLeftClick=1,
                m_bCheckDisableMouseWheel=1,
                m_bDisableKeyboardKeys=1,
                m_bAllowInjected=0,
            ),
            [mouse(0x11, 0), keyboard(1, 0)],
            id="left-wheel-keyboard-no-simulated",
        ),
    ],
)
def test_start_applies_the_stored_choice_once_mouse_first(
    wine: WineSession, stored: dict | None, expected: list[tuple]
):
    if stored is not None:
        q.store_settings(wine, **stored)
    stand_in = StandIn(wine)

    app = stand_in.start()

    # The dialog shows only once its initialisation is over, and with it every start-up call.
    assert [c.short() for c in stand_in.calls()] == expected
    assert app.status() == ("Mouse Buttons Disabled" if expected[0][1] else "Mouse Buttons Enabled")
    assert stand_in.attached() == 1
    assert_error_variable_discipline(stand_in)


def test_disable_keyboard_keys_whose_hook_fails_keeps_both_shortcuts(wine: WineSession):
    vk_f6, vk_k, mod_control = 0x75, 0x4B, 0x2
    shortcuts = dict(m_bCloseWithKeyboardShortcut=1, m_bDisableEnableKeyboardShortcut=1,
                     m_wKey2=vk_k, m_wMod2=0x2, m_sKeyboardShortcutName2="Ctrl + K")
    q.store_settings(wine, **all_settings(**shortcuts))
    stand_in = StandIn(wine)
    app = stand_in.start()
    stand_in.wait_calls(2)
    assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"
    stand_in.fail("keyboard disable=nonzero")

    app.click(q.KEYBOARD)
    assert app.wait_message_box() == MessageBox(ERROR_CAPTION, KEYBOARD_ERROR, owned=True)
    app.press_message_box()
    # The box shows what is in force, and both shortcuts are as they were: stored, shown and
    # registered.
    app.wait_check(q.KEYBOARD, 0)
    q.wait_settings(wine, m_bDisableKeyboardKeys=0, **shortcuts)
    assert [app.check(b) for b in (q.CLOSE_SHORTCUT, q.DISABLE_ENABLE_SHORTCUT)] == [1, 1]
    assert app.enabled(q.CLOSE_SHORTCUT) and app.enabled(q.DISABLE_ENABLE_SHORTCUT)
    assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == "Ctrl + K to Disable / Enable"
    assert not q.hot_key_free(wine, 0, vk_f6) and not q.hot_key_free(wine, mod_control, vk_k)
    assert [c.short() for c in stand_in.calls()[-2:]] == [mouse(0), keyboard(1, result=0)]
