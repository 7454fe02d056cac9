"""A simulated diode-array detector with its lamps and the holmium filter.

The detector
------------
The polychromator follows the library's grating model, displaced and
stretched by a known amount: a wavelength falls at the position

    P(lambda) = 383.0 + shift
                + (W(lambda) - W(656.1)) * 1.000116 * (1 + slope_error)

where W is the nominal position of the library's grating model
(``rules.nominal_positions``) and 1.000116 the slope of the library's
default dispersion. With shift 0 and slope_error 0 this is the default
dispersion of an uncalibrated record: 656.1 nm at element 383.0. Element i
(1..512) collects the light that falls between positions i - 0.5 and i + 0.5.

What an element reads
---------------------
Value of element i = dark offset of the element
                     + exposure * integral over the element's wavelength
                       extent of (lamp spectrum convolved with the slit
                       function)
                     + shot noise + read noise,
clipped to the converter's full scale. The slit function has the given
spectral bandwidth (full width at half maximum), triangular (the image of
an entrance slit on an exit of equal width) or Gaussian. Emission lines are
integrated exactly (the slit function's cumulative distribution at the
element edges); continua on a fine wavelength grid. Noise is seeded from the
detector's seed and the name of the measurement, so every spectrum is
reproducible and independent of the order of measurement.

Exposures are chosen like an instrument's auto-exposure: the brightest
feature of the measured range at half of full scale. The second mercury
spectrum is exposed for the visible lines (300 nm and beyond), so the
253.7 nm line saturates there; that is why the mercury check takes 253.7 nm
from a separate, shorter exposure.

The lamps
---------
Deuterium: a continuum peaking near 220 nm (after the detector's
responsivity) with the Balmer lines at 486.0 and 656.1 nm. Mercury: 253.7,
404.7, 435.8 and 546.1 nm with weaker lines (296.7, 302.2, 312.6, 313.2,
334.1, 365.0, 365.5, 366.3, 407.8, 491.6, 577.0, 579.1 nm). Lines sit
exactly at the reference wavelengths the checks use.

The holmium-oxide filter: Gaussian absorption bands at 241.5, 279.4,
287.6, 333.7, 360.8, 385.9, 418.5, 453.2, 460.0, 536.2 and 637.5 nm. The
holmium trace is the filter's absorbance as the detector measures it,
1000 * log10((deuterium - dark) / (deuterium through the filter - dark)) in
milli-absorbance units, so its bands are maxima at their reference
wavelengths: the form in which the calibration (360.8 nm) and the holmium
check (287.6 and 360.8 nm) take it.
"""

from __future__ import annotations

import functools
import math
import zlib
from dataclasses import dataclass, field, replace
from typing import Callable, Sequence

import numpy as np

from .api import rules
from .api.errors import InputError
from .api.records import CalibrationRecord

ANCHOR_WAVELENGTH = 656.1
FAR_BELOW, FAR_ABOVE = 150.0, 900.0  # wavelengths the simulation can represent


@functools.lru_cache(maxsize=1)
def _grating() -> tuple[np.ndarray, np.ndarray, float, float, float]:
    """The library's nominal model tabulated over the wavelengths the
    simulation represents (the model is smooth and monotonic, so the table
    inverts it as well), the nominal position of 656.1 nm, and the default
    dispersion's slope and 656.1 nm position."""
    nm = np.arange(FAR_BELOW - 50.0, FAR_ABOVE + 50.0, 0.005)
    model = rules.nominal_positions(nm)
    slope, _, anchor = rules.decode(CalibrationRecord.UNCALIBRATED)
    return nm, model, float(rules.nominal_positions(ANCHOR_WAVELENGTH)[0]), slope, anchor


def nominal_position(wavelength) -> np.ndarray:
    """The grating model's position (elements) of wavelengths (nm)."""
    nm, model, _, _, _ = _grating()
    return np.interp(np.asarray(wavelength, dtype=float), nm, model)


def nominal_wavelength(position) -> np.ndarray:
    """The wavelength (nm) the grating model puts at a model position."""
    nm, model, _, _, _ = _grating()
    return np.interp(np.asarray(position, dtype=float), model, nm)

# ---------------------------------------------------------------------------
# Light sources
# ---------------------------------------------------------------------------


@dataclass(frozen=True)
class Source:
    """A lamp (or a lamp through a filter): a continuum (radiance per nm) and
    emission lines (wavelength nm, integrated radiance)."""

    name: str
    continuum: Callable[[np.ndarray], np.ndarray]
    lines: tuple[tuple[float, float], ...] = ()

    def through(self, transmission: Callable[[np.ndarray], np.ndarray], name: str) -> "Source":
        """This source seen through a filter of the given transmission."""
        continuum = self.continuum
        lines = tuple((w, a * float(transmission(np.array([w]))[0])) for w, a in self.lines)
        return Source(name, lambda x: continuum(x) * transmission(x), lines)


