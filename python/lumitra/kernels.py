"""The numerical kernels: spline refinement and the low-frequency filter."""

from __future__ import annotations

from ctypes import byref

import numpy as np

from . import _buffers, native
from .errors import check_status


def spline_substeps(x, y, sub_steps: int = 64, start: float | None = None,
                    end: float | None = None) -> tuple[np.ndarray, np.ndarray]:
    """Sub-step spline mode of Lumitra_SplineInterpolation: a cubic spline
    with zero end slopes through the integer ordinates y, evaluated sub_steps
    times per interval from the last sample below start to the first sample
    reaching end. Returns (abscissae, ordinates), len(x)*sub_steps + 1 each;
    output point o stands for sample position o / sub_steps, and points
    outside the evaluated range hold 0."""
    in_x = np.ascontiguousarray(x, dtype=np.float64)
    in_y = np.ascontiguousarray(y, dtype=np.int32)
    if in_x.ndim != 1 or in_x.shape != in_y.shape:
        raise ValueError("x and y must be one-dimensional and of equal length")
    if sub_steps < 1:
        raise ValueError("sub_steps must be at least 1")
    count = in_x.size * sub_steps + 1
    out_x = np.zeros(count, dtype=np.float64)
    out_y = np.zeros(count, dtype=np.int32)
    request = native.SplineRequest(
        mode=1, inX=_buffers.doubles(in_x), inY=_buffers.ints(in_y),
        outX=_buffers.doubles(out_x), outY=_buffers.ints(out_y), reserved=0,
        startX=float(in_x[0] if start is None else start),
        endX=float(in_x[-1] if end is None else end), outCount=count, subSteps=sub_steps)
    status = native.library().Lumitra_SplineInterpolation(byref(request))
    check_status(status, "Lumitra_SplineInterpolation")
    return out_x, out_y


def spline_midpoints(x, y, end: float | None = None) -> tuple[np.ndarray, np.ndarray]:
    """Midpoint mode of Lumitra_SplineInterpolation: three passes that each
    insert the middle of every interval (eight-fold refinement up to end).
    Returns the 8*(n-1) + 1 refined points of n input points. No abscissa
    may be 0.0 (it ends the data for the library)."""
    in_x = np.ascontiguousarray(x, dtype=np.float64)
    in_y = np.ascontiguousarray(y, dtype=np.int32)
    if in_x.ndim != 1 or in_x.shape != in_y.shape or in_x.size < 2:
        raise ValueError("x and y must be one-dimensional, of equal length, at least 2 points")
    if np.any(in_x == 0.0):
        raise ValueError("an abscissa of 0.0 would end the data")
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
        mode=0, inX=_buffers.doubles(work_x), inY=_buffers.ints(work_y),
        outX=_buffers.doubles(out_x), outY=_buffers.ints(out_y), reserved=0, startX=0.0,
        endX=float(in_x[-1] if end is None else end), outCount=room, subSteps=0)
    status = native.library().Lumitra_SplineInterpolation(byref(request))
    check_status(status, "Lumitra_SplineInterpolation")
    return out_x[:points].copy(), out_y[:points].copy()


def filtrate_low_frequency(signal, half_width: int) -> np.ndarray:
    """Each sample less the mean of the samples within half_width on either
    side (windows clipped at the ends); returns a new array."""
    work = np.array(signal, dtype=np.float64, copy=True)
    if work.ndim != 1:
        raise ValueError("the signal must be one-dimensional")
    if not 0 <= half_width < 2**32:
        raise ValueError("half_width must lie in 0 .. 2**32 - 1")
    status = native.library().Lumitra_FiltrateLowFrequency(_buffers.doubles(work), work.size,
                                                          half_width)
    check_status(status, "Lumitra_FiltrateLowFrequency")
    return work
