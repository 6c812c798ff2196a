"""Real pointer, button and wheel input against the mouse filter word: the kinds a word names
never reach a window, every other kind does."""

from __future__ import annotations

import pytest

from harness import HookHost, Probe, WineSession
from input_kinds import check_actions, discarded_ids

# Preset into the caller's error variable: a successful call must leave it alone.
UNTOUCHED = 0xC0FFEE


# Each kind alone, and unnamed bits carried through the export. Every other word (all five, an
# unnamed bit alone, zero) is decided by the same rule, checked natively for every filter; the
# five together also meet real input in the reliability burst, zero after a repeat below.
@pytest.mark.parametrize(
    "filter_word",
    [
        pytest.param(0x01, id="left"),
        pytest.param(0x02, id="right"),
        pytest.param(0x04, id="middle"),
        pytest.param(0x08, id="move"),
        pytest.param(0x10, id="wheel"),
        pytest.param(0xFFE4, id="middle-with-unnamed-bits"),
    ],
)
def test_filter_word_discards_exactly_the_kinds_it_names(
    wine: WineSession, probe: Probe, host: HookHost, filter_word: int
):
    assert host.mouse(filter_word, 0, UNTOUCHED) == (1, UNTOUCHED)
    first = probe.mark()

    wrong = check_actions(wine, probe, filter_word)

    # Nothing of a discarded kind came at any time, the markers' own way included.
    stray = [m.name for m in probe.messages(first) if m.id in discarded_ids(filter_word)]
    assert not wrong and not stray, "\n".join(wrong + [f"stray: {stray}"])


@pytest.mark.parametrize(
    "words, discarded",
    [
        pytest.param([0x01, 0x01, 0x00], 0x00, id="repeat-then-zero-removes-all"),
        pytest.param([0x01, 0x02], 0x02, id="second-word-replaces-first"),
        pytest.param([0x1F, 0x20], 0x00, id="unnamed-bit-replaces-blocking"),
    ],
)
def test_the_last_mouse_call_alone_decides(
    wine: WineSession, probe: Probe, host: HookHost, words: list[int], discarded: int
):
    # An earlier word must not live on, neither in a hook nor in the filter. (Hooks stacked by
    # repeated calls would all read the one filter word, so how many there are cannot be seen
    # from outside the process.)
    for word in words:
        assert host.mouse(word, 0, UNTOUCHED) == (1, UNTOUCHED)

    wrong = check_actions(wine, probe, discarded)

    assert not wrong, "\n".join(wrong)
