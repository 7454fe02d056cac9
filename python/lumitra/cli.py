"""The lumitra command line.

Exit status, decided in main() alone:
  0  done
  1  a checked line is outside its tolerance (demo: the result is unexpected)
  2  a problem with the command line or an input file (one-line message)
  3  the library refused (a calibration that fails the range test, for example)
  4  the library cannot be found or lacks an export
  5  a fault of lumitra itself (one line; please report it)
With --json every non-zero status also prints an object with "error",
"message" and "exit_status" on standard output.
"""

from __future__ import annotations

import argparse
import io
import json
import os
import sqlite3
import sys
import warnings
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

from . import __version__, optics, report, spectra_io, validation
from .errors import (CalibrationRangeError, InputError, LibraryNotFoundError, MissingExportError,
                     StatusError)
from .native import ELEMENT_COUNT
from .records import CalibrationRecord, UserLine

EXIT_OK, EXIT_CHECK_FAILED, EXIT_INPUT, EXIT_LIBRARY, EXIT_NO_LIBRARY, EXIT_FAULT = range(6)

RECORD_HELP = ("calibration record W1 P1 W2 P2: the two reference wavelengths W1, W2 in "
               "0.01 nm and their positions P1, P2 in 1/64 element (element e is 64*e), "
               "for example 36080 9545 65610 24704")


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


# --- shared pieces -----------------------------------------------------------

def _record(args, raw: bool = False) -> CalibrationRecord:
    if args.record is None:
        return CalibrationRecord.UNCALIBRATED
    try:
        record = CalibrationRecord.parse(args.record)
    except (TypeError, ValueError) as error:
        raise CommandLineError(f"--record: {error}") from None
    return validation.record(record, "--record", raw=raw)


def _scale(record: CalibrationRecord) -> np.ndarray:
    from .tables import wavelength_table
    return wavelength_table(record)[:ELEMENT_COUNT] / 100.0


def _optional(path):
    return None if path is None else spectra_io.read_element_spectrum(path)


def _less(values, dark):
    return values if dark is None else values - dark


def _figure_target(args, option: str = "plot"):
    """The --plot path, checked before anything is computed."""
    path = getattr(args, option, None)
    if path is None:
        return None
    from .plotting import figure_path
    try:
        return figure_path(path)
    except ValueError as error:
        raise CommandLineError(f"--{option}: {error}") from None


def _write_figure(args, done: Done, draw) -> None:
    """Draws the figure to --plot (and keeps a PNG for --report)."""
    if getattr(args, "plot", None):
        written = draw(_figure_target(args))
        done.data["figure"] = written
        done.notes.append(f"Figure written to {written}")
    if getattr(args, "report", None):
        buffer = io.BytesIO()
        draw(buffer)
        args.figure_png = buffer.getvalue()


def _qualify(args, done: Done, run) -> None:
    """Writes the --report and appends to the --log of a check."""
    if getattr(args, "report", None):
        from .qualification import write_report
        path = write_report(args.report, run, getattr(args, "figure_png", None))
        done.data["report"] = path
        done.notes.append(f"Report written to {path}")
    if getattr(args, "log", None):
        from .history import log_run
        run_id = log_run(args.log, run)
        done.data["logged_run"] = run_id
        done.notes.append(f"Run {run_id} logged in {args.log}")


def _run_of(args, command, title, record, lines, passed, inputs, parameters=()):
    from .qualification import Run, run_time
    return Run(command=command, title=title, record=record, lines=tuple(lines), passed=passed,
               inputs=tuple((role, path) for role, path in inputs if path is not None),
               detector=args.detector or "", operator=args.operator or "",
               note=args.note or "", time=run_time(args.time), parameters=tuple(parameters))


def _check_done(text, data, passed, failing) -> Done:
    if passed:
        return Done(text, data)
    return Done(text, data, EXIT_CHECK_FAILED, f"{failing} outside the tolerance")


# --- subcommands -------------------------------------------------------------

