"""Drives the Windows test programs under Wine and real X input with xdotool.

Every test gets a Wine prefix of its own (so a wineserver of its own) on the display of the
surrounding scripts/wine-session. Everything started here is ended at teardown.
"""

from __future__ import annotations

import os
import queue
import re
import select
import shutil
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, TypeVar

REPO = Path(__file__).resolve().parents[2]


def _bin_dir() -> Path:
    if "QUELVANT_BIN_DIR" in os.environ:
        return Path(os.environ["QUELVANT_BIN_DIR"])
    # scripts/wine-session keeps its template prefix in <build dir>/wine/template, so the
    # programs of the build tree it was started for sit in <build dir>/bin.
    if "QUELVANT_WINE_TEMPLATE" in os.environ:
        return Path(os.environ["QUELVANT_WINE_TEMPLATE"]).parents[1] / "bin"
    return REPO / "build" / "win64" / "bin"


BIN_DIR = _bin_dir()
ARTIFACT_DIR = Path(os.environ.get("QUELVANT_ARTIFACT_DIR", BIN_DIR.parent / "e2e-artifacts"))

# Generous: Wine starts slowly on a loaded two-core machine. Waits end as soon as the
# condition holds, so a long deadline costs nothing when all is well.
DEFAULT_TIMEOUT = 20.0

T = TypeVar("T")


def poll(condition: Callable[[], T], timeout: float) -> T | None:
    """Polls condition until it returns something truthy and returns that; None at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            return None
        time.sleep(0.02)


def wait_until(condition: Callable[[], T], timeout: float = DEFAULT_TIMEOUT, what: str = "") -> T:
    """Like poll, but a deadline without the condition fails the test."""
    result = poll(condition, timeout)
    if not result:
        raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what or condition}")
    return result


def run_wine(args: list[str], env: dict[str, str], timeout: float = 60, check: bool = False,
             input: str | None = None) -> subprocess.CompletedProcess:
    """Runs a Wine program to its end and returns its output as text, like subprocess.run
    with capture_output. The output goes through files, not pipes: a Wine system process that
    the program happened to start first (the prefix's services, its desktop) inherits the
    program's output and holds a pipe open long after the program has ended."""
    with tempfile.TemporaryFile() as source, tempfile.TemporaryFile() as out, \
            tempfile.TemporaryFile() as err:
        if input is not None:
            source.write(input.encode())
            source.seek(0)
        result = subprocess.run(args, env=env, stdin=source if input is not None else
                                subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout,
                                check=check)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, result.returncode,
                                           out.read().decode(errors="replace"),
                                           err.read().decode(errors="replace"))


# Wine's own programs, named by their Windows path. A bare name ("wine reg") is no file, so
# Wine's loader runs start.exe /exec, which starts the program as a second process through
# ShellExecuteEx; a path in the Windows folder loads the program itself, as one process.
WINE_REG = r"C:\windows\system32\reg.exe"
WINE_REGEDIT = r"C:\windows\regedit.exe"
# The shortest of them, run to boot a prefix.
WINE_HOSTNAME = r"C:\windows\system32\hostname.exe"
WINE_MSIEXEC = r"C:\windows\system32\msiexec.exe"


def windows_path(path: Path) -> str:
    """The Wine name of a Linux path through drive Z:, which maps the Linux root."""
    return "Z:" + str(path.resolve()).replace("/", "\\")


# Wake-ups: how often a process's threads went to sleep and were woken again (the voluntary
# context switches of its Linux tasks). Unlike a time, a count does not grow because the machine
# is busy: a thread that waits longer for a core still waits once.
WAKE_WINDOW = 2.0  # seconds a count covers
_WATCHDOG_H = "hooklib/HookWatchdog.h"


