"""What the package checks before it calls the library.

The library takes what it is given and answers with a number: a record
whose two lines sit at one position gives a table of sentinels, a spectrum
of zeros gives a calibration moved by twenty elements, a wavelength beyond
32 bits wraps round. Every wrapper of this package passes its arguments
through the checks here first, so that such input is refused with the
reason, in the terms of the measurement, and never answered.

Errors are ``InputError`` (a ``ValueError``); a spectrum that does not show
the line searched in it raises ``LineNotFoundError`` naming the spectrum, the
line, the window searched and why.
"""

from __future__ import annotations

import math
import operator

import numpy as np

from . import optics
from .errors import InputError, LineNotFoundError
from .native import DISPLAY_GRID_COUNT, ELEMENT_COUNT
from .records import CalibrationRecord

INT32_MIN, INT32_MAX = -2**31, 2**31 - 1
# The fine grid holds spectra in thousandths in 32-bit integers.
FINE_LIMIT = INT32_MAX / 1000.0
GRID_NM = (190.0, 800.0)           # the wavelengths the library's tables and checks cover
POSITION_64THS = (64, ELEMENT_COUNT * 64)  # elements 1 .. 512 in record units
# The two lines of a record imply a dispersion (measured elements per model
# element). A working array lies within a few per cent of the grating's;
# the calibration itself can only write 0.96 .. 1.04.
DISPERSION_RANGE = (0.9, 1.1)
# The narrowest window of the lamp checks (4 elements, centred one element
# above the line) finds a line at most about 3.7 nm below its place: a larger
# tolerance could never fail.
MAX_TOLERANCE_NM = 3.0
# A line stands out when its height above the surrounding base is this many
# times the noise of the spectrum (robust sigma of its second differences).
SIGNIFICANCE = 10.0
BASE_SPAN = 20   # samples either side in which the base of a line is taken (as the library)
FILTER_HALF_WIDTH = 10  # elements: the low-frequency filter of the calibration and holmium check


# --- numbers -----------------------------------------------------------------

def finite(value, name: str) -> float:
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise InputError(f"{name}: {value!r} is not a number") from None
    if not math.isfinite(number):
        raise InputError(f"{name}: {value!r} is not a finite number")
    return number


def int32(value, name: str) -> int:
    """An integer the library takes as a signed 32-bit number."""
    if isinstance(value, float) and value.is_integer():
        value = int(value)
    try:
        number = operator.index(value)
    except TypeError:
        raise InputError(f"{name}: {value!r} is not an integer") from None
    if not INT32_MIN <= number <= INT32_MAX:
        raise InputError(f"{name}: {number} does not fit the library's 32-bit integers")
    return number


def wavelength(value, name: str = "wavelength") -> float:
    """A wavelength in nm within the library's range 190..800 nm."""
    nm = finite(value, name)
    if not GRID_NM[0] <= nm <= GRID_NM[1]:
        raise InputError(f"{name}: {nm:g} nm lies outside the detector's range "
                         f"{GRID_NM[0]:.0f}..{GRID_NM[1]:.0f} nm")
    return nm


def tolerance(value, name: str = "tolerance") -> float:
    nm = finite(value, name)
    if not 0.0 < nm <= MAX_TOLERANCE_NM:
        raise InputError(f"{name}: {nm:g} nm; the allowed deviation must lie above 0 and at "
                         f"most {MAX_TOLERANCE_NM:g} nm (a line is searched only a few nm "
                         "either side of its place: a larger tolerance could never fail)")
    return nm


def choice(value, allowed: dict, name: str):
    if value not in allowed:
        raise InputError(f"{name}: {value!r}; expected one of "
                         + ", ".join(f"{k!r} ({v})" for k, v in allowed.items()))
    return value


# --- records -----------------------------------------------------------------

