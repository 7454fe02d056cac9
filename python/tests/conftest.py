"""Shared fixtures: the leak check, the examples, the command line in and out of process."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

from lumitra.api import native
from lumitra.app import cli, spectra_io

PYTHON_DIR = Path(__file__).resolve().parents[1]
REPOSITORY = PYTHON_DIR.parent
EXAMPLES = REPOSITORY / "examples"
SHIFTED = EXAMPLES / "shifted-detector"
NEW_RECORD = ["--record", "36080", "9545", "65610", "24704"]  # the shifted example's record
HG = ["--hg1", "hg1.csv", "--hg2", "hg2.csv", "--d2", "d2.csv", "--dark", "dark.csv"]


def expected(folder):
    return json.loads((folder / "expected.json").read_text())


@pytest.fixture
def no_leak():
    """Every buffer the library handed back must be freed through CoTaskMemFree."""
    before = native.library().outstanding_task_memory()
    yield
    assert native.library().outstanding_task_memory() == before, "task-allocator blocks leaked"


@pytest.fixture(scope="session")
def shifted():  # the spectra of examples/shifted-detector and their expected results
    return dict({name: spectra_io.read_element_spectrum(SHIFTED / f"{name}.csv")
                 for name in ("dark", "d2", "holmium", "hg1", "hg2")}, expected=expected(SHIFTED))


@pytest.fixture
def lumitra_cli(capsys, monkeypatch):
    """Runs the command line in this process (in cwd): (status, stdout, stderr)."""
    def run(*args, cwd="."):
        monkeypatch.chdir(cwd)
        return (cli.main([str(a) for a in args]), *capsys.readouterr())
    return run


def start_cli(*args, cwd=None, env=None, program=None, **options) -> subprocess.Popen:
    environment = {native.LIBRARY_ENV: native.library().path, **os.environ,
                   "PYTHONPATH": str(PYTHON_DIR), **(env or {})}
    return subprocess.Popen([*(program or [sys.executable, "-m", "lumitra"]), *map(str, args)],
                            cwd=cwd, env=environment, stdout=options.pop("stdout", subprocess.PIPE),
                            stderr=subprocess.PIPE, text=True, **options)


def run_cli(*args, **options) -> subprocess.CompletedProcess:
    child = start_cli(*args, **options)
    out, err = child.communicate(timeout=300)
    return subprocess.CompletedProcess(child.args, child.returncode, out, err)
