"""validate(): well-formed, matching end tags, exactly one root; never raises for bad XML."""

import random
from pathlib import Path

import pytest

from quorbix import ValidationProblem, validate, validation_report

VALID = [
    "<a/>",
    '<?xml version="1.0"?><!-- c --><a><b/></a>',
    "x<a/>y",
    "<a>&bogus;</a>",
    '<a b="1" b="2"/>',
    "<a><!-- x -- y --></a>",
    b"\xef\xbb\xbf<a>\xff</a>",  # text is not decoded
]
INVALID = ["", "just text", "<!-- c -->", '<?xml version="1.0"?>', "<a></a><b/>", "<a/><a/>",
           "<a>", "<a></b>", "</a>", "<a><!-- x"]


@pytest.mark.parametrize("document", VALID)
def test_valid(document):
    assert validate(document) is True


@pytest.mark.parametrize("document", INVALID)
def test_invalid(document):
    assert validate(document) is False


def test_deep_nesting_does_not_crash():
    depth = 1_000_000
    assert validate(b"<e>" * depth + b"</e>" * depth) is True
    assert validate(b"<e>" * depth + b"</e>" * (depth - 1)) is False


def test_random_bytes_and_truncations_never_raise():
    doc = (Path(__file__).parents[2] / "examples" / "catalog.xml").read_bytes()
    assert validate(doc) is True
    for n in range(len(doc.rstrip())):
        assert validate(doc[:n]) is False
    rng = random.Random(7)
    for _ in range(2000):
        data = bytes(rng.randrange(256) for _ in range(rng.randrange(40)))
        assert validate(data) is (validation_report(data) is None)


def test_validation_report_says_where_and_why():
    assert validation_report("<a/>") is None
    assert validation_report("<é>\n  <b>ü</a>") == ValidationProblem(
        line=2, column=7, offset=12, message="end tag </a> does not close <b>")
    assert validation_report(b"<a>") == ValidationProblem(1, 1, 0, "element <a> is not closed")
    assert validation_report(bytearray(b"")).message == "no root element"
    assert str(validation_report("<a/><b/>")) == "line 1, column 5: a second root element <b>"
    latin = '<?xml version="1.0" encoding="ISO-8859-1"?><né><a></né>'.encode("latin-1")
    assert validation_report(latin).message == "end tag </né> does not close <a>"
    assert validation_report(latin.decode("latin-1")).message == validation_report(latin).message
    assert validation_report(b"<a\xff></b>").message == "end tag </b> does not close <a\ufffd>"
