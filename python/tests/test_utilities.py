"""Lamp diagnostics, maximum voltage, peak bases and background subtraction
through the Python layer, against the documented examples; no returned
buffer may leak."""

import ctypes
import math
from pathlib import Path

import numpy as np
import pytest

import lumitra
from lumitra import chromatogram
from lumitra.chromatogram import Peak, PeakTable

pytestmark = pytest.mark.usefixtures("no_leak")


@pytest.mark.parametrize("values, expected", [
    ([1.9, 2.7, -3.0], 2), ([-0.5, -1.5], 0), ([math.nan, 3.2], 3), ([], -2147483648),
])
def test_max_voltage(values, expected):
    assert lumitra.max_voltage(values) == expected


def test_lamp_info_on_the_display_grid():
    spectrum = np.zeros(611)
    spectrum[40] = 5.0          # 230 nm
    spectrum[20] = spectrum[60] = 9.0  # 210 and 250 nm: the lower wavelength wins
    spectrum[410] = 7.0         # 600 nm
    d2 = lumitra.lamp_info("d2", spectrum)
    assert (d2.reference_value, d2.maximum, d2.maximum_wavelength) == (5.0, 9.0, 210.0)
    w = lumitra.lamp_info("w", spectrum)
    assert (w.reference_value, w.maximum, w.maximum_wavelength) == (7.0, 7.0, 600.0)


def test_lamp_info_on_measured_points():
    wavelengths = np.arange(180.0, 300.0, 1.25)
    spectrum = 1000.0 - (wavelengths - 215.0) ** 2
    info = lumitra.lamp_info("d2", spectrum, wavelengths)
    assert info.maximum_wavelength == 215.0 and info.maximum == 1000.0
    # The reference value is the rounded spline value of the truncated points.
    assert info.reference_value == pytest.approx(1000.0 - 15.0 ** 2, abs=1.0)
    none = lumitra.lamp_info("w", spectrum, wavelengths)  # nothing in 400-800 nm
    assert none.maximum == -2147483648.0 and none.maximum_wavelength is None
    with pytest.raises(lumitra.FailError):
        lumitra.lamp_info("d2", [1.0, 2.0], [200.0, 210.0])
    with pytest.raises(lumitra.FailError):
        lumitra.lamp_info("d2", [1.0, 2.0, 3.0], [200.0, 210.0, 205.0])


def flags_table(*flags):
    return PeakTable([Peak(f, 100 * (k + 1), 100 * k + 10, 100 * k + 90)
                      for k, f in enumerate(flags)])


