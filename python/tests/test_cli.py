"""The command line and the records a laboratory keeps: the README's examples, spectrum file
forms, one table of bad inputs through the command line and the API alike, the report in a
browser, a history logged at once and its drift, and the command as pip installs it."""

import functools
import json
import math
import os
import re
import shutil
import sqlite3
import subprocess
import sys
from datetime import date, datetime, timedelta, timezone

import numpy as np
import pytest

import lumitra
from conftest import EXAMPLES, HG, NEW_RECORD, REPOSITORY, SHIFTED, expected, run_cli, start_cli
from lumitra import (calibrate, calibrate_wide_slit, check_holmium, check_mercury, check_user,
                     history, qualification, spectra_io, wavelength_table)
from lumitra._version import cmake_version
from lumitra.simulator import Detector

R, RT = NEW_RECORD, (36080, 9545, 65610, 24704)
WORDS = {"R": R, "HG": HG, "CHECK": ["check-hg", *R, *HG], "TABLE": ["table", "--record"],
         "USER": ["check-user", *R, "dark.csv", "hg2.csv", "--line"],
         "HO": ["--d2", "d2.csv", "--d2-dark", "dark.csv", "--holmium", "holmium.csv"]}
WANT, REJECTED = expected(SHIFTED), expected(EXAMPLES / "out-of-range")["calibration"]
CHROMIUM, HG_LINES = "/usr/bin/chromium", (253.7, 404.7, 435.8, 486.0, 546.1, 656.1)


def words(text):
    """A command line; the words of WORDS stand for their lists."""
    return [word for part in text.split() for word in WORDS.get(part, [part])]


# (README example run in examples/shifted-detector, exit status, expected.json's results or a test)
README = [
    ("calibrate d2.csv holmium.csv --dark1 dark.csv", 0, lambda j, err: j["record"] == WANT["calibration"]["record"]),
    ("check-ho HO", 1, WANT["checks_with_default_record"]["holmium"]),
    ("check-ho R HO", 0, WANT["checks_with_new_record"]["holmium"]),
    ("check-hg HG", 1, WANT["checks_with_default_record"]["mercury"]),
    ("check-hg R HG", 0, WANT["checks_with_new_record"]["mercury"]),
    ("calibrate ../out-of-range/d2.csv ../out-of-range/holmium.csv --dark1 ../out-of-range/dark.csv", 3, lambda j, err: {k: j[k] for k in REJECTED} == REJECTED and "190 nm would fall at element" in err and "below 3.0" in err),
    ("wide-slit d2.csv --record 36080 9500 65610 24660", 0, lambda j, err: tuple(j["record"].values()) == (36080, 9544, 65610, 24704)),
    ("check-user R dark.csv hg2.csv --line 435.8:2:0.5 --line 546.1:2:0.5", 0, lambda j, err: [x["target_nm"] for x in j["lines"]] == [435.8, 546.1]),
    ("lamp d2 d2.csv R", 0, lambda j, err: 200 <= j["maximum_wavelength_nm"] <= 230),
]


@pytest.mark.parametrize("args, status, gives", README, ids=[r[0] for r in README])
def test_readme_example_reproduces_its_expected_result(args, status, gives, lumitra_cli):
    code, out, err = lumitra_cli(*words(args), "--json", cwd=SHIFTED)
    j = json.loads(out)
    assert code == j.get("exit_status", 0) == status, out + err
    assert gives(j, err) if callable(gives) else {k: v for k, v in j.items() if k not in (
        "error", "message", "exit_status")} == gives, out + err


def test_launcher_runs_from_the_source_tree_and_ends_quietly_on_a_closed_pipe():
    launcher = REPOSITORY / "python" / "bin" / "lumitra"
    piped = run_cli("-c", f"{launcher} table --all | head -1; exit ${{PIPESTATUS[0]}}",
                    program=["bash"])
    assert piped.returncode == 0 and piped.stderr == "" and piped.stdout.startswith("record")
    help_text = run_cli("check-hg", "--help").stdout
    assert all(f in help_text for f in ("0.01 nm", "1/64 element", "(default: 1.0)", "--report",
                                        "--log")), help_text


