"""The program under load and under odd stored data: bursts of real input against each
blocking set-up, hooks working behind a modal error box, and damaged registry values."""

from __future__ import annotations

import shutil
import time
from collections import Counter
from pathlib import Path

import pytest

import quelvant as q
from harness import (
    REG_BINARY,
    REG_DWORD,
    REG_SZ,
    Probe,
    WineSession,
    fields,
    poll,
    wait_until,
)
from input_kinds import check_actions, real_click_arrived, send_with_marker
from load import every_core_busy
CLICKS_PER_BUTTON = 500  # left, middle, right and the wheel both ways: 2,500 in all
MOVES = 10_000


def burst(wine: WineSession, probe: Probe) -> dict[str, int]:
    """Sends the whole burst as real X input and counts what reached the probe."""
    mark = probe.mark()
    x, y = probe.point()
    # Moves between two points 20 pixels apart, in chunks that keep xdotool's argument list sane.
    for start in range(0, MOVES, 1000):
        args = []
        for i in range(start, start + 1000):
            args += ["mousemove", str(x + (20 if i % 2 == 0 else 0)), str(y)]
        wine.xdotool(*args)
    wine.xdotool("mousemove", str(x), str(y))
    for button in ("1", "2", "3", "4", "5"):
        # Slower than double-click speed would not matter: a double click is counted as a press.
        wine.xdotool("click", "--repeat", str(CLICKS_PER_BUTTON), "--delay", "2", button)
    seen = send_with_marker(wine, probe, lambda: None)
    counts = {"left": 0, "middle": 0, "right": 0, "wheel_up": 0, "wheel_down": 0, "moves": 0}
    for m in probe.messages(mark):
        if m.id in (0x201, 0x203):
            counts["left"] += 1
        elif m.id in (0x207, 0x209):
            counts["middle"] += 1
        elif m.id in (0x204, 0x206):
            counts["right"] += 1
        elif m.id == 0x20A:
            counts["wheel_up" if m.number("delta") > 0 else "wheel_down"] += 1
        elif m.id == 0x200:
            counts["moves"] += 1
    del seen
    return counts


@pytest.mark.parametrize(
    "boxes, discarded",
    [
        pytest.param((q.LEFT, q.RIGHT, q.MIDDLE, q.MOVES, q.WHEEL), "all", id="0x1F"),
        pytest.param((q.LEFT, q.MIDDLE), "left-middle", id="0x05"),
        pytest.param((), "none", id="released"),
    ],
)
def test_burst_of_real_input_leaks_nothing_and_loses_nothing(wine: WineSession, boxes, discarded):
    app, probe = q.start_with_probe(wine)
    for box in boxes:
        app.click(box)
        app.wait_check(box, 1)
    app.wait_status("Mouse Buttons Disabled" if boxes else "Mouse Buttons Enabled")

    counts = burst(wine, probe)
    blocked = {
        "all": {"left", "middle", "right", "wheel_up", "wheel_down", "moves"},
        "left-middle": {"left", "middle"},
        "none": set(),
    }[discarded]
    for kind, count in counts.items():
        if kind in blocked:
            assert count == 0, f"{kind}: {count} leaked"
        elif kind == "moves":
            # The window's queue merges moves, so only their arrival can be counted on.
            assert count > 0, "no move arrived"
        else:
            assert count == CLICKS_PER_BUTTON, f"{kind}: {count} of {CLICKS_PER_BUTTON} arrived"

    # Still in force afterwards: a final left click is discarded when it was blocked.
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1"))
    left_arrived = any(m.id in (0x201, 0x203) for m in seen)
    assert left_arrived == ("left" not in blocked)
    assert app.status() == ("Mouse Buttons Disabled" if boxes else "Mouse Buttons Enabled")
    app.close()


