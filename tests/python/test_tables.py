"""records() and read_xml(): rows in document order, cells as to_str() gives them,
columns typed as pandas.read_xml types them."""

import io
import os
import pickle
import subprocess
import sys
from pathlib import Path

import pytest

import quorbix
from quorbix import compile

DOC = (
    '<catalog xmlns:dc="urn:dc">'
    '<book id="1" lang="en"><dc:title> A &amp; B </dc:title><price>10.5</price>'
    "<tag>x</tag><tag>y</tag><info><pages>3</pages></info></book>"
    '<book id="2"><price>7</price><note>n</note></book>'
    "<book/>"
    "</catalog>"
)


def test_columns_are_paths_relative_to_each_row():
    # A column of several matches holds the first one's text; one whose path
    # goes on from each match a list of texts.
    columns = {"id": "@id", "title": "dc:title", "price": compile("price"), "pages": "info.pages",
               "tags": "tag", "info": "info", "none": "", "all": "tag.#.#text", "n": "tag.#"}
    got = quorbix.records(DOC, "catalog.book", columns)
    rows = [quorbix.get(DOC, f"catalog.book.{i}") for i in range(3)]
    expected = [
        {name: ([m.to_str() for m in r.get(p)] if p.endswith("#text") else r.get(p).to_str()
                if p.endswith("#") else r.get(p + "|@first").to_str() if p and r.get(p).exists()
                else None)
         for name, p in {**columns, "price": "price"}.items()}
        for r in rows
    ]
    assert got == expected
    assert got[0]["title"] == "A & B" and got[0]["tags"] == "x" and got[0]["all"] == ["x", "y"]
    assert got[2] == {**dict.fromkeys(columns), "all": [], "n": "0"}


def test_without_columns_a_row_has_its_attributes_and_leaf_children():
    assert quorbix.records(DOC.encode(), "catalog.book") == [
        {"id": "1", "lang": "en", "dc:title": "A & B", "price": "10.5", "tag": "y", "note": None},
        {"id": "2", "lang": None, "dc:title": None, "price": "7", "tag": None, "note": "n"},
        dict.fromkeys(["id", "lang", "dc:title", "price", "tag", "note"]),
    ]
    assert quorbix.records(DOC, "catalog.nothing") == []
    assert quorbix.records("<r><a/><a/></r>", "r.a") == [{}, {}]


def test_documents_of_every_kind_and_errors():
    windows = DOC.replace("A &amp; B", "Щ").encode("cp1251")
    windows = b'<?xml version="1.0" encoding="windows-1251"?>' + windows
    assert quorbix.records(bytearray(windows), "catalog.book.0", {"t": "dc:title"}) == [{"t": "Щ"}]
    with pytest.raises(ValueError, match="ambiguous"):
        quorbix.records(DOC, "catalog.book.info", {"p": "pages"})
    with pytest.raises(ValueError):
        quorbix.records(DOC, "catalog.book", {"p": "a#("})
    with pytest.raises(TypeError):
        quorbix.records(DOC, "catalog.book", ["@id"])
    with pytest.raises(TypeError):
        quorbix.records(DOC, 5)


def test_a_malformed_document_raises_where_validation_fails_unless_recovered():
    doc = (Path(__file__).parents[2] / "examples" / "catalog.xml").read_bytes()
    assert quorbix.validation_report(doc) is None
    # The scan that finds the rows checks as validation does: every cut of the
    # document, and one where a row ends the scan early, fails at the same place.
    cuts = [doc[:n] for n in range(0, len(doc.rstrip()), 7)]
    cuts.append(doc.replace(b"</author>", b"</autor>", 2))
    for bad in cuts:
        expected = quorbix.validation_report(bad)
        for rows, columns in [("catalog.book", {"id": "@id"}), ("catalog.book.0", None)]:
            with pytest.raises(quorbix.MalformedError) as raised:
                quorbix.records(bad, rows, columns)
            assert raised.value.problem == expected, bad
            where = f"line {expected.line}, column {expected.column}: {expected.message}"
            assert where in str(raised.value)
    truncated = "<catalog>\n  <book id='1'><price>2</price></book>\n  <book id='2'><pri"
    with pytest.raises(ValueError, match="line 3, column 16: markup that is not closed"):
        quorbix.records(truncated, "catalog.book")
    assert quorbix.records(truncated, "catalog.book", {"id": "@id"}, recover=True) == [
        {"id": "1"}, {"id": "2"}]
    with pytest.raises(quorbix.MalformedError, match="a second root element <x>") as raised:
        quorbix.records("<r><a/></r><x/>", "r.a.0")
    # A Dask worker's error crosses to the client pickled, and must arrive as raised.
    again = pickle.loads(pickle.dumps(raised.value))
    assert (str(again), again.problem) == (str(raised.value), raised.value.problem)


pandas = pytest.importorskip("pandas")


