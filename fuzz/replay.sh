#!/usr/bin/env bash
# Runs a fuzz target once on every file of the given folders (a missing folder is
# skipped) and fails as the target does. libFuzzer given no file would start fuzzing
# instead, so no input at all is a failure.
# Usage: replay.sh TARGET DIR...
set -euo pipefail
target=$1
shift
inputs=()
for dir in "$@"; do
    [[ -d $dir ]] || continue
    for file in "$dir"/*; do
        [[ -f $file ]] && inputs+=("$file")
    done
done
if ((${#inputs[@]} == 0)); then
    echo "replay: no input in $*" >&2
    exit 1
fi
exec "$target" -rss_limit_mb=2048 -timeout=10 "${inputs[@]}"
