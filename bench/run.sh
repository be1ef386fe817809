#!/usr/bin/env bash
# Builds (or reuses) the benchmark corpora and times Lumbrex against grep on the same files,
# in one run. Usage: bench/run.sh [CORPUS_DIR]   (default: bench/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=$(realpath -m "${1:-bench/corpus}")
build=${LUMBREX_BUILD:-build}
bench=$build/bin/lumbrex-bench
[ -x "$bench" ] || bash scripts/build.sh
for name in a b; do
    if [ ! -f "$corpus/$name/.complete" ]; then
        rm -rf "${corpus:?}/$name"
        python3 bench/gen_corpus.py "$name" "$corpus/$name" >/dev/null
        touch "$corpus/$name/.complete"
    fi
done
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime LC_ALL=C

mapfile -t files_a < <(find "$corpus/a" -name '*.txt' | sort)
mapfile -t files_b < <(find "$corpus/b" -name '*.txt' | sort)
# Enough files of corpus a for about two million non-empty lines.
rows_files=("${files_a[@]:0:125}")
# Corpus a over and over, about 16,000 lines a file: ten million rows.
many=("${files_a[@]}" "${files_a[@]}" "${files_a[@]}" "${files_a[@]}")
ten_million_files=("${many[@]:0:620}")

# Warm the page cache so both tools read from memory.
cat "${files_a[@]}" >/dev/null
find "$corpus/b" -name '*.txt' -print0 | xargs -0 cat >/dev/null

seconds() { # command... -> wall seconds, output to a real file
    local start end
    start=$(date +%s.%N)
    "$@" >"$runtime/out" 2>/dev/null || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l | xargs printf '%.3f'
}

lumbrex() { # args... -> the bench's last line
    "$bench" "$@" 2>"$runtime/bench.err" | tail -n 1
}

field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }

printf '%-44s %10s %10s %7s %s\n' case lumbrex_s grep_s ratio notes
report() { # name lumbrex-line grep-seconds
    local l g ratio rss
    l=$(echo "$2" | field seconds)
    g=$3
    rss=$(echo "$2" | field max_rss_mb)
    if [ "$g" = "-" ]; then ratio="-"; else ratio=$(echo "$l / $g" | bc -l | xargs printf '%.2f'); fi
    printf '%-44s %10s %10s %7s rows=%s max_gap_ms=%s stop_ms=%s rss_mb=%s\n' "$1" "$l" "$g" "$ratio" \
        "$(echo "$2" | field rows)" "$(echo "$2" | field max_gap_ms)" "$(echo "$2" | field stop_ms)" "$rss"
}

g=$(seconds grep -F -i Dozida "${files_a[@]}")
report "a: entire line, 200 x 1 MB" "$(lumbrex --mode 1 --search Dozida "${files_a[@]}")" "$g"
g=$(seconds grep -F -i Dozida "${files_b[@]}")
report "b: entire line, 20000 x 4 KB" "$(lumbrex --mode 1 --search Dozida "${files_b[@]}")" "$g"
g=$(seconds grep -F -i -B12 -A12 Dozida "${files_a[@]}")
report "a: x=12 above, y=12 below" "$(lumbrex --mode 0 --x 12 --y 12 --search Dozida "${files_a[@]}")" "$g"
report "2,000,000 rows (empty search)" "$(lumbrex --mode 1 --search '' --display line "${rows_files[@]}")" "-"
report "a: entire line, stop after 200 ms" "$(lumbrex --mode 1 --search Dozida --stop-after-ms 200 "${files_a[@]}")" "-"
report "b: entire line, stop after 200 ms" "$(lumbrex --mode 1 --search Dozida --stop-after-ms 200 "${files_b[@]}")" "-"
report "a: x=12/y=12, stop after 200 ms" "$(lumbrex --mode 0 --x 12 --y 12 --search Dozida --stop-after-ms 200 "${files_a[@]}")" "-"
report "10,000,000 rows (empty search)" "$(lumbrex --mode 1 --search '' --display line "${ten_million_files[@]}")" "-"
report "2,000,000 rows, stop after 200 ms" "$(lumbrex --mode 1 --search '' --display line --stop-after-ms 200 "${rows_files[@]}")" "-"
if [ -x "$build/bin/lumbrex-results-bench" ]; then
    echo
    "$build/bin/lumbrex-results-bench"
fi
