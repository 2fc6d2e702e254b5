"""Where a document comes from: a file name, a file object, or the document itself.

Files are read whole into memory, never mapped: a mapped file that another
process truncates kills the reader with SIGBUS, while a read gives a copy
that stays as it was. Reading also serves what has no size to map (a FIFO,
a pipe, /dev/stdin, procfs), and the file object's read gives the lock up
while the bytes arrive. Compressed input is recognised by its first bytes,
whatever its name, and decompressed here, so every caller sees the XML.
"""

from __future__ import annotations

import bz2
import gzip
import lzma
import os
import re
import zlib
from typing import IO, Any, Callable, Union

Source = Union[str, bytes, "os.PathLike[str]", IO[bytes], IO[str]]

# Markup, possibly after white space or a byte-order mark, or nothing at all:
# a document, where any other text is a file name.
_MARKUP = re.compile(r"[\s\ufeff]*(<|$)")


def _zstd() -> Callable[[bytes], bytes] | None:
    """zstd's decompression where this Python has one (3.14's own module, or
    the zstandard package)."""
    try:
        from compression import zstd  # type: ignore[import-not-found, unused-ignore]

        return zstd.decompress  # type: ignore[no-any-return, unused-ignore]
    except ImportError:
        pass
    try:
        import zstandard  # type: ignore[import-not-found, import-untyped, unused-ignore]
    except ImportError:
        return None

    def decompress(data: bytes) -> bytes:
        # A frame need not say its size; the stream reader does not ask.
        reader = zstandard.ZstdDecompressor().stream_reader(data, read_across_frames=True)
        return reader.read()  # type: ignore[no-any-return, unused-ignore]

    return decompress


# No XML document starts with any of these: it starts with "<", white space
# or a byte-order mark.
_FORMATS: list[tuple[re.Pattern[bytes], str, Callable[[bytes], bytes] | None]] = [
    (re.compile(rb"\x1f\x8b"), "gzip", gzip.decompress),
    (re.compile(rb"BZh[1-9]"), "bz2", bz2.decompress),
    (re.compile(rb"\xfd7zXZ\x00"), "xz", lzma.decompress),
    (re.compile(rb"\x28\xb5\x2f\xfd"), "zstd", _zstd()),
]


class CompressedInputError(ValueError):
    """Compressed input that cannot be decompressed whole."""


def _buffer(data: Any) -> memoryview | None:
    try:
        return memoryview(data)
    except TypeError:
        return None


def decompressed(data: Any) -> Any:
    """`data` decompressed when its first bytes say it is compressed, else
    `data` itself."""
    view = _buffer(data)
    head = view[:6].tobytes() if view is not None else b""
    for magic, name, decompress in _FORMATS:
        if not magic.match(head):
            continue
        if decompress is None:
            raise CompressedInputError(f"{name}-compressed input: this Python cannot read {name}")
        try:
            return decompress(data)
        except (OSError, EOFError, ValueError, zlib.error, lzma.LZMAError) as error:
            raise CompressedInputError(
                f"{name}-compressed input is damaged or cut short: {error}") from None
    return data


def document(source: Source | Any) -> Any:
    """The document `source` is or names: a `str` of markup stays as it is, a
    file name or binary file is read whole, a buffer is taken as it is; bytes
    come back decompressed. What is none of these is left for the scan to refuse."""
    if isinstance(source, str) and _MARKUP.match(source):
        return source
    if isinstance(source, (str, os.PathLike)):
        with open(source, "rb") as file:
            return decompressed(file.read())
    if _buffer(source) is None and hasattr(source, "read"):
        data = source.read()
        return data if isinstance(data, str) else decompressed(data)
    return decompressed(source)
