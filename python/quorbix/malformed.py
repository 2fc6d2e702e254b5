"""Where and why a document's tags do not make one tree, and the error that says so."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any

from ._quorbix import _validation_report


@dataclass(frozen=True)
class ValidationProblem:
    """The first problem of a document `validate` refuses: its line and
    column (from 1, the column in characters), its byte offset in the
    document as read (a str's UTF-8 form), and what is wrong, in words."""

    line: int
    column: int
    offset: int
    message: str

    def __str__(self) -> str:
        return f"line {self.line}, column {self.column}: {self.message}"


class MalformedError(ValueError):
    """A document that is not well formed, met where an answer from part of
    it would pass for the whole: `problem` says where and why."""

    def __init__(self, problem: ValidationProblem, advice: str = "") -> None:
        super().__init__(f"malformed XML at {problem}{advice}")
        self.problem, self.advice = problem, advice

    def __reduce__(self) -> tuple[Any, ...]:
        # Made again from its parts, so that it crosses to another process
        # (a Dask worker's error) as it was raised.
        return type(self), (self.problem, self.advice)


def validation_report(data: str | bytes | Any) -> ValidationProblem | None:
    """None for a document `validate` accepts (balanced, matching tags, one
    root element, all markup closed); else where it first goes wrong and why."""
    return _problem(_validation_report(data))


def _problem(report: tuple[int, int, int, str] | None) -> ValidationProblem | None:
    if report is None:
        return None
    offset, line, column, message = report
    return ValidationProblem(line, column, offset, message)
