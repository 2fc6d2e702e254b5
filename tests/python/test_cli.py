"""The command line end to end, through subprocesses, as a user runs it."""

import json
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "catalog.xml"


def run(*args, stdin=None):
    return subprocess.run([sys.executable, "-m", "quorbix", *map(str, args)], input=stdin,
                          capture_output=True, text=True, timeout=120)


@pytest.fixture
def feeds(tmp_path):
    """Real-shaped files: two catalogs, a feed without books, a broken file."""
    one = tmp_path / "one.xml"
    one.write_text(EXAMPLE.read_text())
    two = tmp_path / "two.xml"
    two.write_text('<?xml version="1.0" encoding="ISO-8859-1"?>\n<catalog><book id="b1">'
                   "<price>3.50</price><title>Caf\xe9</title></book></catalog>", encoding="latin-1")
    empty = tmp_path / "empty.xml"
    empty.write_text("<rss><channel><title>nothing</title></channel></rss>")
    broken = tmp_path / "broken.xml"
    broken.write_text("<catalog><book><price>1</price></catalog>")
    return one, two, empty, broken


def test_one_path_one_file_prints_a_line_per_value():
    out = run("catalog.book.#.price", EXAMPLE)
    assert (out.returncode, out.stdout, out.stderr) == (0, "44.95\n5.95\n12.50\n", "")
    assert run("catalog.book.2.note", EXAMPLE).stdout == "Contains <b>bold</b> claims.\n"
    element = run("catalog.book.1", EXAMPLE).stdout  # an element with children: its markup
    assert element.startswith('<book id="bk102" lang="de">') and element.endswith("</book>\n")


def test_several_files_are_prefixed_like_grep(feeds):
    one, two, empty, _ = feeds
    out = run("catalog.book.#.price", one, two, empty)
    assert out.returncode == 0
    assert out.stdout.splitlines() == [f"{one}:44.95", f"{one}:5.95", f"{one}:12.50", f"{two}:3.50"]
    assert run("-h", "catalog.book.0.@id", one, two).stdout == "bk101\nb1\n"
    assert run("-H", "catalog.book.0.@id", one).stdout == f"{one}:bk101\n"


def test_standard_input_and_dash(feeds):
    text = EXAMPLE.read_text()
    assert run("catalog.book.1.@lang", stdin=text).stdout == "de\n"
    assert run("catalog.book.1.@lang", "-", stdin=text).stdout == "de\n"


def test_several_paths_in_one_pass_and_json(feeds):
    one, two, *_ = feeds
    out = run("-e", "catalog.book.#", "-e", "catalog.book.#.dc:title|@sort", "--json", one)
    assert json.loads(out.stdout) == {
        "catalog.book.#": 3,
        "catalog.book.#.dc:title|@sort": ["Maeve Ascendant & Other Tales", "Midnight Rain",
                                          "XML Developer's Guide"]}
    book = json.loads(run("--json", "catalog.book.0", one).stdout)
    assert book == {"dc:title": "XML Developer's Guide", "author": "Gambardella, Matthew",
                    "price": 44.95, "tag": "computer"}
    lines = run("--json", "catalog.book.0.title", one, two).stdout.splitlines()
    assert [json.loads(line) for line in lines] == [{"file": str(one),
                                                     "value": "XML Developer's Guide"},
                                                    {"file": str(two), "value": "Café"}]


def test_count_and_validate(feeds):
    one, two, empty, broken = feeds
    assert run("--count", "catalog.book", one).stdout == "3\n"
    assert run("--count", "-e", "**.price", "-e", "**.x", one).stdout == "3\n0\n"
    out = run("--validate", one, two, empty, broken)
    assert (out.returncode, out.stdout) == (1, f"{broken}\n")
    assert run("--validate", one, two).returncode == 0


def test_jobs_keep_the_order_of_files(feeds):
    one, two, empty, _ = feeds
    files = [one, two, empty] * 4
    serial = run("-e", "**.price", *files)
    parallel = run("--jobs", "3", "-e", "**.price", *files)
    assert parallel.returncode == serial.returncode == 0
    assert parallel.stdout == serial.stdout and len(parallel.stdout.splitlines()) == 16


def test_exit_status_and_messages_without_tracebacks(feeds):
    one, _, empty, _ = feeds
    nothing = run("catalog.book.#.price", empty)
    assert (nothing.returncode, nothing.stdout) == (1, "")
    bad = run("a#(x)", one)
    assert bad.returncode == 2
    assert bad.stderr == ('quorbix: filter expression missing operator: x\n  in path: "a#(x)"\n'
                          "               ^\n")
    missing = run("a", one.parent / "missing.xml", one)
    assert missing.returncode == 2 and "missing.xml: No such file or directory" in missing.stderr
    ambiguous = run("catalog.book.price", one)
    assert ambiguous.returncode == 2 and "path is ambiguous: book" in ambiguous.stderr
    for result in (nothing, bad, missing, ambiguous, run(), run("--jobs", "0", "a")):
        assert "Traceback" not in result.stderr
    assert run().returncode == 2
    assert run("--version").stdout.startswith("quorbix ")


def test_console_script_is_installed():
    script = Path(sys.executable).with_name("quorbix")
    if not script.exists():
        pytest.skip("the package is not installed in this interpreter's environment")
    out = subprocess.run([str(script), "catalog.book.#.price", str(EXAMPLE)], capture_output=True,
                         text=True, timeout=60)
    assert out.stdout == "44.95\n5.95\n12.50\n"
