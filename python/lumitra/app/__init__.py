"""The application on top of the API: the command line (``cli``, ``commands``),
the one verdict model (``verdicts``), the records of a run (``runs``), the
report (``report``, from ``templates/``), the history (``history``), outputs
that never lose data (``outputs``), figures (``plotting``) and spectrum files
(``spectra_io``)."""
