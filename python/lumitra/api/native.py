"""The C interface of liblumitra.so through ctypes: records, exports, loading.

The records are ctypes structures with the names and field names of
``include/lumitra/lumitra.h`` and ``lumitra_rules.h``. ``EXPORTS`` declares
every export this package calls; those that return a status get one
``errcheck`` that turns a failing status into the exception of its code, so
no caller tests a status itself.

The library is the package's own copy (``lumitra/_lib/``, built and put
there by ``pip install``), or the file named by the environment variable
``LUMITRA_LIBRARY``, which overrides it. It is loaded on first use and each
export is resolved when it is first called, so the exports that exist work
even with an older library.

``Lumitra_GetStringLambdaMinMax`` is the one export not declared here: it
shares a C++ ``std::string`` with its caller, which ctypes cannot provide.
"""

from __future__ import annotations

import ctypes
import os
import threading
from ctypes import (POINTER, CFUNCTYPE, Structure, c_char_p, c_double, c_int16, c_int32, c_long,
                    c_size_t, c_uint8, c_uint16, c_uint32, c_void_p)
from pathlib import Path

from .errors import LibraryNotFoundError, MissingExportError, error_for_status, to_signed

LIBRARY_ENV = "LUMITRA_LIBRARY"
LIBRARY_FILE = "liblumitra.so.1"
PACKAGED_LIBRARY = Path(__file__).resolve().parents[1] / "_lib" / LIBRARY_FILE

# ---------------------------------------------------------------------------
# Records
# ---------------------------------------------------------------------------


class CalibrationRecord(Structure):
    _fields_ = [("wavelength1", c_int32), ("position1", c_int32),
                ("wavelength2", c_int32), ("position2", c_int32)]


class SplineRequest(Structure):
    _fields_ = [("mode", c_int32), ("inX", POINTER(c_double)), ("inY", POINTER(c_int32)),
                ("outX", POINTER(c_double)), ("outY", POINTER(c_int32)),
                ("reserved", c_int32), ("startX", c_double), ("endX", c_double),
                ("outCount", c_int32), ("subSteps", c_int32)]


class WavelengthCheckResult(Structure):
    _fields_ = [("lineCount", c_int16), ("padding", c_uint8 * 6),
                ("referenceWavelength", c_double * 8), ("measuredWavelength", c_double * 8),
                ("deviation", c_double * 8), ("lineWidth", c_double * 8),
                ("withinTolerance", c_int32 * 8)]


class UserCheckLine(Structure):
    _fields_ = [("targetWavelength", c_int32), ("halfWindow", c_int32),
                ("allowedDeviation", c_int32), ("foundWavelength", c_int32),
                ("difference", c_int32), ("findMinimum", c_int32), ("passed", c_int32),
                ("reserved", c_int32 * 8)]


class UserCheckList(Structure):
    _fields_ = [("checkCount", c_int16), ("option", c_int16), ("lines", UserCheckLine * 4)]


class ISpectrumSource(Structure):
    pass


# On Linux the host's GetSpectrum uses the platform's C calling convention.
GetSpectrumFn = CFUNCTYPE(c_int32, POINTER(ISpectrumSource), c_int32, POINTER(POINTER(c_double)),
                          POINTER(c_int32), POINTER(POINTER(c_int32)), c_int32, c_int32,
                          c_int32, c_int32)


class ISpectrumSourceVtbl(Structure):
    _fields_ = [("otherMethods", c_void_p * 12), ("GetSpectrum", GetSpectrumFn)]


ISpectrumSource._fields_ = [("lpVtbl", POINTER(ISpectrumSourceVtbl))]


class BGSubtractionRequest(Structure):
    _fields_ = [("spectrumTime", c_int32), ("backgroundTime1", c_int32),
                ("backgroundTime2", c_int32), ("dataSource", POINTER(ISpectrumSource)),
                ("selectorB", c_uint16), ("selectorA", c_int16)]


class UVSpecData(Structure):
    _fields_ = [("time", c_int32), ("pointCount", c_int32), ("firstWavelength", c_int32),
                ("lastWavelength", c_int32), ("maxValue", c_double), ("minValue", c_double),
                ("values", POINTER(c_double)), ("wavelengths", POINTER(c_int32)),
                ("reserved1", c_int32), ("reserved2", c_int32)]


# Peak table of the chromatogram utilities (offsets from the table start).
PEAK_RECORD_SIZE = 1056
PEAK_FLAGS_OFFSET = 16
PEAK_RETENTION_TIME_OFFSET = 20
PEAK_START_TIME_OFFSET = 72
PEAK_END_TIME_OFFSET = 76


