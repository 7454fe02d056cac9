"""The command line: the README's examples reproduce examples/*/expected.json,
and every bad input gets its exit status and a one-line reason, through the
command line and through the API alike."""

import json
import math
import re
import shutil
import sqlite3

import numpy as np
import pytest

import lumitra
from conftest import EXAMPLES, HG, NEW_RECORD, REPOSITORY, SHIFTED, run_cli
from lumitra import simulator
from lumitra.records import UserLine

OUT_OF_RANGE = EXAMPLES / "out-of-range"
ERROR_KEYS = ("error", "message", "exit_status")


def expected(folder):
    return json.loads((folder / "expected.json").read_text())


def results_of(out):
    return {k: v for k, v in json.loads(out).items() if k not in ERROR_KEYS}


def test_documented_examples_reproduce_their_expected_results(lumitra_cli, tmp_path):
    want = expected(SHIFTED)
    status, out, _ = lumitra_cli("calibrate", SHIFTED / "d2.csv", SHIFTED / "holmium.csv",
                                 "--dark1", SHIFTED / "dark.csv", "--json")
    assert status == 0 and json.loads(out)["record"] == want["calibration"]["record"]
    for command, files, label in [
            ("check-ho", ["--d2", "d2.csv", "--d2-dark", "dark.csv", "--holmium", "holmium.csv"],
             "holmium"),
            ("check-hg", ["--d2", "d2.csv", "--hg1", "hg1.csv", "--hg2", "hg2.csv", "--dark",
                          "dark.csv"], "mercury")]:
        status, out, _ = lumitra_cli(command, *files, "--json", cwd=SHIFTED)
        assert status == 1 and json.loads(out)["exit_status"] == 1
        assert results_of(out) == want["checks_with_default_record"][label]
        status, out, _ = lumitra_cli(command, *NEW_RECORD, *files, "--json")
        assert status == 0 and results_of(out) == want["checks_with_new_record"][label]
    status, out, err = lumitra_cli("calibrate", OUT_OF_RANGE / "d2.csv",
                                   OUT_OF_RANGE / "holmium.csv", "--dark1",
                                   OUT_OF_RANGE / "dark.csv", "--json")
    rejected = expected(OUT_OF_RANGE)["calibration"]
    assert status == 3 and {k: json.loads(out)[k] for k in rejected} == rejected
    assert "190 nm would fall at element" in err and "below 3.0" in err
    status, out, _ = lumitra_cli("wide-slit", SHIFTED / "d2.csv", "--record", 36080, 9500,
                                 65610, 24660)
    assert status == 0 and "{36080, 9544, 65610, 24704}" in out
    status, out, _ = lumitra_cli("check-user", *NEW_RECORD, "dark.csv", "hg2.csv", "--line",
                                 "435.8:2:0.5", "--line", "546.1:2:0.5", "--json", cwd=SHIFTED)
    assert status == 0 and [x["target_nm"] for x in json.loads(out)["lines"]] == [435.8, 546.1]
    status, out, _ = lumitra_cli("lamp", "d2", "d2.csv", *NEW_RECORD, "--json")
    assert status == 0 and 200 <= json.loads(out)["maximum_wavelength_nm"] <= 230


def test_launcher_runs_from_the_source_tree_and_ends_quietly_on_a_closed_pipe():
    launcher = [str(REPOSITORY / "python" / "bin" / "lumitra")]
    process = run_cli("table", "--at", "656.1", program=launcher)
    assert process.returncode == 0 and "656.10 nm falls on element 383.0000" in process.stdout
    piped = run_cli("-c", f"{launcher[0]} table --all | head -1; exit ${{PIPESTATUS[0]}}",
                    program=["bash"])
    assert piped.returncode == 0 and piped.stderr == "" and piped.stdout.startswith("record")
    help_text = run_cli("check-hg", "--help").stdout
    for fragment in ("0.01 nm", "1/64 element", "(default: 1.0)", "--report", "--log"):
        assert fragment in help_text


def test_demo_exits_1_when_unexpected_and_simulate_writes_the_examples_again(lumitra_cli,
                                                                               tmp_path):
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


R = NEW_RECORD
RT = (36080, 9545, 65610, 24704)


def with_nan_at_656(s):
    d2 = s["d2"].copy()
    d2[385] = math.nan
    return lumitra.calibrate(d2, s["holmium"], dark1=s["dark"])


