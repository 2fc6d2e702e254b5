"""Every example of the path-language guide runs and shows what it says."""

import doctest
import os
import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
GUIDE = ROOT / "python" / "quorbix" / "guide.md"


def python_blocks():
    text = GUIDE.read_text()
    return re.findall(r"```python\n(.*?)```", text, flags=re.S)


def test_the_guide_has_examples():
    assert len(python_blocks()) >= 10


def test_every_example_of_the_guide(monkeypatch):
    monkeypatch.chdir(ROOT)  # the examples open examples/catalog.xml
    parser = doctest.DocTestParser()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    globs = {}
    for number, block in enumerate(python_blocks()):
        test = parser.get_doctest(block, globs, f"guide.md block {number}", str(GUIDE), 0)
        runner.run(test, clear_globs=False)
        globs = test.globs  # each block goes on from the names the one before made
    failed, attempted = runner.summarize(verbose=False)
    assert attempted > 40
    assert failed == 0, "see the doctest report above"
