"""python -m quorbix: the command line."""

import sys

from quorbix.cli import main

if __name__ == "__main__":
    sys.exit(main())