def _task_switches(pid: int) -> dict[str, tuple[str, int]]:
    counts = {}
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            status = (task / "status").read_text()
        except OSError:
            continue  # ended meanwhile
        name = re.search(r"^Name:\s*(.*)$", status, re.MULTILINE)
        found = re.search(r"^voluntary_ctxt_switches:\s*(\d+)", status, re.MULTILINE)
        if name and found:
            counts[task.name] = (name[1], int(found[1]))
    return counts


def wake_ups_by_thread(pid: int, seconds: float = WAKE_WINDOW) -> dict[str, int]:
    """The wake-ups of each of the process's threads (task id and name) over the next
    `seconds`. A thread that starts meanwhile counts whole; one that ends meanwhile no longer
    shows and counts nothing."""
    before = _task_switches(pid)
    time.sleep(seconds)  # the window measured, not a wait for a condition
    after = _task_switches(pid)
    return {f"{task} {name}": count - before.get(task, (name, 0))[1]
            for task, (name, count) in after.items()}


def wake_ups(pid: int, seconds: float = WAKE_WINDOW) -> int:
    return sum(wake_ups_by_thread(pid, seconds).values())


@dataclass(frozen=True)
class Message:
    """One line of the probe's report."""

    id: int
    name: str
    win: str
    params: dict[str, str]

    def number(self, key: str) -> int:
        return int(self.params[key], 0)


# "name=value" fields, as the probe, the stand-in library and hookhost write them.
_FIELD = re.compile(r"(\w+)=(\S+)")


def fields(line: str) -> dict[str, str]:
    return dict(_FIELD.findall(line))


def unescape(text: str) -> str:
    """Undoes the escapes of drive.exe and the recording voice: \\n, \\r, \\t and \\\\."""
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(m[1], m[1]), text)


# Registry value types, as winnt.h numbers them.
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 1, 2, 3, 4, 7, 11


def utf16z(text: str) -> bytes:
    """A string as the registry stores it: UTF-16 with its closing NUL."""
    return (text + "\0").encode("utf-16-le")


def header_numbers(relative: str) -> dict[str, int]:
    """The numeric constants of one of the program's C++ headers: `#define NAME 1000` and
    `constexpr type NAME = 0x01;`. The tests take ids, bits and names from the program's own
    sources, so a renumbered constant fails where it is used, not silently against a copy."""
    text = (REPO / relative).read_text(encoding="utf-8")
    number = r"(-?(?:0[xX][0-9A-Fa-f]+|\d+))[uUlL]*"
    found = re.findall(rf"^#define\s+(\w+)\s+{number}\s*$", text, re.MULTILINE)
    found += re.findall(rf"^\s*(?:inline\s+)?constexpr\s+[\w:]+\s+(\w+)\s*=\s*{number}\s*;",
                        text, re.MULTILINE)
    return {name: int(value, 0) for name, value in found}


def header_number(table: dict[str, int], name: str, relative: str) -> int:
    if name not in table:
        raise RuntimeError(f"{relative} no longer defines {name}: update the tests' use of it")
    return table[name]


