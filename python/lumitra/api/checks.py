"""Wavelength accuracy checks: holmium filter, mercury lamp, lines of your own."""

from __future__ import annotations

import math
from ctypes import byref

import numpy as np

from . import buffers, evidence, inputs, native, rules
from .errors import InputError
from .records import CheckLine, CheckResult, UserLine, UserLineResult

DEFAULT_TOLERANCE = 1.0  # nm

# Where each check's lines are searched, in the order of the library's result.
HOLMIUM_SPECTRA = ("deuterium", "deuterium", "holmium", "holmium")
MERCURY_SPECTRA = ("deuterium", "deuterium", "mercury 1", "mercury 2", "mercury 2", "mercury 2")

_NOT_EVALUATED = -1  # withinTolerance value the library never writes


def _blank_result() -> native.WavelengthCheckResult:
    result = native.WavelengthCheckResult()
    for i in range(len(result.withinTolerance)):
        result.measuredWavelength[i] = math.nan
        result.deviation[i] = math.nan
        result.lineWidth[i] = math.nan
        result.withinTolerance[i] = _NOT_EVALUATED
    return result


def _measured(value: float) -> float | None:
    return None if math.isnan(value) else float(value)


def _lines(result: native.WavelengthCheckResult, spectra, judged,
           record) -> tuple[CheckLine, ...]:
    """The lines the library measured; a line its data do not show, or that
    disagrees with the others on the record's error (see evidence), fails
    with the reason instead of the library's number."""
    problems = {round(item.search.reference, 2): item.problem for item in judged}
    problems.update({round(reference, 2): why
                     for reference, why in evidence.lost_problems(judged).items()})
    lines = []
    for i in range(result.lineCount):
        if result.withinTolerance[i] == _NOT_EVALUATED:
            continue  # a line the check did not measure (no holmium spectrum)
        problem = problems.get(round(result.referenceWavelength[i], 2))
        if problem is not None:
            lines.append(CheckLine(result.referenceWavelength[i], None, None, None, False,
                                   spectra[i], problem))
            continue
        measured = _measured(result.measuredWavelength[i])
        lines.append(CheckLine(
            reference=result.referenceWavelength[i], measured=measured,
            deviation=_measured(result.deviation[i]),
            width=_measured(result.lineWidth[i]) if measured is not None else None,
            passed=result.withinTolerance[i] == 1, spectrum=spectra[i]))
    half_widths = {round(item.search.reference, 2): item.half_width for item in judged}
    disagreeing = evidence.consistency_problems(
        record, [line.reference for line in lines], [line.measured for line in lines],
        [half_widths.get(round(line.reference, 2), float("inf")) for line in lines])
    return tuple(line if problem is None else CheckLine(line.reference, None, None, None, False,
                                                        line.spectrum, problem)
                 for line, problem in zip(lines, disagreeing))


def _check_spectra(pairs):
    """(values, name, background, background name) -> [(difference, label, array,
    background array)]: each spectrum finite, less its background as the
    library forms it."""
    out = []
    for values, name, background, background_name in pairs:
        if values is None:
            out.append((None, name, None, None))
            continue
        array = inputs.spectrum(values, name)
        back = inputs.optional_spectrum(background, background_name)
        diff, text = inputs.difference(array, back, inputs.label(values, name),
                                       inputs.label(background, background_name))
        out.append((diff, text, array, back))
    return out


def _lamp_check(kind: str, operation: int, spectra_names, export: str, arguments, record,
                tolerance, pairs) -> CheckResult:
    """The deuterium/holmium or deuterium/mercury check: the inputs checked,
    each search judged, the export called with the arrays arguments(spectra)
    puts in its order, and the lines read back."""
    record = inputs.record(record)
    tolerance = inputs.tolerance(tolerance)
    spectra = _check_spectra(pairs)
    judged = evidence.judge_searches(operation, record, [s[0] for s in spectra],
                                     [s[2] for s in spectra])
    raw_record = record.to_native()
    result = _blank_result()
    native.library().function(export)(0, tolerance, byref(raw_record),
                                      *map(buffers.doubles, arguments(spectra)), byref(result))
    return CheckResult(kind, record, tolerance, _lines(result, spectra_names, judged, record))


