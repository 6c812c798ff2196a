"""Fixtures of the end-to-end tests: a private Wine prefix per test, the probe window with the
pointer over it and the keyboard focus in its edit, and the host that loads Helper.dll."""

from __future__ import annotations

import pytest

from harness import HookHost, Probe, WineSession, new_session


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