def cmd_demo(args) -> Done:
    from .demo import DEMO_DETECTOR, demo_json, demo_text, run_demo
    from .qualification import lines_of_check
    detector = DEMO_DETECTOR.with_changes(
        shift=args.shift, slope_error=args.slope_error / 100.0, slit=args.slit,
        slit_shape=args.slit_shape, seed=args.seed)
    tolerance = validation.tolerance(args.tolerance, "--tolerance")
    figure = None if args.no_plot else _figure_target(args, "out")
    outcome = run_demo(detector, tolerance)
    written = None
    if figure is not None:
        from .plotting import demo_figure
        written = str(Path(demo_figure(outcome, figure)).resolve())
    done = Done(demo_text(outcome, written), demo_json(outcome, written))
    if not outcome.shown:
        done.status, done.summary = EXIT_CHECK_FAILED, "the result is unexpected"
        done.error = "UNEXPECTED_RESULT"
    if args.report or args.log:
        if args.report:
            from .plotting import demo_figure
            buffer = io.BytesIO()
            demo_figure(outcome, buffer)
            args.figure_png = buffer.getvalue()
        lines = [line for result in outcome.checks for line in lines_of_check(result)]
        d = outcome.data.detector
        _qualify(args, done, _run_of(
            args, "demo", "Simulated detector: checks after calibration", outcome.record, lines,
            all(r.passed for r in outcome.checks), [],
            [("simulated detector", f"shift {d.shift:+.3f} elements, dispersion "
              f"{d.slope_error * 100:+.3f} %, slit {d.slit:g} nm {d.slit_shape}, seed {d.seed}"),
             ("tolerance", f"{tolerance:g} nm")]))
    return done


def cmd_simulate(args) -> Done:
    from .simulator import Detector
    detector = Detector(shift=args.shift, slope_error=args.slope_error / 100.0, slit=args.slit,
                        slit_shape=args.slit_shape, seed=args.seed)
    data = detector.measure_all()
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    about = (f"simulated detector: shift {detector.shift:+.3f} elements, slope error "
             f"{args.slope_error:+.4f} %, slit {detector.slit} nm {detector.slit_shape}, "
             f"seed {detector.seed}")
    descriptions = {"dark": "dark spectrum (counts)", "d2": "deuterium lamp (counts)",
                    "holmium": "holmium filter trace (milli-absorbance, bands are maxima)",
                    "hg1": "mercury lamp, exposed for 253.7 nm (counts)",
                    "hg2": "mercury lamp, exposed for the visible lines (counts)"}
    written = []
    for name, values in data.items():
        path = out / f"{name}.csv"
        spectra_io.write_spectrum(path, values, f"{descriptions[name]}\n{about}\n"
                                  "512 values, element 1 first", decimals=3)
        written.append(str(path))
    info = {"shift_elements": detector.shift, "slope_error": detector.slope_error,
            "slit_nm": detector.slit, "slit_shape": detector.slit_shape, "seed": detector.seed,
            "files": written}
    return Done("\n".join(["wrote " + p for p in written]), info)


def cmd_table(args) -> Done:
    from .tables import corrected_element, display_table, wavelength_table
    if args.plot and args.display:
        raise CommandLineError("--plot draws the element table; leave out --display")
    _figure_target(args)
    record = _record(args, raw=args.raw)
    table = display_table(record) if args.display else wavelength_table(record, raw=args.raw)
    at = [(validation.wavelength(nm, "--at"), corrected_element(nm, record, raw=args.raw))
          for nm in args.at or []]
    missing = table == report.NO_WAVELENGTH
    data = {"record": report.record_json(record), "display": args.display,
            "count": int(table.size),
            "wavelengths_hundredths": [None if m else int(v) for v, m in zip(table, missing)],
            "elements_of": [{"wavelength_nm": nm, "element": e} for nm, e in at]}
    if args.display:
        lines = [f"display grid: {table.size} wavelengths {table[0] / 100:.2f} .. "
                 f"{table[-1] / 100:.2f} nm in 1-nm steps"]
    else:
        lines = [f"record {report.describe_record(record)}",
                 f"element wavelengths {report.describe_table(table)}"]
        if args.all:
            for start in range(0, table.size, 8):
                chunk = [f"{v / 100:8.2f}" if v != report.NO_WAVELENGTH else "     n/m"
                         for v in table[start:start + 8]]
                lines.append(f"  {start + 1:>3}: " + " ".join(chunk))
    for nm, element in at:
        lines.append(f"{nm:.2f} nm falls on element "
                     + (f"{element:.4f}" if element is not None else report.NOT_MEASURED))
    done = Done("\n".join(lines), data)
    if args.plot:
        if missing.any():
            raise InputError("--plot: the record gives no wavelength for some elements")
        from .plotting import table_figure
        _write_figure(args, done, lambda target: table_figure(
            target, table, f"Wavelength table of record {record}"))
    return done


