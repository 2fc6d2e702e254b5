"""quorbix.dask.read_xml on a cluster of two worker processes and on the
synchronous scheduler: one partition per file, the frame's columns and dtypes in
each, only the columns a computation uses read."""

import gzip
import pickle
import sys
from pathlib import Path

import pytest

dask = pytest.importorskip("dask")
pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")
pandas = pytest.importorskip("pandas")

import quorbix  # noqa: E402
import quorbix.dask  # noqa: E402

sys.path.insert(0, str(Path(__file__).parents[2] / "bench"))
from gen_catalog import generate  # noqa: E402

COLUMNS = {"id": "@id", "title": "dc:title", "price": quorbix.compile("price")}
ITEM = "<item><title>{}</title><link>{}</link><pubDate>{}</pubDate><rank>{}</rank></item>"


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        yield cluster


@pytest.fixture(params=["cluster", "synchronous"])
def scheduler(request):
    if request.param == "synchronous":
        with dask.config.set(scheduler="synchronous"):
            yield
    else:
        with distributed.Client(request.getfixturevalue("cluster")):
            yield


def feeds(folder):
    """Three feeds: integer ranks then a fraction, a missing link, a missing
    cell, and one file gzip-compressed."""
    items = [
        [("a", "l1", "Mon", "1"), ("b", "l2", "Tue", "2")],
        [("c", None, "Mon", "2.5")],
        [("d", "l4", "Tue", None), ("e", "l5", "Mon", "7")],
    ]
    for i, rows in enumerate(items):
        body = "".join(ITEM.format(*row).replace("<link>None</link>", "").replace(
            "<rank>None</rank>", "") for row in rows)
        text = f"<rss><channel>{body}</channel></rss>".encode()
        if i == 2:
            (folder / f"feed{i}.xml.gz").write_bytes(gzip.compress(text))
        else:
            (folder / f"feed{i}.xml").write_bytes(text)
    return [row for rows in items for row in rows]


def test_the_readme_computations_select_columns(tmp_path, scheduler):
    rows = feeds(tmp_path)
    frame = quorbix.dask.read_xml(str(tmp_path / "feed*"), "rss.channel.item",
                                  {"title": "title", "link": "link", "date": "pubDate",
                                   "rank": "rank"})
    assert frame.npartitions == 3
    assert dict(frame.dtypes) == {"title": "string", "link": "string", "date": "string",
                                  "rank": "Float64"}
    counts = frame.groupby("date").title.count().compute()
    assert counts.sort_index().to_dict() == {"Mon": 3, "Tue": 2}
    assert frame.title.compute().tolist() == [r[0] for r in rows]
    assert frame[["link"]].compute().link.isna().tolist() == [r[1] is None for r in rows]
    assert frame.rank.max().compute() == 7 and frame.rank.sum().compute() == 12.5
    whole = frame.compute()
    assert list(whole.columns) == ["title", "link", "date", "rank"]
    assert dict(whole.dtypes) == dict(frame.dtypes)


def test_partitions_are_read_xml_of_each_file_in_nullable_types(tmp_path, scheduler):
    files = []
    for i in range(3):
        files.append(tmp_path / f"catalog{i}.xml")
        generate(files[-1], 0.05 + i / 20)  # files of different lengths
    frame = quorbix.dask.read_xml(str(tmp_path / "*.xml"), "catalog.book", COLUMNS)
    parts = [frame.get_partition(i).compute() for i in range(frame.npartitions)]
    for part, file in zip(parts, sorted(files)):
        expected = quorbix.read_xml(file, "catalog.book", COLUMNS).astype(dict(frame.dtypes))
        pandas.testing.assert_frame_equal(part, expected)
    listed = quorbix.dask.read_xml([str(f) for f in files], "catalog.book")
    assert "available" in listed.columns  # the columns of the rows, as read_xml finds them
    assert listed.price.sum().compute() == pytest.approx(sum(
        quorbix.read_xml(f, "catalog.book").price.sum() for f in files))
    assert pickle.loads(pickle.dumps(COLUMNS))["price"].get("<price>1</price>").to_str() == "1"


def test_what_a_partition_cannot_hold_is_an_error(tmp_path, scheduler):
    (tmp_path / "a.xml").write_text("<t><r><n>1</n></r></t>")
    (tmp_path / "b.xml").write_text("<t><r><n>2.5</n><new>x</new></r><r><n>NA</n></r></t>")
    # Without columns=, a column the first file lacks would vanish: it is refused.
    frame = quorbix.dask.read_xml(str(tmp_path / "*.xml"), "t.r")
    with pytest.raises(ValueError, match=r"b\.xml: column 'new' .*columns="):
        frame.n.compute()
    named = quorbix.dask.read_xml(str(tmp_path / "*.xml"), "t.r", {"n": "n", "new": "new"})
    assert named.compute().n.tolist() == [1, 2.5, pandas.NA]
    declared = quorbix.dask.read_xml(str(tmp_path / "*.xml"), "t.r", {"n": "n"}, dtype="Int64")
    assert declared.dtypes.n == "Int64"
    with pytest.raises(ValueError,
                       match=r"b\.xml: row 0 .*column 'n': '2\.5' cannot be read as Int64"):
        declared.compute()


def test_no_file_is_an_error(tmp_path):
    with pytest.raises(FileNotFoundError):
        quorbix.dask.read_xml(str(tmp_path / "*.xml"), "a.b")


def test_one_large_file_in_blocks_is_exact_or_says_where_it_cannot_be(tmp_path, scheduler):
    """Rows in comments, in CDATA and in rows make some splits fall inside markup:
    each blocksize gives the whole file's frame, or an error naming the offset."""
    import random

    from quorbix._blocks import SplitError

    rng = random.Random(3)
    traps = ['<!-- <node id="c"/> -->', '<x><![CDATA[ <node id="d"> ]]></x>',
             '<node id="o"><node id="in"/></node>']
    body = "\n".join(rng.choice(traps) if rng.random() < 0.1 else f'<node id="n{i}" k="a>b"/>'
                     for i in range(300))
    path = tmp_path / "big.xml"
    path.write_text(f'<?xml version="1.0"?>\n<!DOCTYPE osm>\n<osm>{body}</osm>\n')
    whole = quorbix.read_xml(path, "osm.node", {"id": "@id"}).id.tolist()
    exact = refused = 0
    for blocksize in range(200, 4000, 173):
        try:  # the first block is read at once, for the frame's columns
            frame = quorbix.dask.read_xml(str(path), "osm.node", {"id": "@id"},
                                          blocksize=blocksize)
            assert frame.id.compute().tolist() == whole, blocksize
            exact += frame.npartitions > 1
        except SplitError as error:
            assert "split at byte" in str(error)
            refused += 1
    assert exact and refused
    gzipped = tmp_path / "big.xml.gz"
    gzipped.write_bytes(gzip.compress(path.read_bytes()))
    assert quorbix.dask.read_xml(str(gzipped), "osm.node", blocksize=100).npartitions == 1