def test_demo_exits_1_when_unexpected_and_simulate_rewrites_the_examples(lumitra_cli, tmp_path):
    status, out, _ = lumitra_cli("demo", "--out", tmp_path / "demo.png")
    assert status == 0 and "Result: both checks failed with the default record" in out
    assert (tmp_path / "demo.png").read_bytes()[:4] == b"\x89PNG"
    status, out, _ = lumitra_cli("demo", "--no-plot", "--shift", 0, "--slope-error", 0, "--json")
    assert status == 1 and json.loads(out)["error"] == "UNEXPECTED_RESULT"
    assert lumitra_cli("simulate", "--out", tmp_path, "--shift", 3, "--slope-error", 0.15,
                       "--slit", 2, "--seed", 7)[0] == 0
    for name in ("dark", "d2", "holmium", "hg1", "hg2"):
        mine, shipped = ([x for x in path.read_text().splitlines() if not x.startswith("#")]
                         for path in (tmp_path / f"{name}.csv", SHIFTED / f"{name}.csv"))
        assert mine == shipped, name


@pytest.mark.parametrize("line", ["{w},{v}", "{w};{v}", "{w}\t{v}", "{w}  {v}", "{w};{c}",
                                  "{w}\t{c}", "{w} {c}"])
def test_pairs_on_the_display_grid_with_decimal_points_or_commas(tmp_path, line):
    path = tmp_path / "s.csv"
    path.write_text("wavelength_nm value\n" + "".join(line.format(
        w=190 + i, v=i * 0.5, c=f"{i * 0.5}".replace(".", ",")) + "\n" for i in range(611)))
    assert spectra_io.read_spectrum(path).on_display_grid
    assert np.array_equal(spectra_io.read_display_spectrum(path), np.arange(611) * 0.5)


