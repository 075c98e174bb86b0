#!/usr/bin/env bash
# Times `foliolens-convert export` (pages unturned, and turned by 90 degrees)
# beside `tiffcp -c g4` and `cp` on the same 200-page G4 document, in one run, and
# prints the time ratios.
#
# Usage: bench/compare_tiffcp.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a build with foliolens-convert and engine_bench (default: build)
#   RUNS       timed runs of each command; the fastest counts (default: 5)
# Uses hyperfine when it is installed (see bench/compare_common.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

name=compare_tiffcp
. bench/compare_common.sh
compare_setup "${1:-build}" "${2:-5}" tiffcp
input="$work/g4-200.tif"
# The benchmark program makes the same document its export benchmark uses.
"$bench" --make-document "$input" 200

label=(
    [cp]="cp"
    [cpsync]="cp, then flushed to disk (dd conv=fsync)"
    [tiffcp]="tiffcp -c g4"
    [unturned]="foliolens-convert export"
    [turned]="foliolens-convert export --rotate 90"
)
cmd=(
    [cp]="cp '$input' '$work/copy.tif'"
    [cpsync]="dd if='$input' of='$work/copy-sync.tif' bs=1M conv=fsync status=none"
    [tiffcp]="tiffcp -c g4 '$input' '$work/tiffcp.tif'"
    [unturned]="'$convert' export '$input' '$work/unturned.tiff'"
    [turned]="'$convert' export '$input' '$work/turned.tiff' --rotate 90"
)
order=(cp cpsync tiffcp unturned turned)

printf 'input: 200 pages, A4 at 300 dpi, CCITT G4, %s bytes\n' "$(stat -c %s "$input")"
compare_run
printf 'turned export / tiffcp -c g4:   %s (target <= 1.0)\n' "$(ratio "${best[turned]}" "${best[tiffcp]}")"
printf 'unturned export / cp:           %s (target <= 3.0)\n' "$(ratio "${best[unturned]}" "${best[cp]}")"
printf 'unturned export / cp + fsync:   %s (export flushes its file to disk before renaming it)\n' \
    "$(ratio "${best[unturned]}" "${best[cpsync]}")"
