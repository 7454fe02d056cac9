"""The commands of the lumitra command line: each reads its files, calls the
API and returns what it did (text, JSON and exit status) as a ``Done``.

Every command plans its outputs first (``Session``): the folders, the
targets and the history are checked before the library is called, and the
files are put in place together at the end (``outputs``).
"""

from __future__ import annotations

import io
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

from ..api import inputs, rules
from ..api.calibration import METHODS, calibrate, calibrate_wide_slit, cross_check
from ..api.checks import check_holmium, check_mercury, check_user, user_lines
from ..api.errors import InputError
from ..api.lamps import LAMP_NAMES, lamp_info, max_voltage
from ..api.records import CalibrationRecord, UserLine
from ..api.tables import corrected_element, display_table, wavelength_table
from . import formatting, spectra_io
from .outputs import Outputs, OutputError
from .runs import Run, lines_of_check, lines_of_user, measurement_time, now
from .verdicts import Verdict

EXIT_OK, EXIT_CHECK_FAILED, EXIT_INPUT, EXIT_LIBRARY, EXIT_NO_LIBRARY, EXIT_FAULT = range(6)


class CommandLineError(InputError):
    """A mistake in the arguments (exit status 2)."""


@dataclass
class Done:
    """What a command did: its text, its JSON, and its exit status."""

    text: str
    data: dict
    status: int = EXIT_OK
    summary: str = ""  # the reason of a status 1, for the JSON error object
    error: str = "OUT_OF_TOLERANCE"
    notes: list = field(default_factory=list)  # lines printed after the text


# --- records and spectra -----------------------------------------------------

def parse_record(args, raw: bool = False,
                 default=CalibrationRecord.UNCALIBRATED) -> tuple[CalibrationRecord, list[str]]:
    """--record as given, checked (and its lines put in increasing order,
    which is said in a note), or the detector's record from the history
    (--record-from); `default` when neither is given."""
    source = getattr(args, "record_from", None)
    if source is not None:
        if not getattr(args, "detector", None):
            raise CommandLineError("--record-from takes the record of the detector named by "
                                   "--detector; give --detector")
        from .history import current_record
        at = measurement_time(getattr(args, "time", None)) if hasattr(args, "time") else None
        record, run_id = current_record(source, args.detector, at)
        return inputs.record(record, "--record-from", raw=raw), [
            f"record {record} of {args.detector}'s last calibration (run {run_id} in {source})"]
    if args.record is None:
        return default, []
    try:
        given = CalibrationRecord.parse(args.record)
    except InputError as error:
        raise CommandLineError(f"--record: {error}") from None
    record = inputs.record(given, "--record", raw=raw)
    if record != given:
        return record, [f"note: --record {given} gives its lines in decreasing order; "
                        f"taken as {record}"]
    return record, []


def element_wavelengths(record: CalibrationRecord) -> np.ndarray:
    """The element wavelengths (nm) of a record, from the library's table."""
    return wavelength_table(record)[:rules.limits().element_count] / 100.0


def read_elements(path, record: CalibrationRecord | None = None):
    """An element spectrum; a pair file only with the record its pairs are of."""
    if path is None:
        return None
    return spectra_io.read_element_spectrum(
        path, None if record is None else element_wavelengths(record))


def _less(values, dark):
    return values if dark is None else values - dark


# --- outputs and the records of a run ----------------------------------------

