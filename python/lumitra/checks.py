"""Wavelength accuracy checks: holmium filter, mercury lamp, lines of your own."""

from __future__ import annotations

import math
from ctypes import byref

import numpy as np

from . import _buffers, native, optics, validation
from .errors import check_status
from .records import CheckLine, CheckResult, UserLine, UserLineResult

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


def _check_spectra(pairs):
    """(values, name, background, background name) -> [(difference, label, array,
    background array)]: each spectrum finite, less its background as the
    library forms it."""
    out = []
    for values, name, background, background_name in pairs:
        array = validation.spectrum(values, name)
        back = validation.optional_spectrum(background, background_name)
        diff, text = validation.difference(array, back, validation.label(values, name),
                                           validation.label(background, background_name))
        out.append((diff, text, array, back))
    return out


def check_holmium(record, d2, holmium=None, d2_background=None,
                  holmium_background=None, tolerance: float = DEFAULT_TOLERANCE) -> CheckResult:
    """Deuterium lines 486.0 and 656.1 nm in d2 and, given a holmium trace (in
    which the bands are maxima), the holmium bands 287.6 and 360.8 nm.
    record: a CalibrationRecord, four integers, or None (uncalibrated).

    Raises InputError (a ValueError) for a record off the array, a tolerance
    outside 0..3 nm, or a spectrum that does not show a line in the window
    the check searches."""
    record = validation.record(record)
    tolerance = validation.tolerance(tolerance)
    pairs = [(d2, "deuterium spectrum", d2_background, "deuterium background")]
    if holmium is not None:
        pairs.append((holmium, "holmium spectrum", holmium_background, "holmium background"))
    spectra = _check_spectra(pairs)
    (d2_diff, d2_name, s_d2, b_d2) = spectra[0]
    searches = [(486.0, d2_diff, d2_name, False, None), (656.1, d2_diff, d2_name, False, None)]
    s_ho = b_ho = None
    if holmium is not None:
        (ho_diff, ho_name, s_ho, b_ho) = spectra[1]
        searches += [(287.6, ho_diff, ho_name, True, None), (360.8, ho_diff, ho_name, True, None)]
    validation.check_lines(record, searches, "the holmium check")
    raw_record = record.to_native()
    result = _blank_result()
    name = "Lumitra_DoWavelengthCheckD2Ho"
    status = native.library().function(name)(
        0, tolerance, byref(raw_record), _buffers.doubles(b_d2), _buffers.doubles(s_d2),
        _buffers.doubles(b_ho), _buffers.doubles(s_ho), byref(result))
    check_status(status, name)
    return CheckResult("deuterium/holmium", record, tolerance, _lines(result, HOLMIUM_LINES))


def check_mercury(record, d2, hg1, hg2, background=None,
                  tolerance: float = DEFAULT_TOLERANCE) -> CheckResult:
    """Deuterium lines in d2, the 253.7 nm mercury line in hg1 and the 404.7,
    435.8 and 546.1 nm lines in hg2; background is subtracted from all three.
    Raises InputError as check_holmium does."""
    record = validation.record(record)
    tolerance = validation.tolerance(tolerance)
    (d2_diff, d2_name, s_d2, s_bg), (hg1_diff, hg1_name, s_hg1, _), \
        (hg2_diff, hg2_name, s_hg2, _) = _check_spectra(
            [(d2, "deuterium spectrum", background, "background"),
             (hg1, "first mercury spectrum", background, "background"),
             (hg2, "second mercury spectrum", background, "background")])
    # The deuterium windows of this check start from 0: the line must rise above it.
    validation.check_lines(record, [
        (486.0, d2_diff, d2_name, False, 0.0), (656.1, d2_diff, d2_name, False, 0.0),
        (253.7, hg1_diff, hg1_name, False, None), (404.7, hg2_diff, hg2_name, False, None),
        (435.8, hg2_diff, hg2_name, False, None), (546.1, hg2_diff, hg2_name, False, None)],
        "the mercury check")
    raw_record = record.to_native()
    result = _blank_result()
    name = "Lumitra_DoWavelengthCheckD2Hg"
    status = native.library().function(name)(
        0, tolerance, byref(raw_record), _buffers.doubles(s_bg), _buffers.doubles(s_d2),
        _buffers.doubles(s_hg1), _buffers.doubles(s_hg2), byref(result))
    check_status(status, name)
    return CheckResult("deuterium/mercury", record, tolerance, _lines(result, MERCURY_LINES))


def _hundredths(nm: float) -> int:
    return int(round(nm * 100))


def user_lines(lines) -> list[UserLine]:
    """UserLine values (or tuples of their fields), checked: 1 to 4 lines,
    each with a window within 190..800 nm wider than its allowed deviation."""
    lines = [line if isinstance(line, UserLine) else UserLine(*line) for line in lines]
    if not 1 <= len(lines) <= 4:
        raise validation.InputError(f"the user-defined check takes 1 to 4 lines, "
                                    f"got {len(lines)}")
    checked = []
    for i, line in enumerate(lines, start=1):
        target, half, allowed = validation.user_line_values(
            line.target, line.half_window, line.allowed_deviation, f"line {i}")
        checked.append(UserLine(target, half, allowed, bool(line.valley)))
    return checked


def check_user(record, first, second, lines, display: bool = False,
               option: int = 0) -> list[UserLineResult]:
    """Up to four lines of your choice, searched as peaks (or valleys) of
    second - first resampled to 0.01 nm. Element spectra (512 values), or
    display-grid spectra (611 values, 190..800 nm) with display=True.
    Raises InputError when a line's window does not show it."""
    record = validation.record(record)
    lines = user_lines(lines)
    validation.choice(option, {0: "", 1: "", 2: "", 3: ""}, "option")
    length = native.DISPLAY_GRID_COUNT if display else native.ELEMENT_COUNT
    s_first = validation.spectrum(first, "first spectrum", length)
    s_second = validation.spectrum(second, "second spectrum", length)
    # The library truncates the difference to whole numbers before resampling.
    values = np.trunc(s_second - s_first)
    name = (f"{validation.label(second, 'second spectrum')} less "
            f"{validation.label(first, 'first spectrum')}")
    if np.any(np.abs(values) > validation.INT32_MAX):
        raise validation.InputError(f"{name}: values beyond the library's 32-bit integers")
    x = (np.arange(190.0, 801.0) if display
         else optics.record_wavelength_array(validation.ELEMENTS, record))
    for line in lines:
        validation.find_line(values, x, line.target - line.half_window,
                             line.target + line.half_window, line=line.target, name=name,
                             unit="nm", valley=line.valley, quantum=1.0,
                             searcher="the user-defined check")
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