USER = ["check-user", *R, "dark.csv", "hg2.csv", "--line"]
TABLE = ["table", "--record"]
# (case, command line or None, exit status, fragment of the message (stderr) or of the
# output (status 0 and 1), the same input through the API or None)
BAD_INPUTS = [
    ("flat spectrum for the wide slit", ["wide-slit", "zeros.csv", *R], 2, "no 656.1 nm line "
     "in elements 366.0..406.0", lambda s: lumitra.calibrate_wide_slit(np.zeros(512), RT)),
    ("spectrum and dark swapped", ["calibrate", "dark.csv", "holmium.csv", "--dark1", "d2.csv"],
     2, "dark.csv less", lambda s: lumitra.calibrate(s["dark"], s["holmium"], dark1=s["d2"])),
    ("dark swapped in a check", ["check-hg", *R, *HG[:6], "--d2", "dark.csv", "--dark",
                                 "d2.csv"], 2, "no 486 nm line",
     lambda s: lumitra.check_mercury(RT, s["dark"], s["hg1"], s["hg2"], s["d2"])),
    ("decimal commas", ["wide-slit", "comma.csv", *R], 2, "decimal comma", None),
    ("decimal commas between semicolons", ["wide-slit", "semicolon.csv", *R], 0,
     "new record {36080, 9545, 65610, 24704}", None),
    ("line beyond 32 bits", [*USER, "42950219.06"], 2, "outside the detector's range 190..800",
     lambda s: lumitra.check_user(RT, s["dark"], s["hg2"], [(42950219.06, 2, 1)])),
    ("wavelength beyond the grid", ["table", *R, "--at", "1e20"], 2, "outside the detector's",
     lambda s: lumitra.corrected_element(1e20)),
    ("infinite wavelength", ["table", *R, "--at", "inf"], 2, "not a finite number",
     lambda s: lumitra.corrected_element(math.inf)),
    ("both lines at one position", [*TABLE, 36080, 9545, 36080, 9545], 2, "both lines are at "
     "one wavelength", lambda s: lumitra.wavelength_table((36080, 9545, 36080, 9545))),
    ("raw record the library cannot scale", ["table", "--raw", *TABLE[1:], 36080, 9545, 36080,
     9545, "--at", 500], 0, "element wavelengths not measured for 512 of 512 elements", None),
    ("position off the array", [*TABLE, 36080, 9545, 65610, 40000], 2, "off the array",
     lambda s: lumitra.check_holmium((36080, 9545, 65610, 40000), s["d2"])),
    ("wavelengths falling along the array", [*TABLE, 36080, 24704, 65610, 9545], 2,
     "fall along the array", None),
    ("target beyond 32 bits", None, 2, "32-bit",
     lambda s: lumitra.find_target_element(2**32 + 19050, [19000, 19100])),
    ("table of fractions", None, 2, "32-bit", lambda s: lumitra.compare_tables([19000.5], [1])),
    ("record not integers", [*TABLE, 1, 2, 3, "four"], 2, "'four' is not an integer", None),
    ("record beyond 32 bits", [*TABLE, 1, 2, 3, 2**31], 2, "does not fit",
     lambda s: lumitra.wavelength_table((1, 2, 3, 2**31))),
    ("wide slit without a record", ["wide-slit", "d2.csv"], 2, "required: --record", None),
    ("uncalibrated record for the wide slit", None, 2, "is uncalibrated",
     lambda s: lumitra.calibrate_wide_slit(s["d2"], None)),
    ("flat lamp band", ["lamp", "w", "zeros.csv", *R], 0, "at a wavelength not measured", None),
    ("lamp band without values", ["lamp", "w", "uv-pairs.csv"], 0,
     "not measured (no value in the band)", None),
    ("element numbers as wavelengths", ["lamp", "d2", "element-pairs.csv"], 2,
     "no wavelength the array sees", None),
    ("unsorted pairs", ["lamp", "d2", "unsorted.csv"], 2, "does not lie above",
     lambda s: lumitra.lamp_info("d2", [1.0, 2.0, 3.0], [200.0, 210.0, 205.0])),
    ("NaN at the 656.1 nm peak", ["calibrate", "nan.csv", "holmium.csv"], 2,
     "not a finite number", with_nan_at_656),
    ("no values for the maximum", None, 2, "an empty series", lambda s: lumitra.max_voltage([])),
    ("None for the maximum", None, 2, "none given", lambda s: lumitra.max_voltage(None)),
    ("NaN tolerance", ["check-hg", *R, *HG, "--tolerance", "nan"], 2, "not a finite number",
     lambda s: lumitra.check_holmium(None, s["d2"], tolerance=math.nan)),
    ("negative tolerance", ["check-hg", *R, *HG, "--tolerance", "-1"], 2, "above 0",
     lambda s: lumitra.check_holmium(None, s["d2"], tolerance=-1)),
    ("zero window", [*USER, "546.1:0"], 2, "must be larger than the allowed deviation",
     lambda s: lumitra.check_user(None, s["dark"], s["hg2"], [UserLine(546.1, 0.0, 1.0)])),
    ("window not wider than the deviation", [*USER, "546.1:1:1"], 2, "must be larger", None),
    ("negative window", [*USER, "546.1:-2"], 2, "must be larger", None),
    ("target beyond 800 nm", [*USER, "900"], 2, "900 nm lies outside", None),
    ("infinite target", [*USER, "inf"], 2, "not a finite number", None),
    ("line outside its window", [*USER, "548:1.5:1"], 2, "outside the window", None),
    ("NaN shift", ["simulate", "--out", "sim", "--shift", "nan"], 2, "shift: nan",
     lambda s: simulator.Detector(shift=math.nan)),
    ("infinite slit", ["simulate", "--out", "sim", "--slit", "inf"], 2, "slit: inf", None),
    ("figure without a suffix", ["table", "--plot", "fig"], 0, "Figure written to fig.png", None),
    ("figure of an unknown format", ["table", "--plot", "fig.txt"], 2, "name it .png", None),
    ("absent file", ["calibrate", "absent.csv", "holmium.csv"], 2, "no such file", None),
    ("word among numbers", ["calibrate", "d2.csv", "word.csv"], 2, "'x7' is not a number", None),
    ("binary file", ["calibrate", "d2.csv", "binary.csv"], 2, "binary", None),
    ("directory", ["check-hg", *HG[4:6], *HG[:2], "--hg2", "."], 2, "is a directory", None),
    ("no command", [], 2, "give a command", None),
    ("unknown option", ["table", "--bogus"], 2, "unrecognized arguments", None),
    ("time without a zone", ["check-hg", *R, *HG, "--log", "h.db", "--time",
                             "2024-01-01T10:00"], 2, "names no time zone", None),
    ("report not HTML", ["check-hg", *R, *HG, "--report", "r.pdf"], 2, "name it .html", None),
    ("history that is no database", ["history", "d2.csv"], 2, "not an SQLite database", None),
    ("history of a newer schema", ["check-hg", *R, *HG, "--log", "newer.db"], 2,
     "newer than this lumitra's", None),
    ("read-only history", ["check-hg", *R, *HG, "--log", "readonly.db"], 2, "read-only", None),
]