def responsivity(wavelength: np.ndarray) -> np.ndarray:
    """Relative response of the optics and the silicon diodes."""
    return 1.0 - np.exp(-np.clip(wavelength - 175.0, 0.0, None) / 35.0)


def deuterium_continuum(wavelength: np.ndarray) -> np.ndarray:
    x = np.asarray(wavelength, dtype=float)
    # Emission falling as lambda^-4 toward the visible, cut off below 180 nm
    # by the lamp window.
    window = 1.0 - np.exp(-np.clip(x - 180.0, 0.0, None) / 10.0)
    return (x / 230.0) ** -4.0 * window * responsivity(x)


DEUTERIUM_LINES = ((486.0, 0.55), (656.1, 1.6))

MERCURY_LINES = ((253.7, 100.0), (296.7, 1.6), (302.2, 0.6), (312.6, 2.0), (313.2, 1.5),
                 (334.1, 0.4), (365.0, 2.5), (365.5, 0.7), (366.3, 0.5), (404.7, 4.0),
                 (407.8, 0.4), (435.8, 9.0), (491.6, 0.15), (546.1, 7.0), (577.0, 0.9),
                 (579.1, 0.9))

# (centre nm, peak absorbance, full width at half maximum nm)
HOLMIUM_BANDS = ((241.5, 0.55, 6.0), (279.4, 0.45, 4.0), (287.6, 0.55, 4.0),
                 (333.7, 0.30, 5.0), (360.8, 0.95, 5.0), (385.9, 0.40, 6.0),
                 (418.5, 0.50, 5.0), (453.2, 0.55, 6.0), (460.0, 0.20, 5.0),
                 (536.2, 0.45, 7.0), (637.5, 0.40, 7.0))
HOLMIUM_BASE_ABSORBANCE = 0.05


def deuterium_lamp() -> Source:
    lines = tuple((w, a * float(responsivity(np.array([w]))[0])) for w, a in DEUTERIUM_LINES)
    return Source("deuterium", deuterium_continuum, lines)


def mercury_lamp() -> Source:
    lines = tuple((w, a * float(responsivity(np.array([w]))[0])) for w, a in MERCURY_LINES)
    return Source("mercury", lambda x: np.zeros_like(np.asarray(x, dtype=float)), lines)


def holmium_absorbance(wavelength: np.ndarray) -> np.ndarray:
    x = np.asarray(wavelength, dtype=float)
    total = np.full_like(x, HOLMIUM_BASE_ABSORBANCE)
    for centre, peak, fwhm in HOLMIUM_BANDS:
        sigma = fwhm / (2.0 * math.sqrt(2.0 * math.log(2.0)))
        total += peak * np.exp(-0.5 * ((x - centre) / sigma) ** 2)
    return total


def holmium_transmission(wavelength: np.ndarray) -> np.ndarray:
    return 10.0 ** -holmium_absorbance(wavelength)


# ---------------------------------------------------------------------------
# Slit functions
# ---------------------------------------------------------------------------

def _erf(x: np.ndarray) -> np.ndarray:
    return np.vectorize(math.erf, otypes=[float])(x)


def slit_cdf(shape: str, bandwidth: float, offset: np.ndarray) -> np.ndarray:
    """Fraction of a line's light that falls below offset (nm from the line)."""
    x = np.asarray(offset, dtype=float)
    if shape == "triangular":
        w = bandwidth  # half-width of the base equals the full width at half maximum
        left = (x + w) ** 2 / (2.0 * w * w)
        right = 1.0 - (w - x) ** 2 / (2.0 * w * w)
        return np.where(x <= -w, 0.0, np.where(x < 0.0, left, np.where(x < w, right, 1.0)))
    if shape == "gaussian":
        sigma = bandwidth / (2.0 * math.sqrt(2.0 * math.log(2.0)))
        return 0.5 * (1.0 + _erf(x / (sigma * math.sqrt(2.0))))
    raise ValueError(f"slit shape must be 'triangular' or 'gaussian', not {shape!r}")


def slit_kernel(shape: str, bandwidth: float, step: float) -> np.ndarray:
    """The slit function sampled every step nm, summing to 1."""
    reach = bandwidth if shape == "triangular" else 2.0 * bandwidth
    half = max(1, int(math.ceil(reach / step)))
    edges = (np.arange(-half, half + 2) - 0.5) * step
    kernel = np.diff(slit_cdf(shape, bandwidth, edges))
    return kernel / kernel.sum()


