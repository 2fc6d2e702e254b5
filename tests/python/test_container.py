"""Result as a container: len, truth, subscription, iteration, nested queries, views."""

import time

import pytest

import quorbix
from quorbix import (Result, ResultCharIter, ResultChildIter, ResultChildItemIter,
                     ResultChildKeyIter, ResultChildValueIter, ResultItemIter, compile, get,
                     get_buffer, get_bytes, parse)

from workers import run_in_threads

RAB = "<x><r><a>1</a><b/><a>2</a></r></x>"
OUT_OF_RANGE = "Result index out of range"
BAD_KEY = "Result indices must be integers, slices, or strings"


def string_keys_message(mode):
    return f"string keys are only valid on dict-like Result; this Result is {mode}"


def test_all_lists_30_names_in_order():
    assert quorbix.__all__ == [
        "get", "get_bytes", "get_buffer", "get_many", "get_many_bytes", "get_many_buffer", "parse",
        "compile", "validate", "Path", "Table", "Result", "ResultCharIter", "ResultItemIter",
        "ResultChildKeyIter", "ResultChildValueIter", "ResultChildItemIter", "ResultChildIter",
        "ResultKeysView", "ResultValuesView", "ResultItemsView", "ResultChildrenView",
        "records", "read_xml", "table", "stream", "stream_records", "validation_report",
        "ValidationProblem", "MalformedError"]
    for name in quorbix.__all__[9:22]:
        cls = getattr(quorbix, name)
        assert cls.__module__ == "quorbix._quorbix"
        with pytest.raises(TypeError):
            cls()
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})


def test_len_and_truth():
    assert len(get("<r/>", "x")) == 0 and not get("<r/>", "x")
    assert len(get(RAB, "x.r")) == 1 and get(RAB, "x.r")
    assert len(get("<a>hello</a>", "a")) == 1
    assert len(get(RAB, "x.r.a")) == 2 and get(RAB, "x.r.a")
    for text, truth in (("0", False), ("", False), ("abc", True), ("0.0", False), ("2", True)):
        assert bool(get(f"<a>{text}</a>", "a")) is truth, text


def test_scalar_subscription_by_code_point():
    r = get("<a>héllo</a>", "a")
    assert (r[1], r[-1], r[1:3], r[::-1]) == ("é", "o", "él", "olléh")
    with pytest.raises(IndexError, match=OUT_OF_RANGE):
        r[5]
    with pytest.raises(IndexError, match=OUT_OF_RANGE):
        r[-6]
    with pytest.raises(TypeError) as info:
        r["x"]
    assert str(info.value) == string_keys_message("scalar")
    with pytest.raises(ValueError):
        r[::0]
    assert r[True] == "é"
    bad = get_bytes(b"<a><![CDATA[ab\xffc]]></a>", "a")  # undecodable bytes read as U+FFFD
    assert (bad[2], bad[3], len(bad.to_str())) == ("\ufffd", "c", 4)


def test_dict_subscription_by_child_name():
    r = get(RAB, "x.r")
    assert r["a"] == ["1", "2"] and len(r["a"]) == 2
    assert r["b"].to_str() == "" and r["b"].type_ is str
    with pytest.raises(KeyError) as info:
        r["c"]
    assert info.value.args == ("c",)
    with pytest.raises(KeyError) as info:
        r[0]
    assert info.value.args == (0,)
    with pytest.raises(KeyError) as info:
        r[0:1]
    assert info.value.args == ("slice keys are not supported on dict-like Result",)
    assert list(r) == ["a", "b"] and "a" in r and "c" not in r
    prefixed = get("<x><r><ns:a/><b/></r></x>", "x.r")
    assert prefixed["ns:a"].exists()
    with pytest.raises(KeyError):
        prefixed["a"]


def test_multi_and_empty_subscription():
    m = get("<r><a>1</a><a>2</a><a>3</a></r>", "r.a")
    assert m[-1] == "3" and len(m[-1]) == 1
    assert m[::2] == ["1", "3"] and m[::-1] == ["3", "2", "1"] and len(m[5:]) == 0
    with pytest.raises(IndexError, match=OUT_OF_RANGE):
        m[3]
    with pytest.raises(TypeError) as info:
        m["a"]
    assert str(info.value) == string_keys_message("multi")
    e = get("<r/>", "x")
    with pytest.raises(IndexError, match=OUT_OF_RANGE):
        e[0]
    assert len(e[:]) == 0 and len(e[::0]) == 0
    with pytest.raises(TypeError) as info:
        e["a"]
    assert str(info.value) == string_keys_message("empty")
    for key in (1.0, None, 2**70, "a".encode()):
        with pytest.raises(TypeError) as info:
            m[key]
        assert str(info.value) == BAD_KEY


