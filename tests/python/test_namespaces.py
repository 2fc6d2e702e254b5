"""Paths under a namespaces= mapping, compared with lxml's XPath over generated documents
that write one namespace many ways, and over feeds as they are published."""

import io
import pickle
import random
import subprocess
import sys

import pytest
from lxml import etree

import quorbix

URIS = ["urn:x:one", "urn:x:two", "http://example.com/three"]
PREFIXES = ["a", "b", "c", "d"]
VALUES = ["red", "blue", "7"]


class Doc:
    """Each element's namespace is drawn (most often its name's favourite), then how to write
    it: a prefix in scope, a new or shadowing prefix, a default namespace, xmlns=""."""

    def __init__(self, rng):
        self.rng, self.n = rng, 0
        self.fav = {name: rng.choice(URIS + [None]) for name in ("root", "item", "v", "k", "g")}
        self.text = self.element({}, "root", 0)

    def start(self, scope, local, uri):
        rng, decls = self.rng, {}
        if uri is None:
            prefix = ""
            if scope.get("") or rng.random() < 0.2:
                decls[""] = ""
        else:
            prefix = rng.choice([p for p, u in scope.items() if u == uri] + ["new", "new", ""])
            prefix = rng.choice(PREFIXES) if prefix == "new" else prefix
            if scope.get(prefix) != uri:
                decls[prefix] = uri
        used = {prefix}
        for p in rng.sample(PREFIXES + [""], rng.randrange(3)):
            if p not in used:
                decls[p] = rng.choice(URIS + [""] * (p == ""))
                used.add(p)
        inner, attrs = {**scope, **decls}, []
        for name in ("x", "t"):
            if rng.random() < 0.5:
                attrs.append((name, rng.choice(VALUES)))
            for u in rng.sample(URIS, rng.randrange(3)):  # never two of one name in one namespace
                have = [p for p, v in inner.items() if p and v == u]
                free = [p for p in PREFIXES if p not in used]
                if have or free:
                    p = rng.choice(have or free)
                    decls[p] = inner[p] = u
                    used.add(p)
                    attrs.append((f"{p}:{name}", rng.choice(VALUES)))
        if rng.random() < 0.15:
            attrs.append(("xml:lang", rng.choice(["en", "fr"])))
        written = [f'xmlns{":" * bool(p)}{p}="{u}"' for p, u in decls.items()]
        written += [f'{a}="{v}"' for a, v in attrs]
        rng.shuffle(written)  # a declaration may follow the attributes that use it
        return f"{prefix}:{local}" if prefix else local, "".join(" " + p for p in written), inner

    def element(self, scope, local, depth):
        rng = self.rng
        fav = local == "root" or rng.random() < 0.75
        qname, rest, inner = self.start(scope, local, self.fav[local] if fav else rng.choice(URIS + [None]))
        if local in ("v", "k"):
            self.n += 1
            body = f"v{self.n}" + "&amp;" * (rng.random() < 0.2) if local == "v" else rng.choice(VALUES)
        else:
            kids = {"root": ["item"] * rng.randint(3, 6), "item": ["v"] * rng.randint(1, 3)
                    + ["k"] * rng.randrange(3) + ["g"] * rng.randrange(2),
                    "g": ["v"] * rng.randrange(3) + ["g"] * (depth < 3 and rng.random() < 0.6)}[local]
            rng.shuffle(kids)
            body = rng.choice(["", "\n "]).join(self.element(inner, k, depth + 1) for k in kids)
        return f"<{qname}{rest}>{body}</{qname}>"


def mapping(rng):
    """Every URI under a prefix or two, now and then the empty prefix too."""
    names = rng.sample(["p", "q", "a", "b", "s", "t"], 5)
    ns = dict(zip(names, URIS + [rng.choice(URIS) for _ in names[3:]]))
    empty = rng.choice([None, None, "", *URIS])
    return ns if empty is None else {**ns, "": empty}


