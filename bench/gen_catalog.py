"""Writes a deterministic catalog-like XML document of about the size asked for.

Usage: python bench/gen_catalog.py [OUTPUT] [MEGABYTES]

Books carry attributes, entity references, CDATA sections, comments and
namespace-prefixed names, so every path of the reader is exercised.
"""

import random
import sys
from pathlib import Path

WORDS = ("river night garden code shadow empire winter signal harbor silver glass "
         "ember orbit maple cipher atlas echo lantern prism meadow").split()
# The same shape in a legacy encoding: as many words, in Cyrillic.
CYRILLIC = ("река ночь сад код тень империя зима сигнал гавань серебро стекло "
            "уголь орбита клён шифр атлас эхо фонарь призма луг").split()
LANGS = ("en", "de", "fr", "es", "it")
TAGS = ("fiction", "science", "history", "poetry", "travel", "computing")
DC = "http://purl.org/dc/elements/1.1/"
# Ten questions about the whole catalog, which get_many answers in one pass.
TEN_QUESTIONS = [
    "catalog.book.#", "catalog.book.#.price|@sum", "catalog.book.#.price|@max",
    'catalog.book.#(@lang=="de")#|@count', "**.tag|@count", "catalog.book.#(price>119.5)#.@id",
    "catalog.book.#.note|@count", 'catalog.book.#(author%"Ember*")#.dc:title|@count',
    "catalog.book.#.description|@count", "catalog.book.#.price|@min",
]


def book(rng, i, words=WORDS):
    title = " ".join(rng.choice(words).capitalize() for _ in range(rng.randint(2, 5)))
    author = f"{rng.choice(words).capitalize()}, {rng.choice(words).capitalize()}"
    price = f"{rng.randint(1, 120)}.{rng.randint(0, 99):02d}"
    parts = [
        f'  <book id="bk{i}" lang="{rng.choice(LANGS)}" available="{rng.choice(("yes", "no"))}">\n',
        f"    <dc:title>{title}</dc:title>\n",
        f"    <author>{author}</author>\n",
        f"    <price currency=\"EUR\">{price}</price>\n",
        f"    <tag>{rng.choice(TAGS)}</tag>\n",
    ]
    if i % 3 == 0:
        parts.append(f"    <tag>{rng.choice(TAGS)}</tag>\n")
    if i % 4 == 0:
        parts.append(f"    <description>{title} &amp; more: a tale of "
                     f"{rng.choice(words)} &lt;{rng.choice(words)}&gt;.</description>\n")
    if i % 5 == 0:
        parts.append(f"    <note><![CDATA[Contains <b>{rng.choice(words)}</b> markup.]]></note>\n")
    if i % 7 == 0:
        parts.append(f"    <!-- reviewed {rng.randint(2000, 2026)} -->\n")
    parts.append("  </book>\n")
    return "".join(parts)


def small_document(books=5):
    """A catalog of a few books (bytes), for the cost of one call."""
    rng = random.Random(1)
    body = "".join(book(rng, i) for i in range(books))
    return f'<catalog xmlns:dc="{DC}">\n{body}</catalog>\n'.encode()


def generate(path, megabytes=100, encoding="UTF-8"):
    """UTF-8 by default; windows-1251 writes Cyrillic words in that encoding."""
    rng = random.Random(20261208)
    target = megabytes * 1_000_000
    words = WORDS if encoding == "UTF-8" else CYRILLIC
    with open(path, "w", encoding=encoding, newline="\n") as out:
        out.write(f'<?xml version="1.0" encoding="{encoding}"?>\n')
        out.write(f'<catalog xmlns:dc="{DC}">\n')
        write_until(out, target, lambda b: "".join(book(rng, b * 1000 + k, words) for k in range(1000)))
        out.write("</catalog>\n")


def write_until(out, size, batch, written=0):
    """Writes `batch(0)`, `batch(1)`, ... until `size` characters are written, counting from
    `written`; the count. A batch is made only when it is written."""
    number = 0
    while written < size:
        text = batch(number)
        out.write(text)
        written += len(text)
        number += 1
    return written


def command_line(generate, default_name):
    """Writes the document a generator makes: `gen_X.py [OUTPUT] [MEGABYTES]`."""
    output = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name(default_name)
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    generate(output, size)
    print(f"wrote {output} ({output.stat().st_size / 1e6:.1f} MB)")


if __name__ == "__main__":
    command_line(generate, "catalog.xml")
