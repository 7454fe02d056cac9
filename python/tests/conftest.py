"""Shared fixtures: the package from this tree, the library, the leak check."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

PYTHON_DIR = Path(__file__).resolve().parents[1]
REPOSITORY = PYTHON_DIR.parent
EXAMPLES = REPOSITORY / "examples"
sys.path.insert(0, str(PYTHON_DIR))

from lumitra import native  # noqa: E402


@pytest.fixture(scope="session")
def lib():
    """The library under test (LUMITRA_LIBRARY or the build tree)."""
    return native.library()


@pytest.fixture
def no_leak(lib):
    """Fails the test if it leaves task-allocator blocks behind: every buffer
    the library handed back must have been freed through CoTaskMemFree."""
    before = lib.outstanding_task_memory()
    yield
    assert lib.outstanding_task_memory() == before, "task-allocator blocks leaked"


def run_cli(*args, cwd=None, env=None):
    """Runs python3 -m lumitra in a child process; returns the completed process."""
    environment = dict(os.environ)
    environment["PYTHONPATH"] = str(PYTHON_DIR)
    environment.setdefault(native.LIBRARY_ENV, native.library().path)
    environment.update(env or {})
    return subprocess.run([sys.executable, "-m", "lumitra", *map(str, args)], cwd=cwd,
                          env=environment, capture_output=True, text=True, timeout=300)
