# Sourced by the comparison scripts: best_time CMD RUNS prints the fastest wall
# time in seconds of RUNS runs of the shell command CMD, after one warm-up run.
# Uses hyperfine when it is installed (apt-get install hyperfine), else a loop
# around date +%s.%N.
best_time() {
    local command=$1 runs=$2
    if command -v hyperfine >/dev/null; then
        local csv
        csv=$(mktemp)
        hyperfine --warmup 1 --runs "$runs" --export-csv "$csv" "$command" >/dev/null
        # Columns: command,mean,stddev,median,user,system,min,max
        awk -F, 'NR == 2 { print $7 }' "$csv"
        rm -f "$csv"
        return
    fi
    bash -c "$command"
    local min="" start end i
    for ((i = 0; i < runs; ++i)); do
        start=$(date +%s.%N)
        bash -c "$command"
        end=$(date +%s.%N)
        min=$(awk -v s="$start" -v e="$end" -v m="$min" \
            'BEGIN { t = e - s; print (m == "" || t < m) ? t : m }')
    done
    echo "$min"
}
