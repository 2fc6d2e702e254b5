"""Path queries over XML documents in one streaming pass, without a tree."""

from collections.abc import Iterator
from typing import Any, ClassVar, Literal, SupportsIndex, final, overload

from _typeshed import ReadableBuffer


__all__ = [
    "get",
    "get_bytes",
    "get_buffer",
    "get_many",
    "get_many_bytes",
    "get_many_buffer",
    "parse",
    "compile",
    "validate",
    "Path",
    "Table",
    "Result",
    "ResultCharIter",
    "ResultItemIter",
    "ResultChildKeyIter",
    "ResultChildValueIter",
    "ResultChildItemIter",
    "ResultChildIter",
    "ResultKeysView",
    "ResultValuesView",
    "ResultItemsView",
    "ResultChildrenView",
]

def get(data: str, path: str, namespaces: dict[str, str] | None = None) -> Result:
    """Answer `path` over the XML text `data` in one pass; the Result refers
    back into `data`. Malformed paths raise ValueError."""

def get_bytes(data: bytes, path: str, namespaces: dict[str, str] | None = None) -> Result:
    """Answer `path` over the XML bytes `data` (encoding from its byte-order
    mark or declaration); the Result refers back into `data`."""

def get_buffer(data: ReadableBuffer, path: str, namespaces: dict[str, str] | None = None) -> Result:
    """Answer `path` over a buffer (bytearray, memoryview, mmap); the view is
    held for the scan only and the Result owns copies of its matches."""

# Each takes a list of texts, of Paths, or of both: a list[str] is no
# list[str | Path] to a type checker, so each kind of list has an overload.
@overload
def get_many(data: str, paths: list[str | Path], namespaces: dict[str, str] | None = None) -> list[Result]:
    """Answer every path over `data` in one pass: one Result per entry."""

@overload
def get_many(data: str, paths: list[str], namespaces: dict[str, str] | None = None) -> list[Result]: ...
@overload
def get_many(data: str, paths: list[Path], namespaces: dict[str, str] | None = None) -> list[Result]: ...
@overload
def get_many_bytes(data: bytes, paths: list[str | Path], namespaces: dict[str, str] | None = None) -> list[Result]:
    """Answer every path over the bytes `data` in one pass."""

@overload
def get_many_bytes(data: bytes, paths: list[str], namespaces: dict[str, str] | None = None) -> list[Result]: ...
@overload
def get_many_bytes(data: bytes, paths: list[Path], namespaces: dict[str, str] | None = None) -> list[Result]: ...
@overload
def get_many_buffer(data: ReadableBuffer, paths: list[str | Path], namespaces: dict[str, str] | None = None) -> list[Result]:
    """Answer every path over a buffer in one pass; the Results own copies."""

@overload
def get_many_buffer(data: ReadableBuffer, paths: list[str], namespaces: dict[str, str] | None = None) -> list[Result]: ...
@overload
def get_many_buffer(data: ReadableBuffer, paths: list[Path], namespaces: dict[str, str] | None = None) -> list[Result]: ...

def parse(data: str | ReadableBuffer) -> Result:
    """A Result standing for the whole document; nothing is read until it is used."""

def compile(path: str, namespaces: dict[str, str] | None = None) -> Path:
    """Compile `path` once for many queries; malformed paths raise ValueError."""

def validate(data: str | ReadableBuffer) -> bool:
    """Whether `data` has balanced, matching tags and exactly one root element
    (entities and attributes are not checked)."""

def _table(
    data: str | ReadableBuffer, rows: list[str | Path], columns: list[str | Path] | None,
    names: list[str] | None, entities: object = None,
) -> tuple[Table, tuple[int, int, int, str] | None]:
    """The table of `rows` with `columns` named `names` (both None: the rows'
    attributes and leaf children), and None for a well-formed document, else
    as _validation_report (behind records, table and read_xml); `entities`, a
    stream's, are read in place of the document's own."""

def _json_items(result: Result) -> list[str]:
    """Each match as JSON text (for the command line)."""

