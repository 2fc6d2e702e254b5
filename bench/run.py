"""Times quorbix against pugixml, lxml and expat (and, with --all, ElementTree) on the same bytes.

Usage: python bench/run.py [--size MEGABYTES] [--repeat N] [--only SUBSTRING] [--all]
                           [--plot FILE]

Every case runs each library on the same document and the same question, N
rounds each, each library in a fresh process of its own, so that none is timed
in a state another left behind (a heap grown by a tree, a warm cache). The best
and the median are reported, with MB/s where the whole document is read, the
ratio (of the best times) saying how many times faster quorbix is, and, for
whole-document questions, quorbix's speed as a fraction of the memchr floor:
the time `bytes.find` takes to look for a byte the document does not hold,
which reads every byte once and does nothing else. Peak memory of a
whole-document query is measured in fresh processes too. --plot writes a chart
of MB/s per question and library (matplotlib, the bench extra).
"""

import argparse
import json
import statistics
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
import xml.parsers.expat
from pathlib import Path

import quorbix

try:
    from lxml import etree as lxml_etree
except ImportError:  # pragma: no cover - the bench extra installs it
    lxml_etree = None

try:
    from pugixml import pugi
except ImportError:  # pragma: no cover - the bench extra installs it
    pugi = None

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import gen_feed  # noqa: E402
import gen_osm  # noqa: E402
from gen_catalog import DC, TEN_QUESTIONS, generate, small_document  # noqa: E402
NS = {"dc": DC}


def timings(fn, repeat):
    """The best and the median of `repeat` rounds, in seconds."""
    rounds = []
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        rounds.append(time.perf_counter() - start)
    return min(rounds), statistics.median(rounds)


def expat_parse(data):
    parser = xml.parsers.expat.ParserCreate()
    parser.Parse(data, True)


def pugixml_tree(data):
    """pugixml's document tree of `data` (the tree is freed with the object)."""
    document = pugi.XMLDocument()
    document.load_buffer(data, len(data))
    return document


def pugixml_select(data, xpath, answer):
    """`answer` of the nodes `xpath` selects in pugixml's tree of `data`. The tree
    is held while they are read: nodes do not keep their document alive."""
    document = pugixml_tree(data)
    return answer(document.select_nodes(xpath))


def loop(fn, times):
    def run():
        for _ in range(times):
            fn()

    return run


FIRST_QUESTIONS = ["catalog.book.#.dc:title|@first", "catalog.book.#.price|@first",
                   "catalog.book.#.@id|@first"]


def first_answers_cases(data, small):
    """|@first questions answered near the start: the rest is never read."""
    for label, doc in (("small", small.decode()), ("whole", data.decode())):
        yield (f"|@first near the start, {len(doc) / 1e6:.1f} MB str (get_many)", False,
               [("quorbix.get_many", lambda doc=doc: quorbix.get_many(doc, FIRST_QUESTIONS))])


