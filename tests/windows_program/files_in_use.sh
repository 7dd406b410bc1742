#!/usr/bin/env bash
# An install over files that a running program holds, under Wine: the library it has loaded and the data file
# it keeps open are backed up and queued to be replaced when Windows next starts (exit 3010), while a file no
# one holds is replaced at once. A restore before that start takes the queued replacements back and leaves
# every folder as it was; an install after it, once the program has ended, is completed by the start itself
# (wineboot -r, which carries out the renames queued in PendingFileRenameOperations). Runs under xvfb-run.
#   files_in_use.sh <work folder> <hotfix-installer.exe> <holder.exe> <installed library> <new library>
#                   <Qt prefix>
set -euo pipefail

work=$1 installer=$2 holder=$3 libInstalled=$4 libNew=$5 qt=$6

testName=files_in_use
# The output and the log of the installer's last run, shown with any failure after it.
said=""
fail() {
    echo "files_in_use: FAILED: $*" >&2
    if [[ -n $said ]]; then
        echo "files_in_use: the installer's last run ($said) said on standard output:" >&2
        cat "$work/$said.out" >&2 || true
        echo "files_in_use: on standard error:" >&2
        cat "$work/$said.err" >&2 || true
        echo "files_in_use: and in its log:" >&2
        cat "$drive/Test/$said.log" >&2 || true
    fi
    exit 1
}
# shellcheck source=tests/windows_program/wine_test_lib.sh
source "$(dirname "$0")/wine_test_lib.sh"

# The prefix's Wine goes with the test, the holders with it.
freshPrefix "$work"
# One server for the whole run, started writing nowhere once the boot's has ended: Wine's services hold the
# output of whatever starts them, and a server that ended between two runs would be started again by the next.
timeout 60 wineserver -w || fail "the Wine server of the boot did not end"
wineserver -p > /dev/null 2>&1 || fail "the prefix's Wine server would not start to stay"
nameTheRoots

mkdir -p "$product/Bin" "$product/Data" "$windows/VtrlCom" \
    "$package/Setup/Vtrl/Bin" "$package/Setup/Vtrl/Data" "$package/Setup/Othr/VtrlCom" \
    "$drive/Test" "$drive/Scratch"
cp "$libInstalled" "$product/Bin/VtrlCore.dll"
printf 'rates 5.1.0 (installed)\r\n' > "$product/Data/Rates.dat"
printf 'readme 5.1.0 (installed)\r\n' > "$product/readme.txt"
printf '[vtrlcom]\r\nbuild=5.1.0\r\n' > "$windows/VtrlCom/vtrlcom.ini"
mkdir -p "$work/originals"
cp "$product/Bin/VtrlCore.dll" "$product/Data/Rates.dat" "$product/readme.txt" \
    "$windows/VtrlCom/vtrlcom.ini" "$work/originals/"

# The library and the data file are the ones the holder keeps; the readme and the Windows side's file are
# free to be replaced.
printf 'Bin\\VtrlCore.dll, Data\\Rates.dat, \\readme.txt\r\n' > "$package/Setup/InstallPatch.BLR"
printf 'VtrlCom\\vtrlcom.ini\r\n' > "$package/Setup/InstallWinPatch.BLR"
cp "$libNew" "$package/Setup/Vtrl/Bin/VtrlCore.dll"
printf 'rates 5.1.1 (hot fix)\r\n' > "$package/Setup/Vtrl/Data/Rates.dat"
printf 'readme 5.1.1 (hot fix)\r\n' > "$package/Setup/Vtrl/readme.txt"
printf '[vtrlcom]\r\nbuild=5.1.1\r\n' > "$package/Setup/Othr/VtrlCom/vtrlcom.ini"
placeProgram "$installer" "$qt"
cp "$holder" "$drive/Test/holder.exe"
# Wine's own exit status keeps only the low byte of a program's exit code (3010 comes out as 194); cmd gets
# all of it, as a deployment tool would (a space before ">": "echo 1>" would redirect handle 1).
printf '@"C:\\Hot Fix 7\\hotfix-installer.exe" %%*\r\n@echo %%ERRORLEVEL%% > C:\\Test\\exit.txt\r\n' \
    > "$drive/Test/installer.bat"
