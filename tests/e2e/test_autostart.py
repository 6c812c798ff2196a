"""Auto start at logon: the real Quelvant.exe's entry in the user's Run list of the test prefix,
written and read back through the real registry, naming real files."""

from __future__ import annotations

import shutil
import subprocess
from pathlib import Path

import pytest

import quelvant as q
from harness import BIN_DIR, WineSession, wait_until, windows_path
from runentry import (
    REG_EXPAND_SZ,
    REG_SZ,
    copy_program,
    key_exists,
    lock_key,
    reg_value,
    set_reg_value,
    start_program,
    utf16z,
)
from speech import install_recording_voice

ENTRY = "Quelvant"
NEIGHBOUR = "Someone Else"
NEIGHBOUR_DATA = utf16z(r"C:\windows\system32\notepad.exe /x")


def program() -> str:
    return windows_path(BIN_DIR / "Quelvant.exe")


def run_entry(wine: WineSession):
    return reg_value(wine, q.RUN_KEY, ENTRY)


def put_neighbour(wine: WineSession) -> None:
    """Another program's entry, which nothing here may touch."""
    set_reg_value(wine, q.RUN_KEY, NEIGHBOUR, REG_SZ, NEIGHBOUR_DATA)


def assert_neighbour_untouched(wine: WineSession) -> None:
    neighbour = reg_value(wine, q.RUN_KEY, NEIGHBOUR)
    assert neighbour is not None and (neighbour.type, neighbour.data) == (REG_SZ, NEIGHBOUR_DATA)


def assert_written_for(wine: WineSession, path: str) -> None:
    """The entry as the program writes it: REG_SZ, the path quoted, " :silent", one NUL."""
    text = f'"{path}" :silent'
    value = run_entry(wine)
    assert value is not None, "no entry"
    assert value.type == REG_SZ
    assert value.data == utf16z(text)
    assert value.size == (len(text) + 1) * 2
    assert q.reg_query(wine, q.RUN_KEY)[ENTRY] == ("REG_SZ", text)


def reg_delete(wine: WineSession, *args: str) -> None:
    q.reg_run(wine, "delete", *args, "/f")


def test_ticking_writes_the_entry_and_clearing_deletes_it(wine: WineSession):
    put_neighbour(wine)
    app = q.start(wine)
    assert app.check(q.AUTO_START) == 0
    assert run_entry(wine) is None

    for _ in range(2):
        app.click(q.AUTO_START)
        app.wait_check(q.AUTO_START, 1)
        assert_written_for(wine, program())
        app.click(q.AUTO_START)
        app.wait_check(q.AUTO_START, 0)
        assert run_entry(wine) is None
        assert_neighbour_untouched(wine)
    assert app.message_box() is None
    app.close()


def test_clearing_without_an_entry_changes_nothing(wine: WineSession):
    put_neighbour(wine)
    set_reg_value(wine, q.RUN_KEY, ENTRY, REG_SZ, utf16z(program() + " :silent"))
    app = q.start(wine)
    assert app.check(q.AUTO_START) == 1

    # The entry goes behind the program's back; clearing the box then finds nothing to delete.
    reg_delete(wine, q.RUN_KEY, "/v", ENTRY)
    before = q.reg_query(wine, q.RUN_KEY)
    app.click(q.AUTO_START)
    app.wait_check(q.AUTO_START, 0)
    assert q.reg_query(wine, q.RUN_KEY) == before
    assert run_entry(wine) is None
    assert_neighbour_untouched(wine)
    assert app.message_box() is None and not app.ended()
    app.close()


def test_a_program_in_a_folder_with_blanks_writes_its_path_quoted(
    wine: WineSession, tmp_path: Path
):
    copy = copy_program(tmp_path / "Program Files" / "Quel vant  1.0")
    app = start_program(wine, copy)
    app.click(q.AUTO_START)
    app.wait_check(q.AUTO_START, 1)
    assert_written_for(wine, windows_path(copy))
    app.close()

    # At the next logon the system runs the entry's text as it stands: the dialog of that very
    # copy appears, as after any start, and reads the entry back as on (the quotes come off,
    # the blank after them is dropped). A program where the path's first blank would cut it
    # is what the quotes guard against: without them the system would start that one.
    shutil.copy(BIN_DIR / "oskstub.exe", tmp_path / "Program.exe")
    started = app.drive.value(f"run {run_entry(wine).text()}")
    assert started, "the entry's command line does not start"
    wait_until(app.visible, what="the dialog started from the Run entry")
    wait_until(lambda: app.status() != "", what="the first status text")
    assert not app.iconic()
    assert app.check(q.AUTO_START) == 1
    app.post(0x0010)  # WM_CLOSE, as the close box sends it
    wait_until(lambda: not app.exists(), what="the dialog to close")