def test_iteration_by_mode():
    assert list(get("<r/>", "x")) == []
    chars = iter(get("<a>aé€😀</a>", "a"))
    assert isinstance(chars, ResultCharIter) and list(chars) == ["a", "é", "€", "😀"]
    assert list(chars) == []  # exhausted stays exhausted
    items = iter(get("<r><a>1</a><a>2</a></r>", "r.a"))
    assert isinstance(items, ResultItemIter) and iter(items) is items
    assert [r.to_int() for r in items] == [1, 2] and next(items, None) is None
    keys = iter(get(RAB, "x.r"))
    assert isinstance(keys, ResultChildKeyIter) and list(keys) == ["a", "b"]
    assert "ab" not in get("<a>ab</a>", "a")


def test_char_iteration_is_linear_and_never_raises_on_bad_bytes():
    text = "é" * 5_000_000  # 10 MB of UTF-8
    start = time.perf_counter()
    assert sum(1 for _ in get(f"<a>{text}</a>", "a")) == 5_000_000
    # Quadratic would take hours; the bound is loose, as a sanitized build on a
    # busy machine takes seconds.
    assert time.perf_counter() - start < 60
    assert list(get_bytes(b"<a><![CDATA[ab\xe2\x82]]></a>", "a")) == ["a", "b", "\ufffd"]


def test_nested_get():
    doc = '<root id="7"><a>1</a><a>2</a><b><c>x</c></b></root>'
    assert parse(doc).get("root.a") == get(doc, "root.a")
    e = get(doc, "root")
    assert e.get("a") == ["1", "2"] and e.get("@id").to_int() == 7 and e.get("#text") == "12x"
    assert e.get("b.c") == "x" and e.get("b").get("c") == "x"
    assert e.get("a|@count").to_int() == 2 and len(e.get("")) == 0
    with pytest.raises(ValueError, match="@ must be followed by an attribute name"):
        get(doc, "nothing").get("@")
    assert len(get("<a k='1'/>", "a.@k").get("x")) == 0
    assert get("<r><a k='1'/></r>", "r.a").get("@k") == "1"
    with pytest.raises(ValueError) as info:
        e.get("a.z")
    assert str(info.value).startswith("path is ambiguous: a matches")
    with pytest.raises(ValueError) as info:
        get(doc, "root.a").get("x")
    assert str(info.value) == ("Result.get(path) is not supported on a multi-element Result; "
                               "iterate the Result or pick an index first")
    with pytest.raises(TypeError) as info:
        e.get(compile("a"))
    assert str(info.value) == "argument 'path': 'Path' object is not an instance of 'str'"
    with pytest.raises(TypeError, match=r"Result.get\(\) missing 1 required positional argument"):
        e.get()
    assert e.get(path="b.c") == "x"


def test_nested_get_many():
    e = get("<r><a>1</a><b>2</b><a>3</a></r>", "r")
    a, empty, b = e.get_many(["a", "", compile("b")])
    assert a == ["1", "3"] and len(empty) == 0 and b == "2"
    with pytest.raises(TypeError) as info:
        e.get_many(("a",))
    assert str(info.value) == "argument 'paths': 'tuple' object is not an instance of 'list'"
    with pytest.raises(TypeError) as info:
        e.get_many([1])
    assert str(info.value) == "paths must be a list of str or quorbix.Path"
    with pytest.raises(ValueError) as info:
        get("<r><a/><a/></r>", "r.a").get_many([1])  # before the entries are looked at
    assert str(info.value).startswith("Result.get_many(paths) is not supported on a multi")
    assert [len(r) for r in get("<r/>", "x").get_many(["a", "b"])] == [0, 0]
    assert parse("<r><a>1</a></r>").get_many(["r.a"])[0] == "1"


def test_views():
    r = get("<x><r><a>1</a><b>2</b><a>3</a></r></x>", "x.r")
    assert list(r.keys()) == ["a", "b"] and list(r.keys()) == ["a", "b"]  # re-iterable
    assert len(r.keys()) == len(r.values()) == len(r.items()) == 2 and len(r.children()) == 3
    assert [len(v) for v in r.values()] == [2, 1]
    assert [k for k, v in r.items()] == ["a", "b"]
    assert [(k, v.to_str()) for k, v in r.children()] == [("a", "1"), ("b", "2"), ("a", "3")]
    assert repr(r.keys()) == 'result_keys(["a", "b"])'
    assert (repr(r.values()), repr(r.items()), repr(r.children())) == (
        "result_values([...])", "result_items([...])", "result_children([...])")
    assert "a" in r.keys() and "c" not in r.keys() and 1 not in r.keys()
    assert ("a", r["a"]) not in r.items() or True  # membership by iteration, no error
    assert dict(r.items())["a"] == ["1", "3"]
    for iterator, cls in ((iter(r.values()), ResultChildValueIter),
                          (iter(r.items()), ResultChildItemIter),
                          (iter(r.children()), ResultChildIter)):
        assert isinstance(iterator, cls) and iter(iterator) is iterator
        assert len(list(iterator)) > 0 and list(iterator) == []
    for method in ("keys", "values", "items", "children"):
        for result, mode in ((get("<r/>", "x"), "empty"), (get("<a>1</a>", "a"), "scalar"),
                             (r["a"], "multi")):
            with pytest.raises(TypeError) as info:
                getattr(result, method)()
            assert str(info.value) == (f"Result.{method}() requires a dict-like Result "
                                       f"(single element with children); got {mode}")
    escaped = get("<x><r><a\\b/><c\u0301/></r></x>", "x.r")
    assert repr(escaped.keys()) == 'result_keys(["a\\\\b", "c\\u{301}"])'
    assert Result.keys.__doc__.startswith("Return a view of the dict-mode Result's child element keys")


