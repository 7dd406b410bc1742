#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given number of seconds, all at once, each starting from
# its seed corpus in fuzz/corpus/<name>/; inputs they find go to fuzz/corpus-work/<name>/ (not kept in git),
# a crashing input to <build>/artifacts/. A target with a dictionary of its input's words
# (fuzz/dictionaries/<name>.dict) is given it. Exits non-zero when any target found a crash: copy that
# input to fuzz/regressions/<name>/, where the regular test suite replays it, and fix the fault.
#   fuzz/run.sh <fuzz build folder> [seconds]
set -euo pipefail

build=${1:?usage: fuzz/run.sh <fuzz build folder> [seconds]}
seconds=${2:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build/artifacts"

names=()
pids=()
for target in "$build"/fuzz/fuzz_*; do
    [[ -x "$target" && -f "$target" ]] || continue
    name=${target##*/fuzz_}
    mkdir -p "$root/fuzz/corpus-work/$name"
    dictionary=()
    if [[ -f "$root/fuzz/dictionaries/$name.dict" ]]; then
        dictionary=(-dict="$root/fuzz/dictionaries/$name.dict")
    fi
    echo "== fuzz_$name, ${seconds} s"
    "$target" "${dictionary[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$name-" "$root/fuzz/corpus-work/$name" "$root/fuzz/corpus/$name" \
        >"$build/artifacts/$name.log" 2>&1 &
    names+=("$name")
    pids+=("$!")
done
(( ${#names[@]} > 0 )) || { echo "no fuzz targets in $build/fuzz" >&2; exit 1; }

failed=0
for i in "${!names[@]}"; do
    name=${names[$i]}
    log="$build/artifacts/$name.log"
    if wait "${pids[$i]}"; then
        echo "fuzz_$name: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs, no crash"
    else
        failed=1
        tail -n 40 "$log"
        echo "fuzz_$name FAILED: the crashing input is in $build/artifacts/" >&2
    fi
done
exit "$failed"
