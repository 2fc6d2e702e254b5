"""Every entry point under random use: documents of every kind, random paths and
operations, mutated buffers, closed maps, many calls and many threads. Run against a
sanitized build (.ci/run), any bad read, leak or reference-count fault shows."""

import gc
import mmap
import os
import random

import pytest

import quorbix
from quorbix import Result
from workers import run_in_threads

SEED_DOCUMENTS = [
    b'<?xml version="1.0"?><catalog><book id="1" lang="en"><title>A &amp; B</title>'
    b"<price>10.5</price><tag>x</tag><tag>y</tag></book><book id='2'><title><![CDATA[<c>]]>"
    b"</title><price>7</price><empty/></book></catalog>",
    '<?xml version="1.0" encoding="windows-1251"?><r><имя к="д">Привет</имя><b/></r>'.encode("cp1251"),
    "<r><a>é</a><b><c>1</c></b></r>".encode("utf-16"),
    b"<r xmlns:p='u'><p:a>1</p:a><a>2</a><!-- c --><?pi?><a><a>3</a></a></r>",
    b"<a>" * 50 + b"x" + b"</a>" * 50,
]
PATH_WORDS = ["catalog", "book", "title", "price", "tag", "r", "a", "b", "c", "p:a", "*", "имя",
              "**", "#", "0", "1", "@id", "@к", "#text", "#(price>8)", "#(@lang=='en')#",
              "#(c==1)", "|@count", "|@sort", "|@first", "|@sum", "|@unique", "|@reverse"]
EXPECTED = (ValueError, TypeError, IndexError, KeyError, UnicodeError)


def internal_error(exc):
    return type(exc).__name__ == "InternalError" and not isinstance(exc, Exception)


def mutate(rng, data):
    data = bytearray(data)
    for _ in range(rng.randint(0, 4)):
        if not data:
            break
        op = rng.randrange(3)
        i = rng.randrange(len(data))
        if op == 0:
            data[i] = rng.randrange(256)
        elif op == 1:
            del data[i:i + rng.randint(1, 8)]
        else:
            data[i:i] = rng.choice([b"<", b">", b"</a>", b"<a>", b"&", b"]]>", b"\xff", b'"'])
    return bytes(data)


def random_path(rng):
    text = ""
    for _ in range(rng.randint(1, 5)):
        word = rng.choice(PATH_WORDS)
        text += word if word.startswith(("|", "#(")) or not text else "." + word
    return text


def kinds_of(data, tmp_path, rng):
    """The same bytes as every kind of document the module takes."""
    kinds = [data, bytearray(data), memoryview(data)]
    try:
        kinds.append(data.decode("utf-8"))
    except UnicodeDecodeError:
        pass
    if data and rng.random() < 0.2:
        path = tmp_path / f"doc{rng.randrange(1000)}.xml"
        path.write_bytes(data)
        with open(path, "rb") as f:
            kinds.append(mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ))
    return kinds


OPERATIONS_RUN = [0]


def exercise(result, rng, depth=0):
    """Every operation of a Result, its views and iterators, in a random order."""
    operations = [
        lambda: result.exists(), lambda: result.to_int(), lambda: result.to_float(),
        lambda: result.to_bool(), lambda: result.to_str(), lambda: result.type_,
        lambda: result.value, lambda: repr(result), lambda: len(result), lambda: bool(result),
        lambda: int(result), lambda: float(result), lambda: result == "x",
        lambda: result == ["1", "2"], lambda: result == result,
        lambda: result[rng.randint(-3, 3)], lambda: result[rng.choice(["a", "title", "b"])],
        lambda: result[::rng.choice([1, -1, 2])], lambda: list(result)[:50],
        lambda: result.get(random_path(rng)), lambda: result.get_many([random_path(rng), ""]),
        lambda: list(result.keys()), lambda: list(result.values()), lambda: dict(result.items()),
        lambda: list(result.children()), lambda: repr(result.keys()), lambda: "a" in result.keys(),
        lambda: len(result.children()),
    ]
    rng.shuffle(operations)
    for operation in operations[: rng.randint(3, len(operations))]:
        OPERATIONS_RUN[0] += 1
        try:
            value = operation()
        except EXPECTED:
            continue
        except BaseException as exc:  # noqa: B036 - InternalError derives from BaseException
            if not internal_error(exc):
                raise
            continue
        if isinstance(value, Result) and depth < 2:
            exercise(value, rng, depth + 1)


