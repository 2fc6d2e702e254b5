"""What malformed documents, odd buffers, memory pressure and reference cycles do to the
module: the answers stay the ones the rules give, and nothing crashes or leaks."""

import ctypes
import gc
import os
import subprocess
import sys
import textwrap
import weakref

import pytest

import quorbix
from quorbix import get, get_buffer, get_bytes, get_many, get_many_bytes, parse

SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")


def test_an_attribute_answer_consumes_its_element_by_depth():
    # The unclosed <b> ends at </c>, as a level inside it would; the next <b> is c's.
    doc = '<r><c><b></c><b id="2"/></r>'
    assert get(doc, "r.c.b.#.@id") == ["2"]
    assert get_many(doc, ["r.c.b.#.@id"])[0] == ["2"]
    assert get(f"<x>{doc}</x>", "x.r").get("c.b.#.@id") == ["2"]
    assert get(doc, "r.c.b.#.x") == get(doc, "r.c.b.#.@x") == []
    assert get('<r><c><b id="1"></c><b id="2"/></r>', 'r.c.b.#(@id>0)#.@id') == ["1", "2"]


def test_reads_of_an_element_end_each_child_at_the_first_end_tag_at_its_depth():
    # <a> ends at </x>, whatever its name, so <b> is the row's next child; in
    # the second row </row> is what closes <a>, which holds <c/>.
    doc = "<r><row><a>1</x><b>2</b></row><row><a>3<c/></row></r>"
    first = {"a": "1", "b": "2"}
    assert quorbix.records(doc, "r.row", {"a": "a", "b": "b"}, recover=True) == [
        first, {"a": "<a>3<c/></row>", "b": None}]
    assert quorbix.records(doc, "r.row", recover=True) == [first, {"a": None, "b": None}]
    assert list(get(doc, "r.row.0").keys()) == ["a", "b"]


@pytest.mark.parametrize("filter", ["t=='ab'", "@t=='ab'", ".=='ab'", "t.#text=='ab'"])
def test_get_many_records_a_filtered_match_by_its_capture_whatever_the_filter(filter):
    # A path with modifiers records texts in get_many, elements in get.
    doc = "<r><e t='ab'><t>ab</t></e><e t='x'><t>x</t></e></r>"
    path = f"r.e#({filter})#|@reverse"
    answer = get_many(doc, [path, "r.e.#"])[0]
    assert answer[0].type_ is str and answer == ["ab"]
    assert get(doc, path)[0].type_ is dict
    # And after the filter, whatever the other paths of the call do.
    then = "<r><a><c>1</c><b><x>2</x></b></a></r>"
    assert get_many(then, ["r.a#(c==1).b|@first"])[0].value == 2  # a text, not the element


def test_a_path_of_many_filters_over_as_deep_a_document():
    # Each filter's rest walks the element it held on: walks within walks, as
    # many as the path has filters, and none may exhaust the stack.
    n = 20000
    doc = "<a><b>1</b>" * n + "</a>" * n
    path = ".".join(["a#(b==1)"] * n)
    assert quorbix.get(doc, path + ".b").to_str() == "1"
    assert quorbix.get(doc, ".".join(["a#(b==1)#"] * n) + ".b|@count").to_int() == 1
    assert quorbix.get_many(doc, [path + "|@count", "**.b|@count"])[0].to_int() == 1


def test_buffers_without_strides_are_c_contiguous():
    data = b"<r><a>1</a><a>2</a></r>"
    array = (ctypes.c_ubyte * len(data)).from_buffer_copy(data)
    assert get_buffer(array, "r.a") == ["1", "2"]
    assert get_buffer(ctypes.create_string_buffer(data), "r.a.1").to_int() == 2
    assert quorbix.validate(array) and parse(array).get("r.a|@count").to_int() == 2


@pytest.mark.skipif(sys.version_info < (3, 12), reason="Python-level buffers need 3.12")
def test_one_operation_reads_a_buffer_document_once():
    class Changing:
        """A buffer whose bytes differ at each export."""

        def __init__(self):
            self.reads = 0

        def __buffer__(self, flags):
            self.reads += 1
            return memoryview([b"<r><a>1</a></r>", b"<r>x</r>"][self.reads % 2])

    document = Changing()
    r = parse(document)
    operations = [lambda: r.value, lambda: r.to_str(), lambda: r.type_, lambda: repr(r),
                  lambda: list(r), lambda: r == "x", lambda: bool(r), lambda: r == r]
    for operation in operations * 2:  # each against both states
        before = document.reads
        answer = operation()
        assert document.reads == before + 1
        assert answer in ("1", "x", "<r><a>1</a></r>", dict, str, "<Result type=dict, keys=[a]>",
                          ["a"], ["x"], True, False) or answer == {"a": "1"}