def test_hooks_keep_working_behind_an_open_error_box(wine: WineSession):
    # A stored shortcut that another program holds makes the start show an error box, after
    # the blocking came into force.
    holder = q.HotKeyHolder(wine, (0x2, 0x51))
    q.store_settings(wine, m_bCheckDisableLeftClick=1, m_bDisableEnableKeyboardShortcut=1,
                     m_wKey2=0x51, m_wMod2=0x2, m_sKeyboardShortcutName2="Ctrl + Q")
    app = q.start(wine, wait_window=False)
    box = app.wait_message_box()
    assert box.owned
    probe = q.probe_beside(app)

    for _ in range(3):
        seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "--repeat", "20",
                                                                  "--delay", "5", "1", "click", "3"))
        assert not any(m.id in (0x201, 0x203) for m in seen), "left click leaked"
        assert any(m.id in (0x204, 0x206) for m in seen), "right click lost"
    assert app.message_box() is not None  # still open all along
    app.press_message_box()
    holder.release()
    app.close()


CLEAN_TYPES = {name: "REG_DWORD" for name in q.SETTING_NAMES}
CLEAN_TYPES["m_sKeyboardShortcutName2"] = "REG_SZ"

# Damaged values, each with the value the program takes from it: (name, type, raw bytes, value
# read). Every other setting is stored clean and unlike its default, so a damaged value that
# were taken at face value, or one that disturbed its neighbours, shows in the boxes, the
# caption, the status or what the next save writes back. Only the rows that depend on how the registry hands the bytes over stay here;
# the rows decided by type and size alone are checked natively on the decoder that the program
# loads its settings through.
DAMAGED = [
    ("bool-long-dword", "m_bCheckDisableRightClick", REG_DWORD, b"\1\0\0\0\0\0\0\0", 0),
    ("name-odd-size", "m_sKeyboardShortcutName2", REG_SZ, b"A\0B\0C", "AB"),
    ("name-without-nul", "m_sKeyboardShortcutName2", REG_SZ, "Ctrl + Z".encode("utf-16-le"),
     "Ctrl + Z"),
    ("name-huge", "m_sKeyboardShortcutName2", REG_SZ, q.utf16z("N" * 100_000), "N" * 100_000),
]

# The clean neighbours: every setting off its default, but nothing that blocks the mouse or
# the keys or registers a hot key, so that the start stays quiet. The left button's box stays
# clear in every row: a damaged value of another setting must not tick it.
NEIGHBOURS: dict[str, int | str] = dict(
    q.DEFAULTS,
    m_bAllowInjected=0,
    m_bAudibleAlerts=0,
    m_sKeyboardShortcutName2="Hand Made",
)
BOX_OF = q.SETTING_BOX

# A string stored without its NUL is not among these: Wine's registry hands such a value back
# with a NUL added, so that rule is checked on the read-back rules natively. Values that the
# type or size alone rule out (a number, a multi-string, an odd size, nothing at all) are rows
# of the native auto-start tables, read back and written over; the odd size and the empty
# string also stay in the auto-start module's read-back table. Kept here: a text longer than
# any first read, and a binary value that the real registry must let the tick replace.
RUN_DAMAGED = [
    ("run-huge", REG_SZ, q.utf16z("C:\\" + "x" * 20_000)),
    ("run-binary", REG_BINARY, b"\xde\xad\xbe\xef"),
]


def assert_clean_store(wine: WineSession) -> None:
    stored = q.reg_query(wine, q.SETTINGS_KEY)
    assert {name: kind for name, (kind, _) in stored.items()} == CLEAN_TYPES


@pytest.mark.parametrize("case", DAMAGED, ids=[c[0] for c in DAMAGED])
def test_damaged_setting_reads_as_its_fallback_and_is_stored_clean(wine: WineSession, case):
    _, name, kind, data, read = case
    q.store_settings(wine, **{k: v for k, v in NEIGHBOURS.items() if k != name})
    q.store_raw(wine, q.SETTINGS_KEY, {name: (kind, data)})
    held = dict(NEIGHBOURS, **{name: read})
    app = q.start(wine)
    shown = {setting: app.check(box) for setting, box in BOX_OF.items()}
    assert shown == {setting: min(held[setting], 1) for setting in BOX_OF}
    name_shown = held["m_sKeyboardShortcutName2"]
    assert app.text(q.DISABLE_ENABLE_SHORTCUT) == (
        f"{name_shown} to Disable / Enable" if name_shown else "Disable / Enable Shortcut")
    blocked = held["m_bCheckDisableMiddleClick"]
    assert app.status() == ("Mouse Buttons Disabled" if blocked else "Mouse Buttons Enabled")
    # The next change stores every value clean, of its right type, as the program holds it.
    app.click(q.AUTO_MINIMIZE)
    expected = dict(held, m_bAutoMinimize=1 - held["m_bAutoMinimize"])
    assert q.wait_settings(wine, **expected) == expected
    assert_clean_store(wine)
    app.close()