# At rest only the watchdog's rare look wakes Quelvant (none at all when nothing is blocked).
# Each look waits at most five times, once for each round trip to the Wine server (the timer's
# message, the last-input time, the queue found empty, the wait armed) and once for the sleep
# until the next; a window holds at most one look more than its length divided by their period.
_REST_PERIOD_MS = 1500
WAKE_UPS_PER_LOOK = 5
REST_WAKE_UPS = (int(WAKE_WINDOW * 1000) // _REST_PERIOD_MS + 1) * WAKE_UPS_PER_LOOK


def assert_back_at_rest(pid: int) -> None:
    """After an event the program handled: within WAKE_WINDOW it is back at rest, so the
    window after that one counts no more wake-ups than the watchdog's looks at rest make."""
    settling = wake_ups(pid)
    threads = wake_ups_by_thread(pid)
    resting = sum(threads.values())
    assert resting <= REST_WAKE_UPS, (
        f"{resting} wake-ups in {WAKE_WINDOW:.0f} s, {WAKE_WINDOW:.0f} s after the event "
        f"(at most {REST_WAKE_UPS} at rest; {settling} in the seconds before): "
        f"{ {t: n for t, n in threads.items() if n} }")


def parse_message(line: str) -> Message | None:
    fields = dict(_FIELD.findall(line))
    if "msg" not in fields:
        return None
    return Message(int(fields["msg"], 16), fields["name"], fields["win"], fields)


@dataclass
class Rect:
    x: int
    y: int
    w: int
    h: int


class Probe:
    """The probe window and its report file."""

    def __init__(self, process: subprocess.Popen, log: Path, title: str):
        self.process = process
        self.log = log
        self.title = title
        self.client = Rect(0, 0, 0, 0)
        self.edit = Rect(0, 0, 0, 0)

    def lines(self) -> list[str]:
        try:
            text = self.log.read_text(encoding="ascii", errors="replace")
        except FileNotFoundError:
            return []
        # A line without its newline is still being written.
        return text.split("\n")[:-1]

    def messages(self, since: int = 0) -> list[Message]:
        parsed = (parse_message(line) for line in self.lines())
        return [m for m in parsed if m is not None][since:]

    def mark(self) -> int:
        """A position in the report: messages(since=mark) are the ones that came later."""
        return len(self.messages())

    def wait_ready(self) -> None:
        def ready_line():
            if self.process.poll() is not None:
                raise AssertionError(f"probe ended early with code {self.process.returncode}")
            return next((line for line in self.lines() if line.startswith("ready ")), None)

        line = wait_until(ready_line, what="the probe window")
        fields = dict(_FIELD.findall(line))
        self.client = Rect(*map(int, fields["client"].split(",")))
        self.edit = Rect(*map(int, fields["edit"].split(",")))

    def wait_for(self, predicate: Callable[[Message], bool], since: int, what: str) -> Message:
        return wait_until(
            lambda: next((m for m in self.messages(since) if predicate(m)), None), what=what
        )

    def point(self, dx: int = 0, dy: int = 0) -> tuple[int, int]:
        """A screen point in the probe's client area, away from the edit: centre + offset."""
        return self.client.x + self.client.w // 2 + dx, self.client.y + self.client.h // 2 + dy


class HookHost:
    """hookhost.exe: calls the exports of Helper.dll on command from its pumping thread."""

    def __init__(self, process: subprocess.Popen, out: Path):
        self.process = process
        self.out = out

    def lines(self) -> list[str]:
        try:
            text = self.out.read_text(encoding="ascii", errors="replace")
        except FileNotFoundError:
            return []
        return [line.rstrip("\r") for line in text.split("\n")[:-1]]

    def wait_ready(self) -> None:
        wait_until(lambda: any(l.startswith("ready ") for l in self.lines()), what="hookhost")

    def command(self, line: str) -> str:
        """Sends one command and returns its one-line answer."""
        if self.process.poll() is not None:
            raise AssertionError(f"hookhost ended early with code {self.process.returncode}")
        before = len(self.lines())
        assert self.process.stdin is not None
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answers = wait_until(lambda: self.lines()[before:], what=f"hookhost's answer to {line!r}")
        return answers[0]

    def mouse(
        self, filter_word: int, allow_injected: int, preset_error: int = 0
    ) -> tuple[int, int]:
        """GlobalDisableMouse with the error variable preset; returns (result, error variable)."""
        answer = self.command(f"mouse {filter_word:x} {allow_injected} {preset_error}")
        match = re.fullmatch(r"mouse rc=(-?\d+) err=(\d+)", answer)
        assert match, f"unexpected answer {answer!r}"
        return int(match[1]), int(match[2])

    def keyboard(self, disable: int, allow_injected: int) -> int:
        answer = self.command(f"keyboard {disable} {allow_injected}")
        match = re.fullmatch(r"keyboard rc=(-?\d+)", answer)
        assert match, f"unexpected answer {answer!r}"
        return int(match[1])

    def quit(self) -> None:
        self.command("quit")
        self.process.wait(timeout=DEFAULT_TIMEOUT)


class LineReader:
    """The output lines of a process as they come, each waited for with a deadline, so that a
    tool that hangs fails its test instead of stopping the run."""

    def __init__(self, process: subprocess.Popen, what: str):
        self.what = what
        self.process = process
        self._lines: queue.Queue[str | None] = queue.Queue()
        assert process.stdout is not None
        threading.Thread(target=self._read, args=(process.stdout,), daemon=True).start()

    def _read(self, stream) -> None:
        for line in stream:
            self._lines.put(line.rstrip("\r\n"))
        self._lines.put(None)  # the end of its output: it ended, or closed it

    def next(self, timeout: float = DEFAULT_TIMEOUT) -> str:
        try:
            line = self._lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError(f"{self.what} did not answer within {timeout:.0f} s") from None
        if line is None:
            self._lines.put(None)  # every later call is told the same
            try:
                code = self.process.wait(timeout=DEFAULT_TIMEOUT)
            except subprocess.TimeoutExpired:
                code = None
            raise AssertionError(f"{self.what} ended its output without answering "
                                 f"(exit code {code})")
        return line


@dataclass
class WineSession:
    """One private Wine prefix on the shared display, and every process started in it."""

    root: Path
    env: dict[str, str]
    processes: list[subprocess.Popen] = field(default_factory=list)
    # The session's drive.exe (quelvant.Driver), started on first use and ended with the rest.
    driver: object | None = None
    _titles: int = 0

    @property
    def prefix(self) -> Path:
        return Path(self.env["WINEPREFIX"])

    def exe(self, name: str) -> Path:
        path = BIN_DIR / name
        if not path.is_file():
            raise AssertionError(f"{path} is missing: build the win64 preset first")
        return path

    def start(self, name: str | Path, *args: str, **popen) -> subprocess.Popen:
        # A Linux path or a Windows path (an installed program) as it is; a bare name from
        # the build.
        program = str(name) if isinstance(name, Path) or "\\" in name else str(self.exe(name))
        process = subprocess.Popen(["wine", program, *args], env=self.env, **popen)
        self.processes.append(process)
        return process

    def start_probe(
        self, x: int = 100, y: int = 100, w: int = 400, h: int = 300, title: str = ""
    ) -> Probe:
        self._titles += 1
        title = title or f"probe-{os.getpid()}-{self._titles}"
        log = self.root / f"probe-{self._titles}.log"
        # The report is read while the probe writes it; a log left by an earlier run would
        # pass for fresh lines.
        log.unlink(missing_ok=True)
        process = self.start(
            "probe.exe",
            *("--title", title, "--out", windows_path(log)),
            *("--x", str(x), "--y", str(y), "--w", str(w), "--h", str(h)),
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
        )
        probe = Probe(process, log, title)
        probe.wait_ready()
        return probe

    def start_hookhost(self) -> HookHost:
        out = self.root / "hookhost.out"
        with out.open("w") as sink:
            process = self.start(
                "hookhost.exe", stdin=subprocess.PIPE, stdout=sink, text=True, bufsize=1
            )
        host = HookHost(process, out)
        host.wait_ready()
        return host

    def settle_on(self, probe: Probe) -> None:
        """Puts the pointer over the probe and waits until both pointer and keys reach it.

        Low-level hooks only see X input that lands on a Wine window, and without a window
        manager the keyboard focus follows the pointer; a window just mapped may also miss
        the first move. So the pointer is moved until the probe reports a move, and a key
        must reach the edit before any test sends input.
        """
        attempt = 0

        def pointer_arrived() -> bool:
            nonlocal attempt
            attempt += 1
            mark = probe.mark()
            self.xdotool("mousemove", *map(str, probe.point(dx=attempt % 2 * 10)))
            return bool(
                poll(lambda: any(m.name == "WM_MOUSEMOVE" for m in probe.messages(mark)), 1.0)
            )

        wait_until(pointer_arrived, what="the pointer to reach the probe")
        self.xdotool("mousemove", *map(str, probe.point()))
        mark = probe.mark()
        self.xdotool("key", "shift")
        probe.wait_for(
            lambda m: m.name == "WM_KEYUP" and m.win == "edit", mark, "a key to reach the edit"
        )

    def inject(self, *actions: str) -> None:
        """Sends simulated input with SendInput; returns once it was sent."""
        result = run_wine(["wine", str(self.exe("inject.exe")), *actions], self.env)
        assert result.returncode == 0, f"inject {actions}: {result.stdout}{result.stderr}"

    def xdotool(self, *args: str) -> None:
        subprocess.run(["xdotool", *args], env=self.env, check=True, timeout=30)

    def screenshot(self, probe: Probe, name: str) -> Path:
        ARTIFACT_DIR.mkdir(parents=True, exist_ok=True)
        target = ARTIFACT_DIR / f"{name}.png"
        window = subprocess.run(
            ["xdotool", "search", "--name", f"^{probe.title}$"],
            env=self.env,
            capture_output=True,
            text=True,
            check=True,
            timeout=30,
        ).stdout.split()[0]
        subprocess.run(["import", "-window", window, str(target)], env=self.env, check=True,
                       timeout=60)
        return target

    def hold_server(self) -> None:
        """Starts the prefix's wineserver to stay until it is ended (-p without a time comes
        after the -p0 of Debian's wrapper and wins), then boots the prefix with one short
        program before the test starts any. A program started from Linux waits for the
        prefix's boot; if another program's boot is under way, it waits on that boot's event
        alone, and a boot that ends without setting it leaves the waiter hanging for two
        minutes (Quelvant and the driver, started at once, were seen so)."""
        subprocess.run(["wineserver", "-p"], env=self.env, timeout=60, check=True)
        # Wine's errors on, for this program and the boot it starts, to say why a boot failed.
        env = dict(self.env, WINEDEBUG=f"{self.env.get('WINEDEBUG', '-all')},err+all")
        result = run_wine(["wine", WINE_HOSTNAME], env)
        processes = prefix_processes(self.prefix)
        # wineboot sets the boot event only once it has started the services.
        if "services.exe" not in processes:
            raise AssertionError(f"the prefix did not boot (hostname.exe ended with "
                                 f"{result.returncode}); its processes:\n{processes}\n"
                                 f"Wine's errors: {result.stderr[-2000:]!r}")

    def end_server(self) -> None:
        """Ends every process of the prefix and waits until its wineserver, which writes the
        registry files as it goes, has gone."""
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60, check=False)

    def close(self) -> None:
        """Ends every process of the prefix and waits for its wineserver to go."""
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60, check=False)
        for process in self.processes:
            try:
                process.wait(timeout=DEFAULT_TIMEOUT)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=DEFAULT_TIMEOUT)
            if process.stdin is not None:
                process.stdin.close()
        # -w returns once the server of this prefix has exited.
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60, check=False)
        shutil.rmtree(self.prefix, ignore_errors=True)


