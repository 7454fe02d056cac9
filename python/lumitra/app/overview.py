"""What the history shows: the list of runs with each line's drift, the
state of one detector, the CSV export and the fleet page."""

from __future__ import annotations

import csv
import io
from datetime import datetime, timezone
from pathlib import Path

import jinja2

from ..api.records import CalibrationRecord
from .drift import band, drifts, earliest_forecast, since_calibration
from .history import is_calibration, read_runs, verify

# The columns of `history --csv`: one row per line result (README).
CSV_COLUMNS = ("run", "detector", "command", "measured_at", "entered_at", "back_filled",
               "operator", "record", "reference_nm", "searched_in", "measured_nm",
               "deviation_nm", "width_nm", "tolerance_nm", "within_tolerance", "ph_eur_range",
               "ph_eur_limit_nm", "ph_eur_passed", "line_passed", "problem", "run_passed",
               "report_sha256", "row_hash")


def _record_text(run: dict) -> str:
    return str(CalibrationRecord(**run["record"]))


def _public(item: dict) -> dict:
    """A drift item for JSON: without the fit's internals."""
    return {k: v for k, v in item.items() if k != "fit"}


def history_view(path, detector: str | None = None, since: str | None = None):
    """(text, JSON data, figure drawer) of the history command."""
    runs = read_runs(path, detector, since)
    found = drifts(runs)
    rows = [f"{'run':>4}  {'measured':<25} {'detector':<14} {'command':<10} {'record':<30} "
            f"{'largest |dev| nm':>16}  result"]
    for run in runs:
        deviations = [abs(line["deviation_nm"]) for line in run["lines"]
                      if line["deviation_nm"] is not None]
        result = ("calibrated" if is_calibration(run) and run["passed"] else
                  "done" if run["command"] == "lamp" else "pass" if run["passed"] else "FAIL")
        largest = f"{max(deviations):.3f}" if deviations else "-"
        rows.append(f"{run['id']:>4}  {run['time']:<25} {run['detector'] or '-':<14} "
                    f"{run['command']:<10} {_record_text(run):<30} {largest:>16}  {result}"
                    + ("  (back-filled)" if run["back_filled"] else ""))
    rows += ["", "drift of each line since the last calibration (nm per 30 days):"]
    for item in found:
        drift = item["drift_nm_per_30_days"]
        rows.append(f"  {item['detector'] or '-':<14} {item['reference_nm']:>6.1f} nm  "
                    + (f"{drift:+.3f} +/- {item['standard_error']:.3f}"
                       if drift is not None else "no drift fitted")
                    + f"  over {item['runs']} runs; {item['crossing']}")
    breaks = verify(path)
    trail = (f"audit trail: BROKEN, {len(breaks)} break(s): " + "; ".join(breaks) if breaks
             else "audit trail: whole")
    text = "\n".join((rows if runs else ["no runs logged" + (
        " for that selection" if detector or since else "")]) + ["", trail])
    data = {"database": str(path), "runs": runs, "drift": [_public(item) for item in found],
            "audit_trail": {"whole": not breaks, "breaks": breaks}}

    def draw():
        from .plotting import history_figure
        return history_figure(runs, found)

    return text, data, draw


def detector_view(path, detector: str):
    """(text, JSON data) of one detector's state."""
    runs = read_runs(path, detector)
    if not runs:
        from ..api.errors import InputError
        raise InputError(f"{path}: no run of detector {detector!r} is logged")
    calibrations = [run for run in runs if is_calibration(run)]
    checks = [run for run in runs if run["lines"] and not is_calibration(run)]
    last_calibration = calibrations[-1] if calibrations else None
    last_check = checks[-1] if checks else None
    found = drifts(runs)
    first = earliest_forecast(found)
    record = (CalibrationRecord(**last_calibration["record"]) if last_calibration
              else CalibrationRecord(**runs[-1]["record"]))
    lines = [f"detector {detector}",
             f"  record            {record.describe()}"
             + ("" if last_calibration else " (no calibration logged; the record last used)")]
    if last_calibration:
        old = last_calibration["details"].get("old_record")
        lines.append(f"  last calibration  run {last_calibration['id']}, "
                     f"{last_calibration['time']}, {last_calibration['command']} by "
                     f"{last_calibration['operator'] or 'no operator'}"
                     + (f", from {CalibrationRecord(**old)}" if old else ""))
    else:
        lines.append("  last calibration  none logged")
    if last_check:
        lines.append(f"  last check        run {last_check['id']}, {last_check['time']}, "
                     f"{last_check['command']}: {'PASSED' if last_check['passed'] else 'FAILED'}"
                     f"; Ph. Eur. 2.2.25 {last_check['ph_eur'] or 'not assessed'}")
    else:
        lines.append("  last check        none logged")
    lines.append("  forecast          " + (
        f"{first['reference_nm']:.1f} nm {first['crossing']}" if first else
        "no line is forecast to leave its tolerance (no significant drift)"))
    breaks = verify(path)
    lines.append("  audit trail       " + ("whole" if not breaks else
                                          f"BROKEN ({breaks[0]}): do not trust this record"))
    data = {"detector": detector, "record": record.as_dict(), "audit_trail_whole": not breaks,
            "last_calibration": last_calibration, "last_check": last_check,
            "forecast": _public(first) if first else None,
            "drift": [_public(item) for item in found]}
    return "\n".join(lines), data


