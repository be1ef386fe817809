#!/usr/bin/env bash
# Installs what is missing, builds Lumbrex and runs the whole test suite on Qt's offscreen
# platform, with settings redirected into a throwaway folder.
#
# With --sanitize, or whenever CI=true, the suite is also built with AddressSanitizer and
# UndefinedBehaviorSanitizer (RelWithDebInfo, into build-asan/) and run there, and the tests of
# the engine and the run, where the worker threads are, with ThreadSanitizer (into
# build-tsan/); any finding fails the test that hit it.
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=0
[ "${CI:-}" = true ] && sanitize=1
for arg in "$@"; do
  case $arg in
    --sanitize) sanitize=1 ;;
    --no-sanitize) sanitize=0 ;;
    *) echo "usage: scripts/test.sh [--sanitize|--no-sanitize]" >&2; exit 2 ;;
  esac
done

bash scripts/build.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config"
(cd build && ctest --output-on-failure --timeout 900 -j2)

if ((sanitize)); then
  echo "== The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMBREX_SANITIZE=ON \
    >/dev/null
  cmake --build build-asan
  export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  (cd build-asan && ctest --output-on-failure --timeout 1800 -j2)

  echo "== The engine's and the run's tests built with ThreadSanitizer"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMBREX_TSAN=ON >/dev/null
  # Only what those tests need is built. The differential test is left out: it runs on one
  # thread, and takes a minute under the tool.
  targets=()
  for source in tests/engine/tst_*.cpp tests/run/tst_*.cpp; do
    name=$(basename "$source" .cpp)
    [ "$name" = tst_differential ] || targets+=("$(basename "$(dirname "$source")")_$name")
  done
  cmake --build build-tsan --target "${targets[@]}"
  export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp:print_suppressions=0:second_deadlock_stack=1"
  (cd build-tsan && ctest --output-on-failure --timeout 900 -j2 -R '^(engine|run)/' \
    -E 'tst_differential')
fi
