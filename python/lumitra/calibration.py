"""Wavelength calibration from deuterium-lamp spectra."""

from __future__ import annotations

from ctypes import byref

import numpy as np

from . import _buffers, native, optics, validation
from .errors import E_CALIBRATION_RANGE, CalibrationRangeError, check_status, to_signed
from .records import CalibrationRecord

FINE_GRID = 0     # method: maxima on the 64-sub-step fine grid
REFINEMENT = 1    # method: the sibling library refines element maxima
METHODS = {FINE_GRID: "fine grid", REFINEMENT: "refinement by the sibling library"}


def _range_error(status: int, function: str, raw: native.CalibrationRecord):
    record = CalibrationRecord.from_native(raw)
    failures = optics.range_test(record)
    detail = f"rejected record {record}"
    if failures:
        detail += ": " + "; ".join(failures)
    return CalibrationRangeError(status, function, detail, record=record)


def _two_line_inputs(spectrum1, spectrum2, dark1, dark2, method):
    """The four arrays, checked: finite, and the differences showing the
    656.1 nm line and the 360.8 nm band where the calibration looks."""
    validation.choice(method, METHODS, "method")
    s1 = validation.spectrum(spectrum1, "spectrum1")
    s2 = validation.spectrum(spectrum2, "spectrum2")
    d1 = validation.optional_spectrum(dark1, "dark1")
    d2 = validation.optional_spectrum(dark2, "dark2")
    first, first_name = validation.difference(s1, d1, validation.label(spectrum1, "spectrum1"),
                                              validation.label(dark1, "dark1"))
    second, second_name = validation.difference(
        s2, d2, validation.label(spectrum2, "spectrum2"), validation.label(dark2, "dark2"))
    validation.calibration_lines(first, first_name, second, second_name, method)
    return s1, s2, d1, d2


def calibrate(spectrum1, spectrum2, dark1=None, dark2=None,
              method: int = FINE_GRID) -> CalibrationRecord:
    """A new record {36080, p1, 65610, p2}: the 656.1 nm line located in
    spectrum1 (a deuterium lamp spectrum) and the 360.8 nm line in spectrum2
    (after a low-frequency filter: a trace in which the 360.8 nm band is a
    maximum, such as the holmium filter trace), each less its optional dark.

    Raises InputError (a ValueError) when a difference does not show its line
    where the calibration searches it, and CalibrationRangeError (with
    .record, the rejected record) when the record would put 190 nm below
    element 3.0 or 800 nm beyond 510.0."""
    s1, s2, d1, d2 = _two_line_inputs(spectrum1, spectrum2, dark1, dark2, method)
    raw = native.CalibrationRecord()
    name = "Lumitra_DoWavelengthCalibration"
    status = native.library().function(name)(
        method, _buffers.doubles(d1), _buffers.doubles(s1), _buffers.doubles(d2),
        _buffers.doubles(s2), byref(raw))
    if to_signed(status) == E_CALIBRATION_RANGE:
        raise _range_error(status, name, raw)
    check_status(status, name)
    return CalibrationRecord.from_native(raw)


def _wide_slit_inputs(spectrum, record, dark=None):
    record = validation.record(record, calibrated=True)
    values = validation.spectrum(spectrum, "spectrum")
    dark_values = validation.optional_spectrum(dark, "dark")
    values, name = validation.difference(values, dark_values, validation.label(
        spectrum, "spectrum"), validation.label(dark, "dark"))
    validation.wide_slit_line(values, name)
    return np.ascontiguousarray(values), record


def calibrate_wide_slit(spectrum, record, dark=None) -> CalibrationRecord:
    """The record moved so that its 656.1 nm position becomes the half-height
    centre of that line in spectrum less its optional dark (slope unchanged,
    no range test). The record must be a calibration of this array."""
    values, record = _wide_slit_inputs(spectrum, record, dark)
    raw = record.to_native()
    name = "Lumitra_DoWavelengthCalibrationForWideSlit"
    check_status(native.library().function(name)(_buffers.doubles(values), byref(raw)), name)
    return CalibrationRecord.from_native(raw)


def calibrate_ex(spectrum1, spectrum2=None, kind: int = 0, method: int = FINE_GRID,
                 record=None, want_copies: bool = False):
    """The combined entry: kind 0 is the two-line calibration (no darks), kind 1
    the wide-slit calibration of spectrum1 starting from record. Returns the
    new record, or (record, copy1, copy2) with want_copies (copies of the
    spectra the library used; None where it copied nothing)."""
    validation.choice(kind, {0: "two-line calibration", 1: "wide-slit calibration"}, "kind")
    if kind == 0:
        if spectrum2 is None:
            raise validation.InputError("the two-line calibration needs spectrum2")
        s1, s2, _, _ = _two_line_inputs(spectrum1, spectrum2, None, None, method)
        start = CalibrationRecord.UNCALIBRATED
    else:
        validation.choice(method, METHODS, "method")
        s1, start = _wide_slit_inputs(spectrum1, record)
        s2 = validation.optional_spectrum(spectrum2, "spectrum2")
    raw = start.to_native()
    marker = -1.0e300  # tells copies the library did not write
    copy1 = np.full(native.ELEMENT_COUNT, marker) if want_copies else None
    copy2 = np.full(native.ELEMENT_COUNT, marker) if want_copies else None
    name = "Lumitra_DoWavelengthCalibrationEx"
    status = native.library().function(name)(
        method, _buffers.doubles(s1), _buffers.doubles(s2), _buffers.doubles(copy1),
        _buffers.doubles(copy2), byref(raw), kind)
    if to_signed(status) == E_CALIBRATION_RANGE:
        raise _range_error(status, name, raw)
    check_status(status, name)
    new_record = CalibrationRecord.from_native(raw)
    if not want_copies:
        return new_record

    def written(copy):
        return None if np.all(copy == marker) else copy

    return new_record, written(copy1), written(copy2)
