"""A plain evaluator of quorbix paths over an ElementTree, for the tests to trust.

It walks a tree, level by level, and follows the rules of the path language as the guide
(python/quorbix/guide.md) states them: no streaming, no strategies, no speed. The tree is
expat's where expat reads the document; otherwise it is read as the engine's tag walk reads
it, each element ending by depth (see `Document._read_tolerantly`). A
query answers a list of items, each `("E", element)` for a matched element or
`("S", text)` for a value, and `canon` turns such a list into what a Result shows of it.
"""

import math
import re
import xml.etree.ElementTree as ET
import xml.parsers.expat
from dataclasses import dataclass
from decimal import Decimal

WHITE_SPACE = "\t\n\v\f\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007"
WHITE_SPACE += "\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000"
MODIFIERS = {
    "reverse": "reverse", "first": "first", "last": "last", "count": "count", "sort": "sort",
    "sort_n": "sort_n", "sortn": "sort_n", "unique": "unique", "uniq": "unique",
    "flatten": "flatten", "tostr": "tostr", "sum": "sum", "mean": "mean", "avg": "mean",
    "min": "min", "max": "max",
}  # fmt: skip
NUMBER = re.compile(r"[+-]?(inf|infinity|nan|(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)", re.I)
INT64 = re.compile(r"[+-]?\d+")


class Ambiguous(Exception):
    """A step without an index matched twice where the path goes on."""

    def __init__(self, name):
        super().__init__(name)
        self.name = name


class _Stop(Exception):
    """The scan has its answer and reads no further."""


# ---------------------------------------------------------------- documents


class Document:
    """A parsed document: its top-level elements (`roots`; a well-formed one has one, `root`),
    and for every element its markup and whether it was written self-closing (the tree alone
    cannot tell `<a/>` from `<a></a>`)."""

    def __init__(self, text):
        self.data = text.encode("utf-8")
        self.info = {}  # element -> (start, end, self_closing)
        try:
            self.roots = [self._read_well_formed()]
        except xml.parsers.expat.ExpatError:
            self.info = {}
            self.roots = self._read_tolerantly()
        self.root = self.roots[0] if self.roots else None

    def _read_well_formed(self):
        builder = ET.TreeBuilder()
        parser = xml.parsers.expat.ParserCreate()  # no namespace processing: names as written
        open_ = []

        def start(name, attributes):  # values as XML normalizes them, in document order
            open_.append((builder.start(name, attributes), parser.CurrentByteIndex))

        def end(name):
            element, begin = open_.pop()
            builder.end(name)
            tag_end = tag_end_at(self.data, begin)
            if self.data[tag_end - 1 : tag_end] == b"/":
                self.info[element] = (begin, tag_end + 1, True)
            else:
                close = self.data.index(b">", parser.CurrentByteIndex)
                self.info[element] = (begin, close + 1, False)

        parser.StartElementHandler = start
        parser.EndElementHandler = end
        parser.CharacterDataHandler = builder.data
        parser.Parse(self.data, True)
        return builder.close()

    def _read_tolerantly(self):
        """The top-level elements of a document expat refuses, read tag by tag as the engine's
        walk reads them. An element ends by depth: an end tag closes the innermost open
        element whatever its name, and one with none open is passed over; elements still open
        where the walk stops end there, at the input's end or at the markup it cannot read.
        Text outside every element, comments, PIs and DOCTYPEs are no element's text."""
        data, at, open_ = self.data, 0, []  # open_: (element, start), innermost last
        builder = ET.TreeBuilder()
        builder.start("", {})  # holds the top-level elements

        def close(end, self_closing=False):
            element, begin = open_.pop()
            builder.end(element.tag)
            self.info[element] = (begin, end, self_closing)

        while True:
            lt = data.find(b"<", at)
            if open_ and (lt < 0 or lt > at):
                builder.data(character_data(data[at : None if lt < 0 else lt]))
            markup = read_markup(data, lt) if lt >= 0 else None
            if markup is None:  # the input's end, or markup the walk cannot read
                stop = len(data) if lt < 0 else lt
                while open_:
                    close(stop)
                builder.end("")
                return list(builder.close())
            kind, at = markup
            if kind in ("start", "empty"):
                content = data[lt + 1 : at - (2 if kind == "empty" else 1)]
                name = re.split(rb"[ \t\n\r]", content, maxsplit=1)[0]
                attributes = tag_attributes(content[len(name) :])
                open_.append((builder.start(name.decode("utf-8", "replace"), attributes), lt))
                if kind == "empty":
                    close(at, True)
            elif kind == "end" and open_:
                close(at)
            elif kind == "cdata" and open_:
                builder.data(lf_text(data[lt + 9 : at - 3]))

    def markup(self, element):
        start, end, _ = self.info[element]
        return self.data[start:end].decode("utf-8")

    def self_closing(self, element):
        return self.info[element][2]


