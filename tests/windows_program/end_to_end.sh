#!/usr/bin/env bash
# One install with the real Windows program under Wine, driven from the keyboard as a technician would: a
# freshly booted prefix whose registry names both roots, a package folder with both list files, and a COM
# library on the Windows side that the run must register through cmd and regsvr32. Then the same program
# without its window: a restore of that install, a check and an install from the command line. Runs under
# xvfb-run.
#   end_to_end.sh <work folder> <hotfix-installer.exe> <technician.exe> <installed COM build> <new COM build>
#                 <Qt prefix>
set -euo pipefail

work=$1 installer=$2 technician=$3 comInstalled=$4 comNew=$5 qt=$6

testName=end_to_end
fail() {
    echo "end_to_end: FAILED: $*" >&2
    exit 1
}
# shellcheck source=tests/windows_program/wine_test_lib.sh
source "$(dirname "$0")/wine_test_lib.sh"

freshPrefix "$work"
classKey='HKCU\Software\Classes\CLSID\{6F1E5C2A-4B7D-4E29-9C1A-20050501C0DE}\InprocServer32'
nameTheRoots
# Without a window manager Wine shows windows only inside a desktop of its own.
regAdd 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default
regAdd 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 800x600
if wine reg query "$classKey" > /dev/null 2>&1; then
    fail "the COM class is registered before the run"
fi

mkdir -p "$product/Bin" "$windows/VtrlCom" "$package/Setup/Vtrl/Bin" "$package/Setup/Othr/VtrlCom"
printf 'engine 5.1.0 (installed)\r\n' > "$product/Bin/Engine.dll"
printf 'readme 5.1.0 (installed)\r\n' > "$product/readme.txt"
cp "$comInstalled" "$windows/VtrlCom/comfix.dll"
cp -r "$product" "$work/originals"
cp "$comInstalled" "$work/originals/comfix.dll"

printf 'Bin\\Engine.dll, \\readme.txt\r\n' > "$package/Setup/InstallPatch.BLR"
printf 'VtrlCom\\comfix.dll\r\n' > "$package/Setup/InstallWinPatch.BLR"
printf 'engine 5.1.1 (hot fix)\r\n' > "$package/Setup/Vtrl/Bin/Engine.dll"
printf 'readme 5.1.1 (hot fix)\r\n' > "$package/Setup/Vtrl/readme.txt"
cp "$comNew" "$package/Setup/Othr/VtrlCom/comfix.dll"
placeProgram "$installer" "$qt"

step "installing from the keyboard"
# The technician's words go to the log as they come, and again into the failure's line.
if ! wine "$technician" 'C:\Hot Fix 7\hotfix-installer.exe' \
    'HotFix Installer|Sucessfully Applied the HotFix' \
    'Close HotFix Installer|Are you sure, You want to close Installer' 2>&1 | tee "$work/technician.log"; then
    fail "the technician's run did not go as expected; it said:
$(cat "$work/technician.log")"
fi

step "checking the result"
sameBytes() { cmp -s "$1" "$2" || fail "$2 does not hold the bytes of $1"; }
sameBytes "$package/Setup/Vtrl/Bin/Engine.dll" "$product/Bin/Engine.dll"
sameBytes "$package/Setup/Vtrl/readme.txt" "$product/readme.txt"
sameBytes "$comNew" "$windows/VtrlCom/comfix.dll"
sameBytes "$work/originals/Bin/Engine.dll" "$product/Bin/Engine.dll_backup"
sameBytes "$work/originals/readme.txt" "$product/readme.txt_backup"
sameBytes "$work/originals/comfix.dll" "$windows/VtrlCom/comfix.dll_backup"

