"""A run as the laboratory records it: what was done, when, by whom, with
which data and library, and with what result per line.

The report (``report``) and the history (``history``) both take a ``Run``;
neither computes anything of its own about the lines.
"""

from __future__ import annotations

import hashlib
from dataclasses import dataclass, field
from datetime import datetime, timezone
from pathlib import Path

from ..api import native
from ..api.errors import InputError
from ..api.records import CalibrationRecord, CheckResult, UserLineResult
from .verdicts import Line, Verdict

# A measurement time this far ahead of the clock is taken for a mistake, and
# so is one before digital records of this kind were kept.
CLOCK_SKEW_SECONDS = 300
EARLIEST = datetime(1990, 1, 1, tzinfo=timezone.utc)


def lines_of_check(result: CheckResult) -> list[Line]:
    return [Line(line.reference, line.measured, line.deviation, line.width, result.tolerance,
                 line.passed, line.spectrum, line.problem) for line in result.lines]


def lines_of_user(results: list[UserLineResult]) -> list[Line]:
    return [Line(r.target, r.found, r.deviation, None, r.allowed_deviation, r.passed,
                 "valley of second - first" if r.valley else "second - first", r.problem)
            for r in results]


def file_digest(path: str | Path) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as handle:
        for block in iter(lambda: handle.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def parse_time(text: str | None, option: str, zone_required: bool = True) -> datetime | None:
    """An ISO 8601 date or time given as an option: it must name its time
    zone (zone_required), or is taken in the local zone. None stays None."""
    if text is None:
        return None
    try:
        when = datetime.fromisoformat(text.replace("Z", "+00:00"))
    except ValueError:
        raise InputError(f"{option}: {text!r} is not an ISO 8601 time "
                         "(such as 2024-05-02T14:30:00+02:00)") from None
    if when.tzinfo is None:
        if zone_required:
            raise InputError(f"{option}: {text!r} names no time zone; add one, such as "
                             "+02:00 or Z")
        when = when.astimezone()
    return when


def now() -> datetime:
    return datetime.now().astimezone()


def measurement_time(text: str | None) -> datetime:
    """When the data were measured: --time (with its zone), or now; a time in
    the future is refused."""
    when = parse_time(text, "--time")
    if when is None:
        return now()
    if (when - now()).total_seconds() > CLOCK_SKEW_SECONDS:
        raise InputError(f"--time: {text!r} lies in the future; give the time the data were "
                         "measured")
    if when < EARLIEST:
        raise InputError(f"--time: {text!r} lies before {EARLIEST.year}; give the time the "
                         "data were measured")
    return when


@dataclass(frozen=True)
class Run:
    """A check as the laboratory records it: measured at `time`, entered at
    `entered`."""

    command: str
    title: str
    record: CalibrationRecord
    lines: tuple[Line, ...]
    inputs: tuple[tuple[str, str], ...]   # (role, path as given)
    detector: str
    operator: str
    note: str
    time: datetime
    entered: datetime
    parameters: tuple[tuple[str, str], ...] = ()
    details: dict = field(default_factory=dict)  # a calibration's old record, lamp values

    @property
    def kind(self) -> str:
        """check, calibration or lamp test: what the report shows."""
        if self.command in ("calibrate", "wide-slit"):
            return "calibration"
        return "lamp" if self.command == "lamp" else "check"

    @property
    def verdict(self) -> Verdict:
        return Verdict(self.lines)

    @property
    def passed(self) -> bool:
        """A check or calibration passes by its verdict; a lamp test, which
        has no criterion, is recorded as done."""
        return True if self.kind == "lamp" else self.verdict.passed

    def input_digests(self) -> list[tuple[str, str, str]]:
        """(role, path, SHA-256) of every input file."""
        return [(role, path, file_digest(path)) for role, path in self.inputs]


def library_identity() -> tuple[str, str, str]:
    """(path, version, SHA-256) of the library in use."""
    library = native.library()
    path = Path(library.path).resolve()
    return str(path), library.version, file_digest(path)