# ---------------------------------------------------------------- markup as the tag walk reads it

TAG_END = re.compile(rb"""(?:[^>"']++|"[^"]*+"|'[^']*+')*+>""")  # a quoted value may hold '>'
TERMINATED = {b"<!--": b"-->", b"<![CDATA[": b"]]>", b"<?": b"?>"}
REFERENCE = re.compile(r"&#([0-9]+);|&#x([0-9a-fA-F]+);|&(lt|gt|amp|apos|quot);")
ATTRIBUTE = re.compile(  # a name runs to '=' or white space; a value is quoted, unclosed or bare
    rb"""[ \t\n\r]* ([^= \t\n\r]*) [ \t\n\r]*
    (?: = [ \t\n\r]* (?: (["'])(.*?)\2 | ["'].* | [^ \t\n\r]* ) )?""",
    re.S | re.X,
)
PREDEFINED = {"lt": "<", "gt": ">", "amp": "&", "apos": "'", "quot": '"'}


def tag_end_at(data, at):
    """The offset of the `>` that ends the tag whose bytes go on at `at`, or -1."""
    found = TAG_END.match(data, at)
    return found.end() - 1 if found else -1


def past_terminated(data, at, openers=TERMINATED):
    """For a comment, CDATA section or PI at `at`: the offset past its end, or -1 where it
    does not end; None for other markup."""
    for opener in openers:
        if data.startswith(opener, at):
            close = data.find(TERMINATED[opener], at + len(opener))
            return -1 if close < 0 else close + len(TERMINATED[opener])
    return None


def doctype_end(data, at):
    """The offset of the `>` ending a DOCTYPE whose content starts at `at`, or -1: quoted
    literals, and the internal subset's comments, PIs and declarations, end nothing."""
    while 0 <= at < len(data):
        char = data[at : at + 1]
        if char == b">":
            return at
        if char in (b'"', b"'"):
            at = data.find(char, at + 1)
        elif char == b"[":
            at = subset_end(data, at + 1)
        at = at + 1 if at >= 0 else -1
    return -1


def subset_end(data, at):
    """The offset of the `]` that closes an internal subset starting at `at`, or -1."""
    while 0 <= at < len(data) and data[at : at + 1] != b"]":
        if data[at : at + 1] != b"<":
            at += 1
        elif (past := past_terminated(data, at, (b"<!--", b"<?"))) is not None:
            at = past
        else:
            at = tag_end_at(data, at + 1)
            at = at + 1 if at >= 0 else -1
    return at if at < len(data) else -1


def read_markup(data, lt):
    """(kind, offset past it) of the markup at `lt` as the engine's walk reads it: "start",
    "empty", "end", "cdata" or "other" (a comment, PI or DOCTYPE); None where the walk
    stops, at a '<' that ends the input or markup that does not end."""
    opener = data[lt + 1 : lt + 2]
    if (past := past_terminated(data, lt)) is not None:
        kind = "cdata" if data.startswith(b"<![", lt) else "other"
    elif opener == b"!":
        past = doctype_end(data, lt + 9) + 1 if data[lt + 2 : lt + 9].upper() == b"DOCTYPE" else 0
        kind = "other"
    elif opener == b"/":
        past, kind = data.find(b">", lt + 2) + 1, "end"
    else:
        past = tag_end_at(data, lt + 1) + 1
        kind = "empty" if past > lt + 2 and data[past - 2] == ord("/") else "start"
    return (kind, past) if past > 0 and opener else None


