"""quorbix: path queries over XML documents in one streaming pass."""

from importlib.metadata import PackageNotFoundError, version

from . import _quorbix
from ._quorbix import *  # noqa: F401,F403

try:
    __version__ = version("quorbix")
except PackageNotFoundError:  # run from a source tree that was never installed
    __version__ = "0+unknown"

__all__ = list(_quorbix.__all__)
