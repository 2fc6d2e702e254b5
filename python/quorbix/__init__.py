"""quorbix: path queries over XML documents in one streaming pass."""

from importlib.metadata import PackageNotFoundError, version

from ._quorbix import *  # noqa: F401,F403
from ._quorbix import __all__ as __all__

try:
    __version__ = version("quorbix")
except PackageNotFoundError:  # run from a source tree that was never installed
    __version__ = "0+unknown"

from .malformed import MalformedError, ValidationProblem, validation_report  # noqa: E402
from .tables import read_xml, records  # noqa: E402

__all__ = [*__all__, "records", "read_xml", "validation_report", "ValidationProblem",
           "MalformedError"]
