"""Many XML documents as one Dask DataFrame: a partition per file, read by quorbix.

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
from typing import Any

from ._quorbix import _MISSING_TEXTS, Path
from ._sources import document
from .tables import _columns, read_xml as _read_xml

# The texts pandas' parsers read as a missing value, as the core's tables have them.
_MISSING = _MISSING_TEXTS


def _nullable(pandas: Any, column: Any) -> str:
    """The nullable dtype of a column the first file gave: numbers of any kind
    become Float64, bools boolean, anything else (nothing at all too) string."""
    if column.isna().all():
        return "string"
    kind = pandas.api.types.infer_dtype(column, skipna=True)
    if kind in ("integer", "floating", "mixed-integer-float", "decimal"):
        return "Float64"
    return "boolean" if kind == "boolean" else "string"


def _declared(dtype: Any, name: str) -> Any:
    """The dtype `dtype=` gives a column: one for all, or one per name."""
    return dtype.get(name) if isinstance(dtype, Mapping) else dtype


def _convert(pandas: Any, cells: list[str | None], dtype: Any) -> Any:
    series = pandas.Series(cells, dtype=object)
    present = series.notna() & ~series.isin(_MISSING)
    kind = pandas.api.types.pandas_dtype(dtype)
    if pandas.api.types.is_bool_dtype(kind):
        words = series[present].str.lower()
        if not words.isin(["true", "false"]).all():
            raise ValueError("not a bool")
        series = series.where(~present, series.str.lower() == "true")
    elif pandas.api.types.is_numeric_dtype(kind):
        series = pandas.to_numeric(series.where(present, None))
    return series.where(present, None).astype(kind)


def _typed(pandas: Any, cells: list[str | None], dtype: Any, file: str, name: str) -> Any:
    """The cells as a Series of `dtype`, or an error naming the first cell
    that cannot take it."""
    try:
        return _convert(pandas, cells, dtype)
    except (ValueError, TypeError, OverflowError):
        for row, cell in enumerate(cells):
            try:
                _convert(pandas, [cell], dtype)
            except (ValueError, TypeError, OverflowError):
                raise ValueError(f"{file}: row {row} (from 0), column {name!r}: "
                                 f"{cell!r} cannot be read as {dtype}") from None
        raise


class _Partition:
    """Reads one file into its partition, in a worker. Dask hands it the
    columns the computation uses (`columns=`); only those are read, when the
    frame's columns are paths."""

    def __init__(self, rows: str | Path, paths: dict[str, str | Path] | None,
                 dtypes: dict[str, Any], recover: bool) -> None:
        self.rows, self.paths, self.dtypes, self.recover = rows, paths, dtypes, recover

    def __call__(self, file: Any, columns: list[str] | None = None) -> Any:
        import pandas  # type: ignore[import-untyped, import-not-found, unused-ignore]

        names = list(self.dtypes) if columns is None else list(columns)
        with file as opened:  # read where the worker is: local disks and object stores alike
            data = document(opened)
        asked = None if self.paths is None else {name: self.paths[name] for name in names}
        found, cells, count, _ = _columns(data, self.rows, asked, self.recover)
        unknown = [name for name in found if name not in self.dtypes]
        if unknown:
            raise ValueError(f"{file.path}: column {unknown[0]!r} is not in the first file, "
                             "whose columns the frame has; name every column with columns=")
        read = dict(zip(found, cells))
        return pandas.DataFrame(
            {name: _typed(pandas, read.get(name, [None] * count), self.dtypes[name],
                          file.path, name) for name in names},
            index=pandas.RangeIndex(count), columns=names)


def read_xml(
    urlpath: str | list[str],
    rows: str | Path,
    columns: Mapping[str, str | Path] | None = None,
    dtype: Any = None,
    *,
    recover: bool = False,
) -> Any:  # a dask.dataframe.DataFrame: Dask is an optional extra
    """One partition per file of `urlpath` (a glob, a list, or any URL fsspec
    opens, compressed files by their suffix or their first bytes). A file that
    is not well formed raises MalformedError in its partition, unless
    `recover=True` takes the rows found."""
    try:
        import dask.dataframe as dd  # type: ignore[import-untyped, import-not-found, unused-ignore]
        import fsspec  # type: ignore[import-untyped, import-not-found, unused-ignore]
        import pandas
    except ImportError as error:  # pragma: no cover - dask is an optional extra
        raise ImportError("quorbix.dask needs Dask: pip install 'quorbix[dask]'") from error
    files = fsspec.open_files(urlpath, mode="rb", compression="infer")
    if not files:
        raise FileNotFoundError(f"no file matches {urlpath!r}")
    paths = dict(columns) if columns is not None else None
    with files[0] as opened:
        first = _read_xml(document(opened), rows, paths, recover=recover)
    dtypes = {name: _declared(dtype, name) for name in first}
    dtypes = {name: _nullable(pandas, first[name]) if kind is None else kind
              for name, kind in dtypes.items()}
    meta = pandas.DataFrame({name: pandas.Series(dtype=kind) for name, kind in dtypes.items()})
    partition = _Partition(rows, paths, dtypes, recover)
    return dd.from_map(partition, files, meta=meta,  # type: ignore[no-untyped-call, unused-ignore]
                       enforce_metadata=False)
