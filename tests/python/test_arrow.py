"""Tables built in the core: every road to them (records, Arrow through
pyarrow, polars and DuckDB, read_xml whole, in chunks and on Dask) gives the
same table, and read_xml the frame pandas.read_xml gives."""

import io
import random

import pytest

import quorbix
import quorbix.tables

pandas = pytest.importorskip("pandas")
pyarrow = pytest.importorskip("pyarrow")

# Cells of every kind a column may hold: each generated column draws from one
# family, with cells missing (no element) or reading as missing.
FAMILIES = {
    "ints": lambda r: str(r.randint(-10**6, 10**6)),
    "padded": lambda r: f"{r.randint(0, 999):04d}",
    "floats": lambda r: r.choice([f"{r.uniform(-1e3, 1e3):.3f}", f"{r.randint(1, 9)}e{r.randint(-3, 3)}",
                                  str(r.randint(0, 9))]),
    "bools": lambda r: r.choice(["True", "false", "TRUE", "False"]),
    "texts": lambda r: r.choice(["a", "b c", "\u0436", "x&amp;y", "12", "-"]),
    "dates": lambda r: f"20{r.randint(10, 29)}-{r.randint(1, 12):02d}-{r.randint(1, 28):02d}",
    "mixed": lambda r: r.choice(["1", "x", "True", "inf", "2.5"]),
}
MISSING = ["NA", "", "null", "N/A"]


def generated(seed, rows=40):
    """A document of `rows` rows, its columns' names and families."""
    r = random.Random(seed)
    families = [r.choice(list(FAMILIES)) for _ in range(r.randint(1, 6))]
    gaps = [r.choice([0, 0, 0.2, 1.0]) for _ in families]
    out = []
    for _ in range(rows):
        cells = []
        for i, (family, gap) in enumerate(zip(families, gaps)):
            if r.random() < gap:
                if r.random() < 0.5:
                    cells.append(f"<c{i}>{r.choice(MISSING)}</c{i}>")
                continue
            cells.append(f"<c{i}>{FAMILIES[family](r)}</c{i}>")
        out.append("<row>" + "".join(cells) + "</row>")
    return "<t>" + "".join(out) + "</t>", [f"c{i}" for i in range(len(families))], families


@pytest.mark.parametrize("seed", range(40))
def test_every_road_gives_pandas_read_xml_frame(seed):
    doc, names, families = generated(seed)
    columns = {name: name for name in names}
    dates = [name for name, family in zip(names, families) if family == "dates"]
    theirs = pandas.read_xml(io.StringIO(doc), xpath="./row", parser="lxml", parse_dates=dates)
    ours = quorbix.read_xml(doc, "t.row", columns, parse_dates=dates)
    for name in names:
        if name in theirs:
            pandas.testing.assert_series_equal(ours[name], theirs[name], check_names=False)
        else:  # pandas makes no column nobody has
            assert ours[name].isna().all()
    # Without columns, the rows' children by name: the same frame.
    pandas.testing.assert_frame_equal(
        quorbix.read_xml(doc, "t.row", parse_dates=dates), theirs.drop(
            columns=[n for n in theirs if n not in set(quorbix.table(doc, "t.row").column_names)]))
    # The Arrow table holds the same values, nulls where pandas has NaN.
    table = quorbix.table(doc, "t.row", columns)
    arrow = pyarrow.table(table)
    assert arrow.num_rows == len(ours) == table.num_rows == len(table)
    for name, family in zip(names, families):
        values = arrow.column(name).to_pylist()
        if family not in ("dates", "mixed") and ours[name].dtype != object or family == "texts":
            expected = [None if pandas.isna(v) else v for v in ours[name]]
            assert values == expected, name
    # records holds the texts as written, None where a row has no element.
    records = quorbix.records(doc, "t.row", columns)
    assert [list(r.values()) for r in records] == [list(row) for row in zip(
        *(table.column(name) for name in names))]
    # Read in chunks, the frames share the first chunk's types (a column of
    # mixed cells may not hold a later chunk's: tested below).
    settled = {n: n for n, family in zip(names, families) if family != "mixed"}
    chunks = list(quorbix.read_xml(doc, "t.row", settled, parse_dates=dates, chunksize=7))
    whole = pandas.concat(chunks)
    assert list(whole.index) == list(range(len(ours)))
    for name in settled:
        assert [None if pandas.isna(v) else str(v) for v in whole[name]] == [
            None if pandas.isna(v) else str(v) for v in ours[name].astype(whole[name].dtype)], name


def test_polars_and_duckdb_read_the_table_as_pyarrow_does():
    doc, names, _ = generated(5, rows=300)
    books = quorbix.table(doc, "t.row", {**{n: n for n in names}, "all": "*.#.#text",
                                          "n": "c0.#"})
    arrow = pyarrow.table(books)
    assert arrow.schema.field("all").type == pyarrow.large_list(
        pyarrow.field("item", pyarrow.large_string(), nullable=False))
    assert arrow.schema.field("n").type == pyarrow.int64()
    polars = pytest.importorskip("polars")
    frame = polars.DataFrame(books)
    assert frame.to_arrow().to_pylist() == arrow.to_pylist()
    duckdb = pytest.importorskip("duckdb")
    assert duckdb.sql("select * from books").arrow().read_all().to_pylist() == arrow.to_pylist()
    assert duckdb.sql("select count(*) from books where len(\"all\") > 0").fetchall() == [
        (sum(1 for row in arrow.column("all").to_pylist() if row),)]


