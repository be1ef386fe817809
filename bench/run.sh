#!/usr/bin/env bash
# Builds (or reuses) the benchmark corpora and times Lumbrex against ripgrep, GNU grep and cat
# (the floor: reading the files) on the same files, in one run, page cache warm. Every figure
# is the median of 5 runs. Usage: bench/run.sh [CORPUS_DIR]   (default: bench/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=$(realpath -m "${1:-bench/corpus}")
build=${LUMBREX_BUILD:-build}
bench=$build/bin/lumbrex-bench
[ -x "$bench" ] || bash scripts/build.sh
command -v rg >/dev/null || bash scripts/setup.sh
for name in a a-lf u b; do
    if [ ! -f "$corpus/$name/.complete" ]; then
        rm -rf "${corpus:?}/$name"
        python3 bench/gen_corpus.py "$name" "$corpus/$name" >/dev/null
        touch "$corpus/$name/.complete"
    fi
done
# One file of 2 GiB without a line end, the search text at its very end.
huge=$corpus/huge/one-line.txt
if [ ! -f "$corpus/huge/.complete" ]; then
    mkdir -p "$corpus/huge"
    python3 -c 'import sys
with open(sys.argv[1], "wb") as f:
    block = b"x" * (1 << 24)
    for _ in range(128):
        f.write(block)
    f.write(b"Dozida")' "$huge"
    touch "$corpus/huge/.complete"
fi
# Corpus a compressed: each file gzip-compressed on its own, and the whole folder as one
# .tar.zst archive.
if [ ! -f "$corpus/a-gz/.complete" ]; then
    rm -rf "${corpus:?}/a-gz"
    mkdir -p "$corpus/a-gz"
    for file in "$corpus"/a/*.txt; do gzip -6 -n -c "$file" >"$corpus/a-gz/${file##*/}.gz"; done
    touch "$corpus/a-gz/.complete"
fi
if [ ! -f "$corpus/a-tar/.complete" ]; then
    rm -rf "${corpus:?}/a-tar"
    mkdir -p "$corpus/a-tar"
    tar -C "$corpus" -cf - --exclude .complete a | zstd -q -3 -o "$corpus/a-tar/a.tar.zst"
    touch "$corpus/a-tar/.complete"
fi
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime LC_ALL=C

files() { find "$corpus/$1" -name '*.txt' | sort; }
mapfile -t files_a < <(files a)
mapfile -t files_alf < <(files a-lf)
mapfile -t files_u < <(files u)
mapfile -t files_b < <(files b)
mapfile -t files_agz < <(find "$corpus/a-gz" -name '*.gz' | sort)
archive_azst=$corpus/a-tar/a.tar.zst
# A real tree: the system's headers, given to Lumbrex as a list and walked by the peers.
include=/usr/include
mapfile -t files_include < <(find "$include" -type f | sort)
# Enough files of corpus a for about two million non-empty lines.
rows_files=("${files_a[@]:0:125}")
# Corpus a over and over, about 16,000 lines a file: ten million rows.
many=("${files_a[@]}" "${files_a[@]}" "${files_a[@]}" "${files_a[@]}")
ten_million_files=("${many[@]:0:620}")

# Warms the page cache so every tool reads from memory. Some machines drop their page cache
# now and then (a virtual one may, to give memory back to its host), so each case warms it
# again before its rounds: a third of a second.
warm() {
    local name
    for name in a a-lf u b a-gz a-tar; do find "$corpus/$name" -type f -print0 | xargs -0 cat >/dev/null; done
    find "$include" -type f -print0 | xargs -0 cat >/dev/null 2>&1 || true
}
warm

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# Runs a command once, output to a real file; prints its wall and CPU seconds, to the
# millisecond.
timed() { python3 bench/timed.py 1 "$runtime/out" "$@"; }

# The same, with the output thrown away: cat reading the files is the floor.
timed_to_null() { python3 bench/timed.py 1 /dev/null "$@"; }

field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }

# Prints the median of its arguments.
median_of() { printf '%s\n' "$@" | median; }

ratio() { if [ "$2" = "-" ]; then echo "-"; else echo "$1 / $2" | bc -l | xargs printf '%.2f'; fi; }

printf '%-34s %8s %8s %8s %8s %8s %8s %7s %7s  %s\n' case lumbrex l_cpu rg rg_j1cpu grep cat \
    vs_rg cpu_vs "rows / longest pump gap / stop to idle / resident"
