"""Queries end to end: entry points, documents, scan modes and lifetimes."""

import gc
import inspect

import pytest

from quorbix import Result, compile, get, get_buffer, get_bytes, parse

AMBIGUOUS_A = ("path is ambiguous: a matches multiple elements but the path continues; "
               "specify .N (single) or .# (each)")
BUFFER_REFUSED = "data must be a buffer-protocol object (mmap, bytearray, memoryview)"


@pytest.mark.parametrize(
    "doc, path, shown",
    [
        ("<r><a>1</a><a>2</a></r>", "r.a", ["1", "2"]),
        ("<r><a>0</a><b/><a>1</a><a>2</a></r>", "r.a.1", ["1"]),
        ("<r><a>0</a><b/><a>1</a><a>2</a></r>", "r.a.#", ["3"]),
        ("<r><a>0</a></r>", "r.c.#", ["0"]),
        ("<r><x><a>1</a></x><y><a>2</a></y></r>", "**.a", ["1", "2"]),
        ('<r><a id="7"/></r>', "r.a.@id", ["7"]),
        ("<r>a<b>b</b><![CDATA[<c>]]>&amp;</r>", "r.#text", ["ab<c>&"]),
        ('<r><a k="1">x</a><a k="2">y</a></r>', "r.a.#(@k==2)", ["y"]),
        ("<r><a><b>1</b></a><a><b>2</b></a></r>", "r.a.#(b==2).b", ["2"]),
        ("<r><v>2</v><v>1</v></r>", "r.v|@sort_n", ["1", "2"]),
        ("<r><v>2</v><v>1</v></r>", "r.v|@sum", ["3"]),
        ("<x:a>1</x:a>", "a", ["1"]),
        ("<r/>", "x", []),
    ],
)
def test_queries(doc, path, shown):
    for result in (get(doc, path), get_bytes(doc.encode(), path), get_buffer(bytearray(doc.encode()), path),
                   compile(path).get(doc)):
        assert result == shown


def test_ambiguity_is_a_value_error():
    with pytest.raises(ValueError) as info:
        get("<r><a>1</a><a>2</a></r>", "r.a.b")
    assert str(info.value) == AMBIGUOUS_A
    with pytest.raises(ValueError, match="path is ambiguous"):
        compile("r.a.b").get_buffer(b"<r><a/><a/></r>")


def test_argument_checks_and_messages():
    cases = [
        (lambda: get(b"<a>1</a>", "a"), TypeError, "argument 'data': 'bytes' object is not an instance of 'str'"),
        (lambda: get_bytes("<a>1</a>", "a"), TypeError, "argument 'data': 'str' object is not an instance of 'bytes'"),
        (lambda: get(None, "a"), TypeError, "argument 'data': 'None' is not an instance of 'str'"),
        (lambda: get("<a/>", compile("a")), TypeError, "argument 'path': 'Path' object is not an instance of 'str'"),
        (lambda: get(123, ""), TypeError, "argument 'data': 'int' object is not an instance of 'str'"),
        (lambda: get("<a/>", "a", None, 1), TypeError, "get() takes 3 positional arguments but 4 were given"),
        (lambda: get("<a/>", "a", "b"), TypeError, "argument 'namespaces': 'str' object is not an instance of 'dict'"),
        (lambda: get("<a/>"), TypeError, "get() missing 1 required positional argument: 'path'"),
        (lambda: get(), TypeError, "get() missing 2 required positional arguments: 'data' and 'path'"),
        (lambda: get("<a/>", "a", path="a"), TypeError, "get() got multiple values for argument 'path'"),
        (lambda: get(data="<a/>", path="a", x=1), TypeError, "get() got an unexpected keyword argument 'x'"),
        (lambda: parse("<a/>", 1), TypeError, "parse() takes 1 positional arguments but 2 were given"),
        (lambda: get_buffer("<a>1</a>", "a"), ValueError, BUFFER_REFUSED),
        (lambda: get_buffer(memoryview(b"<a>1</a>")[::2], "a"), ValueError, "buffer must be C-contiguous"),
        (lambda: get_buffer(123, "a"), ValueError, BUFFER_REFUSED),
        (lambda: compile("r.a").get(b"<r/>"), TypeError, "argument 'data': 'bytes' object is not an instance of 'str'"),
        (lambda: compile("r.a").get_buffer("<r/>"), ValueError, BUFFER_REFUSED),
        (lambda: compile("a").get(), TypeError, "Path.get() missing 1 required positional argument: 'data'"),
        (lambda: parse(5), ValueError, "data must be bytes, str, or a buffer-protocol object (mmap, bytearray)"),
        (lambda: get("<a/>", "a|"), ValueError, "modifier name is empty\n  in path: \"a|\"\n             ^"),
    ]
    for call, kind, message in cases:
        with pytest.raises(kind) as info:
            call()
        assert str(info.value) == message