def check_holmium(record, d2, holmium=None, d2_background=None,
                  holmium_background=None, tolerance: float = DEFAULT_TOLERANCE) -> CheckResult:
    """Deuterium lines 486.0 and 656.1 nm in d2 and, given a holmium trace (in
    which the bands are maxima), the holmium bands 287.6 and 360.8 nm.
    record: a CalibrationRecord, four integers, or None (uncalibrated).

    A line that its spectrum does not show where the check searches it (see
    lumitra.api.evidence) fails, with the reason in its ``problem``. Raises
    InputError (a ValueError) for a record off the array, a tolerance outside
    0..3 nm, or spectra that are not 512 finite numbers."""
    return _lamp_check(
        "deuterium/holmium", rules.HOLMIUM_CHECK, HOLMIUM_SPECTRA,
        "Lumitra_DoWavelengthCheckD2Ho",
        lambda s: (s[0][3], s[0][2], s[1][3], s[1][2]), record, tolerance,
        [(d2, "deuterium spectrum", d2_background, "deuterium background"),
         (holmium, "holmium spectrum", holmium_background, "holmium background")])


def check_mercury(record, d2, hg1, hg2, background=None,
                  tolerance: float = DEFAULT_TOLERANCE) -> CheckResult:
    """Deuterium lines in d2, the 253.7 nm mercury line in hg1 and the 404.7,
    435.8 and 546.1 nm lines in hg2; background is subtracted from all three.
    Lines not shown fail, and InputError is raised, as by check_holmium."""
    return _lamp_check(
        "deuterium/mercury", rules.MERCURY_CHECK, MERCURY_SPECTRA,
        "Lumitra_DoWavelengthCheckD2Hg",
        lambda s: (s[0][3], s[0][2], s[1][2], s[2][2]), record, tolerance,
        [(d2, "deuterium spectrum", background, "background"),
         (hg1, "first mercury spectrum", background, "background"),
         (hg2, "second mercury spectrum", background, "background")])


def _hundredths(nm: float) -> int:
    return int(round(nm * 100))


def user_lines(lines) -> list[UserLine]:
    """UserLine values (or tuples of their fields), checked: as many lines as
    the library takes, each with a window within the detector's range wider
    than its allowed deviation."""
    if isinstance(lines, (str, bytes, UserLine)):
        lines = [lines]
    lines = [line if isinstance(line, UserLine) else UserLine(*line) for line in lines]
    most = rules.limits().user_check_max_lines
    if not 1 <= len(lines) <= most:
        raise InputError(f"the user-defined check takes 1 to {most} lines, got {len(lines)}")
    checked = []
    for i, line in enumerate(lines, start=1):
        target, half, allowed = inputs.user_line_values(
            line.target, line.half_window, line.allowed_deviation, f"line {i}")
        if not isinstance(line.valley, (bool, np.bool_)):
            raise InputError(f"line {i}: valley is True or False, not {line.valley!r}")
        checked.append(UserLine(target, half, allowed, bool(line.valley)))
    return checked


