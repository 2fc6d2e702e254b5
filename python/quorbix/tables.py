"""Tables out of XML: one row per element a path matches, in one pass."""

from __future__ import annotations

import mmap
import os
from collections.abc import Mapping
from typing import IO, Any, Union

from ._quorbix import Path, _table


Source = Union[str, bytes, "os.PathLike[str]", IO[bytes], IO[str]]


def _columns(
    data: Any, rows: str | Path, columns: Mapping[str, str | Path] | None
) -> tuple[list[str], list[list[str | None]], int]:
    """The table's column names, one list of cells per column, and its row count."""
    if columns is None:
        return _table(data, [rows], None)  # type: ignore[no-any-return]
    if not isinstance(columns, Mapping):
        raise TypeError("columns must be a mapping of column names to paths")
    _, cells, count = _table(data, [rows], list(columns.values()))
    return list(columns), cells, count


def records(
    data: str | bytes | Any,
    rows: str | Path,
    columns: Mapping[str, str | Path] | None = None,
) -> list[dict[str, str | None]]:
    """One dict per element that `rows` matches, in document order."""
    names, cells, count = _columns(data, rows, columns)
    if not names:
        return [{} for _ in range(count)]
    return [dict(zip(names, row)) for row in zip(*cells)]


def _document(source: Source) -> tuple[Any, Any]:
    """The document of `source`, and what must be closed after reading it."""
    if isinstance(source, (bytes, bytearray, memoryview)):
        return source, None
    if isinstance(source, str) and source.lstrip()[:1] == "<":
        return source, None
    if isinstance(source, (str, os.PathLike)):
        with open(source, "rb") as file:
            if os.fstat(file.fileno()).st_size == 0:
                return b"", None
            mapped = mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ)
        return mapped, mapped
    if hasattr(source, "read"):
        return source.read(), None
    raise TypeError(f"cannot read XML from {type(source).__name__!r}")


def read_xml(
    source: Source,
    rows: str | Path,
    columns: Mapping[str, str | Path] | None = None,
    dtype: Any = None,
) -> Any:  # a pandas.DataFrame: pandas is an optional extra
    """A pandas DataFrame of `records`, its numeric columns typed as pandas.read_xml types them."""
    try:
        from pandas.io.parsers import TextParser  # type: ignore[import-untyped, unused-ignore]
    except ImportError as error:  # pragma: no cover - pandas is an optional extra
        raise ImportError("quorbix.read_xml needs pandas: pip install 'quorbix[pandas]'") from error
    document, mapped = _document(source)
    try:
        names, cells, _ = _columns(document, rows, columns)
    finally:
        if mapped is not None:
            mapped.close()
    with TextParser([list(row) for row in zip(*cells)], names=names, dtype=dtype) as parser:
        return parser.read()
