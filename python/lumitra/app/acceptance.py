"""Calibration followed by both lamp checks over simulated detectors: the
measurement behind the physical acceptance test and the slit study."""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np

from ..api.calibration import calibrate
from ..api.errors import CalibrationRangeError
from ..api.records import CalibrationRecord
from ..simulator import Detector, true_record_positions
from .demo import run_checks


@dataclass(frozen=True)
class Outcome:
    detector: Detector
    record: CalibrationRecord
    rejected: bool                     # E_CALIBRATION_RANGE
    deviations: dict[float, float]     # reference nm -> deviation nm (both checks)
    passed: bool                       # every line within the tolerance
    position_errors: tuple[float, float]  # record positions less the true ones, elements


def run(detector: Detector, tolerance: float = 1.0) -> Outcome:
    data = detector.measure_all()
    true1, true2 = true_record_positions(detector)
    try:
        record = calibrate(data.d2, data.holmium, dark1=data.dark)
    except CalibrationRangeError as error:
        p1, p2 = error.record.positions
        return Outcome(detector, error.record, True, {}, False, (p1 - true1, p2 - true2))
    deviations = {}
    passed = True
    for result in run_checks(record, data, tolerance):
        for line in result.lines:
            deviations[line.reference] = line.deviation
            passed = passed and line.passed
    p1, p2 = record.positions
    return Outcome(detector, record, False, deviations, passed, (p1 - true1, p2 - true2))


def summary(outcomes: list[Outcome]) -> dict[float, dict[str, float]]:
    """Per line: mean, standard deviation and largest absolute deviation (nm)."""
    lines = sorted({w for o in outcomes for w in o.deviations})
    table = {}
    for w in lines:
        values = np.array([o.deviations[w] for o in outcomes if w in o.deviations])
        table[w] = {"mean": float(np.mean(values)), "sd": float(np.std(values)),
                    "max_abs": float(np.max(np.abs(values))),
                    "p95_abs": float(np.percentile(np.abs(values), 95))}
    return table
