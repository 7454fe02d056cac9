"""The lumitra command line.

Exit status: 0 success; 1 a check ran but a line is outside its tolerance;
2 a problem with the command line or an input file; 3 the library reported
a failure (a calibration rejected by the range test, for example); 4 the
library could not be found or lacks an export.
"""

from __future__ import annotations

import argparse
import json
import sys
from pathlib import Path

import numpy as np

from . import __version__, optics, report, spectra_io
from .errors import (CalibrationRangeError, LibraryNotFoundError, MissingExportError,
                     StatusError)
from .native import ELEMENT_COUNT
from .records import CalibrationRecord, UserLine

EXIT_OK, EXIT_CHECK_FAILED, EXIT_INPUT, EXIT_LIBRARY, EXIT_NO_LIBRARY = 0, 1, 2, 3, 4


class InputError(Exception):
    """A problem with what the person gave us (one line, exit status 2)."""


def _record(values) -> CalibrationRecord:
    if values is None:
        return CalibrationRecord.UNCALIBRATED
    try:
        return CalibrationRecord.parse(values)
    except (TypeError, ValueError) as error:
        raise InputError(f"--record: {error}") from None


def _emit(args, text: str, data) -> None:
    if args.json:
        print(json.dumps(data, indent=2, allow_nan=False, default=float))
    else:
        print(text)


def _scale(record: CalibrationRecord) -> np.ndarray:
    from .tables import wavelength_table
    return wavelength_table(record)[:ELEMENT_COUNT] / 100.0


def _plotted(args, path) -> None:
    if not args.json:
        print(f"Figure written to {path}")


def _optional(path):
    return None if path is None else spectra_io.read_element_spectrum(path)


# --- subcommands -------------------------------------------------------------

def cmd_demo(args) -> int:
    from .demo import DEMO_DETECTOR, demo_json, demo_text, run_demo
    detector = DEMO_DETECTOR.with_changes(
        shift=args.shift, slope_error=args.slope_error / 100.0, slit=args.slit,
        slit_shape=args.slit_shape, seed=args.seed)
    outcome = run_demo(detector, args.tolerance)
    figure = None
    if not args.no_plot:
        from .plotting import demo_figure
        figure = str(Path(demo_figure(outcome, args.out)).resolve())
    _emit(args, demo_text(outcome, figure), demo_json(outcome, figure))
    return EXIT_OK


def cmd_simulate(args) -> int:
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
    _emit(args, "\n".join(["wrote " + p for p in written]), info)
    return EXIT_OK


def cmd_table(args) -> int:
    from .tables import corrected_element, display_table, wavelength_table
    record = _record(args.record)
    table = display_table(record) if args.display else wavelength_table(record)
    at = [(nm, corrected_element(nm, record)) for nm in args.at or []]
    data = {"record": report.record_json(record), "display": args.display,
            "count": int(table.size), "wavelengths_hundredths": table.tolist(),
            "elements_of": [{"wavelength_nm": nm, "element": e} for nm, e in at]}
    if args.display:
        lines = [f"display grid: {table.size} wavelengths {table[0] / 100:.2f} .. "
                 f"{table[-1] / 100:.2f} nm in 1-nm steps"]
    else:
        lines = [f"record {report.describe_record(record)}",
                 f"element wavelengths {report.describe_table(table)}"]
        if args.all:
            for start in range(0, table.size, 8):
                chunk = table[start:start + 8]
                lines.append(f"  {start + 1:>3}: " + " ".join(f"{v / 100:8.2f}" for v in chunk))
    for nm, element in at:
        lines.append(f"{nm:.2f} nm falls on element {element:.4f}")
    _emit(args, "\n".join(lines), data)
    if args.plot:
        from .plotting import table_figure
        if args.display:
            raise InputError("--plot draws the element table; leave out --display")
        _plotted(args, table_figure(args.plot, table, f"Wavelength table of record {record}"))
    return EXIT_OK


