"""Lumitra for Python: the wavelength scale, calibration and accuracy checks
of a photodiode-array UV/VIS detector, over the native liblumitra.so.

    import lumitra
    from lumitra.simulator import Detector
    data = Detector(shift=3.0).measure_all()
    record = lumitra.calibrate(data.d2, data.holmium, dark1=data.dark)
    print(record, lumitra.check_mercury(record, data.d2, data.hg1, data.hg2, data.dark).passed)

Spectra are numpy arrays of 512 values (element 1 first); wavelengths you
pass are in nm; the library's tables are int32 arrays in 0.01 nm; every
function that takes a record takes it first. Failing status codes become
exceptions (lumitra.api.errors); buffers the library hands back are copied
and freed through its CoTaskMemFree.

The package uses the library installed inside it by pip, or the one named by
the environment variable LUMITRA_LIBRARY. Arguments are checked before the
library is called (lumitra.api.inputs, with the library's own limits): what
it would misread raises InputError, a ValueError, with the reason. Every
export is reachable except Lumitra_GetStringLambdaMinMax, which shares a C++
std::string with its caller and cannot be called through ctypes.

The package is in two layers: ``lumitra.api``, the functions over the
library, and ``lumitra.app``, the command line, reports and history on top
of it; ``lumitra.simulator`` models a detector for tests and the demo.
"""

from . import _version

__version__ = _version.package_version()
__all__ = [
    "AbortError", "CalibrationRangeError", "CalibrationRecord", "CheckLine", "CheckResult",
    "FailError", "ImplausibleError", "InputError", "InvalidArgError", "LampInfo",
    "LibraryNotFoundError", "LineNotFoundError", "LumitraError", "MissingExportError",
    "NoInterfaceError", "OutOfMemoryError", "StatusError", "UnexpectedError", "UserLine",
    "UserLineResult", "calibrate", "calibrate_ex", "calibrate_wide_slit", "check_holmium",
    "check_mercury", "check_user", "compare_tables", "corrected_element", "display_table",
    "element_range", "element_wavelengths", "filtrate_low_frequency", "find_target_element",
    "lamp_info", "max_voltage", "record", "spline_midpoints", "spline_substeps",
    "wavelength_table",
]


def __getattr__(name: str):
    """The API's names, imported on first use: importing the package itself
    needs nothing beyond the standard library, so that the command can say
    what is missing instead of failing with a traceback."""
    if name in __all__:
        from . import api
        return getattr(api, name)
    raise AttributeError(f"module 'lumitra' has no attribute {name!r}")
