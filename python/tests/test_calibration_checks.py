"""Calibration and the wavelength checks through the Python layer: the
example data sets, the combined entry, statuses as exceptions, no leaks."""

import json
import math

import numpy as np
import pytest

import lumitra
from conftest import EXAMPLES
from lumitra import calibration, report, spectra_io
from lumitra.records import CalibrationRecord, UserLine

pytestmark = pytest.mark.usefixtures("no_leak")

SHIFTED = EXAMPLES / "shifted-detector"


@pytest.fixture(scope="module")
def shifted():
    data = {name: spectra_io.read_element_spectrum(SHIFTED / f"{name}.csv")
            for name in ("dark", "d2", "holmium", "hg1", "hg2")}
    data["expected"] = json.loads((SHIFTED / "expected.json").read_text())
    return data


def expected_record(shifted):
    return CalibrationRecord(**shifted["expected"]["calibration"]["record"])


def test_the_example_calibrates_to_its_record(shifted):
    record = lumitra.calibrate(shifted["d2"], shifted["holmium"], dark1=shifted["dark"])
    assert record == expected_record(shifted)
    # Subtracting the dark beforehand is the same as passing it.
    assert lumitra.calibrate(shifted["d2"] - shifted["dark"], shifted["holmium"]) == record


@pytest.mark.parametrize("label, record_of", [
    ("checks_with_default_record", lambda s: None),
    ("checks_with_new_record", expected_record),
])
def test_the_example_checks_give_their_results(shifted, label, record_of):
    record = record_of(shifted)
    holmium = lumitra.check_holmium(record, shifted["d2"], shifted["holmium"],
                                    d2_background=shifted["dark"], tolerance=1.0)
    mercury = lumitra.check_mercury(record, shifted["d2"], shifted["hg1"], shifted["hg2"],
                                    background=shifted["dark"], tolerance=1.0)
    assert report.check_json(holmium) == shifted["expected"][label]["holmium"]
    assert report.check_json(mercury) == shifted["expected"][label]["mercury"]
    assert holmium.passed == mercury.passed == (record is not None)


def test_check_details(shifted):
    record = expected_record(shifted)
    d2_only = lumitra.check_holmium(record, shifted["d2"], d2_background=shifted["dark"])
    assert [line.reference for line in d2_only.lines] == [486.0, 656.1]
    full = lumitra.check_holmium(record, shifted["d2"], shifted["holmium"],
                                 d2_background=shifted["dark"], tolerance=-0.5)
    assert full.tolerance == 0.5
    for line in full.lines:
        assert line.measured - line.reference == pytest.approx(line.deviation, abs=1e-12)
        assert line.passed == (abs(line.deviation) <= 0.5)
        assert 1.5 < line.width < 7.0
    assert d2_only.lines == full.lines[:2]


def test_combined_entry(shifted):
    d2 = shifted["d2"] - shifted["dark"]
    record, copy1, copy2 = calibration.calibrate_ex(d2, shifted["holmium"], kind=0,
                                                    want_copies=True)
    assert record == expected_record(shifted)
    assert np.array_equal(copy1, d2) and np.array_equal(copy2, shifted["holmium"])
    wide = calibration.calibrate_ex(d2, kind=1, record=record)
    assert wide == lumitra.calibrate_wide_slit(d2, record)
    assert wide.position1 - record.position1 == wide.position2 - record.position2
    with pytest.raises(lumitra.InvalidArgError):
        calibration.calibrate_ex(d2, shifted["holmium"], kind=2)


def test_wide_slit_recentres_a_record_on_the_true_line():
    """A detector with a wide slit, and a record whose 656.1 nm position is
    40/64 element off: the re-centred record puts the line where it is."""
    from lumitra.simulator import Detector, true_record_positions
    detector = Detector(shift=1.5, slit=6.0, seed=3)
    data = detector.measure_all()
    true2 = true_record_positions(detector)[1] * 64
    start = CalibrationRecord(36080, 9400, 65610, round(true2) + 40)
    record = lumitra.calibrate_wide_slit(data.d2 - data.dark, start)
    assert abs(record.position2 - true2) <= 6
    assert record.position1 - start.position1 == record.position2 - start.position2