def _validation_report(data: str | ReadableBuffer) -> tuple[int, int, int, str] | None:
    """None for a valid document, else the offset of the markup at fault, its
    line and column, and what is wrong (behind quorbix.validation_report)."""

def _stream(paths: list[str | Path], checking: int, utf8: bool) -> _Stream:
    """A scan of `paths` over a document fed in pieces (behind quorbix.stream):
    `checking` 0 checks nothing, 1 reports the first problem, 2 ends the scan
    there; `utf8` reads the pieces as UTF-8 whatever they declare."""

def _text_codec(first: bytes) -> str | None:
    """The Python codec that must decode the document whose first bytes these
    are before a stream reads it (UTF-16, or an encoding only Python knows)."""

def _start_known(first: bytes) -> bool:
    """Whether a document's first bytes hold its declaration, if it has one
    (what _text_codec needs)."""

@final
class _Stream:
    def feed(self, piece: ReadableBuffer, /) -> bool: ...
    def end(self) -> None: ...
    def take(self) -> list[list[Result]]: ...
    def take_bytes(self) -> list[list[bytes | tuple[bytes, bytes]]]: ...
    def encoding(self) -> str: ...
    def entities(self) -> object: ...
    def report(self) -> tuple[int, int, int, str] | None: ...
    def error(self) -> None: ...

@final
class Path:
    """A compiled path: answers queries without reading its text again."""

    @property
    def shape(self) -> Literal["list", "number", "single"]:
        """What the path answers: "list" when it goes on from each of several
        matches (`#` or `#(...)#`), whose Result is a list however many matched;
        "number" for a count or a numeric modifier; "single" otherwise (one
        match, or a list when several are found)."""

    def get(self, data: str) -> Result:
        """Answer this path over the XML text `data`."""

    def get_bytes(self, data: bytes) -> Result:
        """Answer this path over the XML bytes `data`."""

    def get_buffer(self, data: ReadableBuffer) -> Result:
        """Answer this path over a buffer; the Result owns copies."""

@final
class Table:
    """The columns of a table read out of a document, typed as their cells
    settle it. pyarrow.table(t), polars.DataFrame(t) and DuckDB read it
    without a copy, through the Arrow PyCapsule protocol."""

    @property
    def column_names(self) -> list[str]:
        """The columns' names, in order."""

    @property
    def num_rows(self) -> int:
        """How many rows the table has."""

    @property
    def _types(self) -> list[int]: ...
    def __len__(self) -> int: ...
    def column(self, column: str | int) -> list[Any]:
        """One column's cells, by name or index: the texts as records has them (None
        where a row has no match; a list of texts per row in a list column)."""

    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object:
        """The table as an Arrow C stream in a PyCapsule, for pyarrow.table(),
        polars.DataFrame() and DuckDB."""

