"""Wavelength accuracy checks: holmium filter, mercury lamp, lines of your own."""

from __future__ import annotations

import math
from ctypes import byref


from . import _buffers, native
from .errors import check_status
from .records import CalibrationRecord, CheckLine, CheckResult, UserLine, UserLineResult

DEFAULT_TOLERANCE = 1.0  # nm

HOLMIUM_LINES = ((486.0, "deuterium"), (656.1, "deuterium"), (287.6, "holmium"),
                 (360.8, "holmium"))
MERCURY_LINES = ((486.0, "deuterium"), (656.1, "deuterium"), (253.7, "mercury 1"),
                 (404.7, "mercury 2"), (435.8, "mercury 2"), (546.1, "mercury 2"))

_NOT_EVALUATED = -1  # withinTolerance value the library never writes


def _blank_result() -> native.WavelengthCheckResult:
    result = native.WavelengthCheckResult()
    for i in range(8):
        result.measuredWavelength[i] = math.nan
        result.deviation[i] = math.nan
        result.lineWidth[i] = math.nan
        result.withinTolerance[i] = _NOT_EVALUATED
    return result


def _lines(result: native.WavelengthCheckResult, names) -> tuple[CheckLine, ...]:
    lines = []
    for i in range(result.lineCount):
        if result.withinTolerance[i] == _NOT_EVALUATED:
            continue  # a line the check did not measure (no holmium spectrum)
        lines.append(CheckLine(reference=result.referenceWavelength[i],
                               measured=result.measuredWavelength[i],
                               deviation=result.deviation[i], width=result.lineWidth[i],
                               passed=result.withinTolerance[i] == 1, spectrum=names[i][1]))
    return tuple(lines)


def check_holmium(record: CalibrationRecord | None, d2, holmium=None, d2_background=None,
                  holmium_background=None, tolerance: float = DEFAULT_TOLERANCE) -> CheckResult:
    """Deuterium lines 486.0 and 656.1 nm in d2 and, given a holmium trace (in
    which the bands are maxima), the holmium bands 287.6 and 360.8 nm."""
    record = record or CalibrationRecord.UNCALIBRATED
    s_d2 = _buffers.spectrum(d2, "deuterium spectrum")
    s_ho = _buffers.optional_spectrum(holmium, "holmium spectrum")
    b_d2 = _buffers.optional_spectrum(d2_background, "deuterium background")
    b_ho = _buffers.optional_spectrum(holmium_background, "holmium background")
    raw_record = record.to_native()
    result = _blank_result()
    name = "Lumitra_DoWavelengthCheckD2Ho"
    status = native.library().function(name)(
        0, float(tolerance), byref(raw_record), _buffers.doubles(b_d2), _buffers.doubles(s_d2),
        _buffers.doubles(b_ho), _buffers.doubles(s_ho), byref(result))
    check_status(status, name)
    return CheckResult("deuterium/holmium", record, abs(tolerance),
                       _lines(result, HOLMIUM_LINES))


def check_mercury(record: CalibrationRecord | None, d2, hg1, hg2, background=None,
                  tolerance: float = DEFAULT_TOLERANCE) -> CheckResult:
    """Deuterium lines in d2, the 253.7 nm mercury line in hg1 and the 404.7,
    435.8 and 546.1 nm lines in hg2; background is subtracted from all three."""
    record = record or CalibrationRecord.UNCALIBRATED
    s_d2 = _buffers.spectrum(d2, "deuterium spectrum")
    s_hg1 = _buffers.spectrum(hg1, "first mercury spectrum")
    s_hg2 = _buffers.spectrum(hg2, "second mercury spectrum")
    s_bg = _buffers.optional_spectrum(background, "background")
    raw_record = record.to_native()
    result = _blank_result()
    name = "Lumitra_DoWavelengthCheckD2Hg"
    status = native.library().function(name)(
        0, float(tolerance), byref(raw_record), _buffers.doubles(s_bg), _buffers.doubles(s_d2),
        _buffers.doubles(s_hg1), _buffers.doubles(s_hg2), byref(result))
    check_status(status, name)
    return CheckResult("deuterium/mercury", record, abs(tolerance),
                       _lines(result, MERCURY_LINES))


def _hundredths(nm: float) -> int:
    return int(round(nm * 100))


def check_user(record: CalibrationRecord | None, first, second, lines, display: bool = False,
               option: int = 0) -> list[UserLineResult]:
    """Up to four lines of your choice, searched as peaks (or valleys) of
    second - first resampled to 0.01 nm. Element spectra (512 values), or
    display-grid spectra (611 values, 190..800 nm) with display=True."""
    record = record or CalibrationRecord.UNCALIBRATED
    lines = [line if isinstance(line, UserLine) else UserLine(*line) for line in lines]
    if not 1 <= len(lines) <= 4:
        raise ValueError(f"the user-defined check takes 1 to 4 lines, got {len(lines)}")
    length = native.DISPLAY_GRID_COUNT if display else native.ELEMENT_COUNT
    s_first = _buffers.spectrum(first, "first spectrum", length)
    s_second = _buffers.spectrum(second, "second spectrum", length)
    raw = native.UserCheckList()
    raw.checkCount = len(lines)
    raw.option = option
    for slot, line in zip(raw.lines, lines):
        slot.targetWavelength = _hundredths(line.target)
        slot.halfWindow = _hundredths(line.half_window)
        slot.allowedDeviation = _hundredths(line.allowed_deviation)
        slot.findMinimum = 1 if line.valley else 0
    raw_record = record.to_native()
    name = "Lumitra_DoUserDefinedWavelengthCheck"
    status = native.library().function(name)(
        1 if display else 0, byref(raw_record), _buffers.doubles(s_first),
        _buffers.doubles(s_second), byref(raw))
    check_status(status, name)
    return [UserLineResult(target=slot.targetWavelength / 100.0,
                           found=slot.foundWavelength / 100.0,
                           difference=slot.difference / 100.0,
                           allowed_deviation=slot.allowedDeviation / 100.0,
                           valley=bool(slot.findMinimum), passed=slot.passed == 1)
            for slot in list(raw.lines)[:len(lines)]]
