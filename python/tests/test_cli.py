"""The command line and the records a laboratory keeps: the README's examples, one table of
bad or awkward inputs through the command line and the API alike (each with its exit status
and message), outputs that never lose data, the report in a browser, a history logged at
once and its drift, and the command as pip installs it."""

import functools
import json
import math
import os
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import time
from datetime import date, datetime, timedelta, timezone

import numpy as np
import pytest

import lumitra
from conftest import EXAMPLES, HG, NEW_RECORD, REPOSITORY, SHIFTED, expected, run_cli, start_cli
from lumitra import (CalibrationRecord, calibrate, calibrate_wide_slit, check_holmium,
                     check_mercury, check_user, wavelength_table)
from lumitra._version import cmake_version
from lumitra.app import history, outputs, runs, spectra_io
from lumitra.app.verdicts import Line
from lumitra.simulator import Detector

R, RT = NEW_RECORD, (36080, 9545, 65610, 24704)
WORDS = {"R": R, "HG": HG, "CHECK": ["check-hg", *R, *HG], "TABLE": ["table", "--record"],
         "USER": ["check-user", *R, "dark.csv", "hg2.csv", "--line"],
         "HO": ["--d2", "d2.csv", "--d2-dark", "dark.csv", "--holmium", "holmium.csv"],
         "OFF": ["--record", "36080", "9449", "65610", "24608"]}  # 1.5 elements low
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
    ("check-user R dark.csv hg2.csv --line 435.8:2:0.5 --line 546.1:2:0.5", 0, lambda j, err: [x["reference_nm"] for x in j["lines"]] == [435.8, 546.1]),
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
                                        "--log", "--force")), help_text


