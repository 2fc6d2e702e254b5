"""validate(): well-formed, matching end tags, exactly one root; never raises for bad XML."""

import random
from pathlib import Path

import pytest

from quorbix import validate

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
        assert validate(bytes(rng.randrange(256) for _ in range(rng.randrange(40)))) in (True, False)
