#!/usr/bin/env bash
# Starts the real program the ways a user does and checks what appears: the document
# named on the command line, a page turned through the Image menu, the About box, an
# empty window for a missing file, the load error for a damaged one, and the
# association commands, which must work without any display.
# usage: xvfb_program.sh FOLIOLENS SAMPLE.mdi   (FOLIO_SHOTS=DIR keeps the screenshots)
set -euo pipefail

program=$(realpath "$1")
sample=$(realpath "$2")
for tool in xvfb-run xdotool import convert xdg-mime; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is missing (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
shots=${FOLIO_SHOTS:-$work/shots}
mkdir -p "$shots"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# --- The registration commands, with no display at all and in a private home.
home=$work/home
mkdir -p "$home"
assoc() {  # HOME ARGS...; the program's exit status
    local h=$1
    shift
    env -u DISPLAY -u WAYLAND_DISPLAY HOME="$h" XDG_DATA_HOME="$h/data" \
        XDG_CONFIG_HOME="$h/config" "$program" "$@"
}
query_default() {
    HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config \
        xdg-mime query default image/vnd.ms-modi 2>/dev/null || true
}
if assoc "$home" assoc reg; then
    [[ $(query_default) == foliolens.desktop ]] || fail "after assoc reg the default is '$(query_default)'"
    grep -qF "@=\"$program %1\"" "$home/data/FolioLens/HKEY_CLASSES_ROOT.reg" ||
        fail "the registry stand-in holds no open command for $program"
else
    fail "assoc reg without a display exited non-zero"
fi
# A display that does not exist: a window would make the program abort.
if ! DISPLAY=:249 HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config \
    "$program" assoc:unreg; then
    fail "assoc:unreg tried to reach the display"
fi
[[ -z $(query_default) ]] || fail "after assoc unreg the default is still '$(query_default)'"

# A home nobody may write to: every failed write is told and the status is non-zero.
readonly_home=$work/readonly
mkdir -p "$readonly_home"
chmod 555 "$readonly_home"
as_user=()
if [[ $(id -u) == 0 ]]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)  # root writes anywhere
fi
set +e
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$readonly_home" XDG_DATA_HOME= XDG_CONFIG_HOME= \
    "${as_user[@]}" "$program" assoc reg 2>"$work/readonly.err"
status=$?
set -e
if ((status == 0)); then
    fail "assoc reg in a read-only home reported success"
elif ! grep -q "^FolioLens: assoc reg: cannot create the key HKEY_CLASSES_ROOT\\\\.mdi" "$work/readonly.err" ||
    ! grep -q "^FolioLens: assoc reg: cannot make the folder .*/applications" "$work/readonly.err"; then
    fail "assoc reg in a read-only home said: $(cat "$work/readonly.err")"
fi

# --- The window, in a virtual X server.
printf 'II*\0garbage, not a page directory' >"$work/damaged.mdi"
mkfifo "$work/pipe.mdi"  # opening it must not wait for a writer
cat >"$work/run.sh" <<'INNER'
#!/usr/bin/env bash
set -uo pipefail
program=$1 sample=$2 damaged=$3 shots=$4
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }
windows() {  # visible windows titled $1
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true
}
wait_for() {  # title, count: waits until that many windows show that title
    for _ in $(seq 1 100); do
        if (($(windows "$1" | wc -l) >= $2)); then
            return 0
        fi
        sleep 0.1
    done
    return 1
}
shot() {  # window, name
    import -window root "$shots/$2.png"
    eval "$(xdotool getwindowgeometry --shell "$1")"
    convert "$shots/$2.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shots/$2.window.png"
}
white() {  # paper-white pixels in a window shot
    convert "$shots/$1.window.png" -fill black +opaque white -fill white -opaque white \
        -format '%[fx:round(mean*w*h)]' info:
}
paper() {  # the bounding box of the white paper, WxH+X+Y
    convert "$shots/$1.window.png" -fill black +opaque white -morphology Erode Square:3 \
        -format '%@' info:
}
shot_until() {  # window, name, test of the name: shots until the test passes, up to 20 s
    for _ in $(seq 1 100); do
        shot "$1" "$2"
        "$3" "$2" && return 0
        sleep 0.2
    done
    return 0  # the checks that follow say what is wrong
}
shows_paper() { (($(white "$1") >= 100000)); }
lies_across() {  # the paper is wider than high
    local box
    box=$(paper "$1")
    read -r w h < <(echo "$box" | sed 's/[x+]/ /g' | cut -d' ' -f1,2)
    ((w > h))
}
stands_up() {  # the whole page shows, higher than wide (zoomed out as far as asked)
    local box
    shows_paper "$1" || return 1
    box=$(paper "$1")
    read -r w h < <(echo "$box" | sed 's/[x+]/ /g' | cut -d' ' -f1,2)
    ((h > w))
}
popups() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l; }
open_menu() {  # keys: presses them and waits until a menu pops up, up to 5 s
    local before
    before=$(popups)
    xdotool key --clearmodifiers "$1"
    for _ in $(seq 1 50); do
        (($(popups) > before)) && return 0
        sleep 0.1
    done
    fail "no menu popped up for $1"
}

