"""Spectra in CSV or plain text files.

A file is UTF-8 (with or without a byte-order mark) or UTF-16 with a
byte-order mark; comment lines may hold other bytes (a latin-1 author name,
say), which are not read. At most MAX_FILE_BYTES are read from any path,
a device or a pipe included.


A file holds one value per line (element 1 first), or wavelength/value pairs
(nm, increasing), separated by commas, semicolons, tabs or spaces. Lines
starting with '#' and blank lines are skipped, and so is a header line of
column names before the first number. Where the columns are separated by
semicolons, tabs or spaces, a comma between digits is a decimal comma
("190;0,5"); a file of "830,650" lines is a pair file whose wavelengths do
not increase, and is refused with that reason rather than misread.
"""

from __future__ import annotations

import codecs
import re
from dataclasses import dataclass
from pathlib import Path

import numpy as np

from ..api import rules
from ..api.errors import LumitraError
PAIR_RANGE_NM = (150.0, 950.0)  # what the array can see, with a margin
MAX_FILE_BYTES = 4 << 20        # a spectrum of a few hundred values is far smaller

_SEPARATORS = re.compile(r"[,;\s]+")
_DECIMAL_SEPARATORS = re.compile(r"[;\s]+")
_DECIMAL_COMMA = re.compile(r"[+-]?\d+,\d+(?:[eE][+-]?\d+)?")


class Spectrum(np.ndarray):
    """Values read from a file; ``source`` names the file in messages."""

    source = ""


def labelled(values, source: str) -> Spectrum:
    array = np.asarray(values, dtype=np.float64).view(Spectrum)
    array.source = source
    return array


class SpectrumFileError(LumitraError):
    """A spectrum file that is missing, unreadable or of the wrong form."""


@dataclass(frozen=True)
class SpectrumFile:
    path: str
    values: np.ndarray
    wavelengths: np.ndarray | None  # nm, when the file holds pairs

    @property
    def on_display_grid(self) -> bool:
        limits = rules.limits()
        return (self.values.size == limits.display_grid_count and
                (self.wavelengths is None or
                 np.allclose(self.wavelengths, limits.display_grid, rtol=0, atol=1e-6)))


def _number(text: str, path: str, line_number: int) -> float:
    try:
        value = float(text)
    except ValueError:
        raise SpectrumFileError(f"{path}: line {line_number}: {text!r} is not a number") from None
    if not np.isfinite(value):
        raise SpectrumFileError(f"{path}: line {line_number}: {text!r} is not a finite number")
    return value


def _read_bytes(name: str) -> bytes:
    """At most MAX_FILE_BYTES of a file, read in blocks (so that Ctrl-C is
    honoured and a device without end is refused)."""
    data = bytearray()
    try:
        with open(name, "rb") as handle:
            while block := handle.read(1 << 16):
                data += block
                if len(data) > MAX_FILE_BYTES:
                    raise SpectrumFileError(f"{name}: more than {MAX_FILE_BYTES} bytes, too "
                                            "large for a spectrum file")
    except FileNotFoundError:
        raise SpectrumFileError(f"{name}: no such file") from None
    except IsADirectoryError:
        raise SpectrumFileError(f"{name}: is a directory, not a spectrum file") from None
    except OSError as error:
        raise SpectrumFileError(f"{name}: cannot read: {error.strerror or error}") from None
    return bytes(data)


def _text_lines(name: str, data: bytes) -> list[str]:
    """The file's lines as text: UTF-8, or UTF-16 with a byte-order mark;
    undecodable bytes are allowed in comment lines only."""
    save_as = "save it as UTF-8 text (or UTF-16 with a byte-order mark)"
    if data.startswith((codecs.BOM_UTF16_LE, codecs.BOM_UTF16_BE)):
        try:
            return data.decode("utf-16").splitlines()
        except UnicodeDecodeError:
            raise SpectrumFileError(f"{name}: starts as UTF-16 but is not; {save_as}") from None
    if data.startswith(codecs.BOM_UTF8):
        data = data[len(codecs.BOM_UTF8):]
    if b"\x00" in data:
        raise SpectrumFileError(f"{name}: a binary file (or UTF-16 without a byte-order mark), "
                                f"not a spectrum of numbers; {save_as}")
    lines = []
    for number, raw in enumerate(data.splitlines(), start=1):
        try:
            lines.append(raw.decode("utf-8"))
        except UnicodeDecodeError:
            if not raw.lstrip().startswith(b"#"):
                raise SpectrumFileError(f"{name}: line {number} is not UTF-8 text; "
                                        f"{save_as}") from None
            lines.append("#")
    return lines


