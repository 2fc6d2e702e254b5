"""Many XML documents as one Dask DataFrame: a partition per file, or per block of
a large file (`blocksize`), read by quorbix.

Dask plans a computation from the frame's columns and dtypes alone, so every
partition must have exactly those, whatever its file holds. They come from the
first file, in pandas' nullable types: a file without a column, or a row
without a cell, gives nulls and leaves the dtype as it is. Numbers are Float64,
so that integers in the first file and fractions in a later one fit one column
(`dtype=` declares Int64 or any other type); only a cell that cannot take its
column's type is an error, and it says where it is.
"""

from __future__ import annotations

from collections.abc import Mapping
from dataclasses import dataclass
from typing import Any

from . import _blocks
from ._quorbix import Path, Table
from ._sources import document
from .malformed import MalformedError
from .tables import _declared, _frame, _nullable, _Options, _read, bind, conform


@dataclass(frozen=True)
class _Block:
    """A block of a large file: its rows from the first that begins at or
    after `start` to the last that begins before `end` (None: the file's end)."""

    file: Any  # an fsspec OpenFile
    layout: _blocks.Layout
    start: int
    end: int | None
    first: bool

    @property
    def path(self) -> str:
        return _blocks.describe(self.file.path, self.start, self.end)


class _Partition:
    """Reads one file, or one block of one, into its partition, in a worker.
    Dask hands it the columns the computation uses (`columns=`); only those
    are read, when the frame's columns are paths."""

    def __init__(self, rows: str | Path, paths: dict[str, str | Path] | None,
                 dtypes: dict[str, Any], recover: bool) -> None:
        self.rows, self.paths, self.dtypes, self.recover = rows, paths, dtypes, recover

    def __call__(self, part: Any, columns: list[str] | None = None) -> Any:
        import pandas  # type: ignore[import-untyped, import-not-found, unused-ignore]

        names = list(self.dtypes) if columns is None else list(columns)
        asked = None if self.paths is None else {name: self.paths[name] for name in names}
        found = self._table(part, asked)
        unknown = [name for name in found.column_names if name not in self.dtypes]
        if unknown:
            raise ValueError(f"{part.path}: column {unknown[0]!r} is not in the first file, "
                             "whose columns the frame has; name every column with columns=")
        return conform(pandas, found, _frame(found, _Options()),
                       {name: self.dtypes[name] for name in names}, part.path)

    def _table(self, part: Any, asked: dict[str, str | Path] | None) -> Table:
        if isinstance(part, _Block):
            return self._block(part, asked)
        with part as opened:  # read where the worker is: local disks and object stores alike
            return _read(document(opened), self.rows, asked, self.recover)

    def _block(self, block: _Block, asked: dict[str, str | Path] | None) -> Table:
        """The block's rows, read as a document of their own; a
        block that does not read as well formed is a split that fell inside
        markup, or a file that is not well formed (`recover` cannot tell the
        two apart here, so it does not apply)."""
        with block.file as opened:
            found = block.start if block.first else _blocks.row_start(
                opened, block.start, block.layout.row, block.end)
            end: int | None
            if found is None:
                start = end = 0  # no row begins here: the rows of no bytes
            else:
                start = found
                end = None if block.end is None else _blocks.row_start(
                    opened, block.end, block.layout.row)
            # A block is about `blocksize` bytes: read whole, it is one scan.
            data = _blocks.block_document(opened, block.layout, start, end, block.first)
            try:
                return _read(data, self.rows, asked, False)
            except MalformedError as error:
                raise _blocks.SplitError(
                    f"{_blocks.describe(block.file.path, start, end)} does not read as rows: "
                    f"{error.problem.message}. A row-like tag in a comment or a CDATA "
                    f"section, or rows within rows, make a split at byte {end if block.first else start} "
                    "fall inside markup; read the file with a larger blocksize or none "
                    "(if the file is not well formed, blocksize=None reads it as a whole)"
                ) from None


def read_xml(
    urlpath: str | list[str],
    rows: str | Path,
    columns: Mapping[str, str | Path] | None = None,
    dtype: Any = None,
    *,
    recover: bool = False,
    blocksize: int | str | None = None,
    namespaces: Mapping[str, str] | None = None,
) -> Any:  # a dask.dataframe.DataFrame: Dask is an optional extra
    """One partition per file of `urlpath` (a glob, a list, or any URL fsspec
    opens, compressed files by their suffix or their first bytes). A file that
    is not well formed raises MalformedError in its partition, unless
    `recover=True` takes the rows found.

    With `blocksize` (bytes, or a text such as "64MB"), a large file is split
    into partitions of about that many bytes, as dask.dataframe.read_csv
    splits one: each starts at the first row that begins in its block and
    reads on to finish its last row. Rows are found by their start tags, so
    `rows` must be plain names (`osm.node`); a split that falls inside markup
    (a row-like tag in a comment or CDATA, rows within rows) raises an error
    that names its offset. A compressed or UTF-16 file, or other rows, is one
    partition. `namespaces` maps the paths' prefixes to namespace URIs, as
    in quorbix.get; with it each file is one partition, as the rows' start
    tags may be written with any prefix."""
    rows, columns = bind(rows, columns, namespaces)
    if namespaces is not None:
        blocksize = None
    try:
        import dask.dataframe as dd  # type: ignore[import-untyped, import-not-found, unused-ignore]
        import fsspec  # type: ignore[import-untyped, import-not-found, unused-ignore]
        import pandas
        from dask.utils import parse_bytes  # type: ignore[import-untyped, import-not-found, unused-ignore]
    except ImportError as error:  # pragma: no cover - dask is an optional extra
        raise ImportError("quorbix.dask needs Dask: pip install 'quorbix[dask]'") from error
    files = fsspec.open_files(urlpath, mode="rb", compression="infer")
    if not files:
        raise FileNotFoundError(f"no file matches {urlpath!r}")
    paths = dict(columns) if columns is not None else None
    parts: list[Any] = list(files)
    if blocksize is not None:
        size = parse_bytes(blocksize) if isinstance(blocksize, str) else int(blocksize)
        if size < 1:
            raise ValueError("blocksize must be at least one byte")
        parts = [block for file in files for block in _split(fsspec, file, rows, size)]
    # The frame's columns and their types come from the first file's frame,
    # or the first block's, typed as pandas would type it.
    first = _frame(_Partition(rows, paths, {}, recover)._table(parts[0], paths),
                   _Options())
    dtypes = {name: _declared(dtype, name) for name in first}
    dtypes = {name: _nullable(pandas, first[name]) if kind is None else kind
              for name, kind in dtypes.items()}
    meta = pandas.DataFrame({name: pandas.Series(dtype=kind) for name, kind in dtypes.items()})
    partition = _Partition(rows, paths, dtypes, recover)
    return dd.from_map(partition, parts, meta=meta,  # type: ignore[no-untyped-call, unused-ignore]
                       enforce_metadata=False)


def _split(fsspec: Any, file: Any, rows: str | Path, blocksize: int) -> list[Any]:
    """The blocks of one file, or the file itself when it cannot be split."""
    plain = fsspec.core.OpenFile(file.fs, file.path, mode="rb")  # no decompression: the bytes
    with plain as opened:
        the = _blocks.layout(opened, rows)
    if the is None or file.compression is not None:
        return [file]
    size = file.fs.size(file.path)
    offsets = _blocks.split_offsets(size, blocksize, the)
    return [_Block(plain, the, start, end, i == 0)
            for i, (start, end) in enumerate(zip(offsets, offsets[1:] + [None]))]
