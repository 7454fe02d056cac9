"""Wavelength tables and table searches through the library, against the
grating model written out in Python and the documented examples."""

import numpy as np
import pytest

import lumitra
from lumitra import optics
from lumitra.records import CalibrationRecord

RECORDS = [CalibrationRecord.UNCALIBRATED, CalibrationRecord(36080, 9376, 65610, 24528),
           CalibrationRecord(36080, 9545, 65610, 24704), CalibrationRecord(36080, 8998, 65610,
                                                                           24128),
           CalibrationRecord(48600, 15000, 65610, 24400)]


def literal_table(record):
    """Element e's wavelength, truncated to 0.01 nm, as the model defines it."""
    slope, model, measured = optics.decode_calibration(record)
    return np.array([optics.truncate_int32(
        optics.position_to_wavelength(float(e), slope, model, measured) * 100)
        for e in range(1, 513)], dtype=np.int32)


@pytest.mark.parametrize("record", RECORDS, ids=str)
def test_table_equals_the_model_entry_for_entry(record, no_leak):
    table = lumitra.wavelength_table(record)
    assert table.dtype == np.int32 and table.size == 512
    assert np.array_equal(table, literal_table(record))
    assert np.all(np.diff(table) > 0)
    assert np.array_equal(lumitra.display_table(record, display=False), table)


def test_default_table_ends_and_multiples(no_leak):
    table = lumitra.wavelength_table()
    assert table[:3].tolist() == [18159, 18281, 18402]
    assert table[-3:].tolist() == [81187, 81308, 81429]
    doubled = lumitra.wavelength_table(multiple=3)
    assert doubled.size == 1536
    assert np.array_equal(doubled[:512], table) and not doubled[512:].any()
    with pytest.raises(ValueError):
        lumitra.wavelength_table(multiple=0)


def test_display_grid(no_leak):
    grid = lumitra.display_table(CalibrationRecord(1, 2, 3, 4))
    assert grid.size == 611 and grid[0] == 19000 and grid[-1] == 80000
    assert np.all(np.diff(grid) == 100)
    assert lumitra.display_table(multiple=2).size == 1222


@pytest.mark.parametrize("record", RECORDS, ids=str)
@pytest.mark.parametrize("nm", [190.0, 253.7, 360.8, 486.0, 656.1, 800.0])
def test_corrected_element_is_the_calibrated_position(record, nm, no_leak):
    slope, model, measured = optics.decode_calibration(record)
    expected = optics.calibrated_position(round(nm * 100) / 100.0, model, measured, slope)
    assert lumitra.corrected_element(nm, record) == expected


def test_documented_positions():
    assert lumitra.corrected_element(656.1) == 383.0
    assert lumitra.corrected_element(190.0) == pytest.approx(7.90649, abs=1e-5)
    assert optics.decode_calibration(CalibrationRecord(36080, 9376, 65610, 24528)) == \
        pytest.approx((1.0013111, 385.03, 383.25), abs=1e-7)


@pytest.mark.parametrize("a, b, expected", [
    ([19000, 19100, 19200, 19300], [19100, 19200], (1, 2, 0)),
    ([19100, 19200, 19300], [19000, 19100, 19200], (0, 1, 1)),
    ([19000, 19100], [19200, 19300], None),
    ([19000, 19100, 19200], [19100, 19200, 19300], (1, 2, 0)),
])
def test_compare_tables(a, b, expected, no_leak):
    assert lumitra.compare_tables(a, b) == expected


def test_identical_tables_share_everything(no_leak):
    table = lumitra.wavelength_table()
    assert lumitra.compare_tables(table, table.copy()) == (0, 511, 0)
    calibrated = lumitra.wavelength_table(RECORDS[1])
    assert lumitra.compare_tables(table, calibrated) is None


@pytest.mark.parametrize("target, expected", [(19050, 1), (19040, 0), (25000, 2), (10, 0)])
def test_find_target_element(target, expected):
    assert lumitra.find_target_element(target, [19000, 19100, 19200]) == expected


def test_find_target_element_on_a_real_table():
    table = lumitra.wavelength_table()
    for element in (1, 100, 383, 512):
        assert lumitra.find_target_element(int(table[element - 1]), table) == element - 1
    assert lumitra.find_target_element(19000, []) == 0


@pytest.mark.parametrize("w1, w2, expected", [
    (19050, 19150, (1, 1)), (19000, 19200, (0, 2)), (19150, 19050, (0, 2)),
    (25000, 26000, (0, 2)), (10000, 12000, (0, 0)), (19040, 19040, (0, 0)),
])
def test_element_range(w1, w2, expected, no_leak):
    assert lumitra.element_range(w1, w2, [19000, 19100, 19200]) == expected


def test_element_range_needs_a_table_for_a_range():
    with pytest.raises(lumitra.InvalidArgError):
        lumitra.element_range(19000, 19100, [])
