"""Spectrum files: the forms a person may give."""

import numpy as np
import pytest

from lumitra import spectra_io


def test_values_round_trip_with_comments_and_header_and_name_their_file(tmp_path):
    values, path = np.linspace(-5.5, 1000.25, 512), tmp_path / "x.csv"
    spectra_io.write_spectrum(path, values, "a comment\nsecond line")
    read = spectra_io.read_element_spectrum(path)
    assert np.array_equal(read, np.round(values, 3)) and read.source == str(path)


@pytest.mark.parametrize("line", ["{w},{v}", "{w};{v}", "{w}\t{v}", "{w}  {v}", "{w};{c}",
                                  "{w}\t{c}", "{w} {c}"])
def test_pairs_on_the_display_grid_with_decimal_points_or_commas(tmp_path, line):
    text = "wavelength_nm value\n" + "".join(
        line.format(w=190 + i, v=i * 0.5, c=f"{i * 0.5}".replace(".", ",")) + "\n"
        for i in range(611))
    (tmp_path / "s.csv").write_text(text)
    spectrum = spectra_io.read_spectrum(tmp_path / "s.csv")
    assert spectrum.on_display_grid
    assert np.array_equal(spectra_io.read_display_spectrum(tmp_path / "s.csv"),
                          np.arange(611) * 0.5)
