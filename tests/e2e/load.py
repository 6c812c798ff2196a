"""A busy machine: one spinning process per core, at normal priority, for as long as a test or a
benchmark needs it."""

from __future__ import annotations

import contextlib
import os
import subprocess
import sys
from typing import Iterator


@contextlib.contextmanager
def every_core_busy() -> Iterator[int]:
    spinners = [subprocess.Popen([sys.executable, "-c", "while True: pass"],
                                 stdin=subprocess.DEVNULL)
                for _ in range(os.cpu_count() or 1)]
    try:
        yield len(spinners)
    finally:
        for spinner in spinners:
            spinner.kill()
        for spinner in spinners:
            spinner.wait(timeout=30)
