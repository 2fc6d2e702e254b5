"""The quorbix command line: answer paths over XML files, in the way of grep and jq.

    quorbix PATH [FILE ...]          one path over each file (or standard input)
    quorbix -e PATH -e PATH [FILE]   several paths in one pass per file

Exit status: 0 when something matched (with --validate: every file is valid),
1 when nothing did (some file is not), 2 on an error.
"""

from __future__ import annotations

import argparse
import json
import mmap
import os
import sys
from concurrent.futures import ProcessPoolExecutor
from dataclasses import dataclass, field
from typing import Any, Iterable, Iterator, Sequence

import quorbix

# Above this many bytes of input, a terminal gets a progress bar.
PROGRESS_BYTES = 64 << 20


class UsageError(Exception):
    """A mistake of the caller's: shown as one line, exit status 2."""


@dataclass
class Options:
    paths: list[str]
    mode: str  # "lines", "json", "count" or "validate"
    names: bool  # prefix each line with the file name


@dataclass
class FileOutcome:
    lines: list[str] = field(default_factory=list)
    matched: bool = False
    error: str | None = None


def to_json(result: quorbix.Result) -> Any:
    """A Result as plain data: scalars by their type, lists, and elements with
    children as objects of their children's values."""
    value = result.value
    if isinstance(value, dict):
        return {key: to_json(child) for key, child in value.items()}
    if isinstance(value, list):
        return [to_json(item) for item in value]
    return value


def values_of(result: quorbix.Result) -> Iterator[str]:
    """One line per value: the text of a scalar, the markup of an element."""
    if len(result) > 1:
        for item in result:
            yield item.to_str()
    elif result.exists():
        yield result.to_str()


def answer(data: Any, options: Options) -> tuple[list[Any], bool]:
    """Every path's answer over one document, and whether anything matched."""
    if options.mode == "validate":
        valid = quorbix.validate(data)
        return [valid], valid
    if isinstance(data, bytes):
        results = quorbix.get_many_bytes(data, list(options.paths))
    else:
        results = quorbix.get_many_buffer(data, list(options.paths))
    matched = any(r.exists() and (options.mode != "count" or len(r) > 0) for r in results)
    if options.mode == "count":
        return [len(r) for r in results], matched
    if options.mode == "json":
        return [to_json(r) for r in results], matched
    return [list(values_of(r)) for r in results], matched


def format_lines(name: str, answers: list[Any], options: Options) -> list[str]:
    prefix = f"{name}:" if options.names else ""
    if options.mode == "validate":
        return [] if answers[0] else [name]
    if options.mode == "json":
        value = answers[0] if len(options.paths) == 1 else dict(zip(options.paths, answers))
        if options.names:
            value = {"file": name, "value": value}
        return [json.dumps(value, ensure_ascii=False)]
    if options.mode == "count":
        return [prefix + str(count) for count in answers]
    return [prefix + line for values in answers for line in values]


def read_file(name: str) -> FileOutcome:
    """Reads one file (memory-mapped) or standard input ("-")."""
    try:
        if name == "-":
            return _outcome(name, sys.stdin.buffer.read())
        with open(name, "rb") as f:
            if os.fstat(f.fileno()).st_size == 0:  # an empty file cannot be mapped
                return _outcome(name, b"")
            with mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
                return _outcome(name, mapped)
    except OSError as error:
        return FileOutcome(error=f"{name}: {error.strerror or error}")


def _outcome(name: str, data: Any) -> FileOutcome:
    try:
        answers, matched = answer(data, _OPTIONS)
    except ValueError as error:  # an ambiguous path: the document decides
        return FileOutcome(error=f"{name}: {error}")
    shown = "(standard input)" if name == "-" else name
    return FileOutcome(format_lines(shown, answers, _OPTIONS), matched)


# The options of the run, set in each process before any file is read.
_OPTIONS = Options([], "lines", False)


def _init_worker(options: Options) -> None:
    global _OPTIONS
    _OPTIONS = options


def outcomes(files: Sequence[str], options: Options, jobs: int) -> Iterable[FileOutcome]:
    """Each file's outcome, in the order of `files`."""
    _init_worker(options)
    if jobs <= 1 or len(files) <= 1:
        return map(read_file, files)
    pool = ProcessPoolExecutor(max_workers=jobs, initializer=_init_worker, initargs=(options,))
    return _closing(pool, pool.map(read_file, files))


