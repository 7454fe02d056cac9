"""Build of the Python package: pip install --no-build-isolation .

The version is the CMake project version of the library (CMakeLists.txt),
read here when the package is built. The installed package also records the
source tree it was built from, so that it finds that tree's library (its
CMake install prefix, then its build tree) from any directory.
"""

import importlib.util
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py

ROOT = Path(__file__).resolve().parent


def _version_module():
    found = importlib.util.spec_from_file_location("_lumitra_version",
                                                   ROOT / "python" / "lumitra" / "_version.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


VERSION = _version_module().cmake_version(ROOT / "CMakeLists.txt")


class BuildPy(build_py):
    """Adds lumitra/_install_info.py, naming the source tree, to the build."""

    def run(self):
        super().run()
        target = Path(self.build_lib) / "lumitra" / "_install_info.py"
        target.write_text('"""Written when the package was built."""\n'
                          f"SOURCE_TREE = {str(ROOT)!r}\n", encoding="utf-8")


setup(version=VERSION, cmdclass={"build_py": BuildPy})
