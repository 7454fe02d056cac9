"""The C interface of liblumitra.so through ctypes.

The records are ctypes structures with the names and field names of
``include/lumitra/lumitra.h``; ``EXPORTS`` declares the argument and result
types of every export. The library is loaded on first use, and each export
is resolved when it is first called, so the package imports (and the exports
that exist work) even with a library that lacks some exports.

``Lumitra_GetStringLambdaMinMax`` is the one export not declared here: it
shares a C++ ``std::string`` with its caller, which ctypes cannot provide.
"""

from __future__ import annotations

import ctypes
import os
import re
import struct
import sys
import sysconfig
import threading
from ctypes import (POINTER, CFUNCTYPE, Structure, c_double, c_int16, c_int32, c_long,
                    c_size_t, c_uint8, c_uint16, c_uint32, c_void_p)
from pathlib import Path

from .errors import LibraryNotFoundError, MissingExportError

ELEMENT_COUNT = 512
DISPLAY_GRID_COUNT = 611
FINE_STEPS = 64
LIBRARY_ENV = "LUMITRA_LIBRARY"
LIBRARY_FILE = "liblumitra.so"

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


class LambdaListEntry(Structure):
    _fields_ = [("wavelength", c_int32), ("reserved", c_int32)]


class LambdaList(Structure):
    _fields_ = [("count2", c_uint16), ("count1", c_uint16), ("list2", LambdaListEntry * 10),
                ("list1", LambdaListEntry * 10)]


# Peak table of the chromatogram utilities (offsets from the table start).
PEAK_RECORD_SIZE = 1056
PEAK_FLAGS_OFFSET = 16
PEAK_RETENTION_TIME_OFFSET = 20
PEAK_START_TIME_OFFSET = 72
PEAK_END_TIME_OFFSET = 76

# ---------------------------------------------------------------------------
# Exports
# ---------------------------------------------------------------------------

_record = POINTER(CalibrationRecord)
_doubles = POINTER(c_double)
_ints = POINTER(c_int32)

# name: (result type, argument types)
EXPORTS = {
    "Lumitra_GetWavelengthTable": (c_int32, [c_int32, _record, c_int16, POINTER(_ints), _ints]),
    "Lumitra_GetWavelengthTableForDisplay":
        (c_int32, [c_int32, _record, c_int16, POINTER(_ints), _ints]),
    "Lumitra_GetPdaCorrectedEleNo": (c_int32, [c_int32, _record, c_int32, _doubles]),
    "Lumitra_IsWavelengthTableEqual":
        (c_int32, [c_void_p, c_void_p, POINTER(c_uint16), POINTER(c_uint16), POINTER(c_uint16)]),
    "Lumitra_FindTargetElement": (c_int32, [c_int32, _ints, c_int32]),
    "Lumitra_GetElementIndexFromWavelengthTable":
        (c_int32, [c_int32, c_int32, _ints, c_int32, POINTER(c_uint16), POINTER(c_uint16)]),
    "Lumitra_SplineInterpolation": (c_int32, [POINTER(SplineRequest)]),
    "Lumitra_FiltrateLowFrequency": (c_int32, [_doubles, c_int32, c_uint32]),
    "Lumitra_DoWavelengthCalibration":
        (c_int32, [c_int32, _doubles, _doubles, _doubles, _doubles, _record]),
    "Lumitra_DoWavelengthCalibrationForWideSlit": (c_int32, [_doubles, _record]),
    "Lumitra_DoWavelengthCalibrationEx":
        (c_int32, [c_int32, _doubles, _doubles, _doubles, _doubles, _record, c_int32]),
    "Lumitra_DoWavelengthCheckD2Ho":
        (c_int32, [c_int32, c_double, _record, _doubles, _doubles, _doubles, _doubles,
                   POINTER(WavelengthCheckResult)]),
    "Lumitra_DoWavelengthCheckD2Hg":
        (c_int32, [c_int32, c_double, _record, _doubles, _doubles, _doubles, _doubles,
                   POINTER(WavelengthCheckResult)]),
    "Lumitra_DoUserDefinedWavelengthCheck":
        (c_int32, [c_int32, _record, _doubles, _doubles, POINTER(UserCheckList)]),
    "Lumitra_GetD2LampSpectrumMaxInfo":
        (c_int32, [c_int32, _ints, c_int32, _doubles, _doubles, _doubles, _ints]),
    "Lumitra_GetWLampSpectrumMaxInfo":
        (c_int32, [c_int32, _ints, c_int32, _doubles, _doubles, _doubles, _ints]),
    "Lumitra_GetMaxVoltage": (c_int32, [_doubles, c_int32, _ints]),
    "Lumitra_GetBasePeaks": (c_int32, [c_void_p, c_int32, _ints, _ints]),
    "Lumitra_GetBaseTimes": (c_int32, [c_void_p, c_int32, _ints, _ints]),
    "Lumitra_GetPeakFromRT": (c_int32, [c_void_p, c_int32, c_int16]),
    "Lumitra_GetBaseTimesFromRT": (c_int32, [c_void_p, c_int32, _ints, _ints]),
    "Lumitra_GetBGSubtractedSpectrum":
        (c_int32, [POINTER(BGSubtractionRequest), POINTER(_doubles), _ints, POINTER(_ints)]),
    "Lumitra_GetBGSubtractedUVSpecData":
        (c_int32, [POINTER(BGSubtractionRequest), POINTER(UVSpecData)]),
    # The task allocator the library provides on Linux, and its block count.
    "CoTaskMemAlloc": (c_void_p, [c_size_t]),
    "CoTaskMemFree": (None, [c_void_p]),
    "LumitraDiagnostics_OutstandingTaskMemory": (c_long, []),
}

