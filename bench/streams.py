"""Documents of any size: memory and speed of the streams, beside lxml's iterparse
and pandas.read_xml(iterparse=...), each case in a fresh process of its own.

Usage: python bench/streams.py [--size MEGABYTES] [--only SUBSTRING] [--dask]

On an OpenStreetMap-like document (bench/gen_osm.py) of the given size:
- the command line from standard input, `osm.way.#.@id`, against the same command on
  a 1 kB file (peak memory) and against the whole document read and answered by
  get_many_bytes (per byte);
- the records iterator over osm.node (@id, @lat, @lon) against `records` on the
  whole document, and against lxml iterparse with clearing;
- read_xml(chunksize=100000) against a process that imported pandas and quorbix,
  and pandas.read_xml(iterparse=...);
- with --dask, a column's sum and a group count in one computation on a 2-process
  LocalCluster with blocksize="32MB" (the count a tree reduction, split_out=1), against
  serial quorbix.read_xml and the same
  reduction.
Peak memory is the process's maximum resident set; times are wall clock.
"""

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROWS, COLUMNS = "osm.node", {"id": "@id", "lat": "@lat", "lon": "@lon"}

CASES = {
    "cli stdin": "import quorbix.cli, sys; sys.argv = ['quorbix', 'osm.way.#.@id']; "
                 "sys.stdout = open(os.devnull, 'w'); quorbix.cli.main(sys.argv[1:])",
    "whole": "import quorbix; r = quorbix.get_many_bytes(sys.stdin.buffer.read(), "
             "['osm.way.#.@id'])[0]; sys.stdout = open(os.devnull, 'w'); "
             "print('\\n'.join(r.to_strs()))",
    "stream_records": "import quorbix; n = sum(1 for _ in quorbix.stream_records("
                      "sys.stdin.buffer, ROWS, COLUMNS))",
    "records": "import quorbix; n = len(quorbix.records(sys.stdin.buffer, ROWS, COLUMNS))",
    # Every child of the root cleared once read, and dropped with those before it.
    "lxml iterparse": "from lxml import etree\n"
                      "n = 0\n"
                      "for _, e in etree.iterparse(sys.stdin.buffer):\n"
                      "    if e.tag == 'node':\n"
                      "        r = (e.get('id'), e.get('lat'), e.get('lon')); n += 1\n"
                      "    if e.tag in ('node', 'way', 'relation', 'bounds'):\n"
                      "        e.clear()\n"
                      "        while e.getprevious() is not None: del e.getparent()[0]",
    "imported pandas": "import pandas, quorbix",
    "read_xml chunks": "import pandas, quorbix\n"
                       "n = sum(len(f) for f in quorbix.read_xml(sys.stdin.buffer, ROWS, COLUMNS, "
                       "chunksize=100000))",
    "pandas iterparse": "import pandas\n"
                        "f = pandas.read_xml(sys.argv[1], iterparse={'node': ['id', 'lat', 'lon']})",
}


def run_case(code, document):
    """Wall time and peak resident memory (bytes) of `code` in a fresh
    process, the document on its standard input."""
    prelude = f"import os, sys\nROWS, COLUMNS = {ROWS!r}, {COLUMNS!r}\n"
    with open(document, "rb") as stdin:
        start = time.perf_counter()
        process = subprocess.Popen([sys.executable, "-c", prelude + code, str(document)],
                                   stdin=stdin)
        _, status, usage = os.wait4(process.pid, 0)
        took = time.perf_counter() - start
    if status != 0:
        raise SystemExit(f"failed: {code}")
    return took, usage.ru_maxrss * 1024


def dask_rows(document):
    """A column's sum and a group count in one computation on the cluster,
    against serial read_xml and the same reduction; the answers compared."""
    import dask
    import distributed

    import quorbix
    import quorbix.dask

    columns = {"lat": "@lat", "version": "@version"}
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        for _ in range(2):
            start = time.perf_counter()
            frame = quorbix.dask.read_xml(str(document), ROWS, columns, blocksize="32MB")
            total, counts = dask.compute(frame.lat.sum(),
                                         frame.groupby("version").lat.count(split_out=1))
            split = time.perf_counter() - start
            start = time.perf_counter()
            whole = quorbix.read_xml(document, ROWS, columns)
            want = (whole.lat.sum(), whole.groupby("version").lat.count())
            serial = time.perf_counter() - start
            same = abs(total - want[0]) <= 1e-9 * abs(want[0]) and \
                counts.sort_index().tolist() == want[1].sort_index().tolist()
            print(f"  dask blocks ({frame.npartitions} partitions) {split:7.2f} s, serial "
                  f"{serial:7.2f} s: {serial / split:5.2f}x serial; equal: {same}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=200)
    parser.add_argument("--only", default="")
    parser.add_argument("--dask", action="store_true")
    args = parser.parse_args()
    document = HERE / f"osm-{args.size}mb.xml"
    if not document.exists():
        subprocess.run([sys.executable, str(HERE / "gen_osm.py"), str(document), str(args.size)],
                       check=True, stdout=subprocess.DEVNULL)
    tiny = HERE / "osm-tiny.xml"
    tiny.write_text('<osm><node id="1" lat="2" lon="3"/><way id="4"/></osm>')
    size = document.stat().st_size
    # In the page cache, for the first case as for the others; read by another
    # process, as a child's peak starts at its parent's size.
    subprocess.run(["cat", str(document)], stdout=subprocess.DEVNULL, check=True)
    print(f"{document.name}: {size / 1e6:.0f} MB; peak memory above the same code on 1 kB")
    base = {}
    for name, code in CASES.items():
        if args.only not in name:
            continue
        try:
            small = run_case(code, tiny)
            took, peak = run_case(code, document)
        except SystemExit as error:
            print(f"  {name:18s} {error}")
            continue
        base[name] = took
        print(f"  {name:18s} {took:7.2f} s {size / took / 1e6:7.1f} MB/s   peak "
              f"{peak / 2**20:7.1f} MiB (+{(peak - small[1]) / 2**20:6.1f} MiB)", flush=True)
    for a, b in [("cli stdin", "whole"), ("stream_records", "records"),
                 ("stream_records", "lxml iterparse"), ("read_xml chunks", "pandas iterparse")]:
        if a in base and b in base:
            print(f"  {a} / {b}: {base[b] / base[a]:5.2f}x the speed")
    if args.dask:
        dask_rows(document)


if __name__ == "__main__":
    main()
