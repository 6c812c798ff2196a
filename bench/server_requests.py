"""Counts the Wine server requests that passing clicks cause, per set-up: a deterministic figure
beside the latency, which others' load spreads widely. Each set-up runs in a fresh prefix whose
wineserver traces every request (`wineserver -f -p` with WINEDEBUG=+server): the hook of a
process killed earlier could stay in the chain and cost every later hook a failing request."""

from __future__ import annotations

import collections
import os
import re
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path

import quelvant as q
from harness import new_session, wait_until

CLICKS = 40
# Clicks come this far apart, as from a quick hand, so that the count holds what a set-up
# does between clicks too (the watchdog's ticks), not only on the event's way.
PACE_S = 0.05

# "tid: name( args )" is a request, "tid: name() = status { ... }" its reply.
_LINE = re.compile(r"^([0-9a-f]{4,8}): (\w+)\((.*)$")
_FIELD = re.compile(r"(\w+)=([0-9a-f]+)")


@dataclass
class Trace:
    """Who is who in a server trace: thread to process, process to program."""

    thread_process: dict[str, str] = field(default_factory=dict)
    process_image: dict[str, str] = field(default_factory=dict)
    # name -> count, per thread, within the counted window
    counts: dict[str, collections.Counter] = field(default_factory=dict)


def parse(text: str, start: int, end: int) -> Trace:
    trace = Trace()
    pending_image: dict[str, str] = {}
    offset = 0
    for line in text.splitlines(keepends=True):
        here, offset = offset, offset + len(line)
        match = _LINE.match(line)
        if not match:
            continue
        tid, name, rest = match[1], match[2], match[3]
        reply = rest.startswith(") = ")
        if reply:
            found = dict(_FIELD.findall(rest))
            if name == "init_first_thread":
                trace.thread_process[found["tid"]] = found["pid"]
            elif name == "new_process" and tid in pending_image:
                trace.process_image[found.get("pid", "")] = pending_image.pop(tid)
            elif name == "new_thread" and tid in trace.thread_process and "tid" in found:
                # CreateThread in the caller's own process (the only kind our programs make).
                trace.thread_process.setdefault(found["tid"], trace.thread_process[tid])
            continue
        if name == "new_process":
            image = re.search(r'imagepath=L"([^"]*)"', rest)
            pending_image[tid] = image[1].rsplit("\\\\", 1)[-1] if image else "?"
        elif name == "create_file" and trace.thread_process.get(tid) not in trace.process_image:
            # A program started by the wine loader opens its own file first.
            image = re.search(r'name=L"[^"]*\\\\([^"\\]+\.exe)"', rest, re.IGNORECASE)
            if image and tid in trace.thread_process:
                trace.process_image[trace.thread_process[tid]] = image[1]
        if start <= here < end:
            trace.counts.setdefault(tid, collections.Counter())[name] += 1
    return trace


@dataclass
class Counted:
    setup: str
    clicks: int
    seconds: float
    hook_thread: collections.Counter
    process: collections.Counter
    threads: int


