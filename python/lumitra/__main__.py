"""python3 -m lumitra: the command line."""

import sys

from .cli import main

sys.exit(main())