# Exports of the library that ctypes cannot call, with the reason.
UNREACHABLE_EXPORTS = {
    "Lumitra_GetStringLambdaMinMax":
        "takes a C++ std::string& shared with the caller; use it from C++",
}


class Library:
    """A loaded liblumitra.so whose exports are resolved on first use."""

    def __init__(self, path: str | os.PathLike):
        self.path = str(path)
        try:
            self._dll = ctypes.CDLL(self.path)
        except OSError as error:
            raise LibraryNotFoundError(f"cannot load {self.path}: {error}") from None
        self._functions: dict[str, object] = {}
        self._lock = threading.Lock()

    def has(self, name: str) -> bool:
        """Whether the library exports name (without declaring it)."""
        try:
            getattr(self._dll, name)
        except AttributeError:
            return False
        return True

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
                    f"the library {self.path} has no export {name}; build a newer library"
                ) from None
            restype, argtypes = EXPORTS[name]
            function.restype = restype
            function.argtypes = argtypes
            self._functions[name] = function
        return function

    def __getattr__(self, name: str):
        if name.startswith("Lumitra") or name.startswith("CoTaskMem"):
            return self.function(name)
        raise AttributeError(name)

    def outstanding_task_memory(self) -> int:
        """Blocks of the task allocator not yet freed (by anyone)."""
        return int(self.function("LumitraDiagnostics_OutstandingTaskMemory")())


def _repository_root() -> Path:
    """The source tree the package belongs to: where it was installed from
    (recorded at build time), or the tree it runs from."""
    try:
        from . import _install_info  # written into the installed package by setup.py
        return Path(_install_info.SOURCE_TREE)
    except ImportError:
        return Path(__file__).resolve().parents[2]