def count_setup(root: Path, x, setup: str, click_latencies, wait_idle) -> Counted:
    """Starts the set-up in a fresh traced prefix and counts what CLICKS clicks cause."""
    wine = new_session(root, hold_server=False)  # the tracing server below is the prefix's
    log_path = root / "server.log"
    log = log_path.open("wb")
    server = subprocess.Popen(["wineserver", "-f", "-p"], env=wine.env, stderr=log,
                              stdin=subprocess.DEVNULL)
    # A Wine process started before this server listens would start a server of its own,
    # which traces nothing here.
    # The server works in its directory for the prefix, where it makes its socket.
    info = wine.prefix.stat()
    folder = f"server-{info.st_dev:x}-{info.st_ino:x}"

    def listening() -> bool:
        try:
            cwd = Path(os.readlink(f"/proc/{server.pid}/cwd"))
        except OSError:
            return server.poll() is not None
        return cwd.name == folder and (cwd / "socket").exists()

    wait_until(listening, what="the tracing server")
    assert server.poll() is None, "the tracing wineserver did not start"
    wine.env["WINEDEBUG"] = "+server"
    image = None
    try:
        probe = wine.start_probe(x=600, y=100, w=400, h=300)
        wine.settle_on(probe)
        if setup == "bare pass-through hook":
            image = "barehook.exe"
            bare = wine.start(image, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
            assert bare.stdout.readline().strip() == "ready"
            wait_idle(bare)
        elif setup.startswith("Quelvant"):
            image = "Quelvant.exe"
            q.store_settings(wine, m_bCheckDisableMouseWheel=1, m_bAudibleAlerts=0)
            app = q.start(wine)
            wait_until(lambda: app.status() == "Mouse Buttons Disabled", what="blocking")
            wait_idle(app.process)
        # Not counted: the first click activates the probe, which a set-up with a window of its
        # own answers (its dialog loses the activation) and one without does not.
        click_latencies(wine, x, probe, 1)
        start = log_path.stat().st_size
        began = time.monotonic()
        for number in range(CLICKS):
            click_latencies(wine, x, probe, 1)
            if number < CLICKS - 1:
                time.sleep(PACE_S)
        seconds = time.monotonic() - began
        end = log_path.stat().st_size
    finally:
        wine.close()
        if server.poll() is None:
            server.terminate()
        server.wait(timeout=60)
        log.close()
    trace = parse(log_path.read_text(encoding="ascii", errors="replace"), start, end)
    if not os.environ.get("QUELVANT_BENCH_KEEP_TRACE"):
        log_path.unlink()
    process = collections.Counter()
    hook_thread = collections.Counter()
    threads = 0
    if image is not None:
        pids = {pid for pid, name in trace.process_image.items() if name == image}
        mine = {t: c for t, c in trace.counts.items() if trace.thread_process.get(t) in pids}
        threads = len(mine)
        for counter in mine.values():
            process += counter
        # The hook's thread is the one that runs the hook chain.
        if mine:
            hook_thread = max(mine.values(), key=lambda c: c["start_hook_chain"])
    return Counted(setup, CLICKS, seconds, hook_thread, process, threads)


def requests_section(root: Path, x, click_latencies, wait_idle) -> tuple[list[str], dict]:
    setups = ("no hook", "bare pass-through hook", "Quelvant, wheel only")
    results = []
    for number, setup in enumerate(setups):
        folder = root / f"requests-{number}"
        folder.mkdir(parents=True, exist_ok=True)
        results.append(count_setup(folder, x, setup, click_latencies, wait_idle))
    bare, ours = results[1], results[2]
    lines = ["## Wine server requests per click", "",
             f"{CLICKS} XTest clicks (press and release) at the probe per set-up, each waited "
             f"for at the probe as in the latency rounds and the next sent {PACE_S * 1000:.0f} ms "
             "later; every set-up in a fresh prefix with a "
             "tracing wineserver (`wineserver -f -p`, `WINEDEBUG=+server`). Counted are the "
             "requests of the set-up's process from the first press to the last release, once the "
             "process has gone idle after start and after one click that is not counted.", "",
             "| set-up | seconds | threads making requests | hook thread per click "
             "| whole process per click |", "|---|---|---|---|---|"]
    for r in results[1:]:
        lines.append(f"| {r.setup} | {r.seconds:.2f} | {r.threads} | "
                     f"{sum(r.hook_thread.values()) / r.clicks:.2f} | "
                     f"{sum(r.process.values()) / r.clicks:.2f} |")
    lines += ["", "Difference by request, Quelvant minus the bare hook, per click "
              "(whole process; in brackets the hook thread's share):", "",
              "| request | bare hook | Quelvant | difference |", "|---|---|---|---|"]
    names = sorted(set(bare.process) | set(ours.process),
                   key=lambda n: -(abs(ours.process[n] - bare.process[n])))
    for name in names:
        if ours.process[name] == bare.process[name]:
            continue
        lines.append(f"| `{name}` | {bare.process[name] / CLICKS:.2f} "
                     f"({bare.hook_thread[name] / CLICKS:.2f}) | "
                     f"{ours.process[name] / CLICKS:.2f} ({ours.hook_thread[name] / CLICKS:.2f}) "
                     f"| {(ours.process[name] - bare.process[name]) / CLICKS:+.2f} |")
    same = [n for n in names if ours.process[n] == bare.process[n]]
    lines += ["", "Alike in both: " + ", ".join(
        f"`{n}` {bare.process[n] / CLICKS:.2f}" for n in sorted(same)) + ".", ""]
    figures = {"requests_per_click_bare": sum(bare.process.values()) / CLICKS,
               "requests_per_click_quelvant": sum(ours.process.values()) / CLICKS}
    return lines, figures
