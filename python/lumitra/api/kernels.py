"""The numerical kernels: spline refinement and the low-frequency filter."""

from __future__ import annotations

from ctypes import byref

import numpy as np

from . import buffers, inputs, native
from .errors import InputError
from .records import INT32_MAX, int32


def _knots(x, y, minimum: int) -> tuple[np.ndarray, np.ndarray]:
    """Finite abscissae and whole-number ordinates within 32 bits."""
    in_x = inputs.spectrum(x, "x", np.size(x))
    in_y = inputs.spectrum(y, "y", in_x.size)
    if in_x.size < minimum or np.any(in_y != np.trunc(in_y)):
        raise InputError(f"x and y: at least {minimum} points, y whole numbers")
    return in_x, np.ascontiguousarray(in_y, dtype=np.int32)


def spline_substeps(x, y, sub_steps: int = 64, start: float | None = None,
                    end: float | None = None) -> tuple[np.ndarray, np.ndarray]:
    """Sub-step spline mode of Lumitra_SplineInterpolation: a cubic spline
    with zero end slopes through the integer ordinates y, evaluated sub_steps
    times per interval from the last sample below start to the first sample
    reaching end. Returns (abscissae, ordinates), len(x)*sub_steps + 1 each;
    output point o stands for sample position o / sub_steps, and points
    outside the evaluated range hold 0."""
    in_x, in_y = _knots(x, y, 1)
    sub_steps = int32(sub_steps, "sub_steps")
    if not 1 <= sub_steps <= INT32_MAX // max(in_x.size, 1) - 1:
        raise InputError(f"sub_steps: {sub_steps} is not a count of sub-steps")
    start = inputs.finite(in_x[0] if start is None else start, "start")
    end = inputs.finite(in_x[-1] if end is None else end, "end")
    count = in_x.size * sub_steps + 1
    # A 0.0 abscissa after the samples ends the library's range scans there.
    # The ordinates of a range that starts at sample i0 run to i0*F + m*F,
    # at most twice len(x)*F; the points past `count` are dropped.
    work_x = np.zeros(in_x.size + 1, dtype=np.float64)
    work_y = np.zeros(in_y.size + 1, dtype=np.int32)
    work_x[:in_x.size], work_y[:in_y.size] = in_x, in_y
    out_x = np.zeros(count, dtype=np.float64)
    out_y = np.zeros(2 * count, dtype=np.int32)
    request = native.SplineRequest(
        mode=1, inX=buffers.doubles(work_x), inY=buffers.ints(work_y),
        outX=buffers.doubles(out_x), outY=buffers.ints(out_y), reserved=0,
        startX=start, endX=end, outCount=count, subSteps=sub_steps)
    native.library().Lumitra_SplineInterpolation(byref(request))
    return out_x, out_y[:count].copy()


def spline_midpoints(x, y, end: float | None = None) -> tuple[np.ndarray, np.ndarray]:
    """Midpoint mode of Lumitra_SplineInterpolation: three passes that each
    insert the middle of every interval (eight-fold refinement up to end).
    Returns the 8*(n-1) + 1 refined points of n input points. No abscissa
    may be 0.0 (it ends the data for the library)."""
    in_x, in_y = _knots(x, y, 2)
    if np.any(in_x == 0.0):
        raise InputError("an abscissa of 0.0 would end the data")
    end = inputs.finite(in_x[-1] if end is None else end, "end")
    points = 8 * (in_x.size - 1) + 1
    room = 8 * in_x.size + 8  # the passes read one interval past the data
    # The library writes the intermediate four-fold series into its inputs,
    # so it works on copies.
    work_x = np.zeros(room, dtype=np.float64)
    work_y = np.zeros(room, dtype=np.int32)
    work_x[:in_x.size] = in_x
    work_y[:in_y.size] = in_y
    out_x = np.zeros(room, dtype=np.float64)
    out_y = np.zeros(room, dtype=np.int32)
    request = native.SplineRequest(
        mode=0, inX=buffers.doubles(work_x), inY=buffers.ints(work_y),
        outX=buffers.doubles(out_x), outY=buffers.ints(out_y), reserved=0, startX=0.0,
        endX=end, outCount=room, subSteps=0)
    native.library().Lumitra_SplineInterpolation(byref(request))
    return out_x[:points].copy(), out_y[:points].copy()


def filtrate_low_frequency(signal, half_width: int) -> np.ndarray:
    """Each sample less the mean of the samples within half_width on either
    side (windows clipped at the ends); returns a new array."""
    work = inputs.spectrum(signal, "signal", np.size(signal)).copy()
    half_width = int32(half_width, "half_width")
    if half_width < 0:
        raise InputError("half_width must not be negative")
    native.library().Lumitra_FiltrateLowFrequency(buffers.doubles(work), work.size, half_width)
    return work
