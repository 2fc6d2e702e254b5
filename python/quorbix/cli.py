"""The quorbix command line: answer paths over XML files, in the way of grep and jq.

    quorbix PATH [FILE ...]          one path over each file (or standard input)
    quorbix -e PATH -e PATH [FILE]   several paths in one pass per file

Exit status: 0 when something matched (with --validate: every file is valid),
1 when nothing did (some file is not), 2 on an error (one line on standard
error, never a traceback). Ctrl-C or SIGTERM ends the workers, then the
command dies of the signal, as a shell expects.
"""

from __future__ import annotations

import argparse
import errno
import json
import math
import multiprocessing
import os
import pathlib
import shutil
import signal
import stat
import sys
import threading
import time
from concurrent.futures import ProcessPoolExecutor
from concurrent.futures.process import BrokenProcessPool
from contextlib import contextmanager
from dataclasses import dataclass
from importlib import resources
from typing import IO, Any, Callable, Iterable, Iterator, Sequence

import quorbix
from quorbix import streams
from quorbix._quorbix import _json_items
from quorbix._sources import CompressedInputError, document
from quorbix.malformed import ValidationProblem, _problem

# Above this many bytes of input, a terminal gets a progress bar.
PROGRESS_BYTES = int(os.environ.get("QUORBIX_PROGRESS_BYTES", 64 << 20))

class UsageError(Exception):
    """A mistake of the caller's: shown as one line, exit status 2."""


class WriteError(Exception):
    """Standard output refused the answers (a full disk, a closed output)."""


class Terminated(BaseException):
    """SIGTERM, raised in the main thread to end the run as Ctrl-C does."""


@dataclass
class Options:
    paths: list[str]
    mode: str  # "lines", "json", "values", "count" or "validate"
    names: bool = False  # prefix each line with the file name
    quiet: bool = False  # -q: the exit status only
    list_files: bool = False  # -l: the names of the files that matched
    nul: bool = False  # -0: a NUL after each value instead of a newline
    namespaces: dict[str, str] | None = None  # -N: the paths' prefixes by namespace URI


@dataclass
class FileOutcome:
    # Everything the file prints, terminators included: a string, or pieces
    # made as they are written, so that a file's answer never stands in memory
    # as text beside its matches.
    text: str | Iterable[str] = ""
    matched: bool = False
    error: str | None = None
    name: str = ""  # as shown: the file's name, or "(standard input)"
    # A document answered although not well formed: a line for standard error.
    warning: str | None = None
    # The text is made as the document is read: `matched`, `warning` and
    # `error` are known once it has been written, and each piece is written
    # at once; `close` ends the reading.
    streamed: bool = False
    close: Callable[[], None] | None = None


# ---- the shape of a path's answer ------------------------------------------


def _finite(value: Any) -> Any:
    """A number JSON can hold: a non-finite float becomes the string "NaN",
    "Infinity" or "-Infinity", which strict JSON has no numbers for."""
    if isinstance(value, float) and not math.isfinite(value):
        return repr(value).replace("inf", "Infinity").replace("nan", "NaN")
    return value


def json_answer(result: quorbix.Result, path: str) -> str:
    """The answer as JSON that loses nothing: texts stay strings, elements become
    objects (attributes as "@name", text as "#text", repeated children as lists),
    a path that answers a list (see Path.shape) gives one, any other path null for no
    match."""
    shape = quorbix.compile(path).shape  # from the path cache after the first file
    if shape == "number" and result.exists():
        return json.dumps(_finite(result.value))
    items = _json_items(result)
    if shape == "list" or len(items) > 1:
        return "[" + ",".join(items) + "]"
    return items[0] if items else "null"


