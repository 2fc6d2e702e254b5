"""Tables out of XML: one row per element a path matches, in one pass, its
columns built and typed in the core and handed out as Arrow data."""

from __future__ import annotations

from collections.abc import Callable, Iterator, Mapping, Sequence
from typing import Any

from ._quorbix import Path, Table, _table, compile
from ._sources import Source, document
from .malformed import MalformedError, _problem

Columns = Mapping[str, "str | Path"]
Namespaces = Mapping[str, str]


def bind(rows: str | Path, columns: Columns | None, namespaces: Namespaces | None
         ) -> tuple[str | Path, Columns | None]:
    """The rows' path and the columns' compiled under `namespaces`, when
    given (a Path keeps the mapping it was compiled with)."""
    if namespaces is None:
        return rows, columns
    if not isinstance(namespaces, Mapping):
        raise TypeError("namespaces must be a mapping of prefixes to namespace URIs")
    mapping = dict(namespaces)

    def bound(path: str | Path) -> str | Path:
        return compile(path, mapping) if isinstance(path, str) and path else path

    if columns is not None and not isinstance(columns, Mapping):
        raise TypeError("columns must be a mapping of column names to paths")
    return bound(rows), None if columns is None else {n: bound(p) for n, p in columns.items()}


def _read(data: Any, rows: str | Path, columns: Columns | None, recover: bool,
          entities: Any = None) -> Table:
    """The table of `data`. A document that is not well formed (a truncated
    file, say) raises MalformedError, found by the scan that finds the rows,
    unless `recover` takes what the scan found. `entities`, a stream's, are
    read in place of the document's own (its rows are the stream's)."""
    if columns is not None and not isinstance(columns, Mapping):
        raise TypeError("columns must be a mapping of column names to paths")
    names = None if columns is None else list(columns)
    paths = None if columns is None else list(columns.values())
    found, report = _table(data, [rows], paths, names, entities)
    problem = _problem(report)
    if problem is not None and not recover:
        raise MalformedError(problem, " (recover=True reads what was found)")
    return found


def table(source: Source | Any, rows: str | Path, columns: Columns | None = None, *,
          recover: bool = False, namespaces: Namespaces | None = None) -> Table:
    """The table of `records` as a quorbix.Table: its columns typed in the
    core as pandas' parser types them (int64, float64, bool, text; a column
    whose path goes on from each match, `tag.#.#text`, a list of texts), for
    pyarrow.table(t), polars.DataFrame(t) or DuckDB to read without a copy.
    A document that is not well formed raises MalformedError, unless
    `recover=True` takes the rows found. `namespaces` maps the paths'
    prefixes to namespace URIs, as in quorbix.get."""
    rows, columns = bind(rows, columns, namespaces)
    return _read(document(source), rows, columns, recover)


def records(
    source: Source | Any,
    rows: str | Path,
    columns: Columns | None = None,
    *,
    recover: bool = False,
    namespaces: Namespaces | None = None,
) -> list[dict[str, Any]]:
    """One dict per element that `rows` matches, in document order; `source`
    is what read_xml takes. A cell is the text of the column's first match,
    or None; a list of texts for a path that goes on from each match. A
    document that is not well formed raises MalformedError (a ValueError)
    naming the line, the column and the fault; `recover=True` returns the
    rows found instead. `namespaces` maps the paths' prefixes to namespace
    URIs, as in quorbix.get."""
    rows, columns = bind(rows, columns, namespaces)
    return _records(_read(document(source), rows, columns, recover))


def _records(found: Table) -> list[dict[str, Any]]:
    names = found.column_names
    if not names:
        return [{} for _ in range(found.num_rows)]
    return [dict(zip(names, row)) for row in zip(*(found.column(i) for i in range(len(names))))]


