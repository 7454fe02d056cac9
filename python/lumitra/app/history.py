"""The history of a laboratory's checks in SQLite, and each line's drift.

Every check run with --log is appended to one database file: who, when,
which detector and record, the SHA-256 of every input, every line's result.
Several processes may log at once: each run is one immediate transaction,
the database is in WAL mode and waits up to a minute for a lock.

The schema carries its version in PRAGMA user_version and the database is
marked as ours by PRAGMA application_id; a database of a newer schema, or
one that is not ours, is refused. MIGRATIONS[v] brings a database from
version v - 1 to v.

Drift: a detector's wavelength scale moves slowly between calibrations. For
each line the deviations of the runs since the last calibration (the runs
that used the detector's latest record) are fitted with a straight line; the
slope is given in nm per 30 days and, where it differs from zero by more than
twice its standard error, the date at which the fitted deviation reaches the
line's tolerance.
"""

from __future__ import annotations

import json
import math
import os
import sqlite3
from datetime import datetime, timedelta, timezone
from pathlib import Path
from urllib.parse import quote

import numpy as np

from .. import __version__
from ..api.errors import InputError
from ..api.records import CalibrationRecord
from . import formatting
from .runs import Run, library_identity, parse_time

APPLICATION_ID = 0x4C4D5452  # "LMTR"
SCHEMA_VERSION = 2
MIGRATIONS = {
    1: ["""CREATE TABLE runs (
             id INTEGER PRIMARY KEY,
             time TEXT NOT NULL,          -- ISO 8601 with the zone of the run
             epoch REAL NOT NULL,         -- seconds since 1970-01-01 UTC
             command TEXT NOT NULL, title TEXT NOT NULL,
             detector TEXT NOT NULL, operator TEXT NOT NULL, note TEXT NOT NULL,
             wavelength1 INTEGER NOT NULL, position1 INTEGER NOT NULL,
             wavelength2 INTEGER NOT NULL, position2 INTEGER NOT NULL,
             passed INTEGER NOT NULL, parameters TEXT NOT NULL,
             package_version TEXT NOT NULL, library_version TEXT NOT NULL,
             library_sha256 TEXT NOT NULL)""",
        """CREATE TABLE inputs (
             run_id INTEGER NOT NULL REFERENCES runs(id), role TEXT NOT NULL,
             path TEXT NOT NULL, sha256 TEXT NOT NULL)""",
        """CREATE TABLE lines (
             run_id INTEGER NOT NULL REFERENCES runs(id), reference_nm REAL NOT NULL,
             measured_nm REAL, deviation_nm REAL, width_nm REAL, tolerance_nm REAL NOT NULL,
             passed INTEGER NOT NULL, searched_in TEXT NOT NULL)""",
        "CREATE INDEX runs_by_detector ON runs(detector, epoch)"],
    # When a run was entered (beside when it was measured), and each line's
    # verdict on both criteria with the reason of a line not measured.
    2: ["ALTER TABLE runs ADD COLUMN entered TEXT",
        "ALTER TABLE runs ADD COLUMN ph_eur TEXT",
        "ALTER TABLE lines ADD COLUMN within_tolerance INTEGER",
        "ALTER TABLE lines ADD COLUMN ph_eur_passed INTEGER",
        "ALTER TABLE lines ADD COLUMN problem TEXT",
        "UPDATE lines SET within_tolerance = passed"],
}
DAYS = 30.0          # drift is given per 30 days
SIGNIFICANT = 2.0    # a drift counts when it exceeds this many standard errors
BUSY_SECONDS = 60.0


def _refuse(path, why: str):
    raise InputError(f"{path}: {why}")


def _connect(path, write: bool) -> sqlite3.Connection:
    path = Path(path)
    if path.is_dir():
        _refuse(path, "is a directory, not a history database")
    if not path.exists() and not write:
        _refuse(path, "no such history database")
    if path.exists() and write and not _writable(path):
        _refuse(path, "the history database is read-only; the run cannot be logged")
    uri = f"file:{quote(str(path.resolve()))}?mode={'rwc' if write else 'ro'}"
    try:
        connection = sqlite3.connect(uri, uri=True, timeout=BUSY_SECONDS, isolation_level=None)
        connection.execute(f"PRAGMA busy_timeout = {int(BUSY_SECONDS * 1000)}")
        _schema(connection, path, write)
    except sqlite3.DatabaseError as error:
        if "not a database" in str(error):
            _refuse(path, "is not a lumitra history (not an SQLite database)")
        _refuse(path, f"cannot use the history database: {error}")
    return connection


def _writable(path: Path) -> bool:
    """Whether the run may be written: a file marked read-only is left so,
    even for a user whom the system would let write it."""
    return (bool(path.stat().st_mode & 0o222) and os.access(path, os.W_OK)
            and os.access(path.parent, os.W_OK))


