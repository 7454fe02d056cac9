"""What the package checks of its arguments before it calls the library.

The library takes what it is given and answers with a number: a record
whose two lines sit at one position gives a table of sentinels, a spectrum
of zeros gives a calibration moved by twenty elements, a wavelength beyond
32 bits wraps round. Every function of the API passes its arguments through
the checks here first, so that such input is refused with the reason, in the
terms of the measurement, and never answered. The limits come from the
library (``rules.limits``).

Errors are ``InputError`` (a ``ValueError``).
"""

from __future__ import annotations

import math
import numbers

import numpy as np

from . import rules
from .errors import InputError
from .records import INT32_MAX, CalibrationRecord, int32

# A working array lies within a few per cent of the grating's dispersion;
# the calibration's range test lets through less than 4 %.
DISPERSION_RANGE = (0.9, 1.1)
# The largest tolerance a check accepts: the pharmacopoeia's visible limit.
# The narrowest window of the lamp checks reaches about 3.7 nm below its
# line, so a larger tolerance could never fail.
MAX_TOLERANCE_NM = 3.0


# --- numbers -----------------------------------------------------------------

def finite(value, name: str) -> float:
    """A real number: ints and floats (numpy's too), not bool, complex or text."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise InputError(f"{name}: {value!r} is not a number")
    number = float(value)
    if not math.isfinite(number):
        raise InputError(f"{name}: {value!r} is not a finite number")
    return number


def wavelength(value, name: str = "wavelength") -> float:
    """A wavelength in nm within the library's range (the display grid)."""
    nm = finite(value, name)
    low, high = rules.limits().display_grid_nm
    if not low <= nm <= high:
        raise InputError(f"{name}: {nm:g} nm lies outside the detector's range "
                         f"{low:.0f}..{high:.0f} nm")
    return nm


def tolerance(value, name: str = "tolerance") -> float:
    nm = finite(value, name)
    if not 0.0 < nm <= MAX_TOLERANCE_NM:
        raise InputError(f"{name}: {nm!r} nm; the allowed deviation must lie above 0 and at "
                         f"most {MAX_TOLERANCE_NM:g} nm (a line is searched only a few nm "
                         "either side of its place: a larger tolerance could never fail)")
    return nm


def choice(value, allowed: dict, name: str):
    if isinstance(value, bool) or value not in allowed:
        raise InputError(f"{name}: {value!r}; expected one of "
                         + ", ".join(f"{k!r} ({v})" for k, v in allowed.items()))
    return value


# --- records -----------------------------------------------------------------

def record_problems(record: CalibrationRecord) -> list[str]:
    """Why a record cannot describe this array (empty for the uncalibrated
    record and for a record within the array)."""
    if not record.is_calibrated:
        return []
    limits = rules.limits()
    low, high = limits.display_grid_nm
    problems = []
    lines = ((record.wavelength1, record.position1), (record.wavelength2, record.position2))
    for i, (hundredths, position) in enumerate(lines, start=1):
        if not low * 100 <= hundredths <= high * 100:
            problems.append(f"line {i} at {hundredths / 100:.2f} nm lies outside "
                            f"{low:.0f}..{high:.0f} nm")
        if not 64 <= position <= limits.element_count * 64:
            problems.append(f"line {i} at element {position / 64:.3f} lies off the array "
                            f"(elements 1..{limits.element_count}; positions are in "
                            "1/64 element)")
    if problems:
        return problems
    if record.wavelength1 == record.wavelength2:
        return ["both lines are at one wavelength, which gives no dispersion"]
    if record.position1 == record.position2:
        return ["both lines are at one position, which gives no dispersion"]
    slope = rules.decode(record)[0]
    if not slope > 0:
        return ["the wavelengths would fall along the array (the longer wavelength at the "
                "lower position)"]
    if not DISPERSION_RANGE[0] <= slope <= DISPERSION_RANGE[1]:
        return [f"the lines imply a dispersion {slope:.3f} times the grating's; an array "
                f"lies within {DISPERSION_RANGE[0]}..{DISPERSION_RANGE[1]}"]
    return []


