"""What the library decides with, asked of the library.

The package keeps no copy of the library's numbers: its limits (element
count, display grid, the fine grid and the value it can hold, the range test,
lamp bands), its grating model, and the windows in which each operation
searches its lines all come from the Linux-only exports of
``lumitra_rules.h``. The limits are read once per process.
"""

from __future__ import annotations

import functools
from ctypes import POINTER, byref, c_double, c_int32
from dataclasses import dataclass

import numpy as np

from . import buffers, native
from .errors import E_CALIBRATION_RANGE, S_OK, error_for_status, to_signed

CALIBRATION = native.OPERATION_CALIBRATION
REFINEMENT = native.OPERATION_REFINEMENT
WIDE_SLIT = native.OPERATION_WIDE_SLIT
HOLMIUM_CHECK = native.OPERATION_HOLMIUM_CHECK
MERCURY_CHECK = native.OPERATION_MERCURY_CHECK


@dataclass(frozen=True)
class Limits:
    """LumitraLimits, in Python names; wavelengths in nm, positions in elements."""

    element_count: int
    display_grid_count: int
    display_grid_nm: tuple[float, float]
    fine_steps: int
    fine_count: int
    fine_value_limit: float
    filter_half_width: int
    baseline_elements: int
    range_low: tuple[float, float]     # (nm, lowest position it may fall at)
    range_high: tuple[float, float]    # (nm, highest position it may fall at)
    calibration_lines: tuple[int, int]  # 0.01 nm
    user_check_max_lines: int
    user_check_max_option: int
    lamp_points: tuple[int, int]
    lamps: dict  # "d2"/"w": (reference nm, (band first nm, band last nm))

    @property
    def display_grid(self) -> np.ndarray:
        """The display grid's wavelengths in nm."""
        first, last = self.display_grid_nm
        return np.linspace(first, last, self.display_grid_count)

    @property
    def elements(self) -> np.ndarray:
        """The element numbers 1 .. element_count as positions."""
        return np.arange(1, self.element_count + 1, dtype=float)


@functools.lru_cache(maxsize=None)
def _limits_of(path: str) -> Limits:
    raw = native.LumitraLimits()
    native.library().LumitraInfo_GetLimits(byref(raw))
    return Limits(
        element_count=raw.elementCount, display_grid_count=raw.displayGridCount,
        display_grid_nm=(raw.displayGridFirst, raw.displayGridLast), fine_steps=raw.fineSteps,
        fine_count=raw.fineCount, fine_value_limit=raw.fineValueLimit,
        filter_half_width=raw.filterHalfWidth, baseline_elements=raw.baselineElements,
        range_low=(raw.rangeLowWavelength, raw.rangeLowPosition),
        range_high=(raw.rangeHighWavelength, raw.rangeHighPosition),
        calibration_lines=(raw.calibrationLine1, raw.calibrationLine2),
        user_check_max_lines=raw.userCheckMaxLines, user_check_max_option=raw.userCheckMaxOption,
        lamp_points=(raw.lampMinPoints, raw.lampMaxPoints),
        lamps={"d2": (raw.d2LampReference, (raw.d2BandFirst, raw.d2BandLast)),
               "w": (raw.wLampReference, (raw.wBandFirst, raw.wBandLast))})


def limits() -> Limits:
    """The library's limits (read once per library)."""
    return _limits_of(native.library().path)


# --- the grating model -------------------------------------------------------

def _mapped(name: str, record, values) -> np.ndarray:
    """values through one of the model's array exports (record None: the
    nominal model)."""
    given = np.ascontiguousarray(np.atleast_1d(values), dtype=np.float64)
    out = np.empty_like(given)
    function = native.library().function(name)
    if record is None:
        function(buffers.doubles(given), given.size, buffers.doubles(out))
    else:
        raw = record.to_native()
        function(byref(raw), buffers.doubles(given), given.size, buffers.doubles(out))
    return out


def positions_of(record, nm) -> np.ndarray:
    """Where a record puts wavelengths (nm): calibrated positions in elements."""
    return _mapped("LumitraModel_PositionsOf", record, nm)


def wavelengths_at(record, positions) -> np.ndarray:
    """The wavelengths (nm) a record gives positions (elements)."""
    return _mapped("LumitraModel_WavelengthsAt", record, positions)