def test_empty_path_answers_at_once():
    assert get("<not xml", "").exists() is False
    assert get_buffer(123, "").exists() is False
    assert get_bytes(b"", "") == []
    with pytest.raises(UnicodeEncodeError):
        get("<a>\ud800</a>", "a")


def test_signatures():
    assert str(inspect.signature(get)) == "(data, path, namespaces=None)"
    assert str(inspect.signature(parse)) == "(data)"
    assert str(inspect.signature(compile("a").get)) == "(data)"


def test_results_outlive_their_documents():
    doc = "".join(["<r>", "<a>kept</a>" * 3, "</r>"])
    result = get(doc, "r.a.1")
    del doc
    gc.collect()
    assert result.to_str() == "kept"

    data = bytearray(b"<r><a>1</a></r>")
    copied = get_buffer(data, "r.a")
    data[6] = ord("9")
    data.extend(b"more")  # no view is held
    assert copied.to_str() == "1"

    live = parse(data)
    assert live.to_str().startswith("<r><a>9")
    data[:] = b"<r>changed</r>"
    assert live.to_str() == "changed"


def test_parse_reads_nothing_until_used():
    assert isinstance(parse("<a>"), Result)
    assert parse(b"<?xml version='1.0'?><!--c--><root><x/></root>").type_ is dict
    assert parse("<root>text</root>").to_str() == "text"
    assert parse(memoryview(b"<a>1</a>").cast("B", [2, 4])).to_int() == 1


def test_parse_of_a_closed_mmap(tmp_path):
    import mmap

    path = tmp_path / "doc.xml"
    path.write_bytes(b"<a><b>1</b></a>")
    with open(path, "r+b") as f:
        m = mmap.mmap(f.fileno(), 0)
    result = parse(m)
    assert result.type_ is dict
    m.close()
    with pytest.raises(ValueError) as info:
        result.to_str()
    assert str(info.value) == "data must be bytes, str, or a buffer-protocol object (mmap, bytearray)"
    assert result.exists() is True  # never reads


def test_deep_documents():
    depth = 1_000_000
    doc = "<e>" * depth + "<target>x</target>" + "</e>" * depth
    assert get(doc, "**.target") == ["x"]
    assert get(doc, "e.#text").to_str() == "x"
    whole = parse(doc)
    assert whole.to_str() == doc
    assert whole.type_ is dict
    assert whole.to_float() == 0.0
    assert list(whole.value) == ["e"]


def test_random_documents_and_paths_never_crash():
    import random

    rng = random.Random(2026)
    sample = (b'<?xml version="1.0"?><c xmlns:p="u"><b id="1" l=\'de\'><p:t>A &amp; B</p:t>'
              b"<v>10.5</v></b><b id=\"2\"><t><![CDATA[<x>]]></t><e/></b><!-- c --></c>")
    paths = ["c.b.#.p:t", "c.b.1", "**.t", "**.b.@id", "c.b.#.#text", "c.b.#(@id==2)#.t",
             "c.b.#(v>5)", "c.b.#(t%'A*')#.@l", "c.*.#(.!='x').e", "c.b|@sort|@unique",
             "c.b.#.v|@sum", "c.b|@first", "c.b.#", "@id", "#text", "c"]
    for _ in range(300):
        doc = bytearray(sample)
        for _ in range(rng.randrange(1, 5)):
            doc[rng.randrange(len(doc))] = rng.choice(b"<>/!?-[]\"'=&; \xff\xc3ab")
        doc = bytes(doc[: rng.randrange(len(doc) + 1)])
        for path in paths:
            try:
                results = [get_bytes(doc, path), get_buffer(doc, path), parse(doc)]
            except ValueError as error:  # a mutation can make a name repeat
                assert str(error).startswith("path is ambiguous")
                continue
            for result in results:
                result.exists(), result.to_int(), result.to_float(), result.to_bool()
                for operation in (str, repr, lambda r: r.to_str(), lambda r: r.value,
                                  lambda r: r.type_, lambda r: r == "x", lambda r: r == r):
                    try:
                        operation(result)
                    except ValueError as error:  # text that is not UTF-8
                        assert "utf-8" in str(error)
