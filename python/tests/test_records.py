"""The records a laboratory keeps: every command's run in the history and its report, a
detector's record taken from its last calibration, an audit trail that finds edited, inserted
and deleted runs, a history a reviewer can only read, the CSV export, the report printed to
PDF, and the fleet page of twenty simulated detectors in a browser."""

import csv
import hashlib
import io
import json
import os
import shutil
import sqlite3
import subprocess
from datetime import datetime, timedelta, timezone

import numpy as np
import pytest

from conftest import SHIFTED
from lumitra import CalibrationRecord, calibrate, check_holmium, check_mercury
from lumitra.app import history, overview, runs, spectra_io
from lumitra.simulator import Detector

CHROMIUM = "/usr/bin/chromium"
HEADLESS = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
            "--no-first-run", "--disable-background-networking", "--disable-component-update",
            "--disable-sync"]
R = "--record 36080 9545 65610 24704"
RT = (36080, 9545, 65610, 24704)
# The cross-check of a calibration: the deuterium spectrum less its dark.
CROSS = (spectra_io.read_element_spectrum(SHIFTED / "d2.csv")
         - spectra_io.read_element_spectrum(SHIFTED / "dark.csv"),)
HG = "--hg1 hg1.csv --hg2 hg2.csv --d2 d2.csv --dark dark.csv"
WHO = "--detector DAD-1 --operator A.Analyst"
# (command line run in a copy of examples/shifted-detector, command logged, what its history
# row holds)
LOGGED = [
    ("calibrate d2.csv holmium.csv --dark1 dark.csv --record 36080 9500 65610 24660", "calibrate",
     lambda run: run["details"]["old_record"]["position2"] == 24660 and run["record"][
         "position2"] == 24704 and [line["measured_nm"] for line in run["lines"]] == [
             line.measured for line in check_holmium(RT, *CROSS).lines]),
    ("wide-slit d2.csv --record-from h.db", "wide-slit",
     lambda run: run["details"]["old_record"]["position2"] == 24704 and run["passed"]),
    (f"check-hg --record-from h.db {HG}", "check-hg",
     lambda run: run["passed"] and run["ph_eur"] == "met" and len(run["lines"]) == 6),
    (f"check-ho {R} --d2 d2.csv --d2-dark dark.csv", "check-ho",
     lambda run: run["passed"] and run["ph_eur"] == "not assessed"),
    (f"check-user {R} dark.csv hg2.csv --line 546.1:2:0.5", "check-user",
     lambda run: run["lines"][0]["reference_nm"] == 546.1),
    ("lamp d2 d2.csv --record-from h.db", "lamp",
     lambda run: 200 < run["details"]["lamp"]["maximum_wavelength_nm"] < 230),
    ("demo --no-plot", "demo", lambda run: run["passed"] and len(run["lines"]) == 10),
]


@pytest.fixture
def lab(tmp_path):
    shutil.copytree(SHIFTED, tmp_path, dirs_exist_ok=True)
    return tmp_path


def test_every_command_logs_its_run_and_writes_its_report(lab, lumitra_cli):
    for number, (args, command, holds) in enumerate(LOGGED, start=1):
        report = lab / f"run{number}.html"
        status, out, err = lumitra_cli(*args.split(), *WHO.split(), "--log", "h.db",
                                       "--report", report, cwd=lab)
        assert status == 0 and f"Run {number} logged in h.db" in out, out + err
        run = history.read_runs(lab / "h.db")[-1]
        assert run["id"] == number and run["command"] == command and holds(run), run
        page = report.read_bytes()
        assert run["report_sha256"] == hashlib.sha256(page).hexdigest()
        assert f"-R{number}".encode() in page and b"run %d of the history" % number in page
    status, out, _ = lumitra_cli("detector", "h.db", "DAD-1", "--json", cwd=lab)
    state = json.loads(out)
    assert status == 0 and state["record"]["position2"] == 24704
    assert state["last_calibration"]["command"] == "wide-slit"
    assert state["last_check"]["command"] == "demo"
    status, _, err = lumitra_cli("check-hg", "--record-from", "h.db", "--detector", "DAD-9",
                                 *HG.split(), cwd=lab)
    assert status == 2 and "no calibration of detector 'DAD-9' is logged" in err
    status, _, err = lumitra_cli("check-hg", "--record-from", "h.db", *WHO.split(), "--time",
                                 "2020-01-01T00:00:00Z", *HG.split(), cwd=lab)
    assert status == 2 and "is logged up to 2020-01-01T00:00:00+00:00" in err
    assert oct((lab / "run1.html").stat().st_mode & 0o777) == oct(0o666 & ~_umask())
    with sqlite3.connect(lab / "h.db") as db:  # a forged record
        db.execute("UPDATE runs SET position2 = 24800 WHERE id = 2")
    status, _, err = lumitra_cli("check-hg", "--record-from", "h.db", *WHO.split(), *HG.split(),
                                 cwd=lab)
    assert status == 2 and "the audit trail is broken (run 2 was edited" in err
    assert "audit trail       BROKEN (run 2 was edited" in lumitra_cli(
        "detector", "h.db", "DAD-1", cwd=lab)[1]


