"""Entities a document declares in its DOCTYPE, read in its texts and values on every
road, compared with lxml; those that cannot be read in place stay as written and the
roads that report malformed input say so; the well-known attack shapes stay cheap."""

import random
import subprocess
import sys
import time

import pytest
from lxml import etree

import quorbix

PIECES = ["plain", "A &amp; B", "&#38;#60;lt&#62;", "caf\u00e9", "two\nlines", " \t "]


def generated(rng):
    """A DOCTYPE of entities built from text, character references and references to
    entities declared before them, and a document whose texts and values use them."""
    names = []
    decls = []
    for i in range(rng.randrange(1, 6)):
        parts = [rng.choice(PIECES) for _ in range(rng.randrange(1, 3))]
        parts += [f"&{n};" for n in rng.sample(names, min(len(names), rng.randrange(3)))]
        rng.shuffle(parts)
        names.append(f"e{i}")
        decls.append(f'<!ENTITY e{i} "{"".join(parts)}">')
    items = []
    for k in range(rng.randrange(1, 5)):
        refs = " ".join(f"&{n};" for n in rng.sample(names, rng.randrange(1, len(names) + 1)))
        attr = f"&{rng.choice(names)};"
        items.append(f'<item k="{k}{attr}"><v>x {refs} y</v><w>&{rng.choice(names)};</w></item>')
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE doc [\n{"".join(decls)}\n]>\n'
            f'<doc>{"".join(items)}</doc>').encode()


def lxml_answers(doc):
    root = etree.fromstring(doc, etree.XMLParser(resolve_entities=True, no_network=True))
    items = root.findall("item")  # texts trimmed, as to_str() gives them
    return ([i.findtext("v").strip() for i in items], [i.findtext("w").strip() for i in items],
            [i.get("k").strip() for i in items])


@pytest.mark.parametrize("seed", range(30))
def test_generated_documents_read_as_lxml_reads_them(seed):
    doc = generated(random.Random(seed))
    v, w, k = lxml_answers(doc)
    assert quorbix.get_bytes(doc, "doc.item.#.v").to_strs() == v
    assert quorbix.get_buffer(bytearray(doc), "doc.item.#.w").to_strs() == w
    assert quorbix.get(doc.decode(), "doc.item.#.@k").to_strs() == k
    assert quorbix.get_bytes(doc, "doc.item.#.v|@sort").to_strs() == sorted(v)
    first = quorbix.get_bytes(doc, "doc.item.0")
    assert first.get("v").to_str() == v[0] and first["w"].to_str() == w[0]
    assert quorbix.get_bytes(doc, 'doc.item.#(@k%"0*")#.v').to_strs() == v[:1]
    assert quorbix.get_bytes(doc, 'doc.item.#(v%"x *")#.w').to_strs() == w
    got = quorbix.get_many_bytes(doc, ["doc.item.#.v", "doc.item.#.@k"])
    assert got[0].to_strs() == v and got[1].to_strs() == k
    assert [r.to_str() for r in quorbix.stream(doc, "doc.item.#.v")] == v
    assert [r.get("w").to_str() for r in quorbix.stream(doc, "doc.item")] == w
    for rows in (quorbix.records(doc, "doc.item", {"v": "v", "k": "@k"}),
                 quorbix.records(doc, "doc.#.item", {"v": "v", "k": "@k"}),
                 list(quorbix.stream_records(doc, "doc.item", {"v": "v", "k": "@k"}))):
        assert [r["v"] for r in rows] == v and [r["k"] for r in rows] == k


def test_an_element_keeps_both_its_entities_and_the_namespaces_around_it():
    doc = b'<!DOCTYPE r [<!ENTITY e "x">]><r xmlns:p="urn:p"><a><p:b>&e;</p:b></a></r>'
    found = quorbix.get_bytes(doc, "r.a")  # a scan without a mapping keeps no declarations
    assert found.get("q:b", namespaces={"q": "urn:p"}).to_str() == "x"
    assert quorbix.get_buffer(bytearray(doc), "r.a").get("p:b").to_str() == "x"
    parsed = quorbix.parse(doc)
    assert parsed["a"]["p:b"].to_str() == "x"


def test_a_streamed_table_reads_with_the_stream_s_entities_and_budget():
    with pytest.raises(quorbix.MalformedError, match="line 1, column 1: not read in full"):
        list(quorbix.stream_records(MARKUP, "a.r", {"m": "m"}, piece_size=5))
    assert list(quorbix.stream_records(MARKUP, "a.r", {"m": "m"}, recover=True)) == [{"m": "&m;"}]
    # A table for each few rows: the budget is still the document's, not each table's.
    big = "x" * 100_000
    doc = f'<!DOCTYPE q [<!ENTITY big "{big}">]><q>' + "<i><t>&big;</t></i>" * 300 + "</q>"
    rows = quorbix.stream_records(doc.encode(), "q.i", {"t": "t"}, recover=True, piece_size=64)
    expanded = sum(row["t"] == big for row in rows)
    assert 0 < expanded * len(big) <= max(8 << 20, 100 * len(doc))


