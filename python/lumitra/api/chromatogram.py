"""Chromatogram and spectrum utilities: peak bases and background subtraction.

The wavelength caption (Lumitra_GetStringLambdaMinMax) is not available
here: it shares a C++ std::string with its caller, which Python cannot
provide through ctypes.
"""

from __future__ import annotations

import ctypes
from ctypes import POINTER, byref, c_double, c_int32
from dataclasses import dataclass
from typing import Callable, Sequence

import numpy as np

from . import buffers, native
from .errors import E_FAIL, InputError, StatusError
from .records import int32

BASE_START = 0x10
GROUPED_A = 0x100
GROUPED_B = 0x800
ENDS_SCAN = 0x4


@dataclass(frozen=True)
class Peak:
    flags: int
    retention_time: int
    start_time: int
    end_time: int


class PeakTable:
    """A peak table in the host's layout: an int32 count, then one 1056-byte
    record per peak of which the library reads four fields."""

    def __init__(self, peaks: Sequence[Peak]):
        self.peaks = tuple(peaks)
        size = 4 + native.PEAK_RECORD_SIZE * max(len(self.peaks), 1)
        self.buffer = ctypes.create_string_buffer(size)
        ctypes.memmove(self.buffer, np.int32(len(self.peaks)).tobytes(), 4)
        for k, peak in enumerate(self.peaks):
            base = native.PEAK_RECORD_SIZE * k
            for offset, value, kind in (
                    (native.PEAK_FLAGS_OFFSET, peak.flags, np.uint32),
                    (native.PEAK_RETENTION_TIME_OFFSET, peak.retention_time, np.int32),
                    (native.PEAK_START_TIME_OFFSET, peak.start_time, np.int32),
                    (native.PEAK_END_TIME_OFFSET, peak.end_time, np.int32)):
                ctypes.memmove(ctypes.addressof(self.buffer) + base + offset,
                               kind(value).tobytes(), 4)

    @property
    def address(self) -> int:
        return ctypes.addressof(self.buffer)


def _pair(name: str, table: PeakTable, argument: int) -> tuple[int, int]:
    a, b = c_int32(), c_int32()
    native.library().function(name)(table.address, int32(argument, "peak or time"), byref(a),
                                    byref(b))
    return a.value, b.value


def base_peaks(table: PeakTable, peak: int) -> tuple[int, int]:
    """First and last peak (1-based) of the base of peak."""
    return _pair("Lumitra_GetBasePeaks", table, peak)


def base_times(table: PeakTable, peak: int) -> tuple[int, int]:
    """Start time of the first and end time of the last peak of the base."""
    return _pair("Lumitra_GetBaseTimes", table, peak)


def peak_from_rt(table: PeakTable, time: int, fallback: bool = False) -> int:
    """Peak (1-based) holding time with the nearest retention time; with
    fallback the nearest retention time over all peaks; 0 for none."""
    return int(native.library().Lumitra_GetPeakFromRT(table.address,
                                                      int32(time, 'time'),
                                                      1 if fallback else 0))


def base_times_from_rt(table: PeakTable, time: int) -> tuple[int, int]:
    """Base times of the peak at time."""
    return _pair("Lumitra_GetBaseTimesFromRT", table, time)


# A data source answers time -> (values, wavelengths) or raises; a status
# (negative int) may be returned instead to report a failure.
SpectrumSource = Callable[[int], "tuple[Sequence[float], Sequence[int]] | int"]


class _DataSource:
    """An ISpectrumSource whose GetSpectrum calls a Python function and hands
    the library CoTaskMemAlloc buffers (which the library frees)."""

    def __init__(self, source: SpectrumSource):
        self.source = source
        self.calls: list[tuple[int, int, int, int, int]] = []
        self.error: BaseException | None = None
        self._function = native.GetSpectrumFn(self._get_spectrum)
        self._vtbl = native.ISpectrumSourceVtbl()
        self._vtbl.GetSpectrum = self._function
        self.object = native.ISpectrumSource(ctypes.pointer(self._vtbl))

    def _get_spectrum(self, _self, time, values, count, wavelengths, selector_a, zero,
                      selector_b, one):
        self.calls.append((time, selector_a, zero, selector_b, one))
        try:
            answer = self.source(time)
            if isinstance(answer, int):
                return answer
            data, points = answer
            data = np.ascontiguousarray(data, dtype=np.float64)
            points = np.ascontiguousarray(points, dtype=np.int32)
            table = np.concatenate([np.array([data.size], dtype=np.int32), points])
            values[0] = ctypes.cast(buffers.task_copy(data), POINTER(c_double))
            wavelengths[0] = ctypes.cast(buffers.task_copy(table), POINTER(c_int32))
            count[0] = data.size
            return 0
        except BaseException as error:  # never let an exception cross into C
            self.error = error
            return E_FAIL

    def call(self, name: str, *arguments) -> None:
        """Calls an export that asks this source; the source's own exception
        comes before the status it turned into."""
        try:
            native.library().function(name)(*arguments)
        except StatusError:
            if self.error is not None:
                raise self.error from None
            raise
        if self.error is not None:
            raise self.error


def _request(source: _DataSource, time: int, background1: int, background2: int,
             selector_a: int, selector_b: int) -> native.BGSubtractionRequest:
    time, background1, background2 = (int32(t, "time")
                                      for t in (time, background1, background2))
    if not (-2**15 <= selector_a < 2**15 and 0 <= selector_b < 2**16):
        raise InputError("selector_a is a signed, selector_b an unsigned 16-bit number")
    return native.BGSubtractionRequest(
        spectrumTime=time, backgroundTime1=background1, backgroundTime2=background2,
        dataSource=ctypes.pointer(source.object), selectorB=selector_b, selectorA=selector_a)


def bg_subtracted_spectrum(source: SpectrumSource, time: int, background1: int,
                           background2: int, selector_a: int = 0, selector_b: int = 0
                           ) -> tuple[np.ndarray, np.ndarray]:
    """The spectrum at time less the background interpolated in time between
    the spectra at background1 and background2. source(time) returns
    (values, wavelengths). Returns (values, wavelengths)."""
    data_source = _DataSource(source)
    request = _request(data_source, time, background1, background2, selector_a, selector_b)
    values = POINTER(c_double)()
    wavelengths = POINTER(c_int32)()
    count = c_int32(0)
    name = "Lumitra_GetBGSubtractedSpectrum"
    data_source.call(name, byref(request), byref(values), byref(count), byref(wavelengths))
    n = count.value
    result = buffers.take_task_buffer(values, n, np.float64)
    table = buffers.take_task_buffer(wavelengths, max(n, 1) + 1, np.int32)
    return result, table[1:n + 1]


def bg_subtracted_uv_spec_data(source: SpectrumSource, time: int, background1: int,
                               background2: int, selector_a: int = 0, selector_b: int = 0
                               ) -> native.UVSpecData:
    """The same as a UVSpecData record whose arrays come from the sibling
    library's Tool_AllocateUVSpecData (they belong to that library)."""
    data_source = _DataSource(source)
    request = _request(data_source, time, background1, background2, selector_a, selector_b)
    result = native.UVSpecData()
    name = "Lumitra_GetBGSubtractedUVSpecData"
    data_source.call(name, byref(request), byref(result))
    return result