# name, lumbrex-bench arguments, then the peers' arguments (or -) after a lone --.
# Each of 5 rounds runs Lumbrex and then every peer once, so a machine that slows down for a
# while slows them alike; every figure is the median of its 5 rounds. The rows, the longest
# pump gap, the stop and the peak resident memory are those of Lumbrex's last run.
compare() {
    local name=$1
    shift
    local args=()
    while [ "$1" != "--" ]; do args+=("$1"); shift; done
    shift
    local peer=("$@") line round t
    local ls=() lc=() rg=() rgj1=() gr=() ct=()
    warm
    for round in 1 2 3 4 5; do
        line=$("$bench" "${args[@]}" 2>"$runtime/bench.err" | tail -n 1)
        ls+=("$(echo "$line" | field seconds)")
        lc+=("$(echo "$line" | field cpu_s)")
        if [ "${peer[0]}" != "-" ]; then
            t=$(timed rg $RG_MODE -i -H --no-line-number "${peer[@]}"); rg+=("${t%% *}")
            t=$(timed rg -j1 $RG_MODE -i -H --no-line-number "${peer[@]}"); rgj1+=("${t##* }")
            t=$(timed grep $GREP_MODE -i -H "${peer[@]}"); gr+=("${t%% *}")
            if [ ${#CAT_FILES[@]} -gt 0 ]; then
                t=$(timed_to_null cat "${CAT_FILES[@]}")
            else
                t=$(timed_to_null cat "${peer[@]:PEER_OPTIONS}")
            fi
            ct+=("${t%% *}")
        fi
    done
    local l_s l_c rg_s="-" rgj1_c="-" gr_s="-" ct_s="-"
    l_s=$(median_of "${ls[@]}")
    l_c=$(median_of "${lc[@]}")
    if [ "${peer[0]}" != "-" ]; then
        rg_s=$(median_of "${rg[@]}")
        rgj1_c=$(median_of "${rgj1[@]}")
        gr_s=$(median_of "${gr[@]}")
        ct_s=$(median_of "${ct[@]}")
    fi
    printf '%-34s %8s %8s %8s %8s %8s %8s %7s %7s  %s / %s ms / %s ms / %s MB\n' "$name" "$l_s" \
        "$l_c" "$rg_s" "$rgj1_c" "$gr_s" "$ct_s" "$(ratio "$l_s" "$rg_s")" \
        "$(ratio "$l_c" "$rgj1_c")" "$(echo "$line" | field rows)" \
        "$(echo "$line" | field max_gap_ms)" "$(echo "$line" | field stop_ms)" \
        "$(field max_rss_mb <"$runtime/bench.err")"
}

# How the peers take the search text: fixed text (-F), or for a pattern ripgrep's own syntax
# and grep's PCRE (-P). cat reads the files after the peers' options, or CAT_FILES when the
# peers walk a folder.
RG_MODE=-F GREP_MODE=-F
PEER_OPTIONS=1
CAT_FILES=()
compare "a: entire line, 200 x 1 MB" --mode 1 --search Dozida "${files_a[@]}" -- Dozida "${files_a[@]}"
compare "a-lf: the same with LF lines" --mode 1 --search Dozida "${files_alf[@]}" -- Dozida "${files_alf[@]}"
compare "u: UTF-8, LF, 200 x 1 MB" --mode 1 --search Dozida "${files_u[@]}" -- Dozida "${files_u[@]}"
compare "u: UTF-8, search text 'é'" --mode 1 --search "é" "${files_u[@]}" -- "é" "${files_u[@]}"
compare "b: entire line, 20000 x 4 KB" --mode 1 --search Dozida "${files_b[@]}" -- Dozida "${files_b[@]}"
GREP_MODE="-F -r"
CAT_FILES=("${files_include[@]}")
compare "$include: mutex (peers walk it)" --mode 1 --search mutex "${files_include[@]}" -- mutex "$include"
GREP_MODE=-F
CAT_FILES=()
RG_MODE="" GREP_MODE=-P
compare "a: regex 'Doz[i]da'" --mode 1 --regex --search 'Doz[i]da' "${files_a[@]}" -- 'Doz[i]da' "${files_a[@]}"
compare "a: regex '\bD\w{4}a\b' (no literal)" --mode 1 --regex --search '\bD\w{4}a\b' "${files_a[@]}" -- '\bD\w{4}a\b' "${files_a[@]}"
RG_MODE=-F GREP_MODE=-F
PEER_OPTIONS=3
compare "a: x=12 above, y=12 below" --mode 0 --x 12 --y 12 --search Dozida "${files_a[@]}" -- -B12 -A12 Dozida "${files_a[@]}"
compare "a: read as windows-1252" --mode 1 --search Dozida --read-as windows-1252 "${files_a[@]}" -- -
compare "2,000,000 rows (empty search)" --mode 1 --search '' --display line "${rows_files[@]}" -- -
compare "10,000,000 rows (empty search)" --mode 1 --search '' --display line "${ten_million_files[@]}" -- -
compare "10,000,000 rows, stop after 200 ms" --mode 1 --search '' --display line --stop-after-ms 200 "${ten_million_files[@]}" -- -
cat "$huge" >/dev/null
compare "2 GB without line ends" --mode 1 --search Dozida "$huge" -- -
compare "2 GB without line ends, stop after 200 ms" --mode 1 --search Dozida --stop-after-ms 200 "$huge" -- -
compare "a: x=12/y=12, stop after 200 ms" --mode 0 --x 12 --y 12 --search Dozida --stop-after-ms 200 "${files_a[@]}" -- -
compare "2,000,000 rows, stop after 200 ms" --mode 1 --search '' --display line --stop-after-ms 200 "${rows_files[@]}" -- -
# The command line as a whole process, start to exit, beside ripgrep's whole process, both
# writing to a real file; rows are counted in each output.
lumbrex=$build/bin/lumbrex
compare_cli() {
    local name=$1
    shift
    local args=()
    while [ "$1" != "--" ]; do args+=("$1"); shift; done
    shift
    local ls=() lc=() rg=() rgj1=() round t l_rows rg_rows
    warm
    for round in 1 2 3 4 5; do
        t=$(timed "$lumbrex" --extract "${args[@]}"); ls+=("${t%% *}"); lc+=("${t##* }")
        l_rows=$(wc -l <"$runtime/out")
        t=$(timed rg $RG_MODE -i -H --no-line-number "$@"); rg+=("${t%% *}")
        rg_rows=$(wc -l <"$runtime/out")
        t=$(timed rg -j1 $RG_MODE -i -H --no-line-number "$@"); rgj1+=("${t##* }")
    done
    local l_s l_c rg_s rgj1_c
    l_s=$(median_of "${ls[@]}")
    l_c=$(median_of "${lc[@]}")
    rg_s=$(median_of "${rg[@]}")
    rgj1_c=$(median_of "${rgj1[@]}")
    printf '%-34s %8s %8s %8s %8s %7s %7s  %s / %s\n' "$name" "$l_s" "$l_c" "$rg_s" "$rgj1_c" \
        "$(ratio "$l_s" "$rg_s")" "$(ratio "$l_c" "$rgj1_c")" "$l_rows" "$rg_rows"
}
echo
printf '%-34s %8s %8s %8s %8s %7s %7s  %s\n' "command line (lumbrex --extract)" seconds cpu rg \
    rg_j1cpu vs_rg cpu_vs "rows / rg's rows"
RG_MODE=-F
compare_cli "a: entire line, 200 x 1 MB" -e Dozida "${files_a[@]}" -- Dozida "${files_a[@]}"
compare_cli "a-lf: the same with LF lines" -e Dozida "${files_alf[@]}" -- Dozida "${files_alf[@]}"
compare_cli "u: UTF-8, LF, 200 x 1 MB" -e Dozida "${files_u[@]}" -- Dozida "${files_u[@]}"
compare_cli "u: UTF-8, search text 'é'" -e "é" "${files_u[@]}" -- "é" "${files_u[@]}"
compare_cli "b: entire line, 20000 x 4 KB" -e Dozida "${files_b[@]}" -- Dozida "${files_b[@]}"
compare_cli "$include: mutex, as a list" -e mutex "${files_include[@]}" -- mutex "$include"
# Lumbrex follows links to folders and files as it walks (and ends loops); so does rg -L.
RG_MODE="-L -F"
compare_cli "$include: mutex (each walks it)" -e mutex "$include" -- mutex "$include"
RG_MODE=-F
compare_cli "a: 12 lines above, 12 below" -B12 -A12 -e Dozida "${files_a[@]}" -- -B12 -A12 \
    Dozida "${files_a[@]}"
# Compressed files: ripgrep decompresses with -z (a gzip or zstd process per file), and is
# told to read the tar stream as text (-a), where its headers hold NUL bytes.
RG_MODE="-z -F"
compare_cli "a-gz: 200 x 1 MB, each gzip" -e Dozida "${files_agz[@]}" -- Dozida "${files_agz[@]}"
RG_MODE="-z -a -F"
compare_cli "a-tar: one .tar.zst of 200 x 1 MB" -e Dozida "$archive_azst" -- Dozida "$archive_azst"
RG_MODE=""
compare_cli "a: regex 'Doz[i]da'" -P -e 'Doz[i]da' "${files_a[@]}" -- 'Doz[i]da' "${files_a[@]}"
# Start-up: the median of 21 starts of each, to the tenth of a millisecond.
startup() { python3 -c 'import subprocess, statistics, sys, time
walls = []
for _ in range(21):
    start = time.perf_counter()
    subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
    walls.append(time.perf_counter() - start)
print(f"{statistics.median(walls) * 1000:.1f}")' "$@"; }
printf '%-34s %8s ms %8s ms (rg --version)\n' "start-up: lumbrex --version" \
    "$(unset DISPLAY WAYLAND_DISPLAY; startup "$lumbrex" --version)" "$(startup rg --version)"

if [ -x "$build/bin/lumbrex-results-bench" ]; then
    echo
    "$build/bin/lumbrex-results-bench"
fi
