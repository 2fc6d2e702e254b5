"""The command line end to end, through subprocesses, as a user runs it."""

import json
import os
import pty
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

import quorbix

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "catalog.xml"


def run(*args, stdin=None, **streams):
    streams = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, **streams}
    return subprocess.run([sys.executable, "-m", "quorbix", *map(str, args)], input=stdin,
                          text=True, timeout=120, **streams)


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


def test_compressed_files_and_standard_input_answer_as_the_plain_file(tmp_path):
    import gzip

    packed = tmp_path / "catalog.data"  # known by its first bytes, not its name
    packed.write_bytes(gzip.compress(EXAMPLE.read_bytes()))
    plain = run("catalog.book.#.price", EXAMPLE).stdout
    assert run("catalog.book.#.price", packed).stdout == plain
    piped = subprocess.run([sys.executable, "-m", "quorbix", "--count", "catalog.book"],
                           input=gzip.compress(EXAMPLE.read_bytes()), capture_output=True)
    assert (piped.returncode, piped.stdout) == (0, b"3\n")
    # Positions count the document's bytes, not the compressed ones.
    packed.write_bytes(gzip.compress(b"<a>\n\n  <b></a>"))
    assert run("--validate", packed).stdout.startswith(f"{packed}:3:")
    packed.write_bytes(gzip.compress(EXAMPLE.read_bytes())[:-9])
    out = run("catalog.book.#.price", packed)
    # Read as it streams: what was found before the damage is out already.
    assert out.returncode == 2 and "cut short" in out.stderr and plain.startswith(out.stdout)


def strict(text):
    """JSON as a strict parser reads it: NaN and Infinity are refused."""
    def refuse(constant):
        raise ValueError(f"not JSON: {constant}")
    return json.loads(text, parse_constant=refuse)


def test_several_paths_in_one_pass_and_json(feeds):
    one, two, *_ = feeds
    out = run("-e", "catalog.book.#", "-e", "catalog.book.#.dc:title|@sort", "-e", "x.y",
              "-e", "catalog.book.#(@id=='bk102')#.@lang", "--json", one)
    assert strict(out.stdout) == {
        "catalog.book.#": 3,
        "catalog.book.#.dc:title|@sort": ["Maeve Ascendant & Other Tales", "Midnight Rain",
                                          "XML Developer's Guide"],
        "x.y": None, "catalog.book.#(@id=='bk102')#.@lang": ["de"]}
    book = strict(run("--json", "catalog.book.0", one).stdout)
    assert book == {"@id": "bk101", "@lang": "en", "dc:title": "XML Developer's Guide",
                    "author": "Gambardella, Matthew", "price": "44.95", "tag": "computer"}
    lines = run("--json", "catalog.book.0.title", one, two).stdout.splitlines()
    assert [strict(line) for line in lines] == [{"file": str(one), "value": "XML Developer's Guide"},
                                                {"file": str(two), "value": "Café"}]
    assert strict(run("--values", "catalog.book.0", one).stdout)["price"] == 44.95


