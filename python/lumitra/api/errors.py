"""Status codes of the library and the exceptions they become.

Every export reports a 32-bit status in the Windows HRESULT form, negative on
failure. The Python layer turns a failing status into an exception whose
class says what happened and whose message starts with the Windows name,
for example ``E_CALIBRATION_RANGE (0x80043219) from
Lumitra_DoWavelengthCalibration: ...``.
"""

from __future__ import annotations


def to_signed(status: int) -> int:
    """A status as the signed 32-bit value the library returns."""
    status &= 0xFFFFFFFF
    return status - 0x100000000 if status & 0x80000000 else status


S_OK = 0
E_ABORT = to_signed(0x80004004)
E_NOINTERFACE = to_signed(0x80004002)
E_FAIL = to_signed(0x80004005)
E_UNEXPECTED = to_signed(0x8000FFFF)
E_OUTOFMEMORY = to_signed(0x8007000E)
E_INVALIDARG = to_signed(0x80070057)
E_CALIBRATION_RANGE = to_signed(0x80043219)  # the library's own code


def to_unsigned(status: int) -> int:
    """A status in the 0x8xxxxxxx form in which it is usually written."""
    return status & 0xFFFFFFFF


class LumitraError(Exception):
    """Base class of every error raised by this package."""


class InputError(LumitraError, ValueError):
    """Input the library would take and answer with a wrong number: a record
    off the array, a spectrum without the line searched, a value beyond 32
    bits, a complex number. Raised before the library is called, with the
    reason."""


class LineNotFoundError(InputError):
    """A spectrum does not show the line searched in it, where it is searched."""


class ImplausibleError(InputError):
    """A result the library gave that the data do not bear out: a new record
    that misplaces a line it was not made from, a move larger than the
    checks could follow. Raised instead of returning the result."""


class LibraryNotFoundError(LumitraError):
    """liblumitra.so was not found or could not be loaded."""


class MissingExportError(LumitraError):
    """The loaded library lacks an export (an older build of the library)."""


class StatusError(LumitraError):
    """An export returned a failing status.

    Attributes: ``status`` (signed), ``code`` (unsigned, 0x8xxxxxxx),
    ``name`` (the Windows name) and ``function`` (the export).
    """

    windows_name = "E_?"
    meaning = "the call failed"

    def __init__(self, status: int, function: str = "", detail: str = ""):
        self.status = to_signed(status)
        self.code = to_unsigned(status)
        self.name = STATUS_NAMES.get(self.status, f"0x{self.code:08X}")
        self.function = function
        self.detail = detail
        text = f"{self.name} (0x{self.code:08X})"
        if function:
            text += f" from {function}"
        text += f": {detail or self.meaning}"
        super().__init__(text)


class InvalidArgError(StatusError):
    windows_name = "E_INVALIDARG"
    meaning = "an argument was rejected"


class OutOfMemoryError(StatusError):
    windows_name = "E_OUTOFMEMORY"
    meaning = "a working buffer could not be allocated"


class FailError(StatusError):
    windows_name = "E_FAIL"
    meaning = "the operation failed"


class AbortError(StatusError):
    windows_name = "E_ABORT"
    meaning = "no peak in the table or at the given time"


class UnexpectedError(StatusError):
    windows_name = "E_UNEXPECTED"
    meaning = "data that do not fit together, or a sibling library that cannot be loaded"


class NoInterfaceError(StatusError):
    windows_name = "E_NOINTERFACE"
    meaning = "a sibling library lacks the expected export"


class CalibrationRangeError(StatusError):
    """The new calibration fails the library's range test (it would put one
    end of the usable wavelengths off the array). ``record`` holds the
    rejected record, which the library writes anyway, and ``failures`` what
    failed, as text."""

    windows_name = "E_CALIBRATION_RANGE"
    meaning = "the new calibration puts the usable wavelengths off the array"

    def __init__(self, status: int, function: str = "", detail: str = "", record=None,
                 failures=()):
        self.record = record
        self.failures = list(failures)
        super().__init__(status, function, detail)


_CLASSES = {
    E_INVALIDARG: InvalidArgError,
    E_OUTOFMEMORY: OutOfMemoryError,
    E_FAIL: FailError,
    E_ABORT: AbortError,
    E_UNEXPECTED: UnexpectedError,
    E_NOINTERFACE: NoInterfaceError,
    E_CALIBRATION_RANGE: CalibrationRangeError,
}

STATUS_NAMES = {S_OK: "S_OK", **{code: cls.windows_name for code, cls in _CLASSES.items()}}


def error_for_status(status: int, function: str = "", detail: str = "") -> StatusError:
    """The exception for a failing status (StatusError itself for a code the
    library does not document)."""
    status = to_signed(status)
    return _CLASSES.get(status, StatusError)(status, function, detail)