def test_views_over_a_changed_buffer_fail_cleanly():
    data = bytearray(b"<r><a>1</a><b>2</b></r>")
    r = parse(data)
    keys, values = r.keys(), iter(r.values())
    data[:] = b"<r/>"
    with pytest.raises(BaseException) as info:
        len(keys)
    assert type(info.value).__name__ == "InternalError"
    assert str(info.value).startswith("DictElement mode implies element bytes are available")
    assert not isinstance(info.value, Exception)
    assert [v.to_str() for v in values] == ["1", "2"]  # iterators own their copy
    data.clear()
    with pytest.raises(BaseException):
        list(keys)


def test_lookups_by_name_after_the_first():
    doc = "<x><r><a>1</a><b/><a>2</a><ns:c>3</ns:c></r></x>"
    for r in (get(doc, "x.r"), get_bytes(doc.encode(), "x.r"), get_buffer(bytearray(doc.encode()), "x.r"),
              parse(doc.encode()).get("x.r"), parse(doc.encode("utf-16"))["r"]):
        for _ in range(2):  # the second round reads the children kept by the first
            assert r["a"] == ["1", "2"] and r["b"].to_str() == "" and r["ns:c"] == "3"
            assert "a" in r.keys() and "ns:c" in r.keys() and "c" not in r.keys() and 1 not in r.keys()
            assert (len(r.keys()), len(r.children()), list(r.keys())) == (3, 4, ["a", "b", "ns:c"])
            with pytest.raises(KeyError) as info:
                r["c"]
            assert info.value.args == ("c",)
    whole = parse(b"<r><a>1</a><a>2</a></r>")  # the document reads as its root element
    assert whole["a"] == ["1", "2"] and whole["a"] == ["1", "2"] and "a" in whole.keys()


def test_lookups_in_a_changed_buffer_read_it_afresh():
    data = bytearray(b"<r><a>1</a><b>2</b></r>")
    r = parse(data)
    keys = r.keys()
    assert r["a"] == "1" and "a" in keys and len(keys) == 2
    data[:] = b"<r><a>9</a><c>3</c><c>4</c></r>"
    assert r["a"] == "9" and r["c"] == ["3", "4"] and "c" in keys and "b" not in keys
    with pytest.raises(KeyError):
        r["b"]
    data[:] = b"<q><z>1</z></q>"
    assert r["z"] == "1" and list(keys) == ["z"]


def test_threads_share_a_result_for_lookups():
    # Big enough that reading the children gives the interpreter lock up, so
    # the threads' first lookups overlap.
    names = [f"c{i % 700}" for i in range(7000)]
    doc = "<r>" + "".join(f"<{n}>{i}</{n}>" for i, n in enumerate(names)) + "</r>"
    for _ in range(3):
        shared, failures = get(doc, "r"), []

        def look(t):
            for i in range(t, 7000, 97):
                found = shared[names[i]]
                if len(found) != 10 or found[i // 700].to_str() != str(i) or names[i] not in shared.keys():
                    failures.append(i)
        run_in_threads(look)
        assert failures == []


def test_legacy_encodings_through_nested_reads():
    data = '<?xml version="1.0" encoding="windows-1251"?><r><имя к="д">Привет</имя></r>'
    for r in (get_bytes(data.encode("cp1251"), "r"), get_buffer(bytearray(data.encode("cp1251")), "r"),
              parse(data.encode("cp1251")).get("r")):
        assert r["имя"].to_str() == "Привет" and r.get("имя.@к") == "д"
        assert list(r.keys()) == ["имя"] and [k for k, v in r.items()] == ["имя"]
        assert [v.to_str() for v in r.values()] == ["Привет"]
        assert r.get_many(["имя.#text"])[0] == "Привет"
        assert list(r["имя"]) == list("Привет")


def test_deep_nesting_needs_no_recursion():
    depth = 1_000_000
    doc = "<r>" + "<a>" * depth + "x" + "</a>" * depth + "</r>"
    r = get(doc, "r")
    assert list(r.keys()) == ["a"] and len(r.children()) == 1
    assert r["a"].get("**.a|@count").to_int() == 1
    assert r.get("a.a.a").exists()
    assert r.get_many(["**.a", "a.a"])[1].exists()
