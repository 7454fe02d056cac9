"""pip installs the package, offline, into a virtual environment that sees
the system's numpy and matplotlib, and its lumitra command runs from /."""

import os
import subprocess
import sys

from conftest import REPOSITORY
from lumitra._version import cmake_version


def test_pip_installs_a_lumitra_command_that_runs_from_anywhere(tmp_path):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)],
                   check=True, timeout=120)
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("PYTHONPATH", "LUMITRA_LIBRARY", "PIP_INDEX_URL")}
    pip = subprocess.run([str(venv / "bin" / "python"), "-m", "pip", "install", "-q",
                          "--no-build-isolation", "--no-index", str(REPOSITORY)],
                         env=environment, capture_output=True, text=True, timeout=300)
    assert pip.returncode == 0, pip.stdout + pip.stderr
    command = [str(venv / "bin" / "lumitra")]
    table = subprocess.run(command + ["table", "--record", "36080", "9545", "65610", "24704",
                                      "--at", "656.1"], cwd="/", env=environment,
                           capture_output=True, text=True, timeout=120)
    assert table.returncode == 0, table.stderr
    assert "656.10 nm falls on element 386.0000" in table.stdout
    version = subprocess.run(command + ["--version"], cwd="/", env=environment,
                             capture_output=True, text=True, timeout=120).stdout
    assert version.startswith(f"lumitra {cmake_version(REPOSITORY / 'CMakeLists.txt')}\nlibrary ")
    assert "found through the " in version
