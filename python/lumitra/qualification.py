"""The record of a wavelength-accuracy check: one self-contained HTML report.

A laboratory must keep the evidence of every qualification: which detector,
when, by whom, from which data (with their SHA-256), against which criteria,
with what result. The report holds all of it in one file that prints on A4
and refers to nothing outside itself: its style sheet is inline and its
figure a data URI.

Besides the check's own tolerance, each line is judged against the wavelength
accuracy of the European Pharmacopoeia, general chapter 2.2.25 (ultraviolet
and visible absorption spectrophotometry): +/-1 nm in the ultraviolet range
(up to 400 nm), +/-3 nm in the visible range (400 to 800 nm).
"""

from __future__ import annotations

import base64
import hashlib
import html
import math
from dataclasses import dataclass
from datetime import datetime
from pathlib import Path

from . import __version__, native
from .errors import InputError
from .records import CalibrationRecord, CheckResult, UserLineResult

PH_EUR = ("Ph. Eur. 2.2.25, Ultraviolet and visible absorption spectrophotometry, as revised "
          "for the 10th Edition (in force from 1 January 2020; unchanged in the 11th Edition)")
PH_EUR_RANGES = (("ultraviolet", 180.0, 400.0, 1.0), ("visible", 400.0, 800.0, 3.0))


def ph_eur_criterion(nm: float) -> tuple[str, float]:
    """The range a line lies in and its permitted deviation (nm); 400 nm
    counts as ultraviolet, the stricter of the two."""
    for name, low, high, limit in PH_EUR_RANGES:
        if low <= nm <= high:
            return name, limit
    return "outside 180..800 nm", math.nan


@dataclass(frozen=True)
class Line:
    """One line of a check, in nm; None where it was not measured."""

    reference: float
    measured: float | None
    deviation: float | None
    width: float | None
    tolerance: float
    passed: bool
    searched_in: str

    @property
    def ph_eur(self) -> tuple[str, float, bool]:
        """(range, permitted deviation, whether the line meets it)."""
        name, limit = ph_eur_criterion(self.reference)
        return name, limit, self.deviation is not None and abs(self.deviation) <= limit


def _measured(value: float) -> float | None:
    return None if value is None or math.isnan(value) else float(value)


def lines_of_check(result: CheckResult) -> list[Line]:
    return [Line(line.reference, _measured(line.measured), _measured(line.deviation),
                 _measured(line.width) if line.located else None, result.tolerance,
                 line.passed, line.spectrum) for line in result.lines]


def lines_of_user(results: list[UserLineResult]) -> list[Line]:
    """The user-defined check's lines with the deviation found - target, as
    for the other checks (the library's difference is target - found)."""
    return [Line(r.target, r.found, round(r.found - r.target, 2), None, r.allowed_deviation,
                 r.passed, "valley of second - first" if r.valley else "second - first")
            for r in results]


