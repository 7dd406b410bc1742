#!/usr/bin/env bash
# The demo as make demo makes it, driven as a deployment tool drives a workstation: --install registers the
# demo's real libraries through Wine's cmd and regsvr32 and exits 0, every file then holds the package's
# bytes; --restore exits 0 and every file holds its original bytes again.
#   demo_round_trip_test.sh PROGRAM MAKE_DEMO
set -euo pipefail
program=$1
make_demo=$2
work=$(mktemp -d)
export WINEPREFIX="$work/demo/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k > /dev/null 2>&1 || true; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$make_demo" "$work/demo" > /dev/null
cp "$program" "$work/demo/package/hotfix-installer"
drive="$WINEPREFIX/drive_c"
cp -a "$drive" "$work/originals"
same() { cmp -s "$1" "$2" || fail "$2 does not hold the bytes of $1"; }

status=0
"$work/demo/package/hotfix-installer" --install --register-dlls > "$work/install.out" 2>&1 || status=$?
[[ $status == 0 ]] || fail "--install on the demo workstation ended with $status: $(cat "$work/install.out")"
for file in Bin/Engine.dll Bin/Report.dll Bin/Viewer.dll; do
    same "$work/demo/package/Setup/Vtrl/Vantrel/$file" "$drive/Program Files/Vantrel/$file"
done
same "$work/demo/package/Setup/Othr/system32/vtrlhook.dll" "$drive/windows/system32/vtrlhook.dll"

"$work/demo/package/hotfix-installer" --restore > "$work/restore.out" 2>&1 || status=$?
[[ $status == 0 ]] || fail "--restore on the demo workstation ended with $status: $(cat "$work/restore.out")"
for file in "Program Files/Vantrel/Bin/Engine.dll" "Program Files/Vantrel/Bin/Report.dll" \
    "Program Files/Vantrel/Common/Help.txt" windows/system32/vtrlhook.dll; do
    same "$work/originals/$file" "$drive/$file"
done
[[ ! -e "$drive/Program Files/Vantrel/Bin/Viewer.dll" ]] || fail "the restore left the new Viewer.dll"
echo "the demo's hot fix installed, registered and was taken back"
