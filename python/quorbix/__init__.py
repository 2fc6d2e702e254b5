"""quorbix: path queries over XML documents in one streaming pass."""

from importlib import metadata as _metadata

from ._quorbix import *  # noqa: F401,F403
from ._quorbix import __all__ as __all__

# The installed version, or None when run from a source tree never installed.
version: str | None
try:
    version = _metadata.version("quorbix")
except _metadata.PackageNotFoundError:
    version = None
__version__ = version or "0+unknown"

from .malformed import MalformedError, ValidationProblem, validation_report  # noqa: E402
from .streams import stream, stream_records  # noqa: E402
from .tables import read_xml, records, table  # noqa: E402

__all__ = [*__all__, "records", "read_xml", "table", "stream", "stream_records", "validation_report",
           "ValidationProblem", "MalformedError"]
