"""Wavelength tables, the display grid, and searches in tables.

Tables are numpy int32 arrays in 0.01 nm, as the library gives them: entry
i is the wavelength of element i + 1.
"""

from __future__ import annotations

import ctypes
from ctypes import byref, c_double, c_int32, c_uint16

import numpy as np

from . import _buffers, native
from .errors import check_status
from .records import CalibrationRecord

NO_COMMON_STRETCH = 65535


def _record(record: CalibrationRecord | None) -> native.CalibrationRecord:
    return (record or CalibrationRecord.UNCALIBRATED).to_native()


def _table_call(name: str, display: int, record, multiple: int) -> np.ndarray:
    lib = native.library()
    raw = _record(record)
    table = ctypes.POINTER(c_int32)()
    count = c_int32(0)
    status = lib.function(name)(display, byref(raw), multiple, byref(table), byref(count))
    if status < 0:
        _buffers.take_task_buffer(table, 0, np.int32)  # frees a buffer if one came back
        check_status(status, name)
    return _buffers.take_task_buffer(table, count.value, np.int32)


def wavelength_table(record: CalibrationRecord | None = None, multiple: int = 1) -> np.ndarray:
    """The element wavelengths of a calibration (0.01 nm, truncated): 512
    entries, followed by zeros when multiple > 1."""
    if not 1 <= multiple <= 32767:
        raise ValueError(f"multiple must lie in 1..32767, got {multiple}")
    return _table_call("Lumitra_GetWavelengthTable", 0, record, multiple)


def display_table(record: CalibrationRecord | None = None, display: bool = True,
                  multiple: int = 1) -> np.ndarray:
    """display: the 611-point grid 190.00 .. 800.00 nm; otherwise the element
    table of the record (Lumitra_GetWavelengthTableForDisplay)."""
    if not 1 <= multiple <= 32767:
        raise ValueError(f"multiple must lie in 1..32767, got {multiple}")
    return _table_call("Lumitra_GetWavelengthTableForDisplay", 1 if display else 0, record,
                       multiple)


def element_wavelengths(record: CalibrationRecord | None = None) -> np.ndarray:
    """The element wavelengths in nm (the table divided by 100)."""
    return wavelength_table(record)[:native.ELEMENT_COUNT] / 100.0


def corrected_element(wavelength: float, record: CalibrationRecord | None = None) -> float:
    """The calibrated fractional element number (1 = first element) of a
    wavelength in nm (passed to the library in 0.01 nm, rounded)."""
    lib = native.library()
    raw = _record(record)
    position = c_double(0.0)
    status = lib.Lumitra_GetPdaCorrectedEleNo(0, byref(raw), round(wavelength * 100),
                                              byref(position))
    check_status(status, "Lumitra_GetPdaCorrectedEleNo")
    return position.value


def _counted(table) -> np.ndarray:
    entries = np.ascontiguousarray(table, dtype=np.int32)
    if entries.ndim != 1:
        raise ValueError("a wavelength table is one-dimensional")
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
    status = lib.Lumitra_IsWavelengthTableEqual(a.ctypes.data, b.ctypes.data, byref(start_a),
                                                byref(end_a), byref(start_b))
    check_status(status, "Lumitra_IsWavelengthTableEqual")
    result = (start_a.value, end_a.value, start_b.value)
    return None if result == (NO_COMMON_STRETCH,) * 3 else result


def find_target_element(target: int, table) -> int:
    """Index of the entry nearest to target (0.01 nm; ties to the entry above)."""
    lib = native.library()
    entries = np.ascontiguousarray(table, dtype=np.int32)
    return int(lib.Lumitra_FindTargetElement(int(target), _buffers.ints(entries), entries.size))


def element_range(wavelength1: int, wavelength2: int, table) -> tuple[int, int]:
    """(first, last): the lowest element index at or above wavelength1 and the
    highest at or below wavelength2 (0.01 nm), exchanged when first > last."""
    lib = native.library()
    entries = np.ascontiguousarray(table, dtype=np.int32)
    first, last = c_uint16(), c_uint16()
    status = lib.Lumitra_GetElementIndexFromWavelengthTable(
        int(wavelength1), int(wavelength2), _buffers.ints(entries), entries.size, byref(first),
        byref(last))
    check_status(status, "Lumitra_GetElementIndexFromWavelengthTable")
    return first.value, last.value
