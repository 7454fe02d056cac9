"""Build of the Python package: pip install --no-build-isolation .

The package carries its own library: building it runs CMake on this tree
(a Release build of the library alone, in build/package) and puts
liblumitra.so.1 into the package's _lib folder, where the package loads it
from. The version is the CMake project version (CMakeLists.txt), read here.
Nothing of this tree's location goes into the package.
"""

import importlib.util
import os
import shutil
import subprocess
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

ROOT = Path(__file__).resolve().parent
LIBRARY = "liblumitra.so.1"


def _version_module():
    found = importlib.util.spec_from_file_location("_lumitra_version",
                                                   ROOT / "python" / "lumitra" / "_version.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


VERSION = _version_module().cmake_version(ROOT / "CMakeLists.txt")


def build_library() -> Path:
    """Configures and builds the library with CMake; returns its file."""
    build = ROOT / "build" / "package"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                    "-DLUMITRA_BUILD_TESTS=OFF", "-DLUMITRA_BUILD_BENCHMARKS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "--target", "lumitra",
                    f"-j{os.cpu_count() or 1}"], check=True, stdout=subprocess.DEVNULL)
    return (build / "bin" / LIBRARY).resolve()


class BuildPy(build_py):
    """Builds the library and puts it into the package."""

    def run(self):
        super().run()
        target = Path(self.build_lib) / "lumitra" / "_lib"
        target.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build_library(), target / LIBRARY)


class BinaryDistribution(Distribution):
    """A wheel for this platform only: the package holds a native library."""

    def has_ext_modules(self):
        return True


setup(version=VERSION, cmdclass={"build_py": BuildPy}, distclass=BinaryDistribution)