def _umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


def _log(database, detector, when, lines, command="check-hg", record=(36080, 9545, 65610, 24704)):
    return history.log_run(database, runs.Run(
        command, "check", CalibrationRecord(*record), tuple(lines), (), detector, "",
        "", when, runs.now()))


def _line(reference, deviation, tolerance=1.0):
    return runs.Line(reference, reference + deviation, deviation, 2.4, tolerance,
                     abs(deviation) <= tolerance, "mercury 2")


# (case, SQL run on a history of five runs after it was logged, the breaks verify names)
TAMPERING = [
    ("nothing", "", []),
    ("a deviation edited", "UPDATE lines SET deviation_nm = 0.1 WHERE run_id = 3",
     ["run 3 was edited"]),
    ("a verdict edited", "UPDATE runs SET passed = 0 WHERE id = 4", ["run 4 was edited"]),
    ("an operator changed", "UPDATE runs SET operator = 'someone else' WHERE id = 2",
     ["run 2 was edited"]),
    ("a run deleted", "DELETE FROM lines WHERE run_id = 2; DELETE FROM runs WHERE id = 2",
     ["run 3 does not follow run 1"]),
    ("the last run deleted", "DELETE FROM lines WHERE run_id = 5; DELETE FROM runs WHERE id = 5",
     ["the trail ends at 4 runs (run 4) but was left at 5"]),
    ("every run deleted", "DELETE FROM lines; DELETE FROM runs", ["the trail ends at 0 runs"]),
    ("a run inserted", "INSERT INTO runs SELECT 6, time, epoch, command, title, detector, "
     "operator, note, wavelength1, position1, wavelength2, position2, passed, parameters, "
     "package_version, library_version, library_sha256, entered, ph_eur, details, report_path, "
     "report_sha256, previous_hash, row_hash FROM runs WHERE id = 3",
     ["run 6 does not follow run 5"]),
]


@pytest.mark.parametrize("change, breaks", [c[1:] for c in TAMPERING],
                         ids=[c[0] for c in TAMPERING])
def test_the_audit_trail_finds_runs_edited_inserted_or_deleted(change, breaks, tmp_path,
                                                              lumitra_cli):
    database = tmp_path / "h.db"
    start = datetime(2024, 1, 1, tzinfo=timezone.utc)
    for i in range(5):
        _log(database, "DAD-1", start + timedelta(days=i), [_line(546.1, 0.2 * i)])
    with sqlite3.connect(database) as db:
        db.executescript(change)
    status, out, _ = lumitra_cli("history", database, "--verify", "--json")
    found = json.loads(out)
    assert status == (1 if breaks else 0) and found["verified"] == (not breaks)
    assert [b for b in breaks if not any(x.startswith(b) for x in found["breaks"])] == [], found


def test_a_reviewer_reads_a_history_without_write_access(tmp_path, lumitra_cli):
    folder = tmp_path / "records"
    folder.mkdir()
    database = folder / "h.db"
    start = datetime.now(timezone.utc) - timedelta(days=10)
    _log(database, "DAD-2", start, [_line(253.7, 0.3)])
    _log(database, "DAD-2", datetime.now(timezone.utc) - timedelta(hours=1), [_line(253.7, 1.3)])
    database.chmod(0o444)
    folder.chmod(0o555)
    try:
        status, out, err = lumitra_cli("history", database, "--json")
        logged = json.loads(out)["runs"]
        assert status == 0 and [run["passed"] for run in logged] == [True, False], err
        assert [run["back_filled"] for run in logged] == [True, False]
        assert lumitra_cli("history", database, "--verify")[0] == 0
        assert sorted(p.name for p in folder.iterdir()) == ["h.db"]  # nothing written
    finally:
        folder.chmod(0o755)


def test_the_csv_export_has_one_row_per_line_and_its_documented_columns(lab, lumitra_cli):
    for args in (f"check-hg {R} {HG}", f"check-ho {R} --d2 d2.csv --d2-dark dark.csv"):
        assert lumitra_cli(*args.split(), "--log", "h.db", "--operator", "=1+1", cwd=lab)[0] == 0
    assert lumitra_cli("history", "h.db", "--csv", "lines.csv", cwd=lab)[0] == 0
    rows = list(csv.DictReader(io.StringIO((lab / "lines.csv").read_text())))
    assert tuple(rows[0]) == overview.CSV_COLUMNS and len(rows) == 8
    readme = (SHIFTED.parents[1] / "README.md").read_text()
    assert all(f"`{column}`" in readme for column in overview.CSV_COLUMNS)
    assert {row["ph_eur_range"] for row in rows} == {"ultraviolet", "visible"}
    assert {row["operator"] for row in rows} == {"'=1+1"}  # shown, never run as a formula
    assert all(float(row["deviation_nm"]) == pytest.approx(
        float(row["measured_nm"]) - float(row["reference_nm"]), abs=1e-9) for row in rows)