def values_json(result: quorbix.Result) -> str:
    """--values: a Result as JSON, texts that read as numbers or bools typed so
    (see `_finite`). Written from a stack of its own, as the Results unfold,
    so that no depth of the document is too deep."""
    out: list[str] = []
    todo: list[quorbix.Result | str] = [result]  # Results to write, or JSON text
    while todo:
        item = todo.pop()
        if isinstance(item, str):
            out.append(item)
            continue
        value = item.value
        if isinstance(value, dict):
            out.append("{")
            todo.append("}")
            for i, (key, child) in reversed(list(enumerate(value.items()))):
                todo += [child, ("," if i else "") + _json_scalar(key) + ":"]
        elif isinstance(value, list):
            out.append("[")
            todo.append("]")
            for i, child in reversed(list(enumerate(value))):
                todo += [child, "," if i else ""]
        else:
            out.append(_json_scalar(_finite(value)))
    return "".join(out)


def _json_scalar(value: Any) -> str:
    return json.dumps(value, ensure_ascii=False, allow_nan=False)


def values_of(result: quorbix.Result) -> Iterator[str]:
    """One value per match: the text of a scalar, the markup of an element."""
    if len(result) > 1:
        for item in result:
            yield item.to_str()
    elif result.exists():
        yield result.to_str()


# ---- one file's answer -----------------------------------------------------


def validation_answer(name: str, data: bytes) -> FileOutcome:
    """--validate: the first problem of a document, or that it is well formed."""
    problem = quorbix.validation_report(data)
    if problem is None:
        return FileOutcome(matched=True)
    return FileOutcome(f"{_where(name, problem)} {problem.message}\n")


def answer(name: str, source: Any, options: Options) -> FileOutcome:
    """What one document prints, read a piece at a time, and whether anything
    matched: its text is made as the document is read, and `matched`,
    `warning` and `error` are known once it has been written. The first
    path's values come out as they are found; the other paths' wait for the
    document's end, so that each path's lines stay together. A document that
    is not well formed is answered, with a warning found by the same scan."""
    outcome = FileOutcome(name=name, streamed=True)
    outcome.text = _streamed_text(outcome, source, options)
    return outcome


def _streamed_text(outcome: FileOutcome, source: Any, options: Options) -> Iterator[str]:
    texts = [p + "|@count" for p in options.paths] if options.mode == "count" else options.paths
    paths: list[str | quorbix.Path] = list(texts)
    if options.namespaces is not None:
        paths = [quorbix.compile(p, options.namespaces) if p else p for p in texts]
    problems: list[ValidationProblem] = []
    later: list[Callable[[], ValidationProblem | None]] = []
    held: list[list[quorbix.Result]] = [[] for _ in paths]
    scan = streams.scan(source, list(paths), True, streams.PIECE_SIZE, problems=problems,
                        later=later)
    try:
        for lists, _, _ in scan:
            outcome.matched = outcome.matched or any(r.exists() for found in lists for r in found)
            if outcome.matched and (options.quiet or options.list_files):
                break  # enough is known: the rest is not read
            if options.mode == "lines" and not (options.quiet or options.list_files):
                yield "".join(_value_lines(outcome.name, lists[0], 0, options))
                lists[0] = []
            for kept, found in zip(held, lists):
                kept += found
    except (ValueError, OSError) as error:  # an ambiguous path; a read that failed
        outcome.error = f"{outcome.name}: {getattr(error, 'strerror', None) or error}"
        return
    finally:
        scan.close()
    if not (options.quiet or options.list_files):
        if options.mode == "count":
            yield _count_lines(outcome.name, [r[0].to_int() if r else 0 for r in held], options)
        elif options.mode in ("json", "values"):
            yield _json_line(outcome.name, held, options)
        else:
            for i, results in enumerate(held[1:], 1):
                yield "".join(_value_lines(outcome.name, results, i, options))
    # Asked once the matches are read: a text read now may leave an entity
    # unread. A scan stopped early (-q, -l) read too little to warn of.
    stopped = (options.quiet or options.list_files) and outcome.matched
    problem = problems[0] if problems else None if stopped else later[0]()
    if problem is not None:
        outcome.warning = f"{_where(outcome.name, problem)} warning: {problem.message}"


def _where(name: str, problem: ValidationProblem) -> str:
    return f"{name}:{problem.line}:{problem.column}:"


def _label(name: str, index: int, options: Options) -> str:
    label = f"{name}:" if options.names else ""
    return label + (f"{index + 1}:" if len(options.paths) > 1 else "")


