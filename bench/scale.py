"""Beyond one core and one document: threads, tables for pandas, many files on Dask.

Usage: python bench/scale.py [--size MEGABYTES] [--files N] [--repeat N] [--only SUBSTRING]

- threads: queries per second of 2 threads, each over its own bytes document,
  and of 8 threads over one document, each beside 1 thread doing the same work;
- tables: quorbix.read_xml against pandas.read_xml (on lxml, and on ElementTree) on
  the catalog, five columns, each in a fresh process (time and peak memory), the
  frames compared; beside them quorbix.table read by pyarrow, polars and DuckDB;
- dask: quorbix.dask.read_xml over N files of 1 MB on 2 worker processes against
  the same files read one after another in one process.
Every row prints its ratio, measured in the same run.
"""

import argparse
import json
import pickle
import resource
import subprocess
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from gen_catalog import generate  # noqa: E402
from run import timings  # noqa: E402

import quorbix  # noqa: E402

QUESTION = "catalog.book.#.price|@sum"
COLUMNS = {"id": "@id", "lang": "@lang", "title": "dc:title", "author": "author", "price": "price"}


def in_threads(work):
    """Runs each callable of `work` in a thread of its own, all at once."""
    threads = [threading.Thread(target=w) for w in work]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def thread_rows(data, repeat):
    other = bytes(bytearray(data))  # a second document, not the same object
    per_thread = 2
    one = lambda doc, n: lambda: [quorbix.get_bytes(doc, QUESTION) for _ in range(n)]  # noqa: E731
    print("threads (queries per second, best and median of the rounds)")
    for label, single, many, queries in [
        ("2 threads, each its own document", one(data, 2 * per_thread),
         lambda: in_threads([one(data, per_thread), one(other, per_thread)]), 2 * per_thread),
        ("8 threads over one document", one(data, 8),
         lambda: in_threads([one(data, 1) for _ in range(8)]), 8),
    ]:
        b1, m1 = timings(single, repeat)
        bn, mn = timings(many, repeat)
        print(f"  {label:34s} 1 thread {queries / b1:6.1f}/s (median {queries / m1:6.1f}), "
              f"threads {queries / bn:6.1f}/s (median {queries / mn:6.1f}): "
              f"{b1 / bn:4.2f}x the throughput (median {m1 / mn:4.2f}x)", flush=True)


# The roads to a table timed against pandas.read_xml: quorbix's DataFrame,
# and its Arrow table read by pyarrow, polars and DuckDB (a group-by query).
ROADS = ["quorbix", "quorbix-arrow", "quorbix-polars", "quorbix-duckdb", "pandas", "pandas-etree"]


def table_child(which, path, out):
    """--table-child: one road reads the table in this fresh process, its
    libraries imported first (pandas always, as in a program that makes
    frames). Prints the time, the peak memory and the Arrow data's size."""
    import pandas
    import pandas.io.parsers  # noqa: F401
    import pyarrow
    peer = {"quorbix-polars": "polars", "quorbix-duckdb": "duckdb"}.get(which)
    library = __import__(peer) if peer else None
    before = resident_kib()
    start = time.perf_counter()
    data = None
    if which == "quorbix":
        frame = quorbix.read_xml(path, "catalog.book", COLUMNS)
    elif which == "quorbix-arrow":
        frame = data = pyarrow.table(quorbix.table(path, "catalog.book", COLUMNS))
    elif which == "quorbix-polars":
        frame = library.DataFrame(quorbix.table(path, "catalog.book", COLUMNS))
    elif which == "quorbix-duckdb":
        books = quorbix.table(path, "catalog.book", COLUMNS)  # noqa: F841 - DuckDB finds it by name
        frame = library.sql("select lang, count(*), avg(price) from books group by lang "
                            "order by lang").fetchall()
    elif which == "pandas":
        frame = pandas.read_xml(path, xpath="/catalog/book", parser="lxml")[list(COLUMNS)]
    else:  # pandas on ElementTree
        frame = pandas.read_xml(path, xpath="./book", parser="etree")[list(COLUMNS)]
    seconds = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    if which == "quorbix-polars":
        frame = frame.to_pandas()
    elif which == "quorbix-arrow":
        frame = frame.to_pandas()
    with open(out, "wb") as file:
        pickle.dump(frame, file)
    print(json.dumps({"seconds": seconds, "peak_mib": peak / 1024, "start_mib": before / 1024,
                      "arrow_mib": data.nbytes / 2**20 if data is not None else None}))


def resident_kib():
    """The process's resident memory now, in KiB (ru_maxrss's unit): the
    peak of the imports before it is no part of a road's."""
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * resource.getpagesize() // 1024


