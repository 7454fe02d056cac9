"""Figures (PNG) with matplotlib, without pyplot's global state."""

from __future__ import annotations

import functools
import math
from dataclasses import dataclass, field
from pathlib import Path
from typing import Sequence

import matplotlib
import numpy as np
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure

from ..api import rules
from ..api.records import CheckResult

LAMP_COLOURS = {"deuterium": "tab:blue", "holmium": "tab:purple", "mercury 1": "tab:green",
                "mercury 2": "tab:green"}


@dataclass
class Panel:
    """One plot of spectra against wavelength, with marked lines."""

    title: str
    wavelengths: np.ndarray
    series: list[tuple[str, np.ndarray]]
    marks: list[tuple[float, str]] = field(default_factory=list)  # (nm, label)
    ylabel: str = "signal (counts)"
    log: bool = False
    floor: float = 10.0  # lowest value shown on a log scale


FORMATS = (".png", ".svg", ".pdf")
# The type sizes of every figure, set once.
STYLE = {"font.size": 8, "axes.titlesize": 9, "axes.labelsize": 8, "xtick.labelsize": 7,
         "ytick.labelsize": 7, "legend.fontsize": 7, "figure.titlesize": 10}


def _styled(draw):
    """Draws a figure in this module's style."""
    @functools.wraps(draw)
    def styled(*args, **kwargs):
        with matplotlib.rc_context(STYLE):
            return draw(*args, **kwargs)
    return styled


def figure_path(path: str | Path) -> Path:
    """The file a figure is written to: PNG without a suffix, else the
    format its suffix names (refused when it names none of them)."""
    path = Path(path)
    if not path.suffix:
        return path.with_name(path.name + ".png")
    if path.suffix.lower() not in FORMATS:
        raise ValueError(f"{path}: a figure is written as PNG, SVG or PDF; "
                         "name it .png, .svg or .pdf")
    return path


_METADATA = {"png": {"Software": None}, "svg": {"Creator": None},
             "pdf": {"Creator": None, "Producer": None}}


def save(figure: Figure, handle, fmt: str = "png") -> None:
    """Writes a figure to a binary file object in the format named (png, svg
    or pdf), with no software name or address in its metadata."""
    FigureCanvasAgg(figure)
    figure.savefig(handle, dpi=110, format=fmt, metadata=_METADATA[fmt])


def _draw_panel(ax, panel: Panel) -> None:
    for label, values in panel.series:
        shown = np.clip(values, panel.floor, None) if panel.log else values
        ax.plot(panel.wavelengths, shown, lw=0.9, label=label)
    if panel.log:
        ax.set_yscale("log")
        ax.set_ylim(bottom=panel.floor)
    top = ax.get_ylim()[1]
    for wavelength, label in panel.marks:
        if math.isnan(wavelength):
            continue
        ax.axvline(wavelength, color="tab:red", lw=0.8, ls="--")
        ax.annotate(label, (wavelength, top), xytext=(2, -2), textcoords="offset points",
                    rotation=90, va="top", ha="left", color="tab:red",
                    bbox=dict(boxstyle="square,pad=0.1", fc="white", ec="none", alpha=0.8))
    ax.set_title(panel.title)
    ax.set_xlabel("wavelength (nm)")
    ax.set_ylabel(panel.ylabel)
    if len(panel.series) > 1:
        ax.legend(loc="upper right")


@_styled
def spectra_figure(title: str, panels: Sequence[Panel]) -> Figure:
    figure = Figure(figsize=(10, 3.2 * len(panels)))
    axes = figure.subplots(len(panels), 1, squeeze=False)[:, 0]
    for ax, panel in zip(axes, panels):
        _draw_panel(ax, panel)
    figure.suptitle(title)
    figure.tight_layout()
    return figure


def check_marks(result: CheckResult, spectra: Sequence[str]) -> list[tuple[float, str]]:
    """Marks for the lines of a check that were searched in the given spectra."""
    marks = []
    for line in result.lines:
        if line.spectrum in spectra:
            text = f"{line.reference:.1f}: {line.measured:.2f}" if line.located else \
                f"{line.reference:.1f}: not measured"
            marks.append((line.measured if line.located else math.nan, text))
    return marks