def cmd_calibrate(args) -> Done:
    from .calibration import calibrate
    _figure_target(args)
    d2 = spectra_io.read_element_spectrum(args.spectrum1)
    trace = spectra_io.read_element_spectrum(args.spectrum2)
    dark1, dark2 = _optional(args.dark1), _optional(args.dark2)
    record = calibrate(d2, trace, dark1=dark1, dark2=dark2, method=args.method)
    table = _scale(record)
    text = "\n".join([f"new record {report.describe_record(record)}",
                      f"wavelength table {table[0]:.2f} .. {table[-1]:.2f} nm",
                      f"as arguments: --record {' '.join(map(str, record.as_tuple()))}"])
    done = Done(text, {"record": report.record_json(record),
                       "table_nm": [float(table[0]), float(table[-1])]})
    if args.plot:
        from .plotting import Panel, spectra_figure
        p1, p2 = record.positions
        at = lambda p: float(optics.record_wavelength(p, record))  # noqa: E731
        _write_figure(args, done, lambda target: spectra_figure(
            target, f"Calibration record {record}", [
                Panel("656.1 nm line (first spectrum less dark), on the new scale", table,
                      [("spectrum 1", _less(d2, dark1))], [(at(p2), f"656.1 at element {p2:.3f}")]),
                Panel("360.8 nm line (second spectrum less dark), on the new scale", table,
                      [("spectrum 2", _less(trace, dark2))],
                      [(at(p1), f"360.8 at element {p1:.3f}")], ylabel="value")]))
    return done


def cmd_wide_slit(args) -> Done:
    from .calibration import calibrate_wide_slit
    _figure_target(args)
    record = _record(args)
    spectrum = spectra_io.read_element_spectrum(args.spectrum)
    dark = _optional(args.dark)
    new = calibrate_wide_slit(spectrum, record, dark=dark)
    shift = new.position2 - record.position2
    text = "\n".join([f"old record {report.describe_record(record)}",
                      f"new record {report.describe_record(new)}",
                      f"both positions moved by {shift:+d}/64 element ({shift / 64:+.3f})",
                      f"as arguments: --record {' '.join(map(str, new.as_tuple()))}"])
    done = Done(text, {"old_record": report.record_json(record),
                       "record": report.record_json(new), "shift_64ths": shift})
    if args.plot:
        from .plotting import Panel, spectra_figure
        p2 = new.positions[1]
        _write_figure(args, done, lambda target: spectra_figure(
            target, f"Wide-slit calibration: record {new}", [
                Panel("656.1 nm line, on the new scale", _scale(new),
                      [("spectrum", _less(spectrum, dark))],
                      [(optics.record_wavelength(p2, new), f"656.1 at element {p2:.3f}")])]))
    return done


def _lamp_check_done(args, command, result, record, inputs, draw) -> Done:
    from .qualification import lines_of_check
    text = f"record {report.describe_record(record)}\n" + report.format_check(result)
    failing = sum(not line.passed for line in result.lines)
    done = _check_done(text, report.check_json(result), result.passed,
                       f"{failing} of {len(result.lines)} lines")
    _write_figure(args, done, draw)
    _qualify(args, done, _run_of(args, command, f"{result.kind.capitalize()} wavelength check",
                                 record, lines_of_check(result), result.passed, inputs,
                                 [("tolerance", f"{result.tolerance:g} nm")]))
    return done


def cmd_check_ho(args) -> Done:
    from .checks import check_holmium
    from .plotting import Panel, check_marks, spectra_figure
    _figure_target(args)
    record = _record(args)
    d2 = spectra_io.read_element_spectrum(args.d2)
    holmium = _optional(args.holmium)
    d2_dark, ho_dark = _optional(args.d2_dark), _optional(args.holmium_dark)
    result = check_holmium(record, d2, holmium, d2_background=d2_dark,
                           holmium_background=ho_dark, tolerance=args.tolerance)

    def draw(target):
        scale = _scale(record)
        panels = [Panel("Deuterium lamp", scale, [("deuterium", _less(d2, d2_dark))],
                        check_marks(result, ["deuterium"]))]
        if holmium is not None:
            panels.append(Panel("Holmium trace", scale, [("holmium", _less(holmium, ho_dark))],
                                check_marks(result, ["holmium"]), ylabel="value"))
        return spectra_figure(target, f"Deuterium/holmium check, record {record}", panels)

    return _lamp_check_done(args, "check-ho", result, record, [
        ("deuterium spectrum", args.d2), ("deuterium dark", args.d2_dark),
        ("holmium trace", args.holmium), ("holmium dark", args.holmium_dark)], draw)