# (case, command line (words as in WORDS) or None, exit status, fragment of the message (stderr)
# or of the output (status 0 and 1), the same input through the API or None)
BAD_INPUTS = [
    ("flat spectrum for the wide slit", "wide-slit zeros.csv R", 2, "no 656.1 nm line in elements 366.0..406.0", lambda s: calibrate_wide_slit(np.zeros(512), RT)),
    ("spectrum and dark swapped", "calibrate dark.csv holmium.csv --dark1 d2.csv", 2, "dark.csv less", lambda s: calibrate(s["dark"], s["holmium"], dark1=s["d2"])),
    ("dark swapped in a check", "CHECK --d2 dark.csv --dark d2.csv", 2, "no 486 nm line", lambda s: check_mercury(RT, s["dark"], s["hg1"], s["hg2"], s["d2"])),
    ("decimal commas", "wide-slit comma.csv R", 2, "decimal comma", None),
    ("decimal commas between semicolons", "wide-slit semicolon.csv R", 0, "new record {36080, 9545, 65610, 24704}", None),
    ("line beyond 32 bits", "USER 42950219.06", 2, "outside the detector's range 190..800", lambda s: check_user(RT, s["dark"], s["hg2"], [(42950219.06, 2, 1)])),
    ("wavelength beyond the grid", "table R --at 1e20", 2, "outside the detector's", lambda s: lumitra.corrected_element(1e20)),
    ("infinite wavelength", "table R --at inf", 2, "not a finite number", lambda s: lumitra.corrected_element(math.inf)),
    ("both lines at one position", "TABLE 36080 9545 36080 9545", 2, "both lines are at one wavelength", lambda s: wavelength_table((36080, 9545, 36080, 9545))),
    ("raw record the library cannot scale", "table --raw --record 36080 9545 36080 9545 --at 500", 0, "element wavelengths not measured for 512 of 512 elements", None),
    ("position off the array", "TABLE 36080 9545 65610 40000", 2, "off the array", lambda s: check_holmium((36080, 9545, 65610, 40000), s["d2"])),
    ("wavelengths falling along the array", "TABLE 36080 24704 65610 9545", 2, "fall along the array", None),
    ("target beyond 32 bits", None, 2, "32-bit", lambda s: lumitra.find_target_element(2**32 + 19050, [19000, 19100])),
    ("table of fractions", None, 2, "32-bit", lambda s: lumitra.compare_tables([19000.5], [1])),
    ("record not integers", "TABLE 1 2 3 four", 2, "'four' is not an integer", None),
    ("record beyond 32 bits", f"TABLE 1 2 3 {2**31}", 2, "does not fit", lambda s: wavelength_table((1, 2, 3, 2**31))),
    ("wide slit without a record", "wide-slit d2.csv", 2, "required: --record", None),
    ("uncalibrated record for the wide slit", None, 2, "is uncalibrated", lambda s: calibrate_wide_slit(s["d2"], None)),
    ("flat lamp band", "lamp w zeros.csv R", 0, "at a wavelength not measured", None),
    ("lamp band without values", "lamp w uv-pairs.csv", 0, "not measured (no value in the band)", None),
    ("element numbers as wavelengths", "lamp d2 element-pairs.csv", 2, "no wavelength the array sees", None),
    ("unsorted pairs", "lamp d2 unsorted.csv", 2, "does not lie above", lambda s: lumitra.lamp_info("d2", [1.0, 2.0, 3.0], [200.0, 210.0, 205.0])),
    ("NaN at the 656.1 nm peak", "calibrate nan.csv holmium.csv", 2, "not a finite number", lambda s: calibrate(np.where(np.arange(512) == 385, math.nan, s["d2"]), s["holmium"], dark1=s["dark"])),
    ("no values for the maximum", None, 2, "an empty series", lambda s: lumitra.max_voltage([])),
    ("None for the maximum", None, 2, "none given", lambda s: lumitra.max_voltage(None)),
    ("NaN tolerance", "CHECK --tolerance nan", 2, "not a finite number", lambda s: check_holmium(None, s["d2"], tolerance=math.nan)),
    ("negative tolerance", "CHECK --tolerance -1", 2, "above 0", lambda s: check_holmium(None, s["d2"], tolerance=-1)),
    ("zero window", "USER 546.1:0", 2, "must be larger than the allowed deviation", lambda s: check_user(None, s["dark"], s["hg2"], [lumitra.UserLine(546.1, 0.0, 1.0)])),
    ("window not wider than the deviation", "USER 546.1:1:1", 2, "must be larger", None),
    ("negative window", "USER 546.1:-2", 2, "must be larger", None),
    ("target beyond 800 nm", "USER 900", 2, "900 nm lies outside", None),
    ("infinite target", "USER inf", 2, "not a finite number", None),
    ("line outside its window", "USER 548:1.5:1", 2, "outside the window", None),
    ("NaN shift", "simulate --out sim --shift nan", 2, "shift: nan", lambda s: Detector(shift=math.nan)),
    ("infinite slit", "simulate --out sim --slit inf", 2, "slit: inf", None),
    ("figure without a suffix", "table --plot fig", 0, "Figure written to fig.png", None),
    ("figure of an unknown format", "table --plot fig.txt", 2, "name it .png", None),
    ("absent file", "calibrate absent.csv holmium.csv", 2, "no such file", None),
    ("word among numbers", "calibrate d2.csv word.csv", 2, "'x7' is not a number", None),
    ("binary file", "calibrate d2.csv binary.csv", 2, "binary", None),
    ("directory", "check-hg --d2 d2.csv --hg1 hg1.csv --hg2 .", 2, "is a directory", None),
    ("no command", "", 2, "give a command", None),
    ("unknown option", "table --bogus", 2, "unrecognized arguments", None),
    ("time without a zone", "CHECK --log h.db --time 2024-01-01T10:00", 2, "names no time zone", None),
    ("report not HTML", "CHECK --report r.pdf", 2, "name it .html", None),
    ("history that is no database", "history d2.csv", 2, "not an SQLite database", None),
    ("history of a newer schema", "CHECK --log newer.db", 2, "newer than this lumitra's", None),
    ("read-only history", "CHECK --log readonly.db", 2, "read-only", None),
]


