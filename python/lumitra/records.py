"""The Python forms of the library's records."""

from __future__ import annotations

import math
import operator
from dataclasses import dataclass, field
from typing import ClassVar, Iterable

from . import native
from .errors import InputError

CALIBRATION_LINE1 = 36080  # 360.80 nm, the line the calibration places with the anchor
CALIBRATION_LINE2 = 65610  # 656.10 nm, the anchor line


@dataclass(frozen=True)
class CalibrationRecord:
    """Two reference lines (0.01 nm) and their measured positions (1/64
    element; element e is e*64). Both positions 0: uncalibrated, the default
    dispersion with 656.1 nm at element 383.0."""

    wavelength1: int = 0
    position1: int = 0
    wavelength2: int = 0
    position2: int = 0

    UNCALIBRATED: ClassVar["CalibrationRecord"]

    def __post_init__(self):
        for name in ("wavelength1", "position1", "wavelength2", "position2"):
            try:
                value = operator.index(getattr(self, name))
            except TypeError:
                raise TypeError(f"{name} must be an integer, not {getattr(self, name)!r}") from None
            if not -2**31 <= value < 2**31:
                raise InputError(f"{name} = {value} does not fit in 32 bits")
            object.__setattr__(self, name, value)

    @classmethod
    def parse(cls, values: Iterable) -> "CalibrationRecord":
        """From four integers (strings such as "36080" are accepted)."""
        values = list(values)
        if len(values) != 4:
            raise ValueError(f"a calibration record is four integers, got {len(values)}")
        numbers = []
        for value in values:
            try:
                numbers.append(int(str(value).strip(), 10))
            except ValueError:
                raise ValueError(f"{value!r} is not an integer") from None
        return cls(*numbers)

    @property
    def is_calibrated(self) -> bool:
        return not (self.position1 == 0 and self.position2 == 0)

    @property
    def positions(self) -> tuple[float, float]:
        """The two positions in elements."""
        return self.position1 / 64.0, self.position2 / 64.0

    def as_tuple(self) -> tuple[int, int, int, int]:
        return (self.wavelength1, self.position1, self.wavelength2, self.position2)

    def to_native(self) -> native.CalibrationRecord:
        return native.CalibrationRecord(*self.as_tuple())

    @classmethod
    def from_native(cls, raw: native.CalibrationRecord) -> "CalibrationRecord":
        return cls(raw.wavelength1, raw.position1, raw.wavelength2, raw.position2)

    def __str__(self) -> str:
        return "{%d, %d, %d, %d}" % self.as_tuple()


CalibrationRecord.UNCALIBRATED = CalibrationRecord(0, 0, 0, 0)


@dataclass(frozen=True)
class CheckLine:
    """One line of a lamp check. Wavelengths and widths in nm; ``measured``
    and ``deviation`` are NaN for a line that had no measurable width."""

    reference: float
    measured: float
    deviation: float
    width: float
    passed: bool
    spectrum: str  # where the line was searched: "deuterium", "holmium", ...

    @property
    def located(self) -> bool:
        return not math.isnan(self.measured)


@dataclass(frozen=True)
class CheckResult:
    """Result of the deuterium/holmium or deuterium/mercury check."""

    kind: str  # "deuterium/holmium" or "deuterium/mercury"
    record: CalibrationRecord
    tolerance: float
    lines: tuple[CheckLine, ...] = field(default_factory=tuple)

    @property
    def passed(self) -> bool:
        """Every line measured and within tolerance."""
        return bool(self.lines) and all(line.passed for line in self.lines)

    @property
    def max_abs_deviation(self) -> float:
        values = [abs(line.deviation) for line in self.lines if line.located]
        return max(values) if values else math.nan

    def line(self, reference: float) -> CheckLine:
        for line in self.lines:
            if abs(line.reference - reference) < 0.05:
                return line
        raise KeyError(f"no line at {reference} nm in this check")


@dataclass(frozen=True)
class UserLine:
    """A line of the user-defined check, in nm (held by the library in
    0.01 nm): the expected wavelength, the half-width of the search window,
    the largest accepted difference, and whether it is a valley."""

    target: float
    half_window: float = 2.0
    allowed_deviation: float = 1.0
    valley: bool = False


@dataclass(frozen=True)
class UserLineResult:
    """Where the user-defined check found a line; wavelengths in nm,
    difference = target - found."""

    target: float
    found: float
    difference: float
    allowed_deviation: float
    valley: bool
    passed: bool


@dataclass(frozen=True)
class LampInfo:
    """Lamp diagnostics: value at the reference wavelength, band maximum and
    its wavelength (nm). None where the spectrum does not let it be measured."""

    lamp: str
    reference_wavelength: float
    reference_value: float | None
    maximum: float | None
    maximum_wavelength: float | None