def test_demo_exits_1_when_unexpected_and_simulate_rewrites_the_examples(lumitra_cli, tmp_path):
    status, out, _ = lumitra_cli("demo", "--out", tmp_path / "demo.png")
    assert status == 0 and "Result: both checks failed with the default record" in out
    assert (tmp_path / "demo.png").read_bytes()[:4] == b"\x89PNG"
    status, out, _ = lumitra_cli("demo", "--no-plot", "--shift", 0, "--slope-error", 0, "--json")
    assert status == 1 and json.loads(out)["error"] == "UNEXPECTED_RESULT"
    assert lumitra_cli("simulate", "--out", tmp_path / "set", "--shift", 3, "--slope-error",
                       0.15, "--slit", 2, "--seed", 7)[0] == 0
    for name in ("dark", "d2", "holmium", "hg1", "hg2"):
        mine, shipped = ([x for x in path.read_text().splitlines() if not x.startswith("#")]
                         for path in (tmp_path / "set" / f"{name}.csv", SHIFTED / f"{name}.csv"))
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
    # Mistakes a person makes with the data.
    ("holmium trace as transmission", "calibrate d2.csv transmission.csv --dark1 dark.csv", 2, "upside down, as a transmission trace", lambda s: calibrate(s["d2"], s["transmission"], dark1=s["dark"])),
    ("record's lines in the other order", "wide-slit d2.csv --record 65610 24660 36080 9500", 0, "taken as {36080, 9500, 65610, 24660}", lambda s: calibrate_wide_slit((65610, 24660, 36080, 9500), s["d2"]).position2 == 24704),
    ("the table of a reversed record", "TABLE 65610 24704 36080 9545 --at 656.1", 0, "656.10 nm falls on element 386.0000", None),
    ("a check with a reversed record", "check-ho --record 65610 24704 36080 9545 HO", 0, "Result: PASSED", None),
    ("the wrong file for the wide slit", "wide-slit holmium.csv R", 2, "elements the checks' windows follow",
     lambda s: calibrate_wide_slit(RT, s["holmium"])),
    ("no holmium trace", "check-ho R --d2 d2.csv --d2-dark dark.csv", 0, "Ph. Eur. 2.2.25 wavelength accuracy not assessed", None),
    ("a wide tolerance hides 1.8 nm in the ultraviolet", "check-hg OFF --hg1 hg1.csv --hg2 hg2.csv --d2 d2.csv --dark dark.csv --tolerance 3", 1, "Ph. Eur. 2.2.25 wavelength accuracy NOT met", None),
    ("a saturated line", "check-hg R --hg1 hg2.csv --hg2 hg2.csv --d2 d2.csv --dark dark.csv", 1, "FAIL: saturated: elements", None),
    ("a detector 6 nm off", "check-hg HG --hg1 shifted/hg1.csv --hg2 shifted/hg2.csv --d2 shifted/d2.csv --dark shifted/dark.csv", 1, "FAIL: the values keep rising beyond the window", None),
    ("the user check's sign", "USER 435.8:2:0.5 --json", 0, '"deviation_nm": ', None),
    ("a saturated user line", "USER 253.7", 1, "FAIL: no line of hg2.csv less dark.csv in 251.7..255.7 nm: saturated: elements", None),
    ("a detector 20 elements off", "check-ho --d2 far/d2.csv --d2-dark far/dark.csv --holmium far/holmium.csv", 1, "what its window holds cannot be shown to be this line", None),
    ("pairs of another record", "check-ho --record 36080 9500 65610 24660 --d2 semicolon.csv", 2, "not written with this record", None),
    ("pairs for a calibration", "calibrate semicolon.csv holmium.csv", 2, "this command takes element values", None),
    ("pairs of the record", "wide-slit semicolon.csv R", 0, "new record {36080, 9545, 65610, 24704}", None),
    ("flat spectrum for the wide slit", "wide-slit zeros.csv R", 2, "no 656.1 nm line in elements 366.0..406.0", lambda s: calibrate_wide_slit(RT, np.zeros(512))),
    ("spectrum and dark swapped", "calibrate dark.csv holmium.csv --dark1 d2.csv", 2, "dark.csv less", lambda s: calibrate(s["dark"], s["holmium"], dark1=s["d2"])),
    ("dark swapped in a check", "CHECK --d2 dark.csv --dark d2.csv", 1, "FAIL: no value there rises above 0", None),
    # Numbers and records.
    ("decimal commas", "wide-slit comma.csv R", 2, "decimal comma", None),
    ("line beyond 32 bits", "USER 42950219.06", 2, "outside the detector's range 190..800", lambda s: check_user(RT, s["dark"], s["hg2"], [(42950219.06, 2, 1)])),
    ("wavelength beyond the grid", "table R --at 1e20", 2, "outside the detector's", lambda s: lumitra.corrected_element(1e20)),
    ("infinite wavelength", "table R --at inf", 2, "not a finite number", lambda s: lumitra.corrected_element(math.inf)),
    ("both lines at one position", "TABLE 36080 9545 36080 9545", 2, "both lines are at one wavelength", lambda s: wavelength_table((36080, 9545, 36080, 9545))),
    ("raw record the library cannot scale", "table --raw --record 36080 9545 36080 9545 --at 500", 0, "element wavelengths not measured for 512 of 512 elements", None),
    ("position off the array", "TABLE 36080 9545 65610 40000", 2, "off the array", lambda s: check_holmium((36080, 9545, 65610, 40000), s["d2"])),
    ("wavelengths falling along the array", "TABLE 36080 24704 65610 9545", 2, "fall along the array", None),
    ("record not integers", "TABLE 1 2 3 four", 2, "'four' is not an integer", lambda s: lumitra.record((1, 2, 3, "four"))),
    ("record beyond 32 bits", f"TABLE 1 2 3 {2**31}", 2, "does not fit", lambda s: wavelength_table((1, 2, 3, 2**31))),
    ("record of three fields", None, 2, "four integers, got 3", lambda s: lumitra.record((36080, 9545, 65610))),
    ("complex spectrum", None, 2, "complex numbers; expected real numbers", lambda s: check_holmium(RT, s["d2"] + 1j)),
    ("text spectrum", None, 2, "text, not a series of numbers", lambda s: check_holmium(RT, "d2.csv")),
    ("complex tolerance", None, 2, "is not a number", lambda s: check_holmium(RT, s["d2"], tolerance=1j)),
    ("wide slit without a record", "wide-slit d2.csv", 2, "one of the arguments --record --record-from is required", None),
    ("uncalibrated record for the wide slit", None, 2, "is uncalibrated", lambda s: calibrate_wide_slit(None, s["d2"])),
    ("default record for element lamp values", "lamp d2 d2.csv --record 0 0 0 0", 0, "deuterium lamp", None),
    ("no record for element lamp values", "lamp d2 d2.csv", 2, "give the detector's record (or 0 0 0 0", None),
    ("flat lamp band", "lamp w zeros.csv R", 0, "at a wavelength not measured", None),
    ("lamp band without values", "lamp w uv-pairs.csv", 0, "not measured (no value in the band)", None),
    ("element numbers as wavelengths", "lamp d2 element-pairs.csv", 2, "no wavelength the array sees", None),
    ("unsorted pairs", "lamp d2 unsorted.csv", 2, "does not lie above", lambda s: lumitra.lamp_info("d2", [1.0, 2.0, 3.0], [200.0, 210.0, 205.0])),
    ("NaN at the 656.1 nm peak", "calibrate nan.csv holmium.csv", 2, "not a finite number", lambda s: calibrate(np.where(np.arange(512) == 385, math.nan, s["d2"]), s["holmium"], dark1=s["dark"])),
    ("NaN tolerance", "CHECK --tolerance nan", 2, "not a finite number", lambda s: check_holmium(None, s["d2"], tolerance=math.nan)),
    ("negative tolerance", "CHECK --tolerance -1", 2, "above 0", lambda s: check_holmium(None, s["d2"], tolerance=-1)),
    ("zero window", "USER 546.1:0", 2, "must be larger than the allowed deviation", lambda s: check_user(None, s["dark"], s["hg2"], [lumitra.UserLine(546.1, 0.0, 1.0)])),
    ("negative window", "USER 546.1:-2", 2, "must be larger", None),
    ("target beyond 800 nm", "USER 900", 2, "900 nm lies outside", None),
    ("line outside its window", "USER 548:1.5:1", 1, "FAIL: found on the edge of its window, at 546.50 nm", None),
    ("NaN shift", "simulate --out sim --shift nan", 2, "shift: nan", lambda s: Detector(shift=math.nan)),
    ("time in the future", "CHECK --log h.db --time 2099-01-01T00:00:00+00:00", 2, "lies in the future", None),
    ("time without a zone", "CHECK --log h.db --time 2024-01-01T10:00", 2, "names no time zone", None),
    ("time before any record", "CHECK --log h.db --time 0001-01-01T00:00:00+00:00", 2, "lies before 1990", None),
    # Files read.
    ("absent file", "calibrate absent.csv holmium.csv", 2, "no such file", None),
    ("word among numbers", "calibrate d2.csv word.csv", 2, "'x7' is not a number", None),
    ("binary file", "calibrate d2.csv binary.csv", 2, "binary", None),
    ("an endless device", "check-ho R --d2 /dev/zero", 2, "too large for a spectrum file", None),
    ("UTF-16 without a byte-order mark", "wide-slit utf16-nobom.csv R", 2, "save it as UTF-8", None),
    ("UTF-16 with a byte-order mark", "wide-slit utf16.csv R", 0, "new record {36080, 9545", None),
    ("latin-1 comment", "wide-slit latin1-comment.csv R", 0, "new record {36080, 9545", None),
    ("latin-1 column name", "wide-slit latin1-header.csv R", 2, "line 1 is not UTF-8 text", None),
    ("directory", "check-hg --d2 d2.csv --hg1 hg1.csv --hg2 .", 2, "is a directory", None),
    ("no command", "", 2, "give a command", None),
    ("unknown option", "table --bogus", 2, "unrecognized arguments", None),
    ("history that is no database", "history d2.csv", 2, "not an SQLite database", None),
    ("history of a newer schema", "CHECK --log newer.db", 2, "newer than this lumitra's", None),
    ("read-only history", "CHECK --log readonly.db", 2, "read-only", None),
    # Files written.
    ("figure without a suffix", "table --plot fig", 0, "Figure written to fig.png", None),
    ("figure onto a folder", "table --plot shifted", 2, "shifted is a folder; name the figure's file", None),
    ("page onto the history's journal", "history readonly.db --html readonly.db-wal --force", 2, "readonly.db-wal is one of the command's inputs", None),
    ("figure of an unknown format", "table --plot fig.txt", 2, "name it .png", None),
    ("report not HTML", "CHECK --report r.pdf", 2, "name it .html", None),
    ("report onto an input", "CHECK --report hg1.csv", 2, "hg1.csv is one of the command's inputs", None),
    ("history onto an input", "CHECK --log d2.csv", 2, "d2.csv is one of the command's inputs", None),
    ("report that exists", "CHECK --report exists.html", 2, "exists.html exists; name another file, or give --force", None),
    ("report that exists, replaced", "CHECK --report exists.html --force", 0, "Report written to exists.html", None),
    ("figure in a missing folder", "table --plot nowhere/fig.png", 2, "the folder nowhere does not exist", None),
    ("report in a missing folder", "CHECK --report nowhere/r.html", 2, "the folder nowhere does not exist", None),
    ("history in a missing folder", "CHECK --log nowhere/h.db", 2, "the folder nowhere does not exist", None),
]


