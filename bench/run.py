"""Times quorbix against lxml, ElementTree and expat on the same bytes, in one run.

Usage: python bench/run.py [--size MEGABYTES] [--repeat N]

Each case runs every library on the same document; the best of N runs is
reported as MB/s, and the ratio column says how many times faster quorbix is.
"""

import argparse
import time
import xml.etree.ElementTree as ET
import xml.parsers.expat
from pathlib import Path

import quorbix

try:
    from lxml import etree as lxml_etree
except ImportError:  # pragma: no cover - the bench extra installs it
    lxml_etree = None

HERE = Path(__file__).resolve().parent


def best_time(fn, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def expat_parse(data):
    parser = xml.parsers.expat.ParserCreate()
    parser.Parse(data, True)


def cases(data):
    """(case name, [(library, callable)]): quorbix first, then its peers."""
    peers = []
    if lxml_etree is not None:
        peers.append(("lxml.etree.fromstring", lambda: lxml_etree.fromstring(data)))
    peers.append(("ElementTree.fromstring", lambda: ET.fromstring(data)))
    peers.append(("expat (no handlers)", lambda: expat_parse(data)))
    yield "validate the whole document", [("quorbix.validate", lambda: quorbix.validate(data))] + peers


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=100, help="document size in MB")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    path = HERE / f"catalog-{args.size}mb.xml"
    if not path.exists():
        from gen_catalog import generate

        generate(path, args.size)
    data = path.read_bytes()
    megabytes = len(data) / 1e6
    print(f"document: {path.name}, {megabytes:.1f} MB, best of {args.repeat}\n")

    for name, runs in cases(data):
        print(name)
        ours = None
        for library, fn in runs:
            seconds = best_time(fn, args.repeat)
            ours = ours or seconds
            ratio = seconds / ours
            print(f"  {library:28s} {seconds * 1000:9.1f} ms {megabytes / seconds:9.1f} MB/s"
                  f"   quorbix is {ratio:5.1f}x faster" if ratio != 1 else
                  f"  {library:28s} {seconds * 1000:9.1f} ms {megabytes / seconds:9.1f} MB/s")
        print()


if __name__ == "__main__":
    main()