def test_settings_key_replaced_by_a_value_starts_on_defaults(wine: WineSession):
    parent = q.SETTINGS_KEY.rsplit("\\", 1)[0]
    q.store_raw(wine, parent, {"Settings": (REG_DWORD, b"\1\0\0\0")})
    app = q.start(wine)
    assert app.check(q.ALLOW_INJECTED) == 1 and app.check(q.LEFT) == 0
    app.click(q.LEFT)
    q.wait_settings(wine, m_bCheckDisableLeftClick=1)
    assert_clean_store(wine)
    app.close()


@pytest.mark.parametrize("case", RUN_DAMAGED, ids=[c[0] for c in RUN_DAMAGED])
def test_odd_run_entry_reads_as_off(wine: WineSession, case):
    _, kind, data = case
    q.store_raw(wine, q.RUN_KEY, {"Quelvant": (kind, data)})
    app = q.start(wine)
    assert app.check(q.AUTO_START) == 0
    # Ticking the box writes a clean entry over it.
    app.click(q.AUTO_START)
    wait_until(lambda: q.reg_query(wine, q.RUN_KEY).get("Quelvant", ("", ""))[0] == "REG_SZ"
               and q.reg_query(wine, q.RUN_KEY)["Quelvant"][1].endswith(" :silent"),
               what="a clean Run entry")
    app.close()


# The hooks live on Helper.dll's own thread: what the dialog's thread does cannot leak input,
# a release held from before blocking is not lost, and a hook dropped from outside comes back.
MK_LBUTTON, MK_CONTROL = 0x01, 0x08
LEFT_IDS, KEY_IDS = (0x201, 0x202, 0x203), (0x100, 0x101, 0x102)


def blocking_left_and_keys(wine: WineSession):
    app, probe = q.start_with_probe(wine)
    for box in (q.LEFT, q.KEYBOARD):
        app.click(box)
        app.wait_check(box, 1)
    app.wait_status("Mouse Buttons Disabled")
    return app, probe, wine.start_hookhost()


def marker_time(probe: Probe, since: int) -> int:
    """When the probe got the release of the marker click (extra button 2) after since."""
    return next(m for m in probe.messages(since)
                if m.id == 0x20C and m.number("xbutton") == 2).number("t")


def test_a_stalled_dialog_thread_leaks_nothing_and_freezes_nothing(wine: WineSession):
    app, probe, host = blocking_left_and_keys(wine)
    mark = probe.mark()
    answer = host.command(f"stall {q.TITLE} 3000")
    assert answer.startswith("stalled "), answer
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1", "key", "a"))
    assert not [m.name for m in seen if m.id in LEFT_IDS + KEY_IDS]
    resumed = wait_until(lambda: next((line for line in host.lines()
                                       if line.startswith("resumed ")), None),
                         what="the end of the stall")
    # The marker came through while the dialog still stood still.
    assert int(fields(answer)["t"]) < marker_time(probe, mark) < int(fields(resumed)["t"])
    assert app.status() == "Mouse Buttons Disabled"