def test_module_classes_are_immutable():
    for name in quorbix._quorbix.__all__:
        cls = getattr(quorbix._quorbix, name)
        if isinstance(cls, type):
            with pytest.raises(TypeError):
                cls.exists = lambda self: True
    with pytest.raises(TypeError):
        quorbix.Result.to_str = None


def test_cycles_through_a_document_are_collected():
    class Document(bytearray):
        pass

    class Text(bytes):
        pass

    class Marker:
        pass

    def collected(make):
        document = make()
        document.marker = Marker()  # bytes subclasses take no weak references themselves
        alive = weakref.ref(document.marker)
        del document
        gc.collect()
        return alive() is None

    def through_result():
        d = Document(b"<r><a>1</a><a>2</a></r>")
        d.result = parse(d)
        return d

    def through_view():
        d = Document(b"<r><a>1</a></r>")
        d.view = parse(d).keys()
        return d

    def through_item_iterator():
        d = Text(b"<r><a>1</a><a>2</a></r>")
        d.iterator = iter(get_bytes(d, "r.a"))
        return d

    for make in (through_result, through_view, through_item_iterator):
        assert collected(make), make.__name__


def test_costs_grow_linearly():
    # Globs and % patterns: star-separated pieces are found by substring search.
    name = "a" * 100_000
    pattern = "*" + "a" * 2000 + "b"
    assert get(f"<r><{name}/></r>", f"r.{pattern}").exists() is False
    assert get(f"<r><t>{name}</t></r>", f'r.t#(.%"{pattern}")#').exists() is False
    assert get(f"<r><{name}b/></r>", f"r.{pattern}").exists()
    # r[key] and `in` read the children once each, without grouping them.
    keys = [f"k{i}" for i in range(5000)]
    r = get("<r>" + "".join(f"<{k}>{i}</{k}>" for i, k in enumerate(keys)) + "</r>", "r")
    assert all(r[k].to_int() == i for i, k in enumerate(keys))
    assert all(k in r.keys() for k in keys) and "k5000" not in r.keys()


def run_measured(code):
    """Runs `code` in a fresh interpreter, which prints what it measured."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, env=env, timeout=600)
    assert done.returncode == 0, done.stderr
    return done.stdout.split()


@pytest.mark.skipif(SANITIZED, reason="AddressSanitizer reserves memory of its own")
def test_counts_keep_a_counter_not_the_matches():
    peak, count, many = run_measured("""
        import resource, quorbix
        doc = b"<r>" + b"<a>1</a>" * 2_000_000 + b"</r>"
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        count = quorbix.get_bytes(doc, "r.a|@count").to_int()
        many = quorbix.get_many_bytes(doc, ["r.a|@count", "**.a|@count|@tostr"])
        after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        print(after - before, count, many[0].to_int() + many[1].to_int())
    """)
    assert (int(count), int(many)) == (2_000_000, 4_000_000)
    assert int(peak) < 32 * 1024, f"counting grew the peak by {peak} KiB"


@pytest.mark.skipif(SANITIZED, reason="AddressSanitizer cannot run under an address-space limit")
def test_a_failed_allocation_raises_memory_error():
    answers = run_measured("""
        import resource, quorbix
        data = bytearray(b"<r>" + b"x" * (400 << 20) + b"</r>")
        with open("/proc/self/statm") as statm:
            in_use = int(statm.read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (in_use + (200 << 20), resource.RLIM_INFINITY))
        for call in (lambda: quorbix.get_buffer(data, "r"), lambda: quorbix.parse(data).get("r"),
                     lambda: quorbix.get_many_buffer(data, ["r", "r.#text"])):
            try:
                call()
                print("answered")
            except MemoryError:
                print("MemoryError")
        print(quorbix.get("<r>1</r>", "r").to_int())
    """)
    assert answers == ["MemoryError"] * 3 + ["1"]