class Session:
    """The outputs of one command: planned before the library is called,
    written to temporary files, and put in place together (with the history's
    transaction, under --log) when the command has succeeded."""

    def __init__(self, args, input_paths=()):
        self.args = args
        self.outputs = Outputs(input_paths, force=getattr(args, "force", False))
        self.plot = self._plan_figure(getattr(args, "plot", None), "--plot")
        report = getattr(args, "report", None)
        self.report = None if report is None else self.outputs.plan(report, "--report")
        if report is not None and Path(report).suffix.lower() not in (".html", ".htm"):
            raise OutputError(f"--report: {report}: the report is HTML; name it .html")
        self.log = getattr(args, "log", None)
        if self.log is not None:
            from .history import check_target
            for given in self.outputs.inputs:
                if Path(self.log).resolve() == given.resolve():
                    raise OutputError(f"--log: {self.log} is one of the command's inputs")
            for planned in (self.plot, self.report):
                if planned is not None and planned.resolve() == Path(self.log).resolve():
                    raise OutputError(f"--log: {self.log} is also an output of this command")
            self.outputs.inputs.append(Path(self.log))  # no output may overwrite it
            check_target(self.log)
        self.time = measurement_time(getattr(args, "time", None)) \
            if hasattr(args, "time") else now()
        self.figure_png: bytes | None = None
        self.pending: list[tuple[str, Path, bytes]] = []  # written only by finish()

    def _plan_figure(self, path, option: str):
        if path is None:
            return None
        from .plotting import figure_path
        if Path(path).is_dir():
            raise OutputError(f"{option}: {path} is a folder; name the figure's file")
        try:
            target = figure_path(path)
        except ValueError as error:
            raise OutputError(f"{option}: {error}") from None
        return self.outputs.plan(target, option)

    def add(self, what: str, target: Path, content: bytes) -> None:
        """An output to be written by finish()."""
        self.pending.append((what, target, content))

    def figure(self, draw, target: Path | None = None) -> None:
        """Draws the figure for --plot (or target), and for the report."""
        target = target or self.plot
        if target is None and self.report is None:
            return
        from .plotting import save
        figure = draw()
        for fmt, wanted in ((None if target is None else target.suffix[1:].lower(), target),
                            ("png", self.report)):
            if wanted is None:
                continue
            buffer = io.BytesIO()
            save(figure, buffer, fmt)
            if wanted is target:
                self.add("Figure", target, buffer.getvalue())
            else:
                self.figure_png = buffer.getvalue()

    def finish(self, done: Done, run: Run | None = None) -> Done:
        """Writes the report, logs the run, and puts every output in place:
        under --log the report carries the run's number and the history the
        report's SHA-256, and both are kept only together."""
        from .report import render

        def put_in_place():
            for _, target, content in self.pending:
                self.outputs.stage(target, lambda handle, c=content: handle.write(c))
            self.outputs.commit()

        def report(run_id):
            page = render(run, self.figure_png, run_id, str(self.log)).encode("utf-8")
            self.add("Report", self.report, page)
            return self.report, page

        run_id = None
        with self.outputs:
            if run is not None and self.log is not None:
                from .history import log_run
                run_id = log_run(self.log, run, before_commit=put_in_place,
                                 report=report if self.report is not None else None)
            else:
                if run is not None and self.report is not None:
                    self.add("Report", self.report, render(run, self.figure_png).encode("utf-8"))
                put_in_place()
        for what, target, _ in self.pending:
            if what not in ("Figure", "Report"):
                continue
            done.data[what.lower()] = str(target)
            done.notes.append(f"{what} written to {target}")
        if run_id is not None:
            done.data["logged_run"] = run_id
            done.notes.append(f"Run {run_id} logged in {self.log}")
        return done

    def run(self, command: str, title: str, record, lines, input_roles,
            parameters=(), details=None) -> Run | None:
        """The run to report and log (None when neither is asked for)."""
        args = self.args
        if self.report is None and self.log is None:
            return None
        return Run(command=command, title=title, record=record, lines=tuple(lines),
                   inputs=tuple((role, path) for role, path in input_roles if path is not None),
                   detector=args.detector or "", operator=args.operator or "",
                   note=args.note or "", time=self.time, entered=now(),
                   parameters=tuple(parameters), details=details or {})


