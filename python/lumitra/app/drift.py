"""Each line's drift since the detector's last calibration, and the forecast
of when it leaves its tolerance.

A detector's wavelength scale moves slowly between calibrations. For each
line the deviations of the runs since the detector's last calibration (its
last calibration event in the history; without one, the runs that used its
latest record) are fitted with a straight line. The slope is given in nm
per 30 days with its standard error; where it differs from zero by more than
twice its standard error, the forecast is the date at which the fitted line
reaches the line's tolerance, with the uncertainty of that date from the
fit's covariance.
"""

from __future__ import annotations

import math
from datetime import datetime, timedelta, timezone

import numpy as np

from .history import is_calibration

DAYS = 30.0          # drift is given per 30 days
SIGNIFICANT = 2.0    # a drift counts when it exceeds this many standard errors


def fit_drift(epochs, deviations, tolerance: float) -> dict:
    """Straight-line fit of deviations (nm) over time (seconds since 1970):
    the drift in nm per 30 days with its standard error and, where the drift
    is significant, when the fitted deviation reaches (or, already outside,
    left) +/-tolerance, with the standard uncertainty of that date in days."""
    days = (np.asarray(epochs, dtype=float) - epochs[0]) / 86400.0
    y = np.asarray(deviations, dtype=float)
    result = {"runs": int(y.size), "drift_nm_per_30_days": None, "standard_error": None,
              "leaves_tolerance": None, "leaves_tolerance_uncertainty_days": None,
              "outside": False, "crossing": None, "fit": None}
    if y.size < 3 or np.ptp(days) <= 0:
        result["crossing"] = "too few runs since the last calibration to fit a drift"
        return result
    slope, intercept = np.polyfit(days, y, 1)
    residual = y - (intercept + slope * days)
    mean = days.mean()
    spread = float(np.sum((days - mean) ** 2))
    variance = float(np.sum(residual ** 2)) / (y.size - 2)
    error = math.sqrt(variance / spread)
    result["drift_nm_per_30_days"] = float(slope * DAYS)
    result["standard_error"] = float(error * DAYS)
    # Covariance of (intercept, slope) for the band and the date's uncertainty.
    var_slope = variance / spread
    var_intercept = variance * (1.0 / y.size + mean ** 2 / spread)
    covariance = -mean * variance / spread
    result["fit"] = {"start_epoch": float(epochs[0]), "intercept": float(intercept),
                     "slope_per_day": float(slope), "var_intercept": var_intercept,
                     "var_slope": var_slope, "covariance": covariance}
    if slope == 0 or abs(slope) <= SIGNIFICANT * error:
        result["crossing"] = "no significant drift"
        return result
    # The fitted line's crossing of the tolerance it moves towards; a line
    # already outside left on the date the fit crossed, or was outside from
    # the first run on (never earlier): either way the most urgent date.
    now = intercept + slope * days[-1]
    outside = abs(now) > tolerance
    side = math.copysign(tolerance, now if outside else slope)
    reach = (side - intercept) / slope
    if outside and not 0.0 <= reach <= days[-1]:
        reach = 0.0
    uncertainty = math.sqrt(max(var_intercept + reach ** 2 * var_slope
                                + 2 * reach * covariance, 0.0)) / abs(slope)
    when = datetime.fromtimestamp(epochs[0], timezone.utc) + timedelta(days=float(reach))
    result["leaves_tolerance"] = when.date().isoformat()
    result["leaves_tolerance_uncertainty_days"] = round(uncertainty, 1)
    result["outside"] = outside
    result["crossing"] = (
        f"{'left' if outside else 'reaches'} {side:+.2f} nm on {when.date()} "
        f"+/- {uncertainty:.1f} days" + ("; already outside the tolerance" if outside else ""))
    return result


def band(fit: dict, epochs) -> tuple[np.ndarray, np.ndarray]:
    """The fitted deviation at the epochs and its standard uncertainty."""
    days = (np.asarray(epochs, dtype=float) - fit["start_epoch"]) / 86400.0
    value = fit["intercept"] + fit["slope_per_day"] * days
    spread = np.sqrt(np.maximum(fit["var_intercept"] + days ** 2 * fit["var_slope"]
                                + 2 * days * fit["covariance"], 0.0))
    return value, spread


def since_calibration(runs: list[dict]) -> list[dict]:
    """A detector's runs (oldest first) since its last calibration."""
    calibrated = [i for i, run in enumerate(runs) if is_calibration(run)]
    if calibrated:
        return [run for run in runs[calibrated[-1] + 1:] if not is_calibration(run)]
    latest = runs[-1]["record"] if runs else None
    current = []
    for run in reversed(runs):
        if run["record"] != latest:
            break
        current.insert(0, run)
    return current


def drifts(runs: list[dict]) -> list[dict]:
    """For each detector and line: the drift over the runs since the
    detector's last calibration."""
    found = []
    for detector in sorted({run["detector"] for run in runs}):
        current = since_calibration([run for run in runs if run["detector"] == detector])
        for reference in sorted({line["reference_nm"] for run in current
                                 for line in run["lines"]}):
            points = [(run["epoch"], line["deviation_nm"], line["tolerance_nm"])
                      for run in current for line in run["lines"]
                      if line["reference_nm"] == reference and line["deviation_nm"] is not None]
            if not points:
                continue
            epochs, deviations, tolerances = zip(*points)
            found.append({"detector": detector, "reference_nm": reference,
                          "tolerance_nm": tolerances[-1], "since": current[0]["time"],
                          **fit_drift(list(epochs), list(deviations), tolerances[-1])})
    return found


def earliest_forecast(items: list[dict]) -> dict | None:
    """The line of a detector that leaves its tolerance first."""
    dated = [item for item in items if item["leaves_tolerance"]]
    return min(dated, key=lambda item: item["leaves_tolerance"]) if dated else None
