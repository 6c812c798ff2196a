"""The kinds of mouse input, the messages each produces, and the filter bit that discards it."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Callable

from harness import Message, Probe, WineSession, header_number, header_numbers, wait_until

# The filter bits of the mouse filter word, from the hook library's own header.
_DECISION_H = "hooklib/HookDecision.h"
_BITS = header_numbers(_DECISION_H)


def _bit(name: str) -> int:
    return header_number(_BITS, name, _DECISION_H)


@dataclass(frozen=True)
class Kind:
    name: str
    bit: int  # 0: no filter bit names this kind
    ids: frozenset[int]


LEFT = Kind("left", _bit("MOUSE_FILTER_LEFT"), frozenset({0x201, 0x202, 0x203}))
RIGHT = Kind("right", _bit("MOUSE_FILTER_RIGHT"), frozenset({0x204, 0x205, 0x206}))
MIDDLE = Kind("middle", _bit("MOUSE_FILTER_MIDDLE"), frozenset({0x207, 0x208, 0x209}))
MOVE = Kind("move", _bit("MOUSE_FILTER_MOVE"), frozenset({0x200}))
WHEEL = Kind("wheel", _bit("MOUSE_FILTER_WHEEL"), frozenset({0x20A}))
HWHEEL = Kind("hwheel", 0, frozenset({0x20E}))
XBUTTON = Kind("xbutton", 0, frozenset({0x20B, 0x20C, 0x20D}))
KINDS = (LEFT, RIGHT, MIDDLE, MOVE, WHEEL, HWHEEL, XBUTTON)

# WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYUP.
KEY_MESSAGES = frozenset({0x100, 0x101, 0x102, 0x104, 0x105})


def discarded_ids(filter_word: int) -> frozenset[int]:
    """Every message id a filter word discards."""
    return frozenset().union(*(k.ids for k in KINDS if k.bit & filter_word))


Check = Callable[[Probe, list[Message]], bool]


def button_arrived(down: int, up: int) -> Check:
    # A press comes as a double click if the same button went down just before.
    return lambda probe, seen: any(m.id in (down, down + 2) for m in seen) and any(
        m.id == up for m in seen
    )


def double_click_arrived(dblclk: int) -> Check:
    return lambda probe, seen: any(m.id == dblclk for m in seen)


def wheel_arrived(msg: int, delta: int) -> Check:
    return lambda probe, seen: any(m.id == msg and m.number("delta") == delta for m in seen)


def xbutton_arrived(number: int) -> Check:
    return lambda probe, seen: any(
        m.id in (0x20B, 0x20D) and m.number("xbutton") == number for m in seen
    ) and any(m.id == 0x20C and m.number("xbutton") == number for m in seen)


def move_arrived(dx: int, dy: int) -> Check:
    """A move to the point dx,dy off the centre of the client area (client coordinates)."""

    def check(probe: Probe, seen: list[Message]) -> bool:
        target = (probe.client.w // 2 + dx, probe.client.h // 2 + dy)
        return any(m.id == 0x200 and (m.number("x"), m.number("y")) == target for m in seen)

    return check


@dataclass(frozen=True)
class Action:
    """One piece of real X input sent with xdotool, and how to see that it arrived."""

    name: str
    kind: Kind
    args: Callable[[Probe], list[str]]
    arrived: Check
    # Extra button (1 or 2) the action itself clicks: the marker after it must be the other.
    xbutton: int = 0


def _click(button: int, repeat: int = 1) -> Callable[[Probe], list[str]]:
    args = ["click", "--repeat", str(repeat), "--delay", "40", str(button)]
    return lambda probe: args


def _move(dx: int, dy: int) -> Action:
    return Action(
        f"move to centre{dx:+d}{dy:+d}",
        MOVE,
        lambda probe: ["mousemove", *map(str, probe.point(dx, dy))],
        move_arrived(dx, dy),
    )


# Buttons as X numbers them: 1 left, 2 middle, 3 right, 4/5 wheel, 6/7 horizontal wheel,
# 8/9 extra buttons. The two moves go away from the centre and back, so each is a real move.
ACTIONS = (
    Action("left click", LEFT, _click(1), button_arrived(0x201, 0x202)),
    Action("left double click", LEFT, _click(1, 2), double_click_arrived(0x203)),
    Action("right click", RIGHT, _click(3), button_arrived(0x204, 0x205)),
    Action("right double click", RIGHT, _click(3, 2), double_click_arrived(0x206)),
    Action("middle click", MIDDLE, _click(2), button_arrived(0x207, 0x208)),
    Action("middle double click", MIDDLE, _click(2, 2), double_click_arrived(0x209)),
    _move(30, 20),
    _move(0, 0),
    Action("wheel forward", WHEEL, _click(4), wheel_arrived(0x20A, 120)),
    Action("wheel back", WHEEL, _click(5), wheel_arrived(0x20A, -120)),
    Action("wheel left", HWHEEL, _click(6), wheel_arrived(0x20E, -120)),
    Action("wheel right", HWHEEL, _click(7), wheel_arrived(0x20E, 120)),
    Action("extra button 1", XBUTTON, _click(8), xbutton_arrived(1), xbutton=1),
    Action("extra button 2", XBUTTON, _click(9), xbutton_arrived(2), xbutton=2),
)


def _marker_index(probe: Probe, since: int, xbutton: int) -> int | None:
    for index, message in enumerate(probe.messages(since)):
        if message.id == 0x20C and message.number("xbutton") == xbutton:
            return index
    return None


def send_with_marker(
    wine: WineSession,
    probe: Probe,
    send: Callable[[], None],
    marker: int = 2,
    marker_included: bool = False,
) -> list[Message]:
    """Sends some input, then a click of extra button `marker` (which no filter word
    discards), and returns what the probe got before that click's release.

    Input passes the hook thread in the order it was sent, so once the marker is in, whatever
    came before it has either arrived or been discarded: absence is then proof, not a race.
    That holds only while the marker goes through a hook on the same thread as the input
    before it, so keyboard tests keep a pass-everything mouse hook installed.

    marker_included: `send` clicks the marker itself (injected input sends it in one batch).
    """
    mark = probe.mark()
    send()
    if not marker_included:
        wine.xdotool("click", "8" if marker == 1 else "9")
    (end,) = wait_until(
        lambda: (i,) if (i := _marker_index(probe, mark, marker)) is not None else None,
        what=f"the marker click of extra button {marker}",
    )
    # The marker's own press is not part of what was sent.
    return [
        m
        for m in probe.messages(mark)[:end]
        if not (m.id in (0x20B, 0x20D) and m.number("xbutton") == marker)
    ]


def key_messages(seen: list[Message]) -> list[str]:
    """The key messages among what arrived, named with their virtual keys."""
    return [f"{m.name} vk={m.params.get('vk')}" for m in seen if m.id in KEY_MESSAGES]


def keys_through(wine: WineSession, probe: Probe, *names: str) -> list[str]:
    """Sends real keys, then a marker click; returns the key messages that got through."""
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("key", "--delay", "20", *names))
    return key_messages(seen)


def real_click_arrived(wine: WineSession, probe: Probe) -> bool:
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("click", "1"))
    return any(m.id in LEFT.ids for m in seen)


def check_actions(wine: WineSession, probe: Probe, discarded: int) -> list[str]:
    """Sends every action with real X input; returns what went against the filter word
    `discarded`: a kind it names that arrived, or any other kind that did not."""
    wrong = []
    for action in ACTIONS:
        seen = send_with_marker(
            wine,
            probe,
            lambda: wine.xdotool(*action.args(probe)),
            marker=1 if action.xbutton == 2 else 2,
        )
        if action.kind.bit & discarded:
            leaked = [m.name for m in seen if m.id in action.kind.ids]
            if leaked:
                wrong.append(f"{action.name}: discarded kind arrived as {leaked}")
        elif not action.arrived(probe, seen):
            wrong.append(f"{action.name}: did not arrive, got {[m.name for m in seen]}")
    return wrong
