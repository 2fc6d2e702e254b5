"""The stubs match the module, and code that uses the package passes mypy --strict."""

import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("mypy")
ROOT = Path(__file__).resolve().parents[2]


def mypy(*args, cwd):
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True,
                          cwd=cwd, timeout=600)


def test_stubs_match_the_runtime_module(tmp_path):
    out = mypy("mypy.stubtest", "quorbix", cwd=tmp_path)
    assert out.returncode == 0, out.stdout + out.stderr


def test_typed_usage_passes_strict_checking(tmp_path):
    out = mypy("mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
               str(ROOT / "tests" / "typing" / "usage.py"), cwd=tmp_path)
    assert out.returncode == 0, out.stdout + out.stderr
