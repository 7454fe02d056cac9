"""The lumitra command line.

Exit status, decided in main() alone:
  0  done; for a check: every line passed (see verdicts)
  1  a check failed: a line outside a criterion, or not found in its window
     (demo: the result is unexpected)
  2  a problem with the command line, an input or output file, or data that do
     not bear out what is asked of them (one-line message)
  3  the library refused (a calibration that fails the range test, for example)
  4  the library (or a Python package lumitra needs) cannot be found, or the
     library lacks an export
  5  a fault of lumitra itself (one line; please report it)
130  interrupted by Ctrl-C; nothing was written
With --json every non-zero status also prints an object with "error",
"message" and "exit_status" on standard output.
"""

from __future__ import annotations

import argparse
import json
import os
import sqlite3
import sys
import warnings

from .. import __version__
from ..api import inputs, native
from ..api.errors import (CalibrationRangeError, ImplausibleError, InputError,
                          LibraryNotFoundError, MissingExportError, StatusError)
from . import commands, spectra_io
from .outputs import OutputError
from .commands import (EXIT_FAULT, EXIT_INPUT, EXIT_LIBRARY, EXIT_NO_LIBRARY, EXIT_OK,
                       CommandLineError)

EXIT_INTERRUPTED = 130  # Ctrl-C: the shell's status for SIGINT

RECORD_HELP = ("calibration record W1 P1 W2 P2: the two reference wavelengths W1, W2 in "
               "0.01 nm and their positions P1, P2 in 1/64 element (element e is 64*e), "
               "for example 36080 9545 65610 24704")


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


def _add_output(parser, plot=True, files=True) -> None:
    parser.add_argument("--json", action="store_true",
                        help="machine-readable output on standard output")
    if plot:
        parser.add_argument("--plot", metavar="FILE",
                            help="also write a figure (PNG; .svg or .pdf by suffix) into an "
                                 "existing folder")
    if files:
        parser.add_argument("--force", action="store_true",
                            help="replace output files that exist (never an input)")


def _add_record(parser, required=False, help_text=RECORD_HELP + " (default: uncalibrated, "
                "the default dispersion)", history=True):
    group = parser.add_mutually_exclusive_group(required=required)
    group.add_argument("--record", nargs=4, metavar=("W1", "P1", "W2", "P2"), help=help_text)
    if history:
        group.add_argument("--record-from", metavar="DB",
                           help="the record of the detector named by --detector, from its "
                                "last calibration logged in this history")


def _add_tolerance(parser, what="allowed deviation of each line") -> None:
    parser.add_argument("--tolerance", type=float, default=1.0, metavar="NM",
                        help=f"{what}, nm, above 0 and at most {inputs.MAX_TOLERANCE_NM:g}")


