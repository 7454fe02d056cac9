"""The ctypes layer against the C interface: every export, every record."""

import ctypes
import os
import re
import shutil
import subprocess
import sys
import textwrap

import pytest

from conftest import PYTHON_DIR, REPOSITORY, run_cli
from lumitra import native

HEADER = REPOSITORY / "include" / "lumitra" / "lumitra.h"


def header_declarations():
    """name -> parameter count of every Lumitra_ export in the public header."""
    text = HEADER.read_text()
    found = {}
    pattern = r"LUMITRA_(?:CALL|CDECL)\s+(Lumitra_\w+)\s*\(([^;{]*?)\)\s*;"
    for match in re.finditer(pattern, text, re.S):
        params = match.group(2).strip()
        found[match.group(1)] = 0 if params in ("", "void") else params.count(",") + 1
    return found


def test_header_declares_24_exports_and_each_is_declared_or_explained():
    declared = header_declarations()
    assert len(declared) == 24
    python_side = {n for n in native.EXPORTS if n.startswith("Lumitra_")}
    assert python_side | set(native.UNREACHABLE_EXPORTS) == set(declared)
    assert not python_side & set(native.UNREACHABLE_EXPORTS)


def test_argument_counts_match_the_header():
    for name, count in header_declarations().items():
        if name in native.EXPORTS:
            assert len(native.EXPORTS[name][1]) == count, name


def test_every_declared_export_resolves(lib):
    for name in native.EXPORTS:
        function = lib.function(name)
        assert function.argtypes == native.EXPORTS[name][1] or not native.EXPORTS[name][1]
    for name in native.UNREACHABLE_EXPORTS:
        assert lib.has(name), f"{name} should still be exported for C++ hosts"


RECORDS = ["CalibrationRecord", "SplineRequest", "WavelengthCheckResult", "UserCheckLine",
           "UserCheckList", "BGSubtractionRequest", "UVSpecData", "LambdaList",
           "ISpectrumSourceVtbl"]


@pytest.mark.skipif(shutil.which("cc") is None, reason="needs the C compiler of the build")
def test_record_layouts_match_the_compiled_header(tmp_path):
    """Sizes and field offsets of every ctypes record equal what the C
    compiler makes of the header on this machine."""
    lines = []
    for record in RECORDS:
        lines.append(f'printf("{record} size %zu\\n", sizeof({record}));')
        for field, *_ in getattr(native, record)._fields_:
            lines.append(f'printf("{record} {field} %zu\\n", offsetof({record}, {field}));')
    source = tmp_path / "layout.c"
    source.write_text(textwrap.dedent("""\
        #include <stddef.h>
        #include <stdio.h>
        #include <lumitra/lumitra.h>
        int main(void) {
        """) + "\n".join(lines) + "\nreturn 0;\n}\n")
    program = tmp_path / "layout"
    subprocess.run(["cc", "-I", str(REPOSITORY / "include"), str(source), "-o", str(program)],
                   check=True)
    measured = {}
    for line in subprocess.run([str(program)], capture_output=True, text=True,
                               check=True).stdout.splitlines():
        record, field, value = line.split()
        measured[(record, field)] = int(value)
    for record in RECORDS:
        structure = getattr(native, record)
        assert ctypes.sizeof(structure) == measured[(record, "size")], record
        for field, *_ in structure._fields_:
            assert getattr(structure, field).offset == measured[(record, field)], (record, field)


def test_fixed_records_have_the_hosts_sizes():
    assert ctypes.sizeof(native.CalibrationRecord) == 16
    assert ctypes.sizeof(native.WavelengthCheckResult) == 296
    assert native.WavelengthCheckResult.withinTolerance.offset == 264
    assert ctypes.sizeof(native.UserCheckLine) == 60
    assert ctypes.sizeof(native.UserCheckList) == 244
    assert ctypes.sizeof(native.LambdaList) == 164


def _child(code, **env):
    environment = dict(os.environ, PYTHONPATH=str(PYTHON_DIR), **env)
    return subprocess.run([sys.executable, "-c", code], env=environment, capture_output=True,
                          text=True, timeout=60)


def test_package_imports_and_reports_missing_exports_lazily():
    """A library without the exports (here the C math library) loads; each
    missing export is reported when it is first used, and the rest work."""
    libm = "/lib/x86_64-linux-gnu/libm.so.6"
    if not os.path.exists(libm):
        pytest.skip("the test uses the x86-64 C math library as a library without exports")
    child = _child(textwrap.dedent("""\
        import lumitra
        from lumitra import native
        try:
            lumitra.wavelength_table()
        except lumitra.MissingExportError as error:
            print("missing:", error)
        """), LUMITRA_LIBRARY=libm)
    assert child.returncode == 0, child.stderr
    assert "missing:" in child.stdout and "Lumitra_GetWavelengthTable" in child.stdout
    cli = run_cli("table", env={"LUMITRA_LIBRARY": libm})
    assert cli.returncode == 4
    assert "no export Lumitra_GetWavelengthTable" in cli.stderr
    assert "Traceback" not in cli.stderr


def test_library_path_from_the_environment_must_exist(tmp_path):
    child = _child("import lumitra; lumitra.wavelength_table()",
                   LUMITRA_LIBRARY=str(tmp_path / "absent.so"))
    assert child.returncode != 0 and "LibraryNotFoundError" in child.stderr
    cli = run_cli("table", env={"LUMITRA_LIBRARY": str(tmp_path / "absent.so")})
    assert cli.returncode == 4
    assert cli.stderr.strip() == (f"lumitra: error: LUMITRA_LIBRARY={tmp_path / 'absent.so'} "
                                  "is not a file")


def test_build_tree_search_prefers_the_native_build_and_skips_32_bit_builds(tmp_path, lib):
    real = lib.path
    tree = tmp_path / "build"
    for name in ("native", "mine", "linux32"):
        (tree / name / "bin").mkdir(parents=True)
    shutil.copy(real, tree / "mine" / "bin" / "liblumitra.so")
    # A 32-bit ELF header: the tree search must pass over it.
    (tree / "linux32" / "bin" / "liblumitra.so").write_bytes(
        b"\x7fELF\x01\x01\x01" + bytes(9) + b"\x03\x00\x03\x00" + bytes(32))
    assert native.candidate_paths(tmp_path) == [tree / "mine" / "bin" / "liblumitra.so"]
    shutil.copy(real, tree / "native" / "bin" / "liblumitra.so")
    assert native.candidate_paths(tmp_path)[0] == tree / "native" / "bin" / "liblumitra.so"
    assert len(native.candidate_paths(tmp_path)) == 2
