"""Names by namespace URI: a catalog's titles asked by namespace, against lxml's
XPath and ElementTree's findall with the same mapping, and against quorbix asking
by the prefix as written (no mapping), each case in a fresh process of its own.

Usage: python bench/namespaces.py [--size MEGABYTES] [--rounds N] [--previous PYTHON]

`--previous` times the no-mapping case once more with another interpreter (a venv of
the previous build), in the same run. Times are wall clock of the question alone
(the document is read in before the clock starts); best and median of the rounds.
"""

import argparse
import statistics
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
DC = "http://purl.org/dc/elements/1.1/"

CASES = {
    "quorbix, no mapping (dc:title as written)":
        "r = quorbix.get_bytes(doc, 'catalog.book.#.dc:title').to_strs()",
    "quorbix, namespaces={'d': DC}":
        "r = quorbix.get_bytes(doc, 'catalog.book.#.d:title', namespaces={'d': DC}).to_strs()",
    "lxml, xpath('/catalog/book/d:title', namespaces=)":
        "r = [e.text for e in lxml.etree.fromstring(doc).xpath("
        "'/catalog/book/d:title', namespaces={'d': DC})]",
    "ElementTree, findall('book/d:title', namespaces)":
        "r = [e.text for e in xml.etree.ElementTree.fromstring(doc).findall("
        "'book/d:title', {'d': DC})]",
}

TIMED = """
import sys, time, quorbix, lxml.etree, xml.etree.ElementTree
DC = {dc!r}
doc = open({path!r}, 'rb').read()
start = time.perf_counter()
{statement}
print(time.perf_counter() - start, len(r))
"""


def run(python: str, path: Path, statement: str) -> tuple[float, int]:
    code = TIMED.format(dc=DC, path=str(path), statement=statement)
    out = subprocess.run([python, "-c", code], check=True, capture_output=True, text=True)
    seconds, found = out.stdout.split()
    return float(seconds), int(found)


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=20)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--previous", help="the previous build's python, for the no-mapping case")
    args = parser.parse_args()
    path = HERE / f"catalog-{args.size}mb.xml"
    if not path.exists():
        subprocess.run([sys.executable, str(HERE / "gen_catalog.py"), str(path), str(args.size)],
                       check=True)
    cases = [(name, sys.executable, statement) for name, statement in CASES.items()]
    if args.previous:
        cases.insert(1, ("previous build, no mapping", args.previous,
                         CASES["quorbix, no mapping (dc:title as written)"]))
    times: dict[str, list[float]] = {name: [] for name, _, _ in cases}
    counts = {}
    for _ in range(args.rounds):  # rounds interleaved: a busy spell touches every case
        for name, python, statement in cases:
            seconds, counts[name] = run(python, path, statement)
            times[name].append(seconds)
    if len(set(counts.values())) != 1:
        raise SystemExit(f"the cases found different numbers of titles: {counts}")
    mapped = min(times["quorbix, namespaces={'d': DC}"])
    print(f"{path.name}, {next(iter(counts.values()))} titles, best and median of "
          f"{args.rounds} rounds")
    for name, _, _ in cases:
        best, median = min(times[name]), statistics.median(times[name])
        print(f"{name:56} {best * 1e3:9.1f} ms {median * 1e3:9.1f} ms "
              f"{best / mapped:7.2f}x the mapped query")


if __name__ == "__main__":
    main()
