"""The Result: modes, conversions, repr and equality."""

import math

import pytest

from quorbix import Result, get, get_bytes, parse

TYPE_DOC = (
    "Return the Python type that best describes the value held by this Result:\n"
    "  - `None`  when the Result is empty (no match)\n"
    "  - `int`   for a single numeric value parseable as integer\n"
    "  - `float` for a single numeric value parseable as float\n"
    "  - `str`   for a single scalar or a text-only element\n"
    "  - `list`  when multiple items are present\n"
    "  - `dict`  for a single element that has child elements"
)
VALUE_DOC = (
    "Return the value held by this Result in its natural Python type:\n"
    "  - `None`          when the Result is empty\n"
    "  - `int` / `float` for numeric scalars\n"
    "  - `str`           for text scalars\n"
    "  - `list[Result]`  for multiple items\n"
    "  - `dict[str, Result]` for an element with child elements"
)


def one(text):
    """A one-element Result whose text is `text`."""
    return get("<a>" + text + "</a>", "a")


def test_class_documentation():
    # It names the functions that make a Result, as they are called.
    assert Result.__doc__.startswith("The matches of a query.") and "py_get" not in Result.__doc__
    assert Result.type_.__doc__ == TYPE_DOC
    assert Result.value.__doc__ == VALUE_DOC
    assert Result.to_int.__text_signature__ == "($self)"
    with pytest.raises(TypeError):
        Result()


@pytest.mark.parametrize(
    "text, to_int, to_float",
    [(" 42 ", 42, 42.0), ("3.99", 3, 3.99), ("-3.99", -3, -3.99), ("1e3", 1000, 1000.0),
     ("99999999999999999999", 9223372036854775807, 1e20), ("abc", 0, 0.0), ("", 0, 0.0),
     ("inf", 9223372036854775807, math.inf), ("-inf", -9223372036854775808, -math.inf)],
)
def test_numbers(text, to_int, to_float):
    assert one(text).to_int() == to_int
    assert one(text).to_float() == to_float


def test_nan_and_invalid_utf8():
    assert math.isnan(one("nan").to_float())
    # Bytes that are not UTF-8 read as U+FFFD, as Python's own "replace" reads them.
    for raw in (b"\xff\xfe", b"ok\xe2\x82", b"\xf0\x9f\x92x", b"\xed\xa0\x80", b"\xc0\xaf"):
        bad = get_bytes(b"<r a='" + raw + b"'><b>" + raw + b"</b></r>", "r")
        want = raw.decode("utf-8", "replace")
        assert bad.get("@a").to_str() == want and bad.get("b").value == want
        assert bad.get("@a").type_ is str and bad.get("@a").to_int() == 0
        assert repr(bad.get("b")) == want


@pytest.mark.parametrize(
    "text, truth",
    [("1", True), ("true", True), ('"T"', True), ('"TRUE"', True), ("0", False), ("false", False),
     ('"False"', False), ("0.0", False), ("0.9", False), ("1.1", True), ("2", True), ("-1", True),
     (" 1 ", True), (" true ", False), ("yes", False), ("True", False), ("", False)],
)
def test_to_bool(text, truth):
    assert one(text).to_bool() is truth


def test_scalar_typing():
    r = one(" 42 ")
    assert (r.to_str(), r.type_, r.value, r.to_bool()) == ("42", int, 42, True)
    big = one("9223372036854775808")
    assert (big.to_int(), big.type_, big.value) == (9223372036854775807, float, 9.223372036854776e18)
    assert one("inf").type_ is float
    assert [one(t).type_ for t in ("0x10", "1_000", "", "nan")] == [str, str, str, float]
    assert one("007").value == 7 and repr(one("007")) == "7"


def test_dict_element():
    r = get("<r><a><b>1</b><b>2</b><c>3</c></a></r>", "r.a")
    assert r.to_int() == 123
    assert r.to_bool() is True
    assert r.type_ is dict
    value = r.value
    assert list(value) == ["b", "c"]
    assert value["b"] == ["1", "2"] and value["c"] == ["3"]
    assert r.to_str() == "<a><b>1</b><b>2</b><c>3</c></a>"
    assert repr(r) == "<Result type=dict, keys=[b, c]>"


def test_multi():
    r = get("<r><a><b>1</b><b>2</b><c>3</c></a></r>", "r.a.b")
    assert r.to_str() == "<b>1</b>\n<b>2</b>"
    assert r.to_int() == 1
    assert r.type_ is list
    assert [item.to_str() for item in r.value] == ["1", "2"]
    assert repr(r) == "<Result type=list, value=[1, 2]>"
    three = get("<r><v>1</v><v>2</v><v>3</v></r>", "r.v")
    assert repr(three) == "<Result type=list, value=[1, 2, ...]>"
    dicts = get("<r><v><x/></v><v><y/><z/><w/></v></r>", "r.v")
    assert repr(dicts) == "<Result type=list, value=[<Result type=dict, keys=[x]>, <Result type=dict, keys=[y, z, ...]>]>"
    mixed = get_bytes(b"<r><v>\xff</v><v>x</v></r>", "r.v")
    assert mixed.to_str() == "<v>\ufffd</v>\n<v>x</v>"


