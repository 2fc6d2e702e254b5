"""quorbix.dask.read_xml on a cluster of two worker processes: one partition per
file, each equal to quorbix.read_xml of that file."""

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


def test_one_partition_per_file_on_worker_processes(tmp_path):
    files = []
    for i in range(4):
        files.append(tmp_path / f"feed{i}.xml")
        generate(files[-1], 0.1 + i / 10)  # files of different lengths
    # Dask turns text columns into its own string type unless told not to:
    # told not to, the partitions are quorbix.read_xml's frames as they are.
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None
    ) as cluster, distributed.Client(cluster), dask.config.set({"dataframe.convert-string": False}):
        frame = quorbix.dask.read_xml(str(tmp_path / "*.xml"), "catalog.book", COLUMNS)
        assert frame.npartitions == len(files)
        parts = [frame.get_partition(i).compute() for i in range(frame.npartitions)]
        listed = quorbix.dask.read_xml([str(f) for f in files], "catalog.book").compute()
    for part, file in zip(parts, sorted(files)):
        pandas.testing.assert_frame_equal(part, quorbix.read_xml(file, "catalog.book", COLUMNS))
    whole = pandas.concat([quorbix.read_xml(f, "catalog.book") for f in files])
    pandas.testing.assert_frame_equal(listed, whole)
    assert pickle.loads(pickle.dumps(COLUMNS))["price"].get("<price>1</price>").to_str() == "1"


def test_no_file_is_an_error(tmp_path):
    with pytest.raises(FileNotFoundError):
        quorbix.dask.read_xml(str(tmp_path / "*.xml"), "a.b")
