"""Documents of any size, read a piece at a time: matches and records as they are found."""

from __future__ import annotations

import codecs
import re
from collections.abc import Callable, Generator, Iterator, Mapping
from itertools import chain
from typing import Any

from ._quorbix import Path, Result, Table, _start_known, _stream, _text_codec
from ._sources import Source, pieces
from .malformed import MalformedError, ValidationProblem, _problem

# A piece of a file: large enough that a piece costs little more than its
# bytes, small enough that what a stream holds (the piece, and the matches and
# records it completed) stays a few hundred kB. On 200 MB of OSM-like nodes,
# stream_records held 14 MiB with pieces of 1 MiB and 4 MiB with these.
PIECE_SIZE = 1 << 18

_NONE, _REPORT, _STOP = 0, 1, 2
_SURROGATES = re.compile("[\ud800-\udfff]")


def _utf8(text: str) -> bytes:
    """A decoded text as UTF-8, a lone surrogate (which UTF-7 can spell) as
    U+FFFD, as a whole document's transcoding reads it."""
    try:
        return text.encode("utf-8")
    except UnicodeEncodeError:
        return _SURROGATES.sub("\ufffd", text).encode("utf-8")


def _transcoded(first: bytes, rest: Iterator[bytes], codec: str) -> Iterator[bytes]:
    decoder = codecs.getincrementaldecoder(codec)("replace")
    yield _utf8(decoder.decode(first))
    for piece in rest:
        yield _utf8(decoder.decode(piece))
    yield _utf8(decoder.decode(b"", final=True))


def _text_pieces(source: Source | Any, size: int) -> tuple[Iterator[bytes], bool]:
    """The pieces as the scan reads them, and whether they are UTF-8 whatever
    the document declares: a document Python's codecs must decode (UTF-16, or
    an encoding only they know) is decoded as it arrives."""
    raw, utf8 = pieces(source, size)
    if utf8:
        return raw, True
    first = b""
    for piece in raw:
        first += piece
        if _start_known(first):
            break
    codec = _text_codec(first)
    if codec is None:
        return chain([first], raw), False
    return _transcoded(first, raw, codec), True


def scan(source: Source | Any, paths: list[str | Path], recover: bool, piece_size: int,
          raw: bool = False, problems: list[ValidationProblem] | None = None,
          later: list[Callable[[], ValidationProblem | None]] | None = None
          ) -> Generator[tuple[list[list[Any]], str, Any], None, None]:
    """One list of new Results per path after each piece (with `raw`, their
    bytes), then the rest once the document ended, each time with the name of
    the encoding of the elements' bytes and the entities the document
    declares (for the tables its rows are read in); then the document's first problem,
    as MalformedError (unless `recover`: the scan then goes on past it, as a
    whole document's does, and the problem is put in `problems`). `later`
    takes a function that gives the first problem as known when it is
    called: reading matches after the scan may leave an entity unread."""
    if piece_size < 1:
        raise ValueError("piece_size must be at least 1")
    pieces_, utf8 = _text_pieces(source, piece_size)
    stream = _stream(paths, _REPORT if recover else _STOP, utf8)
    if later is not None:
        later.append(lambda: _problem(stream.report()))
    take = stream.take_bytes if raw else stream.take
    try:
        for piece in pieces_:
            more = stream.feed(piece)
            yield take(), stream.encoding(), stream.entities()
            if not more:
                break
        stream.end()
        yield take(), stream.encoding(), stream.entities()
        stream.error()
        problem = _problem(stream.report())
        if problem is not None and not recover:
            raise MalformedError(problem, " (recover=True reads past it)")
        if problem is not None and problems is not None:
            problems.append(problem)
    finally:
        close = getattr(pieces_, "close", None)
        if close is not None:
            close()


def stream(source: Source | Any, path: str | Path, *, recover: bool = False,
           piece_size: int = PIECE_SIZE, namespaces: Mapping[str, str] | None = None
           ) -> Iterator[Result]:
    """Yields the matches of `path` in the document `source` as they are
    found, each a Result that owns its bytes, reading the document a piece at
    a time: what is held is a piece or two and the elements being matched,
    whatever the document's size. `source` is markup, a file name, a binary
    file object, bytes or an iterable of bytes; gzip, bz2, xz (and zstd where
    Python reads it) are decompressed as they arrive. Stopping early stops
    the reading. A path whose modifiers need every match (`|@sort`,
    `|@count`, ...) yields them once the document ended. A document that is
    not well formed raises MalformedError once the matches before its fault
    were yielded; with `recover=True` the scan reads on, as `get` does.
    `namespaces` maps the path's prefixes to namespace URIs, as in
    quorbix.get."""
    from .tables import bind

    path, _ = bind(path, None, namespaces)
    for lists, _, _ in scan(source, [path], recover, piece_size):
        yield from lists[0]


def stream_records(source: Source | Any, rows: str | Path,
                   columns: Mapping[str, str | Path] | None = None, *, recover: bool = False,
                   piece_size: int = PIECE_SIZE, namespaces: Mapping[str, str] | None = None
                   ) -> Iterator[dict[str, Any]]:
    """Yields the records of `quorbix.records` one at a time, as the rows are
    found, reading the document as `stream` does."""
    from .tables import _records, bind

    rows, columns = bind(rows, columns, namespaces)
    for table in row_tables(source, rows, columns, recover, piece_size, namespaces=namespaces):
        yield from _records(table)


def row_tables(source: Source | Any, rows: str | Path, columns: Mapping[str, str | Path] | None,
               recover: bool, piece_size: int, chunksize: int | None = None,
               namespaces: Mapping[str, str] | None = None) -> Iterator[Table]:
    """The tables of the rows found in the document, `chunksize` rows each
    (the last may have fewer), or those each piece completed. A chunk's rows
    are held as their markup until it is full, then read as one table."""
    from .tables import _rows_table

    waiting: list[bytes | tuple[bytes, bytes]] = []
    for lists, encoding, entities in scan(source, [rows], recover, piece_size, raw=True):
        waiting += lists[0]
        if chunksize is None:
            if waiting:
                yield _rows_table(waiting, encoding, columns, namespaces, entities, recover)
            waiting = []
            continue
        while len(waiting) >= chunksize:
            yield _rows_table(waiting[:chunksize], encoding, columns, namespaces, entities, recover)
            del waiting[:chunksize]
    if waiting:
        yield _rows_table(waiting, encoding, columns, namespaces, entities, recover)