class LumitraLimits(Structure):
    _fields_ = [("elementCount", c_int32), ("displayGridCount", c_int32),
                ("displayGridFirst", c_double), ("displayGridLast", c_double),
                ("fineSteps", c_int32), ("fineCount", c_int32), ("fineValueLimit", c_double),
                ("filterHalfWidth", c_int32), ("baselineElements", c_int32),
                ("rangeLowWavelength", c_double), ("rangeLowPosition", c_double),
                ("rangeHighWavelength", c_double), ("rangeHighPosition", c_double),
                ("calibrationLine1", c_int32), ("calibrationLine2", c_int32),
                ("userCheckMaxLines", c_int32), ("userCheckMaxOption", c_int32),
                ("lampMinPoints", c_int32), ("lampMaxPoints", c_int32),
                ("d2LampReference", c_double), ("d2BandFirst", c_double),
                ("d2BandLast", c_double), ("wLampReference", c_double),
                ("wBandFirst", c_double), ("wBandLast", c_double)]


class LumitraLineSearch(Structure):
    _fields_ = [("reference", c_double), ("input", c_int32), ("samplesPerElement", c_int32),
                ("filterHalfWidth", c_int32), ("firstSample", c_int32), ("lastSample", c_int32),
                ("foundSample", c_int32), ("floor", c_double), ("firstPosition", c_double),
                ("lastPosition", c_double), ("foundPosition", c_double)]


OPERATION_CALIBRATION = 0
OPERATION_REFINEMENT = 1
OPERATION_WIDE_SLIT = 2
OPERATION_HOLMIUM_CHECK = 3
OPERATION_MERCURY_CHECK = 4
MAX_LINE_SEARCHES = 8

# ---------------------------------------------------------------------------
# Exports
# ---------------------------------------------------------------------------

_record = POINTER(CalibrationRecord)
_doubles = POINTER(c_double)
_ints = POINTER(c_int32)
STATUS, VALUE = "status", "value"

# name: (result type, argument types, what the result is)
EXPORTS = {
    "Lumitra_GetWavelengthTable": (c_int32, [c_int32, _record, c_int16, POINTER(_ints), _ints],
                                   STATUS),
    "Lumitra_GetWavelengthTableForDisplay":
        (c_int32, [c_int32, _record, c_int16, POINTER(_ints), _ints], STATUS),
    "Lumitra_GetPdaCorrectedEleNo": (c_int32, [c_int32, _record, c_int32, _doubles], STATUS),
    "Lumitra_IsWavelengthTableEqual":
        (c_int32, [c_void_p, c_void_p, POINTER(c_uint16), POINTER(c_uint16), POINTER(c_uint16)],
         STATUS),
    "Lumitra_FindTargetElement": (c_int32, [c_int32, _ints, c_int32], VALUE),
    "Lumitra_GetElementIndexFromWavelengthTable":
        (c_int32, [c_int32, c_int32, _ints, c_int32, POINTER(c_uint16), POINTER(c_uint16)],
         STATUS),
    "Lumitra_SplineInterpolation": (c_int32, [POINTER(SplineRequest)], STATUS),
    "Lumitra_FiltrateLowFrequency": (c_int32, [_doubles, c_int32, c_uint32], STATUS),
    "Lumitra_DoWavelengthCalibration":
        (c_int32, [c_int32, _doubles, _doubles, _doubles, _doubles, _record], STATUS),
    "Lumitra_DoWavelengthCalibrationForWideSlit": (c_int32, [_doubles, _record], STATUS),
    "Lumitra_DoWavelengthCalibrationEx":
        (c_int32, [c_int32, _doubles, _doubles, _doubles, _doubles, _record, c_int32], STATUS),
    "Lumitra_DoWavelengthCheckD2Ho":
        (c_int32, [c_int32, c_double, _record, _doubles, _doubles, _doubles, _doubles,
                   POINTER(WavelengthCheckResult)], STATUS),
    "Lumitra_DoWavelengthCheckD2Hg":
        (c_int32, [c_int32, c_double, _record, _doubles, _doubles, _doubles, _doubles,
                   POINTER(WavelengthCheckResult)], STATUS),
    "Lumitra_DoUserDefinedWavelengthCheck":
        (c_int32, [c_int32, _record, _doubles, _doubles, POINTER(UserCheckList)], STATUS),
    "Lumitra_GetD2LampSpectrumMaxInfo":
        (c_int32, [c_int32, _ints, c_int32, _doubles, _doubles, _doubles, _ints], STATUS),
    "Lumitra_GetWLampSpectrumMaxInfo":
        (c_int32, [c_int32, _ints, c_int32, _doubles, _doubles, _doubles, _ints], STATUS),
    "Lumitra_GetMaxVoltage": (c_int32, [_doubles, c_int32, _ints], STATUS),
    "Lumitra_GetBasePeaks": (c_int32, [c_void_p, c_int32, _ints, _ints], STATUS),
    "Lumitra_GetBaseTimes": (c_int32, [c_void_p, c_int32, _ints, _ints], STATUS),
    "Lumitra_GetPeakFromRT": (c_int32, [c_void_p, c_int32, c_int16], VALUE),
    "Lumitra_GetBaseTimesFromRT": (c_int32, [c_void_p, c_int32, _ints, _ints], STATUS),
    "Lumitra_GetBGSubtractedSpectrum":
        (c_int32, [POINTER(BGSubtractionRequest), POINTER(_doubles), _ints, POINTER(_ints)],
         STATUS),
    "Lumitra_GetBGSubtractedUVSpecData":
        (c_int32, [POINTER(BGSubtractionRequest), POINTER(UVSpecData)], STATUS),
    # Linux only: the task allocator, its block count, and the rules.
    "CoTaskMemAlloc": (c_void_p, [c_size_t], VALUE),
    "CoTaskMemFree": (None, [c_void_p], VALUE),
    "LumitraDiagnostics_OutstandingTaskMemory": (c_long, [], VALUE),
    "LumitraInfo_Version": (c_char_p, [], VALUE),
    "LumitraInfo_GetLimits": (c_int32, [POINTER(LumitraLimits)], STATUS),
    "LumitraModel_Decode": (c_int32, [_record, _doubles, _doubles, _doubles], STATUS),
    "LumitraModel_PositionsOf": (c_int32, [_record, _doubles, c_int32, _doubles], STATUS),
    "LumitraModel_WavelengthsAt": (c_int32, [_record, _doubles, c_int32, _doubles], STATUS),
    "LumitraModel_NominalPositions": (c_int32, [_doubles, c_int32, _doubles], STATUS),
    "LumitraModel_RangeTest": (c_int32, [_record, _doubles, _doubles], VALUE),
    "LumitraRules_DescribeSearches":
        (c_int32, [c_int32, _record, POINTER(_doubles), POINTER(LumitraLineSearch), c_int32,
                   _ints], STATUS),
    "LumitraRules_SearchedData":
        (c_int32, [_doubles, c_int32, c_int32, _doubles, c_int32, _ints], STATUS),
}