@pytest.mark.parametrize(
    "box, press, release, message, flag",
    [
        pytest.param(q.KEYBOARD, ("keydown", "ctrl"), ("keyup", "ctrl"), 0x201, MK_CONTROL,
                     id="ctrl"),
        pytest.param(q.LEFT, ("mousedown", "1"), ("mouseup", "1"), 0x200, MK_LBUTTON, id="left"),
    ],
)
def test_a_release_held_from_before_blocking_is_not_lost(wine, box, press, release, message, flag):
    app, probe = q.start_with_probe(wine)
    wine.xdotool(*press)
    app.click(box)
    app.wait_check(box, 1)
    wine.xdotool(*release)
    app.click(box)
    app.wait_check(box, 0)
    x, y = probe.point()
    mark = probe.mark()
    wine.xdotool("mousemove", str(x + 5), str(y), "click", "1")
    seen = probe.wait_for(lambda m: m.id == message, mark, f"message {message:#x}")
    assert not seen.number("keys") & flag, seen.params


def test_hooks_dropped_from_outside_come_back_and_the_status_says_so(wine: WineSession):
    app, probe, host = blocking_left_and_keys(wine)
    assert host.command("drop") == "dropped n=2"
    for send, ids, status in (
        (("click", "1"), LEFT_IDS, "Mouse Buttons Disabled Again"),
        (("key", "a"), KEY_IDS, "Keyboard Keys Disabled Again"),
    ):
        wine.xdotool(*send)  # may get through: no hook saw it
        wait_until(lambda: app.status() == status, timeout=3, what=status)
        seen = send_with_marker(wine, probe, lambda: wine.xdotool(*send))
        assert not [m.name for m in seen if m.id in ids], f"after {status!r}"


def test_both_hooks_dropped_at_once_come_back_under_one_text(wine: WineSession):
    app, probe, host = blocking_left_and_keys(wine)
    # The pointer moved while a key was typed. The hook thread stands still meanwhile (less than
    # the watchdog takes for a stall), so that both fall in one interval.
    assert host.command("drop") == "dropped n=2"
    assert host.command("stall - 600").startswith("stalled ")
    wine.xdotool("mousemove", *map(str, probe.point(15, 0)), "key", "a")
    both = "Mouse Buttons and Keyboard Keys Disabled Again"
    wait_until(lambda: app.status() == both, timeout=4, what=both)
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1", "key", "a"))
    assert not [m.name for m in seen if m.id in LEFT_IDS + KEY_IDS]


def test_the_watchdog_stays_quiet_while_the_hooks_are_in_place(wine: WineSession):
    app, probe = q.start_with_probe(wine)
    host = wine.start_hookhost()

    def quiet(status: str, send) -> None:
        for _ in range(6):
            send()
        assert poll(lambda: app.status() != status, 1.5) is None, app.status()

    app.click(q.LEFT)  # mouse-only blocking while the user types
    app.wait_status("Mouse Buttons Disabled")
    quiet("Mouse Buttons Disabled", lambda: wine.xdotool("type", "--delay", "30", "abc"))
    app.click(q.LEFT)
    app.click(q.KEYBOARD)  # keyboard-only blocking while the mouse is used
    app.wait_check(q.KEYBOARD, 1)
    x, y = probe.point()
    quiet("Mouse Buttons Enabled",
          lambda: wine.xdotool("mousemove", str(x + 9), str(y), "click", "3", "mousemove",
                               str(x), str(y)))
    # Helper's own thread stands still past the hook time-out. Wine keeps the hooks; Windows
    # may drop one that waits that long, and then the watchdog puts it back and says so. Either
    # way the blocking holds afterwards.
    app.click(q.LEFT)
    app.wait_status("Mouse Buttons Disabled")
    answer = host.command("stall - 2500")
    assert answer.startswith("stalled "), answer
    wine.xdotool("click", "3")
    wait_until(lambda: any(line.startswith("resumed ") for line in host.lines()),
               what="the end of the stall")
    for _ in range(3):
        assert not real_click_arrived(wine, probe)
    assert app.status() in ("Mouse Buttons Disabled", "Mouse Buttons Disabled Again")


# The release chord is recognised by Helper.dll itself, from the user's own keys only.
CHORD = ("key", "ctrl+alt+shift+q")
CHORD_VKS = ("0xA2", "0xA4", "0xA0", "0x51")  # left Ctrl, Alt, Shift, Q
RELEASED, RESTORED = "All Blocking Released. Press Ctrl+Alt+Shift+Q to Block Again", "Blocking Restored"
MK_SHIFT = 0x04
ALL_KEY_IDS = tuple(range(0x100, 0x10A))


