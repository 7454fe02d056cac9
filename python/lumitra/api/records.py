"""The Python forms of the library's records and results."""

from __future__ import annotations

import math
import operator
from dataclasses import dataclass, field
from typing import ClassVar, Iterable

from . import native
from .errors import InputError

INT32_MIN, INT32_MAX = -2**31, 2**31 - 1


def int32(value, name: str) -> int:
    """An integer the library takes as a signed 32-bit number (no bool, no
    float, no string)."""
    if isinstance(value, bool):
        raise InputError(f"{name}: {value!r} is not an integer")
    try:
        number = operator.index(value)
    except TypeError:
        raise InputError(f"{name}: {value!r} is not an integer") from None
    if not INT32_MIN <= number <= INT32_MAX:
        raise InputError(f"{name}: {number} does not fit the library's 32-bit integers")
    return number


@dataclass(frozen=True)
class CalibrationRecord:
    """Two reference lines (0.01 nm) and their measured positions (1/64
    element; element e is e*64). Both positions 0: uncalibrated, the default
    dispersion. Exactly four integers; see ``lumitra.record`` for the checks
    a record passes before the library is given it."""

    wavelength1: int
    position1: int
    wavelength2: int
    position2: int

    UNCALIBRATED: ClassVar["CalibrationRecord"]
    FIELDS: ClassVar[tuple[str, ...]] = ("wavelength1", "position1", "wavelength2", "position2")

    def __post_init__(self):
        for name in self.FIELDS:
            object.__setattr__(self, name, int32(getattr(self, name), name))

    @classmethod
    def parse(cls, values: Iterable) -> "CalibrationRecord":
        """From four integers written as text (as on a command line)."""
        values = list(values)
        if len(values) != 4:
            raise InputError(f"a calibration record is four integers, got {len(values)}")
        numbers = []
        for value in values:
            try:
                numbers.append(int(str(value).strip(), 10))
            except ValueError:
                raise InputError(f"{value!r} is not an integer") from None
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

    def as_dict(self) -> dict:
        return dict(zip(self.FIELDS, self.as_tuple()))

    def swapped(self) -> "CalibrationRecord":
        """The same two lines, given in the other order."""
        return CalibrationRecord(self.wavelength2, self.position2, self.wavelength1,
                                 self.position1)

    def to_native(self) -> native.CalibrationRecord:
        return native.CalibrationRecord(*self.as_tuple())

    @classmethod
    def from_native(cls, raw: native.CalibrationRecord) -> "CalibrationRecord":
        return cls(raw.wavelength1, raw.position1, raw.wavelength2, raw.position2)

    def __str__(self) -> str:
        return "{%d, %d, %d, %d}" % self.as_tuple()

    def describe(self) -> str:
        """The record and what it says, for people."""
        if not self.is_calibrated:
            from . import rules
            return (f"{self} (uncalibrated: the default dispersion, 656.1 nm at element "
                    f"{rules.decode(self)[2]:.3f})")
        p1, p2 = self.positions
        return (f"{self}: {self.wavelength1 / 100:.2f} nm at element {p1:.3f}, "
                f"{self.wavelength2 / 100:.2f} nm at element {p2:.3f}")

    def arguments(self) -> str:
        """The record as the command line takes it."""
        return "--record " + " ".join(map(str, self.as_tuple()))


CalibrationRecord.UNCALIBRATED = CalibrationRecord(0, 0, 0, 0)


@dataclass(frozen=True)
class CheckLine:
    """One line of a lamp check, in nm. ``measured``, ``deviation`` and
    ``width`` are None where the line was not measured; ``problem`` says
    why a line failed other than by its deviation."""

    reference: float
    measured: float | None
    deviation: float | None  # measured - reference
    width: float | None
    passed: bool             # within the check's tolerance
    spectrum: str            # where the line was searched: "deuterium", "holmium", ...
    problem: str | None = None

    @property
    def located(self) -> bool:
        return self.measured is not None


@dataclass(frozen=True)
class CheckResult:
    """Result of the deuterium/holmium or deuterium/mercury check."""

    kind: str  # "deuterium/holmium" or "deuterium/mercury"
    record: CalibrationRecord
    tolerance: float
    lines: tuple[CheckLine, ...] = field(default_factory=tuple)

    @property
    def passed(self) -> bool:
        """Every line measured and within the check's tolerance."""
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
    the largest accepted deviation, and whether it is a valley."""

    target: float
    half_window: float = 2.0
    allowed_deviation: float = 1.0
    valley: bool = False


@dataclass(frozen=True)
class UserLineResult:
    """Where the user-defined check found a line; wavelengths in nm,
    deviation = found - target (the sign of the other checks). ``found`` and
    ``deviation`` are None, and ``problem`` says why, for a line that its
    data do not show."""

    target: float
    found: float | None
    deviation: float | None
    allowed_deviation: float
    valley: bool
    passed: bool
    problem: str | None = None


@dataclass(frozen=True)
class LampInfo:
    """Lamp diagnostics: value at the reference wavelength, band maximum and
    its wavelength (nm). None where the spectrum does not let it be measured."""

    lamp: str
    reference_wavelength: float
    reference_value: float | None
    maximum: float | None
    maximum_wavelength: float | None