# xvfb-run starts this once the server is up, but on a busy machine its first
# connections can still be refused for a moment.
for _ in $(seq 50); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done

# The document named on the command line, turned through the Image menu.
"$program" "$sample" &
pid=$!
if wait_for FolioLens 1; then
    window=$(windows FolioLens | head -1)
    xdotool windowfocus --sync "$window"
    # Zoomed out until the whole page shows, so that its outline tells how it stands.
    xdotool key --clearmodifiers shift+Insert shift+Insert shift+Insert

    shot_until "$window" document stands_up
    open_menu alt+i
    xdotool key Return  # the first item, "&Rotate clockwise 90°"
    shot_until "$window" rotated lies_across
    before=$(paper document) after=$(paper rotated)
    echo "paper before $before (white $(white document)), after turning $after"
    if (($(white document) < 100000)); then
        fail "no page on the screen for $sample"
    fi
    read -r bw bh < <(echo "$before" | sed 's/[x+]/ /g' | cut -d' ' -f1,2)
    read -r aw ah < <(echo "$after" | sed 's/[x+]/ /g' | cut -d' ' -f1,2)
    if ! ((bh > bw && aw > ah)); then
        fail "the page did not turn: $before before, $after after"
    fi
    open_menu alt+h
    xdotool key Return
    if wait_for FolioLens 2; then
        box=$(windows FolioLens | grep -v "^$window\$" | head -1)
        shot "$box" about
        xdotool windowfocus --sync "$box"
        xdotool key Return
    else
        fail "Help > About program.. showed no box"
    fi
else
    fail "no window for $sample"
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

# A missing file: an empty window and no message.
"$program" /missing/file.mdi &
pid=$!
if wait_for FolioLens 1; then
    sleep 1  # a message would show by now: its absence cannot be waited for
    window=$(windows FolioLens | head -1)
    (($(windows FolioLens | wc -l) == 1)) || fail "a missing file gave a message"
    shot "$window" missing
    (($(white missing) < 20000)) || fail "a missing file shows a page"
else
    fail "no window for a missing file"
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

# A damaged file, and a pipe: the load error alone, and the program ends when it is closed.
for bad in "$damaged" "$(dirname "$damaged")/pipe.mdi"; do
    "$program" "$bad" &
    pid=$!
    if wait_for FolioLens 1; then
        box=$(windows FolioLens | head -1)
        shot "$box" "load-error-$(basename "$bad")"
        eval "$(xdotool getwindowgeometry --shell "$box")"
        ((WIDTH < 600)) || fail "the window was shown for $bad"
        xdotool windowfocus --sync "$box"
        xdotool key Return
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        if kill -0 "$pid" 2>/dev/null; then
            fail "the program goes on after the load error for $bad"
            kill "$pid"
        elif wait "$pid"; then
            fail "the load error for $bad ended the program with status 0"
        fi
    else
        fail "no load error for $bad"
        kill "$pid" 2>/dev/null
    fi
done
exit "$fails"
INNER

# -noreset: by default the server resets whenever its last client leaves, and a
# program started just then is refused ("could not connect to display").
if ! XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work HOME=$work/home QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$work/run.sh" "$program" "$sample" \
    "$work/damaged.mdi" "$shots"; then
    failures=$((failures + 1))
fi
if ((failures > 0)); then
    echo "FAIL: $failures check(s) failed" >&2
    exit 1
fi
echo PASS
