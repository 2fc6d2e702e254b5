"""Writes a deterministic RSS 2.0 feed of about the size asked for.

Usage: python bench/gen_feed.py [OUTPUT] [MEGABYTES]

A channel of items whose descriptions are long texts, 2 to 8 kB each: most of
the bytes are text, few are markup. Every third description is escaped HTML
(&lt;p&gt; ... with &amp; and character references), as feeds carry it; the
others are plain paragraphs, now and then with an entity reference.
"""

import random
from datetime import datetime, timedelta

from gen_catalog import command_line, write_until

WORDS = ("river night garden code shadow empire winter signal harbor silver glass "
         "ember orbit maple cipher atlas echo lantern prism meadow the a of and to in "
         "under over beyond light stone quiet north distant morning").split()
DAYS = ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")
MONTHS = ("Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec")
NEWEST = datetime(2026, 12, 8, 18, 0, 0)
CATEGORIES = ("world", "science", "culture", "technology", "travel", "opinion")


def sentence(rng):
    words = rng.choices(WORDS, k=rng.randint(6, 24))
    return " ".join(words).capitalize() + "."


def paragraph(rng):
    return " ".join(sentence(rng) for _ in range(rng.randint(3, 8)))


def description(rng, html):
    """2 to 8 kB of text; as escaped HTML or plain."""
    size, parts = rng.randint(2000, 8000), []
    while size > 0:
        text = paragraph(rng)
        if html:
            text = f"&lt;p&gt;{text} &lt;a href=&quot;https://example.org/{rng.choice(WORDS)}&quot;&gt;" \
                   f"More&amp;#8230;&lt;/a&gt;&lt;/p&gt;"
        elif rng.random() < 0.3:
            text = f"{text} {rng.choice(WORDS).capitalize()} &amp; {rng.choice(WORDS)} &#8217;{rng.choice(WORDS)}&#8217;."
        parts.append(text)
        size -= len(text)
    return "\n".join(parts)


def pub_date(rng, i):
    """RFC 822 dates, newest first, as feeds order them."""
    when = NEWEST - timedelta(minutes=i * 90 + rng.randint(0, 89))
    return (f"{DAYS[when.weekday()]}, {when.day:02d} {MONTHS[when.month - 1]} {when.year} "
            f"{when:%H:%M:%S} GMT")


def item(rng, i):
    title = " ".join(rng.choice(WORDS).capitalize() for _ in range(rng.randint(3, 9)))
    slug = title.lower().replace(" ", "-")
    return (f"    <item>\n"
            f"      <title>{title}</title>\n"
            f"      <link>https://example.org/{i}/{slug}</link>\n"
            f'      <guid isPermaLink="false">urn:item:{i}</guid>\n'
            f"      <pubDate>{pub_date(rng, i)}</pubDate>\n"
            f"      <category>{rng.choice(CATEGORIES)}</category>\n"
            f"      <description>{description(rng, i % 3 == 0)}</description>\n"
            f"    </item>\n")


def generate(path, megabytes=100):
    rng = random.Random(20261210)
    target = megabytes * 1_000_000
    with open(path, "w", encoding="UTF-8", newline="\n") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0">\n  <channel>\n')
        out.write("    <title>Signal Harbor</title>\n    <link>https://example.org/</link>\n"
                  "    <description>Long reads, every day.</description>\n"
                  "    <language>en</language>\n")
        write_until(out, target, lambda b: "".join(item(rng, b * 100 + k) for k in range(100)))
        out.write("  </channel>\n</rss>\n")


if __name__ == "__main__":
    command_line(generate, "feed.xml")
