"""python -m quorbix: the command line."""

import sys

from quorbix.cli import main

sys.exit(main())