def step(rng, ns, local, uri, bound=False):
    """A step naming `local`, most often one that matches the namespace `uri` (when
    `bound`, one the mapping resolves), and the XPath step selecting the same elements."""
    prefixes, plain = [p for p in ns if p], not bound or "" in ns
    if rng.random() < 0.8:
        plain = plain and ns.get("", uri or "") == (uri or "")
        prefixes = [p for p in prefixes if ns[p] == uri] or ([] if plain else prefixes)
    if prefixes and (not plain or rng.random() < 0.6):
        p = rng.choice(prefixes)
        return f"{p}:{local}", f"{p}:{local}"
    uri_test = f" and namespace-uri()='{ns['']}'" if "" in ns else ""
    return local, f"*[local-name()='{local}'{uri_test}]"


def steps(rng, ns, fav):
    r = step(rng, ns, "root", fav["root"])
    p = rng.choice([p for p in ns if p] + ["", "", "xml"])
    a = f"@{p}:lang" if p == "xml" else f"@{p}:{rng.choice('xt')}" if p else f"@{rng.choice('xt')}"
    return [r, step(rng, ns, "item", fav["item"], bound=":" not in r[0])] + [
        step(rng, ns, n, fav[n]) for n in ("v", "k", "g")] + [(a, a)]


def expected(node, xpath, ns):
    found = node.xpath(xpath, namespaces={p: u for p, u in ns.items() if p})
    if isinstance(found, float):
        return int(found)
    return [x if isinstance(x, str) else x.text for x in found]


def answer(result, want):
    return result.to_int() if isinstance(want, int) else result.to_strs()