def lf_text(raw):
    """Bytes of the document as text, line ends read as LF (as a CDATA section reads)."""
    return raw.decode("utf-8", "replace").replace("\r\n", "\n").replace("\r", "\n")


def character_data(raw, attribute=False):
    """Text (or an attribute value) as the engine reads it: line ends as LF (in a value,
    line ends and tabs as a space), the predefined entities and character references
    resolved; any other `&` stays as written."""
    text = lf_text(raw)
    if attribute:
        text = text.replace("\n", " ").replace("\t", " ")

    def resolve(found):
        if found[3]:
            return PREDEFINED[found[3]]
        code = int(found[1], 10) if found[1] else int(found[2], 16)
        valid = 0 < code < 0x110000 and not 0xD800 <= code <= 0xDFFF
        return chr(code) if valid else found[0]

    return REFERENCE.sub(resolve, text)


def tag_attributes(text):
    """The attributes of a tag's bytes after its name, as the engine reads them: a name runs
    to `=` or white space; a name without a quoted value, an empty name and a repeated name
    are passed over; a value whose quote does not close takes the rest of the tag."""
    attributes = {}
    for found in ATTRIBUTE.finditer(text):
        name, value = found[1].decode("utf-8", "replace"), found[3]
        if name and value is not None:
            attributes.setdefault(name, character_data(value, attribute=True))
    return attributes


def local_name(name):
    return name.rpartition(":")[2]


def element_text(element):
    """Own text and the descendants', in document order."""
    return "".join(element.itertext())


# ---------------------------------------------------------------- paths


@dataclass(frozen=True)
class Filter:
    lhs: tuple  # of Step, possibly empty (the candidate itself)
    op: str  # == != < <= > >= % !%
    kind: str  # "number", "string", "bool"
    value: object


@dataclass(frozen=True)
class Step:
    kind: str  # "element", "attribute", "text"
    name: str = ""  # exact names unescaped; glob patterns as written
    glob: bool = False
    selector: str = None  # None, "index", "count", "each", "first", "all"
    index: int = 0
    filter: Filter = None
    recursive: bool = False


@dataclass(frozen=True)
class CompiledPath:
    steps: tuple
    modifiers: tuple

    @property
    def final_capture(self):
        """How get_many records a match of the last step: "span" (the element), "text"
        (its text) or "count" (a placeholder the count modifier counts)."""
        last = self.steps[-1]
        if last.kind != "element":
            return "span"
        if self.modifiers == ("count",):
            return "count"
        if self.modifiers and "count" not in self.modifiers:
            if last.selector not in ("index", "count"):
                return "text"
        return "span"

    @property
    def answers_list(self):
        """Whether the answer is a list whatever its count: the path goes on from each
        match of a step (`#` or `#(...)#`), and no modifier after it makes one value."""
        listed = any(step.selector in ("each", "all") for step in self.steps)
        for modifier in self.modifiers:
            if modifier in ("first", "last", "count", "sum", "mean", "min", "max"):
                listed = False
        return listed


def unescape(text):
    """`\\x` becomes `x`; a lone backslash at the end goes."""
    return re.sub(r"\\(.?)", r"\1", text, flags=re.S)


def has_wildcard(text):
    return re.search(r"(?<!\\)(\\\\)*[*?]", text) is not None


def _skip_quoted(text, at):
    """The position just past the quoted region opened at `at` (or the end of the text); a
    backslash makes the character after it inert there too."""
    quote, at = text[at], at + 1
    while at < len(text) and text[at] != quote:
        at += 2 if text[at] == "\\" else 1
    return min(at + 1, len(text))


def _unquoted(text, at=0):
    """The positions of `text` from `at` on that stand outside quoted regions and
    backslash escapes."""
    while at < len(text):
        char = text[at]
        if char == "\\":
            at += 2
        elif char in "'\"":
            at = _skip_quoted(text, at)
        else:
            yield at
            at += 1


