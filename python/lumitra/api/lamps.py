"""Lamp diagnostics: reference value and band maximum, maximum voltage."""

from __future__ import annotations

from ctypes import byref, c_double, c_int32

import numpy as np

from . import buffers, inputs, native, rules
from .errors import InputError
from .records import LampInfo

EXPORTS = {"d2": "Lumitra_GetD2LampSpectrumMaxInfo", "w": "Lumitra_GetWLampSpectrumMaxInfo"}
LAMP_NAMES = {"d2": "deuterium", "w": "tungsten"}
NO_MAXIMUM = -2147483648.0  # what the library reports for a band without a value


def lamp_info(lamp: str, spectrum, wavelengths=None) -> LampInfo:
    """Value at the lamp's reference wavelength and maximum in its band
    (deuterium 230 nm and 200..260 nm, tungsten 600 nm and 400..800 nm, as
    the library has them) of a lamp spectrum: on the display grid
    (wavelengths None), or at the strictly increasing wavelengths given in
    nm. What cannot be measured is None: the reference value when the
    wavelengths do not reach past it, the maximum when no value lies in the band,
    its wavelength also when the band is flat."""
    inputs.choice(lamp, LAMP_NAMES, "lamp")
    limits = rules.limits()
    reference, (low, high) = limits.lamps[lamp]
    if wavelengths is None:
        values = inputs.spectrum(spectrum, "display-grid spectrum", limits.display_grid_count)
        nm = limits.display_grid
        table = None
    else:
        nm = inputs.spectrum(wavelengths, "wavelengths", np.size(wavelengths))
        fewest, most = limits.lamp_points
        if not fewest <= nm.size <= most:
            raise InputError(f"a lamp spectrum has {fewest} to {most} points, got {nm.size}")
        values = inputs.spectrum(spectrum, "lamp spectrum", nm.size)
        step = np.flatnonzero(np.diff(np.round(nm * 100)) <= 0)
        if step.size:
            raise InputError(
                f"the wavelengths must increase (in 0.01 nm): point {step[0] + 2} "
                f"({nm[step[0] + 1]:g} nm) does not lie above {nm[step[0]]:g} nm")
        table = np.ascontiguousarray(np.round(nm * 100), dtype=np.int32)
    ref, maximum, where = c_double(), c_double(), c_int32()
    native.library().function(EXPORTS[lamp])(
        0 if table is not None else 1, buffers.ints(table), 0 if table is None else table.size,
        buffers.doubles(values), byref(ref), byref(maximum), byref(where))
    band = values[(nm >= low) & (nm <= high)]
    found = where.value != -1 and maximum.value != NO_MAXIMUM
    return LampInfo(
        lamp=lamp, reference_wavelength=reference,
        # The library's spline covers its first knot up to, not including, its
        # last; elsewhere it reports 0 for the reference value.
        reference_value=ref.value if nm[0] <= reference < nm[-1] else None,
        maximum=maximum.value if found else None,
        maximum_wavelength=where.value / 100.0 if found and np.ptp(band) > 0 else None)


def max_voltage(values) -> int:
    """The largest of a series of values, truncated toward zero. The values
    must be finite and within the library's 32-bit integers."""
    if values is None:
        raise InputError("values: none given")
    if isinstance(values, (str, bytes)):
        raise InputError("values: text, not a series of numbers")
    array = np.asarray(values).ravel()
    if array.size == 0:
        raise InputError("values: an empty series has no maximum")
    array = inputs.spectrum(array, "values", array.size, limit=2.0**31 - 1)
    maximum = c_int32()
    native.library().Lumitra_GetMaxVoltage(buffers.doubles(array), array.size, byref(maximum))
    return maximum.value