def _deviation_panel(ax, results: Sequence[CheckResult], tolerance: float, title: str) -> None:
    if not results:
        ax.text(0.5, 0.5, "the checks could not run", ha="center", va="center",
                transform=ax.transAxes)
        ax.set_title(title)
        return
    seen: dict[float, tuple[str, float, bool]] = {}
    for result in results:
        for line in result.lines:
            deviation = math.nan if line.deviation is None else line.deviation
            seen.setdefault(line.reference, (line.spectrum, deviation, line.passed))
    references = sorted(seen)
    deviations = [seen[r][1] for r in references]
    colours = ["tab:green" if seen[r][2] else "tab:red" for r in references]
    x = np.arange(len(references))
    ax.bar(x, [0.0 if math.isnan(d) else d for d in deviations], color=colours, width=0.6)
    ax.axhspan(-tolerance, tolerance, color="tab:green", alpha=0.08)
    for level in (-tolerance, tolerance):
        ax.axhline(level, color="tab:green", lw=0.8, ls="--")
    ax.axhline(0.0, color="black", lw=0.6)
    largest = max([abs(d) for d in deviations if not math.isnan(d)] + [tolerance])
    ax.set_ylim(-1.25 * largest, 1.25 * largest)
    for xi, d in zip(x, deviations):
        text = "n/a" if math.isnan(d) else f"{d:+.2f}"
        ax.annotate(text, (xi, 0.0 if math.isnan(d) else d), ha="center",
                    va="bottom" if (math.isnan(d) or d >= 0) else "top")
    ax.set_xticks(x)
    ax.set_xticklabels([f"{r:.1f}\n{seen[r][0].split()[0]}" for r in references])
    ax.set_ylabel("deviation (nm)")
    ax.tick_params(axis="y")
    ax.set_title(title)


@_styled
def demo_figure(outcome) -> Figure:
    """Lamp spectra on the new wavelength scale with the located lines, and the
    deviations before and after the calibration."""
    data = outcome.data
    count = rules.limits().element_count
    scale_after = outcome.table_after[:count] / 100.0
    scale_before = outcome.table_before[:count] / 100.0
    ho_after, hg_after = outcome.after
    figure = Figure(figsize=(11, 11))
    grid = figure.add_gridspec(3, 2, height_ratios=[1.0, 1.0, 0.9])

    ax = figure.add_subplot(grid[0, :])
    d2 = data.d2 - data.dark
    _draw_panel(ax, Panel("Deuterium lamp less dark, on the new wavelength scale", scale_after,
                          [("deuterium", d2)], check_marks(ho_after, ["deuterium"])))
    inset = ax.inset_axes([0.52, 0.30, 0.25, 0.55])
    window = (scale_after > 645) & (scale_after < 668)
    window_before = (scale_before > 645) & (scale_before < 668)
    inset.plot(scale_before[window_before], d2[window_before], color="tab:gray", ls="--",
               marker=".", ms=3, lw=0.8, label="default scale")
    inset.plot(scale_after[window], d2[window], color="tab:blue", marker=".", ms=3, lw=0.8,
               label="new scale")
    inset.axvline(656.1, color="black", lw=0.8, ls=":")
    inset.set_title("656.1 nm line")
    inset.tick_params(labelsize="x-small")
    inset.legend(fontsize="x-small", loc="upper left")

    ax = figure.add_subplot(grid[1, 0])
    _draw_panel(ax, Panel("Holmium filter trace", scale_after, [("holmium", data.holmium)],
                          check_marks(ho_after, ["holmium"]), ylabel="absorbance (mAU)"))
    ax = figure.add_subplot(grid[1, 1])
    _draw_panel(ax, Panel("Mercury lamp less dark (log scale)", scale_after,
                          [("exposure for 253.7 nm", data.hg1 - data.dark),
                           ("exposure for the visible lines", data.hg2 - data.dark)],
                          check_marks(hg_after, ["mercury 1", "mercury 2"]), log=True))

    _deviation_panel(figure.add_subplot(grid[2, 0]), outcome.before, outcome.tolerance,
                     "Deviations with the default record (band: tolerance)")
    _deviation_panel(figure.add_subplot(grid[2, 1]), outcome.after, outcome.tolerance,
                     "Deviations with the new record (band: tolerance)")
    d = data.detector
    before = sum(line.passed for r in outcome.before for line in r.lines) \
        if outcome.before else 0
    after = sum(line.passed for r in outcome.after for line in r.lines)
    total = sum(len(r.lines) for r in outcome.after)
    figure.suptitle(
        f"Simulated detector: shift {d.shift:+.2f} elements, dispersion "
        f"{d.slope_error * 100:+.2f} %, slit {d.slit:.1f} nm. New record {outcome.record}.\n"
        f"Within +/-{outcome.tolerance:.2f} nm: {before} of {total} line results before "
        f"calibration, {after} of {total} after.")
    figure.tight_layout()
    return figure


@_styled
def table_figure(table: np.ndarray, title: str) -> Figure:
    figure = Figure(figsize=(9, 5))
    ax, ax2 = figure.subplots(2, 1, sharex=True, height_ratios=[2, 1])
    elements = rules.limits().elements
    nm = table[:elements.size] / 100.0
    ax.plot(elements, nm, lw=1.0)
    ax.set_ylabel("wavelength (nm)")
    ax.set_title(title)
    ax2.plot(elements[1:], np.diff(nm), lw=1.0, color="tab:orange")
    ax2.set_ylabel("nm per element")
    ax2.set_xlabel("element")
    figure.tight_layout()
    return figure


