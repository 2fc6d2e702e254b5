"""Beyond one core and one document: threads, tables for pandas, many files on Dask.

Usage: python bench/scale.py [--size MEGABYTES] [--files N] [--repeat N] [--only SUBSTRING]

- threads: queries per second of 2 threads, each over its own bytes document,
  and of 8 threads over one document, each beside 1 thread doing the same work;
- tables: quorbix.read_xml against pandas.read_xml (on lxml, and on ElementTree) on
  the catalog, five columns, each in a fresh process (time and peak memory), the
  frames compared;
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


def table_child(which, path, out):
    """--table-child: one library reads the table in this fresh process (pandas
    imported first, as in a program that makes frames)."""
    import pandas
    import pandas.io.parsers  # noqa: F401
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.perf_counter()
    if which == "quorbix":
        frame = quorbix.read_xml(path, "catalog.book", COLUMNS)
    elif which == "pandas":
        frame = pandas.read_xml(path, xpath="/catalog/book", parser="lxml")[list(COLUMNS)]
    else:  # pandas on ElementTree
        frame = pandas.read_xml(path, xpath="./book", parser="etree")[list(COLUMNS)]
    seconds = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    with open(out, "wb") as file:
        pickle.dump(frame, file)
    print(json.dumps({"seconds": seconds, "peak_mib": peak / 1024, "start_mib": before / 1024}))


def table_rows(path, repeat):
    import pandas
    print(f"tables: {path.name}, rows catalog.book, five columns (fresh process each, best of {repeat})")
    figures, frames = {}, {}
    for which in ["quorbix", "pandas", "pandas-etree"]:
        runs = []
        for r in range(repeat if which == "quorbix" else 1):
            out = HERE / f".frame-{which}.pickle"
            done = subprocess.run([sys.executable, __file__, "--table-child", which, str(path), str(out)],
                                  capture_output=True, text=True, check=True)
            runs.append(json.loads(done.stdout.splitlines()[-1]))
            with open(out, "rb") as file:
                frames[which] = pickle.load(file)
            out.unlink()
        figures[which] = min(runs, key=lambda f: f["seconds"])
        f = figures[which]
        print(f"  {which + '.read_xml':22s} {f['seconds'] * 1000:9.0f} ms, "
              f"peak {f['peak_mib']:7.0f} MiB (+{f['peak_mib'] - f['start_mib']:.0f})", flush=True)
    q = figures["quorbix"]
    for peer in ["pandas", "pandas-etree"]:
        p = figures[peer]
        equal = frames["quorbix"].equals(frames[peer])
        print(f"  against {peer}: quorbix is {p['seconds'] / q['seconds']:.1f}x faster, at "
              f"{(q['peak_mib'] - q['start_mib']) / (p['peak_mib'] - p['start_mib']):.2f} of its "
              f"added peak memory; the frames are {'equal' if equal else 'NOT equal'}", flush=True)


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