@pytest.mark.parametrize("columns", [None, {"id": "@id", "price": "price", "note": "note"}])
def test_read_xml_types_columns_as_pandas_does(tmp_path, columns):
    # Cells are trimmed as to_str() trims; pandas keeps the white space.
    doc = DOC.replace('"1"', '"01"').replace("dc:title", "title").replace(" A &amp; B ", "A&amp;B")
    ours = quorbix.read_xml(doc, "catalog.book", columns)
    theirs = pandas.read_xml(io.StringIO(doc), xpath="./book", parser="etree")
    theirs = theirs[list(ours.columns)] if columns else theirs.drop(columns=["info"])
    pandas.testing.assert_frame_equal(ours, theirs)
    file = tmp_path / "doc.xml"
    file.write_text(doc)
    for source in [file, str(file), open(file, "rb"), io.StringIO(doc), doc.encode()]:
        pandas.testing.assert_frame_equal(quorbix.read_xml(source, "catalog.book", columns), ours)
    empty = tmp_path / "empty.xml"
    empty.write_bytes(b"")
    with pytest.raises(quorbix.MalformedError, match="no root element"):
        quorbix.read_xml(empty, "a.b", {"x": "@x"})
    assert quorbix.read_xml(empty, "a.b", {"x": "@x"}, recover=True).empty
    cut = tmp_path / "cut.xml"  # a file truncated in its second row
    cut.write_text(doc[: doc.index("<price>7")])
    with pytest.raises(ValueError, match=r"line 1, column \d+: element <book> is not closed"):
        quorbix.read_xml(cut, "catalog.book", columns)
    assert len(quorbix.read_xml(cut, "catalog.book", columns, recover=True)) == 2


def test_read_xml_types_every_kind_of_column_as_pandas_does():
    # Columns of: ints with a gap, floats in every spelling, texts, missing
    # markers, bools, nothing at all, numbers beside texts, inf and nan,
    # integers past 64 bits, and empty cells.
    values = [
        ["01", "+2", None, "-3"], ["1.5", "2e3", ".5", "-1E-2"], ["a", "b c", None, "d"],
        ["NA", "x", "null", "y"], ["True", "false", "TRUE", None], [None, None, None, None],
        ["1", "x", "2", "3"], ["inf", "-Infinity", "nan", "1"], ["123456789012345678901", "1", "2", "3"],
        ["", "x", "", "y"],
    ]
    rows = "".join(
        "<r>" + "".join(f"<c{i}>{column[k]}</c{i}>" for i, column in enumerate(values)
                        if column[k] is not None) + "</r>"
        for k in range(4))
    doc = f"<t>{rows}</t>"
    ours = quorbix.read_xml(doc, "t.r", {f"c{i}": f"c{i}" for i in range(len(values))})
    theirs = pandas.read_xml(io.StringIO(doc), xpath="./r", parser="etree")
    for name in ours.columns:
        if name in theirs:
            pandas.testing.assert_series_equal(ours[name], theirs[name], check_names=False)
        else:  # pandas makes no column of one nobody has
            assert ours[name].isna().all()


def test_a_file_truncated_during_read_xml_does_not_kill_the_process(tmp_path):
    # Another process truncates the file while it is read: a mapped file
    # would die of SIGBUS; a read one answers from its copy.
    file = tmp_path / "big.xml"
    book = "<book id='1'><price>1.5</price></book>"
    whole = ("<catalog>" + book * 100_000 + "</catalog>").encode()
    file.write_bytes(whole)
    # Rows that never match: each read is mostly the scan, when a fault would strike.
    reader = subprocess.Popen([sys.executable, "-c", f"""
import quorbix
for _ in range(30):
    assert quorbix.read_xml({str(file)!r}, "catalog.shelf", {{"id": "@id"}}, recover=True).empty
print("alive")
"""], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    while reader.poll() is None:
        with open(file, "wb") as rewritten:
            rewritten.write(whole)
    out, err = reader.communicate()
    assert (reader.returncode, out, err) == (0, "alive\n", "")


def test_sources_of_every_kind(tmp_path):
    import bz2
    import gzip
    import lzma
    import threading

    expected = quorbix.records(DOC, "catalog.book")
    plain = DOC.encode()
    packed = tmp_path / "doc.xml.gz"
    packed.write_bytes(gzip.compress(plain))
    for source in [packed, str(packed), io.BytesIO(gzip.compress(plain)), gzip.compress(plain),
                   bytearray(bz2.compress(plain)), memoryview(lzma.compress(plain)),
                   "\ufeff" + DOC, io.BytesIO(plain)]:
        assert quorbix.records(source, "catalog.book") == expected, source
    pandas.testing.assert_frame_equal(quorbix.read_xml(packed, "catalog.book"),
                                      quorbix.read_xml(DOC, "catalog.book"))
    try:
        import zstandard
    except ImportError:
        pass
    else:
        packed_zstd = zstandard.ZstdCompressor().compress(plain)
        assert quorbix.records(packed_zstd, "catalog.book") == expected
    # A file without a size, read as it comes.
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    writer = threading.Thread(target=fifo.write_bytes, args=(gzip.compress(plain),))
    writer.start()
    assert quorbix.records(fifo, "catalog.book") == expected
    writer.join()
    with pytest.raises(ValueError, match="gzip-compressed input is damaged or cut short"):
        quorbix.records(gzip.compress(plain)[:-9], "catalog.book")
    with pytest.raises(FileNotFoundError):
        quorbix.records("not a document", "catalog.book")