# Sets build to the build the COM class names and buildAnswer to reg's whole answer. A reg that gave no
# answer at all (a loaded machine) is asked again; "no such value" is an answer.
readBuild() {
    build=''
    for _ in 1 2 3; do
        buildAnswer=$(timeout 60 wine reg query "$classKey" /v Build 2>&1) || true
        if [[ $buildAnswer =~ REG_SZ[[:space:]]+([0-9]+) ]]; then
            build=${BASH_REMATCH[1]}
            return
        fi
        [[ $buildAnswer != *"Unable to find"* ]] || return 0
    done
}
# The registration script runs on after the program has ended.
registered() {
    readBuild
    [[ $build == 2 ]]
}
within 30 registered || fail "the new COM library was not registered: $(wine reg query "$classKey" 2>&1)"
wine reg query "$classKey" /ve | grep -qi 'C:\\WINNT\\VtrlCom\\comfix.dll' ||
    fail "the COM class names another library: $(wine reg query "$classKey" /ve 2>&1)"
noScripts() { ! compgen -G "$package/*.bat" > /dev/null; }
within 30 noScripts || fail "registration scripts left behind: $(ls "$package"/*.bat)"

# The same program without its window, as a deployment tool runs it: the window's install is in the record
# under the prefix's ProgramData, so a restore puts every original back and registers the old library again.
program='C:\Hot Fix 7\hotfix-installer.exe'
records="$drive/ProgramData/HotFix Installer"
compgen -G "$records/*/record.txt" > /dev/null || fail "the window's install left no record in $records"

step "restoring without the window"
wine "$program" --restore > "$work/restore.out" 2> "$work/restore.err" ||
    fail "--restore ended with $?: $(cat "$work/restore.err")"
sameBytes "$work/originals/Bin/Engine.dll" "$product/Bin/Engine.dll"
sameBytes "$work/originals/readme.txt" "$product/readme.txt"
sameBytes "$work/originals/comfix.dll" "$windows/VtrlCom/comfix.dll"
for backup in "$product/Bin/Engine.dll_backup" "$product/readme.txt_backup" "$windows/VtrlCom/comfix.dll_backup"; do
    [[ ! -e $backup ]] || fail "$backup is still there after the restore"
done
[[ $(grep -c $'\trestored\t' "$work/restore.out") -eq 3 ]] || fail "--restore said: $(cat "$work/restore.out")"
grep -q 'HotFix Installer: Restored what the HotFix had replaced' "$work/restore.err" ||
    fail "--restore said: $(cat "$work/restore.err")"
# The restore waits for its registration script: the old build is registered when it ends.
readBuild
[[ $build == 1 ]] || fail "the original COM library was not registered again: reg said: $buildAnswer"
noScripts || fail "registration scripts left behind: $(ls "$package"/*.bat)"

step "checking and installing without the window"
wine "$program" --check > "$work/check.out" 2> "$work/check.err" || fail "--check ended with $?"
[[ $(grep -c $'\treplace\t' "$work/check.out") -eq 3 ]] || fail "--check said: $(cat "$work/check.out")"
sameBytes "$work/originals/Bin/Engine.dll" "$product/Bin/Engine.dll"
set +e
wine "$program" --install --suffix a --date-suffix > /dev/null 2>&1
status=$?
set -e
[[ $status -eq 2 ]] || fail "colliding options ended with $status, not 2"
wine "$program" --install --suffix hf7 --log 'C:\install.log' > /dev/null 2> "$work/install.err" ||
    fail "--install ended with $?: $(cat "$work/install.err")"
sameBytes "$package/Setup/Vtrl/Bin/Engine.dll" "$product/Bin/Engine.dll"
sameBytes "$work/originals/Bin/Engine.dll" "$product/Bin/Engine.dll_hf7"
grep -q 'HotFix Installer: Sucessfully Applied the HotFix' "$drive/install.log" ||
    fail "the log holds: $(cat "$drive/install.log")"
readBuild
[[ $build == 2 ]] || fail "the new COM library was not registered again by --install: reg said: $buildAnswer"

