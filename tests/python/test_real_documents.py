"""What real documents say comes back whole: references no DTD declares, bytes that do
not decode, labels only Python's codecs know, CR LF line ends; and real feeds read
against an independent reading of the same bytes by Python's codecs and expat."""

import os
import random
import re
import xml.parsers.expat
from pathlib import Path

import pytest

from quorbix import get, get_buffer, get_bytes, get_many_bytes, parse

# The sample feeds stand beside the project (../shared/feeds), not in it.
FEED_PLACES = [Path(__file__).resolve().parents[3] / "shared" / "feeds", Path("/work/shared/feeds")]
if "QUORBIX_FEEDS" in os.environ:
    FEED_PLACES.insert(0, Path(os.environ["QUORBIX_FEEDS"]))
FEEDS = next((place for place in FEED_PLACES if place.is_dir()), None)
# Each sample feed, and the codec that reads it in Python.
FEED_CODECS = {
    "big5-crlf.xml": "big5",
    "ibm855-label-outside-the-standard.xml": "cp855",
    "koi8-r-undeclared-entities.xml": "koi8_r",
    "maccyrillic-label-outside-the-standard.xml": "mac_cyrillic",
}


def test_references_no_dtd_declares_stay_as_written():
    assert get("<r><t>Tom &amp; Jerry&nbsp;Show</t></r>", "r.t").to_str() == "Tom & Jerry&nbsp;Show"
    doc = "<r a='x &copy; &#0; & y'><t>AT&T &mdash; 5 &lt; 6</t><t>&eacute;</t></r>"
    assert get(doc, "r.@a").to_str() == "x &copy; &#0; & y"
    assert get(doc, "r.t.#.#text") == ["AT&T &mdash; 5 < 6", "&eacute;"]
    assert get(doc, "r.#text").to_str() == "AT&T &mdash; 5 < 6&eacute;"
    assert get(doc, 'r.t#(#text%"*mdash*")#').to_str() == "AT&T &mdash; 5 < 6"
    assert get(doc, "r.t|@sort|@first").to_str() == "&eacute;"
    assert get(doc, "r").get("t.1").to_str() == "&eacute;"
    assert list(get(doc, "r").values())[0] == ["AT&T &mdash; 5 < 6", "&eacute;"]


def test_undecodable_bytes_read_as_replacement_characters_on_every_road():
    doc = b"<r k='a\xffb'><n\xff>x\xfey</n\xff><c><![CDATA[\xc3]]></c></r>"
    r = get_bytes(doc, "r")
    assert get_bytes(doc, "r.@k").to_str() == "a\ufffdb"
    assert list(r.keys()) == ["n\ufffd", "c"] and "n\ufffd" in r.keys()
    assert r["n\ufffd"].to_str() == "x\ufffdy" and r.value["c"].to_str() == "\ufffd"
    assert repr(r) == "<Result type=dict, keys=[n\ufffd, c]>"
    assert r == "x\ufffdy\ufffd" and get_bytes(doc, "r.n\ufffd").to_str() == "x\ufffdy"
    assert [name for name, _ in r.children()] == ["n\ufffd", "c"]
    assert get_buffer(bytearray(doc), "r.c").to_str() == "\ufffd"
    assert parse(doc).get("r.@k").to_str() == "a\ufffdb"
    assert get_bytes(b"<r \xff='1' k\xc3='2'/>", "r.@\ufffd") == "1"
    # Names that read the same are one key, whatever their bytes.
    twins = get_bytes(b"<r><\xff>1</\xff><\xfe>2</\xfe></r>", "r")
    assert list(twins.keys()) == ["\ufffd"] and twins.value == {"\ufffd": ["1", "2"]}
    assert twins["\ufffd"] == ["1", "2"] and len(twins.keys()) == 1
    # Valid UTF-8 is answered in place, as before.
    assert get_bytes("<r>é</r>".encode(), "r").to_str() == "é"


@pytest.mark.parametrize("label, codec", [("ibm855", "cp855"), ("maccyrillic", "mac_cyrillic"),
                                          ("cp737", "cp737"), ("hz", "hz")])
def test_labels_only_python_knows_are_read_through_its_codecs(label, codec):
    text = {"cp737": "Ωμέγα", "hz": "你好"}.get(label, "Привет")
    body = f"<r a='{text}'><t>{text}</t><t>b</t></r>".encode(codec)
    data = f"<?xml version='1.0' encoding='{label}'?>".encode() + body
    assert get_bytes(data, "r.t.0").to_str() == text
    assert get_bytes(data, "r.@a").to_str() == text
    assert get_many_bytes(data, ["r.t.#", "r.t.0"])[1].to_str() == text
    assert get_buffer(memoryview(data), f"r.t#(.=='{text}')#").to_str() == text
    assert parse(data).get("r.t.0").to_str() == text


