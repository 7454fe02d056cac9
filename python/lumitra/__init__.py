"""Lumitra for Python: the wavelength scale, calibration and accuracy checks
of a photodiode-array UV/VIS detector, over the native liblumitra.so.

    import lumitra
    from lumitra.simulator import Detector
    data = Detector(shift=3.0).measure_all()
    record = lumitra.calibrate(data.d2, data.holmium, dark1=data.dark)
    print(record, lumitra.check_mercury(record, data.d2, data.hg1, data.hg2, data.dark).passed)

Spectra are numpy arrays of 512 values (element 1 first); wavelengths you
pass are in nm; the library's tables are int32 arrays in 0.01 nm. Failing
status codes become exceptions (lumitra.errors); buffers the library hands
back are copied and freed through its CoTaskMemFree.

The library is found through the environment variable LUMITRA_LIBRARY, in
the CMake install prefix of the source tree's native build (or /usr/local,
/usr), or in the build tree (build/native/bin/liblumitra.so, then other
native builds). Arguments are checked before the library is called (see
lumitra.validation): what it would misread raises InputError, a ValueError,
with the reason. Every export is reachable except Lumitra_GetStringLambdaMinMax,
which shares a C++ std::string with its caller and cannot be called through
ctypes.
"""

from . import _version
from .calibration import calibrate, calibrate_ex, calibrate_wide_slit
from .checks import check_holmium, check_mercury, check_user
from .errors import (AbortError, CalibrationRangeError, FailError, InputError,
                     InvalidArgError, LibraryNotFoundError, LineNotFoundError, LumitraError,
                     MissingExportError, NoInterfaceError, OutOfMemoryError, StatusError,
                     UnexpectedError)
from .kernels import filtrate_low_frequency, spline_midpoints, spline_substeps
from .lamps import lamp_info, max_voltage
from .records import (CalibrationRecord, CheckLine, CheckResult, LampInfo, UserLine,
                      UserLineResult)
from .tables import (compare_tables, corrected_element, display_table, element_range,
                     element_wavelengths, find_target_element, wavelength_table)

__version__ = _version.package_version()

__all__ = [
    "AbortError", "CalibrationRangeError", "CalibrationRecord", "CheckLine", "CheckResult",
    "FailError", "InputError", "InvalidArgError", "LampInfo", "LibraryNotFoundError",
    "LineNotFoundError", "LumitraError",
    "MissingExportError", "NoInterfaceError", "OutOfMemoryError", "StatusError",
    "UnexpectedError", "UserLine", "UserLineResult", "calibrate", "calibrate_ex",
    "calibrate_wide_slit", "check_holmium", "check_mercury", "check_user", "compare_tables",
    "corrected_element", "display_table", "element_range", "element_wavelengths",
    "filtrate_low_frequency", "find_target_element", "lamp_info", "max_voltage",
    "spline_midpoints", "spline_substeps", "wavelength_table",
]
