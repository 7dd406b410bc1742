#!/usr/bin/env bash
# The whole installer process as users run it against the least a shell script must do for the same effect:
# `hotfix-installer --install` started from its package folder, its roots "C:\Vantrel" and "C:\WINNT" read
# from the registry of a Wine prefix of its own and its install record on, against cp with --backup=simple
# (which renames each installed file to its backup name and copies the new one in), one cp per folder.
# Two workloads, every run from the same files:
#   small: 2,000 files of 4 KiB in 20 folders, against the cp script;
#   large: 200 files of 1 MiB in 4 folders, against the cp script followed by one sync (the installer's
#          durability is part of its job; cp's is not).
# With strace on the machine it also counts the system calls per replaced file (300 against 100 files).
#   bench/install_vs_cp_backup.sh <release build folder> [small target] [large target]
set -euo pipefail

build=$(cd "${1:?usage: bench/install_vs_cp_backup.sh <release build folder> [targets]}" && pwd)
smallTarget=${2:-1.0}
largeTarget=${3:-1.3}
program=${HOTFIX_BENCH_PROGRAM:-$build/src/app/hotfix-installer}
[[ -x $program ]] || { echo "$program is missing (a build with the windows)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is missing (scripts/ensure-packages.sh bench)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/hotfix-cp-backup.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A package of <count> files of <size> bytes in <folders> folders, the workstation's files as they stand
# before the install in <dir>/pristine, and a prefix whose registry names the roots.
makeWorkload() {
    local dir=$1 count=$2 size=$3 folders=$4
    local per=$((count / folders)) entries=() folder n name
    mkdir -p "$dir/package/Setup/Vtrl" "$dir/pristine" "$dir/prefix/dosdevices" "$dir/prefix/drive_c/WINNT"
    ln -s ../drive_c "$dir/prefix/dosdevices/c:"
    printf '%s\n' 'WINE REGISTRY Version 2' ';; All keys relative to \\Machine' '' '#arch=win64' '' \
        '[Software\\Vantrel Software] 1700000000' '"QXINSTALLDIR"="C:\\Vantrel"' '' \
        '[Software\\Microsoft\\Windows NT\\CurrentVersion] 1700000000' '"PathName"="C:\\WINNT"' \
        >"$dir/prefix/system.reg"
    head -c "$size" /dev/zero | tr '\0' n >"$dir/new"
    head -c "$size" /dev/zero | tr '\0' o >"$dir/old"
    for folder in $(seq 0 $((folders - 1))); do
        mkdir -p "$dir/package/Setup/Vtrl/f$folder" "$dir/pristine/f$folder"
        for n in $(seq 0 $((per - 1))); do
            name="file$((folder * per + n)).dat"
            (((folder * per + n) % 10 == 0)) && name="file$((folder * per + n)).dll"
            cp "$dir/new" "$dir/package/Setup/Vtrl/f$folder/$name"
            cp "$dir/old" "$dir/pristine/f$folder/$name"
            entries+=("f$folder\\$name")
        done
    done
    (IFS=,; printf '%s' "${entries[*]}") >"$dir/package/Setup/InstallPatch.BLR"
    # The program finds its package beside itself; its record goes to the prefix's C:\ProgramData.
    cp "$program" "$dir/package/"
    cat >"$dir/cp-backup.sh" <<SCRIPT
#!/bin/sh
# From inside each folder: coreutils 9.1 puts the backup of a file in another folder into the working one.
for folder in \$(seq 0 $((folders - 1))); do
    cd "$dir/prefix/drive_c/Vantrel/f\$folder" && cp --backup=simple --suffix=_backup "$dir/package/Setup/Vtrl/f\$folder/"* .
done
SCRIPT
    chmod +x "$dir/cp-backup.sh"
}

install() { echo "cd '$1/package' && env WINEPREFIX='$1/prefix' ./hotfix-installer --install"; }
reset() { echo "rm -rf '$1/prefix/drive_c/Vantrel' '$1/prefix/drive_c/ProgramData' && cp -a '$1/pristine' '$1/prefix/drive_c/Vantrel' && sync"; }

# Both leave the same files: each new file in place and its original beside it; the installer its record.
checkWorkload() {
    local dir=$1 count=$2 command backups
    for command in "$(install "$dir")" "$dir/cp-backup.sh"; do
        eval "$(reset "$dir")"
        (eval "$command") >/dev/null 2>&1 || { echo "'$command' failed" >&2; exit 1; }
        backups=$(find "$dir/prefix/drive_c/Vantrel" -name '*_backup' | wc -l)
        [[ $backups -eq $count ]] || { echo "'$command' left $backups backups of $count" >&2; exit 1; }
        [[ $command == *cp-backup* ]] || compgen -G "$dir/prefix/drive_c/ProgramData/HotFix Installer/*/record.txt" \
            >/dev/null || { echo "the install kept no record" >&2; exit 1; }
    done
}

makeWorkload "$work/small" 2000 4096 20
makeWorkload "$work/large" 200 1048576 4
checkWorkload "$work/small" 2000
checkWorkload "$work/large" 200

hyperfine --style basic --warmup 1 --runs 8 --export-json "$work/small.json" \
    --prepare "$(reset "$work/small")" -n install "$(install "$work/small")" -n cp-backup "$work/small/cp-backup.sh"
hyperfine --style basic --warmup 1 --runs 8 --export-json "$work/large.json" \
    --prepare "$(reset "$work/large")" -n install "$(install "$work/large")" \
    -n cp-backup-sync "$work/large/cp-backup.sh && sync"

missed=0
python3 - "$work/small.json" "$work/large.json" "$smallTarget" "$largeTarget" <<'PY' || missed=1
import json, sys
missed = False
for path, baseline, what, target in ((sys.argv[1], "cp-backup", "2,000 x 4 KiB, cp --backup=simple", float(sys.argv[3])),
                                     (sys.argv[2], "cp-backup-sync", "200 x 1 MiB, cp --backup=simple + sync", float(sys.argv[4]))):
    results = {r["command"]: r["median"] for r in json.load(open(path))["results"]}
    ratio = results["install"] / results[baseline]
    verdict = "met" if ratio <= target else "MISSED"
    missed = missed or ratio > target
    print(f"ratio hotfix-installer --install / {what} = {ratio:5.2f} (target <= {target:.2f}) {verdict}")
sys.exit(2 if missed else 0)
PY

# System calls per replaced file: the difference between 300 and 100 replaced files, over 200.
if command -v strace >/dev/null; then
    makeWorkload "$work/calls100" 100 4096 20
    makeWorkload "$work/calls300" 300 4096 20
    for n in 100 300; do
        eval "$(reset "$work/calls$n")"
        (cd "$work/calls$n/package" && WINEPREFIX="$work/calls$n/prefix" strace -f -c -o "$work/calls$n.txt" \
            ./hotfix-installer --install >/dev/null 2>&1)
    done
    python3 - "$work/calls100.txt" "$work/calls300.txt" <<'PY'
import sys
def calls(path):
    counts = {}
    for line in open(path):
        parts = line.split()
        if len(parts) >= 5 and parts[0][0].isdigit() and parts[-1] != "total":
            counts[parts[-1]] = int(parts[3])
    return counts
few, many = calls(sys.argv[1]), calls(sys.argv[2])
per = {name: (many.get(name, 0) - few.get(name, 0)) / 200 for name in set(few) | set(many)}
shown = ", ".join(f"{name} {count:.1f}" for name, count in sorted(per.items(), key=lambda item: -item[1]) if count >= 0.5)
print(f"system calls per replaced file: {sum(per.values()):.1f} ({shown})")
PY
fi
exit "$missed"