@pytest.fixture
def workdir(tmp_path):
    """The shifted example and files a person may get wrong."""
    d2 = [x for x in (SHIFTED / "d2.csv").read_text().splitlines() if x[0].isdigit()]
    files = {"zeros.csv": "0\n" * 512, "comma.csv": "830,650\n" * 512,
             "semicolon.csv": "".join(f"{e};{v.replace('.', ',')}\n" for e, v in
                                      zip(lumitra.element_wavelengths(RT), d2)),
             "uv-pairs.csv": "".join(f"{200 + i},{i}\n" for i in range(50)),
             "element-pairs.csv": "".join(f"{e},1\n" for e in range(1, 513)),
             "unsorted.csv": "200,1\n210,2\n205,3\n", "binary.csv": "\x00\x01\x02" * 100,
             "word.csv": "value\n1\nx7\n", "nan.csv": "\n".join(d2[:385] + ["nan"] + d2[386:])}
    shutil.copytree(SHIFTED, tmp_path, dirs_exist_ok=True)
    for name, text in files.items():
        (tmp_path / name).write_text(text)
    for name, version in (("newer.db", 99), ("readonly.db", 1)):
        with sqlite3.connect(tmp_path / name) as db:
            db.executescript(f"PRAGMA application_id = {0x4C4D5452}; "
                             f"PRAGMA user_version = {version};")
    (tmp_path / "readonly.db").chmod(0o444)
    return tmp_path


@pytest.mark.parametrize("args, status, fragment, api", [c[1:] for c in BAD_INPUTS],
                         ids=[c[0] for c in BAD_INPUTS])
def test_bad_input_gets_its_status_and_reason(args, status, fragment, api, workdir,
                                              lumitra_cli, shifted, no_leak):
    if args is not None:
        code, out, err = lumitra_cli(*words(args), cwd=workdir)
        assert code == status, out + err
        if status < 2:
            assert fragment in out and err == "", out + err
        else:
            assert err.count("\n") == 1 and err.startswith("lumitra: error: ") and fragment in err
            code, out, _ = lumitra_cli(*words(args), "--json")
            assert code == status == json.loads(out)["exit_status"] and json.loads(out)["error"]
    if api is not None:
        pytest.raises(ValueError, api, shifted).match(re.escape(fragment))


def test_report_of_the_mercury_check_as_chromium_renders_it(lumitra_cli, tmp_path):
    assert shutil.which(CHROMIUM), "chromium renders the report (scripts/setup-debian.sh)"
    page = tmp_path / "report.html"
    status, out, _ = lumitra_cli(*words("check-hg R HG --detector DAD-0042 --time"),
                                 "2024-03-01T09:30:00+01:00", "--report", page, "--operator",
                                 "A. Analyst", "--note", 'lamp <b>changed</b> & "cleaned"',
                                 cwd=SHIFTED)
    source = page.read_text()
    assert status == 0 and f"Report written to {page}" in out
    assert qualification.file_digest(SHIFTED / "hg2.csv") in source and not any(
        a in source for a in ("http", "://", "www.", "src='/", "@import"))  # self-contained
    text = " ".join(subprocess.run(
        [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
         "--no-first-run", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", f"--user-data-dir={tmp_path / 'profile'}", "--dump-dom",
         page.as_uri()], capture_output=True, text=True, timeout=120).stdout.split())
    assert text.count('<td class="pass">pass</td>') == 12  # each line, both criteria
    assert not [fragment for fragment in (
        "Result: PASSED", "DAD-0042", "2024-03-01T09:30:00+01:00",
        "lamp &lt;b&gt;changed&lt;/b&gt; &amp; \"cleaned\"",  # the note is shown, not obeyed
        *(f'<td class="num">{line}</td>' for line in HG_LINES), "Ph. Eur. 2.2.25",
        "±1 nm in the ultraviolet range", "±3 nm in the visible range", "data:image/png;base64,")
        if fragment not in text], text