def _other_files(tmp_path: Path) -> dict[str, str]:
    other = tmp_path / "other place" / "Other Program.exe"
    other.parent.mkdir()
    other.write_bytes(b"MZ")
    gone = tmp_path / "Gone.exe"
    gone.write_bytes(b"MZ")
    gone.unlink()
    return {"other": windows_path(other), "gone": windows_path(gone)}


# (type, text or raw bytes, ticked at start); texts get their NUL, {other} names an existing
# file elsewhere, {gone} one that was deleted, {own} the running program. What the real
# registry hands over and the real file system says: the rules for the text itself (the
# silent word, quotes, capitals, the value's type, another program's file quoted or not) are
# the native RunEntry and AutoStart tables' and the fuzzer's.
READ_BACK = {
    "own entry": (REG_SZ, "{own} :silent", 1),
    "expandable string": (REG_EXPAND_SZ, "{other} :silent", 1),
    "text ends at the first NUL": (REG_SZ, "{other} :silent\0junk", 1),
    "deleted file": (REG_SZ, "{gone} :silent", 0),
    "environment reference not expanded": (REG_EXPAND_SZ, r"%QUELVANT_OTHER%\Other Program.exe", 0),
    "empty": (REG_SZ, b"", 0),
    "odd size": (REG_SZ, "{other} :silent\0|x", 0),
    "no closing NUL": (REG_SZ, "{other} :silent|", 0),
}


@pytest.mark.parametrize("case", READ_BACK, ids=list(READ_BACK))
def test_an_entry_at_start_ticks_the_box_only_when_it_names_an_existing_file(
    wine: WineSession, tmp_path: Path, case: str
):
    kind, pattern, ticked = READ_BACK[case]
    files = _other_files(tmp_path)
    if isinstance(pattern, bytes):
        data = pattern
    else:
        text = pattern.format(own=program(), **files)
        # "|" marks raw endings: "|x" one stray byte, "|" no NUL at all.
        if text.endswith("|x"):
            data = utf16z(text[:-2]) + b"x"
        elif text.endswith("|"):
            data = text[:-1].encode("utf-16-le")
        else:
            data = utf16z(text)
    # Were it expanded, the reference would name the existing file.
    wine.env["QUELVANT_OTHER"] = windows_path(tmp_path / "other place")
    set_reg_value(wine, q.RUN_KEY, ENTRY, kind, data)
    stored = run_entry(wine)
    assert stored is not None and (stored.type, stored.data) == (kind, data)

    app = q.start(wine)
    assert app.check(q.AUTO_START) == ticked
    # Reading back never writes: a stale or odd entry stays as it was.
    assert run_entry(wine) == stored
    assert "m_bAutoStartAtLogon" not in q.settings(wine)
    app.close()
    assert run_entry(wine) == stored


def test_a_stale_entry_stays_until_the_box_is_ticked(wine: WineSession, tmp_path: Path):
    gone = _other_files(tmp_path)["gone"]
    set_reg_value(wine, q.RUN_KEY, ENTRY, REG_SZ, utf16z(gone + " :silent"))
    app = q.start(wine)
    assert app.check(q.AUTO_START) == 0
    assert run_entry(wine).text() == gone + " :silent"

    app.click(q.AUTO_START)
    app.wait_check(q.AUTO_START, 1)
    assert_written_for(wine, program())
    app.close()


def test_a_click_on_the_box_saves_no_settings_and_applies_no_blocking(wine: WineSession):
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=1, m_bCheckDisableLeftClick=1)
    app = q.start(wine)
    app.wait_status("Mouse Buttons Disabled")
    # Spoken once the window is drawn.
    assert [e.text for e in recording.wait_spoken(1)] == ["Mouse Buttons Disabled"]
    # Whatever the program stores from now on would bring the key back.
    reg_delete(wine, q.SETTINGS_KEY)
    assert not key_exists(wine, q.SETTINGS_KEY)

    app.click(q.AUTO_START)
    app.wait_check(q.AUTO_START, 1)
    assert run_entry(wine) is not None
    app.click(q.AUTO_START)
    app.wait_check(q.AUTO_START, 0)
    assert run_entry(wine) is None

    assert not key_exists(wine, q.SETTINGS_KEY)
    # Applying the blocking would have announced its outcome again.
    assert recording.spoken() == ["Mouse Buttons Disabled"]
    assert app.status() == "Mouse Buttons Disabled"
    assert app.check(q.LEFT) == 1
    app.close()


