"""The plausibility gates on simulated detectors whose misalignment is known: honest detectors
(shifts -6 to +7 elements, dispersion within +/-0.3 %, slits 2 to 4 nm) get a right record or
the library's own range refusal, and right verdicts; the mistakes people make get no record and
no verdict with exit status 0."""

import numpy as np
import pytest

from lumitra import (CalibrationRangeError, CalibrationRecord, ImplausibleError, InputError,
                     calibrate, calibrate_wide_slit, check_holmium, check_mercury)
from lumitra.api import rules
from lumitra.app.runs import lines_of_check
from lumitra.app.verdicts import Verdict
from lumitra.simulator import Detector, true_record_positions

POSITION_BOUND, BOUND_NM = 0.15, 0.35  # elements, nm: as the physical acceptance finds
rng = np.random.default_rng(31)
HONEST = [Detector(shift=float(shift), slope_error=float(slope), slit=float(slit), seed=i)
          for i, (shift, slope, slit) in enumerate(zip(
              np.r_[-6.0, 7.0, rng.uniform(-6, 7, 22)], np.r_[0.003, -0.003, rng.uniform(
                  -0.003, 0.003, 22)], np.r_[2.0, 4.0, rng.uniform(2, 4, 22)]))]


def true_deviation(detector: Detector, record: CalibrationRecord, nm: float) -> float:
    """What a check with the record should find: the wavelength the record gives the place
    where the detector really has the line, less the line."""
    return float(rules.wavelengths_at(record, detector.position_of(nm))[0]) - nm


@pytest.mark.parametrize("detector", HONEST, ids=lambda d: f"{d.shift:+.2f}/{d.slope_error:+.4f}/"
                                                            f"{d.slit:.1f}")
def test_an_honest_detector_gets_a_right_record_and_right_verdicts(detector):
    data = detector.measure_all()
    true1, true2 = true_record_positions(detector)
    try:
        record = calibrate(data.d2, data.holmium, dark1=data.dark)
    except CalibrationRangeError as error:  # the library's rule, on a record that is right
        assert abs(error.record.positions[0] - true1) < POSITION_BOUND
        assert abs(error.record.positions[1] - true2) < POSITION_BOUND
        assert not rules.range_test(error.record).passed
        record = None
    if record is not None:
        assert abs(record.positions[0] - true1) < POSITION_BOUND
        assert abs(record.positions[1] - true2) < POSITION_BOUND
        for result in (check_holmium(record, data.d2, data.holmium, data.dark),
                       check_mercury(record, data.d2, data.hg1, data.hg2, data.dark)):
            assert Verdict(tuple(lines_of_check(result))).passed, result
    for result in (check_holmium(None, data.d2, data.holmium, data.dark),
                   check_mercury(None, data.d2, data.hg1, data.hg2, data.dark)):
        for line in lines_of_check(result):
            wanted = true_deviation(detector, CalibrationRecord.UNCALIBRATED, line.reference)
            if line.measured_ok:
                assert line.deviation == pytest.approx(wanted, abs=BOUND_NM), line
            else:  # only a line that lies beyond its window may go unmeasured
                assert abs(wanted) > 3.0 and not line.passed, line


@pytest.mark.parametrize("detector", HONEST[:8], ids=lambda d: f"{d.shift:+.2f}/{d.slit:.1f}")
def test_mistakes_get_no_record(detector):
    data = detector.measure_all()
    transmission = 100 * 10 ** (-data.holmium / 1000)
    with pytest.raises(InputError):  # a trace whose bands are minima
        calibrate(data.d2, transmission, dark1=data.dark)
    with pytest.raises(InputError):  # spectrum and dark swapped
        calibrate(data.dark, data.holmium, dark1=data.d2)
    with pytest.raises(InputError):  # the holmium trace as the deuterium spectrum
        calibrate(data.holmium, data.holmium)
    true1, true2 = true_record_positions(detector)
    record = CalibrationRecord(36080, round(true1 * 64) - 40, 65610, round(true2 * 64) - 40)
    moved = calibrate_wide_slit(record, data.d2, dark=data.dark)  # honest: within the bound
    assert abs(moved.positions[1] - true2) < POSITION_BOUND
    for wrong in (data.holmium, data.hg2, data.hg1):
        with pytest.raises((InputError, ImplausibleError)):
            calibrate_wide_slit(record, wrong, dark=data.dark)
