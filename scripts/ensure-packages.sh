#!/usr/bin/env bash
# Installs the Debian 12 packages that the named groups need, only those that are missing.
# As root it runs apt-get itself; anyone else gets the exact command to run instead.
#   scripts/ensure-packages.sh build [test] [demo] ...
set -euo pipefail

# qt6-qpa-plugins brings the X11 platform that make demo shows the window on; fonts-liberation the Arial-
# metric face the window's captions are laid out for. Recommended packages are installed too: a fresh
# machine needs some of them (Wine's and Qt's), as the machines the suite was made on had them.
declare -A groups=(
    [build]="cmake ninja-build g++ make pkg-config qt6-base-dev qt6-qpa-plugins fonts-liberation libgtest-dev libgmock-dev libssl-dev nlohmann-json3-dev"
    [test]="clang-format wine wine64 fonts-wine xvfb xauth strace ansible-core gcc-mingw-w64-x86-64-posix"
    [demo]="wine wine64 fonts-wine xvfb xauth gcc-mingw-w64-x86-64-posix"
    [pictures]="wine wine64 fonts-wine xvfb xdotool"
    [bench]="libbenchmark-dev hyperfine"
    [fuzz]="clang libclang-rt-14-dev"
    [tidy]="clang-tidy"
    [format]="clang-format"
    [mingw]="cmake ninja-build g++-mingw-w64-x86-64-posix googletest nlohmann-json3-dev wine wine64 fonts-wine xvfb xauth"
    [qt-mingw]="cmake ninja-build dpkg-dev g++-mingw-w64-x86-64-posix qt6-base-dev"
)

wanted=()
for group in "$@"; do
    [[ -n "${groups[$group]:-}" ]] || { echo "ensure-packages: unknown group '$group'" >&2; exit 2; }
    read -r -a names <<< "${groups[$group]}"
    wanted+=("${names[@]}")
done

missing=()
for name in $(printf '%s\n' "${wanted[@]}" | sort -u); do
    status=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$name")
done

(( ${#missing[@]} == 0 )) && exit 0

# A fresh machine may still be running its own updates: wait for the package manager's locks, up to ten
# minutes, instead of failing at once. apt-get install waits by itself when told to; apt-get update does not
# (apt 2.6), so it is tried again while another program holds the lists' lock.
lock_seconds=600
lock_wait=(-o DPkg::Lock::Timeout=$lock_seconds)
update_waiting() {
    local waited=0 output
    until output=$(apt-get "${lock_wait[@]}" update -qq 2>&1); do
        if ! grep -q -e 'Could not get lock' -e 'Unable to lock' <<< "$output" || ((waited >= lock_seconds)); then
            echo "$output" >&2
            return 1
        fi
        ((waited > 0)) || echo "Another program holds the package manager's lock; waiting for it"
        sleep 5
        waited=$((waited + 5))
    done
    [[ -z $output ]] || echo "$output"
}
line="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    echo "These packages are missing: ${missing[*]}" >&2
    echo "Install them as root, then run make again:" >&2
    echo "    sudo sh -c '$line'" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
update_waiting
DEBIAN_FRONTEND=noninteractive apt-get "${lock_wait[@]}" install -y -qq "${missing[@]}"