@pytest.mark.parametrize("seed", range(25))
def test_generated_documents_answer_as_lxml_does(seed):
    rng = random.Random(seed)
    made, ns = Doc(rng), mapping(rng)
    doc, tree, data = made.text, etree.fromstring(made.text), made.text.encode()
    (r, xr), (i, xi), (v, xv), (k, xk), (g, xg), (a, xa) = steps(rng, ns, made.fav)
    val, (d, xd) = rng.choice(VALUES), rng.choice([(v, xv), (k, xk)])
    pairs = [(f"{r}.{i}.#.{v}", f"/{xr}/{xi}/{xv}"), (f"{r}.{i}.#.{a}", f"/{xr}/{xi}/{xa}"),
             (f"**.{d}", f"//{xd}"), (f"**.{g}|@count", f"count(//{xg}[not(ancestor::{xg})])"),
             (f"{r}.{i}.#({k}=='{val}')#.{v}", f"/{xr}/{xi}[{xk}[1]='{val}']/{xv}"),
             (f"{r}.{i}.#({a}=='{val}')#.{k}", f"/{xr}/{xi}[{xa}='{val}']/{xk}"),
             (f"{r}.{i}.#({k}.#>0)#.{a}", f"/{xr}/{xi}[{xk}]/{xa}"),
             (f"{r}.{i}.#", f"count(/{xr}/{xi})"), (f"{r}.{i}.#.{g}.#.{v}", f"/{xr}/{xi}/{xg}/{xv}")]
    wants = [expected(tree, x, ns) for _, x in pairs]
    roads = [lambda p: quorbix.get(doc, p, namespaces=ns),
             lambda p: quorbix.get_bytes(data, p, namespaces=ns),
             lambda p: quorbix.get_buffer(bytearray(data), p, namespaces=ns),
             lambda p: quorbix.compile(p, ns).get(doc)]
    for (path, _), want in zip(pairs, wants):
        assert [answer(road(path), want) for road in roads] == [want] * 4, (doc, ns, path)
        streamed = [s.to_str() for s in quorbix.stream(doc, path, namespaces=ns, piece_size=50)]
        # A count whose parent step matched nothing is no answer, for get and stream alike.
        counted = roads[0](path).to_strs()
        assert streamed == (counted if isinstance(want, int) else want), (doc, ns, path)
    many = quorbix.get_many(doc, [p for p, _ in pairs], namespaces=ns)
    assert [answer(r, w) for r, w in zip(many, wants)] == wants, (doc, ns)

    # Relative to each item, found with the mapping (by every road) and without one. The
    # rows' path names a namespace (rows whose every step is lenient are tested below).
    (r, xr), (i, xi), (v, xv), (k, xk), (g, xg), (a, xa) = steps(rng, ns, made.fav)
    items = tree.xpath(f"/{xr}/{xi}", namespaces={p: u for p, u in ns.items() if p})
    inner = [(v, xv), (a, xa), (f"{g}.#.{v}", f"{xg}/{xv}"), (f"{k}.#", f"count({xk})"),
             (f"**.{v}", f".//{xv}")]
    streamed = list(quorbix.stream(doc, f"{r}.{i}", namespaces=ns, piece_size=50))
    assert len(streamed) == len(items), (doc, ns, r, i)
    for n, item in enumerate(items):
        wants = [expected(item, x, ns) for _, x in inner]
        for road, found in enumerate([quorbix.get(doc, f"{r}.{i}.{n}", namespaces=ns), streamed[n],
                                      quorbix.get_buffer(bytearray(data), f"{r}.{i}.{n}", namespaces=ns),
                                      quorbix.get_bytes(data, f"root.item.{list(tree).index(item)}")]):
            got = [answer(found.get(p, namespaces=ns), w) for (p, _), w in zip(inner, wants)]
            assert got == wants, (doc, ns, r, i, n, road)
            many = found.get_many([p for p, _ in inner], namespaces=ns)
            assert [answer(m, w) for m, w in zip(many, wants)] == wants, (doc, ns, r, i, n, road)

    columns = dict(zip(["v", "attr", "gv", "kn"], (p for p, _ in inner)))
    rows = [[expected(item, x, ns) for _, x in inner[:4]] for item in items]
    rows = [{"v": (v_ or [None])[0], "attr": (a_ or [None])[0], "gv": gv, "kn": str(kn)}
            for v_, a_, gv, kn in rows]
    assert quorbix.records(doc, f"{r}.{i}", columns, namespaces=ns) == rows, (doc, ns, r, i)
    streamed = quorbix.stream_records(doc, f"{r}.{i}", columns, namespaces=ns, piece_size=50)
    assert list(streamed) == rows, (doc, ns, r, i)


MRSS, ATOM = "http://search.yahoo.com/mrss/", "http://www.w3.org/2005/Atom"
POM, XSI = "http://maven.apache.org/POM/4.0.0", "http://www.w3.org/2001/XMLSchema-instance"
RSS = f"""<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0" xmlns:media="{MRSS}" xmlns:atom="{ATOM}"><channel><title>News</title>
<atom:link href="https://example.com/rss" rel="self" type="application/rss+xml"/>
<link>https://example.com/</link>
<item><title>Story one</title><link>https://example.com/1</link><media:content
 url="https://example.com/1.jpg"><media:title>Photo one</media:title></media:content></item>
<item><title>Story two</title><media:title>Photo two</media:title></item></channel></rss>"""


def atom(f, e, feed_decl, entry_decl):
    entries = "".join(f'<{e}entry{entry_decl}><{e}id>urn:{n}</{e}id><{e}title>{t}</{e}title><o:title>'
                      f'other {n}</o:title><{e}link href="https://e/{n}"/></{e}entry>'
                      for n, t in ((1, "First"), (2, "Second")))
    return f'<{f}feed{feed_decl} xmlns:o="urn:other"><{f}title>F</{f}title>{entries}</{f}feed>'


ATOMS = [atom("a:", "a:", f' xmlns:a="{ATOM}"', ""), atom("", "", f' xmlns="{ATOM}"', ""),
         atom("", "x:", f' xmlns="{ATOM}"', f' xmlns:x="{ATOM}"'),
         atom("f:", "", f' xmlns:f="{ATOM}"', f' xmlns="{ATOM}"')]
