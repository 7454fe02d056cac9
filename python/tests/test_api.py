"""The API: the C headers' exports and statuses, the numbers read from the library against
what the library does with them, where the library comes from, and the wrappers under the
leak check, which pass their arguments and read back every result."""

import math
import os
import re

import numpy as np
import pytest
from pytest import approx

import lumitra
from conftest import REPOSITORY, run_cli
from lumitra import (AbortError, CalibrationRecord, InvalidArgError, LampInfo, UserLine,
                     calibrate, check_holmium, check_mercury, check_user, compare_tables,
                     display_table, element_range, filtrate_low_frequency, find_target_element,
                     wavelength_table)
from lumitra.api import calibration, checks, chromatogram, errors, evidence, native, rules
from lumitra.api.chromatogram import (Peak, PeakTable, base_peaks, base_times,
                                      base_times_from_rt, bg_subtracted_spectrum, peak_from_rt)

pytestmark = pytest.mark.usefixtures("no_leak")
HEADERS = {name: (REPOSITORY / "include" / "lumitra" / f"{name}.h").read_text()
           for name in ("lumitra", "lumitra_rules")}
RT, T3, W3 = (36080, 9545, 65610, 24704), [19000, 19100, 19200], [25400, 28000, 30000]
SPECTRA = {10: [1.0, 2.0, 3.0], 20: [3.0, 2.0, 7.0], 15: [10.0] * 3, 30: [10.0] * 3}
source = {t: (v, W3) for t, v in SPECTRA.items()}.__getitem__  # KeyError for other times
LAMP = np.bincount([20, 40, 60], [9.0, 5.0, 9.0], minlength=611)  # 210, 230, 250 nm: lower wins
GRID, NOISE = np.arange(190.0, 801.0), np.random.default_rng(5).normal(0.0, 100.0, 200)
PEAK_VALLEY = 1e5 * (np.exp(-((GRID - 400) / 3) ** 2 / 2) - np.exp(-((GRID - 600.5) / 3) ** 2 / 2))


def declared(header: str, prefix: str) -> dict:
    """Export name: argument count, as a header declares them."""
    return {name: 0 if params.strip() in ("", "void") else params.count(",") + 1
            for name, params in re.findall(
                rf"LUMITRA_API\s+[\w\s*]+?(?:LUMITRA_(?:CALL|CDECL)\s+)?({prefix}\w+)\s*"
                r"\(([^;{]*?)\)\s*;", header, re.S)}


def test_exports_are_declared_as_in_the_headers_and_each_status_raises_its_class():
    exports = declared(HEADERS["lumitra"], "Lumitra_")
    linux_only = declared(HEADERS["lumitra_rules"], "Lumitra(?:Info|Model|Rules)_")
    python_side = {n for n in native.EXPORTS if n.startswith("Lumitra")} - {
        "LumitraDiagnostics_OutstandingTaskMemory"}
    assert len(exports) == 24 and len(linux_only) == 9
    assert python_side | set(native.UNREACHABLE_EXPORTS) == set(exports) | set(linux_only)
    for name, count in {**exports, **linux_only}.items():
        if name in native.EXPORTS:
            assert len(native.EXPORTS[name][1]) == count, name
            function = native.library().function(name)
            assert function.argtypes == native.EXPORTS[name][1] or not count
            assert (function.errcheck is native._raise_on_failure) == (
                native.EXPORTS[name][2] == native.STATUS), name
    codes = re.findall(r"define (E_\w+)\s+\(\(\w+\)0x([0-9A-F]{8})u\)", HEADERS["lumitra"])
    assert len(codes) == 7 and native._raise_on_failure(1, print, ()) == 1  # S_FALSE passes
    for name, code in [*((n, int(c, 16)) for n, c in codes), ("0x80001234", 0x80001234)]:
        with pytest.raises(lumitra.LumitraError) as caught:  # the last code is undocumented
            native._raise_on_failure(code - 2**32, native.library().function(
                "Lumitra_GetMaxVoltage"), ())
        error, cls = caught.value, type(caught.value)
        assert getattr(lumitra, cls.__name__) is cls
        assert cls.windows_name == (name if name.startswith("E_") else "E_?")
        assert (error.status, error.code, error.name) == (code - 2**32, code, name)
        assert str(error).startswith(f"{name} (0x{code:08X}) from Lumitra_GetMaxVoltage: ")


