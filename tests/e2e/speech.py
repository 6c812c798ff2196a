"""The recording voice (tools/voice, recvoice.dll) put in place of the system's speech voice in a
test's Wine prefix, and what it recorded."""

from __future__ import annotations

import re
import subprocess
from dataclasses import dataclass
from pathlib import Path

from harness import WINE_REGEDIT, WineSession, unescape, wait_until, windows_path
from quelvant import reg_query

SPVOICE_CLSID = "{96749377-3391-11D2-9EE3-00C04F797396}"
# Wine registers its own voice for 64-bit programs here. It must be overridden in this very
# key: Wine 8's COM does not look at per-user classes (HKCU\Software\Classes).
SPVOICE_SERVER_KEY = rf"HKLM\Software\Classes\CLSID\{SPVOICE_CLSID}\InprocServer32"
CONFIG_KEY = r"HKCU\Software\QuelvantTests\RecordingVoice"
# Where SAPI lists the installed voices: a key per token, its languages in the Attributes
# subkey's Language value (hex language ids separated by ';').
VOICE_TOKENS_KEY = r"HKLM\SOFTWARE\Microsoft\Speech\Voices\Tokens"

SPF_ASYNC = 0x1


def _reg_file_key(key: str) -> str:
    return key.replace("HKLM", "HKEY_LOCAL_MACHINE", 1).replace("HKCU", "HKEY_CURRENT_USER", 1)


def _reg_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def import_reg(wine: WineSession, name: str, sections: dict[str, list[str]]) -> None:
    """Imports a .reg file made of {key: [value lines]} with regedit, in one go."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in sections.items():
        lines.append(f"[{_reg_file_key(key)}]")
        lines.extend(values)
        lines.append("")
    reg_file = wine.root / name
    reg_file.write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")
    subprocess.run(["wine", WINE_REGEDIT, "/S", str(reg_file)], env=wine.env, check=True,
                   timeout=60)


@dataclass(frozen=True)
class Event:
    kind: str  # create, refuse, speak, set, destroy
    voice: str  # "pid.n"; empty for a refusal
    flags: int
    stream: bool
    text: str
    token: str = ""  # the voice token's key name given to SetVoice


_LINE = re.compile(
    r"(?P<kind>create|refuse|speak|set|destroy)"
    r"(?: voice=(?P<voice>\d+\.\d+))?(?: pid=\d+)?"
    r"(?: flags=(?P<flags>[0-9a-f]+) stream=(?P<stream>[01]) text=(?P<text>.*))?"
    r"(?: token=(?P<token>.*))?$"
)


class Recording:
    """What the recording voice of one prefix has recorded."""

    def __init__(self, log: Path):
        self.log = log

    def events(self) -> list[Event]:
        try:
            text = self.log.read_text(encoding="utf-8")
        except FileNotFoundError:
            return []
        events = []
        # A line without its newline is still being written.
        for line in text.split("\n")[:-1]:
            match = _LINE.fullmatch(line)
            assert match, f"unexpected line in the voice's log: {line!r}"
            events.append(
                Event(
                    match["kind"],
                    match["voice"] or "",
                    int(match["flags"] or "0", 16),
                    match["stream"] == "1",
                    unescape(match["text"] or ""),
                    match["token"] or "",
                )
            )
        return events

    def of(self, kind: str) -> list[Event]:
        return [e for e in self.events() if e.kind == kind]

    def spoken(self) -> list[str]:
        return [e.text for e in self.of("speak")]

    def wait_spoken(self, count: int) -> list[Event]:
        """Waits until at least count texts were spoken and returns all that were."""
        return self.wait_event("speak", count)

    def wait_event(self, kind: str, count: int = 1) -> list[Event]:
        def enough() -> list[Event] | None:
            events = self.of(kind)
            return events if len(events) >= count else None

        return wait_until(enough, what=f"{count} {kind} events (so far {self.events()})")


def install_recording_voice(wine: WineSession, refuse: int = 0,
                            voices: tuple[tuple[str, str], ...] = ()) -> Recording:
    """Puts the recording voice in place of the system's voice; it refuses the first `refuse`
    creations. `voices` are registered as installed voices, (token key name, Language), the
    first as the user's default."""
    dll = wine.exe("recvoice.dll")
    log = wine.root / "voice.log"
    log.unlink(missing_ok=True)
    tokens: dict[str, list[str]] = {}
    for name, languages in voices:
        tokens[rf"{VOICE_TOKENS_KEY}\{name}"] = [f"@={_reg_string(name)}"]
        tokens[rf"{VOICE_TOKENS_KEY}\{name}\Attributes"] = [
            f'"Language"={_reg_string(languages)}']
    default = [f'"Default"={_reg_string(voices[0][0])}'] if voices else []
    import_reg(
        wine,
        "voice.reg",
        {
            **tokens,
            SPVOICE_SERVER_KEY: [
                f"@={_reg_string(windows_path(dll))}",
                '"ThreadingModel"="Both"',
            ],
            CONFIG_KEY: [
                f'"Log"={_reg_string(windows_path(log))}',
                f'"Refuse"=dword:{refuse:08x}',
                *default,
            ],
        },
    )
    server = reg_query(wine, SPVOICE_SERVER_KEY)
    assert server.get("(Default)") == ("REG_SZ", windows_path(dll)), server
    return Recording(log)


