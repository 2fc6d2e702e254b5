"""A DOCTYPE's internal subset is read by XML's grammar: what its comments, processing
instructions and quoted literals hold is never read as the document's elements, as lxml
reads the same documents. Malformed markup before the root element is passed over."""

import pytest
from lxml import etree

from quorbix import MalformedError, get, get_bytes, get_many, parse, read_xml, records, validate

BODY = "<r><a>one</a><b><a>two</a></b></r>"
# Each holds a "]>" (or a bracket or quote) that must not end the subset; several hold an
# element that must not be found.
SUBSETS = [
    "<!-- ]> <r><a>evil</a></r> -->",
    "<?pi ]> <a>evil</a> ?>",
    "<!-- it's [ -->",
    '<!ENTITY e "]><a>evil</a>">',
    "<!ENTITY e ']><a>evil</a>'>",
    "<!ATTLIST a b CDATA ']>' c CDATA \"]>\">",
    "<!ELEMENT r (a|b)*><!ELEMENT a (#PCDATA)><!ELEMENT b (a)>",
    '<!ENTITY % d "<!ELEMENT a ANY>"> %d; <!-- ]> <a>evil</a> -->',
    '<!NOTATION n SYSTEM "]>"><?x ?>\n  <!-- --> ',
]
HEADS = ["<!DOCTYPE r [{}]>", "<!DOCTYPE r PUBLIC \"-//x//y\" 'z]>.dtd' [{}] >"]
DOCUMENTS = [head.format(subset) + BODY for head in HEADS for subset in SUBSETS]


def lxml_texts(document):
    # Entities are not resolved: the bodies reference none, and lxml refuses a
    # parameter entity the subset declares unless told so.
    parser = etree.XMLParser(resolve_entities=False)
    return [a.text for a in etree.fromstring(document.encode(), parser).xpath("//a")]


@pytest.mark.parametrize("document", DOCUMENTS)
def test_the_subset_hides_no_element(document):
    expected = lxml_texts(document)
    assert expected == ["one", "two"]
    assert get(document, "**.a") == expected
    assert get_bytes(document.encode(), "**.a") == expected
    assert get_many(document, ["**.a", "r.a"]) == [expected, "one"]
    assert parse(document).get("r.b.a") == "two"
    assert list(parse(document).keys()) == ["a", "b"]
    assert validate(document) is True


def test_the_smuggled_element_of_a_comment_is_not_the_root():
    document = "<!DOCTYPE r [<!-- ]> <r><a>evil</a></r> -->]><r><a>good</a></r>"
    assert get(document, "r.0.a") == "good"
    assert get(document, "**.a").to_str() == "good"


def test_an_unterminated_subset_answers_what_stood_before_it():
    document = DOCUMENTS[0]
    subset_end = document.index("]><r>")
    for n in range(subset_end + 1):
        assert get(document[:n], "**.a") == []
        assert get_many(document[:n], ["**.a"]) == [[]]
        assert validate(document[:n]) is False
    assert get("<!DOCTYPE r [<!-- ]> <r><a>x</a></r>", "**.a") == []
    assert validate("<!DOCTYPE r [<?pi ]> <r/>") is False


BEFORE_THE_ROOT = ["<!DOCTYPE>", "<!DOCTYPE [<!ELEMENT a ANY>]>", "</x>", "</x>\n<!DOCTYPE>\n</y>"]


@pytest.mark.parametrize("document", [prolog + "<a><b>1</b></a>" for prolog in BEFORE_THE_ROOT])
def test_malformed_markup_before_the_root_is_passed_over(document):
    assert get(document, "a.b") == "1"
    assert get_many(document, ["a.b", "**.b"]) == ["1", "1"]
    assert records(document, "a", {"b": "b"}, recover=True) == [{"b": "1"}]
    assert validate(document) is False
    with pytest.raises(MalformedError):
        records(document, "a", {"b": "b"})


@pytest.mark.parametrize("document", [prolog + "<a><b>1</b></a>" for prolog in BEFORE_THE_ROOT])
def test_malformed_markup_before_the_root_is_passed_over_in_frames(document):
    pytest.importorskip("pandas")
    assert read_xml(document, "a", {"b": "b"}, recover=True)["b"].tolist() == [1]


def test_a_stray_end_tag_after_the_root_still_ends_the_scan():
    assert get("<a><b>1</b></a></x><a><b>2</b></a>", "**.b") == "1"
