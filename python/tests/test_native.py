"""The ctypes layer against the C interface, and where the library is found."""

import os
import re
import shutil

import pytest

from conftest import REPOSITORY, run_cli
from lumitra import native


def header_declarations():
    """name -> parameter count of every Lumitra_ export in the public header."""
    text = (REPOSITORY / "include" / "lumitra" / "lumitra.h").read_text()
    found = {}
    pattern = r"LUMITRA_(?:CALL|CDECL)\s+(Lumitra_\w+)\s*\(([^;{]*?)\)\s*;"
    for match in re.finditer(pattern, text, re.S):
        params = match.group(2).strip()
        found[match.group(1)] = 0 if params in ("", "void") else params.count(",") + 1
    return found


def test_every_export_of_the_header_is_declared_with_its_arguments_or_explained(lib):
    declared = header_declarations()
    assert len(declared) == 24
    python_side = {n for n in native.EXPORTS if n.startswith("Lumitra_")}
    assert python_side | set(native.UNREACHABLE_EXPORTS) == set(declared)
    assert not python_side & set(native.UNREACHABLE_EXPORTS)
    for name, count in declared.items():
        if name in native.EXPORTS:
            assert len(native.EXPORTS[name][1]) == count, name
            assert lib.function(name).argtypes == native.EXPORTS[name][1] or not count
        else:
            assert lib.has(name), f"{name} should still be exported for C++ hosts"


def test_a_library_without_the_exports_loads_and_reports_the_export_used():
    libm = "/lib/x86_64-linux-gnu/libm.so.6"
    if not os.path.exists(libm):
        pytest.skip("the test uses the x86-64 C math library as a library without exports")
    cli = run_cli("table", env={"LUMITRA_LIBRARY": libm})
    assert cli.returncode == 4 and "no export Lumitra_GetWavelengthTable" in cli.stderr


def test_a_configured_path_must_exist(tmp_path):
    absent = tmp_path / "absent.so"
    cli = run_cli("table", "--json", env={"LUMITRA_LIBRARY": str(absent)})
    assert cli.returncode == 4 and "Traceback" not in cli.stderr
    assert cli.stderr.strip() == f"lumitra: error: LUMITRA_LIBRARY={absent} is not a file"
    assert '"error": "NO_LIBRARY"' in cli.stdout
    assert "library not found" in run_cli("--version", env={"LUMITRA_LIBRARY": str(absent)}).stdout


def test_install_prefix_comes_before_the_build_tree_which_prefers_the_native_build(tmp_path,
                                                                                   lib):
    tree = tmp_path / "build"
    for name in ("native", "mine", "linux32"):
        (tree / name / "bin").mkdir(parents=True)
    shutil.copy(lib.path, tree / "mine" / "bin" / "liblumitra.so")
    # A 32-bit ELF header: the tree search must pass over it.
    (tree / "linux32" / "bin" / "liblumitra.so").write_bytes(
        b"\x7fELF\x01\x01\x01" + bytes(9) + b"\x03\x00\x03\x00" + bytes(32))
    assert native.candidate_paths(tmp_path) == [tree / "mine" / "bin" / "liblumitra.so"]
    shutil.copy(lib.path, tree / "native" / "bin" / "liblumitra.so")
    assert native.candidate_paths(tmp_path)[0] == tree / "native" / "bin" / "liblumitra.so"
    prefix = tmp_path / "installed"
    (prefix / "lib" / "cmake" / "Lumitra").mkdir(parents=True)
    (prefix / "lib" / "cmake" / "Lumitra" / "LumitraConfig.cmake").write_text("")
    (prefix / "lib" / "cmake" / "Lumitra" / "LumitraConfigVersion.cmake").write_text(
        'set(PACKAGE_VERSION "9.8.7.6")\n')
    shutil.copy(lib.path, prefix / "lib" / "liblumitra.so")
    (tree / "native" / "CMakeCache.txt").write_text(f"CMAKE_INSTALL_PREFIX:PATH={prefix}\n")
    assert native.installed_paths(tmp_path)[0] == prefix / "lib" / "liblumitra.so"
    assert native.library_version(prefix / "lib" / "liblumitra.so") == "9.8.7.6"
