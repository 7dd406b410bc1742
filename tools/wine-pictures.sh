#!/usr/bin/env bash
# Takes docs/main-window-wine.png: the Windows program from `make windows-package`, started from the demo's
# package folder in a fresh demo prefix, in a Wine desktop on a virtual screen, cut to its window.
#   tools/wine-pictures.sh [<out.png>]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/main-window-wine.png}
package=$root/build/windows-package
[[ -f $package/hotfix-installer.exe ]] || { echo "wine-pictures: run make windows-package first" >&2; exit 1; }

work=$(mktemp -d)
display=
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k > /dev/null 2>&1 || true
    [[ -z $display ]] || kill "$display" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$root/tools/make-demo.sh" --wineboot "$work" > /dev/null
cp -r "$package/." "$work/package/"

mkdir "$work/screen"
number=$((100 + RANDOM % 800))
Xvfb ":$number" -screen 0 1024x768x24 -fbdir "$work/screen" -nocursor > /dev/null 2>&1 &
display=$!
sleep 1

cd "$work/package"
DISPLAY=:$number WINEPREFIX=$work/prefix WINEDEBUG=-all WINEQT_QPA_PLATFORM=windows:fontengine=freetype \
    wine explorer /desktop=pictures,1024x768 hotfix-installer.exe > /dev/null 2>&1 &

# The picture is taken once two looks a second apart are the same: the window is drawn and still.
before=
for _ in $(seq 60); do
    sleep 1
    if python3 "$root/tools/xwd-to-png.py" "$work/screen/Xvfb_screen0" "$work/now.png" 2> /dev/null; then
        now=$(sha256sum < "$work/now.png")
        [[ $now == "$before" ]] && { cp "$work/now.png" "$out"; echo "wine-pictures: $out"; exit 0; }
        before=$now
    fi
done
echo "wine-pictures: no still window within a minute" >&2
exit 1