def test_spectra_of_the_wrong_length_are_refused_before_the_call(shifted):
    with pytest.raises(ValueError, match="spectrum2: expected 512 values, got 511"):
        lumitra.calibrate(shifted["d2"], shifted["holmium"][:511])


def gaussian(centre, width, height=1000.0, grid=None):
    grid = np.arange(190.0, 801.0) if grid is None else grid
    return height * np.exp(-0.5 * ((grid - centre) / width) ** 2)


def test_user_check_on_element_spectra(shifted):
    record = expected_record(shifted)
    results = lumitra.check_user(record, shifted["dark"], shifted["hg2"],
                                 [UserLine(435.8, 2.0, 0.3), UserLine(546.1, 2.0, 0.3)])
    assert [r.passed for r in results] == [True, True]
    for r in results:
        assert r.difference == pytest.approx(r.target - r.found)
    uncalibrated = lumitra.check_user(None, shifted["dark"], shifted["hg2"],
                                      [(435.8, 6.0, 0.3)])
    assert not uncalibrated[0].passed and uncalibrated[0].found > 438.0


def test_user_check_peaks_and_valleys_on_the_display_grid():
    zero = np.zeros(611)
    # Large values: the check rounds the spline to whole numbers, and ties
    # keep the lowest wavelength of a flat top.
    spectrum = gaussian(400.0, 3.0, 1e5) - gaussian(600.5, 3.0, 1e5)
    peak, valley = lumitra.check_user(None, zero, spectrum, [
        UserLine(401.0, 3.0, 1.0), UserLine(600.0, 3.0, 0.4, valley=True)], display=True)
    assert peak.found == pytest.approx(400.0, abs=0.02) and peak.passed
    assert valley.found == pytest.approx(600.5, abs=0.02) and not valley.passed


@pytest.mark.parametrize("lines, option, error", [
    ([UserLine(1000.0)], 0, lumitra.FailError),            # beyond 800 nm
    ([UserLine(190.05, 0.06)], 0, lumitra.FailError),       # window starts below 190 nm
    ([UserLine(500.0)], 4, lumitra.InvalidArgError),         # option outside 0..3
    ([UserLine(500.0, -0.01)], 0, lumitra.InvalidArgError),  # negative window
])
def test_user_check_statuses(lines, option, error):
    with pytest.raises(error):
        lumitra.check_user(None, np.zeros(512), np.ones(512), lines, option=option)
    with pytest.raises(ValueError):
        lumitra.check_user(None, np.zeros(512), np.ones(512), [])


def test_a_line_without_width_is_reported_not_found(shifted):
    """A record with a negative slope makes the wavelengths fall along the
    array: no line has a half-height width there, so none is located."""
    backwards = CalibrationRecord(36080, 24704, 65610, 9545)
    result = lumitra.check_mercury(backwards, shifted["d2"], shifted["hg1"], shifted["hg2"],
                                   background=shifted["dark"])
    assert len(result.lines) == 6
    for line in result.lines:
        assert not line.located and not line.passed and line.width == 0.0
        assert math.isnan(line.deviation)
    assert not result.passed and math.isnan(result.max_abs_deviation)


def test_the_refinement_method_needs_its_sibling_library(shifted, lib):
    from pathlib import Path
    sibling = Path(lib.path).parent / "libkestrona.so"
    if sibling.exists():
        record = lumitra.calibrate(shifted["d2"], shifted["holmium"], dark1=shifted["dark"],
                                   method=calibration.REFINEMENT)
        assert record.wavelength1 == 36080
    else:
        with pytest.raises(lumitra.FailError):
            lumitra.calibrate(shifted["d2"], shifted["holmium"], dark1=shifted["dark"],
                              method=calibration.REFINEMENT)
