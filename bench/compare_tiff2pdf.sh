#!/usr/bin/env bash
# Times `foliolens-convert pdf` beside `tiff2pdf` (and `img2pdf` when installed) in
# one run and prints the ratios:
#   1. the 200-page 300-dpi G4 document to one new PDF: time and output size;
#   2. the same, replacing the PDF of the run before;
#   3. 200 single-page G4 files, each to its own PDF: `pdf --output-dir` against
#      tiff2pdf run once per file in a shell loop, in files per second.
#
# Usage: bench/compare_tiff2pdf.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  a build with foliolens-convert and engine_bench (default: build)
#   RUNS       timed runs of each command; the fastest counts (default: 5)
# A new PDF of ours is written out to disk before it is renamed into place; one that
# replaces a file is flushed to disk with the journal first (as every export is).
# tiff2pdf and img2pdf leave theirs in the page cache, so a "flushed" line shows
# tiff2pdf followed by a sync of its file as well. Each program's start alone
# (loading its libraries, printing its usage) is timed too, as part of the whole.
set -euo pipefail
cd "$(dirname "$0")/.."

name=compare_tiff2pdf
. bench/compare_common.sh
compare_setup "${1:-build}" "${2:-5}" tiff2pdf tiffsplit
input="$work/g4-200.tif"
"$bench" --make-document "$input" 200
mkdir "$work/single" "$work/out-ours" "$work/out-tiff2pdf"
(cd "$work/single" && tiffsplit "$input" page-)
singles=("$work"/single/*.tif)

label=(
    [tiff2pdf]="tiff2pdf, 200-page document, new file"
    [ours]="foliolens-convert pdf, 200-page document, new file"
    [tiff2pdfre]="tiff2pdf, replacing its file"
    [oursre]="foliolens-convert pdf --overwrite, replacing"
    [tiff2pdfsync]="tiff2pdf, replacing, then flushed to disk"
    [img2pdf]="img2pdf, 200-page document"
    [loop]="tiff2pdf once per file, 200 files"
    [batch]="foliolens-convert pdf --output-dir, 200 files"
    [start]="foliolens-convert --help (program start)"
    [t2pstart]="tiff2pdf -h (program start)"
)
cmd=(
    [tiff2pdf]="tiff2pdf -o '$work/tiff2pdf.pdf' '$input'"
    [ours]="'$convert' pdf '$input' -o '$work/ours.pdf'"
    [tiff2pdfre]="tiff2pdf -o '$work/tiff2pdf-re.pdf' '$input'"
    [oursre]="'$convert' pdf '$input' -o '$work/ours-re.pdf' --overwrite"
    [tiff2pdfsync]="tiff2pdf -o '$work/tiff2pdf-sync.pdf' '$input' && sync '$work/tiff2pdf-sync.pdf'"
    [img2pdf]="img2pdf -o '$work/img2pdf.pdf' '$input'"
    [loop]="for f in '$work'/single/*.tif; do b=\${f##*/}; tiff2pdf -o '$work/out-tiff2pdf/'\${b%.tif}.pdf \"\$f\"; done"
    [batch]="'$convert' pdf --output-dir '$work/out-ours' --overwrite '$work'/single/*.tif >/dev/null"
    [start]="'$convert' --help"
    [t2pstart]="tiff2pdf -h"
)
# A new file each run: the one before is removed (and its blocks freed) untimed.
prepare=(
    [tiff2pdf]="rm -f '$work/tiff2pdf.pdf'"
    [ours]="rm -f '$work/ours.pdf'"
)
order=(tiff2pdf ours tiff2pdfre oursre tiff2pdfsync loop batch start t2pstart)
if command -v img2pdf >/dev/null; then
    order=(tiff2pdf ours tiff2pdfre oursre tiff2pdfsync img2pdf loop batch start t2pstart)
fi

printf 'input: 200 pages, A4 at 300 dpi, CCITT G4, %s bytes; %d single-page files\n' \
    "$(stat -c %s "$input")" "${#singles[@]}"
compare_run
ours_size=$(stat -c %s "$work/ours.pdf")
t2p_size=$(stat -c %s "$work/tiff2pdf.pdf")
printf 'output size: ours %s bytes, tiff2pdf %s bytes, ratio %s (target <= 1.0)\n' \
    "$ours_size" "$t2p_size" "$(ratio "$ours_size" "$t2p_size" 3)"
printf 'document time, new file, ours / tiff2pdf:   %s (target <= 1.0)\n' \
    "$(ratio "${best[ours]}" "${best[tiff2pdf]}")"
printf 'document time, replacing, ours / tiff2pdf:  %s\n' \
    "$(ratio "${best[oursre]}" "${best[tiff2pdfre]}")"
printf 'replacing, ours / tiff2pdf + flush:         %s\n' \
    "$(ratio "${best[oursre]}" "${best[tiff2pdfsync]}")"
printf 'of which program start: ours %.3f s, tiff2pdf %.3f s\n' "${best[start]}" "${best[t2pstart]}"
if [[ -n ${best[img2pdf]:-} ]]; then
    printf 'document time, ours / img2pdf:            %s\n' "$(ratio "${best[ours]}" "${best[img2pdf]}")"
fi
files=${#singles[@]}
printf 'batch: ours %.1f files/s, tiff2pdf loop %.1f files/s, ratio %s (target >= 2.0)\n' \
    "$(awk -v n="$files" -v t="${best[batch]}" 'BEGIN { print n / t }')" \
    "$(awk -v n="$files" -v t="${best[loop]}" 'BEGIN { print n / t }')" \
    "$(ratio "${best[loop]}" "${best[batch]}")"
