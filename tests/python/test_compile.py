"""compile() and the Path class: construction, errors as ValueError, repr, identity."""

import gc
import inspect
import threading

import pytest

import quorbix
from quorbix import Path, compile


def test_path_is_final_and_not_instantiable():
    with pytest.raises(TypeError):
        Path()
    with pytest.raises(TypeError):
        type("P", (Path,), {})
    assert Path.__module__ == "quorbix._quorbix"
    assert Path.__doc__ is None
    assert not gc.is_tracked(compile("a"))


def test_equality_is_identity():
    a, b = compile("a"), compile("a")
    assert a is not b and a != b and a == a
    assert hash(a) != hash(b) or a is b


@pytest.mark.parametrize(
    "text, shown",
    [
        ("a.b", 'Path("a.b")'),
        ("it's", "Path(\"it's\")"),
        ('a"b\\c', 'Path("a\\"b\\\\c")'),
        ("a\tb\nc", 'Path("a\\tb\\nc")'),
        ("é.\u0301x\u00a0", 'Path("é.\\u{301}x\\u{a0}")'),
    ],
)
def test_repr_quotes_the_text(text, shown):
    assert repr(compile(text)) == shown
    assert str(compile(text)) == shown


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "empty path\n  in path: \"\""),
        ("a|", "modifier name is empty\n  in path: \"a|\"\n             ^"),
        ("a|@Count", "unknown modifier: @Count\n  in path: \"a|@Count\"\n              ^"),
        ("a#(b==1", "unmatched ( in filter\n  in path: \"a#(b==1\"\n              ^"),
        ("a#(x!y)", "filter expression missing operator: !y\n  in path: \"a#(x!y)\"\n                ^"),
    ],
)
def test_malformed_paths_raise_value_error(text, message):
    with pytest.raises(ValueError) as info:
        compile(text)
    assert str(info.value) == message


def test_argument_errors():
    with pytest.raises(TypeError) as info:
        compile(5)
    assert str(info.value) == "argument 'path': 'int' object is not an instance of 'str'"
    with pytest.raises(TypeError) as info:
        compile(None)
    assert str(info.value) == "argument 'path': 'None' is not an instance of 'str'"
    with pytest.raises(TypeError) as info:
        compile()
    assert str(info.value) == "compile() missing 1 required positional argument: 'path'"
    with pytest.raises(UnicodeEncodeError):
        compile("a\ud800")
    assert str(inspect.signature(compile)) == "(path, namespaces=None)"


def test_huge_path_texts_compile_or_fail():
    assert repr(compile("a." * 100_000)).startswith('Path("a.a.')
    for text in ["(" * 100_000, "a#(" * 100_000, "." * 1_000_000, "a#(b==1)#." * 100_000 + "#"]:
        with pytest.raises(ValueError):
            compile(text)
    compile("(" * 100_000 + ")" * 100_000)
    compile("\\" * 1_000_000)
    compile("a#(b==1)#." * 100_000 + "c")


def test_paths_survive_cache_clearance_and_cross_threads():
    first = compile("survivor.a")
    for i in range(600):  # more than the cache holds
        compile(f"filler.{i}")
    assert repr(first) == 'Path("survivor.a")'
    made = []
    thread = threading.Thread(target=lambda: made.append(compile("survivor.a")))
    thread.start()
    thread.join()
    del first
    assert repr(made[0]) == 'Path("survivor.a")'


def test_all_grows_in_order():
    names = quorbix._quorbix.__all__
    assert names.index("compile") < names.index("validate") < names.index("Path")