def nominal_positions(nm) -> np.ndarray:
    """The grating model's own position of wavelengths (nm), without a record."""
    return _mapped("LumitraModel_NominalPositions", None, nm)


def decode(record) -> tuple[float, float, float]:
    """(slope, model position, measured position) of a record."""
    raw = record.to_native()
    slope, model, measured = c_double(), c_double(), c_double()
    native.library().LumitraModel_Decode(byref(raw), byref(slope), byref(model),
                                         byref(measured))
    return slope.value, model.value, measured.value


@dataclass(frozen=True)
class RangeTest:
    """The calibration's range test of a record, as the library applies it."""

    passed: bool
    low_position: float   # where the record puts limits().range_low[0]
    high_position: float  # where it puts limits().range_high[0]

    def failures(self) -> list[str]:
        """What failed, as text (empty when the test passed)."""
        low_nm, low_limit = limits().range_low
        high_nm, high_limit = limits().range_high
        found = []
        if self.low_position < low_limit:
            found.append(f"{low_nm:.0f} nm would fall at element {self.low_position:.3f}, "
                         f"below {low_limit:.1f}")
        if self.high_position > high_limit:
            found.append(f"{high_nm:.0f} nm would fall at element {self.high_position:.3f}, "
                         f"beyond {high_limit:.1f}")
        if not self.passed and not found:
            found.append("the record places no wavelength on the usable array")
        return found


def range_test(record) -> RangeTest:
    raw = record.to_native()
    low, high = c_double(), c_double()
    status = to_signed(native.library().LumitraModel_RangeTest(byref(raw), byref(low),
                                                               byref(high)))
    if status not in (S_OK, E_CALIBRATION_RANGE):
        raise error_for_status(status, "LumitraModel_RangeTest")
    return RangeTest(status == S_OK, low.value, high.value)


# --- line searches -----------------------------------------------------------

@dataclass(frozen=True)
class LineSearch:
    """Where and how an operation searches one line, and what it chose."""

    reference: float          # nm
    input: int                # which difference spectrum
    samples_per_element: int  # 64: the fine grid; 1: element values
    filter_half_width: int    # samples; 0: unfiltered
    first_sample: int
    last_sample: int
    found_sample: int | None  # None: nothing above the floor, or no data given
    floor: float
    first_position: float     # elements
    last_position: float
    found_position: float | None

    @property
    def window_nm(self) -> str:
        return f"elements {self.first_position:.1f}..{self.last_position:.1f}"

    def position_of_sample(self, sample) -> np.ndarray:
        return 1.0 + np.asarray(sample, dtype=float) / self.samples_per_element


def describe_searches(operation: int, record, differences=None) -> list[LineSearch]:
    """The line searches of an operation for a record and, given the
    difference spectra (512 values each, None for one not measured), where
    the library finds each line."""
    raw_record = record.to_native()
    pointers = None
    keep = []
    if differences is not None:
        arrays = [None if d is None else np.ascontiguousarray(d, dtype=np.float64)
                  for d in differences]
        keep.extend(arrays)
        pointers = (POINTER(c_double) * len(arrays))(*[buffers.doubles(a) for a in arrays])
    found = (native.LumitraLineSearch * native.MAX_LINE_SEARCHES)()
    count = c_int32()
    native.library().LumitraRules_DescribeSearches(operation, byref(raw_record), pointers, found,
                                                   native.MAX_LINE_SEARCHES, byref(count))
    return [LineSearch(s.reference, s.input, s.samplesPerElement, s.filterHalfWidth,
                       s.firstSample, s.lastSample,
                       None if s.foundSample < 0 else s.foundSample, s.floor, s.firstPosition,
                       s.lastPosition, None if s.foundSample < 0 else s.foundPosition)
            for s in found[:count.value]]


def searched_data(difference, search: LineSearch) -> np.ndarray:
    """The data a search looks at: the difference resampled onto the fine
    grid (or as it is) and filtered, as the library forms them."""
    given = np.ascontiguousarray(difference, dtype=np.float64)
    room = max(limits().fine_count, given.size)
    out = np.zeros(room, dtype=np.float64)
    count = c_int32()
    native.library().LumitraRules_SearchedData(
        buffers.doubles(given), search.samples_per_element, search.filter_half_width,
        buffers.doubles(out), room, byref(count))
    return out[:count.value]
