#!/bin/sh
# Builds the engine's libFuzzer target with clang in build-fuzz and runs it for SECONDS
# (default 60). Findings land in build-fuzz/fuzz-findings.
set -eu
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMBREX_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_engine
mkdir -p "$build/fuzz-corpus" "$build/fuzz-findings"
cd "$build/fuzz-findings"
exec "$build/bin/fuzz_engine" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    "$build/fuzz-corpus"