def _count_lines(name: str, counts: list[int], options: Options) -> str:
    if options.quiet or options.list_files:
        return ""
    end = "\0" if options.nul else "\n"
    return "".join(f"{_label(name, i, options)}{count}{end}" for i, count in enumerate(counts))


def _value_lines(name: str, results: list[quorbix.Result], index: int,
                 options: Options) -> Iterator[str]:
    """The lines of path `index`'s values, in pieces of about 64 kB."""
    out: list[str] = []
    size = 0
    label = _label(name, index, options)
    for result in results:
        for value in values_of(result):
            if options.nul:
                line = label + value + "\0"
            elif label:  # every line of a value keeps its label
                line = "".join(label + part + "\n" for part in value.split("\n"))
            else:
                line = value + "\n"
            out.append(line)
            size += len(line)
            if size >= 1 << 16:
                yield "".join(out)
                out, size = [], 0
    if out:
        yield "".join(out)


def _json_line(name: str, found: list[list[quorbix.Result]], options: Options) -> str:
    """--json and --values: one line, each path's matches as one JSON value."""
    answers = []
    for results, path in zip(found, options.paths):
        shape = quorbix.compile(path).shape  # from the path cache after the first file
        if shape == "number" and results and results[0].exists():
            answers.append(values_json(results[0]) if options.mode == "values"
                           else json.dumps(_finite(results[0].value)))
            continue
        if options.mode == "values":
            items = [values_json(r) for r in results]
        else:
            items = [item for r in results for item in _json_items(r)]
        if shape == "list" or len(items) > 1:
            answers.append("[" + ",".join(items) + "]")
        else:
            answers.append(items[0] if items else "null")
    if len(options.paths) == 1:
        value = answers[0]
    else:
        value = "{" + ",".join(f"{json.dumps(p, ensure_ascii=False)}:{a}"
                               for p, a in zip(options.paths, answers)) + "}"
    if options.names:
        value = f'{{"file":{json.dumps(name, ensure_ascii=False)},"value":{value}}}'
    return value + ("\0" if options.nul else "\n")


def read_file(name: str) -> FileOutcome:
    """Answers one file or standard input ("-"), read a piece at a time (and
    decompressed as it is read); --validate reads it whole."""
    if name == "-" and sys.stdin is None:  # started with <&-
        return FileOutcome(error="(standard input): standard input is closed")
    shown = "(standard input)" if name == "-" else name
    try:
        source: Any = sys.stdin.buffer if name == "-" else open(name, "rb")
    except OSError as error:
        return FileOutcome(error=f"{name}: {error.strerror or error}")
    try:
        if _OPTIONS.mode == "validate":
            with source:
                outcome = validation_answer(shown, document(source))
        else:
            outcome = answer(shown, _Counted(source) if _PROGRESS else source, _OPTIONS)
            outcome.close = source.close if name != "-" else None
    except OSError as error:
        return FileOutcome(error=f"{name}: {error.strerror or error}")
    except CompressedInputError as error:
        return FileOutcome(error=f"{name}: {error}")
    outcome.name = shown
    if _IN_WORKER:  # one string ships cheaply
        try:
            outcome.text = "".join(outcome.text)
        finally:
            if outcome.close is not None:
                outcome.close()
        outcome.streamed, outcome.close = False, None
    return outcome


# The options of the run, set in each process before any file is read, and
# whether this process is a worker, whose outcomes travel back pickled.
_OPTIONS = Options([], "lines")
_IN_WORKER = False
_PROGRESS: Progress | None = None  # moved by the reads of this process


def _init_worker(options: Options, in_worker: bool = False) -> None:
    global _OPTIONS, _IN_WORKER
    _OPTIONS, _IN_WORKER = options, in_worker
    if in_worker:
        # The main process ends its workers when it is stopped. A worker
        # leaves the terminal's Ctrl-C (sent to the whole process group) to
        # it, and dies at once of SIGTERM, even in the midst of a scan.
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_DFL)


