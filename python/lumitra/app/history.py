"""The history of a laboratory's runs in SQLite, kept as an audit trail.

Every run logged with --log (checks, calibrations, lamp tests) is appended to
one database file: what was done, to which detector, by whom, when it was
measured and when it was entered, with which record, the SHA-256 of every
input, of the library and of the report it wrote, and every line's result.
Several processes may log at once: each run is one immediate transaction,
the database is in WAL mode and waits up to a minute for a lock.

Each run carries a hash over its own content (its row, its inputs and its
lines) and the hash of the run before it, so that ``verify`` finds a run
edited, inserted or deleted afterwards. Reading opens the database
read-only, so a reviewer needs no write access.

The schema carries its version in PRAGMA user_version and the database is
marked as ours by PRAGMA application_id; a database of a newer schema, or
one that is not ours, is refused. MIGRATIONS[v] brings a database from
version v - 1 to v.
"""

from __future__ import annotations

import hashlib
import json
import os
import sqlite3
from pathlib import Path
from urllib.parse import quote

from .. import __version__
from ..api.errors import InputError
from ..api.records import CalibrationRecord
from .runs import Run, library_identity, parse_time

APPLICATION_ID = 0x4C4D5452  # "LMTR"
SCHEMA_VERSION = 3
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
    # The audit trail: what else a run did (a calibration's old record, a lamp
    # test's values), the report it wrote, and the hash chain.
    3: ["ALTER TABLE runs ADD COLUMN details TEXT NOT NULL DEFAULT '{}'",
        "ALTER TABLE runs ADD COLUMN report_path TEXT",
        "ALTER TABLE runs ADD COLUMN report_sha256 TEXT",
        "ALTER TABLE runs ADD COLUMN previous_hash TEXT",
        "ALTER TABLE runs ADD COLUMN row_hash TEXT",  # runs already there are sealed as found
        # The head of the chain: how many runs it holds and the last one's
        # hash, so that runs deleted from its end are found too.
        """CREATE TABLE trail (id INTEGER PRIMARY KEY CHECK (id = 1), runs INTEGER NOT NULL,
             head TEXT NOT NULL)""",
        f"INSERT INTO trail VALUES (1, 0, '{'0' * 64}')"],
}
BUSY_SECONDS = 60.0
GENESIS = "0" * 64
# A run entered this long after it was measured is shown as back-filled.
BACK_FILLED_SECONDS = 24 * 3600.0
RUN_COLUMNS = ("id", "time", "epoch", "entered", "command", "title", "detector", "operator",
               "note", "wavelength1", "position1", "wavelength2", "position2", "passed",
               "parameters", "package_version", "library_version", "library_sha256", "ph_eur",
               "details", "report_path", "report_sha256")
LINE_COLUMNS = ("reference_nm", "measured_nm", "deviation_nm", "width_nm", "tolerance_nm",
                "passed", "searched_in", "within_tolerance", "ph_eur_passed", "problem")


def _refuse(path, why: str):
    raise InputError(f"{path}: {why}")


def _writable(path: Path) -> bool:
    """Whether the run may be written: a file marked read-only is left so,
    even for a user whom the system would let write it."""
    return (bool(path.stat().st_mode & 0o222) and os.access(path, os.W_OK)
            and os.access(path.parent, os.W_OK))


def _connect(path, write: bool) -> sqlite3.Connection:
    path = Path(path)
    if path.is_dir():
        _refuse(path, "is a directory, not a history database")
    if not path.exists() and not write:
        _refuse(path, "no such history database")
    if path.exists() and write and not _writable(path):
        _refuse(path, "the history database is read-only; the run cannot be logged")
    # Read-only: a database in a folder the reader cannot write has no room
    # for SQLite's shared-memory file, and is read as it stands.
    mode = "rwc" if write else "ro" if _writable(path) else "ro&immutable=1"
    uri = f"file:{quote(str(path.resolve()))}?mode={mode}"
    try:
        connection = sqlite3.connect(uri, uri=True, timeout=BUSY_SECONDS, isolation_level=None)
        connection.execute(f"PRAGMA busy_timeout = {int(BUSY_SECONDS * 1000)}")
        _schema(connection, path, write)
    except sqlite3.DatabaseError as error:
        if "not a database" in str(error):
            _refuse(path, "is not a lumitra history (not an SQLite database)")
        _refuse(path, f"cannot use the history database: {error}")
    return connection


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
            if version and version < 3:
                _seal(connection)
            connection.execute(f"PRAGMA application_id = {APPLICATION_ID}")
            connection.execute(f"PRAGMA user_version = {SCHEMA_VERSION}")
    except BaseException:
        if write:
            connection.execute("ROLLBACK")
        raise


