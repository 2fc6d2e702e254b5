"""Runs a Python statement through the module, for callgrind to count.

Usage: python bench/calls.py FILE CALLS [SETUP;;]STATEMENT [--empty]

The statement sees `quorbix`, the document as `doc` (bytes) and as `text`
(str), and the catalog's TEN_QUESTIONS; SETUP, when given, runs once before
it. The statement then runs CALLS times in a loop, after one call that warms
up what a first call sets up when CALLS is more than one. --empty runs the
same, with `pass` in the loop: subtracted from a run without it, what is left
is what the statement costs, CALLS times (bench/instructions.sh does this).
"""

import sys
from pathlib import Path

import quorbix

sys.path.insert(0, str(Path(__file__).resolve().parent))
from gen_catalog import TEN_QUESTIONS  # noqa: E402


def main():
    file, calls, question = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    empty = "--empty" in sys.argv[4:]
    setup, _, statement = question.rpartition(";;")
    statement = statement.strip()
    doc = Path(file).read_bytes()
    names = {"quorbix": quorbix, "doc": doc, "text": doc.decode(), "TEN_QUESTIONS": TEN_QUESTIONS}
    exec(setup, names)
    if calls > 1:
        exec(statement, names)
    # A function of its own, so that the loop is what a caller's loop costs.
    body = "pass" if empty else statement
    exec(f"def run():\n    for _ in range({calls}):\n        {body}\n", names)
    names["run"]()


if __name__ == "__main__":
    main()
