#!/usr/bin/env bash
# Peak memory of `foliolens-convert pdf` and `export` on a document of large pages:
# three 32000 x 32000 8-bit gray pages (a gigabyte each decoded, a few megabytes on
# disk), made by engine_bench. Each command runs once under /usr/bin/time -v and its
# "Maximum resident set size" is printed against the target. The export turns the
# pages, so that each is decoded and compressed again rather than copied.
#
# Usage: bench/peak_memory.sh [BUILD_DIR] [PAGES] [SIDE]
#   BUILD_DIR  a build with foliolens-convert and engine_bench (default: build)
#   PAGES      pages of the document (default: 3)
#   SIDE       pixels a side, a multiple of 256 (default: 32000)
set -euo pipefail
cd "$(dirname "$0")/.."

name=peak_memory
. bench/compare_common.sh
compare_setup "${1:-build}" 1
pages=${2:-3}
side=${3:-32000}
target_kb=$((2500 * 1000))  # 2.5 GB
[[ -x /usr/bin/time ]] || { echo "$name: /usr/bin/time missing (Debian package time)" >&2; exit 1; }

input="$work/gray-$pages.tif"
"$bench" --make-large-gray "$input" "$pages" "$side"
printf 'input: %d pages of %d x %d 8-bit gray, Deflate, %s bytes\n' \
    "$pages" "$side" "$side" "$(stat -c %s "$input")"

# peak KIND ARGS... runs foliolens-convert once and prints its peak resident set.
status=0
peak() {
    local kind=$1 log="$work/time.log" rc=0 kb
    shift
    /usr/bin/time -v "$convert" "$@" 2>"$log" >/dev/null || rc=$?
    kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
    printf '%-8s exit %d, %6.1f s, peak RSS %7.2f GB (target < 2.5 GB): %s\n' "$kind" "$rc" \
        "$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0;
            for (i = 1; i <= n; ++i) s = s * 60 + t[i]; print s }' "$log")" \
        "$(awk -v k="$kb" 'BEGIN { print k / 1e6 }')" \
        "$( ((rc == 0 && kb < target_kb)) && echo met || echo MISSED)"
    ((rc == 0 && kb < target_kb)) || status=1
}
peak pdf pdf "$input" -o "$work/out.pdf"
rm -f "$work/out.pdf"
# Turned, so that every page is decoded, turned and compressed again.
peak export export "$input" "$work/out.tiff" --rotate 90
exit $status