def _closing(pool: ProcessPoolExecutor, results: Iterator[FileOutcome]) -> Iterator[FileOutcome]:
    with pool:
        yield from results


def progress(files: Sequence[str], items: Iterable[FileOutcome]) -> Iterable[FileOutcome]:
    """A progress bar on standard error, when it is a terminal and the work is long."""
    sizes = [os.path.getsize(f) if f != "-" and os.path.isfile(f) else 0 for f in files]
    if not sys.stderr.isatty() or sum(sizes) < PROGRESS_BYTES:
        return items
    from tqdm import tqdm

    bar = tqdm(total=sum(sizes), unit="B", unit_scale=True, file=sys.stderr, leave=False)

    def advance() -> Iterator[FileOutcome]:
        with bar:
            for size, item in zip(sizes, items):
                bar.update(size)
                yield item

    return advance()


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="quorbix", add_help=False,
        description="Answer path queries over XML files in one streaming pass.",
        epilog="Exit status: 0 when something matched, 1 when nothing did, 2 on an error. "
               "The path language: see docs/paths.md.")
    p.add_argument("arguments", nargs="*", metavar="PATH [FILE ...]",
                   help="the path (unless -e is given), then the files; none or '-' reads "
                        "standard input")
    p.add_argument("-e", "--path", dest="paths", action="append", default=[], metavar="PATH",
                   help="a path to answer; repeat for several paths answered in one pass")
    mode = p.add_mutually_exclusive_group()
    mode.add_argument("--json", dest="mode", action="store_const", const="json",
                      help="write JSON lines: numbers, strings, lists and objects")
    mode.add_argument("--count", dest="mode", action="store_const", const="count",
                      help="print the number of matches of each path")
    mode.add_argument("--validate", dest="mode", action="store_const", const="validate",
                      help="check each file (balanced, matching tags, one root) and print the "
                           "ones that fail")
    names = p.add_mutually_exclusive_group()
    names.add_argument("-H", "--with-filename", dest="names", action="store_const", const=True,
                       help="prefix each line with the file name (the default for several files)")
    names.add_argument("-h", "--no-filename", dest="names", action="store_const", const=False,
                       help="never prefix lines with the file name")
    p.add_argument("-j", "--jobs", type=int, default=1, metavar="N",
                   help="answer files in N worker processes (output keeps the files' order)")
    p.add_argument("--version", action="version", version=f"quorbix {quorbix.__version__}")
    p.add_argument("--help", action="help", help="show this help and exit")
    return p


def parse_options(argv: Sequence[str] | None) -> tuple[Options, list[str], int]:
    args = parser().parse_args(argv)
    rest = list(args.arguments)
    mode = args.mode or "lines"
    paths = list(args.paths)
    if mode != "validate" and not paths:
        if not rest:
            raise UsageError("no path given (quorbix PATH [FILE ...], or -e PATH)")
        paths.append(rest.pop(0))
    files = rest or ["-"]
    for text in paths:
        try:
            quorbix.compile(text)
        except ValueError as error:
            raise UsageError(str(error)) from None
    if args.jobs < 1:
        raise UsageError("--jobs must be at least 1")
    names = args.names if args.names is not None else len(files) > 1
    return Options(paths, mode, names), files, args.jobs


def main(argv: Sequence[str] | None = None) -> int:
    try:
        options, files, jobs = parse_options(argv)
    except UsageError as error:
        print(f"quorbix: {error}", file=sys.stderr)
        return 2
    status = 1
    failed = False
    invalid = False  # --validate: some file failed the check
    try:
        for outcome in progress(files, outcomes(files, options, jobs)):
            if outcome.error is not None:
                print(f"quorbix: {outcome.error}", file=sys.stderr)
                failed = True
                continue
            for line in outcome.lines:
                print(line)
            if outcome.matched:
                status = 0
            invalid = invalid or (options.mode == "validate" and not outcome.matched)
        sys.stdout.flush()
    except BrokenPipeError:  # the reader went away (| head): stop quietly
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0 if status == 0 else 1
    except KeyboardInterrupt:
        return 130
    if failed:
        return 2
    if options.mode == "validate":
        return 1 if invalid else 0
    return status


if __name__ == "__main__":
    sys.exit(main())
