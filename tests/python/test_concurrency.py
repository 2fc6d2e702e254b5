"""Scans of bytes and str documents release the interpreter lock; Paths pickle."""

import pickle
import sys
import threading
import time

import pytest

import quorbix
from quorbix import compile
from workers import run_in_threads

BOOK = '<book id="{i}" lang="{lang}"><title>T{i} &amp; é</title><price>{p}</price></book>'
DOC = "<catalog>" + "".join(
    BOOK.format(i=i, lang="de" if i % 3 else "en", p=i % 97 + 0.5) for i in range(20_000)
) + "</catalog>"
DOC_BYTES = DOC.encode()
PATHS = [
    "catalog.book.#.price|@sum",
    'catalog.book.#(@lang=="en")#.title',
    "catalog.book.#(price>50)#.@id|@count",
    "**.title|@reverse",
]


def answers(doc, paths):
    """Everything a user reads out of the answers, as plain values."""
    results = [quorbix.get(doc, p) if isinstance(doc, str) else quorbix.get_bytes(doc, p)
               for p in paths]
    many = quorbix.get_many(doc, paths) if isinstance(doc, str) else quorbix.get_many_bytes(doc, paths)
    whole = quorbix.get_bytes(DOC_BYTES, "catalog")
    return (
        [r.value for r in results],
        [r.to_str() for r in many],
        whole.get("book.#.title|@count").value,
        quorbix.validate(doc),
    )


def test_eight_threads_answer_as_one_does():
    expected = {kind: answers(doc, PATHS) for kind, doc in [("str", DOC), ("bytes", DOC_BYTES)]}
    shared = [compile(p) for p in PATHS]
    shared_result = quorbix.get_bytes(DOC_BYTES, "catalog.book.#.title")
    expected_titles = [t.to_str() for t in shared_result]
    failures = []

    def work(seed):
        try:
            for round in range(3):
                kind = "str" if (seed + round) % 2 else "bytes"
                doc = DOC if kind == "str" else DOC_BYTES
                if answers(doc, PATHS) != expected[kind]:
                    failures.append(("answers", seed))
                got = [p.get(doc).value if kind == "str" else p.get_bytes(doc).value for p in shared]
                if got != expected[kind][0]:
                    failures.append(("paths", seed))
                if [t.to_str() for t in shared_result] != expected_titles:
                    failures.append(("result", seed))
        except Exception as error:  # a thread's exception must fail the test
            failures.append(("raised", seed, repr(error)))

    run_in_threads(work, 8)
    assert failures == []


def counted_during(scan, attempts):
    """How far a counting thread counts while `scan` runs, at most.

    The counting thread gives the lock up after every step, and the switch
    interval is made so long that nothing takes the lock from a thread that
    holds it: the counting thread can run only while the other thread has
    given the lock up of its own accord, here only inside the scan.
    """
    counter = [0]
    stop = threading.Event()

    def count():
        while not stop.is_set():
            counter[0] += 1
            time.sleep(0)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    thread = threading.Thread(target=count)
    thread.start()
    try:
        moved = 0
        for _ in range(attempts):
            time.sleep(0.01)  # the counting thread takes its next step and waits
            before = counter[0]
            scan()
            moved = max(moved, counter[0] - before)
            if moved:
                break
    finally:
        stop.set()
        sys.setswitchinterval(interval)
        thread.join()
    return moved


@pytest.mark.parametrize(
    "scan",
    [
        lambda: quorbix.get_bytes(DOC_BYTES, "catalog.book.#.price|@sum"),
        lambda: quorbix.get(DOC, "**.title|@count"),
        lambda: quorbix.get_many_bytes(DOC_BYTES, ["**.price|@count", "**.title|@count"]),
        lambda: quorbix.validate(b"<all>" + DOC_BYTES * 8 + b"</all>"),
        lambda: quorbix.get_bytes(DOC_BYTES, "catalog").get("book.#.title|@count"),
    ],
)
def test_other_threads_run_during_a_scan(scan):
    # The counting thread must be scheduled before the scan ends: a few tries.
    assert counted_during(scan, attempts=5) > 0


def test_buffer_documents_keep_the_lock():
    buffer = bytearray(DOC_BYTES)
    assert counted_during(lambda: quorbix.get_buffer(buffer, "**.price|@count"), attempts=3) == 0


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_a_path_pickles_by_its_text(protocol):
    path = compile('catalog.book.#(@lang=="é")#.title|@sort')
    again = pickle.loads(pickle.dumps(path, protocol))
    assert type(again) is quorbix.Path and repr(again) == repr(path)
    doc = '<catalog><book lang="é"><title>b</title></book><book lang="é"><title>a</title></book></catalog>'
    assert again.get(doc).value == path.get(doc).value == ["a", "b"]
