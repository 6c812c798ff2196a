"""Spoken alerts of the real Quelvant.exe, heard through the recording voice that stands in for
the system's speech voice in each test's prefix, and through the stand-in screen readers that
speak in its place when one runs (see speech.py). The speaker starts once the window is drawn,
so the first announcements are awaited, never assumed."""

from __future__ import annotations

import re
import subprocess

import pytest

import quelvant as q
from harness import WineSession, wait_until
from speech import (SPF_ASYNC, Recording, install_recording_voice, install_standin_annotations,
                    start_standin_reader)

DISABLED = "Mouse Buttons Disabled"
ENABLED = "Mouse Buttons Enabled"
F6, F7, F8, F9 = range(0x75, 0x79)
# Wine's own voice reports each Speak call as a fixme: voice, text, flags, stream number.
SPEAK_STUB = re.compile(r"fixme:sapi:spvoice_Speak \((\w+), \w+, (0x[0-9a-f]+), (\w+)\)")


def spoken_after(recording: Recording, before: int, count: int) -> list[str]:
    """Waits for count more spoken texts after the first `before` and returns them."""
    return [e.text for e in recording.wait_spoken(before + count)[before:]]


def test_ticking_a_mouse_box_speaks_the_outcome_in_the_background(wine: WineSession):
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=1)
    app = q.start(wine)
    assert spoken_after(recording, 0, 1) == [ENABLED]

    steps = [(q.LEFT, DISABLED), (q.WHEEL, DISABLED), (q.LEFT, DISABLED), (q.WHEEL, ENABLED)]
    for box, outcome in steps:
        before = len(recording.of("speak"))
        app.click(box)
        assert spoken_after(recording, before, 1) == [outcome]
        app.wait_status(outcome)

    speeches = recording.of("speak")
    assert [e.text for e in speeches] == [ENABLED] + [outcome for _, outcome in steps]
    # Asynchronous only: no purge, no waiting, and no stream number asked for.
    assert all(e.flags == SPF_ASYNC and not e.stream for e in speeches)
    app.close()


def test_keyboard_blocking_speaks_the_way_out_each_time_it_comes_into_force(wine: WineSession):
    hint = "Keyboard Keys Disabled. Press Ctrl+Alt+Shift+Q to release all blocking"
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=1)
    app, _ = q.start_with_probe(wine)
    assert spoken_after(recording, 0, 1) == [ENABLED]
    # Said when keys become blocked, not at every change while they stay blocked.
    steps = [(q.KEYBOARD, [ENABLED, hint]), (q.LEFT, [DISABLED]), (q.KEYBOARD, [DISABLED]),
             (q.KEYBOARD, [DISABLED, hint])]
    for box, texts in steps:
        before = len(recording.of("speak"))
        app.click(box)
        assert spoken_after(recording, before, len(texts)) == texts
    for text in ("All Blocking Released. Press Ctrl+Alt+Shift+Q to Block Again",
                 "Blocking Restored"):
        before = len(recording.of("speak"))
        wine.xdotool("key", "ctrl+alt+shift+q")
        assert spoken_after(recording, before, 1) == [text]
    app.close()


# Each combination held by another program before the start pushes the close key further.
@pytest.mark.parametrize(
    "held, key",
    [
        ((), "F6"),
        ((F6,), "F7"),
        ((F6, F7, F9), "F8"),
    ],
    ids=["F6 free", "F6 held", "F6 F7 F9 held"],
)
def test_start_with_the_close_shortcut_speaks_the_key_really_chosen(
    wine: WineSession, held: tuple[int, ...], key: str
):
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=1, m_bCloseWithKeyboardShortcut=1)
    holder = q.HotKeyHolder(wine, *((0, vk) for vk in held)) if held else None
    try:
        if holder is not None:
            assert all(holder.held.values()), f"could not hold {holder.held}"
        app = q.start(wine)
        assert app.text(q.CLOSE_SHORTCUT) == f"{key} to Close"
        # The close key is set up before the first blocking is applied.
        assert spoken_after(recording, 0, 2) == [f"{key} to Close Quelvant", ENABLED]
        assert all(e.flags == SPF_ASYNC for e in recording.of("speak"))
        app.close()
    finally:
        if holder is not None:
            holder.release()


