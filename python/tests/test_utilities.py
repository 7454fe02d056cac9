"""Lamp diagnostics, maximum voltage, peak bases, background subtraction and
the kernels through the Python layer; no returned buffer may leak."""

import ctypes
import math
from pathlib import Path

import numpy as np
import pytest

import lumitra
from lumitra import chromatogram, validation
from lumitra.chromatogram import Peak, PeakTable

pytestmark = pytest.mark.usefixtures("no_leak")


def test_lamp_info_on_the_display_grid_and_on_measured_points():
    assert lumitra.max_voltage([1.9, 2.7, -3.0]) == 2 and lumitra.max_voltage([-0.5]) == 0
    spectrum = np.zeros(611)
    spectrum[40] = 5.0                 # 230 nm
    spectrum[20] = spectrum[60] = 9.0  # 210 and 250 nm: the lower wavelength wins
    spectrum[410] = 7.0                # 600 nm
    d2 = lumitra.lamp_info("d2", spectrum)
    assert (d2.reference_value, d2.maximum, d2.maximum_wavelength) == (5.0, 9.0, 210.0)
    w = lumitra.lamp_info("w", spectrum)
    assert (w.reference_value, w.maximum, w.maximum_wavelength) == (7.0, 7.0, 600.0)
    wavelengths = np.arange(180.0, 300.0, 1.25)
    info = lumitra.lamp_info("d2", 1000.0 - (wavelengths - 215.0) ** 2, wavelengths)
    assert info.maximum_wavelength == 215.0 and info.maximum == 1000.0
    # The reference value is the rounded spline value of the truncated points.
    assert info.reference_value == pytest.approx(1000.0 - 15.0 ** 2, abs=1.0)
    none = lumitra.lamp_info("w", np.ones(wavelengths.size), wavelengths)  # nothing in 400-800
    assert none.maximum is none.maximum_wavelength is none.reference_value is None


def flags_table(*flags):
    return PeakTable([Peak(f, 100 * (k + 1), 100 * k + 10, 100 * k + 90)
                      for k, f in enumerate(flags)])


@pytest.mark.parametrize("flags, peak, expected", [
    ((0x10, 0x10, 0x10), 2, (2, 2)), ((0x10, 0, 0), 3, (1, 3)), ((0, 0, 0x10), 2, (1, 2)),
    ((0x10, 0x110, 0, 0x100), 1, (1, 3)),  # grouped base starts are skipped, trailing 0x100 dropped
])
def test_base_peaks(flags, peak, expected):
    table = flags_table(*flags)
    assert chromatogram.base_peaks(table, peak) == expected
    first, last = expected
    assert chromatogram.base_times(table, peak) == (100 * (first - 1) + 10, 100 * (last - 1) + 90)


def test_peak_table_errors_and_retention_times():
    with pytest.raises(lumitra.AbortError):
        chromatogram.base_peaks(PeakTable([]), 1)
    table = flags_table(0x10, 0x10)
    for peak in (0, 3):
        with pytest.raises(lumitra.InvalidArgError):
            chromatogram.base_peaks(table, peak)
    with pytest.raises(ValueError, match="32-bit"):
        chromatogram.base_peaks(table, 2**32 + 1)
    assert chromatogram.peak_from_rt(table, 110) == 2     # inside peak 2 (110..190)
    assert chromatogram.peak_from_rt(table, 95) == 0      # between the peaks
    assert chromatogram.peak_from_rt(table, 95, fallback=True) == 1
    assert chromatogram.base_times_from_rt(table, 150) == (110, 190)
    with pytest.raises(lumitra.AbortError):
        chromatogram.base_times_from_rt(table, 95)


WAVELENGTHS = [25400, 28000, 30000]
SPECTRA = {10: [1.0, 2.0, 3.0], 20: [3.0, 2.0, 7.0], 15: [10.0, 10.0, 10.0],
           30: [10.0, 10.0, 10.0]}


def source(time):
    return SPECTRA[time], WAVELENGTHS


