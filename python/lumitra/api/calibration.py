"""Wavelength calibration from deuterium-lamp spectra."""

from __future__ import annotations

from ctypes import byref

import numpy as np

from . import buffers, evidence, inputs, native, rules
from .errors import CalibrationRangeError, ImplausibleError, LineNotFoundError
from .records import CalibrationRecord

DEFAULT_TOLERANCE = 1.0  # nm: the cross-check of a new record
CROSS_CHECK_LINE = 486.0  # a deuterium line no calibration is made from
# Both deuterium lines are as wide as the slit makes them; a "line" much
# wider than the other is a band of another source.
WIDTH_RATIO = 1.5

FINE_GRID = 0     # method: maxima on the 64-sub-step fine grid
REFINEMENT = 1    # method: the sibling library refines element maxima
METHODS = {FINE_GRID: "fine grid", REFINEMENT: "refinement by the sibling library"}
_OPERATION = {FINE_GRID: rules.CALIBRATION, REFINEMENT: rules.REFINEMENT}


def _with_range_detail(error: CalibrationRangeError, raw: native.CalibrationRecord):
    """The rejected record (the library writes it anyway) and why."""
    record = CalibrationRecord.from_native(raw)
    error.record = record
    error.failures = rules.range_test(record).failures()
    error.detail = f"rejected record {record}: " + "; ".join(error.failures)
    error.args = (f"{error.name} (0x{error.code:08X}) from {error.function}: {error.detail}",)
    return error


def require_lines(operation: int, record: CalibrationRecord, differences, names,
                  searcher: str, measured=None) -> list[evidence.Evidence]:
    """Every line the operation searches must be shown in its difference;
    raises LineNotFoundError for the first that is not."""
    judged = evidence.judge_searches(operation, record, differences, measured)
    for item in judged:
        if not item.shown:
            s = item.search
            raise LineNotFoundError(f"{names[s.input]}: no {s.reference:g} nm line in "
                                    f"{s.window_nm} (searched by {searcher}): {item.problem}")
    return judged


def _two_line_inputs(spectrum1, spectrum2, dark1, dark2, method):
    """The four arrays, checked: finite, and the differences showing the
    656.1 nm line and the 360.8 nm band where the calibration looks."""
    inputs.choice(method, METHODS, "method")
    s1 = inputs.spectrum(spectrum1, "spectrum1")
    s2 = inputs.spectrum(spectrum2, "spectrum2")
    d1 = inputs.optional_spectrum(dark1, "dark1")
    d2 = inputs.optional_spectrum(dark2, "dark2")
    first, first_name = inputs.difference(s1, d1, inputs.label(spectrum1, "spectrum1"),
                                          inputs.label(dark1, "dark1"))
    second, second_name = inputs.difference(s2, d2, inputs.label(spectrum2, "spectrum2"),
                                            inputs.label(dark2, "dark2"))
    require_lines(_OPERATION[method], CalibrationRecord.UNCALIBRATED, [first, second],
                  [first_name, second_name], "the calibration", [s1, s2])
    return s1, s2, d1, d2, (first, first_name)


def cross_check(record: CalibrationRecord, deuterium, name: str,
                tolerance: float = DEFAULT_TOLERANCE):
    """A new record must bear out on the deuterium spectrum it was made from:
    486.0 nm, a line no calibration is made from, within the tolerance where
    the record puts it, and the two deuterium lines about equally wide.
    Returns the deuterium check it ran; raises ImplausibleError saying what
    failed."""
    from .checks import check_holmium
    result = check_holmium(record, deuterium, tolerance=tolerance)
    line = result.line(CROSS_CHECK_LINE)
    refused = f"the new record {record} is refused"
    if line.problem is not None:
        raise ImplausibleError(f"{refused}: {name} does not show {CROSS_CHECK_LINE:g} nm where "
                               f"the record puts it ({line.problem})")
    if not line.passed:
        raise ImplausibleError(
            f"{refused}: it puts {CROSS_CHECK_LINE:g} nm at {line.measured:.2f} nm in {name}, "
            f"{line.deviation:+.2f} nm off, beyond the tolerance {tolerance:g} nm (is the "
            "second spectrum a holmium trace with its bands as maxima?)")
    widths = [item.width for item in result.lines if item.width]
    if len(widths) == 2 and max(widths) > WIDTH_RATIO * min(widths):
        raise ImplausibleError(
            f"{refused}: in {name} the deuterium lines are {widths[0]:.2f} and "
            f"{widths[1]:.2f} nm wide; both should be as wide as the slit: is it a deuterium "
            "lamp spectrum?")
    return result


