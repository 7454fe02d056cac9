"""python3 -m lumitra: the command line."""

import sys

from ._entry import main

sys.exit(main())