def _rows_table(rows: list[bytes | tuple[bytes, bytes]], encoding: str, columns: Columns | None,
                namespaces: Namespaces | None = None, entities: Any = None,
                recover: bool = False) -> Table:
    """The table of rows a stream found, each an element's markup in
    `encoding`, or that and the namespace declarations in scope around it:
    the rows read as the grandchildren of a document of their own, in an
    element that makes those declarations, with the `entities` of the
    stream's document (whose stream reports what they leave unread). Under
    `namespaces`, the rows' names are read by it (the wrapping elements in any
    namespace)."""
    declaration = b"" if encoding == "UTF-8" else f'<?xml version="1.0" encoding="{encoding}"?>'.encode()
    parts = [declaration, b"<_>"]
    scope = None
    for row in rows:
        markup, declared = row if isinstance(row, tuple) else (row, b"")
        if declared != scope:
            parts.append(b"" if scope is None else b"</_>")
            parts += [b"<_", declared, b">"]
            scope = declared
        parts.append(markup)
    parts.append(b"</_></_>" if scope is not None else b"</_>")
    if namespaces is None:
        return _read(b"".join(parts), "_._.#.*", columns, recover, entities)
    return _read(b"".join(parts), compile("*:_.*:_.#.*:*", dict(namespaces)), columns, recover,
                 entities)


def read_xml(
    source: Source,
    rows: str | Path,
    columns: Columns | None = None,
    dtype: Any = None,
    *,
    parse_dates: Sequence[str] | None = None,
    dtype_backend: str | None = None,
    recover: bool = False,
    chunksize: int | None = None,
    namespaces: Namespaces | None = None,
) -> Any:  # a pandas.DataFrame: pandas is an optional extra
    """A pandas DataFrame of `records`, its columns typed as pandas.read_xml
    types them, built from the columns of `table` (through pyarrow when it is
    installed). `parse_dates` names columns to read as timestamps;
    `dtype_backend` is "numpy_nullable" or "pyarrow", as in pandas. A document
    that is not well formed raises MalformedError, unless `recover=True`
    accepts the rows found. With `chunksize`, an iterator of DataFrames of that
    many rows (the last may have fewer), their index running on from one to
    the next, read as quorbix.stream reads a document: a piece at a time,
    whatever its size. The chunks share one set of column types, from `dtype`
    and the first chunk, in pandas' nullable types: an integer column becomes
    Float64 when a later chunk holds fractions, and a cell that cannot take
    its column's type is an error naming the column, the row and the text.
    `namespaces` maps the paths' prefixes to namespace URIs, as in
    quorbix.get (pandas.read_xml's `namespaces`)."""
    rows, columns = bind(rows, columns, namespaces)
    options = _Options(dtype, parse_dates, dtype_backend)
    if chunksize is None:
        return _frame(_read(document(source), rows, columns, recover), options)
    if not isinstance(chunksize, int) or isinstance(chunksize, bool) or chunksize < 1:
        raise ValueError("chunksize must be a positive int")
    return _chunks(source, rows, columns, options, recover, chunksize, namespaces)


class _Options:
    """What read_xml was asked for, beside the rows and the columns."""

    def __init__(self, dtype: Any = None, parse_dates: Sequence[str] | None = None,
                 dtype_backend: str | None = None) -> None:
        if dtype_backend not in (None, "numpy_nullable", "pyarrow"):
            raise ValueError("dtype_backend must be 'numpy_nullable' or 'pyarrow'")
        if isinstance(parse_dates, str):
            parse_dates = [parse_dates]
        self.dtype, self.dtype_backend = dtype, dtype_backend
        self.parse_dates = list(parse_dates or [])


def _chunks(source: Source, rows: str | Path, columns: Columns | None, options: _Options,
            recover: bool, chunksize: int, namespaces: Namespaces | None = None
            ) -> Iterator[Any]:
    from .streams import PIECE_SIZE, row_tables

    pandas = _pandas()
    schema: dict[str, Any] | None = None
    start = 0
    for found in row_tables(source, rows, columns, recover, PIECE_SIZE, chunksize, namespaces):
        frame = _frame(found, options)
        if schema is None:
            schema = {name: _declared(options.dtype, name) or _nullable(pandas, frame[name],
                                                                          numbers="Int64")
                      for name in frame.columns}
        else:
            for name, series in frame.items():
                schema.setdefault(name, _nullable(pandas, series, numbers="Int64"))
                if schema[name] == "Int64" and pandas.api.types.is_float_dtype(series.dtype):
                    schema[name] = "Float64"  # a later chunk's fractions widen the column
        frame = conform(pandas, found, frame, schema, "chunk", start)
        frame.index = frame.index + start
        start += found.num_rows
        yield frame


