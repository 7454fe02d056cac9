"""Moving arrays between numpy and the library."""

from __future__ import annotations

import ctypes
from ctypes import POINTER, c_double, c_int32

import numpy as np

from . import native


def doubles(array: np.ndarray | None):
    """A double* to array's data (NULL for None); keep array alive."""
    if array is None:
        return None
    return array.ctypes.data_as(POINTER(c_double))


def ints(array: np.ndarray | None):
    if array is None:
        return None
    return array.ctypes.data_as(POINTER(c_int32))


def take_task_buffer(pointer, count: int, dtype) -> np.ndarray:
    """Copies count values from a buffer the library handed back and frees
    the buffer with the library's CoTaskMemFree."""
    lib = native.library()
    try:
        if not pointer or count <= 0:
            return np.zeros(0, dtype=dtype)
        itemsize = np.dtype(dtype).itemsize
        raw = ctypes.string_at(ctypes.cast(pointer, ctypes.c_void_p), count * itemsize)
        return np.frombuffer(raw, dtype=dtype).copy()
    finally:
        if pointer:
            lib.CoTaskMemFree(ctypes.cast(pointer, ctypes.c_void_p))


def task_copy(array: np.ndarray) -> int:
    """A new CoTaskMemAlloc block holding array's bytes (for data the
    library will free itself); returns its address."""
    lib = native.library()
    size = max(array.nbytes, 1)
    block = lib.CoTaskMemAlloc(size)
    if not block:
        raise MemoryError("CoTaskMemAlloc failed")
    ctypes.memmove(block, array.ctypes.data, array.nbytes)
    return block