def _calibration_plot(path, record, d2, trace, dark1, dark2):
    from .plotting import Panel, spectra_figure
    scale = _scale(record)
    p1, p2 = record.positions
    at = lambda p: float(optics.record_wavelength(p, record))  # noqa: E731
    first = d2 - (dark1 if dark1 is not None else 0.0)
    second = trace - (dark2 if dark2 is not None else 0.0)
    return spectra_figure(path, f"Calibration record {record}", [
        Panel("656.1 nm line (first spectrum less dark), on the new scale", scale,
              [("spectrum 1", first)], [(at(p2), f"656.1 at element {p2:.3f}")]),
        Panel("360.8 nm line (second spectrum less dark), on the new scale", scale,
              [("spectrum 2", second)], [(at(p1), f"360.8 at element {p1:.3f}")],
              ylabel="value")])


def cmd_calibrate(args) -> int:
    from .calibration import calibrate
    d2 = spectra_io.read_element_spectrum(args.spectrum1)
    trace = spectra_io.read_element_spectrum(args.spectrum2)
    dark1, dark2 = _optional(args.dark1), _optional(args.dark2)
    try:
        record = calibrate(d2, trace, dark1=dark1, dark2=dark2, method=args.method)
    except CalibrationRangeError as error:
        if args.json:
            print(json.dumps({"error": error.name, "message": str(error),
                              "rejected_record": report.record_json(error.record),
                              "range_test_failures": optics.range_test(error.record)},
                             indent=2))
        raise
    table = _scale(record)
    text = "\n".join([f"new record {report.describe_record(record)}",
                      f"wavelength table {table[0]:.2f} .. {table[-1]:.2f} nm",
                      f"as arguments: --record {' '.join(map(str, record.as_tuple()))}"])
    _emit(args, text, {"record": report.record_json(record),
                       "table_nm": [float(table[0]), float(table[-1])]})
    if args.plot:
        _plotted(args, _calibration_plot(args.plot, record, d2, trace, dark1, dark2))
    return EXIT_OK


def cmd_wide_slit(args) -> int:
    from .calibration import calibrate_wide_slit
    from .plotting import Panel, spectra_figure
    record = _record(args.record)
    spectrum = spectra_io.read_element_spectrum(args.spectrum)
    new = calibrate_wide_slit(spectrum, record)
    shift = new.position2 - record.position2
    text = "\n".join([f"old record {report.describe_record(record)}",
                      f"new record {report.describe_record(new)}",
                      f"both positions moved by {shift:+d}/64 element ({shift / 64:+.3f})",
                      f"as arguments: --record {' '.join(map(str, new.as_tuple()))}"])
    _emit(args, text, {"old_record": report.record_json(record),
                       "record": report.record_json(new), "shift_64ths": shift})
    if args.plot:
        p2 = new.positions[1]
        _plotted(args, spectra_figure(args.plot, f"Wide-slit calibration: record {new}", [
            Panel("656.1 nm line, on the new scale", _scale(new), [("spectrum", spectrum)],
                  [(optics.record_wavelength(p2, new), f"656.1 at element {p2:.3f}")])]))
    return EXIT_OK


def _check_exit(result) -> int:
    return EXIT_OK if result.passed else EXIT_CHECK_FAILED


def cmd_check_ho(args) -> int:
    from .checks import check_holmium
    from .plotting import Panel, check_marks, spectra_figure
    record = _record(args.record)
    d2 = spectra_io.read_element_spectrum(args.d2)
    holmium = _optional(args.holmium)
    d2_dark, ho_dark = _optional(args.d2_dark), _optional(args.holmium_dark)
    result = check_holmium(record, d2, holmium, d2_background=d2_dark,
                           holmium_background=ho_dark, tolerance=args.tolerance)
    text = f"record {report.describe_record(record)}\n" + report.format_check(result)
    _emit(args, text, report.check_json(result))
    if args.plot:
        scale = _scale(record)
        panels = [Panel("Deuterium lamp", scale,
                        [("deuterium", d2 - (d2_dark if d2_dark is not None else 0.0))],
                        check_marks(result, ["deuterium"]))]
        if holmium is not None:
            panels.append(Panel("Holmium trace", scale, [("holmium", holmium - (
                ho_dark if ho_dark is not None else 0.0))], check_marks(result, ["holmium"]),
                ylabel="value"))
        _plotted(args, spectra_figure(args.plot, f"Deuterium/holmium check, record {record}",
                                      panels))
    return _check_exit(result)