def test_names_of_stateful_encodings_are_decoded():
    text = '<?xml version="1.0" encoding="iso-2022-jp"?><r><漢 字="1">日本</漢><a b="c">d</a></r>'
    data = text.encode("iso-2022-jp")
    assert get_bytes(data, "r.漢").to_str() == "日本" and get_bytes(data, "r.漢.@字") == "1"
    assert list(get_bytes(data, "r").keys()) == ["漢", "a"] and get_bytes(data, "r.a.@b") == "c"


def test_codecs_that_read_spellings_are_not_charsets():
    data = b"<?xml version='1.0' encoding='unicode_escape'?><a>C:\\new\\u0041</a>"
    assert get_bytes(data, "a").to_str() == "C:\\new\\u0041"
    # A codec that spells lone surrogates gives U+FFFD for them, not undecoded text.
    data = b"<?xml version='1.0' encoding='utf-7'?><a>+2D0-x +BDcEOwQ4-</a>"
    assert get_bytes(data, "a").to_str() == "\ufffdx \u0437\u043b\u0438"


def test_labels_that_nothing_knows_read_as_utf8():
    # Codecs that are not text encodings, or that do not read the declaration's ASCII
    # as ASCII, cannot be the document's.
    for label in (b"no-such-codec", b"base64", b"rot13", b"utf-32", b"cp037"):
        data = b"<?xml version='1.0' encoding='" + label + b"'?><r>\xc3\xa9\xff</r>"
        assert get_bytes(data, "r").to_str() == "\xe9\ufffd", label
    # The replacement encoding's text is U+FFFD, but its names were found by their ASCII.
    data = b"<?xml version='1.0' encoding='iso-2022-kr'?><r><a k='v'>x</a></r>"
    assert get_bytes(data, "r.a").to_str() == "\ufffd" and get_bytes(data, "r.a.@k") == "\ufffd"


def test_line_ends_read_as_lf():
    doc = "<r a='1\r\n2\r3'>\r\na\r\nb\rc<![CDATA[d\r\ne]]></r>"
    assert get(doc, "r.@a").to_str() == "1 2 3"  # in a value, a line end is a space
    assert get(doc, "r.#text") == "\na\nb\ncd\ne"
    assert get(doc, "r").to_str() == "a\nb\ncd\ne"  # trimmed, as scalars are
    assert get("<r>a&#13;&#10;b</r>", "r").to_str() == "a\r\nb"  # written as references: kept


def expat_leaves(data, codec):
    """(path, text) of every leaf element, read by Python's codec and expat, with the
    references no DTD declares kept as written."""
    text = data.decode(codec, "replace")
    text = re.sub(r"^<\?xml[^>]*\?>", "", text)
    text = re.sub(r"<!DOCTYPE[^>]*>", "", text)
    text = re.sub(r"&(?!(lt|gt|amp|apos|quot|#[0-9]+|#x[0-9a-fA-F]+);)", "&amp;", text)
    parser = xml.parsers.expat.ParserCreate()
    stack, leaves = [], []

    def start(name, _attributes):
        parent = stack[-1] if stack else None
        index = 0
        if parent is not None:
            index = parent["seen"].get(name, 0)
            parent["seen"][name] = index + 1
            parent["children"] = True
        stack.append({"name": name, "index": index, "text": [], "seen": {}, "children": False})

    def end(_name):
        element = stack.pop()
        if not element["children"] and "".join(element["text"]).strip():
            path = ".".join(f"{e['name']}.{e['index']}" for e in stack[1:] + [element])
            leaves.append((f"{stack[0]['name']}.{path}" if stack else element["name"],
                           "".join(element["text"])))

    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = lambda t: stack[-1]["text"].append(t) if stack else None
    parser.Parse(text, True)
    return leaves


@pytest.mark.skipif(FEEDS is None, reason="the sample feeds are not on this machine")
@pytest.mark.parametrize("name", sorted(FEED_CODECS))
def test_real_feeds_lose_no_text(name):
    data = (FEEDS / name).read_bytes()
    leaves = expat_leaves(data, FEED_CODECS[name])
    assert len(leaves) > 10
    non_ascii = 0
    for path, text in leaves:
        answer = get_bytes(data, path).to_str()
        assert answer, path  # no text the feed holds comes back empty
        assert answer == text.strip(), path
        non_ascii += any(ord(c) > 127 for c in answer)
    assert non_ascii > 5  # the Cyrillic and Chinese texts are among them


def test_utf8_replacement_agrees_with_python():
    rng = random.Random(7)
    alphabet = [bytes([b]) for b in range(0x80, 0x100)] + [b"a", b" ", "é".encode(), "😀".encode()]
    for _ in range(3000):
        raw = b"".join(rng.choice(alphabet) for _ in range(rng.randrange(1, 12)))
        want = raw.decode("utf-8", "replace")
        assert get_bytes(b"<r>" + raw + b"</r>", "r.#text") == want, raw
        assert get_bytes(b"<r a='" + raw + b"'/>", "r.@a") == want, raw
