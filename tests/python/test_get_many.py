"""Many paths in one pass: get_many, get_many_bytes and get_many_buffer."""

import random
from pathlib import Path

import pytest

from quorbix import compile, get, get_buffer, get_bytes, get_many, get_many_buffer, get_many_bytes

EXAMPLE = (Path(__file__).resolve().parents[2] / "examples" / "catalog.xml").read_text()
AMBIGUOUS_A = ("path is ambiguous: a matches multiple elements but the path continues; "
               "specify .N (single) or .# (each)")
BUFFER_REFUSED = "data must be a buffer-protocol object (mmap, bytearray, memoryview)"
ENTRY_REFUSED = "paths must be a list of str or quorbix.Path"
MANY = {
    "str": lambda doc, paths: get_many(doc, paths),
    "bytes": lambda doc, paths: get_many_bytes(doc.encode(), paths),
    "buffer": lambda doc, paths: get_many_buffer(bytearray(doc.encode()), paths),
}


@pytest.mark.parametrize("many", MANY.values(), ids=MANY.keys())
def test_one_list_per_path_in_the_callers_order(many):
    doc = "<r><a>1</a><b>2</b></r>"
    assert many(doc, ["r.a", "r.b"]) == [["1"], ["2"]]
    assert many(doc, ["r.b", "r.a"]) == [["2"], ["1"]]
    assert [r.exists() for r in many(doc, ["r.a", "r.x"])] == [True, False]
    b, empty, a = many(doc, ["r.b", "", compile("r.a")])
    assert (b.to_str(), empty.exists(), a.to_str()) == ("2", False, "1")
    assert many(doc, []) == []
    three = "<r><a>1</a><a>2</a><a>3</a></r>"
    first, count, dup = many(three, ["r.a.0", "r.a.#", "r.a.0"])
    assert (first.to_str(), count.to_int(), dup.to_str()) == ("1", 3, "1")
    assert many(three, ["r.a|@first", "r.a|@count"])[0].to_str() == "1"


def test_ambiguity_in_any_path_fails_the_call():
    with pytest.raises(ValueError) as info:
        get_many("<r><a>1</a><a>2</a><b/></r>", ["r.b", "r.a.b"])
    assert str(info.value) == AMBIGUOUS_A


def test_checks_and_their_order():
    with pytest.raises(TypeError, match="argument 'data': 'bytes' object is not an instance of 'str'"):
        get_many(b"<r/>", ["a"])
    with pytest.raises(TypeError, match="argument 'data': 'str' object is not an instance of 'bytes'"):
        get_many_bytes("<r/>", ["a"])
    with pytest.raises(TypeError) as info:
        get_many("<r/>", ("a",))
    assert str(info.value) == "argument 'paths': 'tuple' object is not an instance of 'list'"
    for entries in (["a", 5], [b"a"], ["a", "\ud800"]):
        with pytest.raises(TypeError) as info:
            get_many("<r/>", entries)
        assert str(info.value) == ENTRY_REFUSED
    # entries are converted before the document is looked at
    with pytest.raises(TypeError) as info:
        get_many_buffer(123, [5])
    assert str(info.value) == ENTRY_REFUSED
    assert [r.exists() for r in get_many_buffer(123, ["", ""])] == [False, False]
    with pytest.raises(ValueError) as info:
        get_many_buffer(123, ["a"])
    assert str(info.value) == BUFFER_REFUSED
    with pytest.raises(ValueError, match="filter expression missing operator: x"):
        get_many("<r/>", ["r", "a#(x)"])
    with pytest.raises(TypeError, match=r"get_many\(\) missing 1 required positional argument: 'paths'"):
        get_many("<r/>")
    with pytest.raises(TypeError, match=r"get_many_bytes\(\) got an unexpected keyword argument 'x'"):
        get_many_bytes(data=b"", paths=[], x=1)
    assert get_many(paths=["a"], data="<a>1</a>")[0].to_int() == 1


def test_signatures_and_all():
    import quorbix
    assert quorbix.__all__[:9] == ["get", "get_bytes", "get_buffer", "get_many", "get_many_bytes",
                                   "get_many_buffer", "parse", "compile", "validate"]
    assert get_many.__text_signature__ == "(data, paths, namespaces=None)"
    assert get_many_buffer.__text_signature__ == "(data, paths, namespaces=None)"


def test_list_subclasses_and_path_objects_are_shared():
    class Paths(list):
        pass

    path = compile("r.a")
    assert get_many("<r><a>1</a></r>", Paths([path, path]))[1].to_int() == 1


def test_results_own_or_refer_as_their_mode_says():
    data = bytearray(b"<r><a>1</a><b>2</b></r>")
    a, b = get_many_buffer(data, ["r.a", "r.b"])
    data[:] = b"<r/>"  # no view is held: the buffer may change
    assert (a.to_str(), b.to_str()) == ("1", "2")
    doc = "<r><a><x>1</x></a></r>"
    found = get_many(doc, ["r.a"])[0]
    del doc
    assert found.value["x"] == "1"


