"""Whether a spectrum shows the line the library searches in it.

The library takes the largest value in a line's window as the line, whatever
the data: a dark spectrum, a swapped pair, a record far off or a trace whose
bands are minima give it a "line" at the edge of its window, in the noise or
beside the band. Here every search is judged on the data the library
searches (``rules.describe_searches`` and ``rules.searched_data``). A line
is shown when the library's choice
- lies inside its window, not on an edge with the values rising beyond it,
- stands above its base by clearly more than the noise,
- is a maximum as its source gives it: the strongest feature of the window
  must be the maximum, not a minimum (a transmission trace, whose bands are
  minima, and a spectrum less a dark swapped with it are refused),
- and is not cut off: full-scale elements (a flat top at the spectrum's
  largest value) in the window refuse the line, by name.
"""

from __future__ import annotations

import math
from dataclasses import dataclass

import numpy as np

from . import rules

# A line stands out when its height above its base is this many times the
# noise of the spectrum (robust sigma of its second differences).
SIGNIFICANCE = 10.0
# The lines of one check see one scale: a record that is off moves them all
# alike, within about an element across the array for any plausible
# dispersion error. A line that disagrees with the others by more than this
# (elements) is a neighbouring line or band taken for it.
CONSISTENCY_ELEMENTS = 2.0
BEYOND_WINDOW = "beyond the window"


def noise(values: np.ndarray) -> float:
    """Robust standard deviation of the noise: from the second differences,
    which a smooth continuum does not reach and a few lines do not move."""
    if values.size < 5:
        return 0.0
    second = values[:-2] - 2.0 * values[1:-1] + values[2:]
    mad = np.median(np.abs(second - np.median(second)))
    return float(1.4826 * mad / math.sqrt(6.0))


def judge_extreme(y: np.ndarray, first: int, last: int, found: int | None, *, sigma: float,
                  span: int, quantum: float = 0.001, floor: float | None = None,
                  valley: bool = False) -> str | None:
    """Why the extreme chosen at sample `found` of the window first..last of y
    is not a line (None when it is one): y is searched for a maximum (for a
    minimum with valley, which the caller has turned over)."""
    kind = "valley" if valley else "line"
    window = y[first:last + 1]
    if found is None:
        if floor is not None and window.size and window.max() <= floor:
            return f"no value there rises above {floor:g}"
        return "nothing there to take as the line"
    top = y[found]
    if window.size and np.all(window == top):
        return f"the values there are flat ({-top if valley else top:g})"
    if (found == first and found > 0 and y[found - 1] >= top) or \
            (found == last and found + 1 < y.size and y[found + 1] >= top) or \
            found in (0, y.size - 1):
        return (f"the values keep {'falling' if valley else 'rising'} {BEYOND_WINDOW}; the "
                f"{kind} is not inside it: is the record right, or a spectrum and its dark "
                "swapped?")
    base = max(y[max(found - span, 0):found + 1].min(), y[found:found + span + 1].min())
    height = top - base
    needed = max(SIGNIFICANCE * sigma, 10.0 * quantum)
    if height < needed:
        return (f"its highest point stands {height:.3g} above its base, within the noise "
                f"(noise {sigma:.3g}; a {kind} needs {needed:.3g})")
    return None


def polarity_problem(window: np.ndarray, top: float, filtered: bool) -> str | None:
    """A line is the strongest feature of its window, seen from the window's
    base: 0 in a filtered trace (the filter leaves no baseline), else the
    lower of its end values (the other may lie on a line at the window's
    edge). A deeper minimum means the data are upside down."""
    middle = 0.0 if filtered else float(min(window[0], window[-1]))
    bottom = float(window.min())
    if middle - bottom > top - middle:
        why = ("as a transmission trace (give the absorbance, in which the bands are maxima)"
               if filtered else "as a spectrum with its dark swapped")
        return (f"the strongest feature there is a minimum ({bottom:.4g}, against a maximum "
                f"of {top:.4g} about {middle:.4g}): the data are upside down, {why}")
    return None


