"""The command line: outputs on the example data sets and the messages for
mistakes a person can make."""

import json

import pytest

import lumitra

from conftest import EXAMPLES, run_cli

SHIFTED = EXAMPLES / "shifted-detector"
OUT_OF_RANGE = EXAMPLES / "out-of-range"


def expected(folder):
    return json.loads((folder / "expected.json").read_text())


def new_record_args():
    record = expected(SHIFTED)["calibration"]["record"]
    return ["--record", record["wavelength1"], record["position1"], record["wavelength2"],
            record["position2"]]


def ok(process, status=0):
    assert "Traceback" not in process.stderr, process.stderr
    assert process.returncode == status, process.stdout + process.stderr
    return process


def one_line_error(process, status, fragment):
    assert "Traceback" not in process.stderr
    assert process.returncode == status, process.stdout + process.stderr
    lines = process.stderr.strip().splitlines()
    assert len(lines) == 1 and lines[0].startswith("lumitra: error: "), process.stderr
    assert fragment in lines[0], lines[0]
    return lines[0]


def test_table_human_and_json():
    text = ok(run_cli("table", "--at", "656.1")).stdout
    assert "181.59 .. 814.29 nm over 512 elements" in text
    assert "656.10 nm falls on element 383.0000" in text
    data = json.loads(ok(run_cli("table", "--display", "--json")).stdout)
    assert data["count"] == 611 and data["wavelengths_hundredths"][-1] == 80000
    listing = ok(run_cli("table", "--all")).stdout
    table = lumitra.wavelength_table()
    assert "  505: " + " ".join(f"{v / 100:8.2f}" for v in table[504:]) in listing


