"""The package's version: the project version of the library's CMake
project, the one place where the version is written.

Installed, the package carries it in its metadata (setup.py reads it from
CMakeLists.txt when it builds); run from the source tree, it is read from
the CMakeLists.txt of that tree. This module imports nothing of the package,
so that setup.py can load it on its own.
"""

from __future__ import annotations

import re
from pathlib import Path

PROJECT = re.compile(r"project\s*\(\s*Lumitra\s+VERSION\s+([0-9]+(?:\.[0-9]+)*)", re.I)
SOURCE_TREE = Path(__file__).resolve().parents[2]


def cmake_version(cmakelists: Path) -> str:
    """The VERSION of project(Lumitra ...) in a CMakeLists.txt."""
    match = PROJECT.search(Path(cmakelists).read_text(encoding="utf-8"))
    if not match:
        raise ValueError(f"{cmakelists}: no project(Lumitra VERSION ...)")
    return match.group(1)


def package_version() -> str:
    cmakelists = SOURCE_TREE / "CMakeLists.txt"
    if cmakelists.is_file() and (SOURCE_TREE / "python" / "lumitra").is_dir():
        return cmake_version(cmakelists)
    try:
        from importlib.metadata import version
        return version("lumitra")
    except Exception:  # metadata missing: a copied package
        return "unknown"