def _schema(connection: sqlite3.Connection, path: Path, write: bool) -> None:
    """Checks that the database is ours and of a schema we know; creates or
    migrates it (write) in one immediate transaction."""
    if write:
        connection.execute("PRAGMA journal_mode = WAL")
        connection.execute("BEGIN IMMEDIATE")
    try:
        application = connection.execute("PRAGMA application_id").fetchone()[0]
        version = connection.execute("PRAGMA user_version").fetchone()[0]
        tables = connection.execute("SELECT count(*) FROM sqlite_master").fetchone()[0]
        if application != APPLICATION_ID and (tables or version):
            _refuse(path, "is an SQLite database, but not a lumitra history")
        if version > SCHEMA_VERSION:
            _refuse(path, f"holds history schema {version}, newer than this lumitra's "
                          f"{SCHEMA_VERSION}; use a newer lumitra")
        if version < SCHEMA_VERSION:
            if not write:
                _refuse(path, "holds no runs yet" if version == 0 else
                        f"holds history schema {version}; log a run to bring it up to date")
            for step in range(version + 1, SCHEMA_VERSION + 1):
                for statement in MIGRATIONS[step]:
                    connection.execute(statement)
            connection.execute(f"PRAGMA application_id = {APPLICATION_ID}")
            connection.execute(f"PRAGMA user_version = {SCHEMA_VERSION}")
    except BaseException:
        if write:
            connection.execute("ROLLBACK")
        raise


def check_target(path) -> None:
    """A --log target, checked before anything is computed: an existing
    history that takes runs, or a new file in an existing writable folder."""
    from .outputs import check_folder
    path = Path(path)
    if path.exists():
        _connect(path, write=True).close()
    else:
        check_folder(path.parent if str(path.parent) else Path("."), "--log")


def _remove_database(path: Path) -> None:
    for suffix in ("", "-wal", "-shm", "-journal"):
        Path(f"{path}{suffix}").unlink(missing_ok=True)


def log_run(path, run: Run, before_commit=None) -> int:
    """Appends a run with its inputs and lines in one transaction; returns its
    id. before_commit() runs inside the transaction (the command's other
    outputs are put in place there), so that the history keeps the run only
    when they are in place. A database this call created is removed again
    when the run cannot be kept."""
    path = Path(path)
    digests = run.input_digests()
    _, library_version, library_hash = library_identity()
    record, verdict = run.record, run.verdict
    created = not path.exists()
    connection = None
    try:
        connection = _connect(path, write=True)  # holds the write lock from here
        cursor = connection.execute(
            "INSERT INTO runs (time, epoch, command, title, detector, operator, note, "
            "wavelength1, position1, wavelength2, position2, passed, parameters, "
            "package_version, library_version, library_sha256, entered, ph_eur) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            (run.time.isoformat(timespec="seconds"), run.time.timestamp(), run.command,
             run.title, run.detector, run.operator, run.note, *record.as_tuple(),
             int(verdict.passed), json.dumps(dict(run.parameters)), __version__,
             library_version, library_hash, run.entered.isoformat(timespec="seconds"),
             verdict.ph_eur))
        run_id = cursor.lastrowid
        connection.executemany("INSERT INTO inputs VALUES (?, ?, ?, ?)",
                               [(run_id, role, p, digest) for role, p, digest in digests])
        connection.executemany(
            "INSERT INTO lines (run_id, reference_nm, measured_nm, deviation_nm, width_nm, "
            "tolerance_nm, passed, searched_in, within_tolerance, ph_eur_passed, problem) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", [
                (run_id, line.reference, line.measured, line.deviation, line.width,
                 line.tolerance, int(line.passed), line.searched_in, int(line.check_passed),
                 None if line.ph_eur_passed is None else int(line.ph_eur_passed), line.problem)
                for line in run.lines])
        if before_commit is not None:
            before_commit()
        connection.execute("COMMIT")
        return run_id
    except BaseException:
        if connection is not None and connection.in_transaction:
            connection.execute("ROLLBACK")
        if connection is not None:
            connection.close()
            connection = None
        if created:
            _remove_database(path)
        raise
    finally:
        if connection is not None:
            connection.close()


