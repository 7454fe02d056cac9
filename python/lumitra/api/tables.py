"""Wavelength tables, the display grid, and searches in tables.

Tables are numpy int32 arrays in 0.01 nm, as the library gives them: entry
i is the wavelength of element i + 1.
"""

from __future__ import annotations

import ctypes
import math
from ctypes import byref, c_double, c_int32, c_uint16

import numpy as np

from . import buffers, inputs, native, rules
from .errors import InputError
from .records import INT32_MAX, INT32_MIN, int32

NO_COMMON_STRETCH = 65535
NOT_MEASURED = -2**31  # the table entry of a wavelength the library cannot compute


def _multiple(multiple) -> int:
    multiple = int32(multiple, "multiple")
    if not 1 <= multiple <= 32767:
        raise InputError(f"multiple must lie in 1..32767, got {multiple}")
    return multiple


def _table_call(name: str, display: int, record, multiple: int) -> np.ndarray:
    lib = native.library()
    raw = record.to_native()
    table = ctypes.POINTER(c_int32)()
    count = c_int32(0)
    try:
        lib.function(name)(display, byref(raw), multiple, byref(table), byref(count))
    except BaseException:
        buffers.take_task_buffer(table, 0, np.int32)  # frees a buffer if one came back
        raise
    return buffers.take_task_buffer(table, count.value, np.int32)


def wavelength_table(record=None, multiple: int = 1, raw: bool = False) -> np.ndarray:
    """The element wavelengths of a calibration (0.01 nm, truncated): 512
    entries, followed by zeros when multiple > 1. record: a CalibrationRecord,
    four integers or None (uncalibrated); one off the array is refused unless
    raw, and then a wavelength the library cannot compute is NOT_MEASURED."""
    return _table_call("Lumitra_GetWavelengthTable", 0, inputs.record(record, raw=raw),
                       _multiple(multiple))


def display_table(record=None, display: bool = True, multiple: int = 1,
                  raw: bool = False) -> np.ndarray:
    """display: the 611-point grid 190.00 .. 800.00 nm (the record is not
    used); otherwise the element table of the record
    (Lumitra_GetWavelengthTableForDisplay)."""
    return _table_call("Lumitra_GetWavelengthTableForDisplay", 1 if display else 0,
                       inputs.record(record, raw=raw or display), _multiple(multiple))


def element_wavelengths(record=None) -> np.ndarray:
    """The element wavelengths in nm (the table divided by 100)."""
    return wavelength_table(record)[:rules.limits().element_count] / 100.0


def corrected_element(wavelength: float, record=None, raw: bool = False) -> float | None:
    """The calibrated fractional element number (1 = first element) of a
    wavelength in nm within 190..800 nm (passed to the library in 0.01 nm,
    rounded); None when the record gives none (raw records only)."""
    nm = inputs.wavelength(wavelength)
    raw_record = inputs.record(record, raw=raw).to_native()
    position = c_double(0.0)
    native.library().Lumitra_GetPdaCorrectedEleNo(0, byref(raw_record), round(nm * 100),
                                                  byref(position))
    return position.value if math.isfinite(position.value) else None


def _entries(table) -> np.ndarray:
    """A wavelength table (0.01 nm) as int32, refusing what int32 cannot hold."""
    values = np.asarray(table)
    if values.ndim != 1:
        raise InputError("a wavelength table is one-dimensional")
    if values.size and (not np.all(np.isfinite(values.astype(float)))
                        or values.min() < INT32_MIN
                        or values.max() > INT32_MAX
                        or np.any(values != np.trunc(values.astype(float)))):
        raise InputError("a wavelength table holds 32-bit integers (0.01 nm)")
    return np.ascontiguousarray(values, dtype=np.int32)


def _counted(table) -> np.ndarray:
    entries = _entries(table)
    counted = np.empty(entries.size + 1, dtype=np.uint32)
    counted[0] = entries.size
    counted[1:] = entries.view(np.uint32)
    return counted


def compare_tables(table_a, table_b) -> tuple[int, int, int] | None:
    """Where two tables agree: (startA, endA, startB) such that entries
    startA..endA of A equal the entries of B from startB on; None when they
    share no stretch. Compares the tables as the library does, on their
    five-character text form."""
    lib = native.library()
    a, b = _counted(table_a), _counted(table_b)
    start_a, end_a, start_b = c_uint16(), c_uint16(), c_uint16()
    lib.Lumitra_IsWavelengthTableEqual(a.ctypes.data, b.ctypes.data, byref(start_a),
                                                byref(end_a), byref(start_b))
    result = (start_a.value, end_a.value, start_b.value)
    return None if result == (NO_COMMON_STRETCH,) * 3 else result


def find_target_element(target: int, table) -> int:
    """Index of the entry nearest to target (0.01 nm; ties to the entry above)."""
    entries = _entries(table)
    return int(native.library().Lumitra_FindTargetElement(
        int32(target, "target"), buffers.ints(entries), entries.size))


def element_range(wavelength1: int, wavelength2: int, table) -> tuple[int, int]:
    """(first, last): the lowest element index at or above wavelength1 and the
    highest at or below wavelength2 (0.01 nm), exchanged when first > last."""
    entries = _entries(table)
    first, last = c_uint16(), c_uint16()
    native.library().Lumitra_GetElementIndexFromWavelengthTable(
        int32(wavelength1, "wavelength1"), int32(wavelength2, "wavelength2"),
        buffers.ints(entries), entries.size, byref(first), byref(last))
    return first.value, last.value
