"""The grating model of the polychromator in Python.

The scalar functions repeat the library's arithmetic operation for
operation with the same C math functions, so they give the library's
results bit for bit (the tests check this against its tables); the
simulator and the plots use them, and the ``*_array`` forms (numpy, not
bit-exact) where many wavelengths are needed at once.
"""

from __future__ import annotations

import math

import numpy as np

from .records import CalibrationRecord

PI = 3.141592653589793
GROOVES_PER_MM = 430
NM_PER_MM = 1000000
INCIDENCE_DEG = 6.0
ARRAY_TILT_DEG = 27.97374
FOCAL_DISTANCE_MM = 85.6875
REFERENCE_OFFSET_MM = 26.5913
DIODE_PITCH_MM = 0.05
REFERENCE_ELEMENT = 10.0
OFFSET_OVER_FOCAL = 0.31032881108679794
PITCH_OVER_FOCAL = 0.0005835156819839533

DEFAULT_SLOPE = 1.000116
DEFAULT_MODEL_POSITION = 385.03
DEFAULT_MEASURED_POSITION = 383.0

# Range test of a new calibration: 190 nm at or above element 3.0 and
# 800 nm at or below element 510.0.
RANGE_LOW = (190.0, 3.0)
RANGE_HIGH = (800.0, 510.0)


def deg_to_rad(degrees: float) -> float:
    return degrees * PI / 180


def rad_to_deg(radians: float) -> float:
    return radians * 180 / PI


def wavelength_to_position(wavelength: float) -> float:
    """Model position (elements) of a wavelength (nm)."""
    tilt = deg_to_rad(ARRAY_TILT_DEG)
    incidence = math.sin(deg_to_rad(INCIDENCE_DEG))
    beta = math.asin(incidence + wavelength * GROOVES_PER_MM / NM_PER_MM)
    x = math.tan(tilt - beta) * FOCAL_DISTANCE_MM
    return (REFERENCE_OFFSET_MM - x) / DIODE_PITCH_MM + REFERENCE_ELEMENT


def truncate_int32(x: float) -> int:
    """Conversion toward zero to a signed 32-bit integer (values in range)."""
    return int(math.trunc(x))


def round_to_hundredth(x: float) -> float:
    """x cut (not rounded) to two decimals."""
    return truncate_int32(x * 100) / 100.0


def position_to_wavelength(position: float, slope: float, model_position: float,
                           measured_position: float) -> float:
    q = (position - measured_position) / slope + model_position
    u = OFFSET_OVER_FOCAL - (q - REFERENCE_ELEMENT) * PITCH_OVER_FOCAL
    theta = ARRAY_TILT_DEG - rad_to_deg(math.atan(u))
    return ((math.sin(deg_to_rad(theta)) - math.sin(deg_to_rad(INCIDENCE_DEG)))
            / GROOVES_PER_MM * NM_PER_MM)


def decode_calibration(record: CalibrationRecord | None) -> tuple[float, float, float]:
    """(slope, model position, measured position) of a record."""
    record = record or CalibrationRecord.UNCALIBRATED
    if not record.is_calibrated:
        return DEFAULT_SLOPE, DEFAULT_MODEL_POSITION, DEFAULT_MEASURED_POSITION
    m1 = round_to_hundredth(wavelength_to_position(record.wavelength1 / 100.0))
    m2 = round_to_hundredth(wavelength_to_position(record.wavelength2 / 100.0))
    p1 = record.position1 * 0.015625
    p2 = 0.015625 * record.position2
    return (p2 - p1) / (m2 - m1), m2, p2


def calibrated_position(wavelength: float, model_position: float, measured_position: float,
                        slope: float) -> float:
    """Measured position of a wavelength (note: the slope comes last)."""
    return ((round_to_hundredth(wavelength_to_position(wavelength)) - model_position) * slope
            + measured_position)


def record_position(wavelength: float, record: CalibrationRecord | None) -> float:
    """Where a record puts a wavelength on the array (elements)."""
    slope, model, measured = decode_calibration(record)
    return calibrated_position(wavelength, model, measured, slope)


def record_wavelength(position: float, record: CalibrationRecord | None) -> float:
    """The wavelength a record assigns to a position (elements)."""
    slope, model, measured = decode_calibration(record)
    return position_to_wavelength(position, slope, model, measured)


def range_test(record: CalibrationRecord) -> list[str]:
    """The failures of the calibration's range test for a record, as text
    (empty when it passes)."""
    failures = []
    low = record_position(RANGE_LOW[0], record)
    high = record_position(RANGE_HIGH[0], record)
    if low < RANGE_LOW[1]:
        failures.append(f"{RANGE_LOW[0]:.0f} nm would fall at element {low:.3f}, "
                        f"below {RANGE_LOW[1]:.1f}")
    if high > RANGE_HIGH[1]:
        failures.append(f"{RANGE_HIGH[0]:.0f} nm would fall at element {high:.3f}, "
                        f"beyond {RANGE_HIGH[1]:.1f}")
    return failures


# --- numpy forms for the simulator and the plots ---------------------------

def wavelength_to_position_array(wavelength) -> np.ndarray:
    tilt = deg_to_rad(ARRAY_TILT_DEG)
    incidence = math.sin(deg_to_rad(INCIDENCE_DEG))
    beta = np.arcsin(incidence + np.asarray(wavelength, dtype=float) * GROOVES_PER_MM / NM_PER_MM)
    x = np.tan(tilt - beta) * FOCAL_DISTANCE_MM
    return (REFERENCE_OFFSET_MM - x) / DIODE_PITCH_MM + REFERENCE_ELEMENT


def model_position_to_wavelength_array(model_position) -> np.ndarray:
    """Wavelength (nm) at a model position: the inverse of
    wavelength_to_position_array."""
    q = np.asarray(model_position, dtype=float)
    u = OFFSET_OVER_FOCAL - (q - REFERENCE_ELEMENT) * PITCH_OVER_FOCAL
    theta = ARRAY_TILT_DEG - np.degrees(np.arctan(u))
    return (np.sin(np.radians(theta)) - math.sin(deg_to_rad(INCIDENCE_DEG))) \
        / GROOVES_PER_MM * NM_PER_MM


def record_wavelength_array(positions, record: CalibrationRecord | None) -> np.ndarray:
    """Wavelengths (nm) a record assigns to positions (elements)."""
    slope, model, measured = decode_calibration(record)
    return model_position_to_wavelength_array(
        (np.asarray(positions, dtype=float) - measured) / slope + model)