def test_the_library_is_named_by_the_environment_or_refused_in_one_line(tmp_path):
    absent = {"LUMITRA_LIBRARY": str(tmp_path / "absent.so")}
    for args in (["table", "--json"], ["--version"]):
        cli = run_cli(*args, env=absent)
        assert (cli.returncode, cli.stderr) == (4, "lumitra: error: LUMITRA_LIBRARY='{}' names "
                                                   "no library file\n".format(absent[
                                                       "LUMITRA_LIBRARY"])), cli
    libm = "/lib/x86_64-linux-gnu/libm.so.6"
    if os.path.exists(libm):
        cli = run_cli("table", env={"LUMITRA_LIBRARY": libm})
        assert cli.returncode == 4 and "has no export Lumitra_GetWavelengthTable" in cli.stderr, cli
    version = run_cli("--version")
    assert version.returncode == 0 and version.stdout.startswith(f"lumitra {lumitra.__version__}")
    assert f"library {native.library().version} at {native.library().path}" in version.stdout


# The records of a simulated population of lines: what the library reads as limits and
# windows is what it decides with.
def test_the_numbers_read_from_the_library_are_those_it_decides_with(shifted):
    limits = rules.limits()
    assert limits.display_grid.tolist() == (display_table()[:limits.display_grid_count]
                                            / 100).tolist()
    record = CalibrationRecord(*RT)
    elements = limits.elements
    table = wavelength_table(record)
    assert np.array_equal(np.trunc(rules.wavelengths_at(record, elements) * 100).astype(int),
                          table) and table.size == limits.element_count
    nm = np.array([190.0, 253.7, 360.8, 486.0, 656.1, 800.0])
    assert rules.positions_of(record, nm).tolist() == [
        lumitra.corrected_element(w, record) for w in nm]
    # The search windows hold what the checks measured, at the sample the library chose.
    d2 = shifted["d2"] - shifted["dark"]
    result = check_mercury(record, shifted["d2"], shifted["hg1"], shifted["hg2"], shifted["dark"])
    searches = rules.describe_searches(rules.MERCURY_CHECK, record,
                                       [d2, shifted["hg1"] - shifted["dark"],
                                        shifted["hg2"] - shifted["dark"]])
    assert [s.reference for s in searches] == [line.reference for line in result.lines]
    for search, line in zip(searches, result.lines):
        low, high = rules.wavelengths_at(record, [search.first_position, search.last_position])
        assert low < line.measured < high and search.first_sample < search.found_sample \
            < search.last_sample and abs(search.found_position - rules.positions_of(
                record, [line.measured])[0]) < 0.5, search
    ho = rules.describe_searches(rules.HOLMIUM_CHECK, record, [d2, shifted["holmium"]])
    measured = check_holmium(record, shifted["d2"], shifted["holmium"], shifted["dark"])
    for search in ho[2:]:  # the holmium bands: their window maximum is the measured position
        assert rules.wavelengths_at(record, [search.found_position])[0] == approx(
            measured.line(search.reference).measured, abs=1e-9)
        assert search.filter_half_width == limits.filter_half_width
    # The calibration's searches find the record the calibration writes.
    found = rules.describe_searches(rules.CALIBRATION, CalibrationRecord.UNCALIBRATED,
                                    [d2, shifted["holmium"]])
    assert {s.reference: round(s.found_position * 64) for s in found} == {656.1: RT[3],
                                                                          360.8: RT[1]}
    # The range test is the calibration's.
    assert rules.range_test(record).passed and rules.range_test(record).failures() == []
    low = rules.range_test(CalibrationRecord(36080, 8998, 65610, 24128))
    assert not low.passed and low.low_position < limits.range_low[1]