def read_runs(path, detector: str | None = None, since: str | None = None) -> list[dict]:
    """The runs, oldest first, each with its record, inputs and lines."""
    start = parse_time(since, "--since", zone_required=False)
    connection = _connect(path, write=False)
    try:
        connection.row_factory = sqlite3.Row
        query, values = "SELECT * FROM runs WHERE 1", []
        if detector is not None:
            query, values = query + " AND detector = ?", values + [detector]
        if start is not None:
            query, values = query + " AND epoch >= ?", values + [start.timestamp()]
        runs = []
        for row in connection.execute(query + " ORDER BY epoch, id", values):
            run = {key: row[key] for key in ("id", "time", "epoch", "entered", "command",
                                             "title", "detector", "operator", "note",
                                             "package_version", "library_version", "ph_eur")}
            run["record"] = {k: row[k] for k in ("wavelength1", "position1", "wavelength2",
                                                  "position2")}
            run["passed"] = bool(row["passed"])
            run["parameters"] = json.loads(row["parameters"])
            run["inputs"] = [dict(r) for r in connection.execute(
                "SELECT role, path, sha256 FROM inputs WHERE run_id = ?", (row["id"],))]
            run["lines"] = [{**dict(r), "passed": bool(r["passed"]),
                             "within_tolerance": bool(r["within_tolerance"]),
                             "ph_eur_passed": None if r["ph_eur_passed"] is None
                             else bool(r["ph_eur_passed"])} for r in connection.execute(
                "SELECT reference_nm, measured_nm, deviation_nm, width_nm, tolerance_nm, "
                "passed, searched_in, within_tolerance, ph_eur_passed, problem FROM lines "
                "WHERE run_id = ? ORDER BY reference_nm", (row["id"],))]
            runs.append(run)
        return runs
    except sqlite3.DatabaseError as error:
        _refuse(path, f"cannot read the history: {error}")
    finally:
        connection.close()


def fit_drift(epochs, deviations, tolerance: float) -> dict:
    """Straight-line fit of deviations (nm) over time (seconds since 1970):
    the drift in nm per 30 days with its standard error and, where the drift
    is significant, when the fitted deviation reaches +/-tolerance."""
    days = (np.asarray(epochs, dtype=float) - epochs[0]) / 86400.0
    y = np.asarray(deviations, dtype=float)
    result = {"runs": int(y.size), "drift_nm_per_30_days": None, "standard_error": None,
              "leaves_tolerance": None, "crossing": None}
    if y.size < 3 or np.ptp(days) <= 0:
        result["crossing"] = "too few runs since the last calibration to fit a drift"
        return result
    slope, intercept = np.polyfit(days, y, 1)
    residual = y - (intercept + slope * days)
    spread = float(np.sum((days - days.mean()) ** 2))
    error = math.sqrt(float(np.sum(residual ** 2)) / (y.size - 2) / spread)
    result["drift_nm_per_30_days"] = float(slope * DAYS)
    result["standard_error"] = float(error * DAYS)
    if slope == 0 or abs(slope) <= SIGNIFICANT * error:
        result["crossing"] = "no significant drift"
        return result
    now = intercept + slope * days[-1]
    if abs(now) > tolerance:
        result["crossing"] = "the fitted deviation is already outside the tolerance"
        return result
    reach = (math.copysign(tolerance, slope) - intercept) / slope
    when = datetime.fromtimestamp(epochs[0], timezone.utc) + timedelta(days=float(reach))
    result["leaves_tolerance"] = when.date().isoformat()
    result["crossing"] = f"reaches {math.copysign(tolerance, slope):+.2f} nm on {when.date()}"
    return result


def drifts(runs: list[dict]) -> list[dict]:
    """For each detector and line: the drift over the runs since the
    detector's last calibration (the runs with its latest record)."""
    found = []
    for detector in sorted({run["detector"] for run in runs}):
        own = [run for run in runs if run["detector"] == detector]
        latest = own[-1]["record"]
        current = []
        for run in reversed(own):
            if run["record"] != latest:
                break
            current.insert(0, run)
        for reference in sorted({line["reference_nm"] for run in current for line in run["lines"]}):
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


def history(path, detector: str | None = None, since: str | None = None):
    """(text, JSON data, figure drawer) of the history command."""
    runs = read_runs(path, detector, since)
    found = drifts(runs)
    rows = [f"{'run':>4}  {'time':<25} {'detector':<14} {'command':<10} {'record':<30} "
            f"{'largest |dev| nm':>16}  result"]
    for run in runs:
        deviations = [abs(line["deviation_nm"]) for line in run["lines"]
                      if line["deviation_nm"] is not None]
        record = str(CalibrationRecord(**run["record"]))
        rows.append(f"{run['id']:>4}  {run['time']:<25} {run['detector'] or '-':<14} "
                    f"{run['command']:<10} {record:<30} "
                    f"{max(deviations) if deviations else math.nan:>16.3f}  "
                    f"{'pass' if run['passed'] else 'FAIL'}")
    rows += ["", "drift of each line since the last calibration (nm per 30 days):"]
    for item in found:
        drift = item["drift_nm_per_30_days"]
        rows.append(f"  {item['detector'] or '-':<14} {item['reference_nm']:>6.1f} nm  "
                    + (f"{drift:+.3f} +/- {item['standard_error']:.3f}"
                       if drift is not None else formatting.NOT_MEASURED)
                    + f"  over {item['runs']} runs; {item['crossing']}")
    text = "\n".join(rows if runs else ["no runs logged" + (" for that selection" if
                                                           detector or since else "")])
    data = {"database": str(path), "runs": runs, "drift": found}

    def draw():
        from .plotting import history_figure
        return history_figure(runs, found)

    return text, data, draw
