"""Code a user writes, checked with mypy --strict against the package's stubs."""

import quorbix
from quorbix import Path, Result

DOC = "<catalog><book id='1'><price>10</price></book><book id='2'><price>20</price></book></catalog>"


def prices(doc: str) -> list[float]:
    return [r.to_float() for r in quorbix.get(doc, "catalog.book.#.price")]


def ids(path: Path, data: bytes) -> list[str]:
    assert path.shape == "list"  # a Result of its matches, however many
    result: Result = path.get_bytes(data)
    return [item.to_str() for item in result]


def first_book(doc: str) -> dict[str, str]:
    book = quorbix.get(doc, "catalog.book.0")
    return {name: value.to_str() for name, value in book.items()}


def counts(data: bytearray) -> list[int]:
    found = quorbix.get_many_buffer(data, ["catalog.book.#", quorbix.compile("**.price|@count")])
    return [r.to_int() for r in found]


def many(doc: str, texts: list[str], compiled: list[Path]) -> int:
    return len(quorbix.get_many(doc, texts)) + len(quorbix.get_many(doc, compiled))


def nested(doc: str) -> int:
    root = quorbix.parse(doc)
    total: int = 0
    for key in root.get("catalog").keys():
        total += len(key)
    return total + len(root.get_many(["catalog.book"])) + int(quorbix.validate(doc))


def where(doc: bytes) -> str:
    problem: quorbix.ValidationProblem | None = quorbix.validation_report(doc)
    try:
        rows = quorbix.records(doc, "catalog.book", {"id": "@id"})
    except quorbix.MalformedError as error:
        rows = quorbix.records(doc, "catalog.book", recover=True)
        return f"{error.problem.line}:{error.problem.column} {len(rows)}"
    return "" if problem is None else problem.message + str(len(rows))


version: str = quorbix.__version__
print(prices(DOC), ids(quorbix.compile("catalog.book.#.@id"), DOC.encode()), first_book(DOC),
      counts(bytearray(DOC.encode())), nested(DOC), version,
      many(DOC, ["catalog.book"], [quorbix.compile("**.price")]), where(DOC[:50].encode()))