def test_ticking_the_close_shortcut_speaks_it_and_clearing_it_speaks_nothing(wine: WineSession):
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=1)
    app = q.start(wine)
    assert spoken_after(recording, 0, 1) == [ENABLED]

    app.click(q.CLOSE_SHORTCUT)
    assert spoken_after(recording, 1, 1) == ["F6 to Close Quelvant"]
    app.click(q.CLOSE_SHORTCUT)
    wait_until(lambda: app.text(q.CLOSE_SHORTCUT) == "Close Shortcut", what="the plain caption")
    # The next announcement shows that clearing the box added nothing in between.
    app.click(q.MIDDLE)
    app.wait_status(DISABLED)
    recording.wait_spoken(3)
    assert recording.spoken() == [ENABLED, "F6 to Close Quelvant", DISABLED]
    app.close()


def test_with_alerts_off_nothing_is_spoken_however_many_announcements_pass(wine: WineSession):
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=0, m_bCloseWithKeyboardShortcut=1)
    app = q.start(wine)
    assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"
    # The voice is made at the start although alerts are off.
    recording.wait_event("create")
    assert [e.kind for e in recording.events()] == ["create"]

    for box in (q.LEFT, q.RIGHT, q.LEFT, q.RIGHT, q.MOVES, q.MOVES):
        expected = 1 - app.check(box)
        app.click(box)
        app.wait_check(box, expected)
    app.click(q.CLOSE_SHORTCUT)
    app.wait_check(q.CLOSE_SHORTCUT, 0)
    app.click(q.CLOSE_SHORTCUT)
    wait_until(lambda: app.text(q.CLOSE_SHORTCUT) == "F6 to Close", what="the close key again")
    app.wait_status(ENABLED)

    # Switching alerts on: the very next announcement is the first thing ever spoken.
    app.click(q.AUDIBLE_ALERTS)
    app.wait_check(q.AUDIBLE_ALERTS, 1)
    app.click(q.WHEEL)
    app.wait_status(DISABLED)
    assert spoken_after(recording, 0, 1) == [DISABLED]
    # The voice was made at the start all the same, and is the one that spoke.
    [created] = recording.of("create")
    assert recording.of("speak")[0].voice == created.voice

    # And off again: silence once more.
    app.click(q.AUDIBLE_ALERTS)
    app.wait_check(q.AUDIBLE_ALERTS, 0)
    app.click(q.WHEEL)
    app.wait_status(ENABLED)
    app.click(q.AUDIBLE_ALERTS)
    app.wait_check(q.AUDIBLE_ALERTS, 1)
    app.click(q.MIDDLE)
    assert spoken_after(recording, 1, 1) == [DISABLED]
    assert recording.spoken() == [DISABLED, DISABLED]
    app.close()


def test_two_announcements_in_quick_succession_are_both_queued_in_order(wine: WineSession):
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=1)
    app = q.start(wine)
    assert spoken_after(recording, 0, 1) == [ENABLED]

    # Both clicks are posted before the first is handled.
    app.click(q.LEFT)
    app.click(q.LEFT)
    speeches = recording.wait_spoken(3)
    assert [e.text for e in speeches] == [ENABLED, DISABLED, ENABLED]
    # No purge flag: the second text queues behind the first instead of cutting it off.
    assert [e.flags for e in speeches] == [SPF_ASYNC] * 3
    app.close()