class Xvfb:
    """A private Xvfb on a display number it picked itself (as scripts/wine-session does)."""

    def __init__(self, process: subprocess.Popen, number: str):
        self.process = process
        self.name = f":{number}"

    def stop(self) -> None:
        self.process.terminate()
        try:
            self.process.wait(timeout=DEFAULT_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(timeout=DEFAULT_TIMEOUT)


def start_xvfb() -> Xvfb:
    read_end, write_end = os.pipe()
    process = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
         "-screen", "0", "1280x1024x24"],
        pass_fds=(write_end,),
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    os.close(write_end)
    # Xvfb writes its display number once it accepts connections; the pipe ends at its exit.
    text = b""
    deadline = time.monotonic() + DEFAULT_TIMEOUT
    with os.fdopen(read_end, "rb", buffering=0) as numbers:
        while not text.endswith(b"\n") and time.monotonic() < deadline:
            if select.select([numbers], [], [], 0.5)[0]:
                chunk = numbers.read(16)
                if not chunk:
                    break
                text += chunk
    number = text.decode().strip()
    if not number:
        Xvfb(process, "").stop()
        raise RuntimeError("Xvfb did not start")
    return Xvfb(process, number)


# Wine's own DLLs and programs in a prefix carry this mark at 0x40; Wine writes them only when
# it updates a prefix to a new Wine, never while one runs.
_BUILTIN_MARK = b"Wine builtin DLL"