step "detecting and retrying as a deployment tool does"
wine "$program" --detect > "$work/detect.out" 2> "$work/detect.err" || fail "--detect ended with $?: $(cat "$work/detect.err")"
[[ $(grep -c 'is in place' "$work/detect.out") -eq 1 ]] || fail "--detect said: $(cat "$work/detect.out")"
# The inventory reads the record through Windows' own calls: the hot fix, in place, from the command line.
wine "$program" --list --json > "$work/list.out" 2> "$work/list.err" || fail "--list ended with $?: $(cat "$work/list.err")"
grep -q '"inPlace": true' "$work/list.out" && grep -q '"installedBy": "command line"' "$work/list.out" ||
    fail "--list --json said: $(cat "$work/list.out")"
wine "$program" --install --suffix hf7 > /dev/null 2> "$work/retry.err" ||
    fail "a retried --install ended with $?: $(cat "$work/retry.err")"
grep -q 'in place already' "$work/retry.err" || fail "a retried --install said: $(cat "$work/retry.err")"
[[ ! -e "$product/Bin/Engine.dll_hf7_2" ]] || fail "a retried --install backed the hot fix up again"
set +e
wine "$program" /quiet > /dev/null 2>&1
status=$?
set -e
[[ $status -eq 2 ]] || fail "/quiet ended with $status, not 2"

# The scripts docs/deploying.md gives, word for word, each run by cmd as the tool runs it, with the whole
# exit code from cmd's %ERRORLEVEL%: Intune's and PDQ's install.cmd from the package's folder, PDQ
# Inventory's command condition, and the uninstall command from the copy install.cmd keeps.
asTheToolRuns() {
    local name=$1 folder=$2 command=$3
    printf '@cd /d "%s"\r\n@%s\r\n@echo %%ERRORLEVEL%% > C:\\%s.exit\r\n' "$folder" "$command" "$name" \
        > "$drive/$name.bat"
    rm -f "$drive/$name.exit"
    timeout 120 wine cmd /c "C:\\$name.bat" > "$work/$name.out" 2>&1 || true
    [[ -s "$drive/$name.exit" ]] || fail "$name left no exit code: $(cat "$work/$name.out")"
    status=$(tr -d '\r\n ' < "$drive/$name.exit")
}
step "running the documentation's deployment scripts"
wine "$program" --restore > /dev/null 2>&1 || fail "--restore before the documented scripts ended with $?"
printf '%s\r\n%s\r\n' 'xcopy /e /i /q /y . "%ProgramData%\HotFix Installer\Packages\HF7"' \
    'hotfix-installer.exe --install --date-suffix' > "$package/install.cmd"
asTheToolRuns intune 'C:\Hot Fix 7' 'cmd /c install.cmd'
[[ $status == 0 ]] || fail "install.cmd ended with $status: $(cat "$work/intune.out")"
sameBytes "$package/Setup/Vtrl/Bin/Engine.dll" "$product/Bin/Engine.dll"
copy="$records/Packages/HF7"
sameBytes "$package/hotfix-installer.exe" "$copy/hotfix-installer.exe"
asTheToolRuns inventory 'C:\' '"%ProgramData%\HotFix Installer\Packages\HF7\hotfix-installer.exe" --detect'
[[ $status == 0 ]] || fail "PDQ Inventory's condition ended with $status: $(cat "$work/inventory.out")"
asTheToolRuns uninstall 'C:\ProgramData\HotFix Installer\Packages\HF7' 'hotfix-installer.exe --restore'
[[ $status == 0 ]] || fail "the uninstall command ended with $status: $(cat "$work/uninstall.out")"
sameBytes "$work/originals/Bin/Engine.dll" "$product/Bin/Engine.dll"
asTheToolRuns inventory 'C:\' '"%ProgramData%\HotFix Installer\Packages\HF7\hotfix-installer.exe" --detect'
[[ $status == 1 ]] || fail "PDQ Inventory's condition after the uninstall ended with $status"
step "passed without the window too"