@pytest.fixture
def workdir(tmp_path):
    """The shifted example and files a person may get wrong."""
    d2 = [x for x in (SHIFTED / "d2.csv").read_text().splitlines() if x[0].isdigit()]
    holmium = spectra_io.read_element_spectrum(SHIFTED / "holmium.csv")
    files = {"zeros.csv": "0\n" * 512, "comma.csv": "830,650\n" * 512,
             "semicolon.csv": "".join(f"{e};{v.replace('.', ',')}\n" for e, v in
                                      zip(lumitra.element_wavelengths(RT), d2)),
             "uv-pairs.csv": "".join(f"{200 + i},{i}\n" for i in range(50)),
             "element-pairs.csv": "".join(f"{e},1\n" for e in range(1, 513)),
             "unsorted.csv": "200,1\n210,2\n205,3\n", "binary.csv": "\x00\x01\x02" * 100,
             "word.csv": "value\n1\nx7\n", "nan.csv": "\n".join(d2[:385] + ["nan"] + d2[386:]),
             "transmission.csv": "".join(f"{100 * 10 ** (-a / 1000):.4f}\n" for a in holmium),
             "exists.html": "a report kept\n"}
    shutil.copytree(SHIFTED, tmp_path, dirs_exist_ok=True)
    for name, text in files.items():
        (tmp_path / name).write_text(text)
    (tmp_path / "utf16.csv").write_bytes("\n".join(d2).encode("utf-16"))
    (tmp_path / "utf16-nobom.csv").write_bytes("\n".join(d2).encode("utf-16-le"))
    (tmp_path / "latin1-comment.csv").write_bytes("# mesuré par Müller\n".encode("latin-1")
                                                  + "\n".join(d2).encode())
    (tmp_path / "latin1-header.csv").write_bytes("Intensität\n".encode("latin-1")
                                                 + "\n".join(d2).encode())
    for folder, shift in (("shifted", 5.0), ("far", -20.0)):  # 6 nm and 24 nm off
        (tmp_path / folder).mkdir()
        for name, values in Detector(shift=shift, seed=3).measure_all().items():
            (tmp_path / folder / f"{name}.csv").write_text(spectra_io.spectrum_text(values))
    for name, version in (("newer.db", 99), ("readonly.db", 2)):
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
            assert fragment in out and "Traceback" not in err, out + err
        else:
            assert err.count("\n") == 1 and err.startswith("lumitra: error: ") and fragment in err
            code, out, _ = lumitra_cli(*words(args), "--json")
            assert code == status == json.loads(out)["exit_status"] and json.loads(out)["error"]
        assert not list(workdir.glob("**/.*.part")), "a temporary file was left"
    if api is not None:
        data = {**shifted, "transmission": spectra_io.read_element_spectrum(
            workdir / "transmission.csv"), "holmium": shifted["holmium"]}
        if status == 0:
            assert api(data)
        else:
            pytest.raises(ValueError, api, data).match(re.escape(fragment))


