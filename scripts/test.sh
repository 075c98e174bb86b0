#!/usr/bin/env bash
# Sets up, builds and runs every FolioLens test: the plain build with warnings as
# errors, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, the
# engine's tests under ThreadSanitizer, and a short run of every fuzz target; each
# configuration is a preset of CMakePresets.json.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${FOLIO_FUZZ_SECONDS:-20}

echo "== build and test"
cmake --preset plain >/dev/null
cmake --build --preset plain -j "$jobs"
ctest --preset plain -j "$jobs"

echo "== build and test under ASan+UBSan"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== the engine's tests under ThreadSanitizer (the engine has no Qt to leave uninstrumented)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/engine/engine_tests

echo "== fuzz targets, ${fuzz_seconds}s each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
shopt -s nullglob
for target in build-fuzz/fuzz/*/fuzz_*; do
    [[ -x $target && ! -d $target ]] || continue
    name=$(basename "$target")
    corpus_seed="fuzz/${name#fuzz_}/corpus"
    work=$(mktemp -d)
    seeds=()
    [[ -d $corpus_seed ]] && seeds=("$corpus_seed")
    echo "-- $name"
    "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=0 "$work" "${seeds[@]}" >"$work.log" 2>&1 || {
        tail -50 "$work.log"
        echo "fuzz target $name failed" >&2
        exit 1
    }
    rm -rf "$work" "$work.log"
done
echo "== all tests passed"
