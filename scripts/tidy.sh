#!/usr/bin/env bash
# clang-tidy with the repository's .clang-tidy over every source file of src/: those the Linux build compiles
# on build/dev's compile_commands.json, and the Windows backend on build/mingw's, read by clang as code for
# that target. Both builds must be configured (the dev build also built, for Qt's generated headers).
#   scripts/tidy.sh [jobs]        (TIDY_DEV_BUILD and TIDY_MINGW_BUILD name other build folders)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${1:-$(nproc)}
dev=${TIDY_DEV_BUILD:-$root/build/dev}
mingw=${TIDY_MINGW_BUILD:-$root/build/mingw}

status=0
run-clang-tidy -p "$dev" -quiet -j "$jobs" "^$root/src/.*\.cpp$" || status=1

# Clang finds the mingw C and C++ headers only when told where g++ keeps them.
includes=()
while read -r folder; do
    case "$folder" in
    */c++* | */x86_64-w64-mingw32/include) includes+=("-extra-arg=-isystem$folder") ;;
    esac
done < <(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
    sed -n '/#include <...> search starts here/,/End of search list/p' | sed -n 's/^ //p')
run-clang-tidy -p "$mingw" -quiet -j "$jobs" -extra-arg=--target=x86_64-w64-mingw32 \
    -extra-arg=-nostdinc++ "${includes[@]}" "^$root/src/platform/win32/.*\.cpp$" || status=1
exit "$status"
