"""What is left behind: input, when the process that loaded Helper.dll ends with both hooks
installed; registry values and files, when the program has run."""

from __future__ import annotations

import quelvant as q
from harness import HookHost, Probe, WineSession
from input_kinds import KEY_MESSAGES, LEFT, check_actions, send_with_marker
from runentry import copy_program


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


def registry_snapshot(wine: WineSession) -> dict[tuple[str, str], frozenset[str]]:
    """Every key of the prefix's registry files with its values, without the times Wine
    writes beside each key."""
    keys: dict[tuple[str, str], frozenset[str]] = {}
    for name in ("system.reg", "user.reg", "userdef.reg"):
        key, values = None, []
        lines = (wine.prefix / name).read_text(encoding="utf-8", errors="replace").splitlines()
        for line in [*lines, ""]:
            if line.startswith("["):
                key, values = line[: line.rindex("]") + 1], []
            elif not line.strip() and key is not None:
                keys[(name, key)] = frozenset(values)
                key = None
            elif key is not None and not line.startswith(("#time=", ";")):
                values.append(line)
    return keys


def files_snapshot(wine: WineSession) -> dict[str, tuple[int, int]]:
    """Every file of the prefix outside its registry files: size and modification time."""
    out = {}
    for path in wine.prefix.rglob("*"):
        if path.is_file() and not path.is_symlink() and path.parent != wine.prefix:
            stat = path.stat()
            out[str(path.relative_to(wine.prefix))] = (stat.st_size, stat.st_mtime_ns)
    return out


def end_session_processes(wine: WineSession) -> None:
    """Ends the driver, then the prefix's wineserver, which writes the registry as it goes; the
    next program starts Wine in the prefix anew, as a new session would."""
    if isinstance(wine.driver, q.Driver):
        wine.driver.process.stdin.close()
        wine.driver.process.wait(timeout=60)
        wine.driver = None
    for process in wine.processes:
        process.wait(timeout=60)
    wine.end_server()
    wine.hold_server()


def changed_keys(before: dict, after: dict) -> set:
    return {key for key in before.keys() | after.keys() if before.get(key) != after.get(key)}


def test_the_unpacked_program_writes_nothing_but_its_settings(wine: WineSession, tmp_path):
    # The zip's two files, unpacked into a folder of their own.
    program = copy_program(tmp_path / "Quelvant 1.0")
    # Two sessions of another program first: the first settles what Wine writes at its first
    # start, the second shows what Wine itself rewrites at every start.
    snapshots = []
    for _ in range(2):
        probe = wine.start_probe()
        drive = q.driver_for(wine)
        assert drive(f"use {probe.title}") == "ok"
        assert drive("post 16 0 0") == "ok"  # WM_CLOSE
        end_session_processes(wine)
        snapshots.append(registry_snapshot(wine))
    wine_own = changed_keys(*snapshots)
    registry, files = snapshots[-1], files_snapshot(wine)

    app = q.start(wine, program=program)
    app.set_disable_enable_shortcut(0x300 | 0x4B)  # Ctrl+Shift+K
    for box in (q.CLOSE_SHORTCUT, *q.MOUSE_BOXES, q.AUTO_MINIMIZE, q.ALLOW_INJECTED,
                q.AUDIBLE_ALERTS, q.KEYBOARD):
        before = app.check(box)
        app.click(box)
        app.wait_check(box, 1 - before)
    q.wait_settings(wine, m_bDisableKeyboardKeys=1, m_bAudibleAlerts=0)
    app.close()
    end_session_processes(wine)

    changed = changed_keys(registry, registry_snapshot(wine)) - wine_own
    assert changed == {("user.reg", r"[Software\\AppData\\Quelvant\\Settings]")}, wine_own
    assert files_snapshot(wine) == files
