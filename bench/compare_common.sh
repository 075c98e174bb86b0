# Sourced by the comparison scripts (bench/compare_*.sh), which time
# foliolens-convert beside the tools a user would otherwise run, on the same input
# in one run. A script sets `name`, then calls
#   compare_setup BUILD_DIR RUNS TOOL...
# which checks that foliolens-convert and engine_bench are built in BUILD_DIR and
# that each TOOL is installed, and makes `work`, a scratch folder removed on exit.
# It then fills `label`, `cmd`, `order` (and `prepare` where needed) and calls
# compare_run, which leaves the fastest wall time in seconds of each command in
# `best` and prints the table.

compare_setup() {
    build=$1
    runs=$2
    shift 2
    convert="$build/tools/convert/foliolens-convert"
    bench="$build/bench/engine/engine_bench"
    local tool
    for tool in "$convert" "$bench"; do
        [[ -x $tool ]] || { echo "$name: $tool not built" >&2; exit 1; }
    done
    for tool in "$@"; do
        command -v "$tool" >/dev/null ||
            { echo "$name: $tool missing (see scripts/setup.sh)" >&2; exit 1; }
    done
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    declare -gA label cmd prepare best
}

# best_time CMD RUNS [PREPARE] prints the fastest wall time in seconds of RUNS runs
# of the shell command CMD, after one warm-up run; the shell command PREPARE, when
# given, runs untimed before each. Uses hyperfine when it is installed (it
# subtracts the shell's own start-up), else a loop around date +%s.%N.
best_time() {
    local command=$1 runs=$2 prepare=${3:-true}
    if command -v hyperfine >/dev/null; then
        local csv err
        csv=$(mktemp)
        err=$(mktemp)
        # Its warnings (outliers on a busy machine) only when the command failed.
        if ! hyperfine --warmup 1 --runs "$runs" --prepare "$prepare" --export-csv "$csv" \
            "$command" >/dev/null 2>"$err"; then
            cat "$err" >&2
            rm -f "$csv" "$err"
            return 1
        fi
        # Columns: command,mean,stddev,median,user,system,min,max
        awk -F, 'NR == 2 { print $7 }' "$csv"
        rm -f "$csv" "$err"
        return
    fi
    eval "$prepare"
    eval "$command" >/dev/null
    local min="" start end i
    for ((i = 0; i < runs; ++i)); do
        eval "$prepare"
        start=$(date +%s.%N)
        eval "$command" >/dev/null
        end=$(date +%s.%N)
        min=$(awk -v s="$start" -v e="$end" -v m="$min" \
            'BEGIN { t = e - s; print (m == "" || t < m) ? t : m }')
    done
    echo "$min"
}

# Times every command of `order`, one after another, each after its `prepare`
# if it has one, and prints one line each.
compare_run() {
    local key
    for key in "${order[@]}"; do
        best[$key]=$(best_time "${cmd[$key]}" "$runs" "${prepare[$key]:-true}")
    done
    for key in "${order[@]}"; do
        printf '%-52s %8.3f s\n' "${label[$key]}" "${best[$key]}"
    done
}

# a / b with two decimals, or as many as a third argument says.
ratio() { awk -v a="$1" -v b="$2" -v d="${3:-2}" 'BEGIN { printf("%." d "f", a / b) }'; }
