#!/usr/bin/env bash
# The viewer's stall and memory against their targets, and foliolens-convert's render
# of a 300-dpi A4 colour JPEG page at 1000 px wide against vipsthumbnail's, side by
# side in one run. Prints the numbers and the ratios.
# usage: compare.sh BUILD_DIR   (needs vipsthumbnail: Debian's libvips-tools)
set -euo pipefail
build=${1:?usage: compare.sh BUILD_DIR}
stall=$build/bench/viewer/viewer_stall
convert=$build/tools/convert/foliolens-convert
for tool in "$stall" "$convert" vipsthumbnail; do
    command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$stall" make "$work"

# The best of five wall-clock runs of a command, in milliseconds.
best_ms() {
    local best=
    for _ in 1 2 3 4 5; do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        local ms=$(((end - start) / 1000000))
        [[ -z $best || $ms -lt $best ]] && best=$ms
    done
    echo "$best"
}
ours=$(best_ms "$convert" render "$work/a4-colour.tif" --page 1 --width 1000 -o "$work/ours.png")
vips=$(best_ms vipsthumbnail "$work/a4-colour.tif" -s 1000x -o "$work/vips.png")
echo "render 1000 px: foliolens-convert ${ours} ms, vipsthumbnail ${vips} ms," \
    "ratio $(awk -v a="$ours" -v b="$vips" 'BEGIN { printf "%.2f", a / b }') (target <= 0.5)"

for scenario in end-colour end-600 page-g4 page-colour; do
    line=$("$stall" "$scenario" "$work" 2>/dev/null | tail -1)
    rss=$(sed -n 's/.*peak_rss_mb=\([0-9]*\).*/\1/p' <<<"$line")
    busy=$(sed -n 's/.*busy_ms=\([0-9.]*\).*/\1/p' <<<"$line")
    case $scenario in
        page-g4) target=120 ;;
        page-colour) target=150 ;;
        *) target= ;;
    esac
    echo "$line busy/16ms $(awk -v a="$busy" 'BEGIN { printf "%.2f", a / 16 }')" \
        "${target:+rss/${target}MB $(awk -v a="$rss" -v b="$target" 'BEGIN { printf "%.2f", a / b }')}"
done
