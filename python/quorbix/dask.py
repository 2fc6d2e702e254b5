"""Many XML documents as one Dask DataFrame: a partition per file, read by quorbix."""

from __future__ import annotations

import functools
from collections.abc import Mapping
from typing import Any

from . import read_xml as _read_xml
from ._quorbix import Path



def _partition(file: Any, rows: str | Path, columns: Mapping[str, str | Path] | None) -> Any:
    # Runs in a worker: the file's bytes are read where the worker is, so the
    # same call reads local disks and object stores alike.
    with file as opened:
        return _read_xml(opened.read(), rows, columns)


def read_xml(
    urlpath: str | list[str],
    rows: str | Path,
    columns: Mapping[str, str | Path] | None = None,
) -> Any:  # a dask.dataframe.DataFrame: Dask is an optional extra
    """One partition per file of `urlpath` (a glob, a list, or any URL fsspec opens)."""
    try:
        import dask.dataframe as dd  # type: ignore[import-untyped, import-not-found, unused-ignore]
        import fsspec  # type: ignore[import-untyped, import-not-found, unused-ignore]
    except ImportError as error:  # pragma: no cover - dask is an optional extra
        raise ImportError("quorbix.dask needs Dask: pip install 'quorbix[dask]'") from error
    files = fsspec.open_files(urlpath, mode="rb")
    if not files:
        raise FileNotFoundError(f"no file matches {urlpath!r}")
    columns = dict(columns) if columns is not None else None
    # The columns and their types come from the first file, read here; the
    # partitions are not checked against them one by one.
    read = functools.partial(_partition, rows=rows, columns=columns)
    meta = read(files[0]).iloc[:0]
    return dd.from_map(read, files, meta=meta, enforce_metadata=False)