# The stand-in screen readers (tools/readers/readerstub.exe, and the JAWS object in
# recvoice.dll registered under JAWS's ProgID).
JAWS_PROGID = "FreedomSci.JawsApi"
STANDIN_JAWS_CLSID = "{5A1D7E4C-2B9F-4C36-9E1A-7D3F0B8C6A21}"
JAWS_CONFIG_KEY = r"HKCU\Software\QuelvantTests\StandInJaws"
_READER_LINE = re.compile(r"(?:speak|say flush=(?P<flush>[01])) text=(?P<text>.*)$")


class ReaderLog:
    """What a stand-in reader was asked to speak, in order."""

    def __init__(self, log: Path):
        self.log = log

    def lines(self) -> list[str]:
        try:
            return self.log.read_text(encoding="utf-8").split("\n")[:-1]
        except FileNotFoundError:
            return []

    def calls(self) -> list[tuple[str, str]]:
        """(flush, text) per call; flush is empty for NVDA, which has none."""
        matches = [_READER_LINE.fullmatch(line) for line in self.lines() if line != "ready"]
        assert all(matches), f"unexpected line in the reader's log: {self.lines()}"
        return [(m["flush"] or "", unescape(m["text"])) for m in matches]

    def spoken(self) -> list[str]:
        return [text for _, text in self.calls()]

    def wait_spoken(self, count: int) -> list[str]:
        return wait_until(lambda: len(self.spoken()) >= count and self.spoken(),
                          what=f"{count} texts for the reader (so far {self.lines()})")


def start_standin_reader(wine: WineSession, reader: str, endpoint: str = "current",
                         mode: str = "take", registered: bool = True) -> ReaderLog:
    """Starts a stand-in NVDA (serving on `endpoint`: current, older or none) or JAWS (its
    object registered or not), answering as `mode` says, and waits until it is ready."""
    log = wine.root / f"{reader}.log"
    log.unlink(missing_ok=True)
    args = [reader, windows_path(log)]
    if reader == "nvda":
        args += [endpoint, mode]
    elif registered:
        server = rf"HKLM\Software\Classes\CLSID\{STANDIN_JAWS_CLSID}"
        import_reg(wine, "jaws.reg", {
            rf"{server}\InprocServer32": [f"@={_reg_string(windows_path(wine.exe('recvoice.dll')))}",
                                          '"ThreadingModel"="Both"'],
            rf"{server}\ProgID": [f"@={_reg_string(JAWS_PROGID)}"],
            rf"HKLM\Software\Classes\{JAWS_PROGID}\CLSID": [f"@={_reg_string(STANDIN_JAWS_CLSID)}"],
            JAWS_CONFIG_KEY: [f'"Log"={_reg_string(windows_path(log))}',
                              f'"Mode"={_reg_string(mode)}'],
        })
    wine.start("readerstub.exe", *args, stdin=subprocess.DEVNULL)
    wait_until(lambda: "ready" in ReaderLog(log).lines(), what=f"the stand-in {reader}")
    return ReaderLog(log)


# The stand-in annotation service in recvoice.dll, with a screen reader's view of live-region
# events: what the program told readers of its controls, and what a reader would say.
ACC_PROP_SERVICES_CLSID = "{B5F8350B-0548-48B1-A6EE-88BD00B4A5E7}"
ANNOTATIONS_CONFIG_KEY = r"HKCU\Software\QuelvantTests\Annotations"
_ANNOTATION_LINE = re.compile(r"(?P<kind>name|description|live|clear|event) hwnd=(?P<hwnd>\d+)"
                              r"(?: (?:text|name)=(?P<text>.*))?$")


class AnnotationLog:
    def __init__(self, log: Path):
        self.log = log

    def entries(self) -> list[tuple[str, int, str]]:
        """(kind, window, text) per line, in order."""
        try:
            lines = self.log.read_text(encoding="utf-8").split("\n")[:-1]
        except FileNotFoundError:
            return []
        matches = [_ANNOTATION_LINE.fullmatch(line) for line in lines]
        assert all(matches), f"unexpected line in the annotations' log: {lines}"
        return [(m["kind"], int(m["hwnd"]), unescape(m["text"] or "")) for m in matches]

    def of(self, kind: str, hwnd: int | None = None) -> list[str]:
        return [text for k, h, text in self.entries() if k == kind and hwnd in (None, h)]

    def window(self, kind: str) -> int:
        """The window that was first given a property of this kind."""
        return wait_until(lambda: next((h for k, h, _ in self.entries() if k == kind), None),
                          what=f"a {kind} annotation (so far {self.entries()})")


def install_standin_annotations(wine: WineSession) -> AnnotationLog:
    log = wine.root / "annotations.log"
    log.unlink(missing_ok=True)
    import_reg(wine, "annotations.reg", {
        rf"HKLM\Software\Classes\CLSID\{ACC_PROP_SERVICES_CLSID}\InprocServer32": [
            f"@={_reg_string(windows_path(wine.exe('recvoice.dll')))}",
            '"ThreadingModel"="Both"'],
        ANNOTATIONS_CONFIG_KEY: [f'"Log"={_reg_string(windows_path(log))}'],
    })
    return AnnotationLog(log)
