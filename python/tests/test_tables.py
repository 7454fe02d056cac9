"""Wavelength tables and table searches through the library, against the
grating model written out in Python."""

import numpy as np
import pytest

import lumitra
from lumitra import optics
from lumitra.records import CalibrationRecord

pytestmark = pytest.mark.usefixtures("no_leak")

RECORDS = [None, (36080, 9376, 65610, 24528), CalibrationRecord(36080, 9545, 65610, 24704),
           CalibrationRecord(36080, 8998, 65610, 24128), (48600, 15000, 65610, 24400)]


@pytest.mark.parametrize("record", RECORDS, ids=str)
def test_table_and_elements_follow_the_model(record):
    """Element e's wavelength, truncated to 0.01 nm, and the calibrated
    position of a wavelength, as the model defines them; tuples and None
    are records too."""
    slope, model, measured = optics.decode_calibration(
        CalibrationRecord(*record) if isinstance(record, tuple) else record)
    literal = [optics.truncate_int32(optics.position_to_wavelength(float(e), slope, model,
                                                                   measured) * 100)
               for e in range(1, 513)]
    table = lumitra.wavelength_table(record)
    assert table.dtype == np.int32 and table.tolist() == literal
    assert np.array_equal(lumitra.display_table(record, display=False), table)
    for nm in (190.0, 253.7, 360.8, 486.0, 656.1, 800.0):
        assert lumitra.corrected_element(nm, record) == optics.calibrated_position(
            nm, model, measured, slope)


def test_default_table_multiples_and_display_grid():
    table = lumitra.wavelength_table()
    assert table[:3].tolist() == [18159, 18281, 18402] and table[-1] == 81429
    tripled = lumitra.wavelength_table(multiple=3)
    assert np.array_equal(tripled[:512], table) and not tripled[512:].any()
    grid = lumitra.display_table(multiple=2)
    assert grid.size == 1222 and grid[0] == 19000 and grid[610] == 80000
    with pytest.raises(ValueError, match="multiple"):
        lumitra.wavelength_table(multiple=0)


@pytest.mark.parametrize("call, expected", [
    (lambda: lumitra.compare_tables([19000, 19100, 19200, 19300], [19100, 19200]), (1, 2, 0)),
    (lambda: lumitra.compare_tables([19100, 19200, 19300], [19000, 19100, 19200]), (0, 1, 1)),
    (lambda: lumitra.compare_tables([19000, 19100], [19200, 19300]), None),
    (lambda: lumitra.compare_tables(lumitra.wavelength_table(),
                                    lumitra.wavelength_table()), (0, 511, 0)),
    (lambda: lumitra.find_target_element(19050, [19000, 19100, 19200]), 1),
    (lambda: lumitra.find_target_element(19040, [19000, 19100, 19200]), 0),
    (lambda: lumitra.find_target_element(25000, [19000, 19100, 19200]), 2),
    (lambda: lumitra.find_target_element(19000, []), 0),
    (lambda: lumitra.element_range(19050, 19150, [19000, 19100, 19200]), (1, 1)),
    (lambda: lumitra.element_range(19150, 19050, [19000, 19100, 19200]), (0, 2)),
    (lambda: lumitra.element_range(10000, 12000, [19000, 19100, 19200]), (0, 0)),
])
def test_table_searches(call, expected):
    assert call() == expected

    with pytest.raises(lumitra.InvalidArgError):
        lumitra.element_range(19000, 19100, [])