@pytest.fixture
def workdir(tmp_path):
    """The shifted example and files a person may get wrong."""
    for name in ("d2", "holmium", "dark", "hg1", "hg2"):
        shutil.copy(SHIFTED / f"{name}.csv", tmp_path)
    d2 = [x for x in (SHIFTED / "d2.csv").read_text().splitlines() if x[0].isdigit()]
    files = {"zeros.csv": "0\n" * 512, "comma.csv": "830,650\n" * 512,
             "semicolon.csv": "".join(f"{e};{v.replace('.', ',')}\n" for e, v in
                                      zip(lumitra.element_wavelengths(RT), d2)),
             "uv-pairs.csv": "".join(f"{200 + i},{i}\n" for i in range(50)),
             "element-pairs.csv": "".join(f"{e},1\n" for e in range(1, 513)),
             "unsorted.csv": "200,1\n210,2\n205,3\n",
             "word.csv": "value\n1\nx7\n", "nan.csv": "\n".join(d2[:385] + ["nan"] + d2[386:])}
    for name, text in files.items():
        (tmp_path / name).write_text(text)
    (tmp_path / "binary.csv").write_bytes(b"\x00\x01\x02" * 100)
    for name, version in (("newer.db", 99), ("readonly.db", 1)):
        with sqlite3.connect(tmp_path / name) as db:
            db.execute(f"PRAGMA application_id = {0x4C4D5452}")
            db.execute(f"PRAGMA user_version = {version}")
    (tmp_path / "readonly.db").chmod(0o444)
    return tmp_path


@pytest.mark.parametrize("args, status, fragment, api", [c[1:] for c in BAD_INPUTS],
                         ids=[c[0] for c in BAD_INPUTS])
def test_bad_input_gets_its_status_and_reason(args, status, fragment, api, workdir,
                                              lumitra_cli, shifted, no_leak):
    if args is not None:
        code, out, err = lumitra_cli(*map(str, args), cwd=workdir)
        assert code == status, out + err
        if status >= 2:
            assert err.count("\n") == 1 and err.startswith("lumitra: error: ") and \
                fragment in err, err
            code, out, _ = lumitra_cli(*args, "--json")
            error = json.loads(out)
            assert code == status and error["exit_status"] == status and error["error"]
        else:
            assert fragment in out and err == "", out + err
    if api is not None:
        with pytest.raises(ValueError, match=re.escape(fragment)):
            api(shifted)