def _pdf_pages(html, tmp_path, size):
    page = tmp_path / f"report-{size}.html"
    page.write_text(html.replace("</head>", f"<style>@page {{ size: {size}; }}</style></head>"))
    pdf = tmp_path / f"report-{size}.pdf"
    subprocess.run([*HEADLESS, f"--user-data-dir={tmp_path / size}", "--no-pdf-header-footer",
                    f"--print-to-pdf={pdf}", page.as_uri()], capture_output=True, timeout=180)
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True,
                          check=True).stdout
    info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
    return text.split("\f")[:-1], info


@pytest.mark.parametrize("size", ["A4", "Letter"])
def test_the_printed_report_carries_its_id_and_page_numbers_on_every_page(size, lab,
                                                                           lumitra_cli, tmp_path):
    assert shutil.which(CHROMIUM) and shutil.which("pdftotext"), "scripts/setup-debian.sh"
    status, _, _ = lumitra_cli(*f"check-hg {R} {HG} {WHO} --log h.db --report r.html".split(),
                               "--note", "a long note " * 60, cwd=lab)
    pages, info = _pdf_pages((lab / "r.html").read_text(), tmp_path, size)
    report = history.read_runs(lab / "h.db")[0]
    assert status == 0 and len(pages) >= 2 and (size.lower() in info.lower())
    for number, text in enumerate(pages, start=1):
        assert "Report DAD-1-" in text and f"-R{report['id']}" in text and "Detector DAD-1" \
            in text and f"Page {number} of {len(pages)}" in text, text
    closing = next(text for text in pages if "Results" in text)
    assert all(part in closing for part in ("Result: PASSED", "Signatures", "Performed by",
                                            "Reviewed by")), closing


def test_the_fleet_page_of_twenty_detectors_sorts_by_forecast_and_loads_nothing(tmp_path,
                                                                                 lumitra_cli):
    database = tmp_path / "fleet.db"
    start = datetime(2024, 1, 10, 8, 0, tzinfo=timezone.utc)
    rng = np.random.default_rng(20)
    for k in range(20):
        detector = Detector(shift=float(rng.uniform(-3, 3)), seed=k)
        data = detector.measure_all()
        record = calibrate(data.d2, data.holmium, dark1=data.dark)
        history.log_run(database, runs.Run(
            "calibrate", "calibration", record, (), (), f"DAD-{k:02d}", "", "", start,
            runs.now()))
        rate = 0.04 * (k % 5)  # elements a month: some drift, some do not
        for month in range(1, 5):
            measured = detector.with_changes(shift=detector.shift + rate * month,
                                             seed=100 * k + month).measure_all()
            result = check_mercury(record, measured.d2, measured.hg1, measured.hg2,
                                   measured.dark)
            history.log_run(database, runs.Run(
                "check-hg", "check", record, tuple(runs.lines_of_check(result)), (),
                f"DAD-{k:02d}", "", "", start + timedelta(days=30 * month), runs.now()))
    status, out, err = lumitra_cli("history", database, "--html", tmp_path / "fleet.html")
    source = (tmp_path / "fleet.html").read_text()
    assert status == 0 and "Fleet page written to" in out, err
    assert not any(a in source for a in ("http", "://", "src=", "@import", "url(")), source
    dom = " ".join(subprocess.run(
        [*HEADLESS, f"--user-data-dir={tmp_path / 'profile'}", "--dump-dom",
         (tmp_path / "fleet.html").as_uri()], capture_output=True, text=True,
        timeout=180).stdout.split())
    rows = [row for row in dom.split('<tr data-detector="')[1:]]
    assert len(rows) == 20 and dom.count("<svg") == 20
    forecasts = [row.split('data-forecast="')[1].split('"')[0] for row in rows]
    assert forecasts == sorted(forecasts) and forecasts[0] != "9999", forecasts
    drifting = [row.split('"')[0] for row in rows if 'data-forecast="9999"' not in row]
    assert {f"DAD-{k:02d}" for k in range(20) if k % 5 >= 3} <= set(drifting), drifting


