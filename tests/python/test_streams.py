"""Documents read a piece at a time answer as whole ones do, from every kind of source."""

import bz2
import gzip
import io
import lzma
import random

import pytest

import quorbix
from quorbix._quorbix import _json_items
from quorbix._sources import CompressedInputError
from test_reference import KINDS, cases


def whole(text, path):
    return _json_items(quorbix.get_many_bytes(text.encode(), [path])[0])


def streamed(source, path, **options):
    return [item for result in quorbix.stream(source, path, **options)
            for item in _json_items(result)]


def outcome(query):
    try:
        return query()
    except ValueError as error:
        return ("error", str(error).split(":")[0])


@pytest.mark.parametrize("malformed", KINDS)
def test_pieces_of_any_size_answer_as_the_whole_document(malformed):
    """Recovering, a stream reads past faults by the same depth rule as a whole scan;
    checked, it yields the matches before the first fault, then raises it as
    validation_report places it (unless the path was answered before it)."""
    rng = random.Random(7)
    compared = 0
    for number, (text, document, make) in enumerate(cases("streams", malformed)):
        if number >= 150:
            break
        problem = quorbix.validation_report(text)
        for _ in range(3):
            path = make.path(document.roots)
            size = rng.choice([1, 2, 3, 5, 8, 64, 100, 4096])
            want = outcome(lambda: whole(text, path))
            if not path or isinstance(want, tuple):
                continue
            got = outcome(lambda: streamed([text.encode()], path, recover=True, piece_size=size))
            assert got == want, (text, path, size)
            checked = []
            try:
                # A path answered before the fault stops the reading there.
                for result in quorbix.stream(text.encode(), path, piece_size=size):
                    checked += _json_items(result)
            except quorbix.MalformedError as error:
                assert error.problem == problem, (text, path, size)
            if "|" not in path:  # modifiers read the list of what came before the fault
                assert checked == want[:len(checked)], (text, path, size)
            compared += 1
    assert compared > 200


SPLIT = ('<?xml version="1.0" encoding="UTF-8"?>\n<!-- <r> --><r a=\'x>y\'>'
         '<t>\u00e9\U0001F600 &amp; <![CDATA[<not/>]]></t><?pi ?><e/>'
         '<t k="\u00e9">two</t></r>\n')


@pytest.mark.parametrize("encoding", ["utf-8", "utf-16-le", "utf-16", "cp437-declared"])
def test_every_split_of_tags_texts_and_characters(encoding):
    text = SPLIT
    if encoding == "cp437-declared":
        text = text.replace("UTF-8", "cp437").replace("\U0001F600", "")
        data = text.encode("cp437")
    else:
        data = text.encode(encoding) if encoding != "utf-16-le" else text.replace(
            ' encoding="UTF-8"', "").encode(encoding)
    for path in ["r.t.#", "r.t.#.@k", "r.@a", "r.t.0.#text", "**.e|@count"]:
        want = _json_items(quorbix.get_many_bytes(data, [path])[0])
        for size in range(1, len(data) + 1):
            assert streamed(data, path, piece_size=size) == want, (path, size)


def test_sources_and_compression(tmp_path):
    doc = "<r>" + "".join(f"<a n='{i}'>{i}</a>" for i in range(2000)) + "</r>"
    want = whole(doc, "r.a.#.@n")
    data = doc.encode()
    halves = [data[:5000], data[5000:]]
    compressed = {
        "gzip": b"".join(gzip.compress(h) for h in halves),
        "bz2": b"".join(bz2.compress(h) for h in halves),
        "xz": b"".join(lzma.compress(h) for h in halves),
    }
    try:
        import zstandard
    except ImportError:  # the test extra installs it
        pass
    else:
        compressed["zstd"] = b"".join(zstandard.ZstdCompressor().compress(h) for h in halves)
    file = tmp_path / "doc.xml"
    file.write_bytes(data)
    sources = [doc, data, bytearray(data), file, str(file), io.BytesIO(data), io.StringIO(doc),
               iter(halves), *(io.BytesIO(c) for c in compressed.values())]
    for source in sources:
        assert streamed(source, "r.a.#.@n", piece_size=777) == want, source
    with pytest.raises(CompressedInputError, match="gzip"):
        list(quorbix.stream(compressed["gzip"][:-20], "r.a.#.@n"))


def test_an_early_stop_reads_no_further():
    pulled = []

    def pieces():
        for i in range(10_000):
            pulled.append(i)
            yield f"<a>{i}</a>".encode() if i else b"<r>"

    assert [r.to_int() for r in quorbix.stream(pieces(), "r.a|@first")] == [1]
    assert len(pulled) == 2
    pulled.clear()
    for result in quorbix.stream(pieces(), "r.a"):
        break
    assert len(pulled) <= 2
    assert [r.to_int() for r in quorbix.stream([b"<r><a>2</a><a>1</a></r>"], "r.a|@sort")] \
        == [1, 2]


def test_records_and_frames_in_chunks():
    pandas = pytest.importorskip("pandas")
    doc = ("<?xml version='1.0' encoding='windows-1251'?><r>"
           + "".join(f"<row id='{i}'><v>{i / 2}</v><w>\u0436{i}</w></row>" for i in range(25))
           + "</r>").encode("windows-1251")
    columns = {"id": "@id", "v": "v", "w": "w"}
    assert list(quorbix.stream_records(doc, "r.row", columns)) == quorbix.records(
        doc, "r.row", columns)
    chunks = list(quorbix.read_xml(io.BytesIO(doc), "r.row", columns, chunksize=10))
    assert [len(c) for c in chunks] == [10, 10, 5]
    # Chunks share nullable types, the first chunk's.
    whole = quorbix.read_xml(doc, "r.row", columns)
    pandas.testing.assert_frame_equal(pandas.concat(chunks),
                                      whole.astype({"id": "Int64", "v": "Float64", "w": "string"}))
    with pytest.raises(quorbix.MalformedError):
        list(quorbix.stream_records(doc[:-30], "r.row", columns))