def file_digest(path: str | Path) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as handle:
        for block in iter(lambda: handle.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def run_time(text: str | None) -> datetime:
    """When a run took place: now with the local time zone, or an ISO 8601
    time that must name its zone."""
    if text is None:
        return datetime.now().astimezone()
    try:
        when = datetime.fromisoformat(text.replace("Z", "+00:00"))
    except ValueError:
        raise InputError(f"--time: {text!r} is not an ISO 8601 time "
                         "(such as 2024-05-02T14:30:00+02:00)") from None
    if when.tzinfo is None:
        raise InputError(f"--time: {text!r} names no time zone; add one, such as +02:00 or Z")
    return when


@dataclass(frozen=True)
class Run:
    """A check as the laboratory records it."""

    command: str
    title: str
    record: CalibrationRecord
    lines: tuple[Line, ...]
    passed: bool
    inputs: tuple[tuple[str, str], ...]   # (role, path as given)
    detector: str
    operator: str
    note: str
    time: datetime
    parameters: tuple[tuple[str, str], ...] = ()

    def input_digests(self) -> list[tuple[str, str, str]]:
        """(role, path, SHA-256) of every input file."""
        return [(role, path, file_digest(path)) for role, path in self.inputs]

    @property
    def ph_eur_passed(self) -> bool:
        return bool(self.lines) and all(line.ph_eur[2] for line in self.lines)


def library_identity() -> tuple[str, str, str]:
    """(path, version, SHA-256) of the library in use."""
    path = Path(native.library().path).resolve()
    return str(path), native.library_version(path), file_digest(path)


# --- HTML --------------------------------------------------------------------

STYLE = """
@page { size: A4; margin: 16mm 14mm; }
* { box-sizing: border-box; }
body { font-family: "DejaVu Sans", Arial, Helvetica, sans-serif; font-size: 10pt;
       color: #111; margin: 0 auto; max-width: 190mm; padding: 8mm 0; }
h1 { font-size: 16pt; margin: 0 0 2mm 0; }
h2 { font-size: 11.5pt; margin: 6mm 0 2mm 0; border-bottom: 1px solid #999; }
table { border-collapse: collapse; width: 100%; margin: 1mm 0; page-break-inside: avoid; }
th, td { border: 1px solid #bbb; padding: 1.2mm 1.6mm; text-align: left; vertical-align: top; }
th { background: #eee; font-weight: 600; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.hash, span.hash { font-family: "DejaVu Sans Mono", monospace; font-size: 7.5pt;
                     word-break: break-all; }
.verdict { font-size: 14pt; font-weight: 700; padding: 3mm 4mm; margin: 3mm 0;
           border: 2px solid; page-break-inside: avoid; }
.pass { color: #0a5d1e; border-color: #0a5d1e; background: #eaf6ec; }
.fail { color: #8a1010; border-color: #8a1010; background: #fbeaea; }
td.pass, td.fail { font-weight: 700; border-color: #bbb; }
figure { margin: 2mm 0; page-break-inside: avoid; }
figure img { width: 100%; height: auto; border: 1px solid #ccc; }
figcaption { font-size: 8.5pt; color: #444; }
.signatures td { height: 14mm; width: 33%; }
.small { font-size: 8.5pt; color: #333; }
@media print {
  body { padding: 0; max-width: none; }
  h2 { page-break-after: avoid; }
  .verdict, td.pass, td.fail { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
}
"""


def _e(value) -> str:
    return html.escape(str(value), quote=True)


def _nm(value, digits: int = 3, sign: bool = False) -> str:
    if value is None:
        return "not measured"
    return f"{value:+.{digits}f}" if sign else f"{value:.{digits}f}"


def _verdict(passed: bool, yes: str = "pass", no: str = "FAIL") -> str:
    return f'<td class="{"pass" if passed else "fail"}">{yes if passed else no}</td>'


def _table(headings, rows) -> str:
    head = "".join(f"<th>{_e(h)}</th>" for h in headings)
    return f"<table><thead><tr>{head}</tr></thead><tbody>{''.join(rows)}</tbody></table>"


def render(run: Run, figure_png: bytes | None = None) -> str:
    """The report as one HTML document."""
    library_path, library_version, library_hash = library_identity()
    verdict = "PASSED" if run.passed else "FAILED"
    stamp = run.time.isoformat(timespec="seconds")
    zone = run.time.tzname() or ""
    identity = [("Detector", run.detector or "not given"),
                ("Operator", run.operator or "not given"),
                ("Date and time", f"{stamp} ({zone})" if zone else stamp),
                ("Check", run.title), ("Note", run.note or "none")]
    software = [("lumitra package", __version__), ("Lumitra library", library_version),
                ("Library file", library_path)]
    inputs = run.input_digests()
    line_rows = []
    for line in run.lines:
        name, limit, meets = line.ph_eur
        line_rows.append(
            f"<tr><td class='num'>{line.reference:.1f}</td><td>{_e(line.searched_in)}</td>"
            f"<td class='num'>{_nm(line.measured)}</td>"
            f"<td class='num'>{_nm(line.deviation, sign=True)}</td>"
            f"<td class='num'>{_nm(line.width, 2)}</td>"
            f"<td class='num'>&plusmn;{line.tolerance:.2f}</td>{_verdict(line.passed)}"
            f"<td>{_e(name)}</td><td class='num'>&plusmn;{limit:.0f}</td>"
            f"{_verdict(meets)}</tr>")
    figure = ""
    if figure_png:
        data = base64.b64encode(figure_png).decode("ascii")
        figure = (f"<h2>Figure</h2><figure><img alt='spectra with the located lines' "
                  f"src='data:image/png;base64,{data}'><figcaption>The spectra on the "
                  "record's wavelength scale; each located line is marked with its measured "
                  "wavelength.</figcaption></figure>")
    record = run.record
    record_text = (f"{record}: uncalibrated (the default dispersion)" if not record.is_calibrated
                   else f"{record}: {record.wavelength1 / 100:.2f} nm at element "
                        f"{record.positions[0]:.3f}, {record.wavelength2 / 100:.2f} nm at "
                        f"element {record.positions[1]:.3f}")
    tolerances = sorted({line.tolerance for line in run.lines})
    body = f"""
<h1>Wavelength accuracy check</h1>
<p class="small">Qualification record of a photodiode-array detector, written by lumitra.</p>
<div class="verdict {'pass' if run.passed else 'fail'}">Result: {verdict} &mdash;
{sum(line.passed for line in run.lines)} of {len(run.lines)} lines within the tolerance of
the check; Ph. Eur. 2.2.25 wavelength accuracy {'met' if run.ph_eur_passed else 'NOT met'}.</div>
<h2>Identification</h2>
{_table(("Item", "Value"), (f"<tr><th>{_e(k)}</th><td>{_e(v)}</td></tr>" for k, v in identity))}
<h2>Software</h2>
{_table(("Item", "Value"), [f"<tr><th>{_e(k)}</th><td>{_e(v)}</td></tr>" for k, v in software]
        + [f"<tr><th>Library SHA-256</th><td class='hash'>{library_hash}</td></tr>"])}
<h2>Input data</h2>
{_table(("Role", "File", "SHA-256"), (f"<tr><td>{_e(role)}</td><td>{_e(path)}</td>"
        f"<td class='hash'>{digest}</td></tr>" for role, path, digest in inputs))
        if inputs else "<p>Simulated data (no input files): see the parameters.</p>"}
<h2>Calibration record and parameters</h2>
{_table(("Item", "Value"), [f"<tr><th>Calibration record</th><td>{_e(record_text)}</td></tr>"]
        + [f"<tr><th>{_e(k)}</th><td>{_e(v)}</td></tr>" for k, v in run.parameters])}
<h2>Results</h2>
{_table(("Line nm", "Searched in", "Measured nm", "Deviation nm", "Width nm", "Tolerance nm",
         "Check", "Ph. Eur. range", "Ph. Eur. nm", "Ph. Eur."), line_rows)}
<p class="small">Deviation = measured &minus; reference wavelength. Width: full width at half
height (not measured by the user-defined check).</p>
{figure}
<h2>Acceptance criteria</h2>
<table><tbody>
<tr><th>The check</th><td>A line passes when it is located and the absolute deviation of its
measured wavelength from its reference is at most the tolerance of the check
(&plusmn;{", ".join(f"{t:.2f}" for t in tolerances)} nm). The check passes when every line
passes.</td></tr>
<tr><th>Ph. Eur.</th><td>{_e(PH_EUR)}: wavelength accuracy within &plusmn;1 nm in the
ultraviolet range (180 to 400 nm) and &plusmn;3 nm in the visible range (400 to 800 nm); each
line is judged against the range it lies in. Confirm the figures against the laboratory's
controlled copy of the edition in force.</td></tr>
</tbody></table>
<h2>Signatures</h2>
<table class="signatures"><thead><tr><th>Performed by</th><th>Reviewed by</th>
<th>Approved by</th></tr></thead><tbody><tr><td></td><td></td><td></td></tr></tbody></table>
"""
    return (f"<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>Wavelength accuracy check {_e(run.detector)} {_e(stamp)}</title>"
            f"<style>{STYLE}</style></head><body>{body}</body></html>\n")


def write_report(path: str | Path, run: Run, figure_png: bytes | None = None) -> str:
    path = Path(path)
    if path.suffix.lower() not in (".html", ".htm"):
        raise InputError(f"--report: {path}: the report is HTML; name it .html")
    path.write_text(render(run, figure_png), encoding="utf-8")
    return str(path)