def _closing_paren(text, at):
    depth = 0
    for at in _unquoted(text, at):
        depth += {"(": 1, ")": -1}.get(text[at], 0)
        if depth == 0:
            return at
    raise ValueError("unmatched ( in filter")


def _cut(text):
    """The path text cut at `|` outside parentheses and quoted regions."""
    pieces, depth, begin = [], 0, 0
    for at in _unquoted(text):
        char = text[at]
        if char == "|" and depth == 0:
            pieces.append(text[begin:at])
            begin = at + 1
        depth += {"(": 1, ")": -1}.get(char, 0)
        if depth < 0:
            raise ValueError("unmatched ( in filter")
    if depth:
        raise ValueError("unmatched ( in filter")
    return pieces + [text[begin:]]


def _classify(segment):
    if segment == "#text":
        return ("text",)
    if segment.startswith("@"):
        if len(segment) == 1:
            raise ValueError("@ must be followed by an attribute name")
        return ("attribute", unescape(segment[1:]))
    if segment == "#":
        return ("each",)
    if segment.isascii() and segment.isdigit():
        return ("index", int(segment))
    if has_wildcard(segment):
        return ("name", segment, True)
    return ("name", unescape(segment), False)


def _tokens(body):
    tokens, segment, at = [], "", 0

    def flush():
        nonlocal segment
        if segment:
            tokens.append(_classify(segment))
        segment = ""

    while at < len(body):
        char = body[at]
        if char == ".":
            flush()
            at += 1
        elif char == "\\":
            segment += body[at : at + 2]
            at += 2
        elif char == "*" and not segment and body[at + 1 : at + 2] == "*":
            tokens.append(("recursive",))
            at += 2
        elif char == "#" and body[at + 1 : at + 2] == "(":
            flush()
            close = _closing_paren(body, at + 1)
            every = body[close + 1 : close + 2] == "#"
            tokens.append(("filter", compile_filter(body[at + 2 : close]), every))
            at = close + 1 + every
        else:
            segment += char
            at += 1
    flush()
    return tokens


def parse_steps(body):
    tokens, steps, at = _tokens(body), [], 0
    while at < len(tokens):
        token = tokens[at]
        following = tokens[at + 1] if at + 1 < len(tokens) else None
        if token[0] in ("attribute", "text"):
            if following is not None:
                raise ValueError(f"{token[0]} must be the last component")
            steps.append(Step(token[0], token[1] if token[0] == "attribute" else ""))
            at += 1
        elif token[0] == "recursive":
            if following is None or following[0] != "name":
                raise ValueError("** must be followed by an element name")
            after = tokens[at + 2] if at + 2 < len(tokens) else None
            if after is not None and after[0] in ("index", "each", "filter"):
                raise ValueError("** does not accept an explicit selector")
            steps.append(Step("element", following[1], following[2], recursive=True))
            at += 2
        elif token[0] == "name":
            step = Step("element", token[1], token[2])
            at += 1
            if following is not None and following[0] in ("index", "each", "filter"):
                at += 1
                if following[0] == "index":
                    step = Step("element", token[1], token[2], "index", following[1])
                elif following[0] == "each":
                    selector = "count" if at == len(tokens) else "each"
                    step = Step("element", token[1], token[2], selector)
                else:
                    selector = "all" if following[2] else "first"
                    step = Step("element", token[1], token[2], selector, filter=following[1])
            steps.append(step)
        else:
            raise ValueError(f"{token[0]} without preceding name")
    return tuple(steps)


def compile_filter(text):
    at, op, depth = len(text), None, 0
    for at in _unquoted(text):
        char = text[at]
        depth += {"(": 1, ")": -1}.get(char, 0)  # a nested filter keeps its operator to itself
        if depth == 0 and char in "!%<=>":
            two = text[at : at + 2]
            op = two if two in ("==", "!=", "<=", ">=", "!%") else char
            if op == "!":
                raise ValueError("filter expression missing operator")
            break
    if op is None:
        raise ValueError("filter expression missing operator")
    lhs = text[:at].strip(WHITE_SPACE)
    if not lhs:
        raise ValueError("empty path")
    rhs = text[at + len(op) :].strip(WHITE_SPACE)
    op = "==" if op == "=" else op
    if len(rhs) >= 2 and rhs[0] in "'\"" and rhs[-1] == rhs[0]:
        kind, value = "string", unescape(rhs[1:-1])
    elif rhs in ("true", "false"):
        kind, value = "bool", rhs == "true"
    elif read_double(rhs) is not None:
        kind, value = "number", read_double(rhs)
    else:
        kind, value = "string", rhs
    return Filter(parse_steps(lhs), op, kind, value)