# ---------------------------------------------------------------------------
# The detector
# ---------------------------------------------------------------------------


@dataclass(frozen=True)
class SpectrumSet:
    """Everything a calibration and both lamp checks need, as the detector
    measured it (512 values each, element 1 first)."""

    detector: "Detector"
    dark: np.ndarray
    d2: np.ndarray
    holmium: np.ndarray       # filter trace, milli-absorbance, bands are maxima
    d2_filtered: np.ndarray   # deuterium lamp through the holmium filter (raw)
    hg1: np.ndarray           # mercury, exposed for 253.7 nm
    hg2: np.ndarray           # mercury, exposed for the visible lines (253.7 saturates)
    exposures: dict = field(default_factory=dict)

    def items(self):
        return (("dark", self.dark), ("d2", self.d2), ("holmium", self.holmium),
                ("hg1", self.hg1), ("hg2", self.hg2))


@dataclass(frozen=True)
class Detector:
    """A diode array out of calibration by a known amount."""

    shift: float = 0.0          # elements: 656.1 nm falls at element 383.0 + shift
    slope_error: float = 0.0    # relative error of the dispersion (0.002 = +0.2 %)
    slit: float = 2.0           # spectral bandwidth, nm (full width at half maximum)
    slit_shape: str = "triangular"
    seed: int = 0
    dark_level: float = 800.0   # counts
    dark_pattern: float = 15.0  # counts rms, fixed pattern of the elements
    read_noise: float = 4.0     # counts rms
    electrons_per_count: float = 10.0  # sets the shot noise
    full_scale: float = 65535.0
    fill: float = 0.5           # auto-exposure: brightest feature at this fraction of full scale

    def __post_init__(self):
        # Within these the simulation represents the array's 150..900 nm.
        for name, low, high in (("shift", -50.0, 50.0), ("slope_error", -0.05, 0.05),
                                ("slit", 0.0, 20.0)):
            value = getattr(self, name)
            if not (isinstance(value, (int, float)) and math.isfinite(value)
                    and low <= value <= high) or (name == "slit" and value == 0):
                raise InputError(f"{name}: {value!r}; the simulated detector takes "
                                 f"{'above ' if name == 'slit' else ''}{low:g} .. {high:g}"
                                 + (" (slope error in parts, the command line's percent / 100)"
                                    if name == "slope_error" else ""))
        if not (isinstance(self.seed, int) and 0 <= self.seed < 2**63):
            raise InputError(f"seed: {self.seed!r}; a noise seed is a whole number, 0 or more")
        if self.slit_shape not in ("triangular", "gaussian"):
            raise InputError(f"slit shape: {self.slit_shape!r}; 'triangular' or 'gaussian'")

    # --- geometry ----------------------------------------------------------

    @property
    def _scale(self) -> float:
        return _grating()[3] * (1.0 + self.slope_error)

    def position_of(self, wavelength) -> np.ndarray:
        """True position (elements) at which a wavelength falls."""
        _, _, w_anchor, _, anchor = _grating()
        return anchor + self.shift + (nominal_position(wavelength) - w_anchor) * self._scale

    def wavelength_at(self, position) -> np.ndarray:
        """True wavelength (nm) at a position (elements)."""
        _, _, w_anchor, _, anchor = _grating()
        return nominal_wavelength(w_anchor + (np.asarray(position, dtype=float) - anchor
                                              - self.shift) / self._scale)

    def element_edges(self) -> np.ndarray:
        """Wavelengths of the 513 element boundaries (positions 0.5 .. 512.5)."""
        return self.wavelength_at(np.arange(rules.limits().element_count + 1) + 0.5)

    def element_wavelengths(self) -> np.ndarray:
        """True wavelength at the centre of each element."""
        return self.wavelength_at(rules.limits().elements)

    # --- light -------------------------------------------------------------

    def render(self, source: Source) -> np.ndarray:
        """Light collected by each element (exposure 1, no dark, no noise)."""
        edges = self.element_edges()
        step = min(0.02, self.slit / 25.0)
        reach = 3.0 * self.slit
        grid = np.arange(max(edges[0], FAR_BELOW) - reach, min(edges[-1], FAR_ABOVE) + reach,
                         step)
        density = np.asarray(source.continuum(grid), dtype=float)
        smoothed = np.convolve(density, slit_kernel(self.slit_shape, self.slit, step),
                               mode="same")
        cumulative = np.concatenate([[0.0], np.cumsum(0.5 * (smoothed[1:] + smoothed[:-1])
                                                      * step)])
        signal = np.diff(np.interp(edges, grid, cumulative))
        for wavelength, area in source.lines:
            cdf = slit_cdf(self.slit_shape, self.slit, edges - wavelength)
            signal += area * np.diff(cdf)
        return signal

    def auto_exposure(self, source: Source, from_wavelength: float = 0.0) -> float:
        """Exposure that puts the brightest element at or beyond from_wavelength
        at the fill level of full scale."""
        signal = self.render(source)
        region = self.element_wavelengths() >= from_wavelength
        peak = float(signal[region].max()) if region.any() else 0.0
        return self.fill * (self.full_scale - self.dark_level) / peak if peak > 0 else 1.0

    # --- measurement -------------------------------------------------------

    def _rng(self, name: str) -> np.random.Generator:
        return np.random.default_rng([self.seed, zlib.crc32(name.encode())])

    def dark_offsets(self) -> np.ndarray:
        """Offset of every element without light (fixed for this detector)."""
        pattern = self._rng("fixed pattern").standard_normal(rules.limits().element_count)
        return self.dark_level + self.dark_pattern * pattern

    def measure(self, source: Source | None, exposure: float, name: str) -> np.ndarray:
        """One reading of the array: dark offsets, light, noise, clipping."""
        count = rules.limits().element_count
        light = np.zeros(count) if source is None else exposure * self.render(source)
        rng = self._rng(name)
        shot = rng.standard_normal(count) * np.sqrt(
            np.clip(light, 0.0, None) / self.electrons_per_count)
        read = rng.standard_normal(count) * self.read_noise
        counts = self.dark_offsets() + light + shot + read
        return np.round(np.clip(counts, 0.0, self.full_scale), 2)

    def dark(self) -> np.ndarray:
        return self.measure(None, 0.0, "dark")

    def measure_all(self) -> SpectrumSet:
        """Dark, deuterium, holmium trace and both mercury spectra."""
        d2_lamp = deuterium_lamp()
        hg_lamp = mercury_lamp()
        filtered = d2_lamp.through(holmium_transmission, "deuterium through holmium")
        exposures = {"d2": self.auto_exposure(d2_lamp),
                     "hg1": self.auto_exposure(hg_lamp),
                     "hg2": self.auto_exposure(hg_lamp, from_wavelength=300.0)}
        dark = self.dark()
        d2 = self.measure(d2_lamp, exposures["d2"], "deuterium")
        d2_filtered = self.measure(filtered, exposures["d2"], "deuterium through holmium")
        return SpectrumSet(
            detector=self, dark=dark, d2=d2, holmium=holmium_trace(d2, d2_filtered, dark),
            d2_filtered=d2_filtered, hg1=self.measure(hg_lamp, exposures["hg1"], "mercury 1"),
            hg2=self.measure(hg_lamp, exposures["hg2"], "mercury 2"), exposures=exposures)

    def with_changes(self, **changes) -> "Detector":
        return replace(self, **changes)