def cases(data, small):
    """(name, whole document read?, [(library, callable)]): quorbix first, then its peers."""
    lx = lxml_etree

    def peers(xpath, et_query):
        out = []
        if pugi is not None:
            out.append(("pugixml load+select_nodes",
                        lambda: pugixml_select(data, xpath, lambda nodes: nodes.size())))
        if lx is not None:
            out.append(("lxml fromstring+xpath", lambda: lx.fromstring(data).xpath(xpath, namespaces=NS)))
        out.append(("ElementTree fromstring+find", lambda: et_query(ET.fromstring(data))))
        return out

    yield "validate the whole document", True, [
        ("quorbix.validate", lambda: quorbix.validate(data)),
        *([("pugixml load_buffer (parse)", lambda: pugixml_tree(data))] if pugi is not None else []),
        *([("lxml.etree.fromstring", lambda: lx.fromstring(data))] if lx is not None else []),
        ("ElementTree.fromstring", lambda: ET.fromstring(data)),
        ("expat (no handlers)", lambda: expat_parse(data)),
    ]
    yield "every price: catalog.book.#.price", True, [
        ("quorbix.get_bytes", lambda: quorbix.get_bytes(data, "catalog.book.#.price")),
        *peers("/catalog/book/price", lambda root: root.findall("book/price")),
    ]
    yield "near the start: catalog.book.10.dc:title", False, [
        ("quorbix.get_bytes", lambda: quorbix.get_bytes(data, "catalog.book.10.dc:title").to_str()),
        # ElementTree's positional predicate is quadratic; index the list instead.
        *peers("/catalog/book[11]/dc:title", lambda root: root.findall("book")[10].find(f"{{{DC}}}title")),
    ]
    yield "recursive: **.tag", True, [
        ("quorbix.get_bytes", lambda: quorbix.get_bytes(data, "**.tag")),
        *peers("//tag", lambda root: list(root.iter("tag"))),
    ]
    yield 'attribute filter: catalog.book.#(@lang=="de")#.dc:title', True, [
        ("quorbix.get_bytes", lambda: quorbix.get_bytes(data, 'catalog.book.#(@lang=="de")#.dc:title')),
        *peers('/catalog/book[@lang="de"]/dc:title',
               lambda root: root.findall(f"book[@lang='de']/{{{DC}}}title")),
    ]
    # Ten questions about the whole document: one pass for all of them.
    def lxml_ten(data):
        root = lx.fromstring(data)
        prices = [float(t) for t in root.xpath("/catalog/book/price/text()")]
        return [root.xpath("count(/catalog/book)"), sum(prices), max(prices),
                root.xpath('count(/catalog/book[@lang="de"])'), root.xpath("count(//tag)"),
                root.xpath("/catalog/book[price>119.5]/@id"), root.xpath("count(/catalog/book/note)"),
                root.xpath('count(/catalog/book[starts-with(author,"Ember")]/dc:title)', namespaces=NS),
                root.xpath("count(/catalog/book/description)"), min(prices)]

    ten_runs = [("quorbix.get_many_bytes", lambda: quorbix.get_many_bytes(data, TEN_QUESTIONS)),
                ("quorbix.get_bytes, one of them", lambda: quorbix.get_bytes(data, TEN_QUESTIONS[1])),
                ("quorbix.get_bytes x 10", lambda: [quorbix.get_bytes(data, p) for p in TEN_QUESTIONS])]
    if lx is not None:
        ten_runs.append(("lxml fromstring + 10 queries", lambda: lxml_ten(data)))
    yield "10 questions in one pass (get_many_bytes)", True, ten_runs

    prices = [("quorbix: for r in get_bytes(...): r.to_float()",
               lambda: [r.to_float() for r in quorbix.get_bytes(data, "catalog.book.#.price")])]
    if pugi is not None:
        prices.append(("pugixml load+select_nodes, float(child_value())", lambda: pugixml_select(
            data, "/catalog/book/price", lambda nodes: [float(x.node().child_value()) for x in nodes])))
    if lx is not None:
        prices.append(("lxml fromstring+xpath, float(e.text)",
                       lambda: [float(e.text) for e in lx.fromstring(data).xpath("/catalog/book/price")]))
    yield "every price as a float, iterating the Result", True, prices

    wide = ("<r>" + "".join(f"<c{i % 10_000}>{i}</c{i % 10_000}>" for i in range(10_000)) + "</r>").encode()
    wide_runs = [("quorbix: dict(r.items())", lambda: dict(quorbix.get_bytes(wide, "r").items()))]
    if lx is not None:
        wide_runs.append(("lxml: {e.tag: e for e in root}", lambda: {e.tag: e for e in lx.fromstring(wide)}))
    yield "an element with 10,000 children as a dict", False, wide_runs

    text = small.decode()
    calls = 10_000
    small_peers = [("quorbix.get(...).to_str()",
                    loop(lambda: quorbix.get(text, "catalog.book.0.dc:title").to_str(), calls))]
    if pugi is not None:
        small_peers.append(("pugixml load+select_node+child_value", loop(
            lambda: pugixml_select(small, "/catalog/book[1]/dc:title",
                                   lambda nodes: nodes.first().node().child_value()), calls)))
    if lx is not None:
        small_peers.append(("lxml fromstring+xpath+text", loop(
            lambda: lx.fromstring(small).xpath("/catalog/book[1]/dc:title", namespaces=NS)[0].text, calls)))
    small_peers.append(("ElementTree fromstring+find", loop(
        lambda: ET.fromstring(small).find(f"book/{{{DC}}}title").text, calls)))
    yield f"per call on a {len(small)} byte document, {calls} calls", False, small_peers


