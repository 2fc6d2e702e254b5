#!/usr/bin/env bash
# Instruction counts of the reader, the scan and calls through the module
# (callgrind counts instructions, not seconds: the same build and input give
# the same figure on a busy machine).
#   bench/instructions.sh [MEGABYTES] [QUESTION ...]
#   bench/instructions.sh [MEGABYTES] --targets
# A QUESTION is one core_bench answers (validate, read, a path, many:..., table:...)
# over the catalog of bench/gen_catalog.py, MEGABYTES large (10 by default). A
# prefix names another document: catalog:, osm: (bench/gen_osm.py), feed:
# (bench/gen_feed.py), or small: (a catalog of one book, 462 bytes), on which a
# question is counted per call: CALLS (3000) calls in one process, net of an
# empty loop of as many. After it, py: makes the question a Python statement
# run through the installed module by bench/calls.py (`doc` is the document's
# bytes, `text` its str; a SETUP;; before the statement runs once), net of the
# same run without the statement, which loads the document and imports the
# module. Each question's instructions are printed, in all and per byte of the
# document, or per call on small:, with the matches core_bench found. --targets counts the rows the engine is
# measured by. For example:
#   bench/instructions.sh 10 'osm:osm.node.#.@lat' 'small:catalog.book.0.dc:title' \
#       'py:[r.to_float() for r in quorbix.get_bytes(doc, "catalog.book.#.price")]' \
#       'small:py:p = quorbix.compile("catalog.book.0.dc:title");; p.get(text).to_str()'
# The Python is .venv/bin/python (or $PYTHON); rebuild the module first
# (pip install --no-deps -e .), as these rows count what it was built from.
set -euo pipefail
cd "$(dirname "$0")/.."
size=10
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then size=$1; shift; fi
calls=${CALLS:-3000}
python=${PYTHON:-.venv/bin/python}
[ -x "$python" ] || python=python3
questions=("$@")
if [ "${questions[0]:-}" = --targets ]; then
    questions=(validate "catalog.book.#.price" "**.tag" 'catalog.book.#(@lang=="de")#.dc:title'
        "**.price|@count" "py:quorbix.get_many_bytes(doc, TEN_QUESTIONS)"
        'py:[r.to_float() for r in quorbix.get_bytes(doc, "catalog.book.#.price")]'
        "osm:osm.node.#.@lat" "feed:rss.channel.item.#.title"
        'small:py:quorbix.get(text, "catalog.book.0.dc:title").to_str()'
        'small:py:title = quorbix.compile("catalog.book.0.dc:title");; title.get(text).to_str()'
        "small:catalog.book.0.dc:title")
fi
[ ${#questions[@]} -gt 0 ] ||
    questions=(read validate "catalog.book.#.price" "**.tag" 'catalog.book.#(@lang=="de")#.dc:title')

# The file of a document (made when missing) by its name.
document_file() {
    local file
    case $1 in
        small) file=bench/catalog-small.xml
            [ -f $file ] || "$python" -c "import sys; sys.path.insert(0, 'bench')
from gen_catalog import small_document; open('$file', 'wb').write(small_document(1))" ;;
        *) file=bench/$1-${size}mb.xml
            [ -f "$file" ] || "$python" "bench/gen_$1.py" "$file" "$size" >/dev/null ;;
    esac
    echo "$file"
}

# The instructions callgrind counts in the command it is given, then how many
# matches it found when it is core_bench (a row that found nothing counts nothing).
count() {
    local out
    out=$(PYTHONHASHSEED=0 valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1) ||
        { printf '%s\n' "$out" | tail -5 >&2; echo "failed: $*" >&2; return 1; }
    echo "$(printf '%s\n' "$out" | sed -n 's/.*Collected : \([0-9]*\).*/\1/p')" \
        "$(printf '%s\n' "$out" | sed -n 's/.* \([0-9]*\) found$/\1/p' | tail -1)"
}

cmake -S . -B build/bench -DQUORBIX_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target core_bench --parallel 2 >/dev/null
declare -A core_baseline
width=8
for question in "${questions[@]}"; do width=$((${#question} > width ? ${#question} : width)); done
printf '%-*s %14s %14s %10s\n' "$width" question instructions per-byte/call found
for question in "${questions[@]}"; do
    name=catalog asked=$question
    if [[ "$asked" =~ ^(catalog|osm|feed|small): ]]; then
        name=${BASH_REMATCH[1]} asked=${asked#*:}
    fi
    document=$(document_file "$name")
    rounds=1
    [ "$name" = small ] && rounds=$calls
    if [[ "$asked" == py:* ]]; then
        run=("$python" bench/calls.py "$document" "$rounds" "${asked#py:}")
        read -r baseline _ <<<"$(count "${run[@]}" --empty)"
        read -r total found <<<"$(count "${run[@]}")"
    else
        [ -n "${core_baseline[$name]:-}" ] ||
            read -r "core_baseline[$name]" _ <<<"$(count build/bench/core_bench "$document" "$rounds" none)"
        baseline=${core_baseline[$name]}
        read -r total found <<<"$(count build/bench/core_bench "$document" "$rounds" "$asked")"
    fi
    spent=$((total - baseline))
    if [ "$name" = small ]; then
        share="$((spent / rounds)) /call"
    else
        share="$("$python" -c "print(f'{$spent / $(stat -c %s "$document"):.2f}')") /byte"
    fi
    printf '%-*s %14d %14s %10s\n' "$width" "$question" "$spent" "$share" "${found:--}"
done
