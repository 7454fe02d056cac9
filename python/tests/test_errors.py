"""Status codes become exceptions with their Windows names."""

import pytest

import lumitra
from lumitra import errors

STATUSES = [
    (0x80070057, "E_INVALIDARG", lumitra.InvalidArgError),
    (0x8007000E, "E_OUTOFMEMORY", lumitra.OutOfMemoryError),
    (0x80004005, "E_FAIL", lumitra.FailError),
    (0x80004004, "E_ABORT", lumitra.AbortError),
    (0x8000FFFF, "E_UNEXPECTED", lumitra.UnexpectedError),
    (0x80004002, "E_NOINTERFACE", lumitra.NoInterfaceError),
    (0x80043219, "E_CALIBRATION_RANGE", lumitra.CalibrationRangeError),
    (0x80001234, "0x80001234", lumitra.StatusError),  # a code the library does not document
]


@pytest.mark.parametrize("code, name, cls", STATUSES)
def test_each_failing_status_raises_its_class(code, name, cls):
    signed = code - 0x100000000
    with pytest.raises(cls) as caught:
        errors.check_status(signed, "Lumitra_X")
    error = caught.value
    assert type(error) is cls and isinstance(error, lumitra.LumitraError)
    assert (error.status, error.code, error.name, error.function) == (signed, code, name,
                                                                       "Lumitra_X")
    assert str(error).startswith(f"{name} (0x{code:08X}) from Lumitra_X: ")
    assert errors.check_status(1, "f") == 1  # a callee's S_FALSE is passed on, not raised