def test_the_issue_cases_give_one_verdict_everywhere(workdir, lumitra_cli):
    """Text, JSON, exit status, report banner and history agree, failed runs included."""
    for number, (args, status, ph_eur) in enumerate((("check-ho R --d2 d2.csv --d2-dark dark.csv", 0, "not assessed"),
                                 ("check-hg OFF --hg1 hg1.csv --hg2 hg2.csv --d2 d2.csv "
                                  "--dark dark.csv --tolerance 3", 1, "not met"),
                                 ("check-hg HG --hg1 shifted/hg1.csv --hg2 shifted/hg2.csv "
                                  "--d2 shifted/d2.csv --dark shifted/dark.csv", 1, "not met"))):
        report = workdir / f"r{number}.html"
        code, out, err = lumitra_cli(*words(args), "--json", "--report", report, "--log",
                                     "h.db", cwd=workdir)
        data = json.loads(out)
        assert code == status == data.get("exit_status", 0) and data["ph_eur"] == ph_eur, out
        page = report.read_text()
        assert ("Result: PASSED" if status == 0 else "Result: FAILED") in page
        assert f"Ph. Eur. 2.2.25 wavelength accuracy {ph_eur.replace('not met', 'NOT met')}" \
            in page
    logged = history.read_runs(workdir / "h.db")
    assert [run["passed"] for run in logged] == [True, False, False]
    assert [run["ph_eur"] for run in logged] == ["not assessed", "not met", "not met"]
    assert all(run["entered"] for run in logged) and any(
        line["problem"] for line in logged[2]["lines"])
    user = json.loads(lumitra_cli(*words("USER 435.8:2:0.5 --json"), cwd=workdir)[1])["lines"][0]
    assert user["deviation_nm"] == pytest.approx(user["measured_nm"] - user["reference_nm"])


