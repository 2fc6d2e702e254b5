"""A path that goes on from each match (`#`, `#(...)#`) answers a list, whatever its count:
a loop over a feed of one item meets that item, not the letters of its title."""

import pytest

import quorbix

TITLES = {0: [], 1: ["Hello"], 2: ["Hello", "World"]}
PATH = "rss.channel.item.#.title"


def feed(count):
    items = "".join(f"<item><title>{t}</title><n>{i}</n></item>" for i, t in
                    enumerate(TITLES[count]))
    return f"<rss><channel>{items}</channel></rss>"


def roads(doc):
    """The answer of PATH over `doc` on every road a user may take."""
    data = doc.encode()
    path = quorbix.compile(PATH)
    channel = quorbix.get(doc, "rss.channel")
    return {
        "get": quorbix.get(doc, PATH),
        "get_bytes": quorbix.get_bytes(data, PATH),
        "get_buffer": quorbix.get_buffer(bytearray(data), PATH),
        "get_many": quorbix.get_many(doc, [PATH, "rss"])[0],
        "get_many_bytes": quorbix.get_many_bytes(data, [path])[0],
        "get_many_buffer": quorbix.get_many_buffer(memoryview(data), [PATH])[0],
        "Path.get": path.get(doc),
        "Path.get_bytes": path.get_bytes(data),
        "Path.get_buffer": path.get_buffer(bytearray(data)),
        "parse.get": quorbix.parse(doc).get(PATH),
        "parse.get_many": quorbix.parse(data).get_many([PATH])[0],
        "Result.get": channel.get("item.#.title"),
        "Result.get_many": channel.get_many(["item.#.title"])[0],
    }


@pytest.mark.parametrize("count", [0, 1, 2])
def test_every_road_answers_a_list_of_any_count(count):
    titles = TITLES[count]
    for road, r in roads(feed(count)).items():
        shown = f"<Result type=list, value=[{', '.join(titles)}]>"
        assert [t.to_str() for t in r] == titles, road
        assert (len(r), bool(r), r.type_, repr(r)) == (count, count > 0, list, shown), road
        assert [v.to_str() for v in r.value] == titles and r == titles, road


def test_one_match_acts_as_a_list_but_converts_as_its_match():
    r = quorbix.get(feed(1), PATH)
    assert (r[0].to_str(), r[-1].to_str(), r[:] == ["Hello"], r[5:] == []) == (
        "Hello", "Hello", True, True)
    with pytest.raises(IndexError, match="Result index out of range"):
        r[1]
    with pytest.raises(TypeError, match="this Result is multi"):
        r["title"]
    for method in (r.keys, r.values, r.items, r.children):
        with pytest.raises(TypeError, match="got multi"):
            method()
    with pytest.raises(ValueError, match="not supported on a multi-element Result"):
        r.get("x")
    with pytest.raises(ValueError, match="not supported on a multi-element Result"):
        r.get_many(["x"])
    assert (r.to_str(), r.exists(), r == "Hello") == ("Hello", True, True)
    # The scalar conversions read the one match, a number or a bool as it is.
    n = quorbix.get(feed(1), "rss.channel.item.#.n")
    assert (n.to_int(), n.to_float(), int(n), float(n), n.to_bool()) == (0, 0.0, 0, 0.0, False)
    assert bool(n) and n.value[0].value == 0  # a list of one is true, its match is 0
    # An element with children in a list of one: its markup, and its children by name.
    item = quorbix.get(feed(1), "rss.channel.item.#(n==0)#")
    assert item.to_str() == "<item><title>Hello</title><n>0</n></item>"
    assert item[0]["title"] == "Hello" and list(item[0]) == ["title", "n"]


def test_which_paths_answer_lists():
    doc = "<r><a k='1'><b>x</b></a><c>7</c></r>"
    shapes = {
        "r.a.#.b": "list", "r.a.#(@k==1)#": "list", "r.a.#(@k==1)#.b|@sort": "list",
        "r.a.#.b.#": "list",  # a count per a
        "r.a.#": "number", "r.a.#.b|@count": "number", "r.a.#.b|@avg": "number",
        "r.a.#.b|@mean": "number", "r.a.#.b|@first": "single", "r.a.#.b|@last": "single",
        "r.a.b": "single", "**.b": "single", "r.a.0.b": "single", "r.a.#(@k==1).b": "single",
    }  # fmt: skip
    for path, shape in shapes.items():
        assert quorbix.compile(path).shape == shape, path
        r = quorbix.get(doc, path)
        assert (r.type_ is list) == (shape == "list"), path
    assert quorbix.get(doc, "r.a.#").value == 1  # a trailing # stays a count
    assert quorbix.get(doc, "**.b").value == "x"  # one match of ** stays the match
    assert quorbix.get(doc, "r.c").value == 7  # as does a step without a selector
