"""Documents of 4 GiB and more are answered correctly in range mode (offsets are 64-bit)."""

import os
import subprocess
import sys

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


def test_a_text_is_copied_once_on_its_way_to_a_str():
    # The text is collected once out of the document, then copied into the str: the
    # peak grows by twice its size. The peak is reset once the document is made.
    script = """
import quorbix
def peak_mib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM")) >> 10
doc = b"<r>" + b"x" * (1 << 30) + b"</r>"
with open("/proc/self/clear_refs", "w") as refs:
    refs.write("5")
before = peak_mib()
assert len(quorbix.get_bytes(doc, "r.#text").to_str()) == 1 << 30
print(peak_mib() - before)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)))
    assert done.returncode == 0, done.stderr
    assert int(done.stdout) < 2600, f"the peak grew by {done.stdout.strip()} MiB"