def test_empty():
    r = get("<r/>", "x")
    assert (r.exists(), r.to_int(), r.to_float(), r.to_bool(), r.to_str()) == (False, 0, 0.0, False, "")
    assert r.type_ is None and r.value is None and repr(r) == "None"
    with pytest.raises(TypeError):
        int(r)


def test_modes():
    assert get("<a>hello</a>", "a").type_ is str
    assert get("<a>x<b>y</b>z</a>", "a").type_ is dict
    assert get("<r><a/></r>", "r.a").to_str() == ""
    assert get("<a><!--c--><?p x?></a>", "a").type_ is str
    assert get("<r><a/><a/></r>", "r.a").type_ is list
    assert get("<r><a k='1'/><a k='2'/></r>", "r.a.#.@k").type_ is list


def test_number_protocol():
    assert int(one("12")) == 12
    assert int(one("3.7")) == 3
    assert float(one("2")) == 2.0
    with pytest.raises(ValueError):
        int(one("abc"))
    with pytest.raises(OverflowError):
        int(one("1e30"))
    with pytest.raises(TypeError):
        int(get("<r><a>1</a><a>2</a></r>", "r.a"))



BULK_DOCUMENT = (
    b"<r><p>1.5</p><p> 2 </p><p>&#51;.25&amp;</p><p><![CDATA[ 4 ]]></p><p>7<!--c-->8</p>"
    b"<p><x>5</x> <y a='1'/></p><p a=' 6 &lt; '/><p/><p>nan</p><p>1e400</p><p>-99999999999999999999</p>"
    b"<p>a\r\nb</p><p>\xc3\xa9</p><p>\xff</p></r>"
)
LATIN = "<?xml version='1.0' encoding='ISO-8859-1'?><r><p>\xe9</p><p a='\xe8'>3</p><p><q>\xe0</q></p></r>"


def matches(result):
    """Each match as a Result of its own, as a loop over a list-like Result meets them."""
    if result.type_ is list:
        return list(result)
    return [result] if result.exists() else []


@pytest.mark.parametrize(
    "result",
    [get_bytes(BULK_DOCUMENT, path) for path in ("r.p", "r.p.#", "r.p.#.@a", "r.p|@reverse", "r.p.0",
                                                  "r.p.1", "r.q", "r.p.#(@a==\" 6 < \")#", "**.p|@count")]
    + [get(BULK_DOCUMENT.decode("utf-8", "replace"), "r.p"), get_bytes(LATIN.encode("latin-1"), "r.p"),
       get_bytes(LATIN.encode("latin-1"), "r.p.#.@a"), get_bytes(b"<r><p>1</p><p>2", "r.p"),
       get_bytes("<r><p>\u00e9 1</p><p>2</p></r>".encode("utf-16"), "r.p"),
       get_bytes(BULK_DOCUMENT, "r").get("p"), parse(b"<r>3</r>")],
)
def test_bulk_conversions_equal_each_match_converted(result):
    each = matches(result)
    assert result.to_strs() == [m.to_str() for m in each]
    assert result.to_ints() == [m.to_int() for m in each]
    # repr, so that a NaN equals a NaN
    assert repr(result.to_floats()) == repr([m.to_float() for m in each])
    # On a list-like Result the items of `value` convert as its loop's do.
    if result.type_ is list:
        assert result.to_strs() == [m.to_str() for m in result.value]


def test_bulk_conversions_of_a_scalar_answer():
    counted = get("<r><p>1</p><p>2</p></r>", "r.p|@count")
    assert (counted.to_ints(), counted.to_floats(), counted.to_strs()) == ([2], [2.0], ["2"])
    assert get("<r/>", "r.p.#.q").to_floats() == [] and get("<r/>", "x").to_strs() == []

def test_repr_of_dict_keys():
    assert repr(get("<r><a/><b/><a/></r>", "r")) == "<Result type=dict, keys=[a, b]>"
    assert repr(get("<r><a/><b/><c/></r>", "r")) == "<Result type=dict, keys=[a, b, ...]>"
    assert repr(get("<a>hi</a>", "a")) == "hi"
    assert str(get("<a>hi</a>", "a")) == "hi"


def test_equality():
    xy = get("<r><v>x</v><v>y</v></r>", "r.v")
    assert xy == get("<r><w>x</w><w>y</w></r>", "r.w")
    assert xy == ["x", "y"]
    assert xy != ["x"] and xy != ["x", 1]
    assert xy == "x"
    empty = get("<r/>", "x")
    assert empty == get("<r/>", "y") and empty == [] and empty != ""
    assert get("<a><b>x</b></a>", "a") == get("<c>x</c>", "c")
    assert one("42") != 42 and one("42") == "42"
    assert one("x") != None  # noqa: E711
    with pytest.raises(TypeError):
        one("x") < one("x")
    with pytest.raises(TypeError):
        {one("x")}
    bad = get_bytes(b"<r a='\xff'/>", "r.@a")
    assert bad != "x" and bad == bad and bad == "\ufffd" and bad == ["\ufffd"]