def encoding_cases(size):
    """The same questions over documents in a legacy encoding and in UTF-16; each
    document is made only when its case is reached."""
    legacy_path = HERE / f"catalog-{size}mb-windows-1251.xml"
    if not legacy_path.exists():
        generate(legacy_path, size, encoding="windows-1251")
    lx = lxml_etree
    for label in ("windows-1251", "UTF-16"):
        if label == "UTF-16":
            data = (HERE / f"catalog-{size}mb.xml").read_text(encoding="utf-8").replace(
                'encoding="UTF-8"', 'encoding="UTF-16"').encode("utf-16")
        else:
            data = legacy_path.read_bytes()
        runs = [("quorbix.get_bytes", lambda data=data: [
            t.to_str() for t in quorbix.get_bytes(data, "catalog.book.#.dc:title.#text").value])]
        if pugi is not None and label == "UTF-16":  # pugixml does not read windows-1251
            runs.append(("pugixml load+select_nodes+child_value", lambda data=data: pugixml_select(
                data, "/catalog/book/dc:title", lambda nodes: [x.node().child_value() for x in nodes])))
        if lx is not None:
            runs.append(("lxml fromstring+xpath+text", lambda data=data: [
                e.text for e in lx.fromstring(data).xpath("/catalog/book/dc:title", namespaces=NS)]))
        runs.append(("ElementTree fromstring+findall", lambda data=data: [
            e.text for e in ET.fromstring(data).findall(f"book/{{{DC}}}title")]))
        yield f"{label} document: every title as str", len(data) / 1e6, runs


# Documents of other shapes, a fifth of the catalog's size (a tree of one takes
# lxml as long as the catalog's): (case, file, generator, path, XPath,
# ElementTree's answer).
OTHER_DOCUMENTS = [
    ("OpenStreetMap-like document, attribute-heavy: every node's lat, osm.node.#.@lat", "osm",
     gen_osm, "osm.node.#.@lat", "/osm/node/@lat",
     lambda root: [node.get("lat") for node in root.findall("node")]),
    ("RSS feed of long descriptions: every title, rss.channel.item.#.title", "feed",
     gen_feed, "rss.channel.item.#.title", "/rss/channel/item/title",
     lambda root: root.findall("channel/item/title")),
]