# The column types of the core (quorbix.Table._types): a list column is -1.
_LIST, _EMPTY, _INTEGER, _FLOAT, _BOOL, _TEXT, _OTHER = -1, 0, 1, 2, 3, 4, 5


def _pandas() -> Any:
    try:
        import pandas  # type: ignore[import-untyped, import-not-found, unused-ignore]
    except ImportError as error:  # pragma: no cover - pandas is an optional extra
        raise ImportError("quorbix.read_xml needs pandas: pip install 'quorbix[pandas]'") from error
    return pandas


def _pyarrow() -> Any:
    try:
        import pyarrow  # type: ignore[import-untyped, import-not-found, unused-ignore]
    except ImportError:
        return None
    return pyarrow


def _frame(found: Table, options: _Options) -> Any:
    """The table as a DataFrame typed as pandas.read_xml types it. Columns
    the core typed come through pyarrow without a Python object per cell;
    the others (cells pandas settles in its own ways, dates, `dtype=`, and
    every column when pyarrow is missing) go through pandas' own parser."""
    pandas = _pandas()
    pyarrow = _pyarrow()
    names, types = found.column_names, found._types
    if options.dtype_backend is not None and pyarrow is not None and options.dtype is None:
        frame = _arrow_backed(pandas, pyarrow, found, options.dtype_backend)
    elif pyarrow is None or options.dtype is not None:
        frame = _parsed(pandas, found, [i for i, kind in enumerate(types) if kind != _LIST],
                        options)
    else:
        frame = pyarrow.table(found).to_pandas()
        for name, kind in zip(names, types):
            if kind == _EMPTY:
                frame[name] = pandas.Series(float("nan"), index=frame.index)
            elif kind == _BOOL and frame[name].hasnans:
                frame[name] = frame[name].astype(object).where(frame[name].notna(), float("nan"))
            elif kind == _TEXT and frame[name].dtype == object:
                frame[name] = frame[name].where(frame[name].notna(), float("nan"))
    for i, kind in enumerate(types):
        if kind == _LIST and options.dtype_backend is None:  # a Python list per row
            frame[names[i]] = pandas.Series(found.column(i), index=frame.index, dtype=object)
    left = [i for i, (name, kind) in enumerate(zip(names, types))
            if options.dtype is None and (kind == _OTHER or name in options.parse_dates)]
    if left:
        parsed = _parsed(pandas, found, left, options)
        for name in parsed.columns:
            frame[name] = parsed[name]
    frame = frame[names]  # the columns in the table's order, their index as pandas makes it
    frame.columns = pandas.Index(names)
    return frame


def _parsed(pandas: Any, found: Table, columns: Sequence[int], options: _Options) -> Any:
    """The columns at `columns` read by pandas' parser from their texts, as
    pandas.read_xml reads them. An extra column of one text keeps the parser
    from taking a row whose cells are all empty for a blank line."""
    from pandas.io.parsers import TextParser  # type: ignore[import-untyped, import-not-found, unused-ignore]

    names = [found.column_names[i] for i in columns]
    cells = [found.column(i) for i in columns]
    rows = [[*row, "x"] for row in zip(*cells)] if cells else [["x"]] * found.num_rows
    dates = [name for name in options.parse_dates if name in names] or None
    keyword = {} if options.dtype_backend is None else {"dtype_backend": options.dtype_backend}
    with TextParser(rows, names=[*names, "\0"], dtype=options.dtype, parse_dates=dates,
                    **keyword) as parser:
        frame = parser.read(found.num_rows)
    frame = frame.drop(columns="\0")
    frame.index = pandas.RangeIndex(found.num_rows)
    return frame