def calibrate(spectrum1, spectrum2, dark1=None, dark2=None, method: int = FINE_GRID,
              tolerance: float = DEFAULT_TOLERANCE) -> CalibrationRecord:
    """A new record {36080, p1, 65610, p2}: the 656.1 nm line located in
    spectrum1 (a deuterium lamp spectrum) and the 360.8 nm line in spectrum2
    (after a low-frequency filter: a trace in which the 360.8 nm band is a
    maximum, such as the holmium filter trace), each less its optional dark.

    Raises InputError (a ValueError) when a difference does not show its line
    where the calibration searches it (lumitra.api.evidence), CalibrationRange-
    Error (with .record, the rejected record, and .failures) when the record
    fails the library's range test, and ImplausibleError when the record does
    not bear out on the deuterium spectrum (see cross_check)."""
    s1, s2, d1, d2, deuterium = _two_line_inputs(spectrum1, spectrum2, dark1, dark2, method)
    raw = native.CalibrationRecord()
    try:
        native.library().Lumitra_DoWavelengthCalibration(
            method, buffers.doubles(d1), buffers.doubles(s1), buffers.doubles(d2),
            buffers.doubles(s2), byref(raw))
    except CalibrationRangeError as error:
        error = _with_range_detail(error, raw)
        # A record that does not bear out either came from data that are not
        # what they should be: say so rather than blame the range.
        cross_check(error.record, *deuterium, tolerance=tolerance)
        raise error from None
    record = CalibrationRecord.from_native(raw)
    cross_check(record, *deuterium, tolerance=tolerance)
    return record


def _wide_slit_inputs(record, spectrum, dark=None):
    record = inputs.record(record, calibrated=True)
    measured = inputs.spectrum(spectrum, "spectrum")
    dark_values = inputs.optional_spectrum(dark, "dark")
    values, name = inputs.difference(measured, dark_values, inputs.label(spectrum, "spectrum"),
                                     inputs.label(dark, "dark"))
    require_lines(rules.WIDE_SLIT, record, [values], [name], "the wide-slit calibration",
                  [measured])
    return np.ascontiguousarray(values), record, name


def largest_followed_move() -> float:
    """The largest move (elements) a record may make and still have every
    line of the checks inside its window: the narrowest check window's half
    width, from the library."""
    record = CalibrationRecord.UNCALIBRATED
    return min((s.last_position - s.first_position) / 2
               for operation in (rules.HOLMIUM_CHECK, rules.MERCURY_CHECK)
               for s in rules.describe_searches(operation, record))


def calibrate_wide_slit(record, spectrum, dark=None, tolerance: float = DEFAULT_TOLERANCE,
                        large_move: bool = False) -> CalibrationRecord:
    """The record moved so that its 656.1 nm position becomes the half-height
    centre of that line in spectrum less its optional dark (slope unchanged,
    no range test). The record must be a calibration of this array. A move
    larger than the checks' narrowest window is refused (ImplausibleError)
    unless large_move; the new record is cross-checked as calibrate's is."""
    values, record, name = _wide_slit_inputs(record, spectrum, dark)
    raw = record.to_native()
    native.library().Lumitra_DoWavelengthCalibrationForWideSlit(buffers.doubles(values),
                                                                byref(raw))
    new = CalibrationRecord.from_native(raw)
    move = (new.position2 - record.position2) / 64.0
    most = largest_followed_move()
    if abs(move) > most and not large_move:
        raise ImplausibleError(
            f"the wide-slit calibration would move the record by {move:+.2f} elements, more "
            f"than the {most:g} elements the checks' windows follow: is {name} the "
            "deuterium spectrum of this detector, and the record its own? (to accept so "
            "large a move, ask for it explicitly)")
    cross_check(new, values, name, tolerance)
    return new


def calibrate_ex(spectrum1, spectrum2=None, kind: int = 0, method: int = FINE_GRID,
                 record=None, want_copies: bool = False):
    """The combined entry: kind 0 is the two-line calibration (no darks), kind 1
    the wide-slit calibration of spectrum1 starting from record. Returns the
    new record, or (record, copy1, copy2) with want_copies (copies of the
    spectra the library used; None where it copied nothing)."""
    inputs.choice(kind, {0: "two-line calibration", 1: "wide-slit calibration"}, "kind")
    if kind == 0:
        if spectrum2 is None:
            raise inputs.InputError("the two-line calibration needs spectrum2")
        s1, s2, _, _, _ = _two_line_inputs(spectrum1, spectrum2, None, None, method)
        start = CalibrationRecord.UNCALIBRATED
    else:
        inputs.choice(method, METHODS, "method")
        s1, start, _ = _wide_slit_inputs(record, spectrum1)
        s2 = inputs.optional_spectrum(spectrum2, "spectrum2")
    raw = start.to_native()
    marker = -1.0e300  # tells copies the library did not write
    count = rules.limits().element_count
    copy1 = np.full(count, marker) if want_copies else None
    copy2 = np.full(count, marker) if want_copies else None
    try:
        native.library().Lumitra_DoWavelengthCalibrationEx(
            method, buffers.doubles(s1), buffers.doubles(s2), buffers.doubles(copy1),
            buffers.doubles(copy2), byref(raw), kind)
    except CalibrationRangeError as error:
        raise _with_range_detail(error, raw) from None
    new_record = CalibrationRecord.from_native(raw)
    if not want_copies:
        return new_record

    def written(copy):
        return None if np.all(copy == marker) else copy

    return new_record, written(copy1), written(copy2)
