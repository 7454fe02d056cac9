"""Status codes become exceptions with their Windows names."""

import pytest

import lumitra
from lumitra import errors
from lumitra.records import CalibrationRecord

STATUSES = [
    (0x80070057, "E_INVALIDARG", lumitra.InvalidArgError),
    (0x8007000E, "E_OUTOFMEMORY", lumitra.OutOfMemoryError),
    (0x80004005, "E_FAIL", lumitra.FailError),
    (0x80004004, "E_ABORT", lumitra.AbortError),
    (0x8000FFFF, "E_UNEXPECTED", lumitra.UnexpectedError),
    (0x80004002, "E_NOINTERFACE", lumitra.NoInterfaceError),
    (0x80043219, "E_CALIBRATION_RANGE", lumitra.CalibrationRangeError),
]


@pytest.mark.parametrize("code, name, cls", STATUSES)
def test_each_failing_status_raises_its_class(code, name, cls):
    signed = code - 0x100000000
    with pytest.raises(cls) as caught:
        errors.check_status(signed, "Lumitra_X")
    error = caught.value
    assert isinstance(error, lumitra.StatusError) and isinstance(error, lumitra.LumitraError)
    assert (error.status, error.code, error.name, error.function) == (signed, code, name,
                                                                       "Lumitra_X")
    assert str(error).startswith(f"{name} (0x{code:08X}) from Lumitra_X: ")
    assert cls.windows_name == name and errors.STATUS_NAMES[signed] == name


def test_success_statuses_pass_through():
    assert errors.check_status(0, "f") == 0
    assert errors.check_status(1, "f") == 1  # a callee's S_FALSE is passed on, not raised


def test_an_undocumented_failure_is_a_plain_status_error():
    error = errors.error_for_status(0x80001234, "f")
    assert type(error) is lumitra.StatusError
    assert error.name == "0x80001234" and error.code == 0x80001234


def test_calibration_range_error_keeps_the_rejected_record():
    record = CalibrationRecord(36080, 8998, 65610, 24128)
    error = errors.CalibrationRangeError(errors.E_CALIBRATION_RANGE, "f", "x", record=record)
    assert error.record == record and error.name == "E_CALIBRATION_RANGE"


def test_records_convert_both_ways_and_validate():
    record = CalibrationRecord.parse(["36080", "9376", "65610", "24528"])
    assert CalibrationRecord.from_native(record.to_native()) == record
    assert str(record) == "{36080, 9376, 65610, 24528}"
    assert record.positions == (146.5, 383.25)
    assert not CalibrationRecord.UNCALIBRATED.is_calibrated
    assert CalibrationRecord(0, 0, 0, 1).is_calibrated  # one position set: calibrated
    with pytest.raises(ValueError):
        CalibrationRecord.parse([1, 2, 3])
    with pytest.raises(ValueError):
        CalibrationRecord.parse([1, 2, 3, "4.5"])
    with pytest.raises(ValueError):
        CalibrationRecord(2**31, 0, 0, 0)
    with pytest.raises(TypeError):
        CalibrationRecord(1.5, 0, 0, 0)
