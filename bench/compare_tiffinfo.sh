#!/usr/bin/env bash
# How fast foliolens-convert starts and works through a long document beside the
# tools a user would otherwise run, on the same 1000-page 300-dpi G4 document, in
# one run:
#   1. `info` beside `tiffinfo` (both list every page);
#   2. `export`, pages unturned, beside `cp` of the file followed by `sync` of the
#      copy (export flushes its file to disk before renaming it into place).
#
# Usage: bench/compare_tiffinfo.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a build with foliolens-convert and engine_bench (default: build)
#   RUNS       timed runs of each command; the fastest counts (default: 10)
set -euo pipefail
cd "$(dirname "$0")/.."

name=compare_tiffinfo
. bench/compare_common.sh
compare_setup "${1:-build}" "${2:-10}" tiffinfo
input="$work/g4-1000.tif"
"$bench" --make-document "$input" 1000

label=(
    [tiffinfo]="tiffinfo"
    [info]="foliolens-convert info"
    [cpsync]="cp, then sync of the copy"
    [export]="foliolens-convert export"
)
cmd=(
    [tiffinfo]="tiffinfo '$input'"
    [info]="'$convert' info '$input'"
    [cpsync]="cp '$input' '$work/copy.tif' && sync '$work/copy.tif'"
    [export]="'$convert' export '$input' '$work/export.tiff'"
)
order=(tiffinfo info cpsync export)

printf 'input: 1000 pages, A4 at 300 dpi, CCITT G4, %s bytes\n' "$(stat -c %s "$input")"
compare_run
printf 'info / tiffinfo:               %s (target <= 1.2)\n' "$(ratio "${best[info]}" "${best[tiffinfo]}")"
printf 'unturned export / cp + sync:   %s (target <= 1.5)\n' "$(ratio "${best[export]}" "${best[cpsync]}")"