def cmd_check_hg(args) -> int:
    from .checks import check_mercury
    from .plotting import Panel, check_marks, spectra_figure
    record = _record(args.record)
    d2 = spectra_io.read_element_spectrum(args.d2)
    hg1 = spectra_io.read_element_spectrum(args.hg1)
    hg2 = spectra_io.read_element_spectrum(args.hg2)
    dark = _optional(args.dark)
    result = check_mercury(record, d2, hg1, hg2, background=dark, tolerance=args.tolerance)
    text = f"record {report.describe_record(record)}\n" + report.format_check(result)
    _emit(args, text, report.check_json(result))
    if args.plot:
        scale = _scale(record)
        less = (lambda s: s - dark) if dark is not None else (lambda s: s)
        _plotted(args, spectra_figure(args.plot, f"Deuterium/mercury check, record {record}", [
            Panel("Deuterium lamp", scale, [("deuterium", less(d2))],
                  check_marks(result, ["deuterium"])),
            Panel("Mercury lamp (log scale)", scale,
                  [("mercury 1", less(hg1)), ("mercury 2", less(hg2))],
                  check_marks(result, ["mercury 1", "mercury 2"]), log=True)]))
    return _check_exit(result)


def _user_line(text: str) -> UserLine:
    parts = text.split(":")
    if not 1 <= len(parts) <= 4:
        raise InputError(f"--line {text!r}: expected TARGET[:HALF_WINDOW[:ALLOWED[:valley]]]")
    try:
        numbers = [float(p) for p in parts[:3]]
    except ValueError:
        raise InputError(f"--line {text!r}: target, half window and allowed deviation are "
                         "numbers in nm") from None
    valley = False
    if len(parts) == 4:
        if parts[3] not in ("peak", "valley"):
            raise InputError(f"--line {text!r}: the fourth field is 'peak' or 'valley'")
        valley = parts[3] == "valley"
    return UserLine(*numbers, valley=valley)


def cmd_check_user(args) -> int:
    from .checks import check_user
    from .plotting import Panel, spectra_figure
    record = _record(args.record)
    first_file = spectra_io.read_spectrum(args.first)
    second_file = spectra_io.read_spectrum(args.second)
    display = first_file.on_display_grid and second_file.on_display_grid
    read = spectra_io.read_display_spectrum if display else spectra_io.read_element_spectrum
    first, second = read(args.first), read(args.second)
    lines = [_user_line(text) for text in args.line]
    if not 1 <= len(lines) <= 4:
        raise InputError("give 1 to 4 --line options")
    results = check_user(record, first, second, lines, display=display)
    heading = (f"record {report.describe_record(record)}\n"
               f"user-defined check on second - first ({'display grid' if display else 'elements'})")
    _emit(args, heading + "\n" + report.user_lines_text(results),
          {"record": report.record_json(record), "display": display,
           "passed": all(r.passed for r in results), "lines": report.user_lines_json(results)})
    if args.plot:
        scale = spectra_io.DISPLAY_GRID_NM if display else _scale(record)
        _plotted(args, spectra_figure(args.plot, f"User-defined check, record {record}", [
            Panel("second - first", scale, [("difference", second - first)],
                  [(r.found, f"{r.target:.2f}: found {r.found:.2f}") for r in results],
                  ylabel="value")]))
    return EXIT_OK if all(r.passed for r in results) else EXIT_CHECK_FAILED