def test_json_loses_nothing(tmp_path):
    doc = tmp_path / "ids.xml"
    doc.write_text('<r><id>01234</id><id>12345678901234567890123</id><n>NaN</n><n>inf</n>'
                   '<m a="1">x<k>1</k>y<k>2</k><j/> z</m></r>')
    assert strict(run("--json", "r.id", doc).stdout) == ["01234", "12345678901234567890123"]
    assert strict(run("--json", "r.#.n", doc).stdout) == ["NaN", "inf"]
    assert strict(run("--json", "r.m", doc).stdout) == {"@a": "1", "k": ["1", "2"], "j": None,
                                                       "#text": "xy z"}
    assert strict(run("--json", "r.#(n=='x')#.n", doc).stdout) == []
    assert strict(run("--json", "r.#.n|@sum", doc).stdout) in ("NaN", "Infinity")
    assert strict(run("--values", "r.#.n", doc).stdout) == ["NaN", "Infinity"]
    deep = tmp_path / "deep.xml"
    deep.write_text("<a>" * 50_000 + "x" + "</a>" * 50_000)
    out = run("--json", "a", deep)
    assert out.returncode == 0 and out.stdout.count("{") == 49_999
    deep.write_text("<a>" * 1000 + "1" + "</a>" * 1000)
    assert run("--values", "a", deep).stdout == '{"a":' * 999 + "1" + "}" * 999 + "\n"
    # Many distinct names, some repeated after many others: grouped where
    # each name first stood.
    names = [f"c{i}" for i in range(300)]
    wide = tmp_path / "wide.xml"
    wide.write_text("<r>" + "".join(f"<{n}>{n}</{n}>" for n in names)
                    + "".join(f"<{n}/>" for n in names[::7]) + "</r>")
    grouped = {n: [n, None] if i % 7 == 0 else n for i, n in enumerate(names)}
    assert list(strict(run("--json", "r", wide).stdout).items()) == list(grouped.items())


def test_a_path_of_each_writes_a_list_of_any_length_and_every_mean_is_a_number(feeds):
    one, two, empty, _ = feeds
    for mode in ("--json", "--values"):
        assert strict(run(mode, "catalog.book.#.title", two).stdout) == ["Café"]
        assert strict(run(mode, "catalog.book.#.title", empty).stdout) == []
        for mean in ("avg", "mean"):
            assert strict(run(mode, f"catalog.book.#.price|@{mean}", one).stdout) == 21.133333333333336


def test_labelled_lines_for_several_paths_and_values_of_several_lines(feeds, tmp_path):
    one, two, *_ = feeds
    out = run("-e", "catalog.book.#.price", "-e", "nothing", "-e", "catalog.book.0.@id", one)
    assert out.stdout.splitlines() == ["1:44.95", "1:5.95", "1:12.50", "3:bk101"]
    assert run("--count", "-e", "**.price", "-e", "**.x", one, two).stdout.splitlines() == [
        f"{one}:1:3", f"{one}:2:0", f"{two}:1:1", f"{two}:2:0"]
    multi = tmp_path / "multi.xml"
    multi.write_text("<r><v>a\nb</v></r>")
    assert run("r.v", multi, multi).stdout == f"{multi}:a\n{multi}:b\n" * 2
    assert run("-0", "r.v", multi).stdout == "a\nb\0"


def test_quiet_files_with_matches_and_nul(feeds):
    one, two, empty, broken = feeds
    quiet = run("-q", "**.price", empty, one)
    assert (quiet.returncode, quiet.stdout) == (0, "")
    assert run("-q", "**.price", empty).returncode == 1
    assert run("-l", "catalog.book.#.price", one, empty, two).stdout == f"{one}\n{two}\n"
    assert run("-l", "-0", "**.title", one, two).stdout == f"{one}\0{two}\0"
    assert run("-0", "catalog.book.#.@id", one).stdout == "bk101\0bk102\0bk103\0"


