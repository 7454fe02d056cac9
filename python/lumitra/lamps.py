"""Lamp diagnostics: reference value and band maximum, maximum voltage."""

from __future__ import annotations

from ctypes import byref, c_double, c_int32

import numpy as np

from . import _buffers, native, validation
from .errors import check_status
from .records import LampInfo

# lamp: (export, reference wavelength nm, band nm)
LAMPS = {"d2": ("Lumitra_GetD2LampSpectrumMaxInfo", 230.0, (200.0, 260.0)),
         "w": ("Lumitra_GetWLampSpectrumMaxInfo", 600.0, (400.0, 800.0))}
NO_MAXIMUM = -2147483648.0  # what the library reports for a band without a value


def lamp_info(lamp: str, spectrum, wavelengths=None) -> LampInfo:
    """Value at the reference wavelength (230 nm deuterium, 600 nm tungsten)
    and maximum in the band (200..260 nm, 400..800 nm) of a lamp spectrum:
    on the display grid (611 values, wavelengths None), or n values at the
    strictly increasing wavelengths given in nm (3 <= n <= 1024). What
    cannot be measured is None: the reference value when the wavelengths do
    not reach it, the maximum when no value lies in the band, its wavelength
    also when the band is flat."""
    validation.choice(lamp, {"d2": "deuterium", "w": "tungsten"}, "lamp")
    name, reference, (low, high) = LAMPS[lamp]
    if wavelengths is None:
        values = validation.spectrum(spectrum, "display-grid spectrum",
                                     native.DISPLAY_GRID_COUNT)
        nm = np.arange(190.0, 801.0)
        table = None
    else:
        nm = validation.spectrum(wavelengths, "wavelengths", np.size(wavelengths))
        if not 3 <= nm.size <= 1024:
            raise validation.InputError(f"a lamp spectrum has 3 to 1024 points, got {nm.size}")
        values = validation.spectrum(spectrum, "lamp spectrum", nm.size)
        step = np.flatnonzero(np.diff(np.round(nm * 100)) <= 0)
        if step.size:
            raise validation.InputError(
                f"the wavelengths must increase (in 0.01 nm): point {step[0] + 2} "
                f"({nm[step[0] + 1]:g} nm) does not lie above {nm[step[0]]:g} nm")
        table = np.ascontiguousarray(np.round(nm * 100), dtype=np.int32)
    ref, maximum, where = c_double(), c_double(), c_int32()
    status = native.library().function(name)(
        0 if table is not None else 1, _buffers.ints(table), 0 if table is None else table.size,
        _buffers.doubles(values), byref(ref), byref(maximum), byref(where))
    check_status(status, name)
    band = values[(nm >= low) & (nm <= high)]
    found = where.value != -1 and maximum.value != NO_MAXIMUM
    return LampInfo(
        lamp=lamp, reference_wavelength=reference,
        reference_value=ref.value if nm[0] <= reference <= nm[-1] else None,
        maximum=maximum.value if found else None,
        maximum_wavelength=where.value / 100.0 if found and np.ptp(band) > 0 else None)


def max_voltage(values) -> int:
    """The largest of a series of values, truncated toward zero. The values
    must be finite and within the library's 32-bit integers."""
    if values is None:
        raise validation.InputError("values: none given")
    array = np.ascontiguousarray(values, dtype=np.float64).ravel()
    if array.size == 0:
        raise validation.InputError("values: an empty series has no maximum")
    array = validation.spectrum(array, "values", array.size, limit=2.0**31 - 1)
    maximum = c_int32()
    status = native.library().Lumitra_GetMaxVoltage(_buffers.doubles(array), array.size,
                                                    byref(maximum))
    check_status(status, "Lumitra_GetMaxVoltage")
    return maximum.value