def read_spectrum(path: str | Path) -> SpectrumFile:
    """Reads a file of values or of wavelength/value pairs."""
    name = str(path)
    text_lines = _text_lines(name, _read_bytes(name))
    rows: list[list[float]] = []
    columns = None
    header_allowed = True
    lines = [(n, line.strip()) for n, line in enumerate(text_lines, start=1)
             if line.strip() and not line.strip().startswith("#")]
    # Columns apart by semicolons, tabs or spaces: a comma between digits is
    # a decimal comma.
    decimal_commas = any(_DECIMAL_COMMA.fullmatch(f)
                         for _, line in lines if re.search(r"[;\t ]", line)
                         for f in _DECIMAL_SEPARATORS.split(line))
    comma_separated = not decimal_commas and any("," in line for _, line in lines)
    for number, stripped in lines:
        if decimal_commas:
            fields = [f.replace(",", ".") if _DECIMAL_COMMA.fullmatch(f) else f
                      for f in _DECIMAL_SEPARATORS.split(stripped) if f]
        else:
            fields = [f for f in _SEPARATORS.split(stripped) if f]
        if header_allowed and any(re.fullmatch(r"[A-Za-z_][\w()./%-]*", f) for f in fields):
            header_allowed = False
            continue  # a header of column names
        header_allowed = False
        if columns is None:
            columns = len(fields)
            if columns not in (1, 2):
                raise SpectrumFileError(
                    f"{name}: line {number}: expected one value or a wavelength/value pair, "
                    f"found {columns} fields")
        elif len(fields) != columns:
            raise SpectrumFileError(
                f"{name}: line {number}: expected {columns} field(s) like the lines before, "
                f"found {len(fields)}")
        rows.append([_number(f, name, number) for f in fields])
    if not rows:
        raise SpectrumFileError(f"{name}: holds no values")
    data = np.array(rows, dtype=np.float64)
    if columns == 1:
        return SpectrumFile(name, labelled(data[:, 0], name), None)
    _check_pairs(name, data[:, 0], [n for n, _ in lines][-len(rows):], comma_separated)
    return SpectrumFile(name, labelled(data[:, 1], name), data[:, 0].copy())


def _check_pairs(name: str, wavelengths: np.ndarray, line_numbers, comma_separated: bool):
    """The first column of pairs is a wavelength in nm, increasing."""
    hint = (" (if the comma is a decimal comma, write a decimal point, or separate the columns "
            "with ';')") if comma_separated else ""
    outside = np.flatnonzero((wavelengths < PAIR_RANGE_NM[0]) | (wavelengths > PAIR_RANGE_NM[1]))
    if outside.size:
        i = outside[0]
        raise SpectrumFileError(
            f"{name}: line {line_numbers[i]}: {wavelengths[i]:g} is no wavelength the array "
            f"sees ({PAIR_RANGE_NM[0]:.0f}..{PAIR_RANGE_NM[1]:.0f} nm): the first of two "
            f"columns is the wavelength in nm; element spectra have one value a line{hint}")
    falling = np.flatnonzero(np.diff(wavelengths) <= 0)
    if falling.size:
        i = falling[0] + 1
        raise SpectrumFileError(
            f"{name}: line {line_numbers[i]}: wavelength {wavelengths[i]:g} nm does not lie "
            f"above the one before ({wavelengths[i - 1]:g} nm); pairs must increase{hint}")


def read_element_spectrum(path: str | Path, element_wavelengths=None) -> np.ndarray:
    """512 values, one per element. A file of wavelength/value pairs is taken
    only with the element wavelengths (nm) of the record in use, and only
    when its wavelengths are those (to 0.01 nm): a spectrum measured with
    another record, or resampled, would put its values on the wrong
    elements."""
    spectrum = read_spectrum(path)
    count = rules.limits().element_count
    if spectrum.on_display_grid:
        raise SpectrumFileError(f"{spectrum.path}: values on the display grid "
                                f"({spectrum.values.size} points of 1 nm), but this command "
                                f"takes the {count} element values")
    if spectrum.values.size != count:
        raise SpectrumFileError(f"{spectrum.path}: expected {count} values (one per "
                                f"element), found {spectrum.values.size}")
    if spectrum.wavelengths is None:
        return spectrum.values
    if element_wavelengths is None:
        raise SpectrumFileError(f"{spectrum.path}: wavelength/value pairs, but this command "
                                "takes element values (one value a line, element 1 first); "
                                "pairs are taken only with --record, the record they were "
                                "written with")
    off = np.flatnonzero(np.abs(spectrum.wavelengths - element_wavelengths) > 0.011)
    if off.size:
        i = off[0]
        raise SpectrumFileError(
            f"{spectrum.path}: element {i + 1} is at {spectrum.wavelengths[i]:.2f} nm in the "
            f"file but at {element_wavelengths[i]:.2f} nm by the record: the pairs were not "
            "written with this record; give element values, or the record they belong to")
    return spectrum.values


def read_display_spectrum(path: str | Path) -> np.ndarray:
    """611 values on the display grid 190, 191 .. 800 nm."""
    spectrum = read_spectrum(path)
    if not spectrum.on_display_grid:
        count = rules.limits().display_grid_count
        if spectrum.values.size != count:
            raise SpectrumFileError(f"{spectrum.path}: expected {count} values on "
                                    f"the display grid 190..800 nm, found {spectrum.values.size}")
        raise SpectrumFileError(f"{spectrum.path}: the wavelengths are not the display grid "
                                "190, 191 .. 800 nm")
    return spectrum.values


def spectrum_text(values, comment: str = "", wavelengths=None, decimals: int = 3) -> str:
    """Values (and optionally their wavelengths) as CSV text."""
    values = np.asarray(values, dtype=float)
    lines = [f"# {line}" for line in comment.splitlines()]
    if wavelengths is None:
        lines.append("value")
        lines += [f"{v:.{decimals}f}" for v in values]
    else:
        lines.append("wavelength_nm,value")
        lines += [f"{w:.3f},{v:.{decimals}f}" for w, v in zip(wavelengths, values)]
    return "\n".join(lines) + "\n"
