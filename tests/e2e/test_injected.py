"""Simulated input (SendInput, marked injected) against the pass-injected flag, which the last
call of either export sets for both hooks."""

from __future__ import annotations

import pytest

from harness import HookHost, Message, Probe, WineSession
from input_kinds import LEFT, MIDDLE, MOVE, RIGHT, WHEEL, Kind, key_messages, send_with_marker


def mouse_cases(probe: Probe) -> list[tuple[Kind, list[str], list[str]]]:
    """The kind each filter bit discards, with inject.exe's and xdotool's way to send it.
    The moves go to two points the pointer has not been at: a move to where it already is
    produces no message and would prove nothing."""
    return [
        (LEFT, ["click", "left"], ["click", "1"]),
        (RIGHT, ["click", "right"], ["click", "3"]),
        (MIDDLE, ["click", "middle"], ["click", "2"]),
        (
            MOVE,
            ["moveto", *map(str, probe.point(40, 10))],
            ["mousemove", *map(str, probe.point(-20, -15))],
        ),
        (WHEEL, ["wheel", "1"], ["click", "4"]),
    ]


def arrived(kind: Kind, seen: list[Message]) -> list[str]:
    return [m.name for m in seen if m.id in kind.ids]


def injected_mouse(wine: WineSession, probe: Probe, actions: list[str]) -> list[Message]:
    # The marker goes out in the same SendInput batch, right behind the action.
    return send_with_marker(
        wine, probe, lambda: wine.inject(*actions, "click", "x2"), marker_included=True
    )


def injected_key(wine: WineSession, probe: Probe, vk: int) -> list[Message]:
    return send_with_marker(
        wine, probe, lambda: wine.inject("key", hex(vk), "click", "x2"), marker_included=True
    )


PASS_INJECTED = [pytest.param(0, id="pass-injected-off"), pytest.param(1, id="pass-injected-on")]


@pytest.mark.parametrize("allow", PASS_INJECTED)
def test_simulated_mouse_input_passes_only_with_pass_injected(
    wine: WineSession, probe: Probe, host: HookHost, allow: int
):
    wrong = []
    for kind, simulated, real in mouse_cases(probe):
        assert host.mouse(kind.bit, allow) == (1, 0)

        got = arrived(kind, injected_mouse(wine, probe, simulated))
        if bool(got) != bool(allow):
            wrong.append(f"simulated {kind.name} with pass-injected {allow}: got {got}")

        # Real input carries no injected flag: discarded whatever the flag says.
        got = arrived(kind, send_with_marker(wine, probe, lambda: wine.xdotool(*real)))
        if got:
            wrong.append(f"real {kind.name} with pass-injected {allow}: got {got}")
    assert not wrong, "\n".join(wrong)


@pytest.mark.parametrize("allow", PASS_INJECTED)
def test_simulated_keys_pass_only_with_pass_injected(
    wine: WineSession, probe: Probe, host: HookHost, allow: int
):
    # A pass-everything mouse hook on the same thread keeps the marker click behind the keys.
    assert host.mouse(0x20, allow) == (1, 0)
    assert host.keyboard(1, allow) == 1

    wrong = []
    for vk in (0x41, 0x74, 0x10):  # A, F5, Shift
        got = key_messages(injected_key(wine, probe, vk))
        if allow and not any(f"vk=0x{vk:02X}" in text for text in got):
            wrong.append(f"simulated vk 0x{vk:02X} discarded with pass-injected on")
        if not allow and got:
            wrong.append(f"simulated vk 0x{vk:02X} arrived with pass-injected off: {got}")

    # Real keys reach the hook without LLKHF_INJECTED: discarded even with the flag on.
    got = key_messages(
        send_with_marker(wine, probe, lambda: wine.xdotool("key", "--delay", "20", "b", "F5"))
    )
    if got:
        wrong.append(f"real keys arrived with pass-injected {allow}: {got}")
    assert not wrong, "\n".join(wrong)


def test_mouse_call_clears_pass_injected_for_the_keyboard(
    wine: WineSession, probe: Probe, host: HookHost
):
    assert host.keyboard(1, 1) == 1
    mark = probe.mark()
    wine.inject("key", "0x41")
    probe.wait_for(
        lambda m: m.id == 0x100 and m.number("vk") == 0x41, mark, "the simulated key to pass"
    )

    # Any mouse call sets the one flag both hooks read; this one also installs the hook that
    # keeps the marker click behind the key.
    assert host.mouse(0x20, 0) == (1, 0)
    assert key_messages(injected_key(wine, probe, 0x41)) == []


@pytest.mark.parametrize(
    "keyboard_call",
    [pytest.param((1, 0), id="keyboard-on"), pytest.param((0, 0), id="keyboard-off")],
)
def test_keyboard_call_clears_pass_injected_for_the_mouse(
    wine: WineSession, probe: Probe, host: HookHost, keyboard_call: tuple[int, int]
):
    assert host.mouse(LEFT.bit, 1) == (1, 0)
    assert arrived(LEFT, injected_mouse(wine, probe, ["click", "left"]))

    # Even a call that only removes the keyboard hook sets the flag first.
    assert host.keyboard(*keyboard_call) == 1
    assert arrived(LEFT, injected_mouse(wine, probe, ["click", "left"])) == []


def test_keyboard_call_sets_pass_injected_for_the_mouse(
    wine: WineSession, probe: Probe, host: HookHost
):
    assert host.mouse(LEFT.bit, 0) == (1, 0)
    assert arrived(LEFT, injected_mouse(wine, probe, ["click", "left"])) == []

    assert host.keyboard(0, 1) == 1
    assert arrived(LEFT, injected_mouse(wine, probe, ["click", "left"]))


def test_simulated_touch_and_pen_are_taken_for_the_users_own_hand(
    wine: WineSession, probe: Probe, host: HookHost
):
    # The system marks mouse input made from touch (0x80 set) or pen in dwExtraInfo, and may
    # flag it injected: Allow Simulated must not let it through.
    assert host.mouse(LEFT.bit, 1) == (1, 0)
    wrong = []
    for name, extra, passes in (("touch", "0xFF515780", False), ("pen", "0xFF515700", False),
                                ("look-alike", "0xFF515600", True), ("plain", "0", True)):
        got = arrived(LEFT, injected_mouse(wine, probe, ["extra", extra, "click", "left",
                                                         "extra", "0"]))
        if bool(got) != passes:
            wrong.append(f"simulated left click marked {name} ({extra}): got {got}")
    assert not wrong, "\n".join(wrong)