def test_reset_removes_the_entry_and_clears_the_box(wine: WineSession):
    put_neighbour(wine)
    set_reg_value(wine, q.RUN_KEY, ENTRY, REG_SZ, utf16z(program() + " :silent"))
    app = q.start(wine)
    assert app.check(q.AUTO_START) == 1

    app.click(q.RESET)
    app.wait_check(q.AUTO_START, 0)
    wait_until(lambda: run_entry(wine) is None, what="the entry to go")
    assert_neighbour_untouched(wine)
    assert app.message_box() is None
    app.close()


def test_a_start_with_the_silent_word_is_an_ordinary_start(wine: WineSession):
    q.store_settings(wine, m_bCheckDisableRightClick=1, m_bAutoMinimize=0)
    set_reg_value(wine, q.RUN_KEY, ENTRY, REG_SZ, utf16z(program() + " :silent"))

    app = q.start(wine, ":silent")
    assert app.visible() and not app.iconic()
    assert app.check(q.RIGHT) == 1
    assert app.status() == "Mouse Buttons Disabled"
    assert app.check(q.AUTO_START) == 1
    # A second start still finds the first, as any start does.
    second = wine.start("Quelvant.exe", ":silent", stdin=subprocess.DEVNULL)
    wait_until(lambda: second.poll() is not None, what="the second start to end")
    assert not app.ended()
    app.close()
    stored = q.settings(wine)
    assert (stored["m_bCheckDisableRightClick"], stored["m_bAutoMinimize"]) == (1, 0)
    assert run_entry(wine).text() == program() + " :silent"


ENABLE_FAILED = "Could not Enable Auto Start at Logon."
DISABLE_FAILED = "Could not Disable Auto Start at Logon."


# How the Run list cannot be changed, whether our entry is in it, the box at start and the
# error of the one click, after which the box shows again what the list holds.
UNCHANGEABLE = {
    "no run list": ("delete", False, 0, ENABLE_FAILED),
    "read-only, no entry": ("lock", False, 0, ENABLE_FAILED),
    "read-only with the entry": ("lock", True, 1, DISABLE_FAILED),
}


@pytest.mark.parametrize("case", UNCHANGEABLE, ids=list(UNCHANGEABLE))
def test_a_run_list_that_cannot_be_changed_is_shown_as_it_is_and_said_so(
    wine: WineSession, case: str
):
    how, with_entry, ticked, text = UNCHANGEABLE[case]
    if with_entry:
        set_reg_value(wine, q.RUN_KEY, ENTRY, REG_SZ, utf16z(program() + " :silent"))
    if how == "delete":
        reg_delete(wine, q.RUN_KEY)
    else:
        lock_key(wine, q.RUN_KEY)
    before = run_entry(wine)
    app = q.start(wine)
    assert app.check(q.AUTO_START) == ticked

    app.click(q.AUTO_START)
    assert app.wait_message_box() == q.MessageBox("Error", text, owned=True)
    app.press_message_box()
    assert app.check(q.AUTO_START) == ticked
    assert run_entry(wine) == before
    assert key_exists(wine, q.RUN_KEY) == (how != "delete")
    app.close()


def _folder_for_program_path(base: Path, length: int) -> Path:
    """A folder under base in which Quelvant.exe has a path of exactly length characters."""
    tail = len("\\Quelvant.exe")
    folder = base
    while True:
        room = length - tail - len(windows_path(folder)) - 1
        if room <= 200:
            assert room > 0
            return folder / ("d" * room)
        folder = folder / ("s" * 150)


# A 251-character path and " :silent" once filled the whole read-back; any length reads back.
@pytest.mark.parametrize("length", [251, 252, 300])
def test_a_long_program_path_is_written_whole_and_reads_back_whole(
    wine: WineSession, tmp_path: Path, length: int
):
    copy = copy_program(_folder_for_program_path(tmp_path, length))
    assert len(windows_path(copy)) == length
    app = start_program(wine, copy)
    app.click(q.AUTO_START)
    app.wait_check(q.AUTO_START, 1)
    assert_written_for(wine, windows_path(copy))
    app.close()

    app = start_program(wine, copy)
    assert app.check(q.AUTO_START) == 1
    app.close()
    assert_written_for(wine, windows_path(copy))
