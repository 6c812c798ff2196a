"""What is left when the process that loaded Helper.dll ends with both hooks installed."""

from __future__ import annotations

from harness import HookHost, Probe, WineSession
from input_kinds import KEY_MESSAGES, LEFT, check_actions, send_with_marker


def test_ending_the_host_with_both_hooks_installed_gives_all_input_back(
    wine: WineSession, probe: Probe, host: HookHost
):
    assert host.mouse(0x1F, 0) == (1, 0)
    assert host.keyboard(1, 0) == 1
    seen = send_with_marker(wine, probe, lambda: wine.xdotool("key", "a", "click", "1"))
    assert [m.name for m in seen if m.id in KEY_MESSAGES | LEFT.ids] == []

    host.quit()

    assert check_actions(wine, probe, discarded=0) == []
    mark = probe.mark()
    wine.xdotool("key", "a")
    probe.wait_for(lambda m: m.name == "WM_KEYUP" and m.number("vk") == 0x41, mark, "key A")
