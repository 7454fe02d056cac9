"""The files a command writes, written so that no data is ever lost.

Every output (report, figure, spectra, the history database) is planned
before the library is called: its folder must exist and be writable (lumitra
creates no folders), it must not be one of the command's inputs, and an
existing file is replaced only with --force. Each file is then written to a
temporary file beside its target and renamed into place only when every
output of the command has been written and the history (--log) has taken
the run; on any failure, Ctrl-C included, the temporary files are removed,
a replaced file is put back and the history keeps nothing of the run.
"""

from __future__ import annotations

import os
import tempfile
from pathlib import Path
from typing import Callable

from ..api.errors import InputError


class OutputError(InputError):
    """An output that cannot be written where it was asked for (exit status 2)."""


# Files SQLite keeps beside a database: writing over them would damage it.
_SIDECARS = ("", "-wal", "-shm", "-journal")


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask


def _same_file(a: Path, b: Path) -> bool:
    try:
        return a.exists() and b.exists() and os.path.samefile(a, b)
    except OSError:
        return False


def check_folder(folder: Path, option: str) -> None:
    """The folder an output goes into: it must exist and take new files."""
    if not folder.exists():
        raise OutputError(f"{option}: the folder {folder} does not exist (lumitra creates "
                          "no folders)")
    if not folder.is_dir():
        raise OutputError(f"{option}: {folder} is not a folder")
    if not os.access(folder, os.W_OK | os.X_OK):
        raise OutputError(f"{option}: the folder {folder} is not writable")


class Outputs:
    """The outputs of one command, staged and then committed together."""

    def __init__(self, inputs=(), force: bool = False):
        self.inputs = [Path(p) for p in inputs if p is not None]
        self.force = force
        self._planned: dict[Path, str] = {}
        self._staged: list[tuple[Path, Path]] = []   # (temporary file, target)
        self._replaced: list[tuple[Path, Path]] = []  # (backup, target)
        self._committed: list[Path] = []

    def plan(self, path, option: str, replace_ok: bool = False) -> Path:
        """Checks an output's target before anything is computed; returns it."""
        target = Path(path)
        check_folder(target.parent if str(target.parent) else Path("."), option)
        if target.is_dir():
            raise OutputError(f"{option}: {target} is a folder; name a file")
        for given in self.inputs:
            if any(target.resolve() == Path(f"{given.resolve()}{suffix}")
                   for suffix in _SIDECARS) or _same_file(target, given):
                raise OutputError(f"{option}: {target} is one of the command's inputs; "
                                  "name another file")
        for other, other_option in self._planned.items():
            if target.resolve() == other.resolve():
                raise OutputError(f"{option}: {target} is already the target of "
                                  f"{other_option}")
        if target.exists() and not (self.force or replace_ok):
            raise OutputError(f"{option}: {target} exists; name another file, or give "
                              "--force to replace it")
        if target.exists() and not os.access(target, os.W_OK):
            raise OutputError(f"{option}: {target} is read-only")
        self._planned[target] = option
        return target

    def stage(self, target: Path, write: Callable) -> None:
        """Writes a planned output to a temporary file beside it: write(handle)
        gets a binary file object."""
        handle = tempfile.NamedTemporaryFile(dir=target.parent, prefix=f".{target.name}.",
                                             suffix=".part", delete=False)
        temporary = Path(handle.name)
        self._staged.append((temporary, target))
        with handle:
            write(handle)
            handle.flush()
            os.fsync(handle.fileno())
        # A temporary file is private; the output is as readable as any new file.
        os.chmod(temporary, 0o666 & ~_umask())

    def commit(self) -> None:
        """Renames every staged file into place (an existing target is kept
        aside until all are in place)."""
        for temporary, target in self._staged:
            if target.exists():
                backup = target.with_name(f".{target.name}.{os.getpid()}.previous")
                os.replace(target, backup)
                self._replaced.append((backup, target))
            os.replace(temporary, target)
            self._committed.append(target)
        self._staged = []

    def finish(self) -> None:
        """Drops the files kept aside: the command has succeeded."""
        for backup, _ in self._replaced:
            backup.unlink(missing_ok=True)
        self._replaced = []
        self._committed = []

    def discard(self) -> None:
        """Removes everything this command wrote and puts back what it replaced."""
        for temporary, _ in self._staged:
            temporary.unlink(missing_ok=True)
        for target in self._committed:
            target.unlink(missing_ok=True)
        for backup, target in self._replaced:
            os.replace(backup, target)
        self._staged, self._committed, self._replaced = [], [], []

    def __enter__(self) -> "Outputs":
        return self

    def __exit__(self, kind, error, trace) -> None:
        if kind is None:
            self.finish()
        else:
            self.discard()
