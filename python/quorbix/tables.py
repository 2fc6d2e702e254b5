"""Tables out of XML: one row per element a path matches, in one pass."""

from __future__ import annotations

from collections.abc import Iterator, Mapping
from typing import Any

from ._quorbix import Path, _table
from ._sources import Source, document
from .malformed import MalformedError, _problem


def _columns(
    data: Any, rows: str | Path, columns: Mapping[str, str | Path] | None, recover: bool
) -> tuple[list[str], list[list[str | None]], int, list[int]]:
    """The table's column names, one list of cells per column, its row count,
    and each column's kind (0 text, 1 number, 2 left to pandas). A document
    that is not well formed (a truncated file, say) raises MalformedError,
    found by the scan that finds the rows, unless `recover` takes what the
    scan found."""
    if columns is not None and not isinstance(columns, Mapping):
        raise TypeError("columns must be a mapping of column names to paths")
    paths = None if columns is None else list(columns.values())
    names, cells, count, kinds, report = _table(data, [rows], paths)
    problem = _problem(report)
    if problem is not None and not recover:
        raise MalformedError(problem, " (recover=True reads what was found)")
    return (names if columns is None else list(columns)), cells, count, kinds


def records(
    source: Source | Any,
    rows: str | Path,
    columns: Mapping[str, str | Path] | None = None,
    *,
    recover: bool = False,
) -> list[dict[str, str | None]]:
    """One dict per element that `rows` matches, in document order; `source`
    is what read_xml takes. A document that is not well formed raises
    MalformedError (a ValueError) naming the line, the column and the fault;
    `recover=True` returns the rows found instead."""
    return _records(*_columns(document(source), rows, columns, recover)[:3])


def _records(names: list[str], cells: list[list[str | None]],
             count: int) -> list[dict[str, str | None]]:
    if not names:
        return [{} for _ in range(count)]
    return [dict(zip(names, row)) for row in zip(*cells)]


def _rows_table(rows: list[bytes], encoding: str, columns: Mapping[str, str | Path] | None
                ) -> tuple[list[str], list[list[str | None]], int, list[int]]:
    """The table of rows a stream found, each an element's markup in
    `encoding`: the rows read as the children of a document of their own."""
    declaration = b"" if encoding == "UTF-8" else f'<?xml version="1.0" encoding="{encoding}"?>'.encode()
    return _columns(declaration + b"<_>" + b"".join(rows) + b"</_>", "_.*", columns, False)


def read_xml(
    source: Source,
    rows: str | Path,
    columns: Mapping[str, str | Path] | None = None,
    dtype: Any = None,
    *,
    recover: bool = False,
    chunksize: int | None = None,
) -> Any:  # a pandas.DataFrame: pandas is an optional extra
    """A pandas DataFrame of `records`, its numeric columns typed as pandas.read_xml
    types them. A document that is not well formed raises MalformedError, unless
    `recover=True` accepts the rows found. With `chunksize`, an iterator of
    DataFrames of that many rows (the last may have fewer), their index
    running on from one to the next, read as quorbix.stream reads a document:
    a piece at a time, whatever its size. A chunk's columns are typed by its
    own cells."""
    if chunksize is None:
        names, cells, count, kinds = _columns(document(source), rows, columns, recover)
        return _frame(names, cells, count, kinds, dtype)
    if not isinstance(chunksize, int) or isinstance(chunksize, bool) or chunksize < 1:
        raise ValueError("chunksize must be a positive int")
    return _chunks(source, rows, columns, dtype, recover, chunksize)


def _chunks(source: Source, rows: str | Path, columns: Mapping[str, str | Path] | None,
            dtype: Any, recover: bool, chunksize: int) -> Iterator[Any]:
    from .streams import PIECE_SIZE, row_tables

    start = 0
    for names, cells, count, kinds in row_tables(source, rows, columns, recover, PIECE_SIZE,
                                                 chunksize):
        frame = _frame(names, cells, count, kinds, dtype)
        frame.index = frame.index + start
        start += count
        yield frame


_TEXT, _NUMBER = 0, 1


def _frame(names: list[str], cells: list[list[str | None]], count: int, kinds: list[int],
           dtype: Any) -> Any:
    """The columns typed as pandas' own parser types them: a column the core
    found to be plain numbers goes through pandas.to_numeric (the conversion
    that parser uses), one of plain texts becomes pandas' string type, and
    any other (missing markers, bools, dtype given) is handed to the parser."""
    try:
        import pandas  # type: ignore[import-untyped, import-not-found, unused-ignore]
        from pandas.io.parsers import TextParser  # type: ignore[import-untyped, import-not-found, unused-ignore]
    except ImportError as error:  # pragma: no cover - pandas is an optional extra
        raise ImportError("quorbix.read_xml needs pandas: pip install 'quorbix[pandas]'") from error
    if dtype is not None:
        with TextParser([list(row) for row in zip(*cells)], names=names, dtype=dtype) as parser:
            return parser.read()
    frame = {}
    for name, column, kind in zip(names, cells, kinds):
        if kind == _NUMBER:
            frame[name] = pandas.to_numeric(pandas.Series(column, dtype=object))
        elif kind == _TEXT:
            frame[name] = _text_series(pandas, TextParser, column)
        else:
            # A second column of one text keeps the parser from taking a row
            # whose only cell is empty for a blank line.
            with TextParser([[cell, "x"] for cell in column], names=[name, "_"]) as parser:
                frame[name] = parser.read()[name]
    return pandas.DataFrame(frame, index=pandas.RangeIndex(count), columns=names)


_string_dtype: Any = None


def _text_series(pandas: Any, parser: Any, column: list[str | None]) -> Any:
    global _string_dtype
    if _string_dtype is None:  # what this pandas makes of a column of texts
        with parser([["x"]], names=["a"]) as sample:
            _string_dtype = sample.read()["a"].dtype
    if _string_dtype == object:  # missing texts are NaN there
        return pandas.Series([float("nan") if c is None else c for c in column], dtype=object)
    return pandas.Series(column, dtype=_string_dtype)