def consistency_problems(record, references, measured,
                         half_widths=None) -> list[str | None]:
    """For each line (reference and measured wavelength, None if not
    measured), why it cannot be its line (None when nothing says so): the
    other lines put the record off by more than this line's window reaches
    (half_widths, elements; the scale moves all lines alike), or they
    disagree with it on how far the record is off."""
    offsets = [None if m is None else float(
        rules.positions_of(record, [m])[0] - rules.positions_of(record, [r])[0])
        for r, m in zip(references, measured)]
    problems = []
    for i, offset in enumerate(offsets):
        others = [o for j, o in enumerate(offsets) if j != i and o is not None]
        if offset is not None and half_widths is not None and others:
            far = max(others, key=abs)
            if abs(far) > half_widths[i] + CONSISTENCY_ELEMENTS / 2:
                problems.append(f"another line puts the record {far:+.1f} elements off, more "
                                f"than this line's window of +/-{half_widths[i]:g} reaches: "
                                "what its window holds cannot be shown to be this line")
                continue
        if offset is None or not others or abs(offset - float(np.median(others))) \
                <= CONSISTENCY_ELEMENTS:
            problems.append(None)
            continue
        problems.append(f"it puts the record {offset:+.1f} elements off where the other lines "
                        f"put it {float(np.median(others)):+.1f}: what was found is not this "
                        "line but a neighbour of it")
    return problems


def saturation_problem(spectrum: np.ndarray | None, first_element: int,
                       last_element: int) -> str | None:
    """Full-scale elements among elements first..last (1-based) of a spectrum
    as measured: two or more neighbours at the spectrum's largest value."""
    if spectrum is None:
        return None
    top = float(spectrum.max())
    lo, hi = max(first_element, 1) - 1, min(last_element, spectrum.size)
    at_top = np.flatnonzero(spectrum[lo:hi] == top)
    if top > 0 and at_top.size >= 2 and np.any(np.diff(at_top) == 1):
        return (f"saturated: elements {lo + at_top[0] + 1}..{lo + at_top[-1] + 1} stand at the "
                f"spectrum's full scale ({top:g}); measure it with a shorter exposure")
    return None


@dataclass(frozen=True)
class Evidence:
    """One search of the library and the verdict on what it found."""

    search: rules.LineSearch
    problem: str | None  # None: the line is shown

    @property
    def shown(self) -> bool:
        return self.problem is None

    @property
    def beyond(self) -> bool:
        """The line lies beyond its window: the record is off by more than it."""
        return self.problem is not None and BEYOND_WINDOW in self.problem

    @property
    def half_width(self) -> float:
        return (self.search.last_position - self.search.first_position) / 2


def lost_problems(judged: list[Evidence]) -> dict[float, str]:
    """When a line lies beyond its window, the record is off by more than that
    window: whatever the narrower windows of the other lines hold cannot be
    shown to be their lines. Reference: why, for each such line."""
    lost = [item for item in judged if item.beyond]
    if not lost:
        return {}
    widest = max(lost, key=lambda item: item.half_width)
    return {item.search.reference: (
        f"{widest.search.reference:g} nm lies beyond its window of +/-{widest.half_width:g} "
        f"elements, so the record is off by more than this line's +/-{item.half_width:g}: "
        "what its window holds cannot be shown to be this line")
        for item in judged if item.shown and item.half_width < widest.half_width}


def judge_searches(operation: int, record, differences, measured=None) -> list[Evidence]:
    """Each line search of an operation, judged on the data it searches.
    differences: one per input of the operation (None for one not given);
    measured: the spectra as read (before their darks), for the saturation
    test, one per input or None."""
    limits = rules.limits()
    measured = measured or [None] * len(differences)
    sigmas = [None if d is None else noise(np.asarray(d, dtype=float)) for d in differences]
    found = []
    for search in rules.describe_searches(operation, record, differences):
        difference = differences[search.input]
        if difference is None:
            continue
        problem = saturation_problem(measured[search.input], math.floor(search.first_position),
                                     math.ceil(search.last_position))
        if problem is None:
            data = rules.searched_data(difference, search)
            problem = judge_extreme(
                data, search.first_sample, search.last_sample, search.found_sample,
                sigma=sigmas[search.input],
                span=limits.baseline_elements * search.samples_per_element, floor=search.floor)
            if problem is None:
                problem = polarity_problem(data[search.first_sample:search.last_sample + 1],
                                           float(data[search.found_sample]),
                                           search.filter_half_width > 0)
        found.append(Evidence(search, problem))
    return found