def test_a_record_is_four_integers_given_first_and_put_in_increasing_order(shifted):
    with pytest.raises(TypeError):
        CalibrationRecord(1, 2, 3)
    for bad in ((1, 2, 3, 4.5), (1, 2, 3, "4"), (1, 2, 3, True), "36080 9545 65610 24704",
                (1, 2, 3)):
        with pytest.raises(ValueError):
            lumitra.record(bad)
    assert lumitra.record((65610, 24704, 36080, 9545)) == CalibrationRecord(*RT)
    new = lumitra.calibrate_wide_slit((65610, 24660, 36080, 9500), shifted["d2"],
                                      dark=shifted["dark"])
    assert new == CalibrationRecord(36080, 9544, 65610, 24704)
    for values in (shifted["d2"] + 0j, shifted["d2"].astype(str), [True] * 512):
        with pytest.raises(ValueError, match="real numbers"):
            check_holmium(RT, values)
    with pytest.raises(ValueError, match="not a number"):
        check_holmium(RT, shifted["d2"], tolerance=1 + 0j)


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
    ("a target beyond 32 bits", lambda s: find_target_element(2**32 + 19050, T3), ValueError),
    ("a table of fractions", lambda s: compare_tables([19000.5], [1]), ValueError),
    ("a range between exchanged wavelengths", lambda s: element_range(19150, 19050, T3), (0, 2)),
    ("a range in no entries", lambda s: element_range(19000, 19100, []), InvalidArgError),
    ("maximum voltages, truncated", lambda s: [lumitra.max_voltage(v) for v in ([1.9, 2.7, -3.0], [-0.5])], [2, 0]),
    ("no values for the maximum", lambda s: lumitra.max_voltage([]), ValueError),
    ("a deuterium lamp on the display grid", lambda s: lumitra.lamp_info("d2", LAMP), LampInfo("d2", 230.0, 5.0, 9.0, 210.0)),
    ("a tungsten band beyond the points", lambda s: lumitra.lamp_info("w", [1.0] * 3, [180.0, 190.0, 200.0]), LampInfo("w", 600.0, None, None, None)),
    ("lamp spectra around their reference", lambda s: [lumitra.lamp_info("d2", [1.0, 2.0, 3.0], w).reference_value for w in ([230.0, 240.0, 250.0], [210.0, 220.0, 230.0], [210.0, 220.0, 230.01])], [1.0, None, 3.0]),
    ("too few lamp points", lambda s: lumitra.lamp_info("w", [1.0] * 2, [500.0, 600.0]), ValueError),
    # 0x110 starts no base of its own and the trailing 0x100 peak is left out.
    ("the base of a group", lambda s: [base_peaks(GROUPED, 1), base_times(GROUPED, 1)], [(1, 3), (10, 290)]),
    ("a base of its own", lambda s: [base_peaks(TWO, 2), base_times(TWO, 2), base_times_from_rt(TWO, 150)], [(2, 2), (110, 190), (110, 190)]),
    ("peaks at times", lambda s: [peak_from_rt(TWO, 110), peak_from_rt(TWO, 95), peak_from_rt(TWO, 95, True)], [2, 0, 1]),
    ("an empty peak table", lambda s: base_peaks(PeakTable([]), 1), AbortError),
    ("a peak beyond the table", lambda s: base_peaks(TWO, 3), InvalidArgError),
    ("a peak beyond 32 bits", lambda s: base_peaks(TWO, 2**32 + 1), ValueError),
    ("a background extrapolated", lambda s: subtracted(source, 30), ([5.0, 8.0, -1.0], W3)),
    ("a spectrum of one point", lambda s: subtracted(lambda t: ([float(t)], [25400]), 15), ([0.0], [25400])),
    ("a selector beyond 16 bits", lambda s: subtracted(source, 15, 2**15, 0), ValueError),
    ("an unsigned selector beyond 16 bits", lambda s: subtracted(source, 15, 0, 2**16), ValueError),
    ("a negative unsigned selector", lambda s: subtracted(source, 15, 0, -1), ValueError),
    ("a status from the source", lambda s: subtracted(lambda t: errors.E_ABORT if t == 20 else source(t), 15), AbortError),
    ("the source's own error", lambda s: subtracted(lambda t: source(99 if t == 20 else t), 15), KeyError),
    ("a NaN to the filter", lambda s: filtrate_low_frequency([1.0, math.nan], 1), ValueError),
    ("the filter without a window", lambda s: filtrate_low_frequency(NOISE[:50], 0).tolist(), NOISE[:50].tolist()),
    ("the filter of a line", lambda s: filtrate_low_frequency([0.0, 0.0, 3.0, 0.0, 0.0], 1).tolist(), [0.0, -1.0, 2.0, -1.0, 0.0]),
    ("a check without holmium", lambda s: [(x.reference, x.passed == (abs(x.deviation) <= 0.5), 1.5 < x.width < 7) for x in check_holmium(RT, s["d2"], d2_background=s["dark"], tolerance=0.5).lines], [(486.0, True, True), (656.1, True, True)]),
    ("a user check of element spectra", lambda s: [r.passed for r in check_user(RT, s["dark"], s["hg2"], [UserLine(435.8, 2, 0.3), UserLine(546.1, 2, 0.3)])], [True, True]),
    ("a user line not in its window", lambda s: [(r.passed, r.found, "not inside" in r.problem) for r in check_user(None, s["dark"], s["hg2"], [(435.8, 1.5, 0.3)])], [(False, None, True)]),
    # Large values: the check rounds the spline to whole numbers.
    ("a peak and a valley on the display grid", lambda s: [(r.found, r.passed) for r in check_user(None, np.zeros(611), PEAK_VALLEY, [UserLine(401.0, 3.0, 1.0), UserLine(600.0, 3.0, 0.4, valley=True)], display=True)], [(approx(400.0, abs=0.02), True), (approx(600.5, abs=0.02), False)]),
    ("a user check option beyond 3", lambda s: check_user(None, s["dark"], s["hg2"], [(546.1,)], option=4), ValueError),
    ("user windows reaching the grid's ends", lambda s: [(x.target, x.half_window) for x in checks.user_lines([(192.0, 2.0, 1.0), (797.0, 3.0, 1.0)])], [(192.0, 2.0), (797.0, 3.0)]),
    ("a user window beyond the grid", lambda s: checks.user_lines([(191.9, 2.0, 1.0)]), ValueError),
    ("five user lines", lambda s: check_user(None, s["dark"], s["hg2"], [(546.1,)] * 5), ValueError),
    ("a combined entry of an unknown kind", lambda s: calibration.calibrate_ex(s["d2"], s["holmium"], kind=2), ValueError),
]


