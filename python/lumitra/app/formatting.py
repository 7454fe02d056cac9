"""Human-readable and JSON forms of records and check results."""

from __future__ import annotations

import math

import numpy as np

from ..api import rules, tables
from ..api.lamps import LAMP_NAMES
from ..api.records import CheckResult, LampInfo
from .verdicts import Verdict


NOT_MEASURED = "not measured"
NO_WAVELENGTH = tables.NOT_MEASURED  # a table entry the library could not compute


def describe_table(table: np.ndarray) -> str:
    count = rules.limits().element_count
    missing = int(np.count_nonzero(table[:count] == NO_WAVELENGTH))
    if missing:
        return (f"{NOT_MEASURED} for {missing} of {count} elements (the record gives the "
                "library no wavelength there)")
    nm = table[:count] / 100.0
    steps = np.diff(nm)
    return (f"{nm[0]:.2f} .. {nm[-1]:.2f} nm over {count} elements "
            f"({steps.min():.3f} to {steps.max():.3f} nm per element)")


def number(value: float | None, digits: int = 3, sign: bool = False) -> str:
    """A measured value for people: "not measured" for None or NaN."""
    if json_number(value) is None:
        return NOT_MEASURED
    return f"{value:+.{digits}f}" if sign else f"{value:.{digits}f}"


def json_number(value: float | None) -> float | None:
    """A measured value for JSON: None (null) for None or NaN."""
    return None if value is None or (isinstance(value, float) and math.isnan(value)) else value


def verdict_text(verdict: Verdict, indent: str = "  ") -> str:
    """Each line with both criteria and its verdict, then the run's verdict."""
    rows = [f"{indent}{'line nm':>8}  {'searched in':<14} {'measured nm':>11} "
            f"{'deviation nm':>12} {'width nm':>8} {'tolerance':>9} {'Ph. Eur.':>8}  result"]
    for line in sorted(verdict.lines, key=lambda item: item.reference):
        criterion = line.criterion
        rows.append(f"{indent}{line.reference:>8.1f}  {line.searched_in[:14]:<14} "
                    f"{number(line.measured):>11} {number(line.deviation, sign=True):>12} "
                    f"{number(line.width, 2):>8} {'+/-' + format(line.tolerance, 'g'):>9} "
                    f"{'+/-' + format(criterion.limit, 'g') if criterion else 'none':>8}  "
                    f"{line.verdict}")
    return "\n".join(rows + [f"Result: {verdict.summary()}"])


def format_check(result: CheckResult, indent: str = "  ") -> str:
    """A check's result as the run it would be: both criteria per line."""
    from .runs import lines_of_check
    return (f"{result.kind} check, tolerance +/-{result.tolerance:.2f} nm\n"
            + verdict_text(Verdict(tuple(lines_of_check(result))), indent))


def check_json(result: CheckResult) -> dict:
    from .runs import lines_of_check
    return {"kind": result.kind, "record": result.record.as_dict(),
            "tolerance_nm": result.tolerance,
            **Verdict(tuple(lines_of_check(result))).as_json()}


def lamp_text(info: LampInfo, largest: int | None = None) -> str:
    name = LAMP_NAMES[info.lamp]
    band = "{:g}-{:g} nm".format(*rules.limits().lamps[info.lamp][1])
    if info.maximum is None:
        maximum = f"{NOT_MEASURED} (no value in the band)"
    elif info.maximum_wavelength is None:
        maximum = f"{info.maximum:.3f}, at a wavelength {NOT_MEASURED} (the band is flat)"
    else:
        maximum = f"{info.maximum:.3f} at {info.maximum_wavelength:.2f} nm"
    lines = [f"{name} lamp",
             f"  value at {info.reference_wavelength:.0f} nm   "
             f"{number(info.reference_value)}",
             f"  maximum in {band}   {maximum}"]
    if largest is not None:
        lines.append(f"  largest value (whole number)   {largest}")
    return "\n".join(lines)


def lamp_rows(info: LampInfo, largest: int) -> list[tuple[str, str]]:
    """The lamp test's values as the report shows them."""
    low, high = rules.limits().lamps[info.lamp][1]
    return [(f"value at {info.reference_wavelength:g} nm", number(info.reference_value)),
            (f"maximum in {low:g}-{high:g} nm", number(info.maximum)),
            ("wavelength of the maximum, nm", number(info.maximum_wavelength, 2)),
            ("largest value (whole number)", str(largest))]


def lamp_json(info: LampInfo, largest: int | None = None) -> dict:
    data = {"lamp": info.lamp, "reference_wavelength_nm": info.reference_wavelength,
            "reference_value": info.reference_value, "maximum": info.maximum,
            "maximum_wavelength_nm": info.maximum_wavelength}
    if largest is not None:
        data["largest_value"] = largest
    return data