# Exports of the library that ctypes cannot call, with the reason.
UNREACHABLE_EXPORTS = {
    "Lumitra_GetStringLambdaMinMax":
        "takes a C++ std::string& shared with the caller; use it from C++",
}


def _raise_on_failure(result, function, arguments):
    """The one status check: a negative status becomes its exception."""
    if to_signed(result) < 0:
        raise error_for_status(result, function.__name__)
    return result


class Library:
    """A loaded liblumitra.so whose exports are resolved on first use."""

    def __init__(self, path: str | os.PathLike, how: str = ""):
        self.path = str(path)
        self.how = how
        try:
            self._dll = ctypes.CDLL(self.path)
        except OSError as error:
            raise LibraryNotFoundError(f"cannot load {self.path}: {error}") from None
        self._functions: dict[str, object] = {}
        self._lock = threading.Lock()

    def function(self, name: str):
        """The declared export name, resolved and typed on first use."""
        found = self._functions.get(name)
        if found is not None:
            return found
        if name not in EXPORTS:
            raise MissingExportError(f"{name} is not an export this package declares")
        with self._lock:
            try:
                function = getattr(self._dll, name)
            except AttributeError:
                raise MissingExportError(
                    f"the library {self.path} has no export {name}; it is older than this "
                    "package: reinstall the package, or point LUMITRA_LIBRARY at a newer "
                    "library") from None
            restype, argtypes, result = EXPORTS[name]
            function.restype = restype
            function.argtypes = argtypes
            if result == STATUS:
                function.errcheck = _raise_on_failure
            self._functions[name] = function
        return function

    def __getattr__(self, name: str):
        if name in EXPORTS:
            return self.function(name)
        raise AttributeError(name)

    @property
    def version(self) -> str:
        """The version the library reports of itself."""
        return self.function("LumitraInfo_Version")().decode("ascii", "replace")

    def outstanding_task_memory(self) -> int:
        """Blocks of the task allocator not yet freed (by anyone)."""
        return int(self.function("LumitraDiagnostics_OutstandingTaskMemory")())


def locate_library() -> tuple[Path, str]:
    """The library this package uses and how it was chosen; raises
    LibraryNotFoundError."""
    configured = os.environ.get(LIBRARY_ENV)
    if configured is not None:
        path = Path(configured)
        if not path.is_file():
            raise LibraryNotFoundError(f"{LIBRARY_ENV}={configured!r} names no library file")
        return path.resolve(), f"the environment variable {LIBRARY_ENV}"
    if PACKAGED_LIBRARY.is_file():
        return PACKAGED_LIBRARY, "the package's own copy"
    raise LibraryNotFoundError(
        f"this lumitra package carries no {LIBRARY_FILE} (it runs from a source tree?): "
        f"install it with pip, which builds the library into it, or set {LIBRARY_ENV} to "
        "the library's path")


_library: Library | None = None
_library_lock = threading.Lock()


def library() -> Library:
    """The process's library, loaded on first use."""
    global _library
    if _library is None:
        with _library_lock:
            if _library is None:
                _library = Library(*locate_library())
    return _library