def cmd_check_hg(args) -> Done:
    from .checks import check_mercury
    from .plotting import Panel, check_marks, spectra_figure
    _figure_target(args)
    record = _record(args)
    d2 = spectra_io.read_element_spectrum(args.d2)
    hg1 = spectra_io.read_element_spectrum(args.hg1)
    hg2 = spectra_io.read_element_spectrum(args.hg2)
    dark = _optional(args.dark)
    result = check_mercury(record, d2, hg1, hg2, background=dark, tolerance=args.tolerance)

    def draw(target):
        scale = _scale(record)
        return spectra_figure(target, f"Deuterium/mercury check, record {record}", [
            Panel("Deuterium lamp", scale, [("deuterium", _less(d2, dark))],
                  check_marks(result, ["deuterium"])),
            Panel("Mercury lamp (log scale)", scale,
                  [("mercury 1", _less(hg1, dark)), ("mercury 2", _less(hg2, dark))],
                  check_marks(result, ["mercury 1", "mercury 2"]), log=True)])

    return _lamp_check_done(args, "check-hg", result, record, [
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
    from .checks import check_user, user_lines
    from .plotting import Panel, spectra_figure
    from .qualification import lines_of_user
    _figure_target(args)
    record = _record(args)
    if not 1 <= len(args.line) <= 4:
        raise CommandLineError("give 1 to 4 --line options")
    lines = [_user_line(text) for text in args.line]
    try:
        lines = user_lines(lines)
    except InputError as error:
        raise CommandLineError(f"--line: {error}") from None
    first_file = spectra_io.read_spectrum(args.first)
    second_file = spectra_io.read_spectrum(args.second)
    display = first_file.on_display_grid and second_file.on_display_grid
    read = spectra_io.read_display_spectrum if display else spectra_io.read_element_spectrum
    first, second = read(args.first), read(args.second)
    results = check_user(record, first, second, lines, display=display)
    passed = all(r.passed for r in results)
    grid = "display grid" if display else "elements"
    heading = (f"record {report.describe_record(record)}\n"
               f"user-defined check on second - first ({grid})")
    done = _check_done(heading + "\n" + report.user_lines_text(results),
                       {"record": report.record_json(record), "display": display,
                        "passed": passed, "lines": report.user_lines_json(results)},
                       passed, f"{sum(not r.passed for r in results)} of {len(results)} lines")
    scale = spectra_io.DISPLAY_GRID_NM if display else _scale(record)
    _write_figure(args, done, lambda target: spectra_figure(
        target, f"User-defined check, record {record}", [
            Panel("second - first", scale, [("difference", second - first)],
                  [(r.found, f"{r.target:.2f}: found {r.found:.2f}") for r in results],
                  ylabel="value")]))
    _qualify(args, done, _run_of(args, "check-user", "User-defined wavelength check", record,
                                 lines_of_user(results), passed,
                                 [("first spectrum", args.first),
                                  ("second spectrum", args.second)]))
    return done


def cmd_lamp(args) -> Done:
    from .lamps import lamp_info, max_voltage
    from .plotting import Panel, spectra_figure
    _figure_target(args)
    spectrum = spectra_io.read_spectrum(args.spectrum)
    if spectrum.on_display_grid:
        wavelengths, info = spectra_io.DISPLAY_GRID_NM, lamp_info(args.lamp, spectrum.values)
    elif spectrum.wavelengths is not None:
        wavelengths = spectrum.wavelengths
        info = lamp_info(args.lamp, spectrum.values, wavelengths)
    elif spectrum.values.size == ELEMENT_COUNT:
        record = _record(args)
        if not record.is_calibrated:
            raise CommandLineError(f"{spectrum.path}: element values take their wavelengths "
                                   "from --record; give the detector's calibration record")
        wavelengths = _scale(record)
        info = lamp_info(args.lamp, spectrum.values, wavelengths)
    else:
        raise InputError(f"{spectrum.path}: expected 512 element values, 611 display-grid "
                         f"values, or wavelength/value pairs; found {spectrum.values.size} values")
    largest = max_voltage(spectrum.values)
    done = Done(report.lamp_text(info, largest), report.lamp_json(info, largest))
    marks = [(info.reference_wavelength, f"{info.reference_wavelength:.0f} nm")]
    if info.maximum_wavelength is not None:
        marks.append((info.maximum_wavelength, f"maximum {info.maximum_wavelength:.2f}"))
    _write_figure(args, done, lambda target: spectra_figure(target, f"{args.lamp} lamp", [
        Panel("lamp spectrum", wavelengths, [("spectrum", spectrum.values)], marks)]))
    return done


def cmd_history(args) -> Done:
    from .history import history
    _figure_target(args)
    text, data, draw = history(args.database, detector=args.detector, since=args.since)
    done = Done(text, data)
    if args.plot:
        _write_figure(args, done, draw)
    return done


# --- parser ------------------------------------------------------------------

class _Formatter(argparse.RawDescriptionHelpFormatter):
    """Help with each option's default where it has one."""

    def _get_help_string(self, action):
        text = action.help or ""
        if action.default not in (None, False, argparse.SUPPRESS) and "%(default)" not in text:
            text += " (default: %(default)s)"
        return text


class _Parser(argparse.ArgumentParser):
    """Reports a mistake as a CommandLineError, which main() turns into one
    line and exit status 2."""

    def error(self, message):
        raise CommandLineError(f"{self.prog}: {message}")


def _add_output(parser, plot=True) -> None:
    parser.add_argument("--json", action="store_true",
                        help="machine-readable output on standard output")
    if plot:
        parser.add_argument("--plot", metavar="FILE",
                            help="also write a figure (PNG; .svg or .pdf by suffix)")


def _add_record(parser, required=False, help_text=RECORD_HELP + " (default: uncalibrated, "
                "the default dispersion)"):
    parser.add_argument("--record", nargs=4, metavar=("W1", "P1", "W2", "P2"),
                        required=required, help=help_text)


def _add_tolerance(parser) -> None:
    parser.add_argument("--tolerance", type=float, default=1.0, metavar="NM",
                        help=f"allowed deviation of each line, nm, above 0 and at most "
                             f"{validation.MAX_TOLERANCE_NM:g}")


def _add_qualification(parser) -> None:
    group = parser.add_argument_group("records of the run")
    group.add_argument("--report", metavar="FILE.html",
                       help="write a self-contained HTML qualification report")
    group.add_argument("--log", metavar="DB", help="append the run to this SQLite history")
    group.add_argument("--detector", metavar="ID", help="the detector's identifier")
    group.add_argument("--operator", metavar="NAME", help="who ran the check")
    group.add_argument("--note", metavar="TEXT", help="free text for the report and the log")
    group.add_argument("--time", metavar="ISO8601",
                       help="when the run took place, with its time zone (default: now)")


def _add_detector(parser, shift: float, slope: float, slit: float, seed: int) -> None:
    parser.add_argument("--shift", type=float, default=shift, metavar="ELEMENTS",
                        help="elements by which 656.1 nm lies above element 383, within "
                             "+/-50")
    parser.add_argument("--slope-error", type=float, default=slope, metavar="PERCENT",
                        help="error of the dispersion in percent, within +/-5")
    parser.add_argument("--slit", type=float, default=slit, metavar="NM",
                        help="spectral bandwidth in nm (full width at half maximum), "
                             "above 0 and at most 20")
    parser.add_argument("--slit-shape", choices=["triangular", "gaussian"], default="triangular",
                        help="shape of the slit function")
    parser.add_argument("--seed", type=int, default=seed, help="noise seed, 0 or more")


def build_parser() -> argparse.ArgumentParser:
    parser = _Parser(
        prog="lumitra", formatter_class=_Formatter,
        description="Wavelength calibration and accuracy checks of a photodiode-array "
        "detector, through liblumitra.so. Spectra are CSV or text files of 512 values "
        "(element 1 first) or wavelength/value pairs (nm, increasing).",
        epilog="exit status: 0 done, 1 a checked line outside its tolerance (demo: an "
               "unexpected result), 2 a problem with the command line or a file, 3 the "
               "library refused, 4 no library, 5 a fault of lumitra")
    parser.add_argument("--version", action="store_true",
                        help="the package version and the library it uses")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=_Parser)

    def command(name, help_text):
        return sub.add_parser(name, help=help_text, description=help_text,
                              formatter_class=_Formatter)

    p = command("demo", "the main job: calibrate a simulated detector and check it")
    _add_detector(p, 3.0, 0.15, 2.0, 7)
    _add_tolerance(p)
    p.add_argument("--out", default="lumitra-demo.png", metavar="FILE", help="figure")
    p.add_argument("--no-plot", action="store_true", help="no figure")
    _add_output(p, plot=False)
    _add_qualification(p)
    p.set_defaults(run=cmd_demo)

    p = command("simulate", "write the spectra of a simulated detector as CSV")
    _add_detector(p, 0.0, 0.0, 2.0, 1)
    p.add_argument("--out", required=True, metavar="DIR", help="folder for the CSV files")
    _add_output(p, plot=False)
    p.set_defaults(run=cmd_simulate)

    p = command("table", "wavelength table of a record, or the display grid")
    _add_record(p)
    p.add_argument("--raw", action="store_true",
                   help="take the record as it is, even one off the array (what the library "
                        "cannot compute is shown as not measured)")
    p.add_argument("--display", action="store_true", help="the display grid 190..800 nm")
    p.add_argument("--all", action="store_true", help="list every element's wavelength")
    p.add_argument("--at", type=float, nargs="+", metavar="NM",
                   help="calibrated element number of these wavelengths (190..800 nm)")
    _add_output(p)
    p.set_defaults(run=cmd_table)

    p = command("calibrate", "new record from a deuterium spectrum (656.1 nm) and a trace "
                "with the 360.8 nm band as a maximum (holmium)")
    p.add_argument("spectrum1", help="deuterium lamp spectrum (512 values)")
    p.add_argument("spectrum2", help="holmium filter trace, bands as maxima (512 values)")
    p.add_argument("--dark1", metavar="FILE", help="dark subtracted from spectrum1")
    p.add_argument("--dark2", metavar="FILE", help="dark subtracted from spectrum2")
    p.add_argument("--method", type=int, choices=[0, 1], default=0,
                   help="0 maxima on the 64-sub-step fine grid, 1 refinement by the sibling "
                        "library")
    _add_output(p)
    p.set_defaults(run=cmd_calibrate)

    p = command("wide-slit", "re-centre a record on the 656.1 nm line")
    p.add_argument("spectrum", help="deuterium lamp spectrum (512 values)")
    p.add_argument("--dark", metavar="FILE", help="dark subtracted from the spectrum")
    _add_record(p, required=True, help_text=RECORD_HELP + "; the detector's record to "
                "re-centre")
    _add_output(p)
    p.set_defaults(run=cmd_wide_slit)

    p = command("check-ho", "deuterium/holmium wavelength check")
    _add_record(p)
    p.add_argument("--d2", required=True, metavar="FILE", help="deuterium lamp spectrum")
    p.add_argument("--d2-dark", metavar="FILE", help="dark subtracted from --d2")
    p.add_argument("--holmium", metavar="FILE", help="holmium trace (bands as maxima)")
    p.add_argument("--holmium-dark", metavar="FILE", help="dark subtracted from --holmium")
    _add_tolerance(p)
    _add_output(p)
    _add_qualification(p)
    p.set_defaults(run=cmd_check_ho)

    p = command("check-hg", "deuterium/mercury wavelength check")
    _add_record(p)
    p.add_argument("--d2", required=True, metavar="FILE", help="deuterium lamp spectrum")
    p.add_argument("--hg1", required=True, metavar="FILE", help="mercury spectrum for 253.7 nm")
    p.add_argument("--hg2", required=True, metavar="FILE",
                   help="mercury spectrum for 404.7, 435.8, 546.1 nm")
    p.add_argument("--dark", metavar="FILE", help="subtracted from all three")
    _add_tolerance(p)
    _add_output(p)
    _add_qualification(p)
    p.set_defaults(run=cmd_check_hg)

    p = command("check-user", "up to four lines of your choice in second - first")
    _add_record(p)
    p.add_argument("first", help="spectrum subtracted (512 values, or 611 on the display grid)")
    p.add_argument("second", help="spectrum showing the lines")
    p.add_argument("--line", action="append", required=True,
                   metavar="TARGET[:HALF_WINDOW[:ALLOWED[:valley]]]",
                   help="a line in nm: target within 190..800, half window of the search "
                        "(default 2), allowed deviation (default 1, less than the half "
                        "window), peak (default) or valley; repeat up to 4 times")
    _add_output(p)
    _add_qualification(p)
    p.set_defaults(run=cmd_check_user)

    p = command("lamp", "lamp diagnostics: reference value and band maximum")
    p.add_argument("lamp", choices=["d2", "w"], help="deuterium (230 nm, 200-260 nm) or "
                   "tungsten (600 nm, 400-800 nm)")
    p.add_argument("spectrum", help="611 display-grid values, wavelength/value pairs (nm), "
                   "or 512 element values with --record")
    _add_record(p, help_text=RECORD_HELP + "; gives the wavelengths of 512 element values")
    _add_output(p)
    p.set_defaults(run=cmd_lamp)

    p = command("history", "runs logged with --log, and each line's drift")
    p.add_argument("database", metavar="DB", help="the SQLite history")
    p.add_argument("--detector", metavar="ID", help="only this detector")
    p.add_argument("--since", metavar="DATE", help="only runs from this date (ISO 8601) on")
    _add_output(p)
    p.set_defaults(run=cmd_history)
    return parser


# --- running -----------------------------------------------------------------

def _version_text() -> str:
    from . import native
    try:
        path, how = native.locate_library()
        library = (f"library {path} (version {native.library_version(path)}), "
                   f"found through {how}")
    except LibraryNotFoundError as error:
        library = f"library not found: {error}"
    return f"lumitra {__version__}\n{library}"


def _classify(error: BaseException) -> tuple[int, str, str, dict]:
    """The exit status, error name, one-line message and JSON extras of an
    exception: the one place where errors become statuses."""
    if isinstance(error, CalibrationRangeError):
        failures = optics.range_test(error.record)
        return (EXIT_LIBRARY, error.name,
                f"calibration rejected ({error.name}): record {error.record}: "
                + "; ".join(failures or ["outside the usable array"]),
                {"rejected_record": report.record_json(error.record),
                 "range_test_failures": failures})
    if isinstance(error, StatusError):
        return EXIT_LIBRARY, error.name, str(error), {}
    if isinstance(error, (LibraryNotFoundError, MissingExportError)):
        return EXIT_NO_LIBRARY, "NO_LIBRARY", str(error), {}
    if isinstance(error, (InputError, spectra_io.SpectrumFileError)):
        return EXIT_INPUT, "INPUT", str(error), {}
    if isinstance(error, (sqlite3.Error,)):
        return EXIT_INPUT, "INPUT", f"history: {error}", {}
    if isinstance(error, OSError):
        where = error.filename or ""
        return EXIT_INPUT, "INPUT", f"{where}: {error.strerror or error}".lstrip(": "), {}
    return (EXIT_FAULT, "FAULT", f"a fault of lumitra ({type(error).__name__}: {error}); "
            "please report it with the command that gave it", {})


def _print(text: str) -> None:
    """Prints to standard output; a reader that went away (| head) ends the
    output quietly, and the status stays that of the command."""
    try:
        print(text, flush=True)
    except BrokenPipeError:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())


def main(argv=None) -> int:
    argv = sys.argv[1:] if argv is None else [str(a) for a in argv]
    wants_json = "--json" in argv
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("error", RuntimeWarning)
            parser = build_parser()
            try:
                args = parser.parse_args(argv)
            except SystemExit as stop:  # --help
                return EXIT_OK if not stop.code else EXIT_INPUT
            if args.version:
                _print(_version_text())
                return EXIT_OK
            if args.command is None:
                raise CommandLineError("lumitra: give a command (lumitra --help lists them)")
            done = args.run(args)
    except KeyboardInterrupt:
        return 130
    except Exception as error:  # every failure ends here, as one line and a status
        status, name, message, extras = _classify(error)
        if wants_json:
            _print(json.dumps({"error": name, "message": message, "exit_status": status,
                               **extras}, indent=2))
        print(f"lumitra: error: {message}", file=sys.stderr)
        return status
    if wants_json:
        data = dict(done.data)
        if done.status != EXIT_OK:
            data.update(error=done.error, message=done.summary, exit_status=done.status)
        _print(json.dumps(data, indent=2, allow_nan=False, default=float))
    else:
        _print("\n".join([done.text] + done.notes))
    return done.status


if __name__ == "__main__":
    sys.exit(main())