def test_no_output_is_left_half_written(workdir, lumitra_cli, monkeypatch):
    """A full disk while writing, a failing history, Ctrl-C while reading."""
    def full(handle, *rest):
        raise OSError(28, "No space left on device")
    monkeypatch.setattr(outputs.os, "fsync", full)
    code, _, err = lumitra_cli(*words("CHECK --report fresh.html --plot fresh.png --log "
                                      "fresh.db"), cwd=workdir)
    assert code == 2 and "No space left on device" in err
    assert not [p for p in workdir.iterdir() if p.name.startswith(("fresh", ".fresh"))]
    monkeypatch.undo()

    def refuse(*args, **kw):
        raise sqlite3.OperationalError("disk I/O error")
    monkeypatch.setattr(history, "library_identity", refuse)
    code, _, err = lumitra_cli(*words("CHECK --report kept.html --log fresh.db"), cwd=workdir)
    assert code == 2 and "disk I/O error" in err
    assert not [p for p in workdir.iterdir() if p.name.startswith(("kept", ".kept", "fresh"))]
    monkeypatch.undo()
    fifo = workdir / "pipe.csv"
    os.mkfifo(fifo)
    child = start_cli(*words("calibrate pipe.csv holmium.csv"), cwd=workdir)
    writer = None
    while writer is None:  # until the command holds the pipe open, waiting for data
        try:
            writer = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
        except OSError:
            time.sleep(0.05)
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=60)
    os.close(writer)
    assert child.returncode == 130 and "Traceback" not in err, err
    with open("/dev/full", "w") as full_device:
        table = start_cli("table", stdout=full_device)
        _, err = table.communicate(timeout=120)
    assert table.returncode == 2 and err.count("\n") == 1 and err.startswith(
        "lumitra: error: cannot write the output: No space left on device"), err