@_styled
def history_figure(runs: Sequence[dict], drifts: Sequence[dict]) -> Figure:
    """Each line's deviation over time with its tolerance band, failed runs
    marked, and the fitted drift since the last calibration carried on to its
    forecast date with the band of its standard uncertainty."""
    from datetime import datetime, timezone
    from .drift import band
    references = sorted({line["reference_nm"] for run in runs for line in run["lines"]})
    lamps = sorted({run["details"]["lamp"]["lamp"] for run in runs
                    if run["command"] == "lamp" and "lamp" in run["details"]})
    if not references and not lamps:
        raise ValueError("the history holds no line and no lamp test to draw")
    panels = len(references) + len(lamps)
    figure = Figure(figsize=(10, 2.2 * panels + 0.8))
    axes = figure.subplots(panels, 1, squeeze=False, sharex=True)[:, 0]

    def date(epoch):
        return datetime.fromtimestamp(epoch, timezone.utc)

    for ax, reference in zip(axes, references):
        for detector in sorted({run["detector"] for run in runs}):
            points = [(date(run["epoch"]), line["deviation_nm"], line["tolerance_nm"],
                       line["passed"])
                      for run in runs if run["detector"] == detector for line in run["lines"]
                      if line["reference_nm"] == reference and line["deviation_nm"] is not None]
            if not points:
                continue
            times, deviations, tolerances, passed = zip(*points)
            ax.plot(times, deviations, "o-", ms=3, lw=0.8, label=detector or "(no detector)")
            failed = [(t, d) for t, d, ok in zip(times, deviations, passed) if not ok]
            if failed:
                ax.plot(*zip(*failed), "x", color="tab:red", ms=7, mew=1.5, label="failed")
            tolerance = tolerances[-1]
            ax.axhspan(-tolerance, tolerance, color="tab:green", alpha=0.06)
            for level in (-tolerance, tolerance):
                ax.axhline(level, color="tab:green", lw=0.8, ls="--")
        for item in drifts:
            if item["reference_nm"] != reference or not item.get("fit"):
                continue
            fit = item["fit"]
            own = [run["epoch"] for run in runs if run["detector"] == item["detector"]
                   and run["time"] >= item["since"]]
            end = max(own)
            if item["leaves_tolerance"]:
                end = max(end, datetime.fromisoformat(item["leaves_tolerance"]).replace(
                    tzinfo=timezone.utc).timestamp())
            epochs = np.linspace(fit["start_epoch"], end, 60)
            value, spread = band(fit, epochs)
            dates = [date(e) for e in epochs]
            label = f"drift {item['drift_nm_per_30_days']:+.3f} nm/30 d"
            if item["leaves_tolerance"]:
                label += (f", {'left' if item['outside'] else 'leaves'} {item['leaves_tolerance']} +/- "
                          f"{item['leaves_tolerance_uncertainty_days']:.0f} d")
            ax.plot(dates, value, color="tab:red", lw=1.0, label=label)
            ax.fill_between(dates, value - spread, value + spread, color="tab:red", alpha=0.12)
        ax.axhline(0.0, color="black", lw=0.5)
        ax.set_ylabel(f"{reference:.1f} nm\ndeviation (nm)")
        ax.legend(loc="upper left")
    for ax, lamp in zip(axes[len(references):], lamps):
        for detector in sorted({run["detector"] for run in runs}):
            tests = [(date(run["epoch"]), run["details"]["lamp"]) for run in runs
                     if run["detector"] == detector and run["command"] == "lamp"
                     and run["details"].get("lamp", {}).get("lamp") == lamp]
            for key, style in (("reference_value", "o-"), ("maximum", "s--")):
                points = [(t, values[key]) for t, values in tests if values[key] is not None]
                if points:
                    name = (f"at {tests[0][1]['reference_wavelength_nm']:g} nm"
                            if key == "reference_value" else "band maximum")
                    ax.plot(*zip(*points), style, ms=3, lw=0.8,
                            label=f"{detector or '(no detector)'}: {name}")
        ax.set_ylabel(f"{'deuterium' if lamp == 'd2' else 'tungsten'} lamp\nintensity")
        ax.legend(loc="upper left")
    axes[-1].set_xlabel("date (UTC)")
    figure.suptitle("Deviation of each line over time (band: tolerance; red: fitted drift and "
                    "its uncertainty) and lamp intensities")
    figure.autofmt_xdate()
    figure.tight_layout()
    return figure
