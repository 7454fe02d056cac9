"""Lamp diagnostics: reference value and band maximum, maximum voltage."""

from __future__ import annotations

from ctypes import byref, c_double, c_int32

import numpy as np

from . import _buffers, native
from .errors import check_status
from .records import LampInfo

# lamp: (export, reference wavelength nm)
_LAMPS = {"d2": ("Lumitra_GetD2LampSpectrumMaxInfo", 230.0),
          "w": ("Lumitra_GetWLampSpectrumMaxInfo", 600.0)}


def lamp_info(lamp: str, spectrum, wavelengths=None) -> LampInfo:
    """Value at the reference wavelength (230 nm deuterium, 600 nm tungsten)
    and maximum in the band (200..260 nm, 400..800 nm) of a lamp spectrum:
    on the display grid (611 values, wavelengths None), or n values at the
    strictly increasing wavelengths given in nm (3 <= n <= 1024)."""
    if lamp not in _LAMPS:
        raise ValueError(f"lamp must be one of {sorted(_LAMPS)}, not {lamp!r}")
    name, reference = _LAMPS[lamp]
    if wavelengths is None:
        values = _buffers.spectrum(spectrum, "display-grid spectrum", native.DISPLAY_GRID_COUNT)
        table = None
        display = 1
    else:
        values = np.ascontiguousarray(spectrum, dtype=np.float64)
        table = np.ascontiguousarray(np.round(np.asarray(wavelengths, dtype=float) * 100),
                                     dtype=np.int32)
        if values.ndim != 1 or values.shape != table.shape:
            raise ValueError("spectrum and wavelengths must be of equal length")
        display = 0
    ref, maximum, where = c_double(), c_double(), c_int32()
    status = native.library().function(name)(
        display, _buffers.ints(table), 0 if table is None else table.size,
        _buffers.doubles(values), byref(ref), byref(maximum), byref(where))
    check_status(status, name)
    return LampInfo(lamp=lamp, reference_wavelength=reference, reference_value=ref.value,
                    maximum=maximum.value,
                    maximum_wavelength=None if where.value == -1 else where.value / 100.0)


def max_voltage(values) -> int:
    """The largest value (NaN skipped), truncated toward zero;
    -2147483648 for no values."""
    array = np.ascontiguousarray(values, dtype=np.float64).ravel()
    maximum = c_int32()
    status = native.library().Lumitra_GetMaxVoltage(_buffers.doubles(array), array.size,
                                                    byref(maximum))
    check_status(status, "Lumitra_GetMaxVoltage")
    return maximum.value