def test_a_python_without_numpy_is_told_what_is_missing():
    child = run_cli("-c", "import sys, runpy; sys.modules['numpy'] = None; "
                    "runpy.run_module('lumitra', run_name='__main__')", "table",
                    program=[sys.executable])
    assert child.returncode == 4 and child.stderr.count("\n") == 1, child.stderr
    assert "lacks the module numpy (Debian: apt-get install python3-numpy)" in child.stderr


def test_report_of_the_mercury_check_as_chromium_renders_it(lumitra_cli, tmp_path):
    assert shutil.which(CHROMIUM), "chromium renders the report (scripts/setup-debian.sh)"
    page = tmp_path / "report.html"
    status, out, _ = lumitra_cli(*words("check-hg R HG --detector DAD-0042 --time"),
                                 "2024-03-01T09:30:00+01:00", "--report", page, "--operator",
                                 "A. Analyst", "--note", 'lamp <b>changed</b> & "cleaned"',
                                 cwd=SHIFTED)
    source = page.read_text()
    assert status == 0 and f"Report written to {page}" in out
    assert runs.file_digest(SHIFTED / "hg2.csv") in source and not any(
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
        "±1 nm in the ultraviolet range", "±3 nm in the visible range", "data:image/png;base64,",
        "wavelength accuracy met")
        if fragment not in text], text


def test_runs_logged_by_processes_at_once_are_all_kept(tmp_path):
    database = tmp_path / "history.db"
    processes = [start_cli(*words("check-ho R HO --detector DAD-7 --operator"), f"operator {i}",
                           "--log", database, cwd=SHIFTED) for i in range(4)]
    assert [p.communicate(timeout=300)[1] + str(p.returncode) for p in processes] == ["0"] * 4
    logged = json.loads(run_cli("history", database, "--json").stdout)["runs"]
    assert sorted(run["operator"] for run in logged) == [f"operator {i}" for i in range(4)]
    assert all(len(run["lines"]) == 4 and len(run["inputs"]) == 3 for run in logged)


def _line(reference, deviation, tolerance, searched_in):
    return Line(reference, reference + deviation, deviation, 2.4, tolerance,
                abs(deviation) <= tolerance, searched_in)


def test_a_known_drift_and_its_crossing_date_are_found(lumitra_cli, tmp_path):
    """Monthly checks for a year with the record; a run with an older record does not count."""
    database, rate_nm, tolerance = tmp_path / "drift.db", 0.1, 2.0
    detector = Detector(shift=1.0, seed=1)
    at, data = detector.position_of(546.1), detector.measure_all()
    per_element = float(detector.wavelength_at(at + 0.5) - detector.wavelength_at(at - 0.5))
    record = calibrate(data.d2, data.holmium, dark1=data.dark)
    start = datetime(2024, 1, 15, 9, 0, tzinfo=timezone(timedelta(hours=1)))
    logged = [(start - timedelta(days=60), CalibrationRecord(36080, 9500, 65610, 24660),
               [_line(546.1, 2.9, tolerance, "mercury 2")])]
    for month in range(12):
        d = detector.with_changes(shift=1.0 + rate_nm / per_element * month,  # 0.1 nm a month
                                  seed=100 + month).measure_all()
        logged.append((start + timedelta(days=30 * month), record, runs.lines_of_check(
            check_mercury(record, d.d2, d.hg1, d.hg2, d.dark, tolerance=tolerance))))
    for when, used, lines in logged:
        history.log_run(database, runs.Run("check-hg", "monthly check", used, tuple(lines), (),
                                           "DAD-9", "", "", when, runs.now()))
    status, out, _ = lumitra_cli("history", database, "--json", "--plot", tmp_path / "h.png")
    found = {item["reference_nm"]: item for item in json.loads(out)["drift"]}
    assert status == 0 and (tmp_path / "h.png").read_bytes()[:4] == b"\x89PNG"
    assert set(found) == set(HG_LINES) and all(item["runs"] == 12 for item in found.values())
    assert [item["drift_nm_per_30_days"] for item in found.values()] == [
        pytest.approx(rate_nm, abs=0.02)] * 6, found
    first = next(x.deviation for x in logged[1][2] if x.reference == 546.1)
    crossing = start + timedelta(days=30 * (tolerance - first) / rate_nm)
    assert abs(date.fromisoformat(found[546.1]["leaves_tolerance"]) - crossing.date()).days <= 10



