#!/usr/bin/env bash
# Takes the Windows program's pictures in docs/: the program from `make windows-package`, started from the
# demo's package folder in a fresh demo prefix, in a Wine desktop on a virtual screen, worked from the
# keyboard as a technician would. Each picture is cut to the windows on the screen.
#   tools/wine-pictures.sh [<out folder>]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
package=$root/build/windows-package
[[ -f $package/hotfix-installer.exe ]] || { echo "wine-pictures: run make windows-package first" >&2; exit 1; }
"$root/scripts/ensure-packages.sh" pictures

work=$(mktemp -d)
display=
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k > /dev/null 2>&1 || true
    [[ -z $display ]] || kill "$display" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$root/tools/make-demo.sh" --wineboot "$work" > /dev/null
# The package on the workstation's own drive, where the folder picker opens on it.
folder="$work/prefix/drive_c/Hot Fix 7"
cp -r "$work/package" "$folder"
cp -r "$package/." "$folder/"

mkdir "$work/screen"
number=$((100 + RANDOM % 800))
Xvfb ":$number" -screen 0 1024x768x24 -fbdir "$work/screen" -nocursor > /dev/null 2>&1 &
display=$!
export DISPLAY=:$number
sleep 1

(cd "$folder" && WINEPREFIX=$work/prefix WINEDEBUG=-all \
    WINEQT_QPA_PLATFORM=windows:fontengine=freetype \
    wine explorer /desktop=pictures,1024x768 hotfix-installer.exe > /dev/null 2>&1 &)

# Takes a picture once the screen has changed since the last one and two looks a second apart agree.
last=
shoot() {
    local before= now
    for _ in $(seq 60); do
        sleep 1
        python3 "$root/tools/xwd-to-png.py" "$work/screen/Xvfb_screen0" "$work/now.png" 2> /dev/null || continue
        now=$(sha256sum < "$work/now.png")
        if [[ $now == "$before" && $now != "$last" ]]; then
            cp "$work/now.png" "$out/$1"
            echo "wine-pictures: $out/$1"
            last=$now
            return 0
        fi
        before=$now
    done
    echo "wine-pictures: no new still screen for $1 within a minute" >&2
    exit 1
}

shoot main-window-wine.png
xdotool key alt+s
shoot read-me-wine.png
xdotool key alt+F4
sleep 2
xdotool key alt+a
shoot about-wine.png
xdotool key Escape
sleep 2
xdotool key alt+b
shoot select-dir-wine.png
