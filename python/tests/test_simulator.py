"""The detector simulator against its physics."""

import numpy as np
import pytest

import lumitra
from lumitra import optics, simulator
from lumitra.simulator import Detector, Source


def quiet(**changes):
    """A detector without noise or dark offsets, for exact physics."""
    return Detector(read_noise=0.0, electrons_per_count=float("inf"), dark_level=0.0,
                    dark_pattern=0.0, **changes)


@pytest.mark.parametrize("shift, slope", [(0.0, 0.0), (3.0, 0.0015), (-4.0, -0.002)])
def test_shift_and_slope_error_move_lines_from_the_default_dispersion(shift, slope):
    """An ideal detector has the library's default dispersion (which
    truncates the model position to 0.01 element); shift and slope error
    move every line from there as defined."""
    detector = Detector(shift=shift, slope_error=slope)
    for nm in (190.0, 253.7, 360.8, 486.0, 656.1, 800.0):
        ideal = lumitra.corrected_element(nm)
        assert detector.position_of(nm) == pytest.approx(
            383.0 + shift + (ideal - 383.0) * (1 + slope), abs=0.011)
    positions = np.linspace(-10, 520, 50)
    assert detector.position_of(detector.wavelength_at(positions)) == pytest.approx(positions)


@pytest.mark.parametrize("shape, bandwidth", [("triangular", 0.3), ("triangular", 6.0),
                                              ("gaussian", 2.0)])
def test_slit_function_has_the_given_bandwidth(shape, bandwidth):
    x = np.linspace(-3 * bandwidth, 3 * bandwidth, 60001)
    cdf = simulator.slit_cdf(shape, bandwidth, x)
    density = np.gradient(cdf, x)
    above_half = x[density >= density.max() / 2]
    assert above_half[-1] - above_half[0] == pytest.approx(bandwidth, rel=2e-3)
    assert simulator.slit_cdf(shape, bandwidth, np.array([0.0]))[0] == pytest.approx(0.5)
    assert cdf[0] == pytest.approx(0.0, abs=1e-6) and cdf[-1] == pytest.approx(1.0, abs=1e-6)


def single_line(nm):
    return Source("line", lambda x: np.zeros_like(x), ((nm, 1000.0),))


@pytest.mark.parametrize("slit, shift, nm", [(2.0, 2.0, 253.7), (3.0, 2.25, 435.8),
                                             (4.0, 2.75, 656.1)])
def test_a_line_is_collected_whole_and_centred_where_it_falls(slit, shift, nm):
    detector = quiet(shift=shift, slope_error=0.001, slit=slit)
    signal = detector.render(single_line(nm))
    assert signal.sum() == pytest.approx(1000.0, rel=1e-9)
    centroid = (signal * np.arange(1, 513)).sum() / signal.sum()
    # Whole elements sample the line: the centroid errs by about 0.01 element at 2 nm.
    assert centroid == pytest.approx(detector.position_of(nm), abs=0.012)


def test_a_continuum_fills_each_element_and_holmium_bands_are_maxima_at_their_places():
    detector = quiet(slit=2.0)
    flat = detector.render(Source("flat", lambda x: np.full_like(x, 3.0)))
    assert flat[5:-5] == pytest.approx(3.0 * np.diff(detector.element_edges())[5:-5], rel=1e-6)
    data = detector.measure_all()
    wavelengths = detector.element_wavelengths()
    for band in (287.6, 360.8, 453.2):
        near = np.abs(wavelengths - band) < 4
        i = np.flatnonzero(near)[np.argmax(data.holmium[near])]
        y0, y1, y2 = data.holmium[i - 1:i + 2]
        vertex = i + 0.5 * (y0 - y2) / (y0 - 2 * y1 + y2)  # parabola through the top
        step = wavelengths[i + 1] - wavelengths[i]
        assert wavelengths[i] + (vertex - i) * step == pytest.approx(band, abs=0.15)
        assert data.holmium[i] > 300  # milli-absorbance


def test_measurements_are_seeded_independent_of_order_with_the_stated_noise():
    one, two, other = (Detector(shift=1.0, seed=s).measure_all() for s in (5, 5, 6))
    for (name, a), (_, b), (_, c) in zip(one.items(), two.items(), other.items()):
        assert np.array_equal(a, b) and not np.array_equal(a, c), name
    assert np.array_equal(Detector(shift=1.0, seed=5).dark(), one.dark)
    detector = Detector(seed=3, read_noise=4.0, dark_pattern=15.0)
    darks = np.array([detector.measure(None, 0.0, f"dark {i}") for i in range(200)])
    assert darks.std(axis=0).mean() == pytest.approx(4.0, rel=0.05)
    assert (darks.mean(axis=0) - 800.0).std() == pytest.approx(15.0, rel=0.2)


def test_exposures_follow_the_brightest_feature_and_the_second_mercury_saturates():
    detector = Detector(shift=0.0, slit=2.0, seed=1)
    data = detector.measure_all()
    wavelengths = detector.element_wavelengths()
    assert (data.d2 - data.dark).max() == pytest.approx(0.5 * (65535 - 800), rel=0.02)
    at_254 = np.argmin(np.abs(wavelengths - 253.7))
    assert data.hg1[at_254] < 40000 and data.hg2[at_254] == 65535.0
    visible = wavelengths > 300
    assert (data.hg2 - data.dark)[visible].max() == pytest.approx(0.5 * (65535 - 800), rel=0.02)


def test_true_record_positions_and_random_detectors_follow_their_definitions():
    p1, p2 = simulator.true_record_positions(Detector(shift=3.0, slope_error=0.0015))
    assert p2 == pytest.approx(386.0)
    assert p1 == pytest.approx(383.0 + 3.0 + (optics.wavelength_to_position(360.8)
                                              - optics.wavelength_to_position(656.1))
                               * 1.000116 * 1.0015)
    detectors = simulator.random_detectors(200, seed=11)
    for name, low, high in (("shift", -4, 7), ("slope_error", -0.002, 0.002), ("slit", 2, 4)):
        values = [getattr(d, name) for d in detectors]
        span = high - low
        assert low <= min(values) < low + 0.1 * span and high - 0.1 * span < max(values) <= high
    assert len({d.seed for d in detectors}) == 200
