#!/usr/bin/python3
"""Writes the example data sets of examples/ from the simulator and records
the calibration and check results the library gives for them.

    python3 python/tools/make_examples.py [--spectra-only] [OUTPUT_DIR]
"""

import argparse
import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from lumitra.api.errors import CalibrationRangeError  # noqa: E402
from lumitra.app import formatting, spectra_io  # noqa: E402
from lumitra.simulator import Detector  # noqa: E402

# name: (detector, what the set shows)
SETS = {
    "shifted-detector": (
        Detector(shift=3.0, slope_error=0.0015, slit=2.0, seed=7),
        "656.1 nm three elements above the default position, dispersion 0.15 % too wide: "
        "both checks fail with the default record and pass after calibration"),
    "out-of-range": (
        Detector(shift=-6.5, slope_error=0.0, slit=3.0, seed=11),
        "656.1 nm 6.5 elements below the default position: the calibration's range test "
        "rejects the new record (190 nm would fall below element 3.0)"),
}

DESCRIPTIONS = {"dark": "dark spectrum (counts)", "d2": "deuterium lamp (counts)",
                "holmium": "holmium filter trace (milli-absorbance, bands are maxima)",
                "hg1": "mercury lamp, exposed for 253.7 nm (counts)",
                "hg2": "mercury lamp, exposed for the visible lines (counts)"}


def write_spectra(folder: Path, detector: Detector) -> dict:
    folder.mkdir(parents=True, exist_ok=True)
    data = detector.measure_all()
    about = (f"simulated detector: shift {detector.shift:+.3f} elements, dispersion error "
             f"{detector.slope_error * 100:+.3f} %, slit {detector.slit} nm "
             f"{detector.slit_shape}, seed {detector.seed}")
    for name, values in data.items():
        (folder / f"{name}.csv").write_text(spectra_io.spectrum_text(
            values, f"{DESCRIPTIONS[name]}\n{about}\n512 values, element 1 first"),
            encoding="utf-8")
    return {name: values for name, values in data.items()}


def expected_results(spectra: dict, detector: Detector, about: str) -> dict:
    from lumitra.api.calibration import calibrate
    from lumitra.app.demo import run_checks
    from lumitra.simulator import SpectrumSet, true_record_positions

    result = {"about": about,
              "detector": {"shift_elements": detector.shift,
                           "slope_error": detector.slope_error, "slit_nm": detector.slit,
                           "slit_shape": detector.slit_shape, "seed": detector.seed,
                           "true_positions_360_8_and_656_1": true_record_positions(detector)}}
    data = SpectrumSet(detector=detector, d2_filtered=spectra["d2"], **spectra)
    try:
        record = calibrate(data.d2, data.holmium, dark1=data.dark)
    except CalibrationRangeError as error:
        result["calibration"] = {"error": error.name,
                                 "rejected_record": error.record.as_dict(),
                                 "range_test_failures": error.failures}
        return result
    result["calibration"] = {"record": record.as_dict()}
    for label, used in (("checks_with_default_record", None), ("checks_with_new_record", record)):
        holmium, mercury = run_checks(used, data, 1.0)
        result[label] = {"holmium": formatting.check_json(holmium),
                         "mercury": formatting.check_json(mercury)}
    return result


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("output", nargs="?", default=str(Path(__file__).resolve().parents[2]
                                                         / "examples"))
    parser.add_argument("--spectra-only", action="store_true",
                        help="write the spectra but not expected.json (needs no library)")
    args = parser.parse_args()
    for name, (detector, about) in SETS.items():
        folder = Path(args.output) / name
        spectra = write_spectra(folder, detector)
        if not args.spectra_only:
            # The results are those of the spectra as read back from the files.
            read = {n: spectra_io.read_element_spectrum(folder / f"{n}.csv") for n in spectra}
            expected = expected_results(read, detector, about)
            (folder / "expected.json").write_text(json.dumps(expected, indent=2) + "\n")
        print(f"wrote {folder}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
