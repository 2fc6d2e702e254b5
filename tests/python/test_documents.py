"""Which objects are documents, how their bytes are read, and that views are released."""

import array
import ctypes
import mmap

import pytest

from quorbix import validate

ANY_REFUSED = "data must be bytes, str, or a buffer-protocol object (mmap, bytearray)"
NOT_CONTIGUOUS = "buffer must be C-contiguous"


class BytesSubclass(bytes):
    pass


class StrSubclass(str):
    pass


@pytest.mark.parametrize(
    "document",
    [
        b"<a>1</a>",
        "<a>1</a>",
        BytesSubclass(b"<a/>"),
        StrSubclass("<a/>"),
        bytearray(b"<a>1</a>"),
        memoryview(b"<a>1</a>"),
        array.array("B", b"<a/>"),
        memoryview(b"<a>1</a>").cast("B", [2, 4]),  # two dimensions, read flat
        memoryview(b"<a/>").cast("c"),
        "<é>ü</é>",
        # ctypes' unsigned bytes, format "<B"
        memoryview((ctypes.c_ubyte * 4).from_buffer_copy(b"<a/>")),
    ],
)
def test_accepted_documents(document):
    assert validate(document) is True


@pytest.mark.parametrize(
    "document",
    [
        5,
        None,
        array.array("i", [1, 2]),  # items wider than a byte
        memoryview(b"<a/>").cast("b"),  # signed bytes
    ],
)
def test_refused_documents(document):
    with pytest.raises(ValueError) as info:
        validate(document)
    assert str(info.value) == ANY_REFUSED


def test_non_contiguous_buffer():
    with pytest.raises(ValueError) as info:
        validate(memoryview(b"<a>1</a>")[::2])
    assert str(info.value) == NOT_CONTIGUOUS


# Byte order means nothing for one-byte items: every mark is accepted.
@pytest.mark.parametrize("fmt, accepted", [(">B", True), ("=B", True), ("@B", True),
                                           ("<B", True), ("!B", True), ("@b", False),
                                           ("<b", False)])
def test_byte_order_marks_in_formats(fmt, accepted):
    testbuffer = pytest.importorskip("_testbuffer")
    exporter = testbuffer.ndarray(list(b"<a/>"), shape=[4], format=fmt)
    if accepted:
        assert validate(exporter) is True
    else:
        with pytest.raises(ValueError, match="data must be bytes"):
            validate(exporter)


def test_str_without_utf8_form_raises_the_interpreters_error():
    with pytest.raises(UnicodeEncodeError):
        validate("<a>\ud800</a>")


def test_views_are_released_on_every_path():
    data = bytearray(b"<a/>")
    assert validate(data) is True
    data.extend(b"<b/>")  # would raise BufferError while a view is held
    assert validate(data) is False

    refused = memoryview(data).cast("b")
    with pytest.raises(ValueError):
        validate(refused)
    refused.release()
    data.clear()

    strided = memoryview(data + b"<a></a>")
    with pytest.raises(ValueError):
        validate(strided[::2])
    strided.release()


def test_mmap_document(tmp_path):
    path = tmp_path / "doc.xml"
    path.write_bytes(b"<a><b/></a>")
    with open(path, "r+b") as f, mmap.mmap(f.fileno(), 0) as m:
        assert validate(m) is True
        m.resize(5)  # possible only when no view is held
        assert validate(m) is False