def holmium_trace(open_beam: np.ndarray, through_filter: np.ndarray,
                  dark: np.ndarray) -> np.ndarray:
    """The filter's absorbance in milli-absorbance units from dark-corrected
    readings (a count of at least 1 keeps dark elements finite)."""
    reference = np.clip(open_beam - dark, 1.0, None)
    sample = np.clip(through_filter - dark, 1.0, None)
    return np.round(1000.0 * np.log10(reference / sample), 3)


def random_detectors(count: int, seed: int, shifts: tuple[float, float] = (-4.0, 7.0),
                     slope_errors: tuple[float, float] = (-0.002, 0.002),
                     slits: tuple[float, float] = (2.0, 4.0),
                     slit_shape: str = "triangular") -> list[Detector]:
    """count detectors drawn uniformly from the given ranges, reproducibly."""
    rng = np.random.default_rng(seed)
    return [Detector(shift=float(rng.uniform(*shifts)),
                     slope_error=float(rng.uniform(*slope_errors)),
                     slit=float(rng.uniform(*slits)), slit_shape=slit_shape,
                     seed=seed * 1000 + i)
            for i in range(count)]


def true_record_positions(detector: Detector) -> tuple[float, float]:
    """Where the detector really has 360.8 nm and 656.1 nm (elements): what a
    perfect calibration would write, divided by 64."""
    p1, p2 = detector.position_of(np.array([360.8, 656.1]))
    return float(p1), float(p2)


def lines_of(names: Sequence[str]) -> list[float]:
    table = {"deuterium": [w for w, _ in DEUTERIUM_LINES],
             "mercury": [w for w, _ in MERCURY_LINES],
             "holmium": [w for w, _, _ in HOLMIUM_BANDS]}
    return [w for name in names for w in table[name]]