POM_DOC = f"""<?xml version="1.0" encoding="UTF-8"?>
<project xmlns="{POM}" xmlns:xsi="{XSI}"
    xsi:schemaLocation="{POM} https://maven.apache.org/xsd/maven-4.0.0.xsd">
  <modelVersion>4.0.0</modelVersion><groupId>org.example</groupId><version>1.2.3</version>
  <dependencies>
    <dependency><groupId>junit</groupId><artifactId>junit</artifactId><version>4.13.2</version>
      <scope>test</scope></dependency>
    <dependency><groupId>org.slf4j</groupId><artifactId>slf4j-api</artifactId>
      <version>2.0.9</version></dependency>
  </dependencies>
</project>"""


def test_rss_with_media_rss():
    plain, media, item = {"": ""}, {"": "", "m": MRSS, "at": ATOM}, "rss.channel.item"
    assert quorbix.get(RSS, f"{item}.#.title").to_strs() == ["Story one", "Story two", "Photo two"]
    assert quorbix.get(RSS, f"{item}.#.title", namespaces=plain).to_strs() == ["Story one", "Story two"]
    assert quorbix.get(RSS, "rss.channel.link").to_strs() == ["", "https://example.com/"]
    assert quorbix.get(RSS, "rss.channel.link", namespaces=plain).to_strs() == ["https://example.com/"]
    assert quorbix.get(RSS, "rss.channel.at:link.@href", namespaces=media) == "https://example.com/rss"
    assert quorbix.get(RSS, "**.m:title", namespaces=media).to_strs() == ["Photo one", "Photo two"]
    assert quorbix.records(RSS, item, {"title": "title", "photo": "**.m:title"}, namespaces=media) == [
        {"title": "Story one", "photo": "Photo one"}, {"title": "Story two", "photo": "Photo two"}]


@pytest.mark.parametrize("doc", ATOMS)
def test_atom_written_any_way_answers_alike(doc):
    ns, tree, entry = {"a": ATOM}, etree.fromstring(doc), "a:feed.a:entry"
    for path, xpath in [(f"{entry}.#.a:title", "/a:feed/a:entry/a:title"),
                        ("**.a:title", "//a:title"),
                        (f"{entry}.#.a:link.@href", "/a:feed/a:entry/a:link/@href"),
                        (f"{entry}.#(a:id=='urn:2')#.a:title", "//a:entry[a:id='urn:2']/a:title")]:
        assert quorbix.get(doc, path, namespaces=ns).to_strs() == expected(tree, xpath, ns), path
    assert quorbix.get(doc, f"{entry}.#.a:title", namespaces=ns) == ["First", "Second"]
    assert quorbix.get(doc, "feed.entry.#.title", namespaces={"": ATOM}) == ["First", "Second"]
    columns = {"title": "a:title", "href": "a:link.@href", "id": "a:id"}
    assert quorbix.table(doc, entry, columns, namespaces=ns).column("title") == ["First", "Second"]
    assert quorbix.records(doc, entry, columns, namespaces=ns) == [
        {"title": "First", "href": "https://e/1", "id": "urn:1"},
        {"title": "Second", "href": "https://e/2", "id": "urn:2"}]


