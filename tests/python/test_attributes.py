"""Attribute values as XML reads them, compared with lxml on generated documents, and which
attribute a name finds when a prefixed and an unprefixed one share their local part, or when
other keys and values hold the name."""

import json
import random
import subprocess
import sys

from lxml import etree

import quorbix

# What a value is written with: raw white space and line ends, which read as spaces, and
# references, which keep the character they name.
PIECES = ["\t", "\n", "\r", "\r\n", "&#9;", "&#10;", "&#13;", "&amp;", "&lt;", "&quot;", " ",
          "  ", "x", "y", "é", "€", "😀", "'"]  # fmt: skip


def catalog(seed, count=60):
    rng = random.Random(seed)
    elements = []
    for i in range(count):
        value = "".join(rng.choices(PIECES, k=rng.randint(0, 8)))
        content = "/>" if rng.random() < 0.3 else "><c>t</c></e>"
        elements.append(f'<e id="{i}" a="{value}" b="x&#9;y"{content}')
    return "<r>" + "".join(elements) + "</r>"


def lxml_values(document):
    return [e.get("a") for e in etree.fromstring(document.encode()).iter("e")]


def test_values_read_as_lxml_reads_them():
    for seed in range(5):
        document = catalog(seed)
        wanted = lxml_values(document)
        utf16 = document.encode("utf-16")
        for i, value in enumerate(wanted):
            path = f"r.e.{i}.@a"
            assert "".join(quorbix.get(document, path)) == value  # iteration: nothing trimmed
            assert "".join(quorbix.get_bytes(utf16, path)) == value
        assert quorbix.get(document, "r.e.0.@b").to_str() == "x\ty"


def test_filters_and_tables_read_values_as_lxml_does():
    known = '<e id="x" a="x&#9;y"/><e id="y" a="x\r\ny"><c/></e><e id="z" a="x\ty"/>'
    document = catalog(7)[: -len("</r>")] + known + "</r>"
    wanted = lxml_values(document)
    ids = [e.get("id") for e in etree.fromstring(document.encode()).iter("e")]
    held = quorbix.get(document, 'r.e.#(@a=="x y")#.@id').value
    assert held == [i for i, v in zip(ids, wanted) if v.strip() == "x y"] and "z" in held
    by_column = quorbix.records(document, "r.e", {"a": "@a"})
    by_row = quorbix.records(document.encode(), "r.e")
    assert [row["a"] for row in by_column] == [row["a"] for row in by_row] == [
        v.strip() for v in wanted
    ]


def test_json_attribute_keys_read_values_as_lxml_does(tmp_path):
    document = catalog(11)
    path = tmp_path / "attributes.xml"
    path.write_bytes(document.encode())
    out = subprocess.run([sys.executable, "-m", "quorbix", "--json", "r", str(path)],
                         capture_output=True, timeout=120)
    assert out.returncode == 0, out.stderr
    assert [e["@a"] for e in json.loads(out.stdout)["e"]] == lxml_values(document)


def test_the_exact_name_before_a_local_part():
    for attributes in ('a:attr="out" attr="in"', 'attr="in" a:attr="out"'):
        document = f'<r><e xmlns:a="u" {attributes}><c/></e></r>'
        assert quorbix.get(document, "r.e.@attr").to_str() == "in"
        assert quorbix.get(document, "r.e.@a:attr").to_str() == "out"
        assert quorbix.get(document, 'r.e.#(@attr=="in").@a:attr').to_str() == "out"
        assert quorbix.records(document, "r.e", {"x": "@attr", "y": "@a:attr"}) == [
            {"x": "in", "y": "out"}
        ]
    # a prefixed attribute still answers to its local part when nothing else does
    assert quorbix.get('<e xmlns:a="u" a:attr="out"/>', "e.@attr").to_str() == "out"


def test_a_name_is_found_only_as_a_whole_key_outside_values():
    rng = random.Random(3)
    values = ['id="1"', "id='2'", "a>b", "=", " id= ", "p:id", "x"]
    spaces = [" ", "\t", "\n", "\r\n", "  "]
    elements = []
    for _ in range(200):
        keys = rng.sample(["xid", "id2", "p:id", "idx", "id", "q"], rng.randint(0, 6))
        attributes = ""
        for key in keys:
            value = rng.choice(values)
            quote = "'" if '"' in value else '"'
            around = rng.choice(["", " ", "\t", "\n "])
            attributes += f"{rng.choice(spaces)}{key}{around}={around}{quote}{value}{quote}"
        elements.append(f'<e xmlns:p="u"{attributes}/>')
    document = "<r>" + "".join(elements) + "</r>"
    tree = etree.fromstring(document.encode())
    by_name = [e.get("id", e.get("{u}id")) for e in tree.iter("e")]
    prefixed = [e.get("{u}id") for e in tree.iter("e")]
    assert quorbix.get(document, "r.e.#.@id").value == [v for v in by_name if v is not None]
    assert quorbix.get(document, "r.e.#.@p:id").value == [v for v in prefixed if v is not None]