def test_the_voice_is_created_once_at_start_reused_and_released_at_the_end(wine: WineSession):
    recording = install_recording_voice(wine)
    q.store_settings(wine, m_bAudibleAlerts=1, m_bCloseWithKeyboardShortcut=1)
    app = q.start(wine)
    for box in (q.RIGHT, q.MIDDLE, q.RIGHT, q.MIDDLE):
        app.click(box)
    recording.wait_spoken(6)
    app.close()

    events = recording.events()
    [created] = [e for e in events if e.kind == "create"]
    assert events[0] == created
    assert [e.voice for e in events if e.kind == "speak"] == [created.voice] * 6
    # The program lets go of its one voice when it ends, and never made another.
    assert [(e.kind, e.voice) for e in events[-1:]] == [("destroy", created.voice)]
    assert not recording.of("refuse")


# Installed voices as (token key name, Language attribute).
EN_US, EN_GB = ("VoiceEnUs", "409;9"), ("VoiceEnGb", "809")
DE, FI = ("VoiceDe", "407"), ("VoiceFi", "40B")
# The language of the texts a display language gets: its own table, else English.
TEXTS_FILE = {"en_US.UTF-8": "en-US.rc", "de_DE.UTF-8": "de.rc", "fi_FI.UTF-8": "en-US.rc"}


# The first voice listed is the user's default; None: the default speaks, nothing is set.
@pytest.mark.parametrize(
    "lang, voices, chosen",
    [
        ("en_US.UTF-8", (EN_GB, EN_US, DE), None),
        ("en_US.UTF-8", (DE, EN_GB, EN_US), "VoiceEnUs"),
        ("en_US.UTF-8", (DE, EN_GB), "VoiceEnGb"),
        ("en_US.UTF-8", (DE,), None),
        ("fi_FI.UTF-8", (FI, EN_US), "VoiceEnUs"),
        ("de_DE.UTF-8", (EN_US, DE), "VoiceDe"),
    ],
    ids=["default of the language", "exact over region", "another region", "none of the language",
         "finnish display", "german"],
)
def test_the_voice_speaks_the_language_of_the_texts(
    wine: WineSession, lang: str, voices: tuple[tuple[str, str], ...], chosen: str | None
):
    recording = install_recording_voice(wine, voices=voices)
    q.store_settings(wine, m_bAudibleAlerts=1)
    # Wine takes the UI language from LC_ALL even where the host has no such locale; LANG
    # alone needs the locale installed.
    wine.env["LC_ALL"] = lang
    app = q.start(wine)
    # Said in the language of the texts, whichever voice says it.
    [first] = recording.wait_spoken(1)[:1]
    assert first.text == q.string_table(f"res/lang/{TEXTS_FILE[lang]}")["IDS_MOUSE_ENABLED"]
    app.close()

    events = recording.events()
    [created] = recording.of("create")
    # The voice is chosen once, when it is made, before it says anything.
    assert [(e.kind, e.voice, e.token) for e in events if e.kind in ("create", "set")] == [
        ("create", created.voice, "")] + ([("set", created.voice, chosen)] if chosen else [])
    kinds = [e.kind for e in events]
    assert kinds.index("speak") > kinds.index("set" if chosen else "create")


@pytest.mark.parametrize("refusals", [1, 2, 3])
def test_a_voice_that_cannot_be_created_is_tried_again_at_each_real_announcement(
    wine: WineSession, refusals: int
):
    recording = install_recording_voice(wine, refuse=refusals)
    q.store_settings(wine, m_bAudibleAlerts=0)
    app = q.start(wine)
    # The start tried once and failed.
    recording.wait_event("refuse")
    assert [e.kind for e in recording.events()] == ["refuse"]

    # Announcements with alerts off do not try again.
    app.click(q.LEFT)
    app.wait_status(DISABLED)
    app.click(q.LEFT)
    app.wait_status(ENABLED)
    assert [e.kind for e in recording.events()] == ["refuse"]

    app.click(q.AUDIBLE_ALERTS)
    app.wait_check(q.AUDIBLE_ALERTS, 1)
    # Each announcement now tries; refused ones stay silent, the status line still shows them.
    outcomes = []
    for _ in range(refusals):
        outcome = DISABLED if app.check(q.RIGHT) == 0 else ENABLED
        app.click(q.RIGHT)
        app.wait_status(outcome)
        outcomes.append(outcome)
    assert not app.ended() and app.message_box() is None

    recording.wait_spoken(1)
    kinds = [e.kind for e in recording.events()]
    assert kinds == ["refuse"] * refusals + ["create", "speak"]
    # The creation that worked spoke the last of the announcements; the next reuses it.
    assert recording.spoken() == outcomes[-1:]
    app.click(q.RIGHT)
    app.wait_status(ENABLED if outcomes[-1] == DISABLED else DISABLED)
    recording.wait_spoken(2)
    assert [e.kind for e in recording.events()] == kinds + ["speak"]
    assert len({e.voice for e in recording.of("speak")}) == 1
    app.close()


