"""The API: the C header's exports and statuses, where the library is found, and the
wrappers under the leak check, which pass their arguments and read back every result."""

import ctypes
import math
import os
import re
import shutil

import numpy as np
import pytest
from pytest import approx

import lumitra
from conftest import REPOSITORY, run_cli
from lumitra import (AbortError, CalibrationRecord, InvalidArgError, LampInfo, UserLine,
                     calibrate, calibration, check_holmium, check_user, chromatogram,
                     compare_tables, display_table, element_range, errors,
                     filtrate_low_frequency, find_target_element, native, optics, validation,
                     wavelength_table)
from lumitra.chromatogram import (Peak, PeakTable, base_peaks, base_times, base_times_from_rt,
                                  bg_subtracted_spectrum, peak_from_rt)

pytestmark = pytest.mark.usefixtures("no_leak")
HEADER = (REPOSITORY / "include" / "lumitra" / "lumitra.h").read_text()
RT, T3, W3 = (36080, 9545, 65610, 24704), [19000, 19100, 19200], [25400, 28000, 30000]
SPECTRA = {10: [1.0, 2.0, 3.0], 20: [3.0, 2.0, 7.0], 15: [10.0] * 3, 30: [10.0] * 3}
source = {t: (v, W3) for t, v in SPECTRA.items()}.__getitem__  # KeyError for other times
LAMP = np.bincount([20, 40, 60], [9.0, 5.0, 9.0], minlength=611)  # 210, 230, 250 nm: lower wins
GRID, NOISE = np.arange(190.0, 801.0), np.random.default_rng(5).normal(0.0, 100.0, 200)
PEAK_VALLEY = 1e5 * (np.exp(-((GRID - 400) / 3) ** 2 / 2) - np.exp(-((GRID - 600.5) / 3) ** 2 / 2))


def test_exports_are_declared_as_in_the_header_and_each_status_raises_its_class():
    declared = {name: 0 if params.strip() in ("", "void") else params.count(",") + 1
                for name, params in re.findall(
                    r"LUMITRA_(?:CALL|CDECL)\s+(Lumitra_\w+)\s*\(([^;{]*?)\)\s*;", HEADER, re.S)}
    python_side = {n for n in native.EXPORTS if n.startswith("Lumitra_")}
    assert len(declared) == 24 and python_side | set(native.UNREACHABLE_EXPORTS) == set(declared)
    assert not python_side & set(native.UNREACHABLE_EXPORTS)
    for name, count in declared.items():
        if name in native.EXPORTS:
            assert len(native.EXPORTS[name][1]) == count, name
            assert native.library().function(name).argtypes == native.EXPORTS[name][1] or not count
        else:
            assert native.library().has(name), f"{name} should still be exported for C++ hosts"
    codes = re.findall(r"define (E_\w+)\s+\(\(\w+\)0x([0-9A-F]{8})u\)", HEADER)
    assert len(codes) == 7 and errors.check_status(1, "f") == 1  # S_FALSE is passed on
    for name, code in [*((n, int(c, 16)) for n, c in codes), ("0x80001234", 0x80001234)]:
        with pytest.raises(lumitra.LumitraError) as caught:  # the last code is undocumented
            errors.check_status(code - 2**32, "Lumitra_X")
        error, cls = caught.value, type(caught.value)
        assert getattr(lumitra, cls.__name__) is cls
        assert cls.windows_name == (name if name.startswith("E_") else "E_?")
        assert (error.status, error.code, error.name) == (code - 2**32, code, name)
        assert str(error).startswith(f"{name} (0x{code:08X}) from Lumitra_X: ")