def check_user(record, first, second, lines, display: bool = False,
               option: int = 0) -> list[UserLineResult]:
    """Up to four lines of your choice, searched as peaks (or valleys) of
    second - first resampled to 0.01 nm. Element spectra (512 values), or
    display-grid spectra (611 values) with display=True.
    A line that second - first does not show in its window fails, with the
    reason in its ``problem``."""
    record = inputs.record(record)
    lines = user_lines(lines)
    limits = rules.limits()
    inputs.choice(option, {k: "" for k in range(limits.user_check_max_option + 1)}, "option")
    length = limits.display_grid_count if display else limits.element_count
    s_first = inputs.spectrum(first, "first spectrum", length)
    s_second = inputs.spectrum(second, "second spectrum", length)
    problems = _user_line_problems(record, s_first, s_second, lines, display,
                                   f"{inputs.label(second, 'second spectrum')} less "
                                   f"{inputs.label(first, 'first spectrum')}")
    raw = native.UserCheckList()
    raw.checkCount = len(lines)
    raw.option = option
    for slot, line in zip(raw.lines, lines):
        slot.targetWavelength = _hundredths(line.target)
        slot.halfWindow = _hundredths(line.half_window)
        slot.allowedDeviation = _hundredths(line.allowed_deviation)
        slot.findMinimum = 1 if line.valley else 0
    raw_record = record.to_native()
    native.library().Lumitra_DoUserDefinedWavelengthCheck(
        1 if display else 0, byref(raw_record), buffers.doubles(s_first),
        buffers.doubles(s_second), byref(raw))
    # A line found on the very edge of its window lies beyond it.
    slots = list(raw.lines)[:len(lines)]
    problems = [problem if problem is not None or slot.foundWavelength not in (
        slot.targetWavelength - slot.halfWindow, slot.targetWavelength + slot.halfWindow)
        else f"found on the edge of its window, at {slot.foundWavelength / 100:.2f} nm: the "
             f"{'valley' if slot.findMinimum else 'line'} lies beyond it"
        for slot, problem in zip(slots, problems)]
    if not display:  # lines on the record's scale must agree on its error
        disagreeing = evidence.consistency_problems(
            record, [slot.targetWavelength / 100.0 for slot in slots],
            [None if problem else slot.foundWavelength / 100.0
             for slot, problem in zip(slots, problems)])
        problems = [problem or other for problem, other in zip(problems, disagreeing)]
    # The library reports target - found; results here say found - target.
    return [UserLineResult(target=slot.targetWavelength / 100.0,
                           found=None if problem else slot.foundWavelength / 100.0,
                           deviation=None if problem else -slot.difference / 100.0,
                           allowed_deviation=slot.allowedDeviation / 100.0,
                           valley=bool(slot.findMinimum),
                           passed=problem is None and slot.passed == 1, problem=problem)
            for slot, problem in zip(list(raw.lines)[:len(lines)], problems)]


def _user_line_problems(record, first, second, lines, display: bool,
                        name: str) -> list[str | None]:
    """Whether second - first shows each line inside its window: None, or why not."""
    # The library cuts the difference to whole numbers before resampling.
    values = np.trunc(second - first)
    if np.any(np.abs(values) > inputs.INT32_MAX):
        raise InputError(f"{name}: values beyond the library's 32-bit integers")
    limits = rules.limits()
    x = limits.display_grid if display else rules.wavelengths_at(record, limits.elements)
    sigma = evidence.noise(values)
    problems = []
    for line in lines:
        y = -values if line.valley else values
        lo, hi = line.target - line.half_window, line.target + line.half_window
        inside = np.flatnonzero((x >= lo) & (x <= hi))
        if inside.size == 0:
            inside = np.array([int(np.argmin(np.abs(x - line.target)))])
        found = int(inside[0] + np.argmax(y[inside]))
        # Elements (1-based) that reach into the window, for the full-scale test.
        reach = (int(inside[0]), int(inside[-1]) + 2)
        problem = (evidence.saturation_problem(second, *reach)
                   or evidence.saturation_problem(first, *reach)
                   or evidence.judge_extreme(y, int(inside[0]), int(inside[-1]), found,
                                             sigma=sigma, span=limits.baseline_elements,
                                             quantum=1.0, valley=line.valley))
        if problem is None and not lo <= x[found] <= hi:
            problem = f"the nearest extreme lies at {x[found]:.1f} nm, outside the window"
        kind = "valley" if line.valley else "line"
        problems.append(None if problem is None else
                        f"no {kind} of {name} in {lo:.1f}..{hi:.1f} nm: {problem}")
    return problems
