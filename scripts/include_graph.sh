#!/usr/bin/env bash
# Prints the include graph of a source folder (default src/engine), for documentation:
# the edges between its sub-folders, with how many includes each stands for, then the
# edges between its files. Only includes of files inside the folder count; a name is
# looked up beside the including file first, then under src/, as the compilers do.
#
#   scripts/include_graph.sh [--dot] [FOLDER]
#
# --dot writes the same two graphs in Graphviz's language instead (dot -Tsvg).
# Needs no build: it reads the sources.
set -euo pipefail
cd "$(dirname "$0")/.."

format=text
folder=src/engine
for arg in "$@"; do
    case $arg in
    --dot) format=dot ;;
    -h | --help)
        sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    -*)
        echo "include_graph: unknown option $arg" >&2
        exit 2
        ;;
    *) folder=${arg%/} ;;
    esac
done
if [[ ! -d $folder ]]; then
    echo "include_graph: no folder $folder" >&2
    exit 2
fi

# One line "includer included" per include of a file inside the folder, both relative
# to it.
edges() {
    find "$folder" -type f \( -name '*.h' -o -name '*.cpp' \) | LC_ALL=C sort | while read -r file; do
        sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" |
            while read -r name; do
                local found=""
                for candidate in "$(dirname "$file")/$name" "src/$name"; do
                    if [[ -f $candidate ]]; then
                        found=$(realpath -m --relative-to=. "$candidate")
                        break
                    fi
                done
                if [[ -n $found && $found == "$folder"/* ]]; then
                    echo "${file#"$folder"/} ${found#"$folder"/}"
                fi
            done
    done
}

# The sub-folder of a path relative to the folder, "." for a file at its top.
folder_of() {
    awk '{ for (i = 1; i <= 2; ++i) { n = index($i, "/"); $i = n ? substr($i, 1, n - 1) : "." } print }'
}

all=$(edges)
folders=$(folder_of <<<"$all" | awk '$1 != $2' | LC_ALL=C sort | uniq -c |
    awk '{ print $2, $3, $1 }')

if [[ $format == dot ]]; then
    echo "digraph folders {"
    echo "    rankdir=LR; node [shape=box];"
    awk 'NF { printf "    \"%s\" -> \"%s\" [label=\"%s\"];\n", $1, $2, $3 }' <<<"$folders"
    echo "}"
    echo "digraph files {"
    echo "    rankdir=LR; node [shape=box, fontsize=10];"
    awk 'NF { printf "    \"%s\" -> \"%s\";\n", $1, $2 }' <<<"$all"
    echo "}"
else
    echo "# $folder: folder -> folder (includes)"
    awk 'NF { printf "%s -> %s (%s)\n", $1, $2, $3 }' <<<"$folders"
    echo
    echo "# $folder: file -> file"
    awk 'NF { printf "%s -> %s\n", $1, $2 }' <<<"$all"
fi