def _verdict_done(heading: str, verdict: Verdict, data: dict, notes=()) -> Done:
    """A check's outcome, shown alike in text, JSON and exit status."""
    text = heading + "\n" + formatting.verdict_text(verdict)
    done = Done(text, {**data, **verdict.as_json()}, notes=list(notes))
    if not verdict.passed:
        failing = verdict.failed_lines
        done.status = EXIT_CHECK_FAILED
        done.summary = (f"{len(failing)} of {len(verdict.lines)} lines fail: "
                        + ", ".join(f"{line.reference:g} nm" for line in failing))
    return done


# --- subcommands -------------------------------------------------------------

def cmd_demo(args) -> Done:
    from .demo import DEMO_DETECTOR, demo_json, demo_text, run_demo
    from .plotting import demo_figure
    detector = DEMO_DETECTOR.with_changes(
        shift=args.shift, slope_error=args.slope_error / 100.0, slit=args.slit,
        slit_shape=args.slit_shape, seed=args.seed)
    tolerance = inputs.tolerance(args.tolerance, "--tolerance")
    session = Session(args)
    target = None if args.no_plot else session._plan_figure(args.out, "--out")
    outcome = run_demo(detector, tolerance)
    session.figure(lambda: demo_figure(outcome), target)
    written = None if target is None else str(target)
    done = Done(demo_text(outcome, None), demo_json(outcome, written))
    if not outcome.shown:
        done.status, done.summary = EXIT_CHECK_FAILED, "the result is unexpected"
        done.error = "UNEXPECTED_RESULT"
    run = None
    if args.report or args.log:
        lines = [line for result in outcome.checks for line in lines_of_check(result)]
        d = outcome.data.detector
        run = session.run(
            "demo", "Simulated detector: checks after calibration", outcome.record, lines, [],
            [("simulated detector", f"shift {d.shift:+.3f} elements, dispersion "
              f"{d.slope_error * 100:+.3f} %, slit {d.slit:g} nm {d.slit_shape}, seed {d.seed}"),
             ("tolerance", f"{tolerance:g} nm")])
    return session.finish(done, run)


def cmd_simulate(args) -> Done:
    from ..simulator import Detector
    detector = Detector(shift=args.shift, slope_error=args.slope_error / 100.0, slit=args.slit,
                        slit_shape=args.slit_shape, seed=args.seed)
    out = Path(args.out)
    session = Session(args)
    names = ("dark", "d2", "holmium", "hg1", "hg2")
    create = not out.exists()
    if create:  # the folder itself is the output: its own folder must exist
        from .outputs import check_folder
        check_folder(out.parent if str(out.parent) else Path("."), "--out")
        targets = {name: out / f"{name}.csv" for name in names}
    else:
        targets = {name: session.outputs.plan(out / f"{name}.csv", "--out") for name in names}
    data = detector.measure_all()
    about = (f"simulated detector: shift {detector.shift:+.3f} elements, slope error "
             f"{args.slope_error:+.4f} %, slit {detector.slit} nm {detector.slit_shape}, "
             f"seed {detector.seed}")
    descriptions = {"dark": "dark spectrum (counts)", "d2": "deuterium lamp (counts)",
                    "holmium": "holmium filter trace (milli-absorbance, bands are maxima)",
                    "hg1": "mercury lamp, exposed for 253.7 nm (counts)",
                    "hg2": "mercury lamp, exposed for the visible lines (counts)"}
    for name, values in data.items():
        session.add("Spectrum", targets[name], spectra_io.spectrum_text(
            values, f"{descriptions[name]}\n{about}\n512 values, element 1 first",
            decimals=3).encode("utf-8"))
    done = Done("\n".join(f"wrote {targets[name]}" for name in names),
                {"shift_elements": detector.shift, "slope_error": detector.slope_error,
                 "slit_nm": detector.slit, "slit_shape": detector.slit_shape,
                 "seed": detector.seed, "files": [str(targets[name]) for name in names]})
    if create:
        out.mkdir()
    try:
        return session.finish(done)
    except BaseException:
        if create:
            out.rmdir()
        raise


