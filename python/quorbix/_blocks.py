"""One large file read as several partitions: byte ranges that start and end at rows.

A block of the file is read as a document of its own: the file's prolog (its
declaration, its DOCTYPE and the root's start tag, so that its encoding and
declarations hold), the start tags of the rows' other ancestors, the block's
rows, and the end tags that close them. A block starts at the first row that
begins at or after its offset and ends where the next block's first row
begins, found by the same search, so that every row is in exactly one block.

The search looks at bytes, not at markup: a row-like tag in a comment or a
CDATA section, or a row inside a row, can make a split fall inside markup.
Then the block that ends there does not read as well formed (a comment or an
element is left open), and its partition raises an error that names the
offset, rather than giving a silently wrong frame.
"""

from __future__ import annotations

import re
from collections.abc import Iterator
from dataclasses import dataclass
from typing import IO, Any

from ._quorbix import Path, _text_codec
from ._sources import _FORMATS

_SEARCH = 1 << 20  # bytes read at a time while searching
_NAME = re.compile(rb"[^\s/>]+")


class SplitError(ValueError):
    """A block of a file split by blocksize that does not read as rows."""


@dataclass(frozen=True)
class Layout:
    """What every block of one file shares."""

    prolog: bytes  # through the root's start tag
    ancestors: list[bytes]  # names of the elements between the root and the rows
    root: bytes
    row: bytes  # the rows' name


def row_names(rows: str | Path) -> list[str] | None:
    """The element names of a rows path made only of plain names (no
    selector, filter, wildcard, `**` or modifier), or None: only such rows
    can be found by their start tags."""
    text = rows if isinstance(rows, str) else repr(rows)[len("Path('"):-len("')")]
    steps = text.split(".")
    if any(not step or re.search(r"[#@*?|\\()\[\]{}\s!=<>%]", step) for step in steps):
        return None
    return steps if len(steps) >= 2 else None


def layout(file: IO[bytes], rows: str | Path) -> Layout | None:
    """The layout of the file's blocks, or None when it cannot be split: its
    rows path is not plain names, it is compressed, or its text needs
    Python's codecs (UTF-16)."""
    names = row_names(rows)
    if names is None:
        return None
    head = file.read(_SEARCH)
    if any(magic.match(head) for magic, *_ in _FORMATS) or _text_codec(head) is not None:
        return None
    end = _root_start_end(head, names[0].encode())
    while end is None and len(head) < 64 * _SEARCH:
        more = file.read(_SEARCH)
        if not more:
            break
        head += more
        end = _root_start_end(head, names[0].encode())
    if end is None:
        return None
    return Layout(head[:end], [n.encode() for n in names[1:-1]], names[0].encode(),
                  names[-1].encode())


def _root_start_end(head: bytes, root: bytes) -> int | None:
    """Where the root's start tag ends, past the prolog's declaration,
    comments, processing instructions and DOCTYPE; None when not found."""
    at = len(head) - len(head.lstrip(b"\xef\xbb\xbf \t\r\n"))
    while at < len(head):
        if head.startswith(b"<?", at):
            close = head.find(b"?>", at)
            at = -1 if close < 0 else close + 2
        elif head.startswith(b"<!--", at):
            close = head.find(b"-->", at)
            at = -1 if close < 0 else close + 3
        elif head.startswith(b"<!DOCTYPE", at):
            at = _doctype_end(head, at)
        elif head.startswith(b"<", at):
            name = _NAME.match(head, at + 1)
            if name is None or name.group() != root:
                return None
            tag_end = _tag_end(head, at)
            return None if tag_end is None or head[tag_end - 2:tag_end] == b"/>" else tag_end
        elif head[at:at + 1].isspace():
            at += 1
            continue
        else:
            return None
        if at < 0:
            return None
    return None


def _doctype_end(head: bytes, at: int) -> int:
    subset = head.find(b"[", at)
    close = head.find(b">", at)
    if 0 <= subset < close:
        close = head.find(b"]", subset)
        close = -1 if close < 0 else head.find(b">", close)
    return -1 if close < 0 else close + 1


def _tag_end(head: bytes, at: int) -> int | None:
    """Past the '>' of the tag at `at`, outside quoted values."""
    quote = None
    for i in range(at + 1, len(head)):
        c = head[i:i + 1]
        if quote is not None:
            if c == quote:
                quote = None
        elif c in (b'"', b"'"):
            quote = c
        elif c == b">":
            return i + 1
    return None


def row_start(file: IO[bytes], offset: int, row: bytes, before: int | None = None) -> int | None:
    """The offset of the first `<row` start tag at or after `offset`, and
    before `before` when given: a block looks for its first row no further
    than its own end, so that the blocks past the last row do not each read
    the rest of the file."""
    pattern = re.compile(b"<" + re.escape(row) + rb"[\s/>]")
    file.seek(offset)
    carried, base = b"", offset
    while True:
        data = file.read(_SEARCH)
        if not data or (before is not None and base >= before):
            return None
        window = carried + data
        found = pattern.search(window)
        if found is not None:
            at = base + found.start()
            return at if before is None or at < before else None
        keep = len(row) + 1
        carried, base = window[-keep:], base + len(window) - keep


def block_document(file: IO[bytes], the: Layout, start: int, end: int | None,
                   first: bool) -> bytes | bytearray:
    """The block's document: the prolog, the ancestors' start tags, the bytes
    from `start` to `end` (to the file's end when None), and the end tags
    that close them (the file's own, for the last). A block that ends is read
    into its place in one buffer, not copied there."""
    opened = b"" if first else b"".join(b"<" + name + b">" for name in the.ancestors)
    file.seek(start)
    if end is None:
        return b"".join([the.prolog, opened, file.read()])
    closed = b"".join(b"</" + name + b">" for name in reversed(the.ancestors))
    closed += b"</" + the.root + b">"
    head = the.prolog + opened
    document = bytearray(len(head) + end - start + len(closed))
    document[:len(head)] = head
    view = memoryview(document)[len(head):len(head) + end - start]
    while view:  # a file object may read less than asked
        got = file.readinto(view)  # type: ignore[attr-defined]
        if not got:
            raise ValueError(f"the file ended within bytes {start} to {end}")
        view = view[got:]
    document[len(document) - len(closed):] = closed
    return document


def split_offsets(size: int, blocksize: int, the: Layout) -> list[int]:
    """The offsets the blocks are searched from: the first begins right after
    the root's start tag (all that comes before the second block's first row
    is its), the others every `blocksize` bytes."""
    return [len(the.prolog)] + list(range(blocksize, size, blocksize))


def describe(file: Any, start: int, end: int | None) -> str:
    where = f"bytes {start} to {end}" if end is not None else f"bytes {start} to its end"
    return f"{getattr(file, 'path', file)} ({where})"
