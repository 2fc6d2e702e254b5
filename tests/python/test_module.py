"""The module frame: names, signatures and the interpreter-style argument binding."""

import inspect

import pytest

import quorbix
from quorbix import _quorbix


def test_all_lists_the_functions_in_order():
    assert quorbix.__all__ == [*_quorbix.__all__, "records", "read_xml", "table", "stream",
                               "stream_records", "validation_report", "ValidationProblem",
                               "MalformedError"]
    assert "validate" in _quorbix.__all__
    assert "InternalError" not in dir(_quorbix)


def test_functions_carry_their_text_signature_and_module():
    assert str(inspect.signature(quorbix.validate)) == "(data)"
    assert quorbix.validate.__module__ == "quorbix._quorbix"
    assert quorbix.validate.__doc__ is None  # the signature is all it documents


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: quorbix.validate(), "validate() missing 1 required positional argument: 'data'"),
        (
            lambda: quorbix.validate("<a/>", 1),
            "validate() takes 1 positional arguments but 2 were given",
        ),
        (
            lambda: quorbix.validate("<a/>", data="<a/>"),
            "validate() got multiple values for argument 'data'",
        ),
        (
            lambda: quorbix.validate(data="<a/>", x=1),
            "validate() got an unexpected keyword argument 'x'",
        ),
    ],
)
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keyword_argument_binds():
    assert quorbix.validate(data="<a/>") is True
