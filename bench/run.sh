#!/usr/bin/env bash
# Runs every benchmark program of a release build, one after the other, and ends with a short table of the
# ratios they measured against their targets. Exits non-zero when a benchmark failed or missed its target.
#   bench/run.sh <release build folder>
set -uo pipefail

build=${1:?usage: bench/run.sh <release build folder>}
results="$build/bench/results.txt"
: >"$results"

failed=0
for program in "$build"/bench/bench_*; do
    # Helper programs (a probe that one benchmark starts per measurement) are not benchmarks themselves.
    [[ -f "$program" && -x "$program" && "$program" != *_probe ]] || continue
    echo "== ${program##*/}"
    # The shared main keeps colour in its table; the copy kept for the summary is plain text.
    "$program" 2>&1 | sed -u 's/\x1b\[[0-9;]*m//g' | tee -a "$results"
    (( PIPESTATUS[0] == 0 )) || failed=1
done

# The whole installer process against the shell commands a technician could use instead (hyperfine).
echo "== install_vs_cp_backup.sh"
"$(dirname "$0")/install_vs_cp_backup.sh" "$build" 2>&1 | tee -a "$results"
(( PIPESTATUS[0] == 0 )) || failed=1

echo
echo "Ratios (time measured / time of its baseline) on $(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'):"
grep '^ratio ' "$results" | sed 's/^ratio //'
exit "$failed"