def compile_path(text):
    body, *rest = _cut(text)
    steps = parse_steps(body)
    if not steps:
        raise ValueError("empty path")
    modifiers = []
    for piece in rest:
        piece = piece.strip(WHITE_SPACE)
        if not piece.startswith("@") or len(piece) == 1:
            raise ValueError("modifier name is empty")
        if piece[1:] not in MODIFIERS:
            raise ValueError(f"unknown modifier: {piece}")
        modifiers.append(MODIFIERS[piece[1:]])
    return CompiledPath(steps, tuple(modifiers))


def glob_match(pattern, subject):
    """`*` any run, `?` any one character, `\\x` exactly x."""
    p = s = 0
    star = None  # (pattern position after the star, subject position)
    while True:
        if s == len(subject):
            while p < len(pattern) and pattern[p] == "*":
                p += 1
            return p == len(pattern)
        if p < len(pattern):
            char = pattern[p]
            if char == "*":
                star = (p + 1, s)
                p += 1
                continue
            if char == "\\" and p + 1 < len(pattern):
                if pattern[p + 1] == subject[s]:
                    p, s = p + 2, s + 1
                    continue
            elif char == "?" or char == subject[s]:
                p, s = p + 1, s + 1
                continue
        if star is None:
            return False
        star = (star[0], star[1] + 1)
        p, s = star


def name_matches(step, name):
    subject = name if ":" in step.name else local_name(name)
    return glob_match(step.name, subject) if step.glob else step.name == subject


def attribute(element, name):
    """The attribute of that very name, else, for a name without a prefix, the first whose
    part after the prefix is the name."""
    if name in element.attrib:
        return element.attrib[name]
    if ":" in name:
        return None
    return next((v for k, v in element.attrib.items() if local_name(k) == name), None)


# ---------------------------------------------------------------- text and numbers


def trim(text):
    return text.strip(WHITE_SPACE)


def read_double(text):
    return float(text) if NUMBER.fullmatch(text) else None


def read_int64(text):
    if INT64.fullmatch(text) and -(2**63) <= int(text) < 2**63:
        return int(text)
    return None


def text_to_int(text):
    text = trim(text)
    if read_int64(text) is not None:
        return read_int64(text)
    number = read_double(text)
    if number is None or math.isnan(number):
        return 0
    if number >= 2**63:
        return 2**63 - 1
    if number <= -(2**63):
        return -(2**63)
    return int(number)


def classify(text):
    """The type of a trimmed scalar text: int, float or str."""
    if read_int64(text) is not None:
        return int
    return float if read_double(text) is not None else str


def format_number(value):
    if math.isnan(value):
        return "nan"
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    if abs(value) < 1e15 and value == int(value):
        return str(int(value))
    return format(Decimal(repr(value)).normalize(), "f")


def compare(text, op, kind, value):
    """Whether a candidate's text passes `op` against the constant."""
    if op in ("%", "!%"):
        if kind != "string":
            return False
        if has_wildcard(value):
            like = glob_match(value, text)
        else:
            like = text == unescape(value)
        return like if op == "%" else not like
    if op in ("==", "!="):
        if kind == "number":
            number = read_double(trim(text))
            equal = number is not None and number == value
        elif kind == "bool":
            equal = text == ("true" if value else "false")
        else:
            equal = text == value
        return equal if op == "==" else not equal
    if kind == "bool":
        return False
    left = read_double(trim(text))
    right = value if kind == "number" else read_double(trim(value))
    if left is None or right is None:
        return False
    return {"<": left < right, "<=": left <= right, ">": left > right, ">=": left >= right}[op]


