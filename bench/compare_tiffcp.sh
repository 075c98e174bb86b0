#!/usr/bin/env bash
# Times `foliolens-convert export` (pages unturned, and turned by 90 degrees)
# beside `tiffcp -c g4` and `cp` on the same 200-page G4 document, in one run, and
# prints the time ratios.
#
# Usage: bench/compare_tiffcp.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a build with foliolens-convert and engine_bench (default: build)
#   RUNS       timed runs of each command; the fastest counts (default: 5)
# Uses hyperfine when it is installed (see bench/best_time.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
runs=${2:-5}
convert="$build/tools/convert/foliolens-convert"
bench="$build/bench/engine/engine_bench"
for tool in "$convert" "$bench"; do
    [[ -x $tool ]] || { echo "compare_tiffcp: $tool not built" >&2; exit 1; }
done
command -v tiffcp >/dev/null || { echo "compare_tiffcp: tiffcp missing (apt-get install libtiff-tools)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input="$work/g4-200.tif"
# The benchmark program makes the same document its export benchmark uses.
"$bench" --make-document "$input" 200

declare -A label=(
    [cp]="cp"
    [cpsync]="cp, then flushed to disk (dd conv=fsync)"
    [tiffcp]="tiffcp -c g4"
    [unturned]="foliolens-convert export"
    [turned]="foliolens-convert export --rotate 90"
)
declare -A cmd=(
    [cp]="cp '$input' '$work/copy.tif'"
    [cpsync]="dd if='$input' of='$work/copy-sync.tif' bs=1M conv=fsync status=none"
    [tiffcp]="tiffcp -c g4 '$input' '$work/tiffcp.tif'"
    [unturned]="'$convert' export '$input' '$work/unturned.tiff'"
    [turned]="'$convert' export '$input' '$work/turned.tiff' --rotate 90"
)
order=(cp cpsync tiffcp unturned turned)
. bench/best_time.sh
declare -A best
for key in "${order[@]}"; do
    best[$key]=$(best_time "${cmd[$key]}" "$runs")
done

printf 'input: 200 pages, A4 at 300 dpi, CCITT G4, %s bytes\n' "$(stat -c %s "$input")"
for key in "${order[@]}"; do
    printf '%-48s %8.3f s\n' "${label[$key]}" "${best[$key]}"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf 'turned export / tiffcp -c g4:   %s (target <= 1.0)\n' "$(ratio "${best[turned]}" "${best[tiffcp]}")"
printf 'unturned export / cp:           %s (target <= 3.0)\n' "$(ratio "${best[unturned]}" "${best[cp]}")"
printf 'unturned export / cp + fsync:   %s (export flushes its file to disk before renaming it)\n' \
    "$(ratio "${best[unturned]}" "${best[cpsync]}")"
