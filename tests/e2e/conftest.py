"""Fixtures of the end-to-end tests: a private Wine prefix per test, the probe window with the
pointer over it and the keyboard focus in its edit, and the host that loads Helper.dll."""

from __future__ import annotations

import os

import pytest

from harness import HookHost, Probe, WineSession, new_session, start_xvfb

# Each pytest-xdist worker gets an X display of its own: the pointer, the keyboard focus and
# the hooks' view of X input are per display, so two workers on one would steal each
# other's input. Every test already has a Wine prefix of its own.
_worker_display = None


def pytest_configure(config):
    global _worker_display
    if os.environ.get("PYTEST_XDIST_WORKER") and os.environ.get("QUELVANT_WINE_TEMPLATE"):
        _worker_display = start_xvfb()
        os.environ["DISPLAY"] = _worker_display.name


def pytest_unconfigure(config):
    if _worker_display is not None:
        _worker_display.stop()


@pytest.fixture
def wine(tmp_path) -> WineSession:
    try:
        session = new_session(tmp_path)
    except RuntimeError as error:
        pytest.fail(str(error))
    try:
        yield session
    finally:
        session.close()


@pytest.fixture
def probe(wine: WineSession) -> Probe:
    window = wine.start_probe()
    wine.settle_on(window)
    return window


@pytest.fixture
def host(wine: WineSession, probe: Probe) -> HookHost:
    """Started once the probe is settled, so no hook is in force before a test asks for one."""
    return wine.start_hookhost()