def test_a_document_in_a_single_byte_encoding_reads_its_entities_decoded():
    doc = ('<?xml version="1.0" encoding="ISO-8859-1"?><!DOCTYPE a [<!ENTITY c "caf\u00e9">]>'
           '<a t="&c;"><b>&c;</b></a>').encode("latin-1")
    assert quorbix.get_bytes(doc, "a.b").to_str() == "caf\u00e9"
    assert quorbix.get_bytes(doc, "a.@t").to_str() == "caf\u00e9"
    assert quorbix.get_bytes(doc, "a").get("b").to_str() == "caf\u00e9"


MARKUP = b'<!DOCTYPE a [<!ENTITY m "<b>x</b>"><!ENTITY t "text">]><a><r><m>&m;</m><t>&t;</t></r></a>'


def test_an_entity_that_holds_markup_stays_as_written_and_is_reported():
    assert quorbix.get_bytes(MARKUP, "a.r.m").to_str() == "&m;"
    assert quorbix.get_bytes(MARKUP, "a.r.t").to_str() == "text"
    assert quorbix.records(MARKUP, "a.r", {"t": "t"}) == [{"t": "text"}]
    with pytest.raises(quorbix.MalformedError, match='entity "m".*holds markup'):
        quorbix.records(MARKUP, "a.r", {"m": "m"})
    assert quorbix.records(MARKUP, "a.r", {"m": "m"}, recover=True) == [{"m": "&m;"}]
    with pytest.raises(quorbix.MalformedError, match="not read in full"):
        [r.to_str() for r in quorbix.stream(MARKUP, "a.r.m")]
    for mode in ("--json", "--count"):  # JSON reads the texts once the scan is over
        done = subprocess.run([sys.executable, "-m", "quorbix", mode, "a.r.m"], input=MARKUP,
                              capture_output=True, timeout=120)
        assert done.returncode == 0
        assert (b'entity "m"' in done.stderr) == (mode == "--json"), done.stderr


def test_external_and_undeclared_entities_stay_as_written_unreported():
    doc = (b'<!DOCTYPE a SYSTEM "http://example.invalid/a.dtd" ['
           b'<!ENTITY x SYSTEM "http://example.invalid/x"><!ENTITY u SYSTEM "u" NDATA gif>]>'
           b'<a><x>&x;</x><n>&nope;</n><p>&amp;&lt;</p></a>')
    assert quorbix.records(doc, "a", {"x": "x", "n": "n", "p": "p"}) == [
        {"x": "&x;", "n": "&nope;", "p": "&<"}]


def lol(levels):
    decls = '<!ENTITY l0 "lol">' + "".join(
        f'<!ENTITY l{i} "{f"&l{i - 1};" * 10}">' for i in range(1, levels + 1))
    return f"<!DOCTYPE z [{decls}]><z><a>&l{levels};</a><b>&l2;</b></z>"


def test_billion_laughs_and_quadratic_blowup_stay_cheap():
    start = time.perf_counter()
    doc = lol(9)  # three thousand million bytes, were it expanded
    assert quorbix.get(doc, "z.a").to_str() == "&l9;"
    assert quorbix.get(doc, "z.b").to_str() == "lol" * 100
    with pytest.raises(quorbix.MalformedError, match='"l9" .* alone expands past'):
        quorbix.records(doc, "z", {"a": "a"})
    big = "x" * 100_000  # two thousand references: 200 MB, were they all expanded
    doc = f'<!DOCTYPE q [<!ENTITY big "{big}">]><q>' + "<i><t>&big;</t></i>" * 2000 + "</q>"
    texts = quorbix.get(doc, "q.i.#.t").to_strs()
    assert sum(len(t) for t in texts if t == big) <= max(8 << 20, 100 * len(doc))
    assert texts[0] == big and texts[-1] == "&big;"
    with pytest.raises(quorbix.MalformedError, match="would have passed"):
        quorbix.records(doc, "q.i", {"t": "t"})
    once = quorbix.get(f'<!DOCTYPE q [<!ENTITY big "{big}">]><q><t>&big;</t></q>', "q.t")
    assert all(once.to_str() == big for _ in range(200))  # each read has the budget anew
    cycle = '<!DOCTYPE c [<!ENTITY a "&b;"><!ENTITY b "&a;">]><c>&a;</c>'
    assert quorbix.get(cycle, "c").to_str() == "&a;"
    assert time.perf_counter() - start < 5  # bounded: these take milliseconds
