"""Documents in every encoding answer with the right text on every road."""

import pytest

from quorbix import compile, get, get_buffer, get_bytes, parse, validate

# (declared label, Python codec, two titles, an attribute value, a CDATA text,
# an element name); every text outside ASCII, in the encoding's own script.
ENCODINGS = [
    ("ISO-8859-1", "latin-1", "café", "über", "été", "déjà vu", "prénom"),
    ("windows-1251", "cp1251", "Привет", "мир", "книга", "уже <видел>", "имя"),
    ("Shift_JIS", "shift_jis", "日本語", "東京", "テスト", "既視感", "名前"),
    ("EUC-KR", "euc_kr", "한국어", "서울", "시험", "데자뷔", "이름"),
    ("Big5", "big5", "中文", "台北", "測試", "似曾相識", "名字"),
    ("UTF-16", "utf-16", "é中😀", "ß", "ü", "déjà 😀", "名前"),
    ("UTF-16", "utf-16-le", "é中😀", "ß", "ü", "déjà 😀", "名前"),  # no byte-order mark
    ("UTF-16", "utf-16-be", "é中😀", "ß", "ü", "déjà 😀", "名前"),
]


def catalog(label, t1, t2, attr, cdata, name):
    return (
        f'<?xml version="1.0" encoding="{label}"?>\n'
        f'<catalog><book lang="{attr}" id="1"><title>{t1}</title><price>10</price>'
        f"<note><![CDATA[{cdata}]]></note><{name}>{t2}</{name}></book>"
        f'<book lang="x" id="2"><title>{t2}</title><price>20</price></book></catalog>'
    )


@pytest.fixture(params=ENCODINGS, ids=lambda e: e[1])
def case(request):
    label, codec, t1, t2, attr, cdata, name = request.param
    text = catalog(label, t1, t2, attr, cdata, name)
    return text.encode(codec), (t1, t2, attr, cdata, name)


READERS = {
    "bytes": get_bytes,
    "buffer": lambda data, path: get_buffer(bytearray(data), path),
    "path": lambda data, path: compile(path).get_bytes(data),
}


@pytest.mark.parametrize("read", READERS.values(), ids=READERS.keys())
def test_texts_attributes_cdata_and_names(case, read):
    data, (t1, t2, attr, cdata, name) = case
    assert read(data, "catalog.book.0.title").to_str() == t1
    assert read(data, "catalog.book.0.title.#text").to_str() == t1
    assert read(data, "catalog.book.0.title") == t1
    assert read(data, "catalog.book.0.@lang").to_str() == attr
    assert read(data, "catalog.book.0.note.#text").to_str() == cdata
    assert read(data, "catalog.book.0.note").to_str() == cdata
    assert read(data, f"catalog.book.0.{name}").to_str() == t2
    assert read(data, "catalog.book.#.title").value == [t1, t2]
    assert read(data, "catalog.book.#.title").to_str() == f"<title>{t1}</title>\n<title>{t2}</title>"
    assert repr(read(data, "catalog.book.1.title")) == t2


def test_filters_agree_whatever_their_strategy(case):
    data, (t1, t2, attr, cdata, name) = case
    # the attribute strategy, the streaming one and the buffered one
    assert get_bytes(data, f'catalog.book.#(@lang=="{attr}")#.title') == [t1]
    assert get_bytes(data, f'catalog.book.#(title=="{t1}").price').to_int() == 10
    assert get_bytes(data, f'catalog.book.#(title=="{t2}")#.@id').to_str() == "2"
    assert get_bytes(data, f'catalog.book.#(title.#text=="{t1}")#.price') == "10"
    assert get_bytes(data, f'catalog.book.#(note=="{cdata}")#.@id') == "1"
    assert get_bytes(data, f'catalog.book.#({name}%"{t2[0]}*")#.@id') == "1"
    assert get_bytes(data, f'catalog.book.#(.%"*{t2}*")#.@id').value == ["1", "2"]


def test_modifiers_read_element_texts(case):
    data, (t1, t2, *_rest) = case
    expected = sorted([t1, t2], key=lambda t: t.encode())
    assert get_bytes(data, "catalog.book.#.title|@sort").value == expected
    assert get_bytes(data, "**.title|@unique|@count").to_int() == 2
    assert get_bytes(data, "catalog.book.#.title|@reverse|@first") == t2