def _add_qualification(parser) -> None:
    group = parser.add_argument_group("records of the run")
    group.add_argument("--report", metavar="FILE.html",
                       help="write a self-contained HTML qualification report")
    group.add_argument("--log", metavar="DB", help="append the run to this SQLite history")
    group.add_argument("--detector", metavar="ID", help="the detector's identifier")
    group.add_argument("--operator", metavar="NAME", help="who did the work")
    group.add_argument("--note", metavar="TEXT", help="free text for the report and the log")
    group.add_argument("--time", metavar="ISO8601",
                       help="when the data were measured, with its time zone, not in the "
                            "future (default: now); the history also keeps when the run "
                            "was entered")


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
        epilog="exit status: 0 done (a check: every line passed), 1 a check failed (demo: "
               "an unexpected result), 2 a problem with the command line, a file or the "
               "data, 3 the library refused, 4 no library, 5 a fault of lumitra")
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
    p.set_defaults(run=commands.cmd_demo)

    p = command("simulate", "write the spectra of a simulated detector as CSV")
    _add_detector(p, 0.0, 0.0, 2.0, 1)
    p.add_argument("--out", required=True, metavar="DIR", help="folder for the CSV files")
    _add_output(p, plot=False)
    p.set_defaults(run=commands.cmd_simulate)

    p = command("table", "wavelength table of a record, or the display grid")
    _add_record(p, history=False)
    p.add_argument("--raw", action="store_true",
                   help="take the record as it is, even one off the array (what the library "
                        "cannot compute is shown as not measured)")
    p.add_argument("--display", action="store_true", help="the display grid 190..800 nm")
    p.add_argument("--all", action="store_true", help="list every element's wavelength")
    p.add_argument("--at", type=float, nargs="+", metavar="NM",
                   help="calibrated element number of these wavelengths (190..800 nm)")
    _add_output(p)
    p.set_defaults(run=commands.cmd_table)

    p = command("calibrate", "new record from a deuterium spectrum (656.1 nm) and a trace "
                "with the 360.8 nm band as a maximum (holmium)")
    p.add_argument("spectrum1", help="deuterium lamp spectrum (512 values)")
    p.add_argument("spectrum2", help="holmium filter trace, bands as maxima (512 values)")
    p.add_argument("--dark1", metavar="FILE", help="dark subtracted from spectrum1")
    p.add_argument("--dark2", metavar="FILE", help="dark subtracted from spectrum2")
    p.add_argument("--method", type=int, choices=[0, 1], default=0,
                   help="0 maxima on the 64-sub-step fine grid, 1 refinement by the sibling "
                        "library")
    _add_record(p, help_text=RECORD_HELP + "; the record before this calibration, kept in "
                "its report and history (default: not given)")
    _add_tolerance(p, "largest deviation of 486.0 nm, the cross-check of the new record")
    _add_output(p)
    _add_qualification(p)
    p.set_defaults(run=commands.cmd_calibrate)

    p = command("wide-slit", "re-centre a record on the 656.1 nm line")
    p.add_argument("spectrum", help="deuterium lamp spectrum (512 values)")
    p.add_argument("--dark", metavar="FILE", help="dark subtracted from the spectrum")
    _add_record(p, required=True, help_text=RECORD_HELP + "; the detector's record to "
                "re-centre")
    _add_tolerance(p, "largest deviation of 486.0 nm, the cross-check of the new record")
    p.add_argument("--accept-large-move", action="store_true",
                   help="accept a move larger than the checks' narrowest window (refused "
                        "otherwise: the usual sign of a wrong spectrum or record)")
    _add_output(p)
    _add_qualification(p)
    p.set_defaults(run=commands.cmd_wide_slit)

    p = command("check-ho", "deuterium/holmium wavelength check")
    _add_record(p)
    p.add_argument("--d2", required=True, metavar="FILE", help="deuterium lamp spectrum")
    p.add_argument("--d2-dark", metavar="FILE", help="dark subtracted from --d2")
    p.add_argument("--holmium", metavar="FILE", help="holmium trace (bands as maxima)")
    p.add_argument("--holmium-dark", metavar="FILE", help="dark subtracted from --holmium")
    _add_tolerance(p)
    _add_output(p)
    _add_qualification(p)
    p.set_defaults(run=commands.cmd_check_ho)

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
    p.set_defaults(run=commands.cmd_check_hg)

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
    p.set_defaults(run=commands.cmd_check_user)

    p = command("lamp", "lamp diagnostics: reference value and band maximum")
    p.add_argument("lamp", choices=["d2", "w"], help="deuterium (230 nm, 200-260 nm) or "
                   "tungsten (600 nm, 400-800 nm)")
    p.add_argument("spectrum", help="611 display-grid values, wavelength/value pairs (nm), "
                   "or 512 element values with --record")
    _add_record(p, help_text=RECORD_HELP + "; gives the wavelengths of 512 element values "
                "(0 0 0 0: the default dispersion)")
    _add_output(p)
    _add_qualification(p)
    p.set_defaults(run=commands.cmd_lamp)

    p = command("history", "runs logged with --log, and each line's drift")
    p.add_argument("database", metavar="DB", help="the SQLite history")
    p.add_argument("--detector", metavar="ID", help="only this detector")
    p.add_argument("--since", metavar="DATE", help="only runs from this date (ISO 8601) on")
    p.add_argument("--verify", action="store_true",
                   help="check the audit trail: every run unchanged since it was logged, none "
                        "inserted or deleted (exit 1 naming each break)")
    p.add_argument("--csv", metavar="FILE",
                   help="also write every line result as CSV (columns in the README)")
    p.add_argument("--html", metavar="FILE",
                   help="also write the fleet page: every detector with its status, drift "
                        "and forecast, one self-contained HTML file")
    _add_output(p)
    p.set_defaults(run=commands.cmd_history)

    p = command("detector", "one detector's record, last calibration, last check and forecast")
    p.add_argument("database", metavar="DB", help="the SQLite history")
    p.add_argument("id", metavar="ID", help="the detector's identifier")
    _add_output(p, plot=False, files=False)
    p.set_defaults(run=commands.cmd_detector)
    return parser


