#!/usr/bin/env bash
# Instruction counts of the reader and the scan (callgrind counts instructions,
# not seconds: the same build and input give the same figure on a busy machine).
#   bench/instructions.sh [MEGABYTES] [QUESTION ...]
# Prints each question's instructions, in all and per byte of the document.
set -euo pipefail
cd "$(dirname "$0")/.."
size="${1:-10}"
shift || true
document="bench/catalog-${size}mb.xml"
[ -f "$document" ] || python3 bench/gen_catalog.py "$document" "$size" >/dev/null
cmake -S . -B build/bench -DQUORBIX_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench --target core_bench --parallel 2 >/dev/null
questions=("$@")
[ ${#questions[@]} -gt 0 ] ||
    questions=(read validate "catalog.book.#.price" "**.tag" 'catalog.book.#(@lang=="de")#.dc:title')
bytes=$(stat -c %s "$document")
baseline=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null build/bench/core_bench \
    "$document" 1 none 2>&1 | sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
printf '%-45s %15s %12s\n' question instructions per-byte
for question in "${questions[@]}"; do
    total=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null build/bench/core_bench \
        "$document" 1 "$question" 2>&1 | sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
    spent=$((total - baseline))
    printf '%-45s %15d %12s\n' "$question" "$spent" "$(python3 -c "print(f'{$spent / $bytes:.2f}')")"
done