def csv_text(runs: list[dict]) -> str:
    """One row per line result, columns CSV_COLUMNS."""
    from .verdicts import ph_eur_criterion
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(CSV_COLUMNS)
    for run in runs:
        for line in run["lines"]:
            criterion = ph_eur_criterion(line["reference_nm"])
            writer.writerow([
                run["id"], _text(run["detector"]), run["command"], run["time"],
                run["entered"] or "", int(run["back_filled"]), _text(run["operator"]),
                _record_text(run), line["reference_nm"], line["searched_in"],
                _blank(line["measured_nm"]),
                _blank(line["deviation_nm"]), _blank(line["width_nm"]), line["tolerance_nm"],
                int(line["within_tolerance"]), criterion.range if criterion else "",
                criterion.limit if criterion else "", _blank(line["ph_eur_passed"], int),
                int(line["passed"]), _text(line["problem"]), int(run["passed"]),
                run["report_sha256"] or "", run["row_hash"] or ""])
    return out.getvalue()


def _blank(value, kind=float):
    return "" if value is None else kind(value)


def _text(value) -> str:
    """A text field as a spreadsheet shows it, never as a formula."""
    value = value or ""
    return "'" + value if value[:1] in ("=", "+", "-", "@", "\t", "\r") else value


# --- the fleet page ----------------------------------------------------------

_TEMPLATES = jinja2.Environment(
    loader=jinja2.FileSystemLoader(Path(__file__).resolve().parent / "templates"),
    autoescape=True, undefined=jinja2.StrictUndefined, trim_blocks=True, lstrip_blocks=True)


def _sparkline(runs: list[dict], items: list[dict], width: int = 220,
               height: int = 60) -> str:
    """A small SVG of the largest |deviation| of each check since the last
    calibration, against the tightest tolerance, with the fit of the line
    forecast first drawn on to its date."""
    points = [(run["epoch"], max(abs(line["deviation_nm"]) for line in run["lines"]
                                 if line["deviation_nm"] is not None), run["passed"])
              for run in runs if any(line["deviation_nm"] is not None for line in run["lines"])]
    if not points:
        return ""
    tolerance = min(line["tolerance_nm"] for run in runs for line in run["lines"])
    first = earliest_forecast(items)
    end = points[-1][0]
    if first:
        end = max(end, datetime.fromisoformat(first["leaves_tolerance"]).replace(
            tzinfo=timezone.utc).timestamp())
    start = points[0][0]
    span = max(end - start, 1.0)
    top = max([tolerance * 1.2] + [p[1] for p in points])

    def x(epoch):
        return 4 + (width - 8) * (epoch - start) / span

    def y(value):
        return height - 4 - (height - 8) * value / top

    parts = [f'<line x1="0" x2="{width}" y1="{y(tolerance):.1f}" y2="{y(tolerance):.1f}" '
             'class="tolerance"/>',
             '<polyline class="deviation" points="'
             + " ".join(f"{x(e):.1f},{y(v):.1f}" for e, v, _ in points) + '"/>']
    parts += [f'<circle cx="{x(e):.1f}" cy="{y(v):.1f}" r="2.2" class="{"pass" if ok else "fail"}"/>'
              for e, v, ok in points]
    if first and first["fit"]:
        epochs = [start, end]
        value, _ = band(first["fit"], epochs)
        parts.append(f'<line class="forecast" x1="{x(epochs[0]):.1f}" '
                     f'y1="{y(abs(value[0])):.1f}" x2="{x(epochs[1]):.1f}" '
                     f'y2="{y(abs(value[1])):.1f}"/>')
    return (f'<svg width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}" role="img">' + "".join(parts) + "</svg>")


def fleet_rows(runs: list[dict]) -> list[dict]:
    """One summary per detector, the soonest forecast first."""
    rows = []
    for detector in sorted({run["detector"] for run in runs}):
        own = [run for run in runs if run["detector"] == detector]
        items = drifts(own)
        first = earliest_forecast(items)
        calibrations = [run for run in own if is_calibration(run)]
        checks = [run for run in own if run["lines"] and not is_calibration(run)]
        last_check = checks[-1] if checks else None
        status = ("no check" if last_check is None else
                  "passed" if last_check["passed"] else "FAILED")
        if first and status == "passed":
            status = "drifting"
        rows.append({
            "detector": detector or "(no detector)",
            "status": status,
            "last_calibration": calibrations[-1]["time"] if calibrations else "",
            "last_check": last_check["time"] if last_check else "",
            "last_verdict": ("" if last_check is None else
                             f"{'PASSED' if last_check['passed'] else 'FAILED'}; Ph. Eur. "
                             f"{last_check['ph_eur'] or 'not assessed'}"),
            "drifts": [(f"{item['reference_nm']:.1f}",
                        "" if item["drift_nm_per_30_days"] is None else
                        f"{item['drift_nm_per_30_days']:+.3f} ± {item['standard_error']:.3f}")
                       for item in items],
            "forecast": first["leaves_tolerance"] if first else "",
            "forecast_text": (f"{'left ' if first['outside'] else ''}{first['leaves_tolerance']} ± "
                              f"{first['leaves_tolerance_uncertainty_days']:.1f} d "
                              f"({first['reference_nm']:.1f} nm)") if first else "none",
            "plot": _sparkline(since_calibration(own) or own, items),
        })
    return sorted(rows, key=lambda row: (row["forecast"] == "", row["forecast"],
                                         row["detector"]))


def fleet_page(path, runs: list[dict]) -> str:
    """One self-contained HTML page of every detector in the history."""
    stamp = datetime.now().astimezone().isoformat(timespec="seconds")
    return _TEMPLATES.get_template("fleet.html").render(
        database=str(path), generated=stamp, rows=fleet_rows(runs))