def test_dict_values_and_whole_documents(case):
    data, (t1, t2, attr, cdata, name) = case
    book = get_bytes(data, "catalog.book.0").value
    assert list(book) == ["title", "price", "note", name]
    assert book["title"] == t1 and book["note"].to_str() == cdata and book[name] == t2
    assert parse(data).value["book"].value[1].value["title"] == t2
    assert parse(bytearray(data)).value["book"].value[0].value["title"] == t1
    assert validate(data) is True


def test_str_documents_are_text_already():
    declared = '<?xml version="1.0" encoding="ISO-8859-1"?><a k="é">café<![CDATA[ü]]></a>'
    assert get(declared, "a.#text").to_str() == "caféü"
    assert get(declared, "a.@k").to_str() == "é"
    assert get(declared, "a") == "caféü"
    assert parse(declared).to_str() == "caféü"
    utf16 = '<?xml version="1.0" encoding="UTF-16"?><a>ok</a>'
    assert get(utf16, "a").to_str() == "ok"
    assert validate(utf16) is True


def test_only_the_start_sets_the_encoding():
    # A byte-order mark wins over the declaration.
    marked = b'\xef\xbb\xbf<?xml version="1.0" encoding="windows-1251"?><a>\xc3\xa9</a>'
    assert get_bytes(marked, "a").to_str() == "é"
    # A declaration met later changes nothing.
    late = '<a><?xml version="1.0" encoding="windows-1251"?><b>é</b></a>'.encode()
    assert get_bytes(late, "a.b").to_str() == "é"
    late_latin = b'<?xml version="1.0" encoding="ISO-8859-1"?><a><?xml encoding="UTF-8"?>\xe9</a>'
    assert get_bytes(late_latin, "a").to_str() == "é"


def test_utf16_edge_cases():
    lone = b"\xff\xfe" + "<a>".encode("utf-16-le") + b"\x00\xd8" + "</a>".encode("utf-16-le")
    assert get_bytes(lone, "a").to_str() == "\ufffd"
    assert validate(b"\xff\xfe" + "<a>".encode("utf-16-le")) is False
    odd = "<a>x</a>".encode("utf-16-be") + b"\x00"
    assert get_bytes(b"\xfe\xff" + odd, "a").to_str() == "x"
    # Results own their copies: they outlive the document.
    data = bytearray("<r><a>é</a></r>".encode("utf-16"))
    result = get_buffer(data, "r.a")
    data[:] = b"<r/>"
    assert result.to_str() == "é"


def test_undecodable_attribute_values_read_as_replacement_characters():
    data = b'<?xml version="1.0" encoding="Shift_JIS"?><a k="\x82">x</a>'
    assert get_bytes(data, "a.@k").to_str() == "\ufffd"
    assert get_bytes(data, 'a#(@k=="x")').exists() is False
    assert get_bytes(data, 'a#(@k=="\ufffd")').to_str() == "x"


def test_numbers_print_as_the_shortest_text_that_reads_back():
    assert get("<r><v>1e23</v></r>", "r.v|@sum").to_str() == "100000000000000000000000"
    assert get(f"<r><v>{2**60}</v></r>", "r.v|@sum").to_str() == "1152921504606847000"
    assert get("<r><v>2e53</v><v>-1e300</v></r>", "r.v|@min").to_str() == "-1" + "0" * 300
    assert get("<r><v>1e15</v><v>1</v></r>", "r.v|@sum").to_str() == "1000000000000001"


def test_nested_filters_and_escaped_quotes():
    doc = "<r><a><b><c>1</c></b></a><a k=\"it's\"><b><c>2</c></b></a></r>"
    assert get(doc, "r.a.#(b#(c==2)==2).@k").to_str() == "it's"
    assert get(doc, "r.a.#(b#(c=='1')#.c==1)#.b.c") == "1"
    assert get(doc, "r.a.#(@k=='it\\'s').b.c").to_int() == 2
    compile("a#('\\''==1)")


def test_prefixed_attribute_names():
    doc = '<r><c xml:lang="de" a:k="1" k="2">x</c><c xml:lang="en">y</c></r>'
    assert get(doc, 'r.c.#(@xml:lang=="de")#') == ["x"]
    assert get(doc, "r.c.0.@xml:lang").to_str() == "de"
    assert get(doc, "r.c.0.@a:k").to_str() == "1"
    assert get(doc, "r.c.0.@k").to_str() == "2"  # that very name before a local part
    assert get(doc, "r.c.0.@b:k").exists() is False
    assert get(doc, "r.c.#.@lang").value == ["de", "en"]
