#!/usr/bin/env bash
# Starts the real program in a virtual X server, opens a document through File >
# Open... as a user would (Ctrl+O, type the path, Enter), takes a screenshot and checks
# that a page is on the screen: enough paper-white pixels and some ink on the paper.
# usage: xvfb_smoke.sh FOLIOLENS MAKE_TEST_DOCUMENT [DOCUMENT]
set -euo pipefail

program=$1
maker=$2
for tool in xvfb-run xdotool import convert; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is missing (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

document=${3:-}
if [[ -z $document || ! -f $document ]]; then
    document=$work/document.tif
    "$maker" "$document" 3
fi
document=$(realpath "$document")  # the dialog reads a typed name against its own folder

cat >"$work/run.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
program=$1 document=$2 shot=$3 checker=$4
wait_for() {  # a window title; prints the window's id
    for _ in $(seq 1 100); do
        if id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [[ -n $id ]]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "FAIL: no window \"$1\"" >&2
    return 1
}
"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
window=$(wait_for FolioLens)
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+o
dialog=$(wait_for "Open file to process")
xdotool windowfocus --sync "$dialog"
xdotool type --delay 5 "$document"
xdotool key Return
gone() {  # true once the open dialog is away, waiting up to $1 tenths of a second
    for _ in $(seq 1 "$1"); do
        xdotool search --onlyvisible --name "^Open file to process\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
# The first Return may only have taken the completion the dialog offered.
if ! gone 10; then
    xdotool key Return
    if ! gone 50; then
        echo "FAIL: the open dialog is still there" >&2
        exit 1
    fi
fi
# The page is drawn by the render workers after the dialog closes: shots until one shows
# paper, for up to 20 s.
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "${WIDTH}x${HEIGHT}+${X}+${Y}" >"$shot.geometry"
for _ in $(seq 1 100); do
    import -window root "$shot"
    bash "$checker" "$shot" >/dev/null 2>&1 && break
    sleep 0.2
done
INNER

# The check of a shot, also what the run waits for before its last shot.
cat >"$work/check.sh" <<'CHECK'
#!/usr/bin/env bash
set -euo pipefail
shot=$1
work=$(dirname "$shot")
# Paper: pure white pixels; ink: dark pixels on the paper. The empty view (gray) gives
# no paper; the ink is counted only inside the paper, since the menu bar's text and the
# page indicator's box are dark too and would pass for a blank page's ink.
geometry=$(cat "$shot.geometry")
convert "$shot" -crop "$geometry" +repage "$work/window.png"
white=$(convert "$work/window.png" -fill black +opaque white -fill white -opaque white \
    -format '%[fx:round(mean*w*h)]' info:)
echo "window $geometry: white pixels: $white"
if ((white < 100000)); then
    echo "FAIL: no page on the screen" >&2
    exit 1
fi
# The paper's box: the white area with thin white strokes (the indicator's text) worn away.
paper=$(convert "$work/window.png" -fill black +opaque white -morphology Erode Square:3 \
    -format '%@' info:)
dark=$(convert "$work/window.png" -crop "$paper" +repage -colorspace gray -threshold 25% \
    -negate -format '%[fx:round(mean*w*h)]' info:)
echo "paper $paper: dark pixels: $dark"
if ((dark < 500)); then
    echo "FAIL: the page shows no content" >&2
    exit 1
fi
echo "PASS"
CHECK

# -noreset: the server would otherwise reset whenever its last client leaves, and
# refuse a program started just then.
XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$work/run.sh" "$program" "$document" \
    "$work/shot.png" "$work/check.sh"
bash "$work/check.sh" "$work/shot.png"

