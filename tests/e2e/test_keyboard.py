"""Real keys against keyboard blocking: while it is on no key of any sort reaches a window;
switched off, keys arrive again."""

from __future__ import annotations

import pytest

import quelvant as q
from harness import HookHost, Message, Probe, WineSession
from input_kinds import keys_through, send_with_marker

# X key names and the virtual keys Wine makes of them. The hook's decision never looks at the
# key (checked natively for every code and flag, the extended flag included): typing keys and
# the modifiers, which the chord's record and Alt's system messages treat apart, stand for all.
KEY_GROUPS = {
    "letters-digits-space": [("a", 0x41), ("z", 0x5A), ("5", 0x35), ("space", 0x20)],
    "modifiers": [("Shift_L", 0x10), ("Control_L", 0x11), ("Alt_L", 0x12), ("Super_L", 0x5B)],
}


# What the keys of a group type into the probe's edit.
TYPED = {"letters-digits-space": "az5 "}


def key_arrived(vk: int, seen: list[Message]) -> bool:
    # Alt and F10 come as system keys.
    return any(m.id in (0x100, 0x104) and m.number("vk") == vk for m in seen) and any(
        m.id in (0x101, 0x105) and m.number("vk") == vk for m in seen
    )


def keys_missing(wine: WineSession, probe: Probe, keys: list[tuple[str, int]]) -> list[str]:
    missing = []
    for name, vk in keys:
        seen = send_with_marker(wine, probe, lambda: wine.xdotool("key", name))
        if not key_arrived(vk, seen):
            missing.append(f"{name} (vk 0x{vk:02X})")
    return missing


@pytest.mark.parametrize("group", KEY_GROUPS)
def test_keyboard_blocking_discards_every_key_until_switched_off(
    wine: WineSession, probe: Probe, host: HookHost, group: str
):
    keys = KEY_GROUPS[group]
    names = [name for name, _ in keys]
    # A pass-everything mouse hook on the same thread keeps the marker click behind the keys.
    assert host.mouse(0x20, 0) == (1, 0)

    assert host.keyboard(1, 0) == 1
    assert keys_through(wine, probe, *names) == []

    assert host.keyboard(0, 0) == 1
    assert keys_missing(wine, probe, keys) == []

    # On again: a second install works like the first.
    assert host.keyboard(1, 0) == 1
    assert keys_through(wine, probe, *names) == []

    # The edit holds what the keys typed while blocking was off, once, and nothing of the two
    # blocked rounds (the modifiers alone type nothing).
    assert q.probe_edit_text(wine, probe) == TYPED.get(group, "")
    wine.screenshot(probe, f"probe-keyboard-{group}")


def test_repeated_keyboard_calls_leave_no_second_hook(
    wine: WineSession, probe: Probe, host: HookHost
):
    assert host.mouse(0x20, 0) == (1, 0)
    assert host.keyboard(1, 0) == 1
    assert host.keyboard(1, 0) == 1
    assert keys_through(wine, probe, "a") == []

    # One call with 0 must remove every keyboard hook this library installed.
    assert host.keyboard(0, 0) == 1
    assert keys_missing(wine, probe, [("a", 0x41), ("F5", 0x74)]) == []
