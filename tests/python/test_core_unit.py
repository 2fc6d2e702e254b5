"""Builds the C++ core's unit tests and runs them, so one pytest run covers the whole suite."""

import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build" / "core-tests"


def test_core_unit_tests():
    if shutil.which("cmake") is None:
        pytest.skip("cmake is not installed")
    configure = subprocess.run(
        ["cmake", "-S", str(ROOT), "-B", str(BUILD), "-DQUORBIX_BUILD_TESTS=ON",
         "-DCMAKE_BUILD_TYPE=Release", f"-DPython_EXECUTABLE={sys.executable}"],
        capture_output=True, text=True)
    if configure.returncode != 0 and "GTest" in configure.stderr:
        pytest.skip("GoogleTest is not installed (apt-get install libgtest-dev)")
    assert configure.returncode == 0, configure.stderr
    build = subprocess.run(["cmake", "--build", str(BUILD), "--parallel", "2"],
                           capture_output=True, text=True)
    assert build.returncode == 0, build.stdout + build.stderr
    run = subprocess.run([str(BUILD / "core_tests"), "--gtest_brief=1"], capture_output=True,
                         text=True)
    assert run.returncode == 0, run.stdout + run.stderr