def chord_and_check(wine: WineSession, app, probe: Probe, status: str) -> None:
    """Presses the chord; no Q or character of it arrives, and no modifier stays down."""
    seen = send_with_marker(wine, probe, lambda: wine.xdotool(*CHORD, "click", "6"))
    app.wait_status(status)
    assert not [m.name for m in seen if m.id in ALL_KEY_IDS and m.params.get("vk") == "0x51"]
    assert not [m.name for m in seen if m.id in (0x102, 0x106)], "a character of the chord"
    (hwheel,) = [m for m in seen if m.id == 0x20E]  # never blocked: it shows the modifiers
    assert not hwheel.number("keys") & (MK_CONTROL | MK_SHIFT), hwheel.params


def test_the_release_chord_lets_everything_through_and_blocks_again(wine: WineSession):
    app, probe = q.start_with_probe(wine)
    for box in (q.ALLOW_INJECTED, q.LEFT, q.RIGHT, q.MIDDLE, q.MOVES, q.WHEEL, q.KEYBOARD):
        app.click(box)
        app.wait_check(box, 0 if box == q.ALLOW_INJECTED else 1)
    app.wait_status("Mouse Buttons Disabled")
    for status, discarded in ((RELEASED, 0), (RESTORED, 0x1F)):
        chord_and_check(wine, app, probe, status)
        assert check_actions(wine, probe, discarded) == [], status
        seen = send_with_marker(wine, probe, lambda: wine.xdotool("key", "a"))
        assert bool([m for m in seen if m.id in KEY_IDS]) == (discarded == 0), status
    # Nothing the second chord pressed was left held: the third releases cleanly again.
    chord_and_check(wine, app, probe, RELEASED)
    # A change of the user's ends the release and applies as asked.
    app.click(q.MOVES)
    app.wait_check(q.MOVES, 0)
    app.wait_status("Mouse Buttons Disabled")
    app.assert_back_at_rest()
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1", "key", "a"))
    assert not [m.name for m in seen if m.id in LEFT_IDS + KEY_IDS]
    app.close()


def test_the_release_chord_works_while_the_dialog_thread_stands_still(wine: WineSession):
    app, probe, host = blocking_left_and_keys(wine)
    mark = probe.mark()
    answer = host.command(f"stall {q.TITLE} 4000")
    assert answer.startswith("stalled "), answer
    seen = send_with_marker(wine, probe, lambda: wine.xdotool(*CHORD, "click", "1", "key", "a"))
    assert [m for m in seen if m.id in LEFT_IDS] and [m for m in seen if m.id in KEY_IDS]
    resumed = wait_until(lambda: next((line for line in host.lines()
                                       if line.startswith("resumed ")), None),
                         what="the end of the stall")
    # Through while the dialog still stood still.
    assert int(fields(answer)["t"]) < marker_time(probe, mark) < int(fields(resumed)["t"])
    app.wait_status(RELEASED)


def test_with_mouse_only_blocking_the_chord_works_while_the_dialog_thread_stands_still(
        wine: WineSession):
    app, probe = q.start_with_probe(wine)
    app.click(q.LEFT)
    app.wait_status("Mouse Buttons Disabled")
    host = wine.start_hookhost()
    answer = host.command(f"stall {q.TITLE} 6000")
    assert answer.startswith("stalled "), answer
    marks = []
    for let_through in (True, False):
        marks.append(probe.mark())
        seen = send_with_marker(wine, probe,
                                lambda: wine.xdotool(*CHORD, "click", "1", "key", "a"))
        assert bool([m for m in seen if m.id in LEFT_IDS]) == let_through
        assert [m for m in seen if m.id in KEY_IDS], "keys are not blocked"
        assert not [m.name for m in seen if m.id in ALL_KEY_IDS and m.params.get("vk") == "0x51"]
    resumed = wait_until(lambda: next((line for line in host.lines()
                                       if line.startswith("resumed ")), None),
                         what="the end of the stall")
    # Both chords acted while the dialog still stood still; it follows once it runs again.
    assert (int(fields(answer)["t"]) < marker_time(probe, marks[0]) < marker_time(probe, marks[1])
            < int(fields(resumed)["t"]))
    app.wait_status(RESTORED)


