"""Human-readable and JSON forms of records and check results."""

from __future__ import annotations

import math

import numpy as np

from . import optics
from .records import CalibrationRecord, CheckResult, LampInfo, UserLineResult


def describe_record(record: CalibrationRecord) -> str:
    if not record.is_calibrated:
        return (f"{record} (uncalibrated: default dispersion, 656.1 nm at element "
                f"{optics.DEFAULT_MEASURED_POSITION:.3f})")
    p1, p2 = record.positions
    return (f"{record}: {record.wavelength1 / 100:.2f} nm at element {p1:.3f}, "
            f"{record.wavelength2 / 100:.2f} nm at element {p2:.3f}")


NOT_MEASURED = "not measured"
NO_WAVELENGTH = -2**31  # a table entry the library could not compute


def describe_table(table: np.ndarray) -> str:
    missing = int(np.count_nonzero(table[:512] == NO_WAVELENGTH))
    if missing:
        return (f"{NOT_MEASURED} for {missing} of 512 elements (the record gives the library "
                "no wavelength there)")
    nm = table[:512] / 100.0
    steps = np.diff(nm)
    return (f"{nm[0]:.2f} .. {nm[-1]:.2f} nm over 512 elements "
            f"({steps.min():.3f} to {steps.max():.3f} nm per element)")


def _number(value: float, digits: int = 3, sign: bool = False) -> str:
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return NOT_MEASURED
    return f"{value:+.{digits}f}" if sign else f"{value:.{digits}f}"


def check_lines(result: CheckResult, indent: str = "  ") -> list[str]:
    rows = [f"{indent}{'line nm':>8}  {'spectrum':<10} {'measured nm':>11} {'deviation nm':>12} "
            f"{'width nm':>8}  result"]
    for line in sorted(result.lines, key=lambda item: item.reference):
        verdict = "pass" if line.passed else ("FAIL: not found" if not line.located else "FAIL")
        rows.append(f"{indent}{line.reference:>8.1f}  {line.spectrum:<10} "
                    f"{_number(line.measured):>11} {_number(line.deviation, sign=True):>12} "
                    f"{_number(line.width, 2):>8}  {verdict}")
    return rows


def check_summary(result: CheckResult) -> str:
    passed = sum(line.passed for line in result.lines)
    verdict = "PASSED" if result.passed else "FAILED"
    return (f"{result.kind} check, tolerance +/-{result.tolerance:.2f} nm: {verdict} "
            f"({passed} of {len(result.lines)} lines within tolerance)")


def format_check(result: CheckResult, indent: str = "  ") -> str:
    return "\n".join([check_summary(result)] + check_lines(result, indent))


def _json_number(value: float):
    return None if value is None or (isinstance(value, float) and math.isnan(value)) else value


def record_json(record: CalibrationRecord) -> dict:
    return {"wavelength1": record.wavelength1, "position1": record.position1,
            "wavelength2": record.wavelength2, "position2": record.position2}


def check_json(result: CheckResult) -> dict:
    return {
        "kind": result.kind, "record": record_json(result.record),
        "tolerance_nm": result.tolerance, "passed": result.passed,
        "lines": [{"reference_nm": line.reference, "spectrum": line.spectrum,
                   "measured_nm": _json_number(line.measured),
                   "deviation_nm": _json_number(line.deviation),
                   "width_nm": _json_number(line.width), "passed": line.passed}
                  for line in result.lines],
    }


def user_lines_text(results: list[UserLineResult], indent: str = "  ") -> str:
    rows = [f"{indent}{'target nm':>9}  {'kind':<6} {'found nm':>9} {'difference nm':>13} "
            f"{'allowed nm':>10}  result"]
    for line in results:
        rows.append(f"{indent}{line.target:>9.2f}  {'valley' if line.valley else 'peak':<6} "
                    f"{line.found:>9.2f} {line.difference:>+13.2f} {line.allowed_deviation:>10.2f}"
                    f"  {'pass' if line.passed else 'FAIL'}")
    return "\n".join(rows)


def user_lines_json(results: list[UserLineResult]) -> list[dict]:
    return [{"target_nm": r.target, "valley": r.valley, "found_nm": r.found,
             "difference_nm": r.difference, "allowed_deviation_nm": r.allowed_deviation,
             "passed": r.passed} for r in results]


def lamp_text(info: LampInfo, largest: int | None = None) -> str:
    name = {"d2": "deuterium", "w": "tungsten"}[info.lamp]
    band = "200-260 nm" if info.lamp == "d2" else "400-800 nm"
    if info.maximum is None:
        maximum = f"{NOT_MEASURED} (no value in the band)"
    elif info.maximum_wavelength is None:
        maximum = f"{info.maximum:.3f}, at a wavelength {NOT_MEASURED} (the band is flat)"
    else:
        maximum = f"{info.maximum:.3f} at {info.maximum_wavelength:.2f} nm"
    lines = [f"{name} lamp",
             f"  value at {info.reference_wavelength:.0f} nm   "
             f"{_number(info.reference_value)}",
             f"  maximum in {band}   {maximum}"]
    if largest is not None:
        lines.append(f"  largest value (whole number)   {largest}")
    return "\n".join(lines)


def lamp_json(info: LampInfo, largest: int | None = None) -> dict:
    data = {"lamp": info.lamp, "reference_wavelength_nm": info.reference_wavelength,
            "reference_value": info.reference_value, "maximum": info.maximum,
            "maximum_wavelength_nm": info.maximum_wavelength}
    if largest is not None:
        data["largest_value"] = largest
    return data