def record_problems(record: CalibrationRecord) -> list[str]:
    """Why a record cannot describe this array (empty for the uncalibrated
    record and for a record within the array)."""
    if not record.is_calibrated:
        return []
    problems = []
    lines = ((record.wavelength1, record.position1), (record.wavelength2, record.position2))
    for i, (hundredths, position) in enumerate(lines, start=1):
        if not GRID_NM[0] * 100 <= hundredths <= GRID_NM[1] * 100:
            problems.append(f"line {i} at {hundredths / 100:.2f} nm lies outside "
                            f"{GRID_NM[0]:.0f}..{GRID_NM[1]:.0f} nm")
        if not POSITION_64THS[0] <= position <= POSITION_64THS[1]:
            problems.append(f"line {i} at element {position / 64:.3f} lies off the array "
                            f"(elements 1..{ELEMENT_COUNT}; positions are in 1/64 element)")
    if problems:
        return problems
    m1 = optics.round_to_hundredth(optics.wavelength_to_position(record.wavelength1 / 100.0))
    m2 = optics.round_to_hundredth(optics.wavelength_to_position(record.wavelength2 / 100.0))
    if m1 == m2:
        return ["both lines are at one wavelength, which gives no dispersion"]
    if record.position1 == record.position2:
        return ["both lines are at one position, which gives no dispersion"]
    slope = (record.position2 - record.position1) / 64.0 / (m2 - m1)
    if slope <= 0:
        return ["the wavelengths would fall along the array (the longer wavelength at the "
                "lower position)"]
    if not DISPERSION_RANGE[0] <= slope <= DISPERSION_RANGE[1]:
        return [f"the lines imply a dispersion {slope:.3f} times the grating's; an array "
                f"lies within {DISPERSION_RANGE[0]}..{DISPERSION_RANGE[1]}"]
    return []


def record(value, name: str = "record", raw: bool = False,
           calibrated: bool = False) -> CalibrationRecord:
    """A CalibrationRecord from a record, four integers or None (uncalibrated),
    refused when it cannot describe the array (unless raw)."""
    if value is None:
        result = CalibrationRecord.UNCALIBRATED
    elif isinstance(value, CalibrationRecord):
        result = value
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
    if not raw:
        problems = record_problems(result)
        if problems:
            raise InputError(f"{name} {result}: " + "; ".join(problems))
    return result


# --- spectra -----------------------------------------------------------------

def label(values, default: str) -> str:
    """The name of a spectrum in messages: the file it came from, if known."""
    return getattr(values, "source", "") or default


def spectrum(values, name: str, length: int = ELEMENT_COUNT, limit: float = INT32_MAX):
    """values as a contiguous float64 array of exactly length finite values,
    none beyond +/-limit."""
    name = label(values, name)
    if values is None:
        raise InputError(f"{name}: no values")
    try:
        array = np.ascontiguousarray(values, dtype=np.float64)
    except (TypeError, ValueError):
        raise InputError(f"{name}: not a series of numbers") from None
    if array.ndim != 1 or array.size != length:
        raise InputError(f"{name}: expected {length} values, got "
                         f"{array.size if array.ndim == 1 else array.shape}")
    where = "point" if length == DISPLAY_GRID_COUNT else "element"
    bad = np.flatnonzero(~np.isfinite(array))
    if bad.size:
        raise InputError(f"{name}: {where} {bad[0] + 1} is {array[bad[0]]}, not a finite number")
    beyond = np.flatnonzero(np.abs(array) > limit)
    if beyond.size:
        raise InputError(f"{name}: {where} {beyond[0] + 1} is {array[beyond[0]]:g}, beyond "
                         f"+/-{limit:.10g} that the library can hold")
    return array


def optional_spectrum(values, name: str, length: int = ELEMENT_COUNT):
    return None if values is None else spectrum(values, name, length)


def difference(values: np.ndarray, dark: np.ndarray | None, name: str, dark_name: str,
               limit: float = FINE_LIMIT) -> tuple[np.ndarray, str]:
    """The spectrum less its dark as the library forms it, and its name."""
    result = values if dark is None else values - dark
    text = name if dark is None else f"{name} less {dark_name}"
    beyond = np.flatnonzero(np.abs(result) > limit)
    if beyond.size:
        raise InputError(f"{text}: element {beyond[0] + 1} is {result[beyond[0]]:g}, beyond "
                         f"+/-{limit:.10g} that the library can resample")
    return result, text


