"""Where a document comes from: a file name, a file object, or the document itself.

A document is read whole (`document`) or a piece at a time (`pieces`, for
the streams). Files are read into memory, never mapped: a mapped file that another
process truncates kills the reader with SIGBUS, while a read gives a copy
that stays as it was. Reading also serves what has no size to map (a FIFO,
a pipe, /dev/stdin, procfs), and the file object's read gives the lock up
while the bytes arrive. Compressed input is recognised by its first bytes,
whatever its name, and decompressed here, so every caller sees the XML.
"""

from __future__ import annotations

import bz2
import gzip
import importlib
import lzma
import os
import re
import zlib
from collections.abc import Iterable, Iterator
from itertools import chain
from typing import IO, Any, Callable, Union

Source = Union[str, bytes, "os.PathLike[str]", IO[bytes], IO[str]]

# Markup, possibly after white space or a byte-order mark, or nothing at all:
# a document, where any other text is a file name.
_MARKUP = re.compile(r"[\s\ufeff]*(<|$)")


def _module(name: str) -> Any:
    """The module of that name where this Python has it, else None."""
    try:
        return importlib.import_module(name)
    except ImportError:
        return None


# zstd: 3.14's own module, or the zstandard package.
_ZSTD_MODULE, _ZSTANDARD = _module("compression.zstd"), _module("zstandard")


def _zstd_pieces() -> Callable[[], Any] | None:
    """A maker of zstd decompressors that take a piece at a time."""
    if _ZSTD_MODULE is not None:
        return _ZSTD_MODULE.ZstdDecompressor  # type: ignore[no-any-return, unused-ignore]
    if _ZSTANDARD is None:
        return None
    return lambda: _Unbounded(_ZSTANDARD.ZstdDecompressor().decompressobj())


class _Unbounded:
    """A decompressor whose output a call cannot bound (zstandard's), shaped
    as lzma's: all of a piece's output at once."""

    def __init__(self, inner: Any) -> None:
        self.inner, self.eof, self.needs_input, self.unused_data = inner, False, True, b""

    def decompress(self, data: bytes, max_length: int = -1) -> bytes:
        out = self.inner.decompress(data)
        self.eof = bool(getattr(self.inner, "eof", False))
        self.unused_data = getattr(self.inner, "unused_data", b"")
        return out  # type: ignore[no-any-return]


class _Inflater:
    """zlib's gzip decompressor, shaped as lzma's: it keeps the input it
    has not read yet and says when it needs more."""

    def __init__(self) -> None:
        self.inner = zlib.decompressobj(zlib.MAX_WBITS | 16)
        self.needs_input = True

    @property
    def eof(self) -> bool:
        return self.inner.eof

    @property
    def unused_data(self) -> bytes:
        return self.inner.unused_data

    def decompress(self, data: bytes, max_length: int = -1) -> bytes:
        out = self.inner.decompress(self.inner.unconsumed_tail + data, max(max_length, 0))
        # Output cut at max_length may have more behind it, with no input left.
        self.needs_input = not self.inner.unconsumed_tail and not (0 < max_length <= len(out))
        return out


def _zstd() -> Callable[[bytes], bytes] | None:
    """zstd's decompression of a whole input."""
    if _ZSTD_MODULE is not None:
        return _ZSTD_MODULE.decompress  # type: ignore[no-any-return, unused-ignore]
    if _ZSTANDARD is None:
        return None

    def decompress(data: bytes) -> bytes:
        # A frame need not say its size; the stream reader does not ask.
        reader = _ZSTANDARD.ZstdDecompressor().stream_reader(data, read_across_frames=True)
        return reader.read()  # type: ignore[no-any-return, unused-ignore]

    return decompress