# ---------------------------------------------------------------- evaluation


def item_text(item):
    return item[1] if item[0] == "S" else element_text(item[1])


def item_number(item):
    return read_double(trim(item_text(item)))


def apply_modifiers(modifiers, items):
    for modifier in modifiers:
        if modifier == "reverse":
            items = items[::-1]
        elif modifier == "first":
            items = items[:1]
        elif modifier == "last":
            items = items[-1:]
        elif modifier == "count":
            items = [("S", str(len(items)))]
        elif modifier == "sort":
            items = sorted(items, key=lambda item: item_text(item).encode())
        elif modifier == "sort_n":

            def key(item):
                number = item_number(item)
                return (0, number, b"") if number is not None else (1, 0, item_text(item).encode())

            items = sorted(items, key=key)
        elif modifier == "unique":
            seen, kept = set(), []
            for item in items:
                if item_text(item) not in seen:
                    seen.add(item_text(item))
                    kept.append(item)
            items = kept
        elif modifier in ("sum", "mean", "min", "max"):
            numbers = [n for n in map(item_number, items) if n is not None]
            if modifier in ("sum", "mean"):
                total = -0.0
                for number in numbers:
                    total += number
                result = total if modifier == "sum" else (
                    total / len(numbers) if numbers else math.nan)
            else:
                result = math.inf if modifier == "min" else -math.inf
                for number in numbers:
                    if not math.isnan(number):
                        result = min(result, number) if modifier == "min" else max(result, number)
            items = [("S", format_number(result))]
    return items


class Evaluator:
    """One scan of one path.

    A single selection (an index, or a first-match filter) that has its answer ends the whole
    scan when no step before it fans out (`#`, `#(...)#`, `**`); otherwise it ends its level.
    `stop_on_first`: the path's first modifier is `first`, so the scan ends at the first
    answer. A scan that has ended reads nothing more, so it reports no ambiguity further on."""

    def __init__(self, document, stop_on_first=False):
        self.document = document
        self.stop_on_first = stop_on_first

    def run(self, context, steps, out):
        try:
            self.level(context, steps, 0, out, True)
        except _Stop:
            pass
        return out

    def level(self, context, steps, at, out, top):
        """Answer steps[at:] below `context` (None: the document)."""
        step = steps[at]
        if step.kind == "attribute":
            value = None if context is None else attribute(context, step.name)
            if value is not None:
                out.append(("S", value))
            return
        if step.kind == "text":
            out.append(("S", "" if context is None else element_text(context)))
            return
        if context is not None and self.document.self_closing(context):
            if step.selector == "count":  # none, as `<a></a>` has none
                out.append(("S", "0"))
            return
        children = self.document.roots if context is None else list(context)
        last = at == len(steps) - 1
        count, seen = 0, False
        for child in children:
            self.check_first(out)
            if not name_matches(step, child.tag):
                if step.recursive:
                    self.level(child, steps, at, out, False)
                continue
            position, count = count, count + 1
            if step.selector is None:
                if not last:
                    if seen:
                        raise Ambiguous(step.name)
                    seen = True
                self.descend(child, steps, at, out, top)
            elif step.selector == "each":
                self.descend(child, steps, at, out, False)
            elif step.selector == "index":
                if position == step.index and self.descend(child, steps, at, out, top):
                    self.single_done(top)
                    return
            elif step.selector in ("first", "all"):
                if self.filter_holds(child, step.filter):
                    first = step.selector == "first"
                    if self.selected(child, steps, at, out, top and first) and first:
                        self.single_done(top)
                        return
        self.check_first(out)
        if step.selector == "count":
            out.append(("S", str(count)))

    def check_first(self, out):
        if self.stop_on_first and out:
            raise _Stop

    @staticmethod
    def single_done(top):
        if top:
            raise _Stop

    def descend(self, element, steps, at, out, top):
        """Go on from a matched element; whether that answered anything."""
        before = len(out)
        if at + 1 < len(steps):
            self.level(element, steps, at + 1, out, top)
        else:
            out.append(("E", element))
        return len(out) > before

    def selected(self, element, steps, at, out, top):
        """Go on from an element whose filter holds; whether a first-match filter has its
        answer then.

        A filter on one attribute of an element with content goes on in the same scan, and
        has its answer once the rest of the path found something there: else the next match
        that passes is tried. Any other filter has its answer when it holds: it reads the
        element on its own, the rest of the path running over it as a path of its own, where
        an index that has its answer ends only that reading."""
        if self.is_attribute_filter(steps[at].filter) and not self.document.self_closing(element):
            return self.descend(element, steps, at, out, top)
        elif at + 1 == len(steps):
            out.append(("E", element))
        else:
            inner = type(self)(self.document, self.stop_on_first)
            try:
                inner.level(element, steps, at + 1, out, True)
            except _Stop:
                pass
        return True

    @staticmethod
    def is_attribute_filter(filter_):
        return len(filter_.lhs) == 1 and filter_.lhs[0].kind == "attribute"

    def filter_holds(self, candidate, filter_):
        """The left side's text compared with the constant; no text never passes."""
        text = left_side(self.document, candidate, filter_.lhs, type(self))
        return text is not None and compare(text, filter_.op, filter_.kind, filter_.value)