def test_a_configured_path_must_exist_and_a_library_without_the_exports_is_named(tmp_path):
    absent = {"LUMITRA_LIBRARY": str(tmp_path / "absent.so")}
    cli = run_cli("table", "--json", env=absent)
    assert (cli.returncode, cli.stderr) == (4, "lumitra: error: LUMITRA_LIBRARY={} is not a "
                                               "file\n".format(absent["LUMITRA_LIBRARY"]))
    assert '"error": "NO_LIBRARY"' in cli.stdout
    assert "library not found" in run_cli("--version", env=absent).stdout
    libm = "/lib/x86_64-linux-gnu/libm.so.6"
    if not os.path.exists(libm):
        pytest.skip("the test uses the x86-64 C math library as a library without exports")
    cli = run_cli("table", env={"LUMITRA_LIBRARY": libm})
    assert cli.returncode == 4 and "no export Lumitra_GetWavelengthTable" in cli.stderr


def test_install_prefix_comes_before_the_build_tree_which_prefers_the_native_build(tmp_path):
    def place(path, content=None):  # a copy of the library, or a file of that content
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(native.library().path, path) if content is None else path.write_bytes(content)
        return path
    tree, prefix = tmp_path / "build", tmp_path / "installed"
    mine = place(tree / "mine/bin/liblumitra.so")
    place(tree / "linux32/bin/liblumitra.so",  # a 32-bit ELF header: the search passes over it
          b"\x7fELF\x01\x01\x01" + bytes(9) + b"\x03\x00\x03\x00" + bytes(32))
    assert native.candidate_paths(tmp_path) == [mine]
    preferred = place(tree / "native/bin/liblumitra.so")
    assert native.candidate_paths(tmp_path)[0] == preferred
    place(prefix / "lib/cmake/Lumitra/LumitraConfig.cmake", b"")
    place(prefix / "lib/cmake/Lumitra/LumitraConfigVersion.cmake",
          b'set(PACKAGE_VERSION "9.8.7.6")\n')
    place(tree / "native/CMakeCache.txt", f"CMAKE_INSTALL_PREFIX:PATH={prefix}\n".encode())
    installed = place(prefix / "lib/liblumitra.so")
    assert native.installed_paths(tmp_path)[0] == installed
    assert native.library_version(installed) == "9.8.7.6"


def subtracted(spectra, time, *selectors):
    return tuple(a.tolist() for a in bg_subtracted_spectrum(spectra, time, 10, 20, *selectors))


def peaks(*flags):
    """Peak k (from 1) has its top at 100k and runs from 100k - 90 to 100k - 10."""
    return PeakTable([Peak(f, 100 * k, 100 * k - 90, 100 * k - 10) for k, f in enumerate(flags, 1)])