def other_document_cases(args):
    """One question over each other document; a document is made and read only
    when its case is asked for."""
    lx = lxml_etree
    for name, file, generator, question, xpath, et_query in OTHER_DOCUMENTS:
        if args.only not in name:
            continue
        size = max(1, args.size // 5)
        path = HERE / f"{file}-{size}mb.xml"
        if not path.exists():
            status(f"generating {path.name} ...")
            generator.generate(path, size)
        data = path.read_bytes()
        runs = [("quorbix.get_bytes", lambda data=data, q=question: quorbix.get_bytes(data, q))]
        if pugi is not None:
            runs.append(("pugixml load+select_nodes", lambda data=data, x=xpath: pugixml_select(
                data, x, lambda nodes: nodes.size())))
        if lx is not None:
            runs.append(("lxml fromstring+xpath", lambda data=data, x=xpath: lx.fromstring(data).xpath(x)))
        runs.append(("ElementTree fromstring+findall",
                     lambda data=data, q=et_query: q(ET.fromstring(data))))
        yield name, len(data) / 1e6, runs


def peak_memory(path, library):
    """Peak RSS (MiB) of a fresh process that reads the document and answers every price."""
    # The peak is read from /proc (VmHWM): it starts afresh at exec, unlike
    # ru_maxrss, which a child inherits from the large process that forked it.
    program = f"""
def peak():
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) / 1024
data = open({str(path)!r}, "rb").read()
before = peak()
if {library!r} == "quorbix":
    import quorbix
    result = quorbix.get_bytes(data, "catalog.book.#.price")
else:
    from lxml import etree
    result = etree.fromstring(data).xpath("/catalog/book/price")
after = peak()
count = len(result) if isinstance(result, list) else len(result.value)
print(before, after, count)
"""
    out = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, check=True)
    before, after, count = out.stdout.split()
    return float(before), float(after), int(count)


INTERRUPTED_CALLS = {
    "get_bytes, every price": 'quorbix.get_bytes(data, "catalog.book.#.price")',
    "records, title and price": 'quorbix.records(data, "catalog.book", {"t": "dc:title", "p": "price"})',
    "validate": "quorbix.validate(data)",
}


def interrupt_delay(path, call):
    """The time (s) a whole `call` takes, and the time from a SIGINT sent a third
    of the way through it to its KeyboardInterrupt, in a fresh process."""
    program = f"""
import os, signal, threading, time
import quorbix
data = open({str(path)!r}, "rb").read()
start = time.perf_counter()
{call}
whole = time.perf_counter() - start
sent = []
def interrupt():
    sent.append(time.perf_counter())
    os.kill(os.getpid(), signal.SIGINT)
threading.Timer(whole / 3, interrupt).start()
try:
    try:
        {call}
        time.sleep(whole)  # the call ended first: the interrupt comes here
    except KeyboardInterrupt:
        print(whole, time.perf_counter() - sent[0])
except KeyboardInterrupt:
    print(whole, time.perf_counter() - sent[0])
"""
    out = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, check=True)
    whole, delay = out.stdout.split()
    return float(whole), float(delay)


def status(text):
    print(text, file=sys.stderr, flush=True)