def cmd_lamp(args) -> int:
    from .lamps import lamp_info, max_voltage
    from .plotting import Panel, spectra_figure
    spectrum = spectra_io.read_spectrum(args.spectrum)
    if spectrum.on_display_grid:
        wavelengths, info = spectra_io.DISPLAY_GRID_NM, lamp_info(args.lamp, spectrum.values)
    elif spectrum.wavelengths is not None:
        wavelengths = spectrum.wavelengths
        if not 3 <= wavelengths.size <= 1024:
            raise InputError(f"{spectrum.path}: a lamp spectrum has 3 to 1024 points, found "
                             f"{wavelengths.size}")
        info = lamp_info(args.lamp, spectrum.values, wavelengths)
    elif spectrum.values.size == ELEMENT_COUNT:
        wavelengths = _scale(_record(args.record))
        info = lamp_info(args.lamp, spectrum.values, wavelengths)
    else:
        raise InputError(f"{spectrum.path}: expected 512 element values, 611 display-grid "
                         f"values, or wavelength/value pairs; found {spectrum.values.size} values")
    largest = max_voltage(spectrum.values)
    _emit(args, report.lamp_text(info, largest), report.lamp_json(info, largest))
    if args.plot:
        marks = [(info.reference_wavelength, f"{info.reference_wavelength:.0f} nm")]
        if info.maximum_wavelength is not None:
            marks.append((info.maximum_wavelength, f"maximum {info.maximum_wavelength:.2f}"))
        _plotted(args, spectra_figure(args.plot, f"{args.lamp} lamp", [
            Panel("lamp spectrum", wavelengths, [("spectrum", spectrum.values)], marks)]))
    return EXIT_OK


# --- parser ------------------------------------------------------------------

def _add_output(parser, plot=True) -> None:
    parser.add_argument("--json", action="store_true", help="machine-readable output")
    if plot:
        parser.add_argument("--plot", metavar="FILE", help="also write a PNG figure")


def _add_record(parser, help_text="calibration record (default: uncalibrated 0 0 0 0)"):
    parser.add_argument("--record", nargs=4, metavar=("W1", "P1", "W2", "P2"), help=help_text)