# --- running -----------------------------------------------------------------

def _version_text() -> str:
    """The package's version and the library's: its version, file and how it
    was chosen. Raises LibraryNotFoundError (exit 4) without a library."""
    library = native.library()
    return (f"lumitra {__version__}\nlibrary {library.version} at {library.path} "
            f"({library.how})")


def _classify(error: BaseException) -> tuple[int, str, str, dict]:
    """The exit status, error name, one-line message and JSON extras of an
    exception: the one place where errors become statuses."""
    if isinstance(error, CalibrationRangeError):
        return (EXIT_LIBRARY, error.name,
                f"calibration rejected ({error.name}): record {error.record}: "
                + "; ".join(error.failures or ["outside the usable array"])
                + " (the array does not hold the usable wavelengths at this calibration: the "
                  "detector's optics need adjusting, which no record can do)",
                {"rejected_record": error.record.as_dict(),
                 "range_test_failures": error.failures})
    if isinstance(error, StatusError):
        return EXIT_LIBRARY, error.name, str(error), {}
    if isinstance(error, (LibraryNotFoundError, MissingExportError)):
        return EXIT_NO_LIBRARY, "NO_LIBRARY", str(error), {}
    if isinstance(error, ImplausibleError):
        return EXIT_INPUT, "IMPLAUSIBLE", str(error), {}
    if isinstance(error, OutputError):
        return EXIT_INPUT, "OUTPUT", str(error), {}
    if isinstance(error, (InputError, spectra_io.SpectrumFileError)):
        return EXIT_INPUT, "INPUT", str(error), {}
    if isinstance(error, (sqlite3.Error,)):
        return EXIT_INPUT, "INPUT", f"history: {error}", {}
    if isinstance(error, OSError):
        where = error.filename or ""
        return EXIT_INPUT, "INPUT", f"{where}: {error.strerror or error}".lstrip(": "), {}
    return (EXIT_FAULT, "FAULT", f"a fault of lumitra ({type(error).__name__}: {error}); "
            "please report it with the command that gave it", {})


def _silence_stdout() -> None:
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, sys.stdout.fileno())


def _print(text: str) -> int | None:
    """Prints to standard output. A reader that went away (| head) ends the
    output quietly and the status stays that of the command; output that
    cannot be written (a full disk) is said in one line, with status 2."""
    try:
        print(text, flush=True)
    except BrokenPipeError:
        _silence_stdout()
    except OSError as error:
        _silence_stdout()
        print(f"lumitra: error: cannot write the output: {error.strerror or error} (the "
              "command itself was done: its files and history entry, if any, are kept)",
              file=sys.stderr)
        return EXIT_INPUT
    return None


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
                return _print(_version_text()) or EXIT_OK
            if args.command is None:
                raise CommandLineError("lumitra: give a command (lumitra --help lists them)")
            done = args.run(args)
    except KeyboardInterrupt:
        print("lumitra: interrupted; nothing was written", file=sys.stderr)
        return EXIT_INTERRUPTED
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
        failed = _print(json.dumps(data, indent=2, allow_nan=False, default=float))
    else:
        failed = _print("\n".join([done.text] + done.notes))
    return failed or done.status


if __name__ == "__main__":
    sys.exit(main())
