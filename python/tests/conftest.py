"""Shared fixtures: the library, the leak check, the examples, the command line."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

from lumitra import cli, native, spectra_io

PYTHON_DIR = Path(__file__).resolve().parents[1]
REPOSITORY = PYTHON_DIR.parent
EXAMPLES = REPOSITORY / "examples"
SHIFTED = EXAMPLES / "shifted-detector"
NEW_RECORD = ["--record", "36080", "9545", "65610", "24704"]  # the shifted example's record
HG = ["--hg1", "hg1.csv", "--hg2", "hg2.csv", "--d2", "d2.csv", "--dark", "dark.csv"]


@pytest.fixture(scope="session")
def lib():
    return native.library()


@pytest.fixture
def no_leak(lib):
    """Every buffer the library handed back must be freed through CoTaskMemFree."""
    before = lib.outstanding_task_memory()
    yield
    assert lib.outstanding_task_memory() == before, "task-allocator blocks leaked"


@pytest.fixture(scope="session")
def shifted():
    """The spectra of examples/shifted-detector and their expected results."""
    data = {name: spectra_io.read_element_spectrum(SHIFTED / f"{name}.csv")
            for name in ("dark", "d2", "holmium", "hg1", "hg2")}
    data["expected"] = json.loads((SHIFTED / "expected.json").read_text())
    return data


@pytest.fixture
def lumitra_cli(capsys, monkeypatch):
    """Runs the command line in this process: (status, stdout, stderr)."""
    def run(*args, cwd=None):
        if cwd is not None:
            monkeypatch.chdir(cwd)
        status = cli.main([str(a) for a in args])
        out, err = capsys.readouterr()
        return status, out, err
    return run


def start_cli(*args, cwd=None, env=None, program=None) -> subprocess.Popen:
    """Starts the command line in a child process."""
    environment = dict(os.environ, PYTHONPATH=str(PYTHON_DIR))
    environment.setdefault(native.LIBRARY_ENV, native.library().path)
    environment.update(env or {})
    command = program or [sys.executable, "-m", "lumitra"]
    return subprocess.Popen([*command, *map(str, args)], cwd=cwd, env=environment,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def run_cli(*args, **options) -> subprocess.CompletedProcess:
    """Runs the command line in a child process; returns the completed process."""
    child = start_cli(*args, **options)
    out, err = child.communicate(timeout=300)
    return subprocess.CompletedProcess(child.args, child.returncode, out, err)
