"""Calibration and the wavelength checks through the Python layer: the
combined entry, the user-defined check, statuses as exceptions, no leaks."""

import os

import numpy as np
import pytest

import lumitra
from lumitra import calibration
from lumitra.records import CalibrationRecord, UserLine
from lumitra.simulator import Detector, true_record_positions

pytestmark = pytest.mark.usefixtures("no_leak")


def expected_record(shifted):
    return CalibrationRecord(**shifted["expected"]["calibration"]["record"])


def test_darks_given_or_subtracted_and_a_check_without_holmium(shifted):
    record = lumitra.calibrate(shifted["d2"], shifted["holmium"], dark1=shifted["dark"])
    assert lumitra.calibrate(shifted["d2"] - shifted["dark"], shifted["holmium"]) == record
    d2_only = lumitra.check_holmium(record, shifted["d2"], d2_background=shifted["dark"],
                                    tolerance=0.5)
    assert [line.reference for line in d2_only.lines] == [486.0, 656.1]
    for line in d2_only.lines:
        assert line.passed == (abs(line.deviation) <= 0.5) and 1.5 < line.width < 7.0


def test_combined_entry(shifted):
    d2 = shifted["d2"] - shifted["dark"]
    record, copy1, copy2 = calibration.calibrate_ex(d2, shifted["holmium"], kind=0,
                                                    want_copies=True)
    assert record == expected_record(shifted)
    assert np.array_equal(copy1, d2) and np.array_equal(copy2, shifted["holmium"])
    wide = calibration.calibrate_ex(d2, kind=1, record=record)
    assert wide == lumitra.calibrate_wide_slit(d2, record)
    assert wide.position1 - record.position1 == wide.position2 - record.position2
    with pytest.raises(ValueError, match="kind"):
        calibration.calibrate_ex(d2, shifted["holmium"], kind=2)


def test_wide_slit_recentres_a_record_on_the_true_line():
    """A detector with a wide slit, and a record whose 656.1 nm position is
    40/64 element off: the re-centred record puts the line where it is."""
    detector = Detector(shift=1.5, slit=6.0, seed=3)
    data = detector.measure_all()
    true2 = true_record_positions(detector)[1] * 64
    start = CalibrationRecord(36080, 9400, 65610, round(true2) + 40)
    record = lumitra.calibrate_wide_slit(data.d2, start, dark=data.dark)
    assert abs(record.position2 - true2) <= 6
    assert record.position1 - start.position1 == record.position2 - start.position2


def gaussian(centre, width, height):
    return height * np.exp(-0.5 * ((np.arange(190.0, 801.0) - centre) / width) ** 2)


def test_user_check_on_element_spectra_and_on_the_display_grid(shifted):
    results = lumitra.check_user(expected_record(shifted), shifted["dark"], shifted["hg2"],
                                 [UserLine(435.8, 2.0, 0.3), UserLine(546.1, 2.0, 0.3)])
    assert [r.passed for r in results] == [True, True]
    uncalibrated = lumitra.check_user(None, shifted["dark"], shifted["hg2"], [(435.8, 6.0, 0.3)])
    assert not uncalibrated[0].passed and uncalibrated[0].found > 438.0
    # Large values: the check rounds the spline to whole numbers.
    spectrum = gaussian(400.0, 3.0, 1e5) - gaussian(600.5, 3.0, 1e5)
    peak, valley = lumitra.check_user(None, np.zeros(611), spectrum, [
        UserLine(401.0, 3.0, 1.0), UserLine(600.0, 3.0, 0.4, valley=True)], display=True)
    assert peak.found == pytest.approx(400.0, abs=0.02) and peak.passed
    assert valley.found == pytest.approx(600.5, abs=0.02) and not valley.passed
    with pytest.raises(ValueError, match="option"):
        lumitra.check_user(None, shifted["dark"], shifted["hg2"], [(546.1,)], option=4)


def test_the_refinement_method_needs_its_sibling_library(shifted, lib):
    sibling = os.path.exists(os.path.join(os.path.dirname(lib.path), "libkestrona.so"))
    try:
        record = lumitra.calibrate(shifted["d2"], shifted["holmium"], dark1=shifted["dark"],
                                   method=calibration.REFINEMENT)
        assert sibling and record.wavelength1 == 36080
    except lumitra.FailError:
        assert not sibling