GROUPED, TWO = peaks(0x10, 0x110, 0, 0x100), peaks(0x10, 0x10)
# (case, call on the shifted example's spectra, its result or the error it raises)
CALLS = [
    ("a table in multiples", lambda s: wavelength_table(multiple=3).size, 1536),
    ("the display grid twice", lambda s: display_table(multiple=2)[[0, 610, 1221]].tolist(), [19000, 80000, 0]),
    ("a multiple of 0", lambda s: wavelength_table(multiple=0), ValueError),
    ("a common stretch", lambda s: compare_tables(T3 + [19300], T3[1:]), (1, 2, 0)),
    ("no common stretch", lambda s: compare_tables(T3[:2], [19200, 19300]), None),
    ("equal tables", lambda s: compare_tables(wavelength_table(), wavelength_table()), (0, 511, 0)),
    ("the nearest entry", lambda s: find_target_element(19050, T3), 1),
    ("no entry to be near", lambda s: find_target_element(19000, []), 0),
    ("a range between exchanged wavelengths", lambda s: element_range(19150, 19050, T3), (0, 2)),
    ("a range in no entries", lambda s: element_range(19000, 19100, []), InvalidArgError),
    ("maximum voltages, truncated", lambda s: [lumitra.max_voltage(v) for v in ([1.9, 2.7, -3.0], [-0.5])], [2, 0]),
    ("a deuterium lamp on the display grid", lambda s: lumitra.lamp_info("d2", LAMP), LampInfo("d2", 230.0, 5.0, 9.0, 210.0)),
    ("a tungsten band beyond the points", lambda s: lumitra.lamp_info("w", [1.0] * 3, [180.0, 190.0, 200.0]), LampInfo("w", 600.0, None, None, None)),
    # 0x110 starts no base of its own and the trailing 0x100 peak is left out.
    ("the base of a group", lambda s: [base_peaks(GROUPED, 1), base_times(GROUPED, 1)], [(1, 3), (10, 290)]),
    ("a base of its own", lambda s: [base_peaks(TWO, 2), base_times(TWO, 2), base_times_from_rt(TWO, 150)], [(2, 2), (110, 190), (110, 190)]),
    ("peaks at times", lambda s: [peak_from_rt(TWO, 110), peak_from_rt(TWO, 95), peak_from_rt(TWO, 95, True)], [2, 0, 1]),
    ("an empty peak table", lambda s: base_peaks(PeakTable([]), 1), AbortError),
    ("a peak beyond the table", lambda s: base_peaks(TWO, 3), InvalidArgError),
    ("a peak beyond 32 bits", lambda s: base_peaks(TWO, 2**32 + 1), ValueError),
    ("a background extrapolated", lambda s: subtracted(source, 30), ([5.0, 8.0, -1.0], W3)),
    ("a status from the source", lambda s: subtracted(lambda t: errors.E_ABORT if t == 20 else source(t), 15), AbortError),
    ("the source's own error", lambda s: subtracted(lambda t: source(99 if t == 20 else t), 15), KeyError),
    ("a NaN to the filter", lambda s: filtrate_low_frequency([1.0, math.nan], 1), ValueError),
    # Each value less the mean of its clipped window: as the library filters, so validation
    # filters the traces it searches for the holmium bands.
    *((f"the filter of {n} values over {h} on either side",
       lambda s, n=n, h=h: filtrate_low_frequency(NOISE[:n], h),
       approx(validation.low_frequency_filtered(NOISE[:n], h), abs=1e-9))
      for n, h in ((1, 3), (50, 0), (40, 100), (200, 17))),
    ("a check without holmium", lambda s: [(x.reference, x.passed == (abs(x.deviation) <= 0.5), 1.5 < x.width < 7) for x in check_holmium(RT, s["d2"], d2_background=s["dark"], tolerance=0.5).lines], [(486.0, True, True), (656.1, True, True)]),
    ("a user check of element spectra", lambda s: [r.passed for r in check_user(RT, s["dark"], s["hg2"], [UserLine(435.8, 2, 0.3), UserLine(546.1, 2, 0.3)])], [True, True]),
    ("an uncalibrated user check", lambda s: [(r.passed, r.found > 438.0) for r in check_user(None, s["dark"], s["hg2"], [(435.8, 6.0, 0.3)])], [(False, True)]),
    # Large values: the check rounds the spline to whole numbers.
    ("a peak and a valley on the display grid", lambda s: [(r.found, r.passed) for r in check_user(None, np.zeros(611), PEAK_VALLEY, [UserLine(401.0, 3.0, 1.0), UserLine(600.0, 3.0, 0.4, valley=True)], display=True)], [(approx(400.0, abs=0.02), True), (approx(600.5, abs=0.02), False)]),
    ("a user check option beyond 3", lambda s: check_user(None, s["dark"], s["hg2"], [(546.1,)], option=4), ValueError),
    ("a combined entry of an unknown kind", lambda s: calibration.calibrate_ex(s["d2"], s["holmium"], kind=2), ValueError),
]


@pytest.mark.parametrize("call, result", [c[1:] for c in CALLS], ids=[c[0] for c in CALLS])
def test_call_gives_its_result(call, result, shifted):
    if isinstance(result, type) and issubclass(result, Exception):
        pytest.raises(result, call, shifted)
    else:
        assert call(shifted) == result


