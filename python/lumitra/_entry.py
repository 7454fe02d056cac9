"""The lumitra command's entry point: starts the command line, and says in
one line (exit status 4) when a package it needs is missing, rather than
showing a traceback."""

import sys

EXIT_NO_LIBRARY = 4
NEEDED = {"numpy": "python3-numpy", "matplotlib": "python3-matplotlib",
          "jinja2": "python3-jinja2"}


def main() -> int:
    try:
        from .app.cli import main as run
    except KeyboardInterrupt:  # Ctrl-C while starting
        return 130
    except ImportError as error:
        missing = (error.name or "").split(".")[0]
        hint = f" (Debian: apt-get install {NEEDED[missing]})" if missing in NEEDED else ""
        print(f"lumitra: error: this Python ({sys.executable}) lacks the module "
              f"{missing or error}{hint}", file=sys.stderr)
        return EXIT_NO_LIBRARY
    return run()