@pytest.mark.parametrize("flags, peak, expected", [
    ((0x10, 0x10, 0x10), 2, (2, 2)),
    ((0x10, 0, 0), 1, (1, 3)), ((0x10, 0, 0), 2, (1, 3)), ((0x10, 0, 0), 3, (1, 3)),
    ((0, 0, 0x10), 2, (1, 2)),
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


@pytest.mark.parametrize("time, expected", [
    (15, [8.0, 8.0, 5.0]),          # the mean of the two backgrounds
    (30, [5.0, 8.0, -1.0]),         # the background extrapolated to 30
    (10, [0.0, 0.0, 0.0]),          # equal to the first background time
])
def test_background_subtraction(time, expected):
    values, wavelengths = chromatogram.bg_subtracted_spectrum(source, time, 10, 20)
    assert values.tolist() == expected
    assert wavelengths.tolist() == WAVELENGTHS


def test_background_subtraction_failures_free_every_array():
    def mismatched(time):
        return SPECTRA[time], WAVELENGTHS if time != 20 else [25400, 28000, 30001]

    with pytest.raises(lumitra.UnexpectedError):
        chromatogram.bg_subtracted_spectrum(mismatched, 15, 10, 20)
    abort = lumitra.errors.E_ABORT
    with pytest.raises(lumitra.AbortError):
        chromatogram.bg_subtracted_spectrum(lambda t: abort if t == 20 else source(t), 15, 10,
                                            20)
    with pytest.raises(KeyError):  # the source's own error reaches the caller
        chromatogram.bg_subtracted_spectrum(source, 15, 10, 99)


def test_background_subtraction_passes_the_selectors():
    calls = []

    def recording(time):
        calls.append(time)
        return source(time)

    data_source = chromatogram._DataSource(recording)
    request = chromatogram._request(data_source, 15, 10, 20, -2, 0xFFFE)
    values, count = ctypes.POINTER(ctypes.c_double)(), ctypes.c_int32()
    points = ctypes.POINTER(ctypes.c_int32)()
    status = lumitra.native.library().Lumitra_GetBGSubtractedSpectrum(
        ctypes.byref(request), ctypes.byref(values), ctypes.byref(count), ctypes.byref(points))
    lumitra._buffers.take_task_buffer(values, count.value, np.float64)
    lumitra._buffers.take_task_buffer(points, count.value + 1, np.int32)
    assert status == 0 and calls == [15, 10, 20]
    assert data_source.calls == [(t, -2, 0, 0xFFFE, 1) for t in (15, 10, 20)]


def test_uv_spec_data_uses_the_sibling_library(lib):
    sibling = Path(lib.path).parent / "libvarnex2.so"
    if not sibling.exists():
        with pytest.raises(lumitra.UnexpectedError):
            chromatogram.bg_subtracted_uv_spec_data(source, 15, 10, 20)
        return
    # The build's stand-in sibling sits next to the library: the record is
    # filled, and its arrays are the sibling's to release.
    record = chromatogram.bg_subtracted_uv_spec_data(source, 15, 10, 20)
    try:
        assert (record.time, record.pointCount) == (15, 3)
        assert (record.firstWavelength, record.lastWavelength) == (25400, 30000)
        assert (record.maxValue, record.minValue) == (8.0, 5.0)
        assert [record.values[i] for i in range(3)] == [8.0, 8.0, 5.0]
        assert [record.wavelengths[i] for i in range(3)] == WAVELENGTHS
        assert (record.reserved1, record.reserved2) == (0, 0)
    finally:
        ctypes.CDLL(str(sibling)).Tool_FreeUVSpecData(ctypes.byref(record))


def literal_filter(signal, half_width):
    """Each sample less the mean of its clipped window, summed in order."""
    n = len(signal)
    out = []
    for i in range(n):
        total, k = 0.0, 0
        for j in range(i - half_width, i + half_width + 1):
            if 0 <= j < n:
                total += signal[j]
                k += 1
        out.append(signal[i] - total / k)
    return out


@pytest.mark.parametrize("n, half_width", [(1, 3), (50, 0), (50, 3), (200, 17), (40, 100)])
def test_low_frequency_filter_equals_the_literal_version_bit_for_bit(n, half_width):
    signal = np.random.default_rng(n * 1000 + half_width).normal(0.0, 100.0, n)
    filtered = lumitra.filtrate_low_frequency(signal, half_width)
    expected = signal if half_width == 0 else literal_filter(signal.tolist(), half_width)
    assert filtered.tolist() == list(expected)


def test_spline_substeps_through_the_knots():
    y = np.random.default_rng(5).integers(-5000, 5000, 40)
    x = np.arange(1.0, 41.0)
    out_x, out_y = lumitra.spline_substeps(x, y, 64)
    assert out_x.size == out_y.size == 40 * 64 + 1
    assert np.array_equal(out_y[0:40 * 64:64][:39], y[:39])
    assert out_x[::64][:40] == pytest.approx(x)
    flat_x, flat_y = lumitra.spline_substeps(x, np.full(40, 777), 8)
    assert np.all(flat_y[:39 * 8 + 1] == 777)


def test_spline_midpoints_keep_the_samples():
    x = np.arange(1.0, 11.0)
    y = (x ** 2 * 10).astype(np.int32)
    out_x, out_y = lumitra.spline_midpoints(x, y)
    assert out_x.size == 73
    assert out_x[::8] == pytest.approx(x)
    assert out_y[::8].tolist() == y.tolist()
    assert out_x == pytest.approx(np.linspace(1.0, 10.0, 73))