def low_frequency_filtered(values: np.ndarray, half_width: int = FILTER_HALF_WIDTH):
    """Each value less the mean of the values within half_width either side:
    the library's filter, at element resolution."""
    if half_width == 0:
        return values  # the library leaves the signal as it is
    sums = np.concatenate([[0.0], np.cumsum(values)])
    index = np.arange(values.size)
    lo = np.clip(index - half_width, 0, values.size)
    hi = np.clip(index + half_width + 1, 0, values.size)
    return values - (sums[hi] - sums[lo]) / (hi - lo)


def noise(values: np.ndarray) -> float:
    """Robust standard deviation of the noise: from the second differences,
    which a smooth continuum does not reach and a few lines do not move."""
    if values.size < 5:
        return 0.0
    second = values[:-2] - 2.0 * values[1:-1] + values[2:]
    mad = np.median(np.abs(second - np.median(second)))
    return float(1.4826 * mad / math.sqrt(6.0))


def find_line(values: np.ndarray, x: np.ndarray, lo: float, hi: float, *, line: float,
              name: str, unit: str = "element", valley: bool = False,
              floor: float | None = None, quantum: float = 0.001, searcher: str = "") -> float:
    """Where a line stands clearly in values within the window lo..hi (in
    the units of x, ascending), as the library would look for it: a maximum
    (a minimum for a valley) inside the window, higher than its base by
    several times the noise. Returns its position; raises LineNotFoundError
    saying why not."""
    kind = "valley" if valley else "line"
    window = (f"{lo:.1f}..{hi:.1f} nm" if unit == "nm" else f"elements {lo:.1f}..{hi:.1f}")
    where = f"{window}{' (searched by ' + searcher + ')' if searcher else ''}"

    def refuse(why: str):
        raise LineNotFoundError(f"{name}: no {line:g} nm {kind} in {where}: {why}")

    if lo < x[0] or hi > x[-1]:
        refuse(f"the window reaches off the array ({x[0]:.1f}..{x[-1]:.1f}); "
               "is the record right?")
    y = -values if valley else values
    inside = np.flatnonzero((x >= lo) & (x <= hi))
    if inside.size == 0:
        inside = np.array([int(np.argmin(np.abs(x - 0.5 * (lo + hi))))])
    a, b = max(inside[0] - 1, 0), min(inside[-1] + 1, y.size - 1)
    m = a + int(np.argmax(y[a:b + 1]))
    top = y[m]
    if np.all(y[a:b + 1] == top):
        refuse(f"the values there are flat ({values[m]:g})")
    if floor is not None and top <= floor:
        refuse(f"no value there rises above {floor:g}")
    if m in (0, y.size - 1) or y[m - 1] > top or y[m + 1] > top:
        toward = x[a] if m == a else x[b]
        refuse(f"the values keep {'falling' if valley else 'rising'} beyond the window "
               f"(toward {toward:.1f}); the {kind} is not inside it: is the record right, "
               "or a spectrum and its dark swapped?")
    curvature = y[m - 1] - 2.0 * top + y[m + 1]
    shift = 0.5 * (y[m - 1] - y[m + 1]) / curvature if curvature < 0 else 0.0
    vertex = float(np.interp(m + shift, np.arange(x.size), x))
    if not lo <= vertex <= hi:
        refuse(f"the nearest {'minimum' if valley else 'maximum'} lies at {vertex:.1f}, "
               "outside the window")
    base = max(y[max(m - BASE_SPAN, 0):m + 1].min(), y[m:m + BASE_SPAN + 1].min())
    height = top - base
    sigma = noise(y)
    needed = max(SIGNIFICANCE * sigma, 10.0 * quantum)
    if height < needed:
        refuse(f"its highest point stands {height:.3g} above its base, within the noise "
               f"(noise {sigma:.3g}; a line needs {needed:.3g})")
    return vertex