def cmd_table(args) -> Done:
    if args.plot and args.display:
        raise CommandLineError("--plot draws the element table; leave out --display")
    session = Session(args)
    record, notes = parse_record(args, raw=args.raw)
    table = display_table(record) if args.display else wavelength_table(record, raw=args.raw)
    at = [(inputs.wavelength(nm, "--at"), corrected_element(nm, record, raw=args.raw))
          for nm in args.at or []]
    missing = table == formatting.NO_WAVELENGTH
    data = {"record": record.as_dict(), "display": args.display, "count": int(table.size),
            "wavelengths_hundredths": [None if m else int(v) for v, m in zip(table, missing)],
            "elements_of": [{"wavelength_nm": nm, "element": e} for nm, e in at]}
    if args.display:
        lines = [f"display grid: {table.size} wavelengths {table[0] / 100:.2f} .. "
                 f"{table[-1] / 100:.2f} nm in 1-nm steps"]
    else:
        lines = [f"record {record.describe()}",
                 f"element wavelengths {formatting.describe_table(table)}"]
        if args.all:
            for start in range(0, table.size, 8):
                chunk = [f"{v / 100:8.2f}" if v != formatting.NO_WAVELENGTH else "     n/m"
                         for v in table[start:start + 8]]
                lines.append(f"  {start + 1:>3}: " + " ".join(chunk))
    for nm, element in at:
        lines.append(f"{nm:.2f} nm falls on element "
                     + (f"{element:.4f}" if element is not None else formatting.NOT_MEASURED))
    done = Done("\n".join(notes + lines), data)
    if args.plot:
        if missing.any():
            raise InputError("--plot: the record gives no wavelength for some elements")
        from .plotting import table_figure
        session.figure(lambda: table_figure(table, f"Wavelength table of record {record}"))
    return session.finish(done)


def _calibration_details(old: CalibrationRecord | None) -> dict:
    return {"old_record": None if old is None else old.as_dict(),
            "old_record_text": None if old is None else old.describe()}


def cmd_calibrate(args) -> Done:
    session = Session(args, [args.spectrum1, args.spectrum2, args.dark1, args.dark2])
    old, notes = parse_record(args, default=None)
    # Pairs are taken with the record they were written with: the old one.
    d2, trace, dark1, dark2 = (read_elements(path, old) for path in (
        args.spectrum1, args.spectrum2, args.dark1, args.dark2))
    tolerance = inputs.tolerance(args.tolerance, "--tolerance")
    record = calibrate(d2, trace, dark1=dark1, dark2=dark2, method=args.method,
                       tolerance=tolerance)
    checked = cross_check(record, _less(d2, dark1), args.spectrum1, tolerance)
    table = element_wavelengths(record)
    text = "\n".join(notes + ([f"old record {old.describe()}"] if old else []) + [
                      f"new record {record.describe()}",
                      f"wavelength table {table[0]:.2f} .. {table[-1]:.2f} nm",
                      f"cross-checked: 486.0 nm in {args.spectrum1} within "
                      f"{args.tolerance:g} nm where the record puts it",
                      f"as arguments: {record.arguments()}"])
    done = Done(text, {"record": record.as_dict(), "old_record": old and old.as_dict(),
                       "table_nm": [float(table[0]), float(table[-1])]})
    from .plotting import Panel, spectra_figure
    p1, p2 = record.positions
    at1, at2 = rules.wavelengths_at(record, [p1, p2])
    session.figure(lambda: spectra_figure(f"Calibration record {record}", [
        Panel("656.1 nm line (first spectrum less dark), on the new scale", table,
              [("spectrum 1", _less(d2, dark1))], [(at2, f"656.1 at element {p2:.3f}")]),
        Panel("360.8 nm line (second spectrum less dark), on the new scale", table,
              [("spectrum 2", _less(trace, dark2))], [(at1, f"360.8 at element {p1:.3f}")],
              ylabel="value")]))
    return session.finish(done, session.run(
        "calibrate", "Wavelength calibration", record, lines_of_check(checked),
        [("deuterium spectrum", args.spectrum1), ("holmium trace", args.spectrum2),
         ("dark of the deuterium spectrum", args.dark1), ("dark of the trace", args.dark2)],
        [("method", f"{args.method} ({METHODS[args.method]})"),
         ("cross-check tolerance", f"{tolerance:g} nm")], _calibration_details(old)))