def test_maven_pom_read_by_its_default_namespace():
    m, data, dependency = {"m": POM}, POM_DOC.encode(), "m:project.m:dependencies.m:dependency"
    for path, xpath in [("m:project.m:version", "/m:project/m:version"), ("**.m:version", "//m:version"),
                        (f"{dependency}.#.m:artifactId", "//m:dependency/m:artifactId"),
                        (f"{dependency}.#(m:scope=='test')#.m:artifactId",
                         "//m:dependency[m:scope='test']/m:artifactId")]:
        want = expected(etree.fromstring(data), xpath, m)
        assert quorbix.get_bytes(data, path, namespaces=m).to_strs() == want, path
    assert quorbix.get(POM_DOC, "project.version", namespaces={"": POM}) == "1.2.3"
    assert not quorbix.get(POM_DOC, "project.version", namespaces={"": ""}).exists()
    location = quorbix.get(POM_DOC, "m:project.@x:schemaLocation", namespaces={**m, "x": XSI})
    assert location.to_str().startswith(POM + " https://")
    columns = {"group": "m:groupId", "artifact": "m:artifactId", "version": "m:version",
               "scope": "m:scope"}
    assert quorbix.records(POM_DOC, dependency, columns, namespaces=m) == [
        {"group": "junit", "artifact": "junit", "version": "4.13.2", "scope": "test"},
        {"group": "org.slf4j", "artifact": "slf4j-api", "version": "2.0.9", "scope": None}]


def test_a_prefix_the_mapping_does_not_bind_is_named_and_a_mapping_must_be_a_dict():
    doc, ns = ATOMS[0], {"a": ATOM}
    for call in [lambda: quorbix.get(doc, "a:feed.z:entry", namespaces=ns),
                 lambda: quorbix.compile("a:feed.@z:x", ns),
                 lambda: quorbix.get_many(doc, ["a:feed", "a:feed.a:entry.#(z:id=='1')#"], namespaces=ns),
                 lambda: quorbix.get(doc, "a:feed", namespaces=ns).get("a:entry.0.z:id", namespaces=ns),
                 lambda: quorbix.records(doc, "a:feed.a:entry", {"c": "z:id"}, namespaces=ns),
                 lambda: list(quorbix.stream(doc, "**.z:id", namespaces=ns))]:
        with pytest.raises(ValueError, match="prefix not in namespaces: z"):
            call()
    assert not quorbix.get(doc, "z:feed").exists()  # without a mapping a prefix is only text
    assert quorbix.get('<r xml:lang="en"/>', "r.@xml:lang", namespaces=ns) == "en"
    for bad in ([("a", ATOM)], "a=" + ATOM, {"a": 1}, {1: ATOM}):
        for call in [lambda: quorbix.get(doc, "a:feed", namespaces=bad), lambda: quorbix.compile("a:feed", bad),
                     lambda: quorbix.records(doc, "a:feed.a:entry", {"c": "a:id"}, namespaces=bad)]:
            with pytest.raises(TypeError):
                call()


def test_compiled_paths_are_keyed_on_their_mapping():
    doc = '<r xmlns:a="urn:1" xmlns:b="urn:2" b:x="2"><a:e>one</a:e><b:e>two</b:e><e>three</e></r>'
    for _ in range(2):
        assert quorbix.get(doc, "r.p:e", namespaces={"p": "urn:1"}) == "one"
        assert quorbix.get(doc, "r.p:e", namespaces={"p": "urn:2"}) == "two"
        assert quorbix.get(doc, "r.e", namespaces={"": ""}) == "three"
        assert quorbix.get(doc, "**.e", namespaces={"": "urn:2"}) == "two"
        assert not quorbix.get(doc, "r.e", namespaces={"": "urn:2"}).exists()  # r is in no namespace
        assert quorbix.get(doc, "r.e").to_strs() == ["one", "two", "three"]
        assert quorbix.get(doc, "r.@x") == "2" and not quorbix.get(doc, "r.@x", namespaces={}).exists()
        r = quorbix.get(doc, "r", namespaces={"p": "urn:2"})
        assert r.get("p:e", namespaces={"p": "urn:1"}) == "one" and r.get("p:e") == []
    paths = {u: quorbix.compile("r.p:e", {"p": u}) for u in ("urn:1", "urn:2")}
    back = {u: pickle.loads(pickle.dumps(path)) for u, path in paths.items()}
    assert [back[u].get(doc).to_str() for u in back] == ["one", "two"]
    many = quorbix.get_many(doc, [back["urn:2"], paths["urn:1"], "r.e"])
    assert many == ["two", "one", ["one", "two", "three"]]