@final
class Result:
    """The matches of a query. Empty, one scalar or text element, one element
    with children (dict-like), or several matches (list-like). The answer of a
    path whose shape is "list" is list-like however many matched; only its
    scalar conversions (to_str, to_int, to_float, to_bool, int, float) read
    a single match as that match."""

    __hash__: ClassVar[None]  # type: ignore[assignment]

    def exists(self) -> bool:
        """Whether anything matched."""

    def to_int(self) -> int:
        """The first match's text as an int (0 when it is not a number)."""

    def to_float(self) -> float:
        """The first match's text as a float (0.0 when it is not a number)."""

    def to_bool(self) -> bool:
        """The match as a bool: "true"/"false" and their kin, else a number."""

    def to_str(self) -> str:
        """The text of a scalar; elements with children and lists as markup."""

    def to_ints(self) -> list[int]:
        """Each match's to_int(), in document order, as one list.

        Equal to `[r.to_int() for r in result]` on a list-like Result, but
        makes no Result per match. One match (a scalar such as a count, or
        an element) gives a one-element list, no match an empty one."""

    def to_floats(self) -> list[float]:
        """Each match's to_float(), in document order, as one list.

        Equal to `[r.to_float() for r in result]` on a list-like Result, but
        makes no Result per match. One match (a scalar such as a count, or
        an element) gives a one-element list, no match an empty one."""

    def to_strs(self) -> list[str]:
        """Each match's to_str(), in document order, as one list: a text
        trimmed, an element with children as its markup.

        Equal to `[r.to_str() for r in result]` on a list-like Result, but
        makes no Result per match. One match (a scalar such as a count, or
        an element) gives a one-element list, no match an empty one."""

    @property
    def type_(self) -> type | None:
        """The type `value` has: None, int, float, str, list or dict."""

    @property
    def value(self) -> Any:
        """The match in its natural type: None, int, float, str,
        list[Result] or dict[str, Result]."""

    def get(self, path: str, namespaces: dict[str, str] | None = None) -> Result:
        """Answer `path` relative to this element (its children first)."""

    @overload
    def get_many(self, paths: list[str | Path], namespaces: dict[str, str] | None = None) -> list[Result]:
        """Answer every path relative to this element in one pass."""

    @overload
    def get_many(self, paths: list[str], namespaces: dict[str, str] | None = None) -> list[Result]: ...
    @overload
    def get_many(self, paths: list[Path], namespaces: dict[str, str] | None = None) -> list[Result]: ...

    def keys(self) -> ResultKeysView:
        """The unique child names of a dict-like Result."""

    def values(self) -> ResultValuesView:
        """A Result per unique child name, holding every child of that name."""

    def items(self) -> ResultItemsView:
        """(name, Result) pairs, one per unique child name."""

    def children(self) -> ResultChildrenView:
        """(name, Result) pairs, one per child element, in document order."""

    def __len__(self) -> int:
        """The number of matches (1 for a single element, however many children)."""

    def __bool__(self) -> bool: ...
    @overload
    def __getitem__(self, key: str, /) -> Result:
        """A dict-like Result's children of that name."""

    @overload
    def __getitem__(self, key: SupportsIndex | slice, /) -> Result | str:
        """A match of a list-like Result, or characters of a scalar."""

    def __iter__(self) -> Iterator[Any]:
        """Characters of a scalar, child names of a dict-like Result, or
        one Result per match of a list-like one."""

    def __int__(self) -> int: ...
    def __float__(self) -> float: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...

@final
class ResultCharIter(Iterator[str]):
    """The characters of a scalar Result."""

    def __iter__(self) -> ResultCharIter: ...
    def __next__(self) -> str: ...

@final
class ResultItemIter(Iterator[Result]):
    """One single-match Result per match of a list-like Result."""

    def __iter__(self) -> ResultItemIter: ...
    def __next__(self) -> Result: ...

@final
class ResultChildKeyIter(Iterator[str]):
    """The unique child names of a dict-like Result."""

    def __iter__(self) -> ResultChildKeyIter: ...
    def __next__(self) -> str: ...

@final
class ResultChildValueIter(Iterator[Result]):
    """A Result per unique child name."""

    def __iter__(self) -> ResultChildValueIter: ...
    def __next__(self) -> Result: ...

@final
class ResultChildItemIter(Iterator[tuple[str, Result]]):
    """(name, Result) per unique child name."""

    def __iter__(self) -> ResultChildItemIter: ...
    def __next__(self) -> tuple[str, Result]: ...

@final
class ResultChildIter(Iterator[tuple[str, Result]]):
    """(name, Result) per child element, in document order."""

    def __iter__(self) -> ResultChildIter: ...
    def __next__(self) -> tuple[str, Result]: ...

@final
class ResultKeysView:
    """The unique child names of a dict-like Result, read afresh at each use."""

    def __iter__(self) -> ResultChildKeyIter: ...
    def __len__(self) -> int: ...
    def __contains__(self, key: object, /) -> bool: ...

@final
class ResultValuesView:
    """A Result per unique child name, read afresh at each use."""

    def __iter__(self) -> ResultChildValueIter: ...
    def __len__(self) -> int: ...

@final
class ResultItemsView:
    """(name, Result) pairs per unique child name, read afresh at each use."""

    def __iter__(self) -> ResultChildItemIter: ...
    def __len__(self) -> int: ...

@final
class ResultChildrenView:
    """(name, Result) pairs per child element, in document order."""

    def __iter__(self) -> ResultChildIter: ...
    def __len__(self) -> int: ...