# --- the hash chain ----------------------------------------------------------

def _content(connection: sqlite3.Connection, run_id: int) -> bytes:
    """A run's row, inputs and lines, in a canonical form."""
    row = connection.execute(f"SELECT {', '.join(RUN_COLUMNS)} FROM runs WHERE id = ?",
                             (run_id,)).fetchone()
    inputs = connection.execute("SELECT role, path, sha256 FROM inputs WHERE run_id = ? "
                                "ORDER BY rowid", (run_id,)).fetchall()
    lines = connection.execute(f"SELECT {', '.join(LINE_COLUMNS)} FROM lines WHERE run_id = ? "
                               "ORDER BY rowid", (run_id,)).fetchall()
    return json.dumps([list(row), [list(r) for r in inputs], [list(r) for r in lines]],
                      separators=(",", ":"), sort_keys=True).encode("utf-8")


def _row_hash(previous: str, content: bytes) -> str:
    return hashlib.sha256(previous.encode("ascii") + content).hexdigest()


def _last_hash(connection: sqlite3.Connection) -> str:
    row = connection.execute("SELECT row_hash FROM runs WHERE row_hash IS NOT NULL "
                             "ORDER BY id DESC LIMIT 1").fetchone()
    return row[0] if row else GENESIS


def _seal(connection: sqlite3.Connection) -> None:
    """Chains the runs of an older history as they stand."""
    previous = GENESIS
    run_ids = [run_id for (run_id,) in connection.execute("SELECT id FROM runs ORDER BY id")]
    for run_id in run_ids:
        row_hash = _row_hash(previous, _content(connection, run_id))
        connection.execute("UPDATE runs SET previous_hash = ?, row_hash = ? WHERE id = ?",
                           (previous, row_hash, run_id))
        previous = row_hash
    connection.execute("UPDATE trail SET runs = ?, head = ?", (len(run_ids), previous))


def verify(path) -> list[str]:
    """Every break of the audit trail: runs edited, inserted or deleted after
    they were logged (empty when the trail is whole)."""
    connection = _connect(path, write=False)
    try:
        found, previous, previous_id = [], GENESIS, None
        chain = connection.execute(
            "SELECT id, previous_hash, row_hash FROM runs ORDER BY id").fetchall()
        for run_id, stored_previous, stored in chain:
            if stored_previous != previous:
                found.append(f"run {run_id} does not follow "
                             + (f"run {previous_id}" if previous_id else "the start")
                             + ": a run was deleted or inserted between them")
            if stored != _row_hash(stored_previous or "", _content(connection, run_id)):
                found.append(f"run {run_id} was edited after it was logged (its content no "
                             "longer matches its hash)")
            previous, previous_id = stored, run_id
        count, head = connection.execute("SELECT runs, head FROM trail").fetchone()
        if head != previous or count != len(chain):
            found.append(f"the trail ends at {len(chain)} runs"
                         + (f" (run {previous_id})" if previous_id else "")
                         + f" but was left at {count}: runs were deleted from its end, or its "
                           "head was changed")
        return found
    except sqlite3.DatabaseError as error:
        _refuse(path, f"cannot read the history: {error}")
    finally:
        connection.close()


# --- logging -----------------------------------------------------------------

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


