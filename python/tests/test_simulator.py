"""The detector simulator against its physics."""

import numpy as np
import pytest

import lumitra
from lumitra import optics, simulator
from lumitra.simulator import Detector, Source


def quiet(**changes):
    """A detector without noise or dark offsets, for exact physics."""
    base = dict(read_noise=0.0, electrons_per_count=float("inf"), dark_level=0.0,
                dark_pattern=0.0)
    base.update(changes)
    return Detector(**base)


def test_an_ideal_detector_has_the_default_dispersion():
    detector = Detector()
    assert detector.position_of(656.1) == pytest.approx(383.0, abs=1e-12)
    for nm in (190.0, 253.7, 360.8, 486.0, 800.0):
        # The library's default dispersion, which truncates the model position
        # to 0.01 element, agrees within that truncation.
        assert detector.position_of(nm) == pytest.approx(lumitra.corrected_element(nm),
                                                         abs=0.0101)


@pytest.mark.parametrize("shift, slope", [(0.0, 0.0), (3.0, 0.0015), (-4.0, -0.002),
                                          (7.0, 0.002)])
def test_shift_and_slope_error_move_lines_as_defined(shift, slope):
    detector = Detector(shift=shift, slope_error=slope)
    ideal = Detector()
    for nm in (253.7, 360.8, 486.0, 656.1):
        expected = 383.0 + shift + (ideal.position_of(nm) - 383.0) * (1 + slope)
        assert detector.position_of(nm) == pytest.approx(expected, abs=1e-9)
    positions = np.linspace(-10, 520, 50)
    assert detector.position_of(detector.wavelength_at(positions)) == pytest.approx(positions)


@pytest.mark.parametrize("shape", ["triangular", "gaussian"])
@pytest.mark.parametrize("bandwidth", [0.3, 2.0, 6.0])
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


@pytest.mark.parametrize("slit", [2.0, 3.0, 4.0])
@pytest.mark.parametrize("shift", [2.0, 2.25, 2.5, 2.75])
@pytest.mark.parametrize("nm", [253.7, 435.8, 656.1])
def test_a_line_is_collected_whole_and_centred_where_it_falls(slit, shift, nm):
    detector = quiet(shift=shift, slope_error=0.001, slit=slit)
    signal = detector.render(single_line(nm))
    assert signal.sum() == pytest.approx(1000.0, rel=1e-9)
    centroid = (signal * np.arange(1, 513)).sum() / signal.sum()
    # Whole elements sample the line, so the centroid of the readings carries
    # a sampling error that shrinks as the slit widens (about 0.01 element
    # at 2 nm).
    assert centroid == pytest.approx(detector.position_of(nm), abs=0.012)


@pytest.mark.parametrize("slit", [0.3, 0.8, 2.0])
def test_a_line_at_an_element_centre_lights_its_neighbours_evenly(slit):
    detector = quiet(shift=2.0, slit=slit)
    signal = detector.render(single_line(656.1))  # falls at element 385.0
    assert np.argmax(signal) == 384
    assert signal[383] == pytest.approx(signal[385], rel=0.01)
    assert signal[382] == pytest.approx(signal[386], rel=0.05, abs=1e-9)


def test_a_continuum_is_integrated_over_each_elements_extent():
    detector = quiet(slit=2.0)
    flat = detector.render(Source("flat", lambda x: np.full_like(x, 3.0)))
    edges = detector.element_edges()
    assert flat[5:-5] == pytest.approx(3.0 * np.diff(edges)[5:-5], rel=1e-6)


def test_holmium_trace_bands_are_maxima_at_their_wavelengths():
    detector = quiet(slit=2.0)
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


def test_measurements_are_seeded_and_independent_of_order():
    one = Detector(shift=1.0, seed=5).measure_all()
    two = Detector(shift=1.0, seed=5).measure_all()
    other = Detector(shift=1.0, seed=6).measure_all()
    for (name, a), (_, b), (_, c) in zip(one.items(), two.items(), other.items()):
        assert np.array_equal(a, b), name
        assert not np.array_equal(a, c), name
    detector = Detector(seed=5)
    assert np.array_equal(detector.dark(), detector.measure_all().dark)


def test_noise_has_the_stated_size():
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


def test_true_record_positions_follow_the_detector():
    detector = Detector(shift=3.0, slope_error=0.0015)
    p1, p2 = simulator.true_record_positions(detector)
    assert p2 == pytest.approx(386.0)
    assert p1 == pytest.approx(383.0 + 3.0 + (optics.wavelength_to_position(360.8)
                                              - optics.wavelength_to_position(656.1))
                               * 1.000116 * 1.0015)


def test_random_detectors_cover_the_requested_ranges():
    detectors = simulator.random_detectors(200, seed=11)
    shifts = [d.shift for d in detectors]
    slopes = [d.slope_error for d in detectors]
    slits = [d.slit for d in detectors]
    assert -4 <= min(shifts) < -3.5 and 6.5 < max(shifts) <= 7
    assert -0.002 <= min(slopes) < -0.0018 and 0.0018 < max(slopes) <= 0.002
    assert 2 <= min(slits) < 2.1 and 3.9 < max(slits) <= 4
    assert len({d.seed for d in detectors}) == 200