def cmd_wide_slit(args) -> Done:
    session = Session(args, [args.spectrum, args.dark])
    record, notes = parse_record(args)
    spectrum = read_elements(args.spectrum, record)
    dark = read_elements(args.dark, record)
    tolerance = inputs.tolerance(args.tolerance, "--tolerance")
    new = calibrate_wide_slit(record, spectrum, dark=dark, tolerance=tolerance,
                              large_move=args.accept_large_move)
    checked = cross_check(new, _less(spectrum, dark), args.spectrum, tolerance)
    shift = new.position2 - record.position2
    text = "\n".join(notes + [f"old record {record.describe()}",
                              f"new record {new.describe()}",
                              f"both positions moved by {shift:+d}/64 element "
                              f"({shift / 64:+.3f})",
                              f"as arguments: {new.arguments()}"])
    done = Done(text, {"old_record": record.as_dict(), "record": new.as_dict(),
                       "shift_64ths": shift})
    from .plotting import Panel, spectra_figure
    p2 = new.positions[1]
    at = float(rules.wavelengths_at(new, p2)[0])
    session.figure(lambda: spectra_figure(f"Wide-slit calibration: record {new}", [
        Panel("656.1 nm line, on the new scale", element_wavelengths(new),
              [("spectrum", _less(spectrum, dark))], [(at, f"656.1 at element {p2:.3f}")])]))
    return session.finish(done, session.run(
        "wide-slit", "Wide-slit wavelength calibration", new, lines_of_check(checked),
        [("deuterium spectrum", args.spectrum), ("dark", args.dark)],
        [("move", f"{shift:+d}/64 element"), ("cross-check tolerance", f"{tolerance:g} nm")],
        _calibration_details(record)))


def _lamp_check_done(args, session, command, result, record, notes, input_roles, draw) -> Done:
    lines = lines_of_check(result)
    verdict = Verdict(tuple(lines))
    done = _verdict_done(f"record {record.describe()}\n{result.kind} check, tolerance "
                         f"+/-{result.tolerance:.2f} nm", verdict,
                         {"kind": result.kind, "record": record.as_dict(),
                          "tolerance_nm": result.tolerance}, notes)
    session.figure(draw)
    return session.finish(done, session.run(
        command, f"{result.kind.capitalize()} wavelength check", record, lines, input_roles,
        [("tolerance", f"{result.tolerance:g} nm")]))


def cmd_check_ho(args) -> Done:
    from .plotting import Panel, check_marks, spectra_figure
    files = [args.d2, args.d2_dark, args.holmium, args.holmium_dark]
    session = Session(args, files)
    record, notes = parse_record(args)
    d2, d2_dark, holmium, ho_dark = (read_elements(path, record) for path in files)
    result = check_holmium(record, d2, holmium, d2_background=d2_dark,
                           holmium_background=ho_dark, tolerance=args.tolerance)

    def draw():
        scale = element_wavelengths(record)
        panels = [Panel("Deuterium lamp", scale, [("deuterium", _less(d2, d2_dark))],
                        check_marks(result, ["deuterium"]))]
        if holmium is not None:
            panels.append(Panel("Holmium trace", scale, [("holmium", _less(holmium, ho_dark))],
                                check_marks(result, ["holmium"]), ylabel="value"))
        return spectra_figure(f"Deuterium/holmium check, record {record}", panels)

    return _lamp_check_done(args, session, "check-ho", result, record, notes, [
        ("deuterium spectrum", args.d2), ("deuterium dark", args.d2_dark),
        ("holmium trace", args.holmium), ("holmium dark", args.holmium_dark)], draw)


