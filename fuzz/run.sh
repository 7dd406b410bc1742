#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given number of seconds each, starting from the seed
# corpus in fuzz/corpus/<name>/; inputs it finds go to fuzz/corpus-work/<name>/ (not kept in git), a
# crashing input to <build>/artifacts/. Exits non-zero when any target found a crash.
#   fuzz/run.sh <fuzz build folder> [seconds]
set -euo pipefail

build=${1:?usage: fuzz/run.sh <fuzz build folder> [seconds]}
seconds=${2:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build/artifacts"

failed=0
for target in "$build"/fuzz/fuzz_*; do
    [[ -x "$target" && -f "$target" ]] || continue
    name=${target##*/fuzz_}
    work="$root/fuzz/corpus-work/$name"
    mkdir -p "$work"
    log="$build/artifacts/$name.log"
    echo "== fuzz_$name, ${seconds} s"
    if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$name-" "$work" "$root/fuzz/corpus/$name" >"$log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|new_units_added)' "$log" || true
    else
        failed=1
        tail -n 60 "$log"
        echo "fuzz_$name FAILED: the crashing input is in $build/artifacts/; make it a regular test" >&2
    fi
done
exit "$failed"