def test_command_line_binds_prefixes(tmp_path):
    def run(*args):
        done = subprocess.run([sys.executable, "-m", "quorbix", *args], capture_output=True, text=True)
        return done.returncode, done.stdout, done.stderr

    files = [tmp_path / f"{n}.xml" for n in range(len(ATOMS))]
    for file, doc in zip(files, ATOMS):
        file.write_text(doc)
    args = ["-N", f"a={ATOM}", "-e", "a:feed.a:entry.#.a:title", "-e", "**.a:link.@href"]
    assert [run(*args, str(file)) for file in files] == [
        (0, "1:First\n1:Second\n2:https://e/1\n2:https://e/2\n", "")] * len(files)
    assert run("-h", "-N", f"a={ATOM}", "a:feed.a:entry.#.a:id", *map(str, files))[:2] == (
        0, "urn:1\nurn:2\n" * len(files))
    (tmp_path / "rss.xml").write_text(RSS)
    rss = run("-N", "=", "rss.channel.link", str(tmp_path / "rss.xml"))
    assert rss[:2] == (0, "https://example.com/\n")
    code, out, err = run("-N", f"a={ATOM}", "a:feed.z:entry", str(files[0]))
    assert code == 2 and out == "" and "prefix not in namespaces: z" in err


# Elements found by a path under a mapping whose every step is unprefixed (and no "" key)
# are read with the declarations their ancestors make, wherever the reading happens after
# the scan: table columns, and Results that own copies of what they matched.
LENIENT, COLUMNS = '<r xmlns:b="urn:u"><i b:x="1"><b:v>2</b:v></i></r>', {"x": "@p:x", "v": "p:v"}


@pytest.mark.parametrize("read", [
    lambda ns: quorbix.records(LENIENT, "r.i", COLUMNS, namespaces=ns)[0],
    lambda ns: next(quorbix.stream_records(LENIENT, "r.i", COLUMNS, namespaces=ns)),
    lambda ns: {c: quorbix.table(LENIENT, "**.i", COLUMNS, namespaces=ns).column(c)[0]
                for c in COLUMNS},
    lambda ns: {c: next(quorbix.stream(LENIENT, "r.i", namespaces=ns)).get(p, namespaces=ns).to_str()
                for c, p in COLUMNS.items()},
    lambda ns: {c: quorbix.get_buffer(bytearray(LENIENT.encode()), "r.i", namespaces=ns)
                .get(p, namespaces=ns).to_str() for c, p in COLUMNS.items()},
], ids=["records", "stream_records", "table", "stream", "get_buffer"])
def test_rows_found_by_unprefixed_steps_keep_their_ancestors_declarations(read):
    assert read({"p": "urn:u"}) == {"x": "1", "v": "2"}


def test_columns_found_by_name_are_named_by_the_mapping():
    # Declarations are no columns; a name in a namespace the mapping binds takes the
    # mapping's prefix (none for its empty one, as pandas names them), however written.
    pandas = pytest.importorskip("pandas")
    peer = pandas.read_xml(io.StringIO(POM_DOC), xpath="//m:dependency", namespaces={"m": POM})
    names = ["groupId", "artifactId", "version", "scope"]
    frame = quorbix.read_xml(POM_DOC, "project.dependencies.dependency", namespaces={"": POM})
    assert list(frame.columns) == list(peer.columns) == names
    frame = quorbix.read_xml(POM_DOC, "m:project.m:dependencies.m:dependency", namespaces={"m": POM})
    assert list(frame.columns) == ["m:" + name for name in names]
    written = POM_DOC.replace("<dependency>", f'<q:dependency xmlns:q="{POM}">').replace(
        "</dependency>", "</q:dependency>")
    assert written != POM_DOC
    streamed = quorbix.read_xml(written, "m:project.m:dependencies.m:dependency",
                                namespaces={"m": POM}, chunksize=2)
    assert list(next(streamed).columns) == ["m:" + name for name in names]