def left_side(document, candidate, lhs, evaluator=Evaluator):
    """The text a filter's left side takes from a candidate: the first answer of `lhs` read
    from it as a path of its own (no steps: the candidate itself), or None."""
    found = evaluator(document).run(candidate, lhs, []) if lhs else [("E", candidate)]
    return item_text(found[0]) if found else None


def evaluate(document, path, context=None, many=False, evaluator=Evaluator):
    """The items a path answers, over the document or below `context` (a matched element,
    as `Result.get` reads it: the first step names its children).

    `many`: as one of the paths of `get_many`, which records a final element match as its
    text when the path's modifiers rework it (neither a count nor an index nor `#` last)."""
    path = compile_path(path) if isinstance(path, str) else path
    stop_on_first = path.modifiers[:1] == ("first",)
    out = evaluator(document, stop_on_first).run(context, path.steps, [])
    if many and path.final_capture == "text":
        out = [("S", element_text(item[1])) if item[0] == "E" else item for item in out]
    return apply_modifiers(path.modifiers, out)


# ---------------------------------------------------------------- what a Result shows


TRUE_TEXTS = ["1", "true", '"t"', '"T"', '"1"', '"true"', '"True"', '"TRUE"']
FALSE_TEXTS = ["0", "false", '"f"', '"F"', '"0"', '"false"', '"False"', '"FALSE"']


def canon_item(document, item):
    """(type name, to_str(), to_int(), repr(to_float()), to_bool()) of a Result of one item:
    repr, so that a NaN equals itself."""
    text = item_text(item)
    number = read_double(trim(text))
    numbers = (text_to_int(text), repr(0.0 if number is None else number))
    if item[0] == "E" and len(item[1]):
        return ("dict", document.markup(item[1]), *numbers, True)
    truth = text in TRUE_TEXTS or (text not in FALSE_TEXTS and numbers[0] != 0)
    return (classify(trim(text)).__name__, trim(text), *numbers, truth)


def canon(document, items, listed=False):
    """What a Result of these items shows: see `canon_result`. A `listed` answer is a
    list whatever its count, though to_str() of its one match reads as that match's."""
    if not items and not listed:
        return ("empty",)
    if len(items) == 1 and not listed:
        return canon_item(document, items[0])
    pieces = [item[1] if item[0] == "S" else document.markup(item[1]) for item in items]
    joined = canon_item(document, items[0])[1] if len(items) == 1 else "\n".join(pieces)
    return ("list", joined, tuple(canon_item(document, item) for item in items))


def canon_result(result):
    """The same form, read from a quorbix Result."""
    if result.type_ is list:
        return ("list", result.to_str(), tuple(canon_result(result[i]) for i in range(len(result))))
    if len(result) == 0:
        return ("empty",)
    kind = result.type_.__name__
    return (kind, result.to_str(), result.to_int(), repr(result.to_float()), result.to_bool())