def plot(rows, path):
    """A horizontal bar chart of MB/s per question, one bar per library (its
    first way of answering each question)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    firsts = {}
    for question, library, rate in rows:
        family = library.replace(":", " ").replace(".", " ").split()[0]
        firsts.setdefault((question, family), rate)
    rows = [(question, family, rate) for (question, family), rate in firsts.items()]

    questions = list(dict.fromkeys(question for question, _, _ in rows))
    libraries = list(dict.fromkeys(library for _, library, _ in rows))
    height = 0.8 / len(libraries)
    fig, ax = plt.subplots(figsize=(10, 1 + 0.9 * len(questions)))
    for k, library in enumerate(libraries):
        rates = {q: rate for q, lib, rate in rows if lib == library}
        ys = [i + k * height for i, q in enumerate(questions) if q in rates]
        ax.barh(ys, [rates[q] for q in questions if q in rates], height, label=library)
    ax.set_yticks([i + 0.4 - height / 2 for i in range(len(questions))], questions, fontsize=8)
    ax.invert_yaxis()
    ax.set_xlabel("MB/s (higher is better)")
    ax.set_title("The same question over the same bytes: parse or scan, then answer")
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(path, dpi=110)


FLOOR = "memchr floor: bytes.find of an absent byte"


def every_case(args, data):
    """(name, megabytes read or 0, [(library, callable)]) for each case, in order."""
    small = small_document()
    megabytes = len(data) / 1e6
    yield FLOOR, megabytes, [("bytes.find", lambda: data.find(b"\0"))]
    for name, whole, runs in cases(data, small):
        yield name, megabytes if whole else 0, runs
    for name, _, runs in first_answers_cases(data, small):
        yield name, 0, runs
    yield from other_document_cases(args)
    if not args.only or "document" in args.only:
        yield from encoding_cases(args.size)


def time_in_child(args, case, run):
    """Best and median of one library on one case, timed in a fresh process."""
    command = [sys.executable, __file__, "--size", str(args.size), "--repeat", str(args.repeat),
               "--child", case, str(run)] + (["--only", args.only] if args.only else [])
    out = subprocess.run(command, capture_output=True, text=True)
    if out.returncode != 0:
        raise SystemExit(f"{case} / run {run} failed:\n{out.stderr}")
    times = json.loads(out.stdout.splitlines()[-1])
    return times["best"], times["median"]


def child(args, data):
    """The --child mode: time one run of one case and print its figures."""
    case, run = args.child[0], int(args.child[1])
    for name, _, runs in every_case(args, data):
        if name == case:
            best, median = timings(runs[run][1], args.repeat)
            print(json.dumps({"best": best, "median": median}))
            return
    raise SystemExit(f"no case {case!r}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=100, help="document size in MB")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--only", default="", help="run the cases whose name holds this text")
    parser.add_argument("--all", action="store_true", help="ElementTree too (slow)")
    parser.add_argument("--plot", metavar="FILE", help="write a chart of MB/s per question")
    parser.add_argument("--child", nargs=2, metavar=("CASE", "RUN"), help=argparse.SUPPRESS)
    args = parser.parse_args()

    path = HERE / f"catalog-{args.size}mb.xml"
    if not path.exists():
        status(f"generating {path.name} ...")
        generate(path, args.size)
    data = path.read_bytes()
    if args.child:
        return child(args, data)
    print(f"document: {path.name}, {len(data) / 1e6:.1f} MB, best and median of {args.repeat}, "
          "each library in a fresh process\n", flush=True)
    rows = []
    floor = None
    for name, size_mb, runs in every_case(args, data):
        if name != FLOOR and args.only not in name:
            continue
        print(name, flush=True)
        ours = None
        for run, (library, _) in enumerate(runs):
            if library.startswith("ElementTree") and not args.all:
                continue
            status(f"  timing {library} ...")
            best, median = time_in_child(args, name, run)
            rate = f"{size_mb / best:9.1f} MB/s" if size_mb else " " * 14
            if name == FLOOR:
                floor = size_mb / best
                note = ""
            elif ours is None:
                ours = best
                note = f"   {size_mb / best / floor:5.2f} of memchr" if size_mb and floor else ""
            else:
                note = f"   quorbix is {best / ours:6.1f}x faster"
            print(f"  {library:34s} {best * 1000:10.3f} ms (median {median * 1000:10.3f}) "
                  f"{rate}{note}", flush=True)
            if size_mb and name != FLOOR:
                rows.append((name, library, size_mb / best))
        print(flush=True)

    if not args.only or "memory" in args.only:
        print("peak memory answering every price (document read first)")
        libraries = ["quorbix"] + (["lxml"] if lxml_etree is not None else [])
        for library in libraries:
            before, after, count = peak_memory(path, library)
            print(f"  {library:30s} document loaded {before:8.1f} MiB, peak {after:8.1f} MiB "
                  f"(+{after - before:.1f} MiB for {count} matches)", flush=True)

    if not args.only or "interrupt" in args.only:
        print("Ctrl-C during a scan: SIGINT a third of the way through, to KeyboardInterrupt")
        for name, call in INTERRUPTED_CALLS.items():
            whole, delay = interrupt_delay(path, call)
            print(f"  {name:34s} {delay * 1000:10.3f} ms (the whole call {whole * 1000:10.3f} ms)",
                  flush=True)

    if args.plot:
        plot(rows, args.plot)
        status(f"chart written to {args.plot}")


if __name__ == "__main__":
    main()
