#!/usr/bin/env bash
# Starts the real program in a virtual X server on a document, takes a screenshot
# and checks that a page is on the screen: enough paper-white pixels and some ink.
# usage: xvfb_smoke.sh FOLIOLENS MAKE_TEST_DOCUMENT [DOCUMENT]
set -euo pipefail

program=$1
maker=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

document=${3:-}
if [[ -z $document ]]; then
    document=$work/document.tif
    "$maker" "$document" 3
fi

cat >"$work/run.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
"$1" "$2" &
pid=$!
# Wait until the window is mapped, then give it a moment to paint.
for _ in $(seq 1 100); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"FolioLens"'; then
        break
    fi
    sleep 0.1
done
sleep 1
import -window root "$3"
# The window's place on the screen, so that only the window is judged.
xwininfo -name FolioLens | awk '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF}
    END {printf "%dx%d+%d+%d\n", w, h, x, y}' >"$3.geometry"
kill "$pid"
wait "$pid" 2>/dev/null || true
INNER

XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/run.sh" "$program" "$document" \
    "$work/shot.png"

# Paper: pure white pixels; ink: dark pixels. Neither the empty view (gray) nor the
# menu bar gives many of either.
geometry=$(cat "$work/shot.png.geometry")
convert "$work/shot.png" -crop "$geometry" +repage "$work/window.png"
white=$(convert "$work/window.png" -fill black +opaque white -fill white -opaque white \
    -format '%[fx:round(mean*w*h)]' info:)
dark=$(convert "$work/window.png" -colorspace gray -threshold 25% -negate \
    -format '%[fx:round(mean*w*h)]' info:)
echo "window $geometry: white pixels: $white, dark pixels: $dark"
if ((white < 100000)); then
    echo "FAIL: no page on the screen" >&2
    exit 1
fi
if ((dark < 500)); then
    echo "FAIL: the page shows no content" >&2
    exit 1
fi
echo "PASS"
