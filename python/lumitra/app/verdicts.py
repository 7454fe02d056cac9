"""The one verdict model: how a line and a run are judged, computed here once
and shown as it is by the text, the JSON, the exit status, the report and the
history.

A line is judged against two criteria:
- the check's own tolerance (|measured - reference| at most the tolerance),
- where the line lies in one of its ranges, the wavelength accuracy of the
  European Pharmacopoeia (Ph. Eur. 2.2.25, "Control of wavelengths"):
  +/-1 nm in the ultraviolet range (below 400 nm) and +/-3 nm in the visible
  range (400 nm to 800 nm). The ranges do not overlap; a line outside both
  has no pharmacopoeial criterion.
A line that was not measured (not found in its window, saturated, no width)
fails both. A run passes only when it has lines and every line passes every
criterion that applies to it. The run states compliance with Ph. Eur.
2.2.25 only when it measured at least one ultraviolet line and every line
with a pharmacopoeial criterion meets it; without an ultraviolet line it
says that the pharmacopoeia's accuracy was not assessed. Deviations are
always measured minus reference.
"""

from __future__ import annotations

from dataclasses import dataclass

PH_EUR = "Ph. Eur. 2.2.25"
PH_EUR_CLAUSE = ("Ph. Eur. 2.2.25 Ultraviolet and visible absorption spectrophotometry, "
                 "Control of wavelengths (10th Edition; unchanged in the 11th)")
# (range, from nm (included), to nm, permitted deviation nm, whether `to` is included)
PH_EUR_RANGES = (("ultraviolet", 0.0, 400.0, 1.0, False), ("visible", 400.0, 800.0, 3.0, True))

MET, NOT_MET, NOT_ASSESSED = "met", "not met", "not assessed"


@dataclass(frozen=True)
class Criterion:
    """The pharmacopoeial criterion of a line: its range and permitted deviation."""

    range: str
    limit: float


def ph_eur_criterion(nm: float) -> Criterion | None:
    """The Ph. Eur. range a wavelength lies in, or None outside both."""
    for name, low, high, limit, high_included in PH_EUR_RANGES:
        if low <= nm < high or (high_included and nm == high):
            return Criterion(name, limit)
    return None


@dataclass(frozen=True)
class Line:
    """One line of a run as judged; wavelengths in nm, None where not measured."""

    reference: float
    measured: float | None
    deviation: float | None  # measured - reference
    width: float | None
    tolerance: float
    within_tolerance: bool   # what the library (or the check) decided
    searched_in: str
    problem: str | None = None  # why the line was not measured, or was refused

    @property
    def measured_ok(self) -> bool:
        return self.problem is None and self.deviation is not None

    @property
    def check_passed(self) -> bool:
        return self.measured_ok and self.within_tolerance

    @property
    def criterion(self) -> Criterion | None:
        return ph_eur_criterion(self.reference)

    @property
    def ph_eur_passed(self) -> bool | None:
        """Whether the line meets its pharmacopoeial criterion (None: it has none)."""
        criterion = self.criterion
        if criterion is None:
            return None
        return self.measured_ok and abs(self.deviation) <= criterion.limit

    @property
    def passed(self) -> bool:
        return self.check_passed and self.ph_eur_passed is not False

    @property
    def verdict(self) -> str:
        """pass, or FAIL with the reason."""
        if self.passed:
            return "pass"
        if not self.measured_ok:
            return f"FAIL: {self.problem or 'not measured'}"
        reasons = []
        if not self.within_tolerance:
            reasons.append(f"beyond the tolerance +/-{self.tolerance:g} nm")
        if self.ph_eur_passed is False:
            reasons.append(f"beyond {PH_EUR} +/-{self.criterion.limit:g} nm")
        return "FAIL: " + " and ".join(reasons)

    def as_json(self) -> dict:
        criterion = self.criterion
        return {"reference_nm": self.reference, "searched_in": self.searched_in,
                "measured_nm": self.measured, "deviation_nm": self.deviation,
                "width_nm": self.width, "tolerance_nm": self.tolerance,
                "within_tolerance": self.check_passed,
                "ph_eur_range": criterion.range if criterion else None,
                "ph_eur_limit_nm": criterion.limit if criterion else None,
                "ph_eur_passed": self.ph_eur_passed, "problem": self.problem,
                "passed": self.passed}


@dataclass(frozen=True)
class Verdict:
    """The verdict of a run."""

    lines: tuple[Line, ...]

    @property
    def passed(self) -> bool:
        return bool(self.lines) and all(line.passed for line in self.lines)

    @property
    def failed_lines(self) -> list[Line]:
        return [line for line in self.lines if not line.passed]

    @property
    def ph_eur(self) -> str:
        """met, not met, or not assessed (no ultraviolet line measured)."""
        judged = [line for line in self.lines if line.criterion is not None]
        if any(line.ph_eur_passed is False for line in judged):
            return NOT_MET
        measured_uv = [line for line in judged
                       if line.criterion.range == "ultraviolet" and line.measured_ok]
        return MET if measured_uv else NOT_ASSESSED

    @property
    def word(self) -> str:
        return "PASSED" if self.passed else "FAILED"

    def ph_eur_text(self) -> str:
        if self.ph_eur == MET:
            return f"{PH_EUR} wavelength accuracy met"
        if self.ph_eur == NOT_MET:
            return f"{PH_EUR} wavelength accuracy NOT met"
        return (f"{PH_EUR} wavelength accuracy not assessed: no ultraviolet line was "
                "measured")

    def summary(self) -> str:
        """The one-line verdict every output shows."""
        passed = sum(line.passed for line in self.lines)
        return (f"{self.word}: {passed} of {len(self.lines)} lines pass; "
                f"{self.ph_eur_text()}")

    def as_json(self) -> dict:
        return {"passed": self.passed, "verdict": self.word, "ph_eur": self.ph_eur,
                "summary": self.summary(), "lines": [line.as_json() for line in self.lines]}