@pytest.mark.parametrize("record", [
    None, (36080, 9376, 65610, 24528), CalibrationRecord(36080, 9545, 65610, 24704),
    CalibrationRecord(36080, 8998, 65610, 24128), (48600, 15000, 65610, 24400)], ids=str)
def test_table_and_elements_follow_the_model(record):
    """Element wavelengths (truncated to 0.01 nm) and positions; tuples and None are records."""
    slope, model, measured = optics.decode_calibration(
        CalibrationRecord(*record) if isinstance(record, tuple) else record)
    table, lines = wavelength_table(record), (190.0, 253.7, 360.8, 486.0, 656.1, 800.0)
    assert table.dtype == np.int32 and table.tolist() == [optics.truncate_int32(
        optics.position_to_wavelength(float(e), slope, model, measured) * 100)
        for e in range(1, 513)]
    assert np.array_equal(display_table(record, display=False), table)
    assert [lumitra.corrected_element(nm, record) for nm in lines] == [
        optics.calibrated_position(nm, model, measured, slope) for nm in lines]


def test_splines_keep_their_knots():
    y = np.random.default_rng(5).integers(-5000, 5000, 40)
    out_x, out_y = lumitra.spline_substeps(np.arange(1.0, 41.0), y, 64)
    assert out_x.size == out_y.size == 40 * 64 + 1 and np.array_equal(out_y[:39 * 64:64], y[:39])
    x = np.arange(1.0, 11.0)
    out_x, out_y = lumitra.spline_midpoints(x, (x ** 2 * 10).astype(np.int32))
    assert out_x == approx(np.linspace(1.0, 10.0, 73))
    assert out_y[::8].tolist() == (x ** 2 * 10).astype(int).tolist()


def test_selectors_reach_the_source_and_uv_data_need_the_sibling_library(monkeypatch):
    made = []
    monkeypatch.setattr(chromatogram, "_DataSource", lambda f, new=chromatogram._DataSource:
                        made.append(new(f)) or made[-1])
    assert subtracted(source, 15, -2, 0xFFFE)[0] == [8.0, 8.0, 5.0]
    assert made[0].calls == [(t, -2, 0, 0xFFFE, 1) for t in (15, 10, 20)]
    sibling = os.path.join(os.path.dirname(native.library().path), "libvarnex2.so")
    if not os.path.exists(sibling):
        pytest.raises(lumitra.UnexpectedError, chromatogram.bg_subtracted_uv_spec_data, source,
                      15, 10, 20)
        return
    record = chromatogram.bg_subtracted_uv_spec_data(source, 15, 10, 20)
    try:
        assert [(record.values[i], record.wavelengths[i]) for i in range(3)] == list(
            zip([8.0, 8.0, 5.0], W3))
    finally:
        ctypes.CDLL(sibling).Tool_FreeUVSpecData(ctypes.byref(record))


def test_the_combined_entry_copies_and_moves_and_refinement_needs_its_sibling(shifted):
    d2 = shifted["d2"] - shifted["dark"]
    record, copy1, copy2 = calibration.calibrate_ex(d2, shifted["holmium"], kind=0,
                                                    want_copies=True)
    assert record == CalibrationRecord(**shifted["expected"]["calibration"]["record"])
    assert np.array_equal(copy1, d2) and np.array_equal(copy2, shifted["holmium"])
    wide = calibration.calibrate_ex(d2, kind=1, record=record)  # the wide-slit record
    assert wide == lumitra.calibrate_wide_slit(shifted["d2"], record, dark=shifted["dark"])
    assert wide.position1 - record.position1 == wide.position2 - record.position2
    sibling = os.path.exists(os.path.join(os.path.dirname(native.library().path), "libkestrona.so"))
    try:
        refined = calibrate(shifted["d2"], shifted["holmium"], dark1=shifted["dark"],
                            method=calibration.REFINEMENT).wavelength1
    except lumitra.FailError:
        refined = None
    assert (refined == 36080) == sibling