def test_the_drift_plot_carries_each_fit_to_its_forecast_and_marks_failed_runs(tmp_path):
    from lumitra.app.plotting import history_figure
    database = tmp_path / "h.db"
    start = datetime(2024, 1, 1, tzinfo=timezone.utc)
    for month, deviation in enumerate((0.1, 0.3, 0.5, 0.72, 0.9)):
        _log(database, "DAD-3", start + timedelta(days=30 * month),
             [_line(253.7, deviation, 1.2), _line(546.1, 1.5 if month == 2 else 0.05, 1.2)])
    history.log_run(database, runs.Run(
        "lamp", "lamp", CalibrationRecord(36080, 9545, 65610, 24704), (), (), "DAD-3", "", "",
        start, runs.now(), details={"lamp": {"lamp": "d2", "reference_value": 9.0,
                                             "maximum": 10.0, "reference_wavelength_nm": 230.0}}))
    logged = history.read_runs(database)
    items = overview.drifts(logged)
    figure = history_figure(logged, items)
    lines_axis, steady_axis, lamp_axis = figure.axes
    forecast = next(i for i in items if i["reference_nm"] == 253.7)["leaves_tolerance"]
    fitted = [line for line in lines_axis.get_lines() if line.get_label().startswith("drift")]
    assert len(fitted) == 1 and fitted[0].get_xdata()[-1].date().isoformat() == forecast
    days = 30.0 * np.arange(5)
    assert fitted[0].get_ydata()[0] == pytest.approx(  # the fit starts at the first run
        np.polyval(np.polyfit(days, [0.1, 0.3, 0.5, 0.72, 0.9], 1), 0.0))
    assert not [line for line in lines_axis.get_lines() if line.get_label() == "failed"]
    assert [line.get_label() for line in steady_axis.get_lines()].count("failed") == 1
    assert "deuterium lamp" in lamp_axis.get_ylabel() and len(lamp_axis.get_lines()) == 2


def test_the_demo_figure_shows_the_spectra_and_deviations_it_measured():
    from lumitra.app.demo import run_demo
    from lumitra.app.plotting import demo_figure
    outcome = run_demo()
    figure = demo_figure(outcome)
    d2_axis, holmium_axis, mercury_axis, before_axis, after_axis = figure.axes
    inset, = d2_axis.child_axes
    scale = outcome.table_after[:d2_axis.get_lines()[0].get_xdata().size] / 100.0
    d2 = outcome.data.d2 - outcome.data.dark
    np.testing.assert_array_equal(d2_axis.get_lines()[0].get_ydata(), d2)
    np.testing.assert_array_equal(d2_axis.get_lines()[0].get_xdata(), scale)
    shown = inset.get_lines()[1].get_xdata()  # the new scale about the 656.1 nm line
    assert shown.min() > 645 and shown.max() < 668 and shown.size == ((scale > 645) & (scale < 668)).sum()
    assert mercury_axis.get_yscale() == "log"
    _readable(figure)  # two columns below the deuterium panel, the right one at the edge
    assert min(ax.get_position().x1 for ax in (mercury_axis, after_axis)) > 0.85
    for axis, results in ((before_axis, outcome.before), (after_axis, outcome.after)):
        deviations = {line.reference: line.deviation for r in results for line in r.lines}
        heights = [bar.get_height() for bar in axis.containers[0]]
        low, high = axis.get_ylim()  # every bar and the tolerance band in view
        assert low <= min(heights + [-outcome.tolerance]) and max(heights + [outcome.tolerance]) <= high
        assert heights == [0.0 if deviations[r] is None else deviations[r] for r in sorted(deviations)]
        for text, r in zip(axis.texts, sorted(deviations)):
            d = deviations[r]
            assert text.get_text() == ("n/a" if d is None else f"{d:+.2f}")
            assert text.get_va() == ("bottom" if d is None or d >= 0 else "top")


def _readable(figure):
    """No panel hides another, each is at least 2 inches tall, and together they span the
    figure's width."""
    boxes = [ax.get_position() for ax in figure.axes]
    width, height = figure.get_size_inches()
    for k, a in enumerate(boxes):
        assert a.height * height >= 2.0, a
        for b in boxes[k + 1:]:
            assert a.x1 <= b.x0 or b.x1 <= a.x0 or a.y1 <= b.y0 or b.y1 <= a.y0, (a, b)
    assert min(b.x0 for b in boxes) < 0.15 and max(b.x1 for b in boxes) > 0.85


def test_a_figure_of_several_spectra_gives_each_its_own_readable_panel():
    from lumitra.app.plotting import Panel, spectra_figure
    x = np.linspace(190.0, 800.0, 512)
    panels = [Panel(f"panel {k}", x, [("signal", np.sin(x / (k + 5)))]) for k in range(4)]
    figure = spectra_figure("four panels", panels)
    assert [ax.get_title() for ax in figure.axes] == [f"panel {k}" for k in range(4)]
    _readable(figure)