@pytest.mark.parametrize("deviations, leaves, outside", [
    ((0.1, 0.2, 0.3, 0.4), 270, False),    # +0.1 nm a month: reaches +1 nm in the tenth
    ((0.4, 0.7, 1.0, 1.3), 60, True),      # left +1 nm in the third month
    ((-1.4, -1.6, -1.8, -2.0), 0, True),   # outside from the first run on
    ((-2.0, -1.8, -1.6, -1.4), 0, True),   # moving back, still outside: since the first run
    ((0.3, 0.31, 0.29, 0.3), None, False),  # no significant drift, no date
])
def test_a_drift_gets_the_date_it_leaves_or_left_its_tolerance(deviations, leaves, outside):
    from lumitra.app.drift import fit_drift
    start = datetime(2025, 1, 1, tzinfo=timezone.utc)
    epochs = [(start + timedelta(days=30 * k)).timestamp() for k in range(4)]
    found = fit_drift(epochs, deviations, 1.0)
    assert found["outside"] == outside and (found["leaves_tolerance"] is None) == (leaves is None)
    if leaves is not None:
        assert found["leaves_tolerance"] == (start + timedelta(days=leaves)).date().isoformat()
        assert found["crossing"].startswith("left" if outside else "reaches")

def test_pip_installs_a_package_that_carries_its_library_and_survives_the_clone(tmp_path):
    """Offline, into a virtual environment that sees the system's packages; the clone it was
    installed from is then moved away."""
    clone, venv = tmp_path / "clone", tmp_path / "venv"
    shutil.copytree(REPOSITORY, clone, ignore=shutil.ignore_patterns(
        ".git", "build", "__pycache__", "*.egg-info"))  # the tree as it is, without builds
    run = functools.partial(subprocess.run, cwd="/", capture_output=True, text=True, timeout=900,
                            env={k: v for k, v in os.environ.items() if k not in (
                                "PYTHONPATH", "LUMITRA_LIBRARY", "PIP_INDEX_URL")})
    assert run([sys.executable, "-m", "venv", "--system-site-packages", venv]).returncode == 0
    pip = run([venv / "bin/python", "-m", "pip", "install", "-q", "--no-build-isolation",
               "--no-index", clone])
    assert pip.returncode == 0, pip.stdout + pip.stderr
    clone.rename(tmp_path / "moved")
    version = run([venv / "bin/lumitra", "--version"])
    site = run([venv / "bin/python", "-c", "import lumitra, os; print(os.path.dirname("
                "lumitra.__file__))"]).stdout.strip()
    library = f"{site}/_lib/liblumitra.so.1"
    assert version.stdout == (f"lumitra {cmake_version(REPOSITORY / 'CMakeLists.txt')}\nlibrary "
                              f"{native_version()} at {library} (the package's own copy)\n"), version
    assert sorted(os.listdir(os.path.dirname(library))) == ["liblumitra.so.1"]
    table = run([venv / "bin/lumitra", *words("table R --at 656.1")])
    assert table.returncode == 0 and "656.10 nm falls on element 386.0000" in table.stdout, table
    demo = run([venv / "bin/lumitra", "demo", "--no-plot"])
    assert demo.returncode == 0 and "Result: both checks failed" in demo.stdout, demo


def native_version():
    from lumitra.api import native
    return native.library().version