def record(value, name: str = "record", raw: bool = False,
           calibrated: bool = False) -> CalibrationRecord:
    """A CalibrationRecord from a record, four integers or None (uncalibrated).
    Its lines are put in increasing order of wavelength (the order the
    library's searches assume), and a record that cannot describe the array
    is refused (unless raw, which takes it as it is)."""
    if value is None:
        result = CalibrationRecord.UNCALIBRATED
    elif isinstance(value, CalibrationRecord):
        result = value
    elif isinstance(value, (str, bytes)):
        raise InputError(f"{name}: {value!r} is not a calibration record (four integers)")
    else:
        try:
            fields = list(value)
        except TypeError:
            raise InputError(f"{name}: {value!r} is not a calibration record") from None
        if len(fields) != 4:
            raise InputError(f"{name}: a calibration record is four integers, got {len(fields)}")
        result = CalibrationRecord(*(int32(f, name) for f in fields))
    if calibrated and not result.is_calibrated:
        raise InputError(f"{name}: {result} is uncalibrated; this needs the detector's "
                         "calibration record")
    if raw:
        return result
    if result.wavelength1 > result.wavelength2:
        result = result.swapped()
    problems = record_problems(result)
    if problems:
        raise InputError(f"{name} {result}: " + "; ".join(problems))
    return result


# --- spectra -----------------------------------------------------------------

def label(values, default: str) -> str:
    """The name of a spectrum in messages: the file it came from, if known."""
    return getattr(values, "source", "") or default


def spectrum(values, name: str, length: int | None = None, limit: float = INT32_MAX):
    """values as a contiguous float64 array of exactly length (default: the
    element count) finite real values, none beyond +/-limit."""
    name = label(values, name)
    limits = rules.limits()
    length = limits.element_count if length is None else length
    if values is None:
        raise InputError(f"{name}: no values")
    if isinstance(values, (str, bytes)):
        raise InputError(f"{name}: text, not a series of numbers")
    try:
        array = np.asarray(values)
    except (TypeError, ValueError):
        raise InputError(f"{name}: not a series of numbers") from None
    if array.dtype.kind not in "iuf":
        what = {"c": "complex numbers", "b": "true/false values", "U": "text", "S": "text",
                "O": "not all numbers"}.get(array.dtype.kind, f"values of type {array.dtype}")
        raise InputError(f"{name}: {what}; expected real numbers")
    array = np.ascontiguousarray(array, dtype=np.float64)
    if array.ndim != 1 or array.size != length:
        raise InputError(f"{name}: expected {length} values, got "
                         f"{array.size if array.ndim == 1 else array.shape}")
    where = "point" if length == limits.display_grid_count else "element"
    bad = np.flatnonzero(~np.isfinite(array))
    if bad.size:
        raise InputError(f"{name}: {where} {bad[0] + 1} is {array[bad[0]]}, not a finite number")
    beyond = np.flatnonzero(np.abs(array) > limit)
    if beyond.size:
        raise InputError(f"{name}: {where} {beyond[0] + 1} is {array[beyond[0]]:g}, beyond "
                         f"+/-{limit:.10g} that the library can hold")
    return array


def optional_spectrum(values, name: str, length: int | None = None):
    return None if values is None else spectrum(values, name, length)


def difference(values: np.ndarray, dark: np.ndarray | None, name: str,
               dark_name: str) -> tuple[np.ndarray, str]:
    """The spectrum less its dark as the library forms it, and its name;
    refused where it exceeds what the fine grid can hold."""
    result = values if dark is None else values - dark
    text = name if dark is None else f"{name} less {dark_name}"
    limit = rules.limits().fine_value_limit
    beyond = np.flatnonzero(np.abs(result) > limit)
    if beyond.size:
        raise InputError(f"{text}: element {beyond[0] + 1} is {result[beyond[0]]:g}, beyond "
                         f"+/-{limit:.10g} that the library can resample")
    return result, text


def user_line_values(target, half_window, allowed, name: str):
    """Target, half window and allowed deviation (nm) of a user-defined line:
    the window within the detector's range and wider than the allowed
    deviation, which a zero or narrower window would always meet."""
    target = wavelength(target, f"{name} target")
    half_window = finite(half_window, f"{name} half window")
    allowed = finite(allowed, f"{name} allowed deviation")
    if not allowed > 0:
        raise InputError(f"{name}: the allowed deviation must be above 0 nm, not {allowed:g}")
    if not half_window > allowed:
        raise InputError(f"{name}: the half window {half_window:g} nm must be larger than the "
                         f"allowed deviation {allowed:g} nm, or the line could never fail")
    low, high = rules.limits().display_grid_nm
    if target - half_window < low or target + half_window > high:
        raise InputError(f"{name}: the window {target - half_window:g}..{target + half_window:g}"
                         f" nm reaches beyond {low:.0f}..{high:.0f} nm")
    return target, half_window, allowed