def test_under_wines_own_voice_the_program_goes_on_silently(wine: WineSession):
    """Wine's SpVoice is created but answers Speak with E_NOTIMPL (Wine reports that as a
    fixme of its sapi channel): the program must not mind."""
    q.store_settings(wine, m_bAudibleAlerts=1, m_bCloseWithKeyboardShortcut=1)
    wine.env["WINEDEBUG"] = "-all,fixme+sapi"
    log = wine.root / "quelvant.err"
    with log.open("w") as sink:
        process = wine.start("Quelvant.exe", stdin=subprocess.DEVNULL, stderr=sink)
    app = q.Quelvant(wine, q.driver_for(wine), process)
    wait_until(app.visible, what="the Quelvant dialog")
    app.wait_status(ENABLED)
    assert app.text(q.CLOSE_SHORTCUT) == "F6 to Close"

    for box, outcome in ((q.LEFT, DISABLED), (q.LEFT, ENABLED), (q.WHEEL, DISABLED)):
        app.click(box)
        app.wait_status(outcome)
    assert app.message_box() is None and not app.ended()

    def speak_calls() -> list[tuple[str, str, str]]:
        return SPEAK_STUB.findall(log.read_text(encoding="utf-8", errors="replace"))

    def five_calls() -> list[tuple[str, str, str]] | None:
        calls = speak_calls()
        return calls if len(calls) >= 5 else None

    # Wine's voice was really asked each time, the close key and four outcomes, one voice
    # throughout, asynchronously and without a stream number.
    calls = wait_until(five_calls, what="Wine's voice to be asked to speak")
    app.close()
    assert len(speak_calls()) == 5
    assert {voice for voice, _, _ in calls} == {calls[0][0]}
    assert {(flags, stream) for _, flags, stream in calls} == {("0x1", "0000000000000000")}
    assert q.settings(wine)["m_bCheckDisableMouseWheel"] == 1


START_TEXTS = ["F6 to Close Quelvant", ENABLED]