def test_a_closed_pipe_ends_quietly_with_what_was_found(tmp_path):
    big = tmp_path / "big.xml"
    big.write_text("<r>" + "<v>value</v>" * 200_000 + "</r>")
    process = subprocess.Popen([sys.executable, "-m", "quorbix", "r.#.v", str(big)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert process.stdout.readline() == b"value\n"
    process.stdout.close()  # as `| head -1` does
    assert process.wait(timeout=60) == 0
    assert process.stderr.read() == b""


def test_standard_input_is_answered_as_it_arrives():
    process = subprocess.Popen([sys.executable, "-m", "quorbix", "r.a|@first"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    process.stdin.write(b"<r><a>1</a>")
    process.stdin.flush()
    assert process.stdout.readline() == b"1\n"  # before the input ends
    process.stdin.close()
    assert process.wait(timeout=60) == 0


def test_a_terminal_that_cannot_show_a_character_gets_it_escaped(feeds):
    _, two, *_ = feeds
    env = {**os.environ, "LC_ALL": "C", "LANG": "C", "PYTHONUTF8": "0",
           "PYTHONCOERCECLOCALE": "0", "PYTHONIOENCODING": "ascii"}
    out = subprocess.run([sys.executable, "-m", "quorbix", "catalog.book.0.title", str(two)],
                         capture_output=True, text=True, env=env, timeout=60)
    assert (out.returncode, out.stdout, out.stderr) == (0, "Caf\\xe9\n", "")


def test_progress_is_drawn_on_a_terminal_and_apart_from_results(tmp_path):
    doc = tmp_path / "doc.xml"
    doc.write_text("<r>" + "<v>1</v>" * 10_000 + "</r>")
    main, child = pty.openpty()
    env = {**os.environ, "QUORBIX_PROGRESS_BYTES": "1"}
    process = subprocess.Popen([sys.executable, "-m", "quorbix", "--count", "r.#.v", str(doc)],
                               stdout=subprocess.PIPE, stderr=child, env=env)
    os.close(child)
    stdout = process.stdout.read()
    process.wait(timeout=60)
    drawn = b""
    while True:
        try:
            chunk = os.read(main, 4096)
        except OSError:
            break
        if not chunk:
            break
        drawn += chunk
    os.close(main)
    assert stdout == b"10000\n"
    assert b"B" in drawn  # the bar, in bytes
    assert run("--count", "r.#.v", doc).stderr == ""  # not a terminal: no bar


def test_count_and_validate(feeds):
    one, two, empty, broken = feeds
    assert run("--count", "catalog.book", one).stdout == "3\n"
    assert run("--count", "-e", "**.price", "-e", "**.x", one).stdout == "1:3\n2:0\n"
    out = run("--validate", one, two, empty, broken)
    assert (out.returncode, out.stdout) == (
        1, f"{broken}:1:32: end tag </catalog> does not close <book>\n")
    assert run("--validate", one, two).returncode == 0
    # Names in the document's own encoding, not UTF-8, are reported decoded.
    two.write_bytes(two.read_bytes().replace(b"</title>", b"</t\xeftle>"))
    out = run("--validate", two)
    assert (out.returncode, out.stdout) == (
        1, f"{two}:2:54: end tag </t\xeftle> does not close <title>\n")


def test_a_malformed_file_is_answered_with_a_warning(feeds):
    one, _, _, broken = feeds
    out = run("-H", "**.price", one, broken)
    assert out.returncode == 0 and out.stdout.endswith(f"{broken}:1\n")
    assert out.stderr == f"{broken}:1:32: warning: end tag </catalog> does not close <book>\n"
    assert run("--count", "**.price", broken).stderr.startswith(f"{broken}:1:32: warning: ")
    assert run("--help").stdout.count("python -m quorbix --guide") == 1
    assert run("--guide").stdout.startswith("# ")


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
    assert run("--version").stdout == f"quorbix {quorbix.version}\n"
    assert isinstance(quorbix.version, str)


def test_console_script_is_installed():
    script = Path(sys.executable).with_name("quorbix")
    if not script.exists():
        pytest.skip("the package is not installed in this interpreter's environment")
    out = subprocess.run([str(script), "catalog.book.#.price", str(EXAMPLE)], capture_output=True,
                         text=True, timeout=60)
    assert out.stdout == "44.95\n5.95\n12.50\n"


def test_output_that_fails_is_an_error_and_closed_standard_error_is_not(feeds):
    one, two, *_ = feeds
    with open("/dev/full", "w") as full:
        for args in (["**.price", one], ["--jobs", "2", "**.price", one, two], ["--version"]):
            out = run(*args, stdout=full)
            assert (out.returncode, out.stderr) == (2, "quorbix: write error: No space left on device\n")
    closed = run("**.price", one, preexec_fn=lambda: os.close(1))
    assert (closed.returncode, closed.stderr) == (2, "quorbix: write error: Bad file descriptor\n")
    assert run("nothing", one, preexec_fn=lambda: os.close(1)).returncode == 1  # nothing to write
    unheard = run("**.price", one, preexec_fn=lambda: os.close(2))
    assert (unheard.returncode, unheard.stdout) == (0, "44.95\n5.95\n12.50\n")
    missing = run("-h", "**.price", one, one.parent / "missing.xml", preexec_fn=lambda: os.close(2))
    assert (missing.returncode, missing.stdout) == (2, "44.95\n5.95\n12.50\n")
    no_input = run("**.price", preexec_fn=lambda: os.close(0))
    assert (no_input.returncode, no_input.stderr) == (
        2, "quorbix: (standard input): standard input is closed\n")


@pytest.mark.parametrize("jobs", ["1", "2"])
def test_memory_running_out_is_an_error(feeds, tmp_path, jobs):
    one, two, *_ = feeds
    # Every interpreter started here, workers included, runs out of memory
    # when it scans.
    (tmp_path / "sitecustomize.py").write_text(
        "import quorbix\n"
        "def exhausted(*args):\n"
        "    raise MemoryError\n"
        "quorbix.streams._stream = exhausted\n")
    search = os.pathsep.join(filter(None, [str(tmp_path), os.environ.get("PYTHONPATH")]))
    out = run("--jobs", jobs, "**.price", one, two, env={**os.environ, "PYTHONPATH": search})
    assert (out.returncode, out.stdout, out.stderr) == (2, "", "quorbix: out of memory\n")


def holders(path):
    """The processes, other than this one, that have `path` open."""
    found = set()
    for fds in Path("/proc").glob("[0-9]*/fd"):
        try:
            if any(os.readlink(fd) == str(path) for fd in fds.iterdir()):
                found.add(int(fds.parent.name))
        except OSError:  # gone meanwhile, or not ours to read
            continue
    return found - {os.getpid()}


def alive(pid):
    try:
        state = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
    except OSError:
        return False
    return state != "Z"


def within(seconds, condition):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


@pytest.fixture
def stalled(tmp_path):
    """Two named pipes that are open for writing but never written: a worker
    reading either waits until it is ended."""
    fifos = [tmp_path / "one.xml", tmp_path / "two.xml"]
    for fifo in fifos:
        os.mkfifo(fifo)
    held = [os.open(fifo, os.O_RDWR) for fifo in fifos]
    yield fifos
    for fd in held:
        os.close(fd)


def start_workers(fifos):
    """The command with a worker stalled on each pipe, and the workers."""
    # A shell may start a job with Ctrl-C ignored; here it stops the command.
    process = subprocess.Popen(
        [sys.executable, "-m", "quorbix", "--jobs", "2", "r", *map(str, fifos)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
        preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    assert within(60, lambda: all(holders(f) for f in fifos))
    return process, set().union(*map(holders, fifos))


@pytest.mark.parametrize("stop", [signal.SIGTERM, signal.SIGINT])
def test_a_stopped_command_ends_its_workers(stalled, stop):
    process, workers = start_workers(stalled)
    process.send_signal(stop)
    out, err = process.communicate(timeout=60)
    assert (process.returncode, out, err) == (-stop, "", "")
    assert within(30, lambda: not any(alive(pid) for pid in workers))


def test_a_killed_worker_is_an_error(stalled):
    process, workers = start_workers(stalled)
    os.kill(min(workers), signal.SIGKILL)
    out, err = process.communicate(timeout=60)
    assert (process.returncode, out, err) == (2, "", "quorbix: a worker process ended abruptly\n")
    assert within(30, lambda: not any(alive(pid) for pid in workers))