@contextmanager
def outcomes(files: Sequence[str], options: Options, jobs: int) -> Iterator[Iterator[FileOutcome]]:
    """Each file's outcome, in the order of `files`, as soon as it is known. A
    worker sends back one string per file, which costs little to ship.
    Ctrl-C or SIGTERM ends the workers at once; any other early end (-q's
    first match, a failed write, a reader gone away) finishes the files under
    way and drops the rest; a worker that dies ends the run with
    BrokenProcessPool."""
    _init_worker(options)
    if jobs <= 1 or len(files) <= 1:
        yield map(read_file, files)
        return
    pool = ProcessPoolExecutor(max_workers=jobs, initializer=_init_worker,
                               initargs=(options, True))
    chunk = max(1, min(32, len(files) // (jobs * 8)))
    wait = True
    try:
        yield pool.map(read_file, files, chunksize=chunk)
    except (KeyboardInterrupt, Terminated):
        # Nobody waits for the pool's thread then: it may wait forever for
        # the rest of a reply its worker was ended in the midst of. The
        # command dies of the signal instead (see `main`).
        wait = False
        for worker in multiprocessing.active_children():  # the command's only children
            worker.terminate()
        raise
    finally:
        pool.shutdown(wait=wait, cancel_futures=True)


# ---- progress --------------------------------------------------------------


class Progress:
    """A bar of bytes answered across all inputs, on standard error, only on a
    terminal and for long work. A file read in this process moves it by the
    bytes read (compressed ones, for compressed input); one a worker reads,
    at the rate the files before it went (a first guess for the first).
    Standard input from a pipe has no size: the bar shows a rate. It is
    cleared before any output is written, so it never joins a result line."""

    def __init__(self, sizes: list[int], sized: bool = True) -> None:
        from tqdm import tqdm

        # A terminal that reports no size (a fresh pseudo-terminal) counts as
        # 80 by 24: the bar would not be drawn at all otherwise.
        size = shutil.get_terminal_size((80, 24))
        self.bar = tqdm(total=sum(sizes) if sized else None, unit="B", unit_scale=True,
                        file=sys.stderr, leave=False, ncols=size.columns or 80,
                        nrows=size.lines or 24)
        self.lock = threading.Lock()
        self.done = 0
        self.read: int | None = None  # bytes read of the current file, when counted
        self.rate = 500e6  # bytes per second, until measured
        self.current = 0
        self.started = time.monotonic()
        self.stop = threading.Event()
        self.ticker = threading.Thread(target=self._tick, daemon=True)
        self.ticker.start()

    def begin(self, size: int) -> None:
        with self.lock:
            self.current, self.started, self.read = size, time.monotonic(), None

    def advance(self, count: int) -> None:
        with self.lock:
            self.read = (self.read or 0) + count

    def end(self, size: int) -> None:
        with self.lock:
            elapsed = time.monotonic() - self.started
            if size > 1 << 20 and elapsed > 0:
                self.rate = size / elapsed
            self.done += max(size, self.read or 0)
            self.current, self.read = 0, None
            self.bar.n = self.done
            self.bar.refresh()

    def write(self, out: IO[str], text: str) -> None:
        with self.lock:
            self.bar.clear()
            out.write(text)
            out.flush()
            self.bar.refresh()

    def close(self) -> None:
        self.stop.set()
        self.ticker.join()
        self.bar.close()

    def _tick(self) -> None:
        while not self.stop.wait(0.2):
            with self.lock:
                if self.read is not None:
                    self.bar.n = self.done + self.read
                else:
                    guess = min(self.current * 0.99,
                                self.rate * (time.monotonic() - self.started))
                    self.bar.n = self.done + int(guess)
                self.bar.refresh()


class _Counted:
    """A file whose reads move the progress bar."""

    def __init__(self, file: IO[bytes]) -> None:
        self.file = file

    def read(self, size: int = -1) -> bytes:
        return self._counted(self.file.read(size))

    def read1(self, size: int = -1) -> bytes:
        return self._counted(self.file.read1(size))  # type: ignore[attr-defined]

    @staticmethod
    def _counted(data: bytes) -> bytes:
        if _PROGRESS is not None:
            _PROGRESS.advance(len(data))
        return data


def file_sizes(files: Sequence[str]) -> list[int]:
    """Each file's size; 0 for what has none (a pipe, a FIFO)."""
    return [_stdin_size() if f == "-" else os.path.getsize(f) if os.path.isfile(f) else 0
            for f in files]


def _stdin_size() -> int:
    try:
        status = os.fstat(sys.stdin.fileno())
    except (OSError, AttributeError, ValueError):
        return 0
    return status.st_size if stat.S_ISREG(status.st_mode) else 0


def _piped_stdin(files: Sequence[str]) -> bool:
    return files == ["-"] and _stdin_size() == 0 and sys.stdin is not None and not sys.stdin.isatty()


# ---- the command -----------------------------------------------------------


GUIDE_HINT = "The path language and this command: python -m quorbix --guide."


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="quorbix", add_help=False,
        description="Answer path queries over XML files in one streaming pass.",
        epilog="Exit status: 0 when something matched, 1 when nothing did, 2 on an error. "
               + GUIDE_HINT)
    p.add_argument("arguments", nargs="*", metavar="PATH [FILE ...]",
                   help="the path (unless -e is given), then the files; none or '-' reads "
                        "standard input")
    p.add_argument("-e", "--path", dest="paths", action="append", default=[], metavar="PATH",
                   help="a path to answer; repeat for several paths answered in one pass "
                        "(each output line then starts with the path's number, as 1:)")
    mode = p.add_mutually_exclusive_group()
    mode.add_argument("--json", dest="mode", action="store_const", const="json",
                      help="write JSON: texts as strings, elements as objects (@attributes, "
                           "#text, repeated children as lists), a list for a path of #, null "
                           "for no match; several paths as one object keyed by path")
    mode.add_argument("--values", dest="mode", action="store_const", const="values",
                      help="write JSON with texts that read as numbers or bools typed so")
    mode.add_argument("--count", dest="mode", action="store_const", const="count",
                      help="print the number of matches of each path")
    mode.add_argument("--validate", dest="mode", action="store_const", const="validate",
                      help="check each file (balanced, matching tags, one root) and print "
                           "where each failing one goes wrong: FILE:LINE:COLUMN: problem")
    names = p.add_mutually_exclusive_group()
    names.add_argument("-H", "--with-filename", dest="names", action="store_const", const=True,
                       help="prefix each line with the file name (the default for several files)")
    names.add_argument("-h", "--no-filename", dest="names", action="store_const", const=False,
                       help="never prefix lines with the file name")
    p.add_argument("-N", "--namespace", dest="namespaces", action="append", default=[],
                   metavar="PREFIX=URI",
                   help="the paths' PREFIX stands for the namespace URI, whatever prefix a "
                        "document writes for it; `-N =URI` puts unprefixed steps in URI, "
                        "`-N =` in no namespace")
    p.add_argument("-q", "--quiet", action="store_true",
                   help="print nothing; the exit status says whether anything matched")
    p.add_argument("-l", "--files-with-matches", dest="list_files", action="store_true",
                   help="print only the names of the files that matched")
    p.add_argument("-0", "--null", dest="nul", action="store_true",
                   help="end each value (or file name) with a NUL instead of a newline, "
                        "for xargs -0")
    p.add_argument("-j", "--jobs", type=int, default=1, metavar="N",
                   help="answer files in N worker processes (output keeps the files' order)")
    # Shown by the command itself rather than by argparse, which would drop
    # a write that fails.
    p.add_argument("--guide", dest="show", action="store_const", const="guide",
                   help="print the guide to the path language")
    p.add_argument("--version", dest="show", action="store_const", const="version",
                   help="show the version and exit")
    p.add_argument("--help", dest="show", action="store_const", const="help",
                   help="show this help and exit")
    return p


def parse_options(argv: Sequence[str] | None) -> tuple[Options, list[str], int] | str:
    """The options, files and jobs of a run, or the text to show instead."""
    p = parser()
    args = p.parse_args(argv)
    if args.show == "guide":
        return guide()
    if args.show == "version":
        return f"quorbix {quorbix.__version__}\n"
    if args.show == "help":
        return p.format_help()
    rest = list(args.arguments)
    mode = args.mode or "lines"
    paths = list(args.paths)
    if mode != "validate" and not paths:
        if not rest:
            raise UsageError("no path given (quorbix PATH [FILE ...], or -e PATH)")
        paths.append(rest.pop(0))
    files = rest or ["-"]
    namespaces = _namespaces(args.namespaces)
    for text in paths:
        try:
            quorbix.compile(text, namespaces)
        except ValueError as error:
            raise UsageError(str(error)) from None
    if args.jobs < 1:
        raise UsageError("--jobs must be at least 1")
    names = args.names if args.names is not None else len(files) > 1
    options = Options(paths, mode, names, args.quiet, args.list_files, args.nul, namespaces)
    return options, files, args.jobs


def _namespaces(given: list[str]) -> dict[str, str] | None:
    """The -N PREFIX=URI options as a mapping; `-N =URI` names the namespace
    of unprefixed steps, `-N =` no namespace."""
    if not given:
        return None
    mapping = {}
    for binding in given:
        prefix, equals, uri = binding.partition("=")
        if not equals:
            raise UsageError(f"-N takes PREFIX=URI, not {binding!r}")
        mapping[prefix] = uri
    return mapping


def guide() -> str:
    return resources.files("quorbix").joinpath("guide.md").read_text(encoding="utf-8")


class Output:
    """Standard output: characters the terminal's encoding cannot show come out
    escaped (\\u...), never as a traceback; the progress bar, if any, is cleared
    before each write. A write that fails raises WriteError, or BrokenPipeError
    when the reader went away (| head), and drops what is left unwritten."""

    def __init__(self, progress: Progress | None) -> None:
        self.out = sys.stdout
        if hasattr(self.out, "reconfigure"):
            self.out.reconfigure(errors="backslashreplace")
        self.progress = progress

    def write(self, text: str) -> None:
        if not text:
            return
        if self.out is None:  # started with >&-
            raise WriteError(os.strerror(errno.EBADF))
        with _writing():
            if self.progress is not None:
                self.progress.write(self.out, text)
            else:
                self.out.write(text)

    def flush(self) -> None:
        if self.out is not None:
            with _writing():
                self.out.flush()


@contextmanager
def _writing() -> Iterator[None]:
    try:
        yield
    except OSError as error:
        # The interpreter's last flush would fail again on what is left.
        _drop(sys.stdout)
        if isinstance(error, BrokenPipeError):
            raise
        raise WriteError(error.strerror or str(error)) from None


def _drop(stream: IO[str]) -> None:
    """Points `stream` at the null device, so that whatever it still holds is
    thrown away without an error."""
    try:
        null = os.open(os.devnull, os.O_WRONLY)
        try:
            os.dup2(null, stream.fileno())
        finally:
            os.close(null)
    except (OSError, ValueError):  # not a file (replaced in-process): nothing held
        pass


def say(message: str, prefix: str = "quorbix: ") -> None:
    """One line on standard error. Standard error that cannot take it stops
    nothing: the answers and the exit status still tell."""
    try:
        print(f"{prefix}{message}", file=sys.stderr, flush=True)
    except OSError:
        _drop(sys.stderr)


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command and gives its exit status. Every failure ends as one
    line on standard error and status 2: never a traceback, never the 1 that
    means no match."""
    if sys.stderr is None:  # started with 2>&-: the messages are lost, not the answers
        sys.stderr = open(os.devnull, "w")
    try:
        with _terminated_as_interrupted():
            return run(argv)
    except UsageError as error:
        say(str(error))
    except WriteError as error:
        say(f"write error: {error}")
    except MemoryError:
        say("out of memory")
    except BrokenProcessPool:
        say("a worker process ended abruptly")
    except KeyboardInterrupt:
        return _die_of(signal.SIGINT)
    except Terminated:
        return _die_of(signal.SIGTERM)
    return 2


@contextmanager
def _terminated_as_interrupted() -> Iterator[None]:
    """SIGTERM ends the run as Ctrl-C does, through the same cleanup."""
    if threading.current_thread() is not threading.main_thread():
        yield
        return

    def stop(signum: int, frame: object) -> None:
        raise Terminated

    previous = signal.signal(signal.SIGTERM, stop)
    try:
        yield
    finally:
        signal.signal(signal.SIGTERM, previous if previous is not None else signal.SIG_DFL)


def _die_of(signum: signal.Signals) -> int:
    """Ends the process by `signum`, as a shell expects of a command it
    stopped, once the answers written so far are out; 128 + the signal's
    number where that cannot be."""
    try:
        sys.stdout.flush()
    except (OSError, AttributeError):  # nothing more is owed to a failed or closed output
        pass
    if threading.current_thread() is threading.main_thread():
        signal.signal(signum, signal.SIG_DFL)
        os.kill(os.getpid(), signum)
    return 128 + signum


def run(argv: Sequence[str] | None) -> int:
    parsed = parse_options(argv)
    if isinstance(parsed, str):
        return show(parsed)
    options, files, jobs = parsed
    sizes = file_sizes(files)
    global _PROGRESS
    progress = None
    if sys.stderr.isatty() and not options.quiet:
        if sum(sizes) >= PROGRESS_BYTES:
            progress = Progress(sizes)
        elif _piped_stdin(files):
            progress = Progress(sizes, sized=False)
    _PROGRESS = progress if jobs <= 1 or len(files) <= 1 else None
    out = Output(progress)
    status, failed, invalid = 1, False, False
    try:
        with outcomes(files, options, jobs) as each:
            for outcome in _tracked(each, sizes, progress):
                if outcome.error is not None:
                    out.flush()
                    say(outcome.error)
                    failed = True
                    continue
                try:
                    _write(out, outcome, options)
                except BrokenPipeError:
                    # What was found counts: a closed pipe still ends with its status.
                    status = 0 if outcome.matched else status
                    raise
                finally:
                    if outcome.close is not None:
                        outcome.close()
                if outcome.error is not None:  # found as the document was read
                    out.flush()
                    say(outcome.error)
                    failed = True
                    continue
                if outcome.warning is not None:
                    out.flush()
                    say(outcome.warning, prefix="")
                if outcome.matched:
                    status = 0
                    if options.quiet:
                        break
                invalid = invalid or (options.mode == "validate" and not outcome.matched)
                if options.list_files and outcome.matched:
                    out.write(outcome.name + ("\0" if options.nul else "\n"))
        out.flush()
    except BrokenPipeError:  # the reader went away (| head): stop quietly
        pass
    finally:
        if progress is not None:
            progress.close()
    return _status(options, status, failed, invalid)


def _write(out: Output, outcome: FileOutcome, options: Options) -> None:
    """A file's text; streamed, each piece flushed as it is made, so that an
    answer shows as soon as it is found."""
    if isinstance(outcome.text, str):
        out.write(outcome.text)
        return
    for piece in outcome.text:
        out.write(piece)
        if outcome.streamed and piece:
            out.flush()


def show(text: str) -> int:
    out = Output(None)
    try:
        out.write(text)
        out.flush()
    except BrokenPipeError:  # the reader went away (| head): stop quietly
        pass
    return 0


def _status(options: Options, status: int, failed: bool, invalid: bool) -> int:
    if options.quiet and status == 0:
        return 0
    if failed:
        return 2
    if options.mode == "validate":
        return 1 if invalid else 0
    return status


def _tracked(outcomes: Iterator[FileOutcome], sizes: list[int],
             progress: Progress | None) -> Iterator[FileOutcome]:
    """The outcomes, each file's progress marked before and after it."""
    if progress is not None:
        progress.begin(sizes[0])
    for i, outcome in enumerate(outcomes):
        if progress is not None:
            progress.end(sizes[i])
            if i + 1 < len(sizes):
                progress.begin(sizes[i + 1])
        yield outcome


if __name__ == "__main__":
    sys.exit(main())