def test_runs_logged_by_processes_at_once_are_all_kept(tmp_path):
    database = tmp_path / "history.db"
    processes = [start_cli(*words("check-ho R HO --detector DAD-7 --operator"), f"operator {i}",
                           "--log", database, cwd=SHIFTED) for i in range(4)]
    assert [p.communicate(timeout=300)[1] + str(p.returncode) for p in processes] == ["0"] * 4
    runs = json.loads(run_cli("history", database, "--json").stdout)["runs"]
    assert sorted(run["operator"] for run in runs) == [f"operator {i}" for i in range(4)]
    assert all(len(run["lines"]) == 4 and len(run["inputs"]) == 3 for run in runs)


def test_a_known_drift_and_its_crossing_date_are_found(lumitra_cli, tmp_path):
    """Monthly checks for a year with the record; a run with an older record does not count."""
    database, rate_nm, tolerance = tmp_path / "drift.db", 0.1, 2.0
    detector = Detector(shift=1.0, seed=1)
    at, data = detector.position_of(546.1), detector.measure_all()
    per_element = float(detector.wavelength_at(at + 0.5) - detector.wavelength_at(at - 0.5))
    record = calibrate(data.d2, data.holmium, dark1=data.dark)
    start = datetime(2024, 1, 15, 9, 0, tzinfo=timezone(timedelta(hours=1)))
    runs = [(start - timedelta(days=60), lumitra.CalibrationRecord(36080, 9500, 65610, 24660),
             [qualification.Line(546.1, 549.0, 2.9, 2.4, tolerance, False, "mercury 2")])]
    for month in range(12):
        d = detector.with_changes(shift=1.0 + rate_nm / per_element * month,  # 0.1 nm a month
                                  seed=100 + month).measure_all()
        runs.append((start + timedelta(days=30 * month), record, qualification.lines_of_check(
            check_mercury(record, d.d2, d.hg1, d.hg2, d.dark, tolerance=tolerance))))
    for when, used, lines in runs:
        history.log_run(database, qualification.Run("check-hg", "monthly check", used,
                                                     tuple(lines), True, (), "DAD-9", "", "", when))
    status, out, _ = lumitra_cli("history", database, "--json", "--plot", tmp_path / "h.png")
    found = {item["reference_nm"]: item for item in json.loads(out)["drift"]}
    assert status == 0 and (tmp_path / "h.png").read_bytes()[:4] == b"\x89PNG"
    assert set(found) == set(HG_LINES) and all(item["runs"] == 12 for item in found.values())
    assert [item["drift_nm_per_30_days"] for item in found.values()] == [
        pytest.approx(rate_nm, abs=0.02)] * 6, found
    first = next(x.deviation for x in runs[1][2] if x.reference == 546.1)
    crossing = start + timedelta(days=30 * (tolerance - first) / rate_nm)
    assert abs(date.fromisoformat(found[546.1]["leaves_tolerance"]) - crossing.date()).days <= 10


def test_pip_installs_a_lumitra_command_that_runs_from_anywhere(tmp_path):
    """Offline, into a virtual environment that sees the system's numpy and matplotlib."""
    venv = tmp_path / "venv"
    run = functools.partial(subprocess.run, cwd="/", capture_output=True, text=True, timeout=300,
                            env={k: v for k, v in os.environ.items() if k not in (
                                "PYTHONPATH", "LUMITRA_LIBRARY", "PIP_INDEX_URL")})
    assert run([sys.executable, "-m", "venv", "--system-site-packages", venv]).returncode == 0
    pip = run([venv / "bin/python", "-m", "pip", "install", "-q", "--no-build-isolation",
               "--no-index", REPOSITORY])
    assert pip.returncode == 0, pip.stdout + pip.stderr
    table = run([venv / "bin/lumitra", *words("table R --at 656.1")])
    assert table.returncode == 0 and "656.10 nm falls on element 386.0000" in table.stdout, table
    version = run([venv / "bin/lumitra", "--version"]).stdout
    assert version.startswith(f"lumitra {cmake_version(REPOSITORY / 'CMakeLists.txt')}\nlibrary ")
    assert "found through the " in version