def _is_native_elf(path: Path) -> bool:
    """True when path is an ELF shared object this interpreter can load (same
    word size and machine), so that 32-bit builds in the tree are skipped."""
    try:
        with open(path, "rb") as handle:
            header = handle.read(20)
    except OSError:
        return False
    if len(header) < 20 or header[:4] != b"\x7fELF":
        return False
    word_bits = 64 if header[4] == 2 else 32
    if word_bits != struct.calcsize("P") * 8:
        return False
    byte_order = "<" if header[5] == 1 else ">"
    machine = struct.unpack(byte_order + "H", header[18:20])[0]
    with open(sys.executable, "rb") as handle:
        own = handle.read(20)
    own_order = "<" if own[5] == 1 else ">"
    return machine == struct.unpack(own_order + "H", own[18:20])[0]


def candidate_paths(root: Path | None = None) -> list[Path]:
    """Build-tree libraries: the native build of the tree, then other native
    builds, newest first."""
    root = root or _repository_root()
    preferred = root / "build" / "native" / "bin" / LIBRARY_FILE
    others = [p for p in (root / "build").glob(f"*/bin/{LIBRARY_FILE}")
              if p != preferred and _is_native_elf(p)]
    others.sort(key=lambda p: p.stat().st_mtime, reverse=True)
    found = [preferred] if preferred.is_file() else []
    return found + others


def _cache_value(cache: Path, name: str) -> str | None:
    try:
        text = cache.read_text(encoding="utf-8", errors="replace")
    except OSError:
        return None
    match = re.search(rf"^{name}:[A-Z]+=(.*)$", text, re.M)
    return match.group(1).strip() if match else None


def installed_paths(root: Path | None = None) -> list[Path]:
    """Libraries installed by `cmake --install` (beside their CMake package
    files): under the install prefix of the tree's native build, then under
    /usr/local and /usr."""
    root = root or _repository_root()
    prefixes = [_cache_value(root / "build" / "native" / "CMakeCache.txt",
                             "CMAKE_INSTALL_PREFIX"), "/usr/local", "/usr"]
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    found = []
    for prefix in filter(None, prefixes):
        for libdir in ("lib", "lib64", f"lib/{multiarch}"):
            directory = Path(prefix) / libdir
            library_path = directory / LIBRARY_FILE
            if ((directory / "cmake" / "Lumitra" / "LumitraConfig.cmake").is_file()
                    and library_path.is_file() and _is_native_elf(library_path)
                    and library_path not in found):
                found.append(library_path)
    return found


def locate_library() -> tuple[Path, str]:
    """The library this package uses and how it was found; raises
    LibraryNotFoundError."""
    configured = os.environ.get(LIBRARY_ENV)
    if configured:
        path = Path(configured)
        if not path.is_file():
            raise LibraryNotFoundError(f"{LIBRARY_ENV}={configured} is not a file")
        return path, f"the environment variable {LIBRARY_ENV}"
    installed = installed_paths()
    if installed:
        return installed[0], "the CMake install prefix"
    candidates = candidate_paths()
    if candidates:
        return candidates[0], f"the build tree of {_repository_root()}"
    raise LibraryNotFoundError(
        f"{LIBRARY_FILE} not found: build it (cmake --preset native && "
        f"cmake --build --preset native --target lumitra), install it (cmake --install "
        f"build/native), or set {LIBRARY_ENV} to its path")


def find_library() -> Path:
    """The library this package uses; raises LibraryNotFoundError."""
    return locate_library()[0]


def library_version(path: Path) -> str:
    """The project version the library at path was built as: from the CMake
    package files beside an installed library or the cache of its build."""
    path = Path(path).resolve()
    config = path.parent / "cmake" / "Lumitra" / "LumitraConfigVersion.cmake"
    try:
        match = re.search(r'set\(PACKAGE_VERSION "([^"]+)"\)', config.read_text())
        if match:
            return match.group(1)
    except OSError:
        pass
    return _cache_value(path.parent.parent / "CMakeCache.txt", "CMAKE_PROJECT_VERSION") \
        or "unknown"


_library: Library | None = None
_library_lock = threading.Lock()


def library() -> Library:
    """The process's library, loaded on first use."""
    global _library
    if _library is None:
        with _library_lock:
            if _library is None:
                _library = Library(find_library())
    return _library
