#!/usr/bin/env bash
# clang-tidy with the repository's .clang-tidy over every source file of src/: those the Linux build compiles
# on build/dev's compile_commands.json, and the Windows backend on build/mingw's, read by clang as code for
# that target. The tests' sources get the naming check alone (tests/.clang-tidy). Both builds must be configured (the dev build also built, for Qt's generated headers).
#   scripts/tidy.sh [jobs] [base]  (TIDY_DEV_BUILD and TIDY_MINGW_BUILD name other build folders)
# With a base (a commit), only the files of src/ that differ from it, committed or not, are looked at.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${1:-$(nproc)}
base=${2:-}
dev=${TIDY_DEV_BUILD:-$root/build/dev}
mingw=${TIDY_MINGW_BUILD:-$root/build/mingw}

# The files as one pattern for run-clang-tidy: every source of src/ (and of tests/), or the changed ones.
linux="^$root/src/.*\.cpp$"
windows="^$root/src/platform/win32/.*\.cpp$"
tests="^$root/tests/.*\.cpp$"
changedIn() {
    (cd "$root" && { git diff --name-only "$base" -- "$1/*.cpp"; git ls-files --others --exclude-standard "$1/*.cpp"; } |
        sort -u | sed 's/[.]/\\./g' | paste -sd '|' -)
}
if [[ -n $base ]]; then
    changed=$(changedIn src)
    changedTests=$(changedIn tests)
    linux=${changed:+^$root/($changed)$}
    windows=$linux
    tests=${changedTests:+^$root/($changedTests)$}
    if [[ -z $linux && -z $tests ]]; then
        echo "tidy: no source of src/ or tests/ differs from $base"
        exit 0
    fi
fi

status=0
if [[ -n $tests ]]; then
    run-clang-tidy -p "$dev" -quiet -j "$jobs" -checks='-*,readability-identifier-naming' "$tests" || status=1
fi
[[ -n $linux ]] || exit "$status"
run-clang-tidy -p "$dev" -quiet -j "$jobs" "$linux" || status=1

# Clang finds the mingw C and C++ headers only when told where g++ keeps them.
includes=()
while read -r folder; do
    case "$folder" in
    */c++* | */x86_64-w64-mingw32/include) includes+=("-extra-arg=-isystem$folder") ;;
    esac
done < <(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
    sed -n '/#include <...> search starts here/,/End of search list/p' | sed -n 's/^ //p')
run-clang-tidy -p "$mingw" -quiet -j "$jobs" -extra-arg=--target=x86_64-w64-mingw32 \
    -extra-arg=-nostdinc++ "${includes[@]}" "$windows" || status=1
exit "$status"