def test_calibrate_gives_the_expected_record(tmp_path):
    args = ["calibrate", SHIFTED / "d2.csv", SHIFTED / "holmium.csv", "--dark1",
            SHIFTED / "dark.csv"]
    data = json.loads(ok(run_cli(*args, "--json")).stdout)
    assert data["record"] == expected(SHIFTED)["calibration"]["record"]
    text = ok(run_cli(*args, "--plot", tmp_path / "cal.png")).stdout
    assert f"as arguments: {' '.join(map(str, new_record_args()))}" in text
    assert (tmp_path / "cal.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_calibrate_out_of_range_shows_the_rejected_record_and_the_failing_value():
    want = expected(OUT_OF_RANGE)["calibration"]
    args = ["calibrate", OUT_OF_RANGE / "d2.csv", OUT_OF_RANGE / "holmium.csv", "--dark1",
            OUT_OF_RANGE / "dark.csv"]
    line = one_line_error(run_cli(*args), 3, "calibration rejected (E_CALIBRATION_RANGE)")
    record = want["rejected_record"]
    assert "record {%d, %d, %d, %d}" % tuple(record.values()) in line
    assert "190 nm would fall at element" in line and "below 3.0" in line
    process = run_cli(*args, "--json")
    assert process.returncode == 3
    assert json.loads(process.stdout)["rejected_record"] == record


@pytest.mark.parametrize("command, files, label", [
    ("check-ho", ["--d2", "d2.csv", "--d2-dark", "dark.csv", "--holmium", "holmium.csv"],
     "holmium"),
    ("check-hg", ["--d2", "d2.csv", "--hg1", "hg1.csv", "--hg2", "hg2.csv", "--dark", "dark.csv"],
     "mercury"),
])
def test_checks_fail_before_and_pass_after_calibration(command, files, label, tmp_path):
    before = run_cli(command, *files, "--json", cwd=SHIFTED)
    ok(before, 1)
    assert json.loads(before.stdout) == expected(SHIFTED)["checks_with_default_record"][label]
    after = run_cli(command, *new_record_args(), *files, "--json", cwd=SHIFTED)
    ok(after, 0)
    assert json.loads(after.stdout) == expected(SHIFTED)["checks_with_new_record"][label]
    text = ok(run_cli(command, *new_record_args(), *files, "--plot", tmp_path / "c.png",
                      cwd=SHIFTED)).stdout
    assert "PASSED" in text and "FAIL" not in text.replace("FAILED", "")
    assert (tmp_path / "c.png").stat().st_size > 10000


def test_check_user_and_wide_slit_and_lamp(tmp_path):
    user = ok(run_cli("check-user", *new_record_args(), "dark.csv", "hg2.csv", "--line",
                      "435.8:2:0.5", "--line", "546.1:2:0.5:peak", "--json", cwd=SHIFTED))
    data = json.loads(user.stdout)
    assert data["passed"] and [line["target_nm"] for line in data["lines"]] == [435.8, 546.1]
    failing = run_cli("check-user", "dark.csv", "hg2.csv", "--line", "435.8:6:0.5", cwd=SHIFTED)
    assert ok(failing, 1).stdout.count("FAIL") == 1  # uncalibrated: 3 nm off
    wide = json.loads(ok(run_cli("wide-slit", "d2.csv", *new_record_args(), "--json",
                                 cwd=SHIFTED)).stdout)
    moved = wide["record"]["position2"] - wide["old_record"]["position2"]
    assert wide["record"]["position1"] - wide["old_record"]["position1"] == moved
    assert abs(moved) <= 16  # the half-height centre is within a quarter element of the maximum
    lamp = json.loads(ok(run_cli("lamp", "d2", "d2.csv", *new_record_args(), "--json",
                                 "--plot", tmp_path / "l.png", cwd=SHIFTED)).stdout)
    assert 200 <= lamp["maximum_wavelength_nm"] <= 230 and lamp["reference_value"] > 20000
    assert (tmp_path / "l.png").exists()


def test_demo_report_and_figure(tmp_path):
    figure = tmp_path / "demo.png"
    text = ok(run_cli("demo", "--out", figure)).stdout
    assert "Result: both checks failed with the default record and passed after calibration." \
        in text
    assert f"Figure written to {figure}" in text
    assert figure.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and figure.stat().st_size > 50000
    data = json.loads(ok(run_cli("demo", "--no-plot", "--json")).stdout)
    assert data["shown"] and data["record"] == expected(SHIFTED)["calibration"]["record"]
    assert all(not check["passed"] for check in data["before"])
    assert all(check["passed"] for check in data["after"])


def test_simulate_writes_the_example_spectra_again(tmp_path):
    ok(run_cli("simulate", "--out", tmp_path, "--shift", 3, "--slope-error", 0.15, "--slit", 2,
               "--seed", 7))
    for name in ("dark", "d2", "holmium", "hg1", "hg2"):
        mine = [line for line in (tmp_path / f"{name}.csv").read_text().splitlines()
                if not line.startswith("#")]
        shipped = [line for line in (SHIFTED / f"{name}.csv").read_text().splitlines()
                   if not line.startswith("#")]
        assert mine == shipped, name


@pytest.mark.parametrize("args, status, fragment", [
    (["calibrate", "absent.csv", "holmium.csv"], 2, "absent.csv: no such file"),
    (["calibrate", "d2.csv", "short.csv"], 2, "short.csv: expected 512 values (one per element), "
                                              "found 3"),
    (["calibrate", "d2.csv", "bad.csv"], 2, "bad.csv: line 3: 'x7' is not a number"),
    (["check-hg", "--d2", "d2.csv", "--hg1", "hg1.csv", "--hg2", "."], 2, "is a directory"),
    (["table", "--record", "1", "2", "3", "four"], 2, "--record: 'four' is not an integer"),
    (["check-user", "dark.csv", "hg2.csv", "--line", "435.8:x"], 2, "--line '435.8:x'"),
    (["check-user", "dark.csv", "hg2.csv", "--line", "1000"], 3, "E_FAIL"),
    (["lamp", "d2", "short.csv"], 2, "expected 512 element values, 611 display-grid values"),
    (["demo", "--no-plot", "--slit", "0"], 2, "slit bandwidth must be positive"),
])
def test_mistakes_give_one_line_and_a_status(args, status, fragment, tmp_path):
    for name in ("d2", "holmium", "dark", "hg1", "hg2"):
        (tmp_path / f"{name}.csv").write_text((SHIFTED / f"{name}.csv").read_text())
    (tmp_path / "short.csv").write_text("1\n2\n3\n")
    (tmp_path / "bad.csv").write_text("value\n1\nx7\n")
    one_line_error(run_cli(*args, cwd=tmp_path), status, fragment)


def test_usage_errors_do_not_trace():
    process = run_cli("check-ho")
    assert process.returncode == 2 and "Traceback" not in process.stderr
    assert "--d2" in process.stderr
    assert run_cli().returncode == 2