cmp -s "$libInstalled" "$libNew" && fail "the two builds of the library are the same bytes"

heldLibrary='C:\Vantrel Suite\Bin\VtrlCore.dll'
heldData='C:\Vantrel Suite\Data\Rates.dat'
# Each three: the file, its package's copy, its original.
files=("$product/Bin/VtrlCore.dll" "$package/Setup/Vtrl/Bin/VtrlCore.dll" "$work/originals/VtrlCore.dll"
    "$product/Data/Rates.dat" "$package/Setup/Vtrl/Data/Rates.dat" "$work/originals/Rates.dat"
    "$product/readme.txt" "$package/Setup/Vtrl/readme.txt" "$work/originals/readme.txt"
    "$windows/VtrlCom/vtrlcom.ini" "$package/Setup/Othr/VtrlCom/vtrlcom.ini" "$work/originals/vtrlcom.ini")

sameBytes() { cmp -s "$1" "$2" || fail "$2 does not hold the bytes of $1"; }
# Every listed file holds its original's bytes (original) or its package copy's (package).
everyFileHolds() {
    local i
    for ((i = 0; i < ${#files[@]}; i += 3)); do
        if [[ $1 == original ]]; then
            sameBytes "${files[i + 2]}" "${files[i]}"
        else
            sameBytes "${files[i + 1]}" "${files[i]}"
        fi
    done
}
# Every backup (NAME_hf7) holds its original's bytes.
everyBackupHoldsTheOriginal() {
    local i
    for ((i = 0; i < ${#files[@]}; i += 3)); do
        sameBytes "${files[i + 2]}" "${files[i]}_hf7"
    done
}
# Every name under both roots, one a line.
listing() { (cd "$drive" && find "Vantrel Suite" WINNT -print | LC_ALL=C sort); }

# A holder: runs in the background until its stop file appears. Its exit status goes to <name>.status.
startHolder() {
    local name=$1 library=$2 data=$3 mutex=("${@:4}")
    rm -f "$drive/Test/$name.ready" "$drive/Test/$name.stop" "$work/$name.status"
    (
        status=0
        timeout 170 wine 'C:\Test\holder.exe' "$library" "$data" "C:\\Test\\$name.ready" \
            "C:\\Test\\$name.stop" "${mutex[@]}" > "$work/$name.log" 2>&1 || status=$?
        echo "$status" > "$work/$name.status"
    ) > /dev/null 2>&1 &
    ready() { [[ -e "$drive/Test/$name.ready" || -e "$work/$name.status" ]]; }
    within 30 ready || fail "the holder $name did not get ready in 30 s"
    [[ -e "$drive/Test/$name.ready" ]] || fail "the holder $name ended at once: $(cat "$work/$name.log")"
}
stopHolder() {
    local name=$1
    : > "$drive/Test/$name.stop"
    ended() { [[ -s "$work/$name.status" ]]; }
    within 30 ended || fail "the holder $name did not end within 30 s of its stop file"
    [[ $(cat "$work/$name.status") == 0 ]] ||
        fail "the holder $name ended with $(cat "$work/$name.status"): $(cat "$work/$name.log")"
}
holding() { [[ -e "$drive/Test/$1.ready" && ! -e "$work/$1.status" ]]; }

# Runs the installer from its package folder with the given options: its exit code in $status, its output in
# <name>.out and <name>.err, its log in C:\Test\<name>.log.
runInstaller() {
    local name=$1 ended=0
    shift
    said=$name
    rm -f "$drive/Test/exit.txt"
    timeout 90 wine cmd /c 'C:\Test\installer.bat' "$@" --log "C:\\Test\\$name.log" > "$work/$name.out" \
        2> "$work/$name.err" || ended=$?
    [[ $ended -ne 124 ]] || fail "the installer's $* did not end within 90 s"
    [[ -s "$drive/Test/exit.txt" ]] || fail "the installer's $* left no exit code (cmd ended with $ended)"
    status=$(tr -d '\r\n ' < "$drive/Test/exit.txt")
}
# Whether the last run gave a line <side> TAB <outcome> TAB <path>, on its console or in its log (after the
# time there). Paths compare as Windows compares them: in any case, a run of "\" as one.
saidOutcome() {
    local log=$drive/Test/$said.log
    [[ -e $log ]] || log=/dev/null
    side=$1 outcome=$2 path=$3 awk -F'\t' '
        function plain(path) { gsub(/\\+/, "\\", path); return tolower(path) }
        { sub(/\r$/, "") }
        { for (i = 1; i + 2 <= NF; ++i)
              if ($i == ENVIRON["side"] && $(i + 1) == ENVIRON["outcome"] &&
                  plain($(i + 2)) == plain(ENVIRON["path"])) found = 1 }
        END { exit !found }' "$work/$said.out" "$work/$said.err" "$log"
}

# The renames queued for the next start, one name a line as Wine's reg shows them (source, then target, a "!"
# before a target that may be replaced); nothing where none is queued.
sessionManager='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
pendingRenames() {
    local value
    timeout 60 wine reg query "$sessionManager" /v PendingFileRenameOperations > "$work/pending.txt" 2>&1 ||
        true
    value=$(tr -d '\r' < "$work/pending.txt" |
        sed -n 's/^[[:space:]]*PendingFileRenameOperations[[:space:]]*REG_MULTI_SZ[[:space:]]*//p')
    [[ -n $value ]] || return 0
    printf '%s\n' "${value//'\0'/$'\n'}"
}
# A queued name as a plain Windows path: without its "!" and its "\??\" or "\\?\".
bareName() {
    local name=${1#!}
    name=${name#"\\??\\"}
    name=${name#"\\\\?\\"}
    echo "$name"
}
# The same in lower case, to compare: Windows names are compared regardless of case.
plainName() {
    local name
    name=$(bareName "$1")
    echo "${name,,}"
}
# The Unix path of a C: path.
unixPath() {
    local name=${1:3}
    echo "$drive/${name//\\//}"
}
# The rename onto the target is queued, from a complete copy of the package's file.
queuedFor() {
    local target=$1 packageCopy=$2 i source
    local -a names
    mapfile -t names < <(pendingRenames)
    for ((i = 0; i + 1 < ${#names[@]}; i += 2)); do
        if [[ $(plainName "${names[i + 1]}") == "${target,,}" ]]; then
            source=$(bareName "${names[i]}")
            [[ ${source,,} == c:\\* ]] || fail "the rename onto $target comes from $source, not from drive C:"
            cmp -s "$packageCopy" "$(unixPath "$source")" ||
                fail "the rename onto $target comes from ${names[i]}, which does not hold the package's bytes"
            return 0
        fi
    done
    fail "no rename onto $target is queued; PendingFileRenameOperations: $(cat "$work/pending.txt")"
}
# No rename queued names a file under either root.
nothingQueued() {
    local name plain
    while IFS= read -r name; do
        plain=$(plainName "$name")
        if [[ $plain == "c:\\vantrel suite\\"* || $plain == "c:\\winnt\\"* ]]; then
            fail "a rename for $name is still queued; PendingFileRenameOperations: $(cat "$work/pending.txt")"
        fi
    done < <(pendingRenames)
}

# What Windows forbids, Linux allows: a rename over a file a Wine program keeps open without sharing its
# deletion. Wine's sharing rules bind only Windows programs; shown on copies, beside the real files.
step "renaming from Linux over a file a Wine program holds"
cp "$libInstalled" "$drive/Scratch/lib.dll"
printf 'scratch (held)\r\n' > "$drive/Scratch/data.txt"
printf 'scratch (new)\r\n' > "$drive/Scratch/new.txt"
startHolder scratch 'C:\Scratch\lib.dll' 'C:\Scratch\data.txt'
if timeout 60 wine cmd /c copy /y 'C:\Scratch\new.txt' 'C:\Scratch\data.txt' > "$work/copy.out" 2>&1; then
    fail "Wine let cmd copy over the held data file: $(cat "$work/copy.out")"
fi
grep -qi 'sharing violation' "$work/copy.out" ||
    fail "cmd's copy over the held data file said: $(cat "$work/copy.out")"
cp "$drive/Scratch/new.txt" "$work/new.txt"
mv -f "$work/new.txt" "$drive/Scratch/data.txt" || fail "mv over the held data file failed"
sameBytes "$drive/Scratch/new.txt" "$drive/Scratch/data.txt"
holding scratch || fail "the holder ended when its data file was renamed over: $(cat "$work/scratch.log")"
stopHolder scratch

# Another install holds the workstation: the whole code reaches cmd's %ERRORLEVEL%, as a deployment tool
# retries it, and the run makes nothing.
step "installing while another install runs"
startHolder busy 'C:\Scratch\lib.dll' 'C:\Scratch\data.txt' 'Global\HotFix Installer run'
listing > "$work/before-busy.list"
runInstaller busy --install --suffix hf7
stopHolder busy
[[ $status == 1618 ]] || fail "--install while another runs ended with $status, not 1618: $(cat "$work/busy.err")"
listing | cmp -s - "$work/before-busy.list" || fail "--install while another runs changed the roots"

step "starting the program that holds the library and the data file"
startHolder main "$heldLibrary" "$heldData"
listing > "$work/before.list"

# Wine's Restart Manager names no program: --check names the held files themselves, and not the free ones.
runInstaller check --check
grep -qiF $'in use\tC:\\Vantrel Suite\\Bin\\VtrlCore.dll' "$work/check.out" &&
    grep -qiF $'in use\tC:\\Vantrel Suite\\Data\\Rates.dat' "$work/check.out" ||
    fail "--check did not name the held files: $(cat "$work/check.out")"
! grep -qiF 'readme.txt' <(grep $'^in use' "$work/check.out") || fail "--check called the free readme held"

step "installing while they are held"
runInstaller install --install --suffix hf7
[[ $status == 3010 ]] || fail "--install ended with $status, not 3010 (done, a restart completes it)"
sameBytes "$package/Setup/Vtrl/readme.txt" "$product/readme.txt"
sameBytes "$package/Setup/Othr/VtrlCom/vtrlcom.ini" "$windows/VtrlCom/vtrlcom.ini"
sameBytes "$work/originals/VtrlCore.dll" "$product/Bin/VtrlCore.dll"
sameBytes "$work/originals/Rates.dat" "$product/Data/Rates.dat"
everyBackupHoldsTheOriginal
saidOutcome Vantrel 'at restart' "$heldLibrary" ||
    fail "--install did not say the library is replaced at restart"
saidOutcome Vantrel 'at restart' "$heldData" ||
    fail "--install did not say the data file is replaced at restart"
saidOutcome Vantrel replaced 'C:\Vantrel Suite\readme.txt' ||
    fail "--install did not say the readme is replaced"
saidOutcome Windows replaced 'C:\WINNT\VtrlCom\vtrlcom.ini' ||
    fail "--install did not say the Windows side's file is replaced"
queuedFor "$heldLibrary" "$package/Setup/Vtrl/Bin/VtrlCore.dll"
queuedFor "$heldData" "$package/Setup/Vtrl/Data/Rates.dat"
holding main || fail "the holder ended during the install: $(cat "$work/main.log")"

step "restoring before the restart, while the program still runs"
# Every queued replacement is taken back, but the backups, second names of files the program holds, stay
# until it ends: the restore says so and fails.
runInstaller restore-held --restore
[[ $status == 1 ]] || fail "--restore while the files are held ended with $status, not 1"
grep -qs "could not be removed" "$work/restore-held.err" "$work/restore-held.out" "$drive/Test/restore-held.log" ||
    fail "--restore while the files are held did not name the backups it could not remove"
everyFileHolds original
nothingQueued
holding main || fail "the holder ended during the restore: $(cat "$work/main.log")"

step "restoring again once the program has ended"
stopHolder main
runInstaller restore --restore
[[ $status == 0 ]] || fail "--restore ended with $status, not 0"
everyFileHolds original
for ((i = 0; i < ${#files[@]}; i += 3)); do
    [[ ! -e "${files[i]}_hf7" ]] || fail "${files[i]}_hf7 is still there after the restore"
done
nothingQueued
listing > "$work/restored.list"
diff "$work/before.list" "$work/restored.list" > "$work/restored.diff" ||
    fail "the restore did not leave the folders as they were (< before, > after):
$(cat "$work/restored.diff")"

step "installing again while the program runs, and restarting once it has ended"
startHolder main "$heldLibrary" "$heldData"
runInstaller reinstall --install --suffix hf7
[[ $status == 3010 ]] || fail "the second --install ended with $status, not 3010"
queuedFor "$heldLibrary" "$package/Setup/Vtrl/Bin/VtrlCore.dll"
queuedFor "$heldData" "$package/Setup/Vtrl/Data/Rates.dat"
# A retry before the restart finds the copies waiting: it queues nothing more, backs nothing up again and
# writes no record line, and the restart still completes it.
records=("$drive/ProgramData/HotFix Installer"/*/record.txt)
cp "${records[0]}" "$work/record-before-retry.txt"
listing > "$work/before-retry.list"
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
    > "$work/pending-before-retry.txt" 2>&1 || true
runInstaller retry --install --suffix hf7
[[ $status == 3010 ]] || fail "a retried --install before the restart ended with $status, not 3010"
listing | cmp -s - "$work/before-retry.list" || fail "a retried --install before the restart changed the roots"
cmp -s "${records[0]}" "$work/record-before-retry.txt" || fail "a retried --install before the restart wrote the record"
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>&1 |
    cmp -s - "$work/pending-before-retry.txt" || fail "a retried --install before the restart queued renames again"
grep -qiF 'C:\Vantrel Suite\Bin\VtrlCore.dll' "$drive/Test/retry.log" ||
    fail "the retry did not name the library waiting for the restart: $(cat "$drive/Test/retry.log")"
# Only once the program has ended: Wine's restart drops, with the whole value, a queued rename onto a file
# still held, and leaves its copy behind.
stopHolder main
# Wine carries out the queued renames when wineboot restarts the prefix; its services keep their output.
timeout 120 wine wineboot -r > /dev/null 2>&1 || fail "wineboot -r failed"
everyFileHolds package
everyBackupHoldsTheOriginal
nothingQueued
# Beside each file only its backup is new: the queued copies were renamed, none is left.
{
    cat "$work/before.list"
    printf '%s_hf7\n' 'Vantrel Suite/Bin/VtrlCore.dll' 'Vantrel Suite/Data/Rates.dat' \
        'Vantrel Suite/readme.txt' 'WINNT/VtrlCom/vtrlcom.ini'
} | LC_ALL=C sort > "$work/expected.list"
listing > "$work/restarted.list"
diff "$work/expected.list" "$work/restarted.list" > "$work/restarted.diff" ||
    fail "after the restart the folders hold other than the files and their backups (< expected, > found):
$(cat "$work/restarted.diff")"
step "passed"