@pytest.mark.parametrize("call, result", [c[1:] for c in CALLS], ids=[c[0] for c in CALLS])
def test_call_gives_its_result(call, result, shifted):
    if isinstance(result, type) and issubclass(result, Exception):
        pytest.raises(result, call, shifted)
    else:
        assert call(shifted) == result


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
    subtracted(source, 15)
    assert made[1].calls == [(t, 0, 0, 0, 1) for t in (15, 10, 20)]
    # Nothing but the library lies beside it: the sibling is not found.
    assert not os.path.exists(os.path.join(os.path.dirname(native.library().path),
                                           "libvarnex2.so"))
    pytest.raises(lumitra.UnexpectedError, chromatogram.bg_subtracted_uv_spec_data, source,
                  15, 10, 20)


def test_the_combined_entry_copies_and_moves_and_refinement_needs_its_sibling(shifted):
    d2 = shifted["d2"] - shifted["dark"]
    record, copy1, copy2 = calibration.calibrate_ex(d2, shifted["holmium"], kind=0,
                                                    want_copies=True)
    assert record == CalibrationRecord(**shifted["expected"]["calibration"]["record"])
    assert np.array_equal(copy1, d2) and np.array_equal(copy2, shifted["holmium"])
    wide = calibration.calibrate_ex(d2, kind=1, record=record)  # the wide-slit record
    assert wide == lumitra.calibrate_wide_slit(record, shifted["d2"], dark=shifted["dark"])
    assert wide.position1 - record.position1 == wide.position2 - record.position2
    with pytest.raises(lumitra.FailError):  # no sibling beside the library
        calibrate(shifted["d2"], shifted["holmium"], dark1=shifted["dark"],
                  method=calibration.REFINEMENT)


def test_noise_and_evidence_judge_what_a_line_must_show():
    rng = np.random.default_rng(3)
    assert evidence.noise(rng.normal(0, 2.0, 4000)) == approx(2.0, rel=0.05)
    y = np.zeros(101)
    y[50] = 100.0
    judge = lambda values, found, **kw: evidence.judge_extreme(  # noqa: E731
        values, 40, 60, found, sigma=1.0, span=20, **kw)
    assert judge(y, 50) is None
    y[40] = 200.0  # a line on the window's first sample, falling on either side
    assert judge(y, 40) is None
    assert "within the noise" in judge(y * 0.05, 50)
    assert "beyond the window" in judge(np.arange(101.0), 60)
    assert "flat" in judge(np.ones(101), 40)
    assert "rises above 5" in judge(np.zeros(101), None, floor=5.0)
    assert evidence.polarity_problem(np.array([-3.0, 1.0]), 1.0, True).startswith(
        "the strongest feature there is a minimum")
    assert evidence.polarity_problem(np.array([-1.0, 3.0]), 3.0, True) is None
    assert evidence.polarity_problem(np.array([5.0, -9.0, 6.0, 4.0]), 6.0, False) is not None
    assert evidence.polarity_problem(np.array([900.0, -1.0, 4.0]), 900.0, False) is None
    clipped = np.array([1.0, 5.0, 9.0, 9.0, 4.0])
    assert "elements 3..4" in evidence.saturation_problem(clipped, 1, 5)
    assert evidence.saturation_problem(clipped, 1, 2) is None
    assert evidence.saturation_problem(np.array([1.0, 9.0, 2.0, 9.0]), 1, 4) is None