# reader, how it is set up, what it answers; then what it records and what the voice says of
# the start's two announcements and one click's.
@pytest.mark.parametrize(
    "reader, setup, mode, heard_by_reader, heard_by_voice",
    [
        ("nvda", "current", "take", 3, 0),
        ("nvda", "older", "take", 3, 0),
        ("jaws", "registered", "take", 3, 0),
        ("nvda", "current", "refuse", 3, 3),
        ("jaws", "registered", "refuse", 3, 3),
        ("jaws", "registered", "fail", 3, 3),
        # The connection breaks in the middle of the first call; the reader is gone after it.
        ("nvda", "current", "crash", 1, 3),
        # A reader's window with nothing behind it.
        ("nvda", "none", "take", 0, 3),
        ("jaws", "unregistered", "take", 0, 3),
    ],
    ids=["nvda", "nvda older endpoint", "jaws", "nvda refuses", "jaws refuses", "jaws fails",
         "nvda breaks off", "nvda window without server", "jaws window without object"],
)
def test_a_running_screen_reader_speaks_in_place_of_the_voice_else_the_voice_says_the_same(
    wine: WineSession, reader: str, setup: str, mode: str, heard_by_reader: int,
    heard_by_voice: int
):
    recording = install_recording_voice(wine)
    standin = start_standin_reader(wine, reader, endpoint=setup, mode=mode,
                                   registered=setup == "registered")
    q.store_settings(wine, m_bAudibleAlerts=1, m_bCloseWithKeyboardShortcut=1)
    app = q.start(wine)
    texts = START_TEXTS + [DISABLED]
    # Only once the start's two are through does the click come: the crash case's reader must
    # be gone by then.
    if heard_by_voice:
        spoken_after(recording, 0, 2)
    else:
        standin.wait_spoken(2)
    app.click(q.LEFT)
    app.wait_status(DISABLED)
    if heard_by_voice:
        assert spoken_after(recording, 0, 3) == texts
    if heard_by_reader:
        assert standin.wait_spoken(heard_by_reader)[:3] == texts[:heard_by_reader]
    assert not app.ended() and app.message_box() is None
    app.close()
    # Nothing was said twice by either, and the voice is still made at the start.
    assert standin.spoken() == texts[:heard_by_reader]
    assert recording.spoken() == texts[:heard_by_voice]
    assert [e.kind for e in recording.events()][:1] == ["create"]
    # JAWS is asked to queue behind what it is saying, never to flush it.
    assert {flush for flush, _ in standin.calls()} <= ({"0"} if reader == "jaws" else {""})


@pytest.mark.parametrize("alerts", [0, 1], ids=["alerts off", "alerts on"])
def test_a_reader_hears_each_status_once_and_by_its_own_text(wine: WineSession, alerts: int):
    """The status line is named by its status, not by the label before it. A reader that took
    the status from us hears no live-region event for it; otherwise the event brings it once."""
    install_recording_voice(wine)
    annotations = install_standin_annotations(wine)
    standin = start_standin_reader(wine, "nvda")
    q.store_settings(wine, m_bAudibleAlerts=alerts)
    app = q.start(wine)
    status = annotations.window("live")
    # The start's own status reaches the reader first when alerts are on.
    before = len(standin.wait_spoken(1)) if alerts else 0
    for box, text in ((q.LEFT, DISABLED), (q.LEFT, ENABLED)):
        app.click(box)
        app.wait_status(text)
    assert wait_until(lambda: annotations.of("name", status)[-1:] == [ENABLED] or None,
                      what=f"the status named by its text ({annotations.entries()})")
    if alerts:
        assert standin.wait_spoken(before + 2)[before:] == [DISABLED, ENABLED]
        assert annotations.of("event") == []
    else:
        wait_until(lambda: len(annotations.of("event")) >= 2, what="two live-region events")
        assert standin.spoken() == []
    app.close()
    # Each status was said once, by one of the two ways, by its own text.
    assert standin.spoken()[before:] + annotations.of("event") == [DISABLED, ENABLED]
    # The annotations go with the window.
    assert status in {h for k, h, _ in annotations.entries() if k == "clear"}


def test_a_reader_that_stalls_holds_up_no_click_and_gets_every_text_in_order(
    wine: WineSession,
):
    recording = install_recording_voice(wine)
    standin = start_standin_reader(wine, "nvda", mode="stall:8000")
    q.store_settings(wine, m_bAudibleAlerts=1, m_bCloseWithKeyboardShortcut=1)
    app = q.start(wine)
    standin.wait_spoken(1)  # the first announcement is now stuck in the reader for 8 s
    for box, outcome in ((q.LEFT, DISABLED), (q.LEFT, ENABLED)):
        app.click(box)
        # The dialog answers at once, well inside the reader's stall.
        wait_until(lambda: app.status() == outcome, timeout=4, what=f"the status {outcome}")
    assert standin.spoken() == START_TEXTS[:1]
    # Once the reader answers, the rest follow it in order; the voice says none of them.
    wait_until(lambda: len(standin.spoken()) >= 4, timeout=60, what="the reader to catch up")
    assert standin.spoken() == START_TEXTS + [DISABLED, ENABLED]
    app.close()
    assert recording.spoken() == []
