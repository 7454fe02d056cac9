"""The record of a wavelength-accuracy check: one self-contained HTML report.

A laboratory must keep the evidence of every qualification: which detector,
when, by whom, from which data (with their SHA-256), against which criteria,
with what result. The report holds all of it in one file that prints on A4
and refers to nothing outside itself: its style sheet is inline and its
figure a data URI. It is rendered from ``templates/report.html`` with
autoescaping, so no text given by a person can become markup.
"""

from __future__ import annotations

import base64
from pathlib import Path

import jinja2

from .. import __version__
from .formatting import number
from .runs import Run, library_identity
from .verdicts import PH_EUR_CLAUSE

_ENVIRONMENT = jinja2.Environment(
    loader=jinja2.FileSystemLoader(Path(__file__).resolve().parent / "templates"),
    autoescape=True, undefined=jinja2.StrictUndefined, trim_blocks=True, lstrip_blocks=True)
_ENVIRONMENT.filters["nm"] = number


def render(run: Run, figure_png: bytes | None = None) -> str:
    """The report as one HTML document."""
    library_path, library_version, library_hash = library_identity()
    stamp = run.time.isoformat(timespec="seconds")
    zone = run.time.tzname() or ""
    return _ENVIRONMENT.get_template("report.html").render(
        run=run, stamp=stamp, when=f"{stamp} ({zone})" if zone else stamp,
        package_version=__version__, library_version=library_version,
        library_path=library_path, library_hash=library_hash, inputs=run.input_digests(),
        figure=base64.b64encode(figure_png).decode("ascii") if figure_png else None,
        tolerances=sorted({line.tolerance for line in run.lines}), ph_eur=PH_EUR_CLAUSE)
