#!/usr/bin/env bash
# The Ansible role as an administrator runs it, with ansible-core, against three local workstations (Wine
# prefixes), two of them sharing one prefix while another run holds it: install twice, roll back twice, and
# the files byte for byte after each.
#   ansible_role_test.sh PROGRAM ROLE_FOLDER
set -euo pipefail
program=$1
ansible_folder=$2
command -v ansible-playbook > /dev/null || {
    echo "ansible-playbook is missing: scripts/ensure-packages.sh test installs ansible-core" >&2
    exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A workstation: its C: drive, and the product's root with a space in its name.
workstation() {
    mkdir -p "$1/drive_c/Program Files/Vantrel/bin" "$1/drive_c/windows" "$1/dosdevices"
    ln -s ../drive_c "$1/dosdevices/c:"
    printf 'core 1' > "$1/drive_c/Program Files/Vantrel/bin/core.dll"
}
workstation "$work/ws1"
workstation "$work/shared"

# The hot fix as it arrives: the program beside its Setup folder.
package="$work/HF 2041"
mkdir -p "$package/Setup/Vtrl/bin"
printf 'bin\\core.dll,bin\\new.txt' > "$package/Setup/InstallPatch.BLR"
printf 'core 2' > "$package/Setup/Vtrl/bin/core.dll"
printf 'new' > "$package/Setup/Vtrl/bin/new.txt"
cp "$program" "$package/hotfix-installer"

cat > "$work/inventory.ini" << INVENTORY
[workstations]
ws1 hotfix_wineprefix="$work/ws1"
ws2 hotfix_wineprefix="$work/shared"
ws3 hotfix_wineprefix="$work/shared"

[workstations:vars]
ansible_connection=local
ansible_python_interpreter=/usr/bin/python3
hotfix_package="$package"
hotfix_install_options=["--vantrel-root", "C:\\\\Program Files\\\\Vantrel", "--windows-root", "C:\\\\windows"]
hotfix_busy_delay=1
hotfix_log_dest="$work/logs"
INVENTORY

export HOME="$work/home" ANSIBLE_ROLES_PATH="$ansible_folder/roles" ANSIBLE_NOCOLOR=1 ANSIBLE_FORKS=3
export ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp" ANSIBLE_RETRY_FILES_ENABLED=0
mkdir -p "$HOME"

# Runs the play; its recap's changed count per host, as "ws1=1 ws2=0 ws3=1".
play() {
    local state=$1 output
    if ! output=$(ansible-playbook -i "$work/inventory.ini" "$ansible_folder/test/site.yml" \
        -e hotfix_state="$state" 2>&1); then
        echo "$output" >&2
        fail "the play with hotfix_state=$state failed"
    fi
    printf '%s\n' "$output" > "$work/last-play.txt"
    printf '%s\n' "$output" | sed -n 's/^\(ws[0-9]\) *: .* changed=\([0-9]*\) .*/\1=\2/p' | sort | tr '\n' ' '
}

content() { if [[ -e $1 ]]; then cat "$1"; else printf '(none)'; fi; }
expect_files() {
    local core=$1 added=$2 prefix
    for prefix in "$work/ws1" "$work/shared"; do
        [[ $(content "$prefix/drive_c/Program Files/Vantrel/bin/core.dll") == "$core" ]] ||
            fail "core.dll in $prefix is not '$core'"
        [[ $(content "$prefix/drive_c/Program Files/Vantrel/bin/new.txt") == "$added" ]] ||
            fail "new.txt in $prefix is not '$added'"
    done
}

# Another run holds the shared workstation for the first seconds: ws2 and ws3 retry on the busy code.
flock "$work/shared/hotfix-installer.lock" sleep 4 &
holder=$!
sleep 0.5
changed=$(play present)
wait "$holder"
grep -q "FAILED - RETRYING: \[ws[23]\]: Install the hot fix" "$work/last-play.txt" ||
    fail "no host retried while another run held the shared workstation"
# One of ws2 and ws3 installs; the other finds the hot fix in place and changes nothing.
[[ $changed == "ws1=1 ws2=1 ws3=0 " || $changed == "ws1=1 ws2=0 ws3=1 " ]] || fail "first install: $changed"
expect_files "core 2" "new"
for host in ws1 ws2 ws3; do
    grep -q "exit code 0" "$work/logs/$host/"*.log || fail "no log of the run collected for $host"
done

changed=$(play present)
[[ $changed == "ws1=0 ws2=0 ws3=0 " ]] || fail "second install changed something: $changed"
expect_files "core 2" "new"

changed=$(play absent)
[[ $changed == "ws1=1 ws2=1 ws3=0 " || $changed == "ws1=1 ws2=0 ws3=1 " ]] || fail "first rollback: $changed"
expect_files "core 1" "(none)"

changed=$(play absent)
[[ $changed == "ws1=0 ws2=0 ws3=0 " ]] || fail "second rollback changed something: $changed"
expect_files "core 1" "(none)"
echo "the role installed, kept, and took back the hot fix on every workstation"
