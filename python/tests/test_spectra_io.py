"""Spectrum files: the forms a person may give, and the mistakes they may make."""

import numpy as np
import pytest

from lumitra import spectra_io
from lumitra.spectra_io import SpectrumFileError


def write(tmp_path, text, name="s.csv"):
    path = tmp_path / name
    path.write_text(text)
    return path


def test_values_round_trip_with_comments_and_header(tmp_path):
    values = np.linspace(-5.5, 1000.25, 512)
    path = tmp_path / "x.csv"
    spectra_io.write_spectrum(path, values, "a comment\nsecond line")
    assert path.read_text().startswith("# a comment\n# second line\nvalue\n")
    assert np.array_equal(spectra_io.read_element_spectrum(path), np.round(values, 3))


@pytest.mark.parametrize("separator", [",", ";", "\t", "  "])
def test_pairs_on_the_display_grid(tmp_path, separator):
    text = "wavelength_nm{0}value\n".format(separator) + "".join(
        f"{190 + i}{separator}{i * 0.5}\n" for i in range(611))
    spectrum = spectra_io.read_spectrum(write(tmp_path, text))
    assert spectrum.on_display_grid and spectrum.wavelengths[0] == 190.0
    assert np.array_equal(spectra_io.read_display_spectrum(tmp_path / "s.csv"),
                          np.arange(611) * 0.5)


@pytest.mark.parametrize("text, message", [
    ("1\n2\nabc\n", "line 3: 'abc' is not a number"),
    ("value\n1\nvalue\n", "line 3: 'value' is not a number"),
    ("1,2\n3\n", "line 2: expected 2 field(s) like the lines before, found 1"),
    ("1,2,3\n", "line 1: expected one value or a wavelength/value pair, found 3 fields"),
    ("# only a comment\n", "holds no values"),
    ("1\nnan\n", "line 2: 'nan' is not a finite number"),
])
def test_malformed_files_name_the_line(tmp_path, text, message):
    with pytest.raises(SpectrumFileError) as caught:
        spectra_io.read_spectrum(write(tmp_path, text))
    assert str(caught.value) == f"{tmp_path / 's.csv'}: {message}"


def test_wrong_lengths_and_missing_files(tmp_path):
    path = write(tmp_path, "\n".join(["1"] * 511))
    with pytest.raises(SpectrumFileError, match="expected 512 values .* found 511"):
        spectra_io.read_element_spectrum(path)
    with pytest.raises(SpectrumFileError, match="expected 611 values on the display grid"):
        spectra_io.read_display_spectrum(path)
    off_grid = write(tmp_path, "".join(f"{190.5 + i},1\n" for i in range(611)), "g.csv")
    with pytest.raises(SpectrumFileError, match="not the display grid"):
        spectra_io.read_display_spectrum(off_grid)
    with pytest.raises(SpectrumFileError, match="no such file"):
        spectra_io.read_spectrum(tmp_path / "absent.csv")
    with pytest.raises(SpectrumFileError, match="is a directory"):
        spectra_io.read_spectrum(tmp_path)
