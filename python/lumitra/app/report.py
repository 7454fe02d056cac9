"""The record of a run: one self-contained HTML report.

A laboratory must keep the evidence of every qualification: which detector,
when, by whom, from which data (with their SHA-256), against which criteria,
with what result. The report holds all of it in one file that refers to
nothing outside itself (inline style, the figure a data URI) and prints on
A4 or Letter with its own running header and footer: the report ID, the
detector, and page X of Y. It is rendered from ``templates/report.html``
with autoescaping, so no text given by a person can become markup.
"""

from __future__ import annotations

import base64
from pathlib import Path

import jinja2
from markupsafe import Markup

from .. import __version__
from .formatting import number
from .runs import Run, library_identity
from .verdicts import PH_EUR_CLAUSE


def css_string(text) -> Markup:
    """Text as a quoted CSS string: every character but letters, digits,
    spaces and a few marks escaped, so nothing ends the string or the style
    sheet."""
    safe = set("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,:;-_+()/#")
    return Markup('"' + "".join(c if c in safe else f"\\{ord(c):06x}" for c in str(text)) + '"')


_ENVIRONMENT = jinja2.Environment(
    loader=jinja2.FileSystemLoader(Path(__file__).resolve().parent / "templates"),
    autoescape=True, undefined=jinja2.StrictUndefined, trim_blocks=True, lstrip_blocks=True)
_ENVIRONMENT.filters["nm"] = number
_ENVIRONMENT.filters["css"] = css_string

TITLES = {"check": "Wavelength accuracy check", "calibration": "Wavelength calibration",
          "lamp": "Lamp test"}


def report_id(run: Run, run_id: int | None) -> str:
    """The report's identifier: detector, measurement time, and the run's
    number in the history where it was logged."""
    stamp = run.time.strftime("%Y%m%dT%H%M%S")
    return f"{run.detector or 'NO-DETECTOR'}-{stamp}" + (f"-R{run_id}" if run_id else "")


def render(run: Run, figure_png: bytes | None = None, run_id: int | None = None,
           history: str | None = None) -> str:
    """The report as one HTML document."""
    library_path, library_version, library_hash = library_identity()
    stamp = run.time.isoformat(timespec="seconds")
    zone = run.time.tzname() or ""
    return _ENVIRONMENT.get_template("report.html").render(
        run=run, title=TITLES[run.kind], report_id=report_id(run, run_id), run_id=run_id,
        history=history, when=f"{stamp} ({zone})" if zone else stamp,
        entered=run.entered.isoformat(timespec="seconds"),
        package_version=__version__, library_version=library_version,
        library_path=library_path, library_hash=library_hash, inputs=run.input_digests(),
        figure=base64.b64encode(figure_png).decode("ascii") if figure_png else None,
        tolerances=sorted({line.tolerance for line in run.lines}), ph_eur=PH_EUR_CLAUSE)
