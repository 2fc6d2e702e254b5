#!/usr/bin/env python3
"""Compare every answer of two builds of quorbix over the same documents and paths.

    python tools/compare_builds.py FIRST_PYTHON SECOND_PYTHON [--count N] [--seed S]

Each interpreter (a venv with its own build of quorbix installed) runs this script as a
worker that answers queries; this process makes the documents and paths, sends each to both
and compares what comes back: get, get_bytes, a compiled path, parse().get, get_many,
get_many_bytes, and Result.get and Result.get_many below an element, each answer read
through what a user reads of a Result (type, len, to_str, to_int, to_float, to_bool, value,
iteration, keys, and the JSON the command line writes). An answer that fails compares by its
error; a worker that dies is reported with the document it was reading.

The documents are generated ones, well-formed (`--malformed` adds damaged ones) and made by
the generators of tests/python/test_reference.py, plus the shipped examples and the sample
feeds beside the project, when present. The seed makes a run repeatable. Run this script
with an interpreter that can import those generators (they need pytest and quorbix): the
project's development venv. Every difference is printed with its document, entry point and
path, and the fields in which the two answers differ; the exit status is 1 when any does.
"""

import argparse
import json
import os
import random
import re
import subprocess
import sys
import time
from collections import Counter
from itertools import islice
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
FEED_PLACES = [ROOT.parent / "shared" / "feeds", Path("/work/shared/feeds")]
LISTED = 30  # the items and children of one answer that are compared, at two levels


# ---------------------------------------------------------------- the worker (either build)


def worker():
    import quorbix
    from quorbix.cli import json_answer, values_json

    def attempt(read):
        try:
            return read()
        except Exception as error:  # an answer that fails compares by its failure
            return {"error": f"{type(error).__name__}: {error}"}

    def describe(result, path=None, depth=0):
        """What a user reads of a Result."""
        view = {
            "type": attempt(lambda: getattr(result.type_, "__name__", None)),
            "len": attempt(lambda: len(result)),
            "exists": attempt(result.exists),
            "to_str": attempt(result.to_str),
            "to_int": attempt(result.to_int),
            "to_float": attempt(lambda: repr(result.to_float())),
            "to_bool": attempt(result.to_bool),
            "values_json": attempt(lambda: values_json(result)),
        }
        if path is not None:
            view["json"] = attempt(lambda: json_answer(result, path))
        value = attempt(lambda: result.value)
        if isinstance(value, dict):
            view["keys"] = attempt(lambda: list(result.keys()))
            view["iter"] = attempt(lambda: list(result))
            if depth < 2:
                view["value"] = {k: describe(v, None, depth + 1) for k, v in value.items()}
                children = islice(result.children(), LISTED)
                view["children"] = [[k, describe(v, None, depth + 1)] for k, v in children]
        elif isinstance(value, list):
            view["value"] = [attempt(item.to_str) for item in value]
            if depth < 2:
                view["iter"] = [describe(item, None, depth + 1) for item in islice(result, LISTED)]
        else:
            view["value"] = repr(value)
            view["iter"] = attempt(lambda: "".join(result))
        return view

    def query(ask, path=None):
        result = attempt(ask)
        return result if isinstance(result, dict) else describe(result, path)

    def query_many(ask, paths):
        results = attempt(ask)
        return results if isinstance(results, dict) else list(map(describe, results, paths))

    def answer(request):
        data = request["data"].encode("latin-1")  # bytes, carried as latin-1 text
        text, out = request["text"], {}
        whole = attempt(lambda: quorbix.parse(data))
        for path in request["paths"]:
            if text is not None:
                out[f"get {path!r}"] = query(lambda: quorbix.get(text, path), path)
            out[f"get_bytes {path!r}"] = query(lambda: quorbix.get_bytes(data, path), path)
            compiled = lambda: quorbix.compile(path).get_bytes(data)  # noqa: E731
            out[f"compile().get_bytes {path!r}"] = query(compiled, path)
            out[f"parse().get {path!r}"] = query(lambda: whole.get(path), path)
        for paths in request["groups"]:
            ask = lambda: quorbix.get_many_bytes(data, paths)  # noqa: E731
            out[f"get_many_bytes {paths!r}"] = query_many(ask, paths)
            if text is not None:
                ask = lambda: quorbix.get_many(text, paths)  # noqa: E731
                out[f"get_many {paths!r}"] = query_many(ask, paths)
        if request["base"]:
            base_path, relative = request["base"], request["relative"]
            base = attempt(lambda: quorbix.get_bytes(data, base_path))
            out[f"get_bytes {base_path!r}"] = query(lambda: base, base_path)
            for path in relative:
                out[f"Result.get {path!r}"] = query(lambda: base.get(path), path)
            ask = lambda: base.get_many(relative)  # noqa: E731
            out[f"Result.get_many {relative!r}"] = query_many(ask, relative)
        return out

    print(json.dumps({"module": quorbix.__file__, "version": quorbix.__version__}), flush=True)
    for line in sys.stdin:
        print(json.dumps(answer(json.loads(line))), flush=True)


# ---------------------------------------------------------------- documents and paths


def generated(rng, count, malformed):
    """(name, bytes, text, Document, path maker) of generated documents."""
    for number in range(count):
        words = NARROW if number % 2 else WIDE
        text = make_document(rng, words)
        if malformed and number % 2:
            text = damage(rng, text)
        document = Document(text)
        yield f"generated #{number}", text.encode(), text, document, Paths(rng, document, words)