def log_run(path, run: Run, before_commit=None, report=None) -> int:
    """Appends a run with its inputs and lines in one transaction and chains
    it to the run before; returns its id. report(run_id) -> (path, bytes)
    renders the run's report, whose SHA-256 the run keeps; before_commit()
    runs inside the transaction (the command's outputs are put in place
    there), so that the history keeps the run only when they are in place.
    A database this call created is removed again when the run cannot be
    kept."""
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
            "package_version, library_version, library_sha256, entered, ph_eur, details) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            (run.time.isoformat(timespec="seconds"), run.time.timestamp(), run.command,
             run.title, run.detector, run.operator, run.note, *record.as_tuple(),
             int(run.passed), json.dumps(dict(run.parameters)), __version__,
             library_version, library_hash, run.entered.isoformat(timespec="seconds"),
             verdict.ph_eur if run.lines else None, json.dumps(run.details, sort_keys=True)))
        run_id = cursor.lastrowid
        connection.executemany("INSERT INTO inputs VALUES (?, ?, ?, ?)",
                               [(run_id, role, p, digest) for role, p, digest in digests])
        connection.executemany(
            f"INSERT INTO lines (run_id, {', '.join(LINE_COLUMNS)}) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", [
                (run_id, line.reference, line.measured, line.deviation, line.width,
                 line.tolerance, int(line.passed), line.searched_in, int(line.check_passed),
                 None if line.ph_eur_passed is None else int(line.ph_eur_passed), line.problem)
                for line in run.lines])
        if report is not None:
            report_path, page = report(run_id)
            connection.execute("UPDATE runs SET report_path = ?, report_sha256 = ? WHERE id = ?",
                               (str(report_path), hashlib.sha256(page).hexdigest(), run_id))
        previous = _last_hash(connection)
        row_hash = _row_hash(previous, _content(connection, run_id))
        connection.execute("UPDATE runs SET previous_hash = ?, row_hash = ? WHERE id = ?",
                           (previous, row_hash, run_id))
        connection.execute("UPDATE trail SET runs = runs + 1, head = ?", (row_hash,))
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


# --- reading -----------------------------------------------------------------

def _run_of_row(connection: sqlite3.Connection, row: sqlite3.Row) -> dict:
    run = {key: row[key] for key in ("id", "time", "epoch", "entered", "command", "title",
                                     "detector", "operator", "note", "package_version",
                                     "library_version", "library_sha256", "ph_eur",
                                     "report_path", "report_sha256", "row_hash")}
    run["record"] = {k: row[k] for k in CalibrationRecord.FIELDS}
    run["passed"] = bool(row["passed"])
    run["parameters"] = json.loads(row["parameters"])
    run["details"] = json.loads(row["details"] or "{}")
    entered = parse_time(row["entered"], "entered") if row["entered"] else None
    run["back_filled"] = bool(entered and entered.timestamp() - row["epoch"]
                              > BACK_FILLED_SECONDS)
    run["inputs"] = [dict(r) for r in connection.execute(
        "SELECT role, path, sha256 FROM inputs WHERE run_id = ?", (row["id"],))]
    run["lines"] = [{**dict(r), "passed": bool(r["passed"]),
                     "within_tolerance": bool(r["within_tolerance"]),
                     "ph_eur_passed": None if r["ph_eur_passed"] is None
                     else bool(r["ph_eur_passed"])} for r in connection.execute(
        f"SELECT {', '.join(LINE_COLUMNS)} FROM lines WHERE run_id = ? ORDER BY reference_nm",
        (row["id"],))]
    return run


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
        return [_run_of_row(connection, row)
                for row in connection.execute(query + " ORDER BY epoch, id", values)]
    except sqlite3.DatabaseError as error:
        _refuse(path, f"cannot read the history: {error}")
    finally:
        connection.close()


CALIBRATIONS = ("calibrate", "wide-slit")


def is_calibration(run: dict) -> bool:
    return run["command"] in CALIBRATIONS


def current_record(path, detector: str, at=None) -> tuple[CalibrationRecord, int]:
    """The detector's record at a time (default: now), the new record of its
    last calibration measured by then, and that calibration's run number.
    Refused when the audit trail is broken: the record could be forged."""
    breaks = verify(path)
    if breaks:
        raise InputError(f"{path}: the audit trail is broken ({breaks[0]}; history --verify "
                         "names every break): a record taken from it cannot be trusted")
    calibrations = [run for run in read_runs(path, detector) if is_calibration(run)
                    and (at is None or run["epoch"] <= at.timestamp())]
    if not calibrations:
        raise InputError(f"{path}: no calibration of detector {detector!r} is logged"
                         + (f" up to {at.isoformat(timespec='seconds')}" if at else "")
                         + "; give its record with --record")
    return CalibrationRecord(**calibrations[-1]["record"]), calibrations[-1]["id"]