def _add_detector(parser, shift: float, slope: float, slit: float, seed: int) -> None:
    parser.add_argument("--shift", type=float, default=shift,
                        help=f"elements by which 656.1 nm lies above element 383 (default {shift})")
    parser.add_argument("--slope-error", type=float, default=slope, metavar="PERCENT",
                        help=f"error of the dispersion in percent (default {slope})")
    parser.add_argument("--slit", type=float, default=slit, metavar="NM",
                        help=f"spectral bandwidth in nm (default {slit})")
    parser.add_argument("--slit-shape", choices=["triangular", "gaussian"], default="triangular")
    parser.add_argument("--seed", type=int, default=seed, help="noise seed")


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="lumitra", description="Wavelength calibration and accuracy checks of a "
        "photodiode-array detector, through liblumitra.so. Spectra are CSV or text files of "
        "512 values (element 1 first) or wavelength/value pairs on the display grid.",
        epilog="exit status: 0 ok, 1 a check line outside tolerance, 2 bad input, "
               "3 library failure, 4 library not found")
    parser.add_argument("--version", action="version", version=f"lumitra {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND")

    p = sub.add_parser("demo", help="the main job: calibrate a simulated detector and check it")
    _add_detector(p, 3.0, 0.15, 2.0, 7)
    p.add_argument("--tolerance", type=float, default=1.0, metavar="NM")
    p.add_argument("--out", default="lumitra-demo.png", metavar="FILE", help="figure (PNG)")
    p.add_argument("--no-plot", action="store_true", help="no figure")
    _add_output(p, plot=False)
    p.set_defaults(run=cmd_demo)

    p = sub.add_parser("simulate", help="write the spectra of a simulated detector as CSV")
    _add_detector(p, 0.0, 0.0, 2.0, 1)
    p.add_argument("--out", required=True, metavar="DIR")
    _add_output(p, plot=False)
    p.set_defaults(run=cmd_simulate)

    p = sub.add_parser("table", help="wavelength table of a record, or the display grid")
    _add_record(p)
    p.add_argument("--display", action="store_true", help="the display grid 190..800 nm")
    p.add_argument("--all", action="store_true", help="list every element's wavelength")
    p.add_argument("--at", type=float, nargs="+", metavar="NM",
                   help="calibrated element number of these wavelengths")
    _add_output(p)
    p.set_defaults(run=cmd_table)

    p = sub.add_parser("calibrate", help="new record from a deuterium spectrum (656.1 nm) and "
                       "a trace with the 360.8 nm band as a maximum (holmium)")
    p.add_argument("spectrum1", help="deuterium lamp spectrum")
    p.add_argument("spectrum2", help="holmium filter trace (bands as maxima)")
    p.add_argument("--dark1", metavar="FILE", help="dark subtracted from spectrum1")
    p.add_argument("--dark2", metavar="FILE", help="dark subtracted from spectrum2")
    p.add_argument("--method", type=int, default=0,
                   help="0 fine grid (default); other values use the sibling library")
    _add_output(p)
    p.set_defaults(run=cmd_calibrate)

    p = sub.add_parser("wide-slit", help="re-centre a record on the 656.1 nm line")
    p.add_argument("spectrum", help="deuterium lamp spectrum")
    _add_record(p, "the record to re-centre")
    _add_output(p)
    p.set_defaults(run=cmd_wide_slit)

    p = sub.add_parser("check-ho", help="deuterium/holmium wavelength check")
    _add_record(p)
    p.add_argument("--d2", required=True, metavar="FILE", help="deuterium lamp spectrum")
    p.add_argument("--d2-dark", metavar="FILE")
    p.add_argument("--holmium", metavar="FILE", help="holmium trace (bands as maxima)")
    p.add_argument("--holmium-dark", metavar="FILE")
    p.add_argument("--tolerance", type=float, default=1.0, metavar="NM")
    _add_output(p)
    p.set_defaults(run=cmd_check_ho)

    p = sub.add_parser("check-hg", help="deuterium/mercury wavelength check")
    _add_record(p)
    p.add_argument("--d2", required=True, metavar="FILE", help="deuterium lamp spectrum")
    p.add_argument("--hg1", required=True, metavar="FILE", help="mercury spectrum for 253.7 nm")
    p.add_argument("--hg2", required=True, metavar="FILE",
                   help="mercury spectrum for 404.7, 435.8, 546.1 nm")
    p.add_argument("--dark", metavar="FILE", help="subtracted from all three")
    p.add_argument("--tolerance", type=float, default=1.0, metavar="NM")
    _add_output(p)
    p.set_defaults(run=cmd_check_hg)

    p = sub.add_parser("check-user", help="up to four lines of your choice in second - first")
    _add_record(p)
    p.add_argument("first")
    p.add_argument("second")
    p.add_argument("--line", action="append", required=True,
                   metavar="TARGET[:HALF_WINDOW[:ALLOWED[:valley]]]",
                   help="nm; default half window 2, allowed deviation 1; repeat up to 4 times")
    _add_output(p)
    p.set_defaults(run=cmd_check_user)

    p = sub.add_parser("lamp", help="lamp diagnostics: reference value and band maximum")
    p.add_argument("lamp", choices=["d2", "w"], help="deuterium (230 nm, 200-260 nm) or "
                   "tungsten (600 nm, 400-800 nm)")
    p.add_argument("spectrum")
    _add_record(p, "record giving the wavelengths of a 512-value element spectrum")
    _add_output(p)
    p.set_defaults(run=cmd_lamp)
    return parser


def _fail(message: str, status: int) -> int:
    print(f"lumitra: error: {message}", file=sys.stderr)
    return status


def main(argv=None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    if args.command is None:
        parser.print_help()
        return EXIT_INPUT
    try:
        return args.run(args)
    except (InputError, spectra_io.SpectrumFileError) as error:
        return _fail(str(error), EXIT_INPUT)
    except CalibrationRangeError as error:
        failures = optics.range_test(error.record)
        return _fail(f"calibration rejected ({error.name}): record {error.record}: "
                     + "; ".join(failures or ["outside the usable array"]), EXIT_LIBRARY)
    except StatusError as error:
        return _fail(str(error), EXIT_LIBRARY)
    except (LibraryNotFoundError, MissingExportError) as error:
        return _fail(str(error), EXIT_NO_LIBRARY)
    except ValueError as error:
        return _fail(str(error), EXIT_INPUT)
    except OSError as error:
        return _fail(f"{error.filename or ''}: {error.strerror or error}".lstrip(": "),
                     EXIT_INPUT)
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(main())