ELEMENTS = np.arange(1, ELEMENT_COUNT + 1, dtype=float)


# --- the lines each search of the library needs ------------------------------

def _fine_window(centre: int, half: int) -> tuple[float, float]:
    """A window of the fine grid (index k is position 1 + k/64) in elements."""
    return 1.0 + (centre - half) / 64.0, 1.0 + (centre + half) / 64.0


def calibration_lines(first, first_name, second, second_name, method: int) -> None:
    """The calibration finds 656.1 nm in the first difference (fine indices
    23360..25920) and 360.8 nm in the second, filtered, 246..226 elements
    below it; the refinement method takes element maxima above 0 in elements
    366..405 and 129..168 of the unfiltered differences."""
    who = "the calibration"
    if method == 0:
        anchor = find_line(first, ELEMENTS, 366.0, 406.0, line=656.1, name=first_name,
                           searcher=who)
        find_line(low_frequency_filtered(second), ELEMENTS, anchor - 246.0, anchor - 226.0,
                  line=360.8, name=f"{second_name}, filtered", searcher=who)
    else:
        find_line(first, ELEMENTS, 366.0, 405.0, line=656.1, name=first_name, floor=0.0,
                  searcher=who)
        find_line(second, ELEMENTS, 129.0, 168.0, line=360.8, name=second_name, floor=0.0,
                  searcher=who)


def wide_slit_line(values, name) -> None:
    find_line(values, ELEMENTS, 366.0, 406.0, line=656.1, name=name,
              searcher="the wide-slit calibration")


def check_windows(record: CalibrationRecord) -> dict[float, tuple[float, float]]:
    """The window, in elements, in which the lamp checks search each line
    for a record: 656.1 nm twenty elements either side of the record's
    position, the others around where the record expects them (one element
    above, as the library centres them)."""
    slope, model, measured = optics.decode_calibration(record)
    windows = {656.1: _fine_window(-64 - math.trunc(-64.0 * measured), 1280)}
    for line, half in ((486.0, 256), (287.6, 256), (360.8, 640), (253.7, 640), (404.7, 640),
                       (435.8, 640), (546.1, 640)):
        centre = math.trunc(64.0 * optics.calibrated_position(line, model, measured, slope))
        windows[line] = _fine_window(centre, half)
    return windows


def check_lines(record: CalibrationRecord, searches, searcher: str) -> None:
    """searches: (line nm, values, name, filtered, floor) for each line."""
    windows = check_windows(record)
    for line, values, name, filtered, floor in searches:
        lo, hi = windows[line]
        find_line(low_frequency_filtered(values) if filtered else values, ELEMENTS, lo, hi,
                  line=line, name=f"{name}, filtered" if filtered else name, floor=floor,
                  searcher=searcher)


def user_line_values(target: float, half_window: float, allowed: float, name: str):
    """Target, half window and allowed deviation (nm) of a user-defined line:
    the window within 190..800 nm and wider than the allowed deviation, which
    a zero or narrower window would always meet."""
    target = wavelength(target, f"{name} target")
    half_window = finite(half_window, f"{name} half window")
    allowed = finite(allowed, f"{name} allowed deviation")
    if not allowed > 0:
        raise InputError(f"{name}: the allowed deviation must be above 0 nm, not {allowed:g}")
    if not half_window > allowed:
        raise InputError(f"{name}: the half window {half_window:g} nm must be larger than the "
                         f"allowed deviation {allowed:g} nm, or the line could never fail")
    if target - half_window < GRID_NM[0] or target + half_window > GRID_NM[1]:
        raise InputError(f"{name}: the window {target - half_window:g}..{target + half_window:g}"
                         f" nm reaches beyond {GRID_NM[0]:.0f}..{GRID_NM[1]:.0f} nm")
    return target, half_window, allowed
