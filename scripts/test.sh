#!/usr/bin/env bash
# Sets up, builds and runs every FolioLens test: the plain build with warnings as
# errors, the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, the
# engine's tests under ThreadSanitizer, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${FOLIO_FUZZ_SECONDS:-20}

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLIO_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== build and test under ASan+UBSan"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFOLIO_WERROR=ON \
    -DFOLIO_SANITIZE=ON -DFOLIO_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== the engine's tests under ThreadSanitizer (the engine has no Qt to leave uninstrumented)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLIO_WERROR=ON \
    -DFOLIO_TSAN=ON -DFOLIO_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target engine_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/engine/engine_tests

echo "== fuzz targets, ${fuzz_seconds}s each"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFOLIO_FUZZ=ON -DFOLIO_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_all
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