# No XML document starts with any of these: it starts with "<", white space
# or a byte-order mark.
# Each with its whole-input decompression and its maker of decompressors
# that take a piece at a time (shaped as lzma's: decompress(data,
# max_length), needs_input, eof, unused_data).
_FORMATS: list[tuple[re.Pattern[bytes], str, Callable[[bytes], bytes] | None,
                     Callable[[], Any] | None]] = [
    (re.compile(rb"\x1f\x8b"), "gzip", gzip.decompress, _Inflater),
    (re.compile(rb"BZh[1-9]"), "bz2", bz2.decompress, bz2.BZ2Decompressor),
    (re.compile(rb"\xfd7zXZ\x00"), "xz", lzma.decompress, lzma.LZMADecompressor),
    (re.compile(rb"\x28\xb5\x2f\xfd"), "zstd", _zstd(), _zstd_pieces()),
]
_DAMAGED = (OSError, EOFError, ValueError, zlib.error, lzma.LZMAError)


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
    for magic, name, decompress, _ in _FORMATS:
        if not magic.match(head):
            continue
        if decompress is None:
            raise CompressedInputError(f"{name}-compressed input: this Python cannot read {name}")
        try:
            return decompress(data)
        except _DAMAGED as error:
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


def _raw_pieces(source: Any, size: int) -> Iterator[Any]:
    """The bytes of `source` as they arrive, `size` at a time from a file."""
    if isinstance(source, str) and _MARKUP.match(source):
        yield source
        return
    if isinstance(source, (str, os.PathLike)):
        with open(source, "rb") as file:
            yield from iter(lambda: file.read(size), b"")
        return
    view = _buffer(source)
    if view is not None:
        yield from (view[at:at + size] for at in range(0, len(view), size))  # type: ignore[misc]
        return
    if hasattr(source, "read"):
        # read1 gives what a pipe has so far, rather than waiting for `size`.
        read = getattr(source, "read1", source.read)
        yield from iter(lambda: read(size), source.read(0))
        return
    if not isinstance(source, Iterable):
        raise TypeError(f"a document is markup, a file name, a file object, bytes or an iterable "
                        f"of bytes, not {type(source).__name__}")
    yield from source


def _decompressing(first: bytes, rest: Iterator[bytes], name: str, make: Callable[[], Any],
                   size: int) -> Iterator[bytes]:
    """The pieces of a compressed input decompressed, no more than `size`
    bytes from one call, over every stream or member it holds."""
    inner = make()
    try:
        for data in chain([first], rest):
            while True:
                if inner.eof:  # another stream or member may follow
                    data = inner.unused_data + data
                    if not data:
                        break
                    inner = make()
                out = inner.decompress(data, size)
                data = b""
                if out:
                    yield out
                if inner.needs_input and not inner.eof:
                    break
        if not inner.eof:
            raise EOFError("the input ended before its end")
    except _DAMAGED as error:
        raise CompressedInputError(
            f"{name}-compressed input is damaged or cut short: {error}") from None


def _encoded(texts: Iterable[Any]) -> Iterator[bytes]:
    for text in texts:
        yield text.encode("utf-8", "surrogatepass")


def pieces(source: Source | Any, size: int) -> tuple[Iterator[bytes], bool]:
    """The document `source` is or names, a piece at a time, decompressed as
    it arrives when its first bytes say it is compressed; and whether the
    pieces are the UTF-8 form of a str (markup, or a text file object),
    which reads as UTF-8 whatever it declares."""
    raw: Iterator[Any] = _raw_pieces(source, size)
    first: Any = next((piece for piece in raw if len(piece) > 0), b"")
    if isinstance(first, str):
        return _encoded(chain([first], raw)), True
    rest = (bytes(piece) for piece in raw)
    head = bytes(first)
    while len(head) < 6:  # enough for every magic number
        more = next(rest, None)
        if more is None:
            break
        head += more
    for magic, name, _, make in _FORMATS:
        if magic.match(head):
            if make is None:
                raise CompressedInputError(
                    f"{name}-compressed input: this Python cannot read {name}")
            return _decompressing(head, rest, name, make, size), False
    return chain([head], rest), False
