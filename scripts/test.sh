#!/usr/bin/env bash
# Sets up, builds and runs every FolioLens test, each configuration a preset of
# CMakePresets.json:
#   check     one clang build (ASan+UBSan at -O1, the test programs' own files at -O0,
#             fuzzer coverage in the libraries, warnings as errors): every test (the fuzz targets' seeds and crashers
#             among them), the benchmarks compiled but not run;
#   programs  the two programs with GCC at -O2 and warnings as errors, for the warnings
#             only the optimiser finds;
#   tsan      the concurrency-labelled tests under ThreadSanitizer;
# then the fuzz targets of the check build fuzz for FOLIO_FUZZ_SECONDS in all (60 unless
# told; --fuzz-seconds N says the same), shared between them.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds=${FOLIO_FUZZ_SECONDS:-60}
while (($#)); do
    case $1 in
    --fuzz-seconds)
        fuzz_seconds=${2:?--fuzz-seconds needs a number of seconds}
        shift 2
        ;;
    *)
        echo "usage: $0 [--fuzz-seconds N]" >&2
        exit 2
        ;;
    esac
done

bash scripts/setup.sh

jobs=$(nproc)
stage() {
    echo "== $* ($(date +%T))"
}

stage "clang, ASan+UBSan: build everything, run every test"
cmake --preset check >/dev/null
cmake --build --preset check -j "$jobs"
ctest --preset check -j "$jobs"

stage "GCC -O2: the two programs, warnings as errors"
cmake --preset programs >/dev/null
cmake --build --preset programs -j "$jobs"

stage "ThreadSanitizer: the concurrency tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs"

targets=()
for target in build-check/fuzz/*/fuzz_*; do
    [[ -x $target && ! -d $target ]] && targets+=("$target")
done
((${#targets[@]})) || {
    echo "no fuzz target in build-check/fuzz" >&2
    exit 1
}
each=$((fuzz_seconds / ${#targets[@]}))
((each > 0)) || each=1
stage "fuzzing, ${each}s for each of ${#targets[@]} targets"
for target in "${targets[@]}"; do
    name=$(basename "$target")
    # A failing input is kept beside the seeds, where the replay test runs it from then on.
    crashers="fuzz/${name#fuzz_}/crashers"
    work=$(mktemp -d)
    echo "-- $name"
    mkdir -p "$crashers"
    "$target" -max_total_time="$each" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
        -artifact_prefix="$crashers/" "$work" "fuzz/${name#fuzz_}/corpus" >"$work.log" 2>&1 || {
        tail -50 "$work.log"
        echo "fuzz target $name failed; the input is in $crashers" >&2
        exit 1
    }
    rmdir "$crashers" 2>/dev/null || true
    rm -rf "$work" "$work.log"
done
stage "all tests passed"