def cmd_check_hg(args) -> Done:
    from .plotting import Panel, check_marks, spectra_figure
    files = [args.d2, args.hg1, args.hg2, args.dark]
    session = Session(args, files)
    record, notes = parse_record(args)
    d2, hg1, hg2, dark = (read_elements(path, record) for path in files)
    result = check_mercury(record, d2, hg1, hg2, background=dark, tolerance=args.tolerance)

    def draw():
        scale = element_wavelengths(record)
        return spectra_figure(f"Deuterium/mercury check, record {record}", [
            Panel("Deuterium lamp", scale, [("deuterium", _less(d2, dark))],
                  check_marks(result, ["deuterium"])),
            Panel("Mercury lamp (log scale)", scale,
                  [("mercury 1", _less(hg1, dark)), ("mercury 2", _less(hg2, dark))],
                  check_marks(result, ["mercury 1", "mercury 2"]), log=True)])

    return _lamp_check_done(args, session, "check-hg", result, record, notes, [
        ("deuterium spectrum", args.d2), ("mercury spectrum 1", args.hg1),
        ("mercury spectrum 2", args.hg2), ("dark", args.dark)], draw)


def _user_line(text: str) -> UserLine:
    parts = text.split(":")
    if not 1 <= len(parts) <= 4:
        raise CommandLineError(f"--line {text!r}: expected TARGET[:HALF_WINDOW[:ALLOWED[:valley]]]")
    try:
        numbers = [float(p) for p in parts[:3]]
    except ValueError:
        raise CommandLineError(f"--line {text!r}: target, half window and allowed deviation "
                               "are numbers in nm") from None
    valley = False
    if len(parts) == 4:
        if parts[3] not in ("peak", "valley"):
            raise CommandLineError(f"--line {text!r}: the fourth field is 'peak' or 'valley'")
        valley = parts[3] == "valley"
    return UserLine(*numbers, valley=valley)


def cmd_check_user(args) -> Done:
    from .plotting import Panel, spectra_figure
    session = Session(args, [args.first, args.second])
    record, notes = parse_record(args)
    most = rules.limits().user_check_max_lines
    if not 1 <= len(args.line) <= most:
        raise CommandLineError(f"give 1 to {most} --line options")
    try:
        lines = user_lines([_user_line(text) for text in args.line])
    except CommandLineError:
        raise
    except InputError as error:
        raise CommandLineError(f"--line: {error}") from None
    first_file = spectra_io.read_spectrum(args.first)
    second_file = spectra_io.read_spectrum(args.second)
    display = first_file.on_display_grid and second_file.on_display_grid
    if display:
        first, second = first_file.values, second_file.values
    else:
        first, second = read_elements(args.first, record), read_elements(args.second, record)
    results = check_user(record, first, second, lines, display=display)
    grid = "display grid" if display else "elements"
    run_lines = lines_of_user(results)
    done = _verdict_done(f"record {record.describe()}\nuser-defined check on second - first "
                         f"({grid})", Verdict(tuple(run_lines)),
                         {"record": record.as_dict(), "display": display}, notes)
    scale = rules.limits().display_grid if display else element_wavelengths(record)
    session.figure(lambda: spectra_figure(f"User-defined check, record {record}", [
        Panel("second - first", scale, [("difference", second - first)],
              [(r.found, f"{r.target:.2f}: found {r.found:.2f}") for r in results
               if r.found is not None], ylabel="value")]))
    return session.finish(done, session.run(
        "check-user", "User-defined wavelength check", record, run_lines,
        [("first spectrum", args.first), ("second spectrum", args.second)]))