def test_random_documents_paths_and_operations(tmp_path):
    rng = random.Random(int(os.environ.get("QUORBIX_FUZZ_SEED", "11")))
    rounds = int(os.environ.get("QUORBIX_FUZZ_ROUNDS", "2000"))
    for _ in range(rounds):
        data = mutate(rng, rng.choice(SEED_DOCUMENTS))
        paths = [random_path(rng) for _ in range(rng.randint(1, 4))]
        for doc in kinds_of(data, tmp_path, rng):
            calls = [lambda: quorbix.validate(doc), lambda: quorbix.parse(doc),
                     lambda: quorbix.get_buffer(doc, paths[0]),
                     lambda: quorbix.get_many_buffer(doc, paths)]
            if isinstance(doc, str):
                calls += [lambda: quorbix.get(doc, paths[0]), lambda: quorbix.get_many(doc, paths)]
            if isinstance(doc, bytes):
                calls += [lambda: quorbix.get_bytes(doc, paths[0]),
                          lambda: quorbix.get_many_bytes(doc, paths),
                          lambda: quorbix.compile(paths[0]).get_bytes(doc)]
            for call in calls:
                try:
                    found = call()
                except EXPECTED:
                    continue
                for result in found if isinstance(found, list) else [found]:
                    if isinstance(result, Result):
                        exercise(result, rng)
            if isinstance(doc, bytearray) and rng.random() < 0.5:
                parsed = quorbix.parse(doc)
                keys = None
                try:
                    keys = parsed.get(random_path(rng))
                except EXPECTED:
                    pass
                doc[:] = mutate(rng, bytes(doc))[: rng.randint(0, len(doc))]  # resized between uses
                exercise(parsed, rng)
                if keys is not None:
                    exercise(keys, rng)
            if isinstance(doc, mmap.mmap):
                parsed = quorbix.parse(doc)
                doc.close()
                with pytest.raises(ValueError):
                    parsed.to_str()
    assert OPERATIONS_RUN[0] > rounds * 20


def rss_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def test_a_million_calls_leave_memory_flat():
    if "libasan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("AddressSanitizer keeps freed memory in quarantine; the plain build measures")
    calls = int(os.environ.get("QUORBIX_LEAK_CALLS", "1000000"))
    doc = SEED_DOCUMENTS[0].decode()
    data = SEED_DOCUMENTS[0]
    path = quorbix.compile("catalog.book.#.title")

    def burst(n):
        for i in range(n // 10):
            quorbix.get(doc, "catalog.book.#.price|@sum").to_float()
            quorbix.get_bytes(data, "catalog.book.0").value
            quorbix.get_many(doc, ["**.tag", "catalog.book.1.@id"])
            list(path.get(doc))
            r = quorbix.get_buffer(bytearray(data), "catalog.book.0")
            dict(r.items()), list(r.children()), r.get("title").to_str()
            quorbix.parse(data).get_many(["catalog.book.#", ""])
            quorbix.validate(data)
            try:
                quorbix.get(doc, "catalog.book.title")
            except ValueError:
                pass

    burst(calls // 10)  # warm up: caches, free lists, the allocator's arenas
    gc.collect()
    before = rss_kib()
    burst(calls)
    gc.collect()
    grown = rss_kib() - before
    assert grown < 16 * 1024, f"memory grew by {grown} KiB over {calls} calls"


def test_threads_share_paths_and_results():
    doc = SEED_DOCUMENTS[0].decode()
    paths = [quorbix.compile(p) for p in ("catalog.book.#.price", "**.title", "catalog.book.0")]
    shared = quorbix.get(doc, "catalog.book.0")
    expected = [repr(p.get(doc)) for p in paths]
    failures = []

    def work(seed):
        rng = random.Random(seed)
        try:
            for _ in range(2000):
                k = rng.randrange(len(paths))
                if repr(paths[k].get(doc)) != expected[k]:
                    failures.append("path answer differs")
                assert shared["title"].to_str() == "A & B"
                assert [name for name, _ in shared.children()][0] == "title"
                quorbix.get_many(doc, [paths[0], "catalog.book.1.@id"])
                quorbix.compile(f"catalog.book.{rng.randrange(5)}.price")  # each thread's cache
        except Exception as exc:  # pragma: no cover - reported below
            failures.append(repr(exc))

    run_in_threads(work, 8)
    assert failures == []