def table_rows(path, repeat):
    print(f"tables: {path.name} ({path.stat().st_size / 2**20:.0f} MiB), rows catalog.book, five "
          f"columns (fresh process each, best of {repeat}; pandas.read_xml once)")
    figures, frames = {}, {}
    for which in ROADS:
        runs = []
        for r in range(repeat if which.startswith("quorbix") else 1):
            out = HERE / f".frame-{which}.pickle"
            done = subprocess.run([sys.executable, __file__, "--table-child", which, str(path), str(out)],
                                  capture_output=True, text=True, check=True)
            runs.append(json.loads(done.stdout.splitlines()[-1]))
            with open(out, "rb") as file:
                frames[which] = pickle.load(file)
            out.unlink()
        runs.sort(key=lambda f: f["seconds"])
        figures[which] = f = runs[0]
        median = runs[len(runs) // 2]["seconds"]
        print(f"  {which:16s} {f['seconds'] * 1000:8.0f} ms (median {median * 1000:6.0f}), "
              f"peak {f['peak_mib']:6.0f} MiB (+{f['peak_mib'] - f['start_mib']:.0f})", flush=True)
    q = figures["quorbix"]
    for peer in ["pandas", "pandas-etree"]:
        p = figures[peer]
        equal = frames["quorbix"].equals(frames[peer])
        print(f"  read_xml against {peer}: {p['seconds'] / q['seconds']:.1f}x faster, at "
              f"{(q['peak_mib'] - q['start_mib']) / (p['peak_mib'] - p['start_mib']):.2f} of its "
              f"added peak memory; the frames are {'equal' if equal else 'NOT equal'}", flush=True)
    theirs = figures["pandas"]["seconds"]
    for road in ["quorbix-arrow", "quorbix-polars", "quorbix-duckdb"]:
        print(f"  {road} against pandas: {theirs / figures[road]['seconds']:.1f}x faster", flush=True)
    arrow = figures["quorbix-arrow"]
    document = path.stat().st_size / 2**20
    added = arrow["peak_mib"] - arrow["start_mib"] - document
    print(f"  Arrow table: {arrow['arrow_mib']:.0f} MiB of Arrow data; peak beyond the document "
          f"{added:.0f} MiB, {added / arrow['arrow_mib']:.2f}x the data", flush=True)
    same = frames["quorbix-arrow"].equals(frames["quorbix-polars"])
    print(f"  pyarrow and polars read the same table: {same}", flush=True)


def dask_rows(count, repeat):
    import pandas
    from distributed import Client, LocalCluster, wait

    import quorbix.dask
    folder = HERE / f"feeds-{count}"
    folder.mkdir(exist_ok=True)
    files = sorted(folder.glob("*.xml"))
    if len(files) != count:
        one = folder / "feed-0000.xml"
        generate(one, 1)
        for i in range(1, count):
            (folder / f"feed-{i:04d}.xml").write_bytes(one.read_bytes())
        files = sorted(folder.glob("*.xml"))
    print(f"dask: {count} files of 1 MB, rows catalog.book, five columns")
    serial = lambda: pandas.concat([quorbix.read_xml(f, "catalog.book", COLUMNS) for f in files])  # noqa: E731
    bs, ms = timings(serial, repeat)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster):
        frame = lambda: quorbix.dask.read_xml(str(folder / "*.xml"), "catalog.book", COLUMNS)  # noqa: E731
        frame().compute()  # the workers import quorbix and pandas once
        # persist: the partitions made in the workers and kept there, as a
        # cluster holds them; compute: every partition shipped to this process.
        bp, mp = timings(lambda: wait(frame().persist()), repeat)
        bc, mc = timings(lambda: frame().compute(), repeat)
    print(f"  serial, one process             {bs * 1000:8.0f} ms (median {ms * 1000:8.0f})\n"
          f"  dask, 2 workers, persist        {bp * 1000:8.0f} ms (median {mp * 1000:8.0f}): "
          f"{bs / bp:.2f}x faster (median {ms / mp:.2f}x)\n"
          f"  dask, 2 workers, compute        {bc * 1000:8.0f} ms (median {mc * 1000:8.0f}): "
          f"{bs / bc:.2f}x faster (median {ms / mc:.2f}x)", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=100, help="catalog size in MB")
    parser.add_argument("--files", type=int, default=200)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--only", default="", help="threads, tables or dask")
    parser.add_argument("--table-child", nargs=3, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.table_child:
        return table_child(*args.table_child)
    path = HERE / f"catalog-{args.size}mb.xml"
    if not path.exists():
        generate(path, args.size)
    if args.only in ("", "threads"):
        thread_rows(path.read_bytes(), args.repeat)
    if args.only in ("", "tables"):
        table_rows(path, args.repeat)
    if args.only in ("", "dask"):
        dask_rows(args.files, args.repeat)


if __name__ == "__main__":
    main()
