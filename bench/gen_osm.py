"""Writes a deterministic OpenStreetMap-like XML document of about the size asked for.

Usage: python bench/gen_osm.py [OUTPUT] [MEGABYTES]

Attribute-heavy, as map extracts are: every node carries eight attributes and
most close themselves; one in five holds <tag k="..." v="..."/> children. Ways
follow the nodes (about a fifth of the bytes), each a list of <nd ref="..."/>
children naming earlier nodes, then its tags. User names and tag values hold
entity references now and then.
"""

import random

from gen_catalog import command_line, write_until

WORDS = ("river night garden code shadow empire winter signal harbor silver glass "
         "ember orbit maple cipher atlas echo lantern prism meadow").split()
NODE_TAGS = (("amenity", ("cafe", "bench", "post_box", "restaurant", "pharmacy")),
             ("highway", ("bus_stop", "crossing", "traffic_signals", "street_lamp")),
             ("shop", ("bakery", "books", "convenience", "bicycle")),
             ("natural", ("tree", "peak", "spring")))
WAY_TAGS = (("highway", ("residential", "primary", "footway", "service", "cycleway")),
            ("building", ("yes", "house", "apartments", "school")),
            ("landuse", ("grass", "forest", "meadow")),
            ("waterway", ("stream", "river", "ditch")))
NODES_SHARE = 0.8  # of the bytes; ways take the rest


def name(rng):
    """A name as mappers write them; some need an entity reference."""
    first, second = rng.choice(WORDS).capitalize(), rng.choice(WORDS).capitalize()
    return f"{first} &amp; {second}" if rng.random() < 0.1 else f"{first} {second}"


def users(rng, count=300):
    """(uid, user) pairs: edits come from a few hundred mappers."""
    made = []
    for _ in range(count):
        user = f"{rng.choice(WORDS)}_{rng.choice(WORDS)}{rng.randint(1, 999)}"
        if rng.random() < 0.05:
            user = f"{user}&apos;s"
        made.append((rng.randint(1, 20_000_000), user))
    return made


def edit_attributes(rng, ident, mappers):
    """id, version, timestamp, changeset, uid and user, as every element carries them."""
    uid, user = rng.choice(mappers)
    stamp = (f"{rng.randint(2008, 2026)}-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}T"
             f"{rng.randint(0, 23):02d}:{rng.randint(0, 59):02d}:{rng.randint(0, 59):02d}Z")
    return (f'id="{ident}" version="{rng.randint(1, 12)}" timestamp="{stamp}" '
            f'changeset="{rng.randint(1_000_000, 150_000_000)}" uid="{uid}" user="{user}"')


def tags(rng, choices, count):
    lines = []
    for key, values in rng.sample(choices, count):
        lines.append(f'    <tag k="{key}" v="{rng.choice(values)}"/>\n')
    if rng.random() < 0.5:
        lines.append(f'    <tag k="name" v="{name(rng)}"/>\n')
    return "".join(lines)


def node(rng, ident, mappers):
    lat, lon = 52.5 + rng.uniform(-0.2, 0.2), 13.4 + rng.uniform(-0.3, 0.3)
    # The eight attributes: id, lat, lon, then what every edit records.
    ident_part, edit_part = edit_attributes(rng, ident, mappers).split(" ", 1)
    start = f'  <node {ident_part} lat="{lat:.7f}" lon="{lon:.7f}" {edit_part}'
    if rng.random() >= 0.2:
        return start + "/>\n"
    return f"{start}>\n{tags(rng, NODE_TAGS, rng.randint(1, 2))}  </node>\n"


def way(rng, ident, node_ids, mappers):
    first = rng.randrange(len(node_ids))
    refs = node_ids[first:first + rng.randint(2, 12)]
    nds = "".join(f'    <nd ref="{ref}"/>\n' for ref in refs)
    return (f"  <way {edit_attributes(rng, ident, mappers)}>\n{nds}"
            f"{tags(rng, WAY_TAGS, rng.randint(1, 2))}  </way>\n")


def generate(path, megabytes=100):
    rng = random.Random(20261209)
    target = megabytes * 1_000_000
    mappers = users(rng)
    node_ids = []
    with open(path, "w", encoding="UTF-8", newline="\n") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        out.write('<osm version="0.6" generator="bench/gen_osm.py">\n')
        out.write('  <bounds minlat="52.3" minlon="13.1" maxlat="52.7" maxlon="13.7"/>\n')
        ident = 100_000

        def nodes(_):
            nonlocal ident
            chunk = []
            for _ in range(1000):
                ident += rng.randint(1, 40)
                node_ids.append(ident)
                chunk.append(node(rng, ident, mappers))
            return "".join(chunk)

        def ways(b):
            return "".join(way(rng, 10_000 + b * 3000 + k * 3, node_ids, mappers) for k in range(1000))

        written = write_until(out, target * NODES_SHARE, nodes)
        write_until(out, target, ways, written)
        out.write("</osm>\n")


if __name__ == "__main__":
    command_line(generate, "osm.xml")