def real_documents(rng):
    """The same of the shipped examples and the sample feeds, read by their own encoding."""
    feeds = next((place for place in FEED_PLACES if place.is_dir()), None)
    files = sorted((ROOT / "examples").glob("*.xml"))
    files += sorted(feeds.glob("*.xml")) if feeds else []
    for file in files:
        data = file.read_bytes()
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            text = None
        document = Document(text if text is not None else readable(data))
        yield file.name, data, text, document, Paths(rng, document, WIDE)


def readable(data):
    """A document in another encoding as text, so that paths can be made of its names."""
    declared = re.search(rb"""encoding=["']([A-Za-z0-9._-]+)""", data[:200])
    label = declared[1].decode().lower() if declared else "latin-1"
    for codec in (label, label.replace("x-", "").replace("-", "_"), "latin-1"):
        try:
            text = data.decode(codec, "replace")
        except LookupError:
            continue
        return re.sub(r"""encoding=["'][^"']*""", 'encoding="utf-8', text, count=1)


def request(rng, data, text, document, make, count):
    """Paths over one document, on their own and in groups, and paths below one element."""
    paths = [make.path(document.roots) for _ in range(count)]
    groups = [make.related(document.roots), paths[: rng.choice([2, 3, 4])]]
    everything = elements(document.roots)
    base, relative = None, []
    if everything:
        element = rng.choice(everything)
        base = index_path(element, document)
        relative = [make.path(list(element)) for _ in range(3)] + make.related(list(element))
    return {"data": data.decode("latin-1"), "text": text, "paths": paths, "groups": groups,
            "base": base, "relative": relative}  # fmt: skip


# ---------------------------------------------------------------- comparing


class Build:
    """One interpreter's worker."""

    def __init__(self, python):
        self.python = python
        if os.sep in python:  # the worker runs elsewhere, so that no module here shadows
            python = os.path.abspath(python)  # the build's; a venv's link is kept as it is
        command = [python, str(Path(__file__).resolve()), "--worker"]
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        text=True, encoding="utf-8", cwd="/")  # fmt: skip
        self.about = self.receive()

    def send(self, message):
        self.process.stdin.write(json.dumps(message) + "\n")
        self.process.stdin.flush()

    def receive(self):
        line = self.process.stdout.readline()
        if not line:
            return {"died": f"the worker of {self.python} ended ({self.process.wait()})"}
        return json.loads(line)


def differences(first, second, where=""):
    """(field, first, second) for each field in which two answers differ."""
    if isinstance(first, dict) and isinstance(second, dict) and "error" not in first:
        for key in dict.fromkeys([*first, *second]):
            yield from differences(first.get(key), second.get(key), f"{where}.{key}")
    elif isinstance(first, list) and isinstance(second, list) and len(first) == len(second):
        for i, (a, b) in enumerate(zip(first, second)):
            yield from differences(a, b, f"{where}[{i}]")
    elif first != second:
        yield where or ".", first, second


def shown(value, limit=300):
    text = repr(value)
    return text if len(text) <= limit else text[:limit] + f"... ({len(text)} characters)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("first", help="the interpreter of one build")
    parser.add_argument("second", help="the interpreter of the other")
    parser.add_argument("--count", type=int, default=200, help="generated documents (200)")
    parser.add_argument("--paths", type=int, default=6, help="paths per document (6)")
    parser.add_argument("--seed", default="20240611", help="makes the run repeatable")
    parser.add_argument("--malformed", action="store_true", help="damage half the documents")
    parser.add_argument("--shown", type=int, default=20, help="differences printed (20)")
    options = parser.parse_args()

    builds = [Build(options.first), Build(options.second)]
    for build in builds:
        print(f"{build.python}: {build.about}")
    if any("died" in build.about for build in builds):
        return 2
    rng, begun = random.Random(options.seed), time.monotonic()
    compared, differ, documents, printed = Counter(), Counter(), 0, 0
    sources = [generated(rng, options.count, options.malformed), real_documents(rng)]
    for name, data, text, document, make in (each for source in sources for each in source):
        count = options.paths * (1 if name.startswith("generated") else 10)
        message = request(rng, data, text, document, make, count)
        for build in builds:
            build.send(message)
        answers = [build.receive() for build in builds]
        documents += 1
        for key in dict.fromkeys([*answers[0], *answers[1]]):
            entry = key.split(" ")[0]
            compared[entry] += 1
            found = list(differences(answers[0].get(key), answers[1].get(key)))
            if not found:
                continue
            differ[entry] += 1
            if printed < options.shown:
                printed += 1
                print(f"\n--- {name}: {key}\n    document: {shown(data)}")
                for field, a, b in found[:6]:
                    print(f"    {field}\n        first:  {shown(a)}\n        second: {shown(b)}")
        if any("died" in answer for answer in answers):
            print(f"\n--- {name}: a worker died\n    document: {shown(data)}")
            return 2
    seconds = time.monotonic() - begun
    print(f"\n{documents} documents, {sum(compared.values())} answers compared in {seconds:.0f} s")
    for entry in compared:
        print(f"  {entry:22} {compared[entry]:7} compared, {differ[entry]:5} differ")
    print(f"{sum(differ.values())} differ" + (f" ({printed} shown)" if differ else ""))
    return 1 if differ else 0


if __name__ == "__main__":
    if sys.argv[1:] == ["--worker"]:
        worker()
        sys.exit(0)
    sys.path.insert(0, str(ROOT / "tests" / "python"))
    from reference import Document
    from test_reference import NARROW, WIDE, Paths, damage, elements, index_path, make_document

    sys.exit(main())