def _is_wine_builtin(path: str) -> bool:
    try:
        with open(path, "rb") as file:
            file.seek(0x40)
            return file.read(len(_BUILTIN_MARK)) == _BUILTIN_MARK
    except OSError:
        return False


def prefix_processes(prefix: Path) -> str:
    """Every process of a Wine prefix with the state and kernel wait of each of its threads:
    what a failure message needs when a Wine program does not answer."""
    wanted = f"WINEPREFIX={prefix}".encode()
    rows = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if wanted not in (entry / "environ").read_bytes().split(b"\0"):
                continue
            command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
            tasks = sorted((entry / "task").iterdir(), key=lambda t: int(t.name))
        except OSError:
            continue  # ended meanwhile
        threads = []
        for task in tasks:
            # A busy process starts and ends threads all the time: one that has ended is left
            # out, never its process (the services were missed so while they started up).
            try:
                name = (task / "comm").read_text().strip()
                state = (task / "stat").read_text().rsplit(")", 1)[1].split()[0]
                threads.append(f"{name}:{state}:{(task / 'wchan').read_text().strip() or '-'}")
            except OSError:
                continue
        rows.append(f"  {entry.name} {command.strip()}\n    " + " ".join(threads))
    return "\n".join(rows) or "  (none)"


def copy_prefix(template: Path, prefix: Path) -> None:
    """A prefix of its own from the template: Wine's builtin files (nearly all of its 700 MB)
    hard-linked, everything else (registry, settings, links) copied. Copying it whole took
    2 s idle and 7 s on a busy machine, for every test."""
    for top, dirs, files in os.walk(template):
        relative = os.path.relpath(top, template)
        target = prefix if relative == "." else prefix / relative
        target.mkdir(exist_ok=True)
        shutil.copystat(top, target)
        for name in list(dirs) + files:
            source = os.path.join(top, name)
            if os.path.islink(source):
                # The drive links (c: and z:) exactly as they are; never followed.
                os.symlink(os.readlink(source), target / name)
                if name in dirs:
                    dirs.remove(name)
            elif name in files:
                if _is_wine_builtin(source):
                    os.link(source, target / name)
                else:
                    shutil.copy2(source, target / name)


def new_session(root: Path, hold_server: bool = True) -> WineSession:
    """A prefix of its own for one test. hold_server starts its wineserver at once and keeps it
    until close(): Debian's wineserver runs with -p0, so a server ends about a second after the
    last program in its prefix (once the desktop process leaves), and a program started while
    it ends cannot join it: it waits in Wine's connect retries for it to go, then boots a new
    one (wineboot, services, desktop, devices), seconds each time and more on a busy machine."""
    display = os.environ.get("DISPLAY")
    template = os.environ.get("QUELVANT_WINE_TEMPLATE")
    if not display or not template:
        raise RuntimeError("run the end-to-end tests inside scripts/wine-session")
    prefix = root / "prefix"
    copy_prefix(Path(template), prefix)
    env = dict(os.environ)
    env.update(
        WINEPREFIX=str(prefix),
        WINEDEBUG=env.get("WINEDEBUG", "-all"),
        WINEDLLOVERRIDES=env.get("WINEDLLOVERRIDES", "mscoree,mshtml="),
        WINEARCH="win64",
    )
    env.pop("WINESERVER", None)
    session = WineSession(root, env)
    if hold_server:
        session.hold_server()
    return session
