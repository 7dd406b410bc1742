#!/usr/bin/env bash
# The whole installer process against the least a shell script must do for the same effect: cp with
# --backup=simple, which renames each installed file to its backup name and copies the new one in, one cp
# per folder. 2,000 installed files of 4 KiB in 20 folders; every run starts from the same files.
# Two installers are timed: the program itself, `hotfix-installer --install` run from the package folder
# as a deployment tool runs it (with its install record, in a Wine prefix of its own), and the engine alone
# in a small probe process (no record).
#   bench/install_vs_cp_backup.sh <release build folder> [target ratio of the program] [of the probe]
set -euo pipefail

build=$(cd "${1:?usage: bench/install_vs_cp_backup.sh <release build folder> [target]}" && pwd)
target=${2:-1.3}
probeTarget=${3:-1.0}
probe="$build/bench/bench_install_process_probe"
program="$build/src/app/hotfix-installer"
[[ -x $program ]] || { echo "$program is missing (a build with the windows)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is missing (scripts/ensure-packages.sh bench)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/hotfix-cp-backup.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/package/Setup/Vtrl" "$work/pristine"
entries=()
for folder in $(seq 0 19); do
    mkdir -p "$work/package/Setup/Vtrl/f$folder" "$work/pristine/f$folder"
    for n in $(seq 0 99); do
        i=$((folder * 100 + n))
        name="file$i.dat"
        (( i % 10 == 0 )) && name="file$i.dll"
        head -c 4096 /dev/zero | tr '\0' n >"$work/package/Setup/Vtrl/f$folder/$name"
        head -c 4096 /dev/zero | tr '\0' o >"$work/pristine/f$folder/$name"
        entries+=("f$folder\\$name")
    done
done
(IFS=,; printf '%s' "${entries[*]}") >"$work/package/Setup/InstallPatch.BLR"
# The program finds its package beside itself; its record goes to the prefix's C:\ProgramData.
cp "$program" "$work/package/"
mkdir -p "$work/prefix/dosdevices" "$work/prefix/drive_c"
ln -s ../drive_c "$work/prefix/dosdevices/c:"
headless="env WINEPREFIX=$work/prefix $work/package/hotfix-installer --install --vantrel-root $work/root"

cat >"$work/cp-backup.sh" <<SCRIPT
#!/bin/sh
# From inside each folder: coreutils 9.1 puts the backup of a file in another folder into the working one.
for folder in \$(seq 0 19); do
    cd "$work/root/f\$folder" && cp --backup=simple --suffix=_backup "$work/package/Setup/Vtrl/f\$folder/"* .
done
SCRIPT
chmod +x "$work/cp-backup.sh"
reset="rm -rf '$work/root' '$work/prefix/drive_c/ProgramData' && cp -a '$work/pristine' '$work/root' && sync"

# Both commands must leave the same files: each new file in place and its original beside it.
for command in "$headless" "$probe $work/package $work/root" "$work/cp-backup.sh"; do
    eval "$reset"
    (cd "$work" && $command >/dev/null 2>&1) || { echo "'$command' failed" >&2; exit 1; }
    backups=$(find "$work/root" -name '*_backup' | wc -l)
    [[ $backups -eq 2000 ]] || { echo "'$command' left $backups backups in the workstation" >&2; exit 1; }
done

hyperfine --style basic --warmup 1 --runs 10 --prepare "$reset" --export-json "$work/times.json" \
    -n headless "$headless" \
    -n install "$probe '$work/package' '$work/root'" \
    -n cp-backup "$work/cp-backup.sh"

python3 - "$work/times.json" "$target" "$probeTarget" <<'PY'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
missed = False
for name, what, target in (("headless", "hotfix-installer --install", float(sys.argv[2])),
                           ("install", "engine probe process", float(sys.argv[3]))):
    ratio = results[name] / results["cp-backup"]
    verdict = "met" if ratio <= target else "MISSED"
    missed = missed or ratio > target
    print(f"ratio {what} / cp --backup=simple script = {ratio:5.2f} (target <= {target:.2f}) {verdict}")
sys.exit(2 if missed else 0)
PY