def seam_program(wine: WineSession) -> Path:
    """A copy of Quelvant.exe beside the test build of Helper.dll, whose watchdog a test can make
    suspect a hook that is in place."""
    folder = wine.root / "seam"
    folder.mkdir()
    for source in (q.BIN_DIR / "Quelvant.exe", q.BIN_DIR / "seam" / "Helper.dll"):
        shutil.copy2(source, folder / source.name)
    return folder / "Quelvant.exe"


def test_a_suspicion_that_removing_the_old_hook_disproves_is_not_announced(wine: WineSession):
    app, probe = q.start_with_probe(wine, program=seam_program(wine))
    app.click(q.LEFT)
    app.wait_status("Mouse Buttons Disabled")
    host = wine.start_hookhost()
    # Both hooks in place (the keyboard one watches for the chord): installed anew in silence.
    assert host.command("suspect 3") == "suspected reinstalled=3 announced=0"
    assert poll(lambda: app.status() != "Mouse Buttons Disabled", 1.5) is None, app.status()
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1"))
    assert not [m.name for m in seen if m.id in LEFT_IDS]
    # The old hooks went (two in force, not four); a hook really gone is proved and announced.
    assert host.command("drop") == "dropped n=2"
    assert host.command("suspect 1") == "suspected reinstalled=1 announced=1"
    app.wait_status("Mouse Buttons Disabled Again")
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1"))
    assert not [m.name for m in seen if m.id in LEFT_IDS]


def test_a_simulated_release_chord_changes_nothing(wine: WineSession):
    app, probe, host = blocking_left_and_keys(wine)  # simulated keys pass: Allow Simulated
    keys = [a for vk in CHORD_VKS for a in ("keydown", vk)]
    keys += [a for vk in reversed(CHORD_VKS) for a in ("keyup", vk)]
    send_with_marker(wine, probe, lambda: wine.inject(*keys, "click", "x2"), marker_included=True)
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1", "key", "a"))
    assert not [m.name for m in seen if m.id in LEFT_IDS + KEY_IDS]
    assert app.status() == "Mouse Buttons Disabled"


LOAD_SECONDS = 15
# One round of mixed real input after a move: right and left click, a key, the wheel both ways.
ROUND = ["click", "3", "click", "1", "key", "a", "click", "4", "click", "5", "sleep", "0.01"]


def test_under_load_on_every_core_blocking_holds_without_false_alarms(wine: WineSession):
    app, probe, host = blocking_left_and_keys(wine)
    # Read from outside the process: the hooks' thread is time-critical, the dialog's normal.
    assert host.command("priority -") == "priority=15"
    assert host.command(f"priority {q.TITLE}") == "priority=0"
    x, y = probe.point()
    rounds = 0

    def send() -> None:
        nonlocal rounds
        deadline = time.monotonic() + LOAD_SECONDS
        while time.monotonic() < deadline:
            wine.xdotool(*[arg for i in range(20)
                           for arg in ("mousemove", str(x + 12 * (i % 2)), str(y), *ROUND)])
            rounds += 20

    with every_core_busy():
        seen = send_with_marker(wine, probe, send)
        ids = Counter((m.id, m.number("delta") > 0) if m.id == 0x20A else m.id for m in seen)
        assert not [m.name for m in seen if m.id in LEFT_IDS + KEY_IDS]
        assert (ids[0x204] + ids[0x206], ids[0x20A, True], ids[0x20A, False]) == (rounds,) * 3, ids
        assert ids[0x200] > 0, "no move arrived"
        # Any watchdog alarm would have replaced this text: Wine never drops a hook.
        assert app.status() == "Mouse Buttons Disabled"
        seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1", "key", "a"))
        assert not [m.name for m in seen if m.id in LEFT_IDS + KEY_IDS]