def _arrow_backed(pandas: Any, pyarrow: Any, found: Table, backend: str) -> Any:
    """The table with pandas' Arrow-backed or nullable columns, as
    pandas.read_xml's `dtype_backend` gives them."""
    arrow = pyarrow.table(found)
    # A column of nothing is as pandas reads one: nulls, of no type or Int64.
    nothing = pyarrow.null() if backend == "pyarrow" else pyarrow.int64()
    for i, kind in enumerate(found._types):
        if kind == _EMPTY:
            arrow = arrow.set_column(i, found.column_names[i], pyarrow.nulls(len(arrow), nothing))
    fields = [field.with_type(pyarrow.string()) if pyarrow.types.is_large_string(field.type)
              else field for field in arrow.schema]
    arrow = arrow.cast(pyarrow.schema(fields))
    if backend == "pyarrow":
        frame = arrow.to_pandas(types_mapper=pandas.ArrowDtype)
    else:
        nullable = {pyarrow.int64(): pandas.Int64Dtype(), pyarrow.float64(): pandas.Float64Dtype(),
                    pyarrow.bool_(): pandas.BooleanDtype(), pyarrow.string(): pandas.StringDtype()}
        frame = arrow.to_pandas(types_mapper=nullable.get)
    return frame


def _declared(dtype: Any, name: str) -> Any:
    """The dtype `dtype=` gives a column: one for all, or one per name."""
    return dtype.get(name) if isinstance(dtype, Mapping) else dtype


def _nullable(pandas: Any, column: Any, numbers: str = "Float64") -> str:
    """The nullable dtype that holds a column of a first chunk or file and
    the nulls later ones bring: integers `numbers`, fractions Float64, bools
    boolean, anything else (nothing at all too) string."""
    if column.isna().all():
        return "string"
    if isinstance(column[column.first_valid_index()], list):
        return "object"  # a list column
    kind = pandas.api.types.infer_dtype(column, skipna=True)
    if kind == "integer":
        return numbers
    if kind in ("floating", "mixed-integer-float", "decimal"):
        return "Float64"
    return "boolean" if kind == "boolean" else "string"


def conform(pandas: Any, found: Table, frame: Any, dtypes: Mapping[str, Any], where: str,
            first_row: int = 0) -> Any:
    """`frame`, the typed frame of `found`, with exactly the columns of
    `dtypes` and their types: a column it lacks is all null, and a column of
    texts is made of the cells' texts as written. A cell that cannot take
    its column's type is a ValueError naming `where`, the row (counted from
    `first_row`), the column and the cell's text."""
    columns = {}
    names = found.column_names
    for name, dtype in dtypes.items():
        kind = pandas.api.types.pandas_dtype(dtype)
        if name not in frame.columns:
            columns[name] = pandas.Series(None, index=frame.index, dtype=kind)
            continue
        series, at = frame[name], names.index(name)
        if kind == object:
            columns[name] = series
            continue
        if pandas.api.types.is_string_dtype(kind) and not series.isna().all():
            texts = pandas.Series(found.column(at), index=frame.index, dtype=object)
            series = texts.where(series.notna(), None)
        columns[name] = _cast(pandas, series, kind, lambda: found.column(at),
                              f"{where}: row {{}} (from 0), column {name!r}", first_row)
    return pandas.DataFrame(columns, index=frame.index)


def _cast(pandas: Any, series: Any, kind: Any, texts: Callable[[], list[Any]], where: str,
          first_row: int) -> Any:
    """`series` as `kind`, or an error naming the first cell that cannot
    take it (its text from `texts`, asked only then): a bool is no number,
    and a number no bool."""
    bools = pandas.api.types.is_bool_dtype(series.dtype) or (
        series.dtype == object and pandas.api.types.infer_dtype(series, skipna=True) == "boolean")
    mismatched = (bools and pandas.api.types.is_numeric_dtype(kind)
                  and not pandas.api.types.is_bool_dtype(kind)) or (
        pandas.api.types.is_bool_dtype(kind) and not bools and not series.isna().all())
    if not mismatched:
        try:
            return series.astype(kind)
        except (ValueError, TypeError, OverflowError):
            pass
    for row, value in enumerate(series):
        if pandas.isna(value):
            continue
        if mismatched or not _takes(pandas, value, series.dtype, kind):
            raise ValueError(f"{where.format(first_row + row)}: {texts()[row]!r} cannot be read as "
                             f"{kind}")
    raise ValueError(f"{where.format(first_row)}: cannot be read as {kind}")


def _takes(pandas: Any, value: Any, dtype: Any, kind: Any) -> bool:
    """Whether one cell of `dtype` can be cast to `kind`."""
    try:
        pandas.Series([value], dtype=dtype).astype(kind)
    except (ValueError, TypeError, OverflowError):
        return False
    return True