def test_texts_for_paths_whose_modifiers_read_texts():
    doc = "<r><a><x>2</x></a><a><x>1</x></a></r>"
    assert get_many(doc, ["r.a|@first"])[0].value == 2  # the first a's text, not the element
    assert get(doc, "r.a|@first").value == {"x": get(doc, "r.a.0.x")}
    assert get_many(doc, ["r.a|@sort"])[0] == ["1", "2"]
    assert get_many(doc, ["r.a.#.x|@sum", "r.a|@count"])[0].to_int() == 3


def test_early_stop_when_every_path_answered_first():
    # Everything after the first answers is malformed: it is never read.
    doc = "<r><a>1</a><b>2</b>" + "<c><" * 1000
    assert get_many(doc, ["r.a|@first", "r.b|@first"]) == [["1"], ["2"]]


def test_deep_documents_need_no_recursion():
    depth = 1_000_000
    doc = "<x>" * depth + "<y>1</y>" + "</x>" * depth
    x, y = get_many(doc, ["**.x", "**.y"])
    assert y.to_int() == 1
    assert x.to_str().startswith("<x><x>")
    assert get_many_bytes(doc.encode(), ["**.y|@count", "**.y"])[0].to_int() == 1


# One path through get_many answers as get does: a property over generated
# paths and real-shaped documents. Paths whose modifiers make get_many record
# the texts of element matches (|@first, |@sort ... on elements) answer with
# those texts by design, and are left out here.

NAMES = ["catalog", "book", "dc:title", "title", "author", "price", "tag", "note", "r", "a",
         "b", "c", "x", "*", "b??k", "t*"]
SELECTORS = ["", "", "", ".0", ".1", ".#", ".#", "#(price>10)", "#(price>10)#",
             "#(@lang=='en')#", "#(tag%'f*')", "#(.!=x)#", "#(b.c==1)#"]
TERMINALS = ["", "", "", ".@id", ".@lang", ".#text", ".@k"]
MODIFIERS = ["", "", "", "|@count", "|@first", "|@sort", "|@reverse", "|@sum", "|@unique",
             "|@last|@count", "|@reverse|@first"]


def random_path(rng):
    steps = []
    for _ in range(rng.randint(1, 4)):
        step = rng.choice(NAMES)
        if rng.random() < 0.15:
            steps.append("**." + step)
        else:
            steps.append(step + rng.choice(SELECTORS))
    return ".".join(steps) + rng.choice(TERMINALS) + rng.choice(MODIFIERS)


def nested(depth):
    return "<r>" + "<a k='1'><b><c>1</c></b>" * depth + "<x/>" + "</a>" * depth + "</r>"


DOCUMENTS = [
    EXAMPLE,
    "<r><a k='1'>x<b>1</b></a><a k='2'><b><c>1</c></b><b/></a><c/><a>y</a></r>",
    "<r><x><a>1</a></x><y><a>2</a><a><a>3</a></a></y><b k='1'/><b k='2'>t</b></r>",
    "<r><a>1</a><b></r>",  # malformed
    nested(500),
]


def outcome(call):
    try:
        r = call()
    except ValueError as e:
        return ("error", str(e))
    try:
        text = r.to_str()
    except ValueError as e:
        text = ("error", str(e))
    return (r.type_, repr(r), text)


def records_texts(path):
    compiled_modifiers = path.split("|")[1:]
    if not compiled_modifiers or "@count" in compiled_modifiers:
        return False
    body = path.split("|")[0]
    last = body.rsplit(".", 1)[-1]
    return not (last.startswith("@") or last == "#text" or last.isdigit() or last == "#")


def test_one_path_in_get_many_answers_as_get():
    rng = random.Random(2026)
    checked = 0
    for _ in range(1500):
        path = random_path(rng)
        if records_texts(path):
            continue
        for doc in DOCUMENTS:
            data = doc.encode()
            assert outcome(lambda: get_many(doc, [path])[0]) == outcome(lambda: get(doc, path)), path
            assert (outcome(lambda: get_many_bytes(data, [path])[0])
                    == outcome(lambda: get_bytes(data, path))), path
            assert (outcome(lambda: get_many_buffer(bytearray(data), [path])[0])
                    == outcome(lambda: get_buffer(bytearray(data), path))), path
            checked += 1
    assert checked > 2000


def test_paths_answer_together_as_they_do_alone():
    rng = random.Random(7)
    for _ in range(300):
        paths = [random_path(rng) for _ in range(rng.randint(2, 6))]
        for doc in DOCUMENTS[:4]:
            alone = [outcome(lambda p=p: get_many(doc, [p])[0]) for p in paths]
            if any(o[0] == "error" for o in alone):
                continue
            together = get_many(doc, paths)
            assert [outcome(lambda r=r: r) for r in together] == alone, paths
