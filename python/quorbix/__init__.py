"""quorbix: path queries over XML documents in one streaming pass."""

from . import _quorbix
from ._quorbix import *  # noqa: F401,F403

__all__ = list(_quorbix.__all__)