def cmd_lamp(args) -> Done:
    from .plotting import Panel, spectra_figure
    session = Session(args, [args.spectrum])
    spectrum = spectra_io.read_spectrum(args.spectrum)
    limits = rules.limits()
    record, notes = CalibrationRecord.UNCALIBRATED, []
    if spectrum.on_display_grid:
        wavelengths, info = limits.display_grid, lamp_info(args.lamp, spectrum.values)
    elif spectrum.wavelengths is not None:
        wavelengths = spectrum.wavelengths
        info = lamp_info(args.lamp, spectrum.values, wavelengths)
    elif spectrum.values.size == limits.element_count:
        if args.record is None and getattr(args, "record_from", None) is None:
            raise CommandLineError(f"{spectrum.path}: element values take their wavelengths "
                                   "from --record: give the detector's record (or 0 0 0 0 for "
                                   "the default dispersion)")
        record, notes = parse_record(args)
        wavelengths = element_wavelengths(record)
        info = lamp_info(args.lamp, spectrum.values, wavelengths)
    else:
        raise InputError(f"{spectrum.path}: expected {limits.element_count} element values, "
                         f"{limits.display_grid_count} display-grid values, or "
                         f"wavelength/value pairs; found {spectrum.values.size} values")
    largest = max_voltage(spectrum.values)
    done = Done("\n".join(notes + [formatting.lamp_text(info, largest)]),
                formatting.lamp_json(info, largest))
    marks = [(info.reference_wavelength, f"{info.reference_wavelength:.0f} nm")]
    if info.maximum_wavelength is not None:
        marks.append((info.maximum_wavelength, f"maximum {info.maximum_wavelength:.2f}"))
    session.figure(lambda: spectra_figure(f"{LAMP_NAMES[args.lamp]} lamp", [
        Panel("lamp spectrum", wavelengths, [("spectrum", spectrum.values)], marks)]))
    values = formatting.lamp_json(info, largest)
    return session.finish(done, session.run(
        "lamp", f"{LAMP_NAMES[args.lamp].capitalize()} lamp test",
        record, [], [("lamp spectrum", args.spectrum)],
        [("lamp", LAMP_NAMES[args.lamp])],
        {"lamp": values, "lamp_rows": formatting.lamp_rows(info, largest)}))


def cmd_history(args) -> Done:
    from . import overview
    from .history import read_runs, verify
    session = Session(args, [args.database])
    if args.verify:
        breaks = verify(args.database)
        count = len(read_runs(args.database))
        if breaks:
            return Done("\n".join(["the audit trail of " + str(args.database) + " is broken:"]
                                  + [f"  {item}" for item in breaks]),
                        {"database": str(args.database), "runs": count, "verified": False,
                         "breaks": breaks}, EXIT_CHECK_FAILED,
                        f"{len(breaks)} break(s) in the audit trail", "AUDIT_TRAIL_BROKEN")
        return Done(f"the audit trail of {args.database} is whole: {count} runs, each "
                    "unchanged since it was logged",
                    {"database": str(args.database), "runs": count, "verified": True,
                     "breaks": []})
    csv_target = None if args.csv is None else session.outputs.plan(args.csv, "--csv")
    html_target = None if args.html is None else session.outputs.plan(args.html, "--html")
    text, data, draw = overview.history_view(args.database, detector=args.detector,
                                             since=args.since)
    done = Done(text, data)
    if args.plot:
        session.figure(draw)
    runs = data["runs"]
    if csv_target is not None:
        session.add("Table", csv_target, overview.csv_text(runs).encode("utf-8"))
        done.notes.append(f"CSV written to {csv_target}")
    if html_target is not None:
        session.add("Page", html_target, overview.fleet_page(args.database, runs).encode("utf-8"))
        done.notes.append(f"Fleet page written to {html_target}")
    return session.finish(done)


def cmd_detector(args) -> Done:
    from .overview import detector_view
    text, data = detector_view(args.database, args.id)
    return Done(text, data)
