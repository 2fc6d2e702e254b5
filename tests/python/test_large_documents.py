"""Documents of 4 GiB and more are answered correctly in range mode (offsets are 64-bit)."""

import pytest

from quorbix import get_bytes, get_many_bytes

pytestmark = pytest.mark.slow

PAST_4_GIB = (4 << 30) + 1000


def test_matches_beyond_4_gib():
    head = b"<r><a>first</a>"
    tail = b"<a>last</a><b><c>7</c></b></r>"
    doc = head.ljust(PAST_4_GIB, b" ") + tail
    assert len(doc) > 1 << 32
    found = get_bytes(doc, "r.a")
    assert found == ["first", "last"]
    assert found.value[1].to_str() == "last"
    assert get_bytes(doc, "r.b").to_str() == "<b><c>7</c></b>"
    assert get_bytes(doc, "r.b.c").to_int() == 7
    assert get_bytes(doc, "r.a.1.#text") == "last"
    a, c = get_many_bytes(doc, ["r.a", "r.b.c"])
    assert a == ["first", "last"] and c.to_int() == 7