def test_list_columns_and_several_matches():
    doc = ("<r><i><t>a</t><t k='1'>b</t><t/></i><i/>"
           "<i><t><b>x</b>y</t></i></r>")
    columns = {"first": "t", "texts": "t.#.#text", "keyed": "t.#(@k==\"1\")#", "count": "t.#",
               "keys": "t.#.@k"}
    assert quorbix.records(doc, "r.i", columns) == [
        {"first": "a", "texts": ["a", "b", ""], "keyed": ["b"], "count": "3", "keys": ["1"]},
        {"first": None, "texts": [], "keyed": [], "count": "0", "keys": []},
        {"first": "<t><b>x</b>y</t>", "texts": ["xy"], "keyed": [], "count": "1", "keys": []},
    ]
    frame = quorbix.read_xml(doc, "r.i", columns)
    assert list(frame["texts"]) == [["a", "b", ""], [], ["xy"]]
    assert list(quorbix.read_xml(doc, "r.i", columns, dtype=str)["texts"]) == list(frame["texts"])
    assert list(frame["count"]) == [3, 0, 1] and frame["count"].dtype == "int64"
    arrow = pyarrow.table(quorbix.table(doc, "r.i", columns))
    assert arrow.column("texts").to_pylist() == [["a", "b", ""], [], ["xy"]]


def test_backends_and_the_road_without_pyarrow_as_pandas_gives_them(monkeypatch):
    for seed in range(12):
        doc, names, _ = generated(seed)
        columns = {n: n for n in names}
        for backend in ["numpy_nullable", "pyarrow"]:
            theirs = pandas.read_xml(io.StringIO(doc), xpath="./row", parser="lxml",
                                     dtype_backend=backend)
            ours = quorbix.read_xml(doc, "t.row", {n: n for n in theirs.columns},
                                    dtype_backend=backend)
            pandas.testing.assert_frame_equal(ours, theirs)
        with_arrow = quorbix.read_xml(doc, "t.row", columns)
        with monkeypatch.context() as patch:  # pandas without pyarrow: its parser types all
            patch.setattr(quorbix.tables, "_pyarrow", lambda: None)
            pandas.testing.assert_frame_equal(quorbix.read_xml(doc, "t.row", columns), with_arrow)
    with pytest.raises(ValueError, match="dtype_backend"):
        quorbix.read_xml(doc, "t.row", dtype_backend="arrow")


def test_later_chunks_take_the_first_chunks_types_or_say_which_cell_cannot():
    rows = ["<row><n>1</n><b>true</b></row>"] * 3 + ["<row><n>2.5</n></row>", "<row><b>x</b></row>"]
    doc = "<t>" + "".join(rows) + "</t>"
    chunks = quorbix.read_xml(doc, "t.row", {"n": "n", "b": "b"}, chunksize=3)
    first = next(chunks)
    assert dict(first.dtypes) == {"n": "Int64", "b": "boolean"}
    with pytest.raises(ValueError, match=r"row 4 \(from 0\), column 'b': 'x' cannot be read as boolean"):
        list(chunks)
    widened = list(quorbix.read_xml(doc.replace("<b>x</b>", ""), "t.row", {"n": "n"}, chunksize=3))
    assert [str(c.dtypes["n"]) for c in widened] == ["Int64", "Float64"]
    assert list(pandas.concat(widened)["n"].astype(float).fillna(-1)) == [1, 1, 1, 2.5, -1]


def test_the_table_object():
    table = quorbix.table(b"<r><i a='1'/><i a='2' b='x'/></r>", "r.i")
    assert table.column_names == ["a", "b"] and table.num_rows == 2
    assert table.column("b") == [None, "x"] and table.column(0) == ["1", "2"]
    assert repr(table) == "<quorbix.Table rows=2 columns=['a', 'b']>"
    with pytest.raises(KeyError):
        table.column("c")
    with pytest.raises(IndexError):
        table.column(2)
    with pytest.raises(TypeError):
        table.__arrow_c_stream__(1, 2)
    # A stream released without being read frees what it holds.
    for _ in range(3):
        table.__arrow_c_stream__()
    assert pyarrow.table(table).column("a").to_pylist() == [1, 2]


def test_dask_partitions_of_generated_tables_are_the_whole_table_in_one_schema(tmp_path):
    pytest.importorskip("dask.dataframe")
    import dask
    import quorbix.dask

    for seed in range(8):
        doc, names, families = generated(seed, rows=60)
        settled = {n: n for n, family in zip(names, families) if family != "mixed"}
        rows = ["<row>" + row for row in doc[len("<t><row>"):-len("</t>")].split("<row>")]
        for i, part in enumerate([rows[:30], rows[30:]]):  # two files, one table
            (tmp_path / f"{seed}-{i}.xml").write_text("<t>" + "".join(part) + "</t>")
        frame = quorbix.dask.read_xml(str(tmp_path / f"{seed}-*.xml"), "t.row", settled)
        with dask.config.set(scheduler="synchronous"):
            got = frame.compute()
        whole = quorbix.read_xml(doc, "t.row", settled)
        for name in settled:
            assert [None if pandas.isna(v) else str(v) for v in got[name]] == [
                None if pandas.isna(v) else str(v) for v in whole[name].astype(got[name].dtype)
            ], (seed, name)
