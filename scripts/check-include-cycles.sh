#!/usr/bin/env bash
# Fails when the units of src/ (a header and its source, named alike) include each other in a circle: one
# unit could then not be understood, tested or changed without the others.
#   scripts/check-include-cycles.sh [src folder]
set -euo pipefail

src=${1:-$(cd "$(dirname "$0")/../src" && pwd)}
cd "$src"
# "unit included-unit" for every project include between two units; each unit also stands alone, so that
# tsort knows it.
edges=$(find . -name '*.cpp' -o -name '*.hpp' | sed 's|^\./||' | sort | while read -r file; do
    unit=${file%.*}
    echo "$unit $unit"
    sed -n 's/^#include "\([^"]*\)\.hpp".*/\1/p' "$file" | while read -r included; do
        [[ $included != "$unit" && -f $included.hpp ]] && echo "$unit $included"
    done
done)
if ! loops=$(tsort <<< "$edges" 2>&1 >/dev/null) || [[ -n $loops ]]; then
    echo "units of src/ that include each other in a circle:" >&2
    echo "$loops" | sed -n 's/^tsort: //p' >&2
    exit 1
fi
echo "no unit of src/ includes itself through others ($(wc -l <<< "$edges") includes and units)"
