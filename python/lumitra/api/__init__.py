"""The API over liblumitra.so: one function per thing the library does.

``native`` is the binding (ctypes records and exports, the one status
check, loading); ``rules`` asks the library for the numbers it decides
with; ``inputs`` and ``evidence`` check arguments and data before the
library is called; the other modules are the calls themselves.
"""

from .calibration import calibrate, calibrate_ex, calibrate_wide_slit
from .checks import check_holmium, check_mercury, check_user
from .errors import (AbortError, CalibrationRangeError, FailError, ImplausibleError,
                     InputError, InvalidArgError, LibraryNotFoundError, LineNotFoundError,
                     LumitraError, MissingExportError, NoInterfaceError, OutOfMemoryError,
                     StatusError, UnexpectedError)
from .inputs import record
from .kernels import filtrate_low_frequency, spline_midpoints, spline_substeps
from .lamps import lamp_info, max_voltage
from .records import (CalibrationRecord, CheckLine, CheckResult, LampInfo, UserLine,
                      UserLineResult)
from .tables import (compare_tables, corrected_element, display_table, element_range,
                     element_wavelengths, find_target_element, wavelength_table)

from .. import __all__  # noqa: E402,F401 -- one list of the API's names
