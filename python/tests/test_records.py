"""The records a laboratory keeps: the HTML report as a browser renders it,
the history that several processes write at once, and the drift it finds."""

import json
import shutil
import subprocess
from datetime import date, datetime, timedelta, timezone

import pytest

import lumitra
from conftest import HG, NEW_RECORD, SHIFTED, run_cli, start_cli
from lumitra import history, qualification
from lumitra.simulator import Detector

CHROMIUM = "/usr/bin/chromium"


def test_report_of_the_mercury_check_as_chromium_renders_it(lumitra_cli, tmp_path):
    assert shutil.which(CHROMIUM), "chromium renders the report (scripts/setup-debian.sh)"
    page = tmp_path / "report.html"
    status, out, _ = lumitra_cli(
        "check-hg", *NEW_RECORD, *HG, "--report", page, "--detector", "DAD-0042", "--operator",
        "A. Analyst", "--note", 'lamp <b>changed</b> & "cleaned"', "--time",
        "2024-03-01T09:30:00+01:00", cwd=SHIFTED)
    assert status == 0 and f"Report written to {page}" in out
    source = page.read_text()
    assert not any(a in source for a in ("http", "://", "www.", "src='/", "@import"))
    assert qualification.file_digest(SHIFTED / "hg2.csv") in source
    dom = subprocess.run(
        [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
         "--no-first-run", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", f"--user-data-dir={tmp_path / 'profile'}", "--dump-dom",
         page.as_uri()], capture_output=True, text=True, timeout=120).stdout
    text = " ".join(dom.split())
    assert "Result: PASSED" in text and "DAD-0042" in text and "2024-03-01T09:30:00+01:00" in text
    assert "lamp &lt;b&gt;changed&lt;/b&gt; &amp; \"cleaned\"" in text  # shown, not obeyed
    for line in ("253.7", "404.7", "435.8", "486.0", "546.1", "656.1"):
        assert f"<td class=\"num\">{line}</td>" in text, line
    assert text.count('<td class="pass">pass</td>') == 12  # each line, both criteria
    for fragment in ("Ph. Eur. 2.2.25", "±1 nm in the ultraviolet range",
                     "±3 nm in the visible range", "data:image/png;base64,"):
        assert fragment in text


def test_runs_logged_by_processes_at_once_are_all_kept(tmp_path):
    database = tmp_path / "history.db"
    args = ["check-ho", *NEW_RECORD, "--d2", "d2.csv", "--d2-dark", "dark.csv", "--holmium",
            "holmium.csv", "--log", database, "--detector", "DAD-7"]
    processes = [start_cli(*args, "--operator", f"operator {i}", cwd=SHIFTED) for i in range(4)]
    assert [p.communicate(timeout=300)[1] + str(p.returncode) for p in processes] == \
        ["0"] * 4  # each process ends well and says nothing on stderr
    runs = json.loads(run_cli("history", database, "--json").stdout)["runs"]
    assert len(runs) == 4 and sorted(run["operator"] for run in runs) == [f"operator {i}" for i in range(4)]
    assert all(len(run["lines"]) == 4 and len(run["inputs"]) == 3 for run in runs)


def test_a_known_drift_and_its_crossing_date_are_found(lumitra_cli, tmp_path):
    """A detector whose scale moves 0.1 nm per 30 days (a shift of 0.1 nm at
    546.1 nm, in elements), checked monthly with its record for a year; a
    run with an older record before them does not count."""
    database, rate_nm, tolerance = tmp_path / "drift.db", 0.1, 2.0
    detector = Detector(shift=1.0, seed=1)
    at = detector.position_of(546.1)
    per_element = float(detector.wavelength_at(at + 0.5) - detector.wavelength_at(at - 0.5))
    data = detector.measure_all()
    record = lumitra.calibrate(data.d2, data.holmium, dark1=data.dark)
    start = datetime(2024, 1, 15, 9, 0, tzinfo=timezone(timedelta(hours=1)))
    older = qualification.Line(546.1, 549.0, 2.9, 2.4, tolerance, False, "mercury 2")
    runs = [(start - timedelta(days=60), (36080, 9500, 65610, 24660), [older])]
    for month in range(12):
        d = detector.with_changes(shift=1.0 + rate_nm / per_element * month,
                                  seed=100 + month).measure_all()
        result = lumitra.check_mercury(record, d.d2, d.hg1, d.hg2, d.dark, tolerance=tolerance)
        runs.append((start + timedelta(days=30 * month), record.as_tuple(),
                     qualification.lines_of_check(result)))
    for when, used, lines in runs:
        history.log_run(database, qualification.Run(
            "check-hg", "monthly check", lumitra.CalibrationRecord(*used), tuple(lines),
            True, (), "DAD-9", "", "", when))
    status, out, _ = lumitra_cli("history", database, "--json", "--plot", tmp_path / "h.png")
    found = {item["reference_nm"]: item for item in json.loads(out)["drift"]}
    assert status == 0 and (tmp_path / "h.png").read_bytes()[:4] == b"\x89PNG"
    assert set(found) == {253.7, 404.7, 435.8, 486.0, 546.1, 656.1}
    for item in found.values():
        assert item["runs"] == 12 and item["drift_nm_per_30_days"] == pytest.approx(
            rate_nm, abs=0.02), item
    first = runs[1][2][[line.reference for line in runs[1][2]].index(546.1)].deviation
    expected = start + timedelta(days=30 * (tolerance - first) / rate_nm)
    crossing = date.fromisoformat(found[546.1]["leaves_tolerance"])
    assert abs((crossing - expected.date()).days) <= 10, found[546.1]