def test_background_subtraction_its_failures_free_every_array_and_selectors_pass():
    for time, expected in ((15, [8.0, 8.0, 5.0]), (30, [5.0, 8.0, -1.0])):  # mean, extrapolated
        values, wavelengths = chromatogram.bg_subtracted_spectrum(source, time, 10, 20)
        assert values.tolist() == expected and wavelengths.tolist() == WAVELENGTHS

    def mismatched(time):
        return SPECTRA[time], WAVELENGTHS if time != 20 else [25400, 28000, 30001]

    with pytest.raises(lumitra.UnexpectedError):
        chromatogram.bg_subtracted_spectrum(mismatched, 15, 10, 20)
    with pytest.raises(lumitra.AbortError):
        chromatogram.bg_subtracted_spectrum(
            lambda t: lumitra.errors.E_ABORT if t == 20 else source(t), 15, 10, 20)
    with pytest.raises(KeyError):  # the source's own error reaches the caller
        chromatogram.bg_subtracted_spectrum(source, 15, 10, 99)
    data_source = chromatogram._DataSource(source)
    request = chromatogram._request(data_source, 15, 10, 20, -2, 0xFFFE)
    values, count = ctypes.POINTER(ctypes.c_double)(), ctypes.c_int32()
    points = ctypes.POINTER(ctypes.c_int32)()
    status = lumitra.native.library().Lumitra_GetBGSubtractedSpectrum(
        ctypes.byref(request), ctypes.byref(values), ctypes.byref(count), ctypes.byref(points))
    lumitra._buffers.take_task_buffer(values, count.value, np.float64)
    lumitra._buffers.take_task_buffer(points, count.value + 1, np.int32)
    assert status == 0 and data_source.calls == [(t, -2, 0, 0xFFFE, 1) for t in (15, 10, 20)]


def test_uv_spec_data_uses_the_sibling_library(lib):
    sibling = Path(lib.path).parent / "libvarnex2.so"
    if not sibling.exists():
        with pytest.raises(lumitra.UnexpectedError):
            chromatogram.bg_subtracted_uv_spec_data(source, 15, 10, 20)
        return
    record = chromatogram.bg_subtracted_uv_spec_data(source, 15, 10, 20)
    try:
        assert [record.values[i] for i in range(3)] == [8.0, 8.0, 5.0]
        assert [record.wavelengths[i] for i in range(3)] == WAVELENGTHS
    finally:
        ctypes.CDLL(str(sibling)).Tool_FreeUVSpecData(ctypes.byref(record))


@pytest.mark.parametrize("n, half_width", [(1, 3), (50, 0), (40, 100), (200, 17)])
def test_low_frequency_filter_is_the_one_the_line_search_assumes(n, half_width):
    """Each value less the mean of its clipped window: as the library filters,
    so validation filters the traces it searches for the holmium bands."""
    signal = np.random.default_rng(n * 1000 + half_width).normal(0.0, 100.0, n)
    assert lumitra.filtrate_low_frequency(signal, half_width) == pytest.approx(
        validation.low_frequency_filtered(signal, half_width), abs=1e-9)
    with pytest.raises(ValueError, match="finite"):
        lumitra.filtrate_low_frequency([1.0, math.nan], 1)


def test_splines_keep_their_knots():
    y = np.random.default_rng(5).integers(-5000, 5000, 40)
    x = np.arange(1.0, 41.0)
    out_x, out_y = lumitra.spline_substeps(x, y, 64)
    assert out_x.size == out_y.size == 40 * 64 + 1
    assert np.array_equal(out_y[0:40 * 64:64][:39], y[:39])
    x = np.arange(1.0, 11.0)
    out_x, out_y = lumitra.spline_midpoints(x, (x ** 2 * 10).astype(np.int32))
    assert out_x == pytest.approx(np.linspace(1.0, 10.0, 73))
    assert out_y[::8].tolist() == (x ** 2 * 10).astype(int).tolist()
