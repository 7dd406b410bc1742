#!/usr/bin/env bash
# The Wine prefix that a Windows build's tests share, as a CTest fixture, with WINEPREFIX set:
#   hotfix-wine-prefix.sh setup <wine> [<unix temporary folder>]
#       makes the prefix or brings it up to date, points its temporary folder at the given one and starts
#       the prefix's Wine server for all the tests of this ctest run;
#   hotfix-wine-prefix.sh cleanup
#       stops that server.
# One ctest run at a time owns the prefix: a second run in the same build folder would kill the first one's
# server, or wait forever on Wine's services, so it stops at once and says which run holds the prefix. A run
# that set the prefix up before (ctest --repeat) finds it its own.
set -euo pipefail

action=${1:?usage: hotfix-wine-prefix.sh setup <wine> [<temporary folder>] | cleanup}
prefix=${WINEPREFIX:?WINEPREFIX must be set}
owner_file=$prefix.owner

say() { echo "wine prefix: $*"; }

# The ctest run this script works for: its parent. A process is named by its id and its start time, so that
# an id the system gave again to another process is not taken for the run.
process_key() {
    local stat
    stat=$(cat "/proc/$1/stat" 2> /dev/null) || return 1
    # The fields after the command name, which may hold blanks; the start time is field 22.
    stat=${stat##*) }
    set -- $stat
    # A process that has ended but is not yet reaped is no run any longer.
    [[ $1 != Z ]] || return 1
    echo "$1 ${20}"
}
run=$PPID
run_key="$run $(process_key "$run" | cut -d' ' -f2)"

wineserver_tool=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver)

# Every start and end of the server goes through one lock: two setups at once would race for the server.
# Nothing started under the lock may inherit it (9>&-): Wine's server and services outlive this script.
mkdir -p "$(dirname "$prefix")"
exec 9> "$prefix.lock"
if ! flock -w 120 9; then
    say "another setup or cleanup of $prefix has held its lock for two minutes; giving up"
    exit 1
fi

# The run that owns the prefix, while it lives: "<pid> <start time>", or nothing.
live_owner() {
    [[ -f $owner_file ]] || return 0
    local pid start
    read -r pid start < "$owner_file" || return 0
    local now
    now=$(process_key "$pid" 2> /dev/null | cut -d' ' -f2) || return 0
    [[ -n $now && $now == "$start" ]] && echo "$pid $start"
    return 0
}

stop_server() {
    timeout 60 "$wineserver_tool" -k > /dev/null 2>&1 9>&- || true
    timeout 60 "$wineserver_tool" -w > /dev/null 2>&1 9>&- || true
}

case $action in
cleanup)
    if [[ $(live_owner) == "$run_key" ]]; then
        stop_server
        rm -f "$owner_file"
    fi
    exit 0
    ;;
setup) ;;
*)
    say "unknown action $action"
    exit 2
    ;;
esac

wine=${2:?usage: hotfix-wine-prefix.sh setup <wine> [<temporary folder>]}
temporary=${3:-}
owner=$(live_owner)
if [[ $owner == "$run_key" ]]; then
    say "set up already by this run"
    exit 0
fi
if [[ -n $owner ]]; then
    pid=${owner%% *}
    say "another test run (process $pid: $(tr '\0' ' ' < "/proc/$pid/cmdline" 2> /dev/null)) is using $prefix."
    say "Wait for it to end, or run the tests in another build folder."
    exit 1
fi

# A server left by a run that ended without its cleanup (killed, or only this test run) serves nobody now.
stop_server
echo "$run_key" > "$owner_file"

# Wine's services inherit the output of the program that started them and keep it open while the server
# lives: the output goes to a file, never to a pipe that ctest waits on.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
boot() { timeout 300 "$wine" wineboot --init < /dev/null > "$log" 2>&1 9>&-; }
if ! boot; then
    # A fresh prefix's first start can lose a race with a Wine server that is still starting or ending;
    # once that server has gone, a second start settles it.
    say "wineboot failed; trying once more after the Wine server has ended"
    stop_server
    if ! boot; then
        cat "$log"
        say "wineboot failed"
        rm -f "$owner_file"
        exit 1
    fi
fi

if [[ -n $temporary ]]; then
    mkdir -p "$temporary"
    windows_folder="Z:${temporary//\//\\}"
    for variable in TEMP TMP; do
        if ! "$wine" reg add 'HKCU\Environment' /v "$variable" /t REG_SZ /d "$windows_folder" /f \
            < /dev/null > "$log" 2>&1 9>&-; then
            cat "$log"
            say "setting $variable failed"
            exit 1
        fi
    done
fi

if ! "$(dirname "$0")/../tools/wine-fonts.sh" "$wine" < /dev/null > "$log" 2>&1 9>&-; then
    cat "$log"
    say "naming Wine's fonts failed"
    exit 1
fi

# The server, and the services Wine starts beside it, are started here, writing nowhere, and serve every
# test until the cleanup stops them.
stop_server
"$wineserver_tool" -p < /dev/null > /dev/null 2>&1 9>&-
"$wine" wineboot < /dev/null > /dev/null 2>&1 9>&-
say "ready for this run (process $run)"
