# Sourced by this folder's scripts: a fresh Wine prefix whose registry names both roots, the program laid out
# in a package folder as `make windows-package` lays it out, and the waits. The script sets testName and
# defines fail() before it sources this file.

step() { echo "$testName: [$SECONDS s] $*"; }

# Polls a condition for at most the given seconds.
within() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < end)) || return 1
        sleep 0.2
    done
}

regAdd() { timeout 60 wine reg add "$@" /f > /dev/null 2>&1 || fail "wine reg add $*"; }

# Boots a fresh prefix in <work>/prefix and sets drive, product, windows and package to its folders.
freshPrefix() {
    rm -rf "$1"
    mkdir -p "$1"
    export WINEPREFIX="$1/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # The program takes its Qt from beside itself, as on a workstation.
    unset WINEPATH
    # Whatever stays of this prefix's Wine must not outlive the test, nor hold its output open.
    trap 'wineserver -k > /dev/null 2>&1 || true' EXIT
    step "booting a fresh prefix"
    timeout 120 wineboot -i > /dev/null 2>&1 || fail "wineboot could not make the prefix"
    # Text drawn as on Windows: Wine's own fonts found, and the capital "I" whole.
    "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine-fonts.sh" || fail "naming Wine's fonts failed"
    export WINEQT_QPA_PLATFORM=windows:fontengine=freetype
    drive=$WINEPREFIX/drive_c
    product="$drive/Vantrel Suite"
    windows=$drive/WINNT
    package="$drive/Hot Fix 7"
}

# Neither root is where the program would guess it: files there prove that it read both from the registry.
nameTheRoots() {
    regAdd 'HKLM\SOFTWARE\Vantrel Software' /v QXINSTALLDIR /t REG_SZ /d 'C:\Vantrel Suite'
    regAdd 'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion' /v PathName /t REG_SZ /d 'C:\WINNT'
}

# The program and the Qt it needs, in the package folder: placeProgram <hotfix-installer.exe> <Qt prefix>
placeProgram() {
    mkdir -p "$package/platforms" "$package/styles"
    cp "$1" "$2/bin/Qt6Core.dll" "$2/bin/Qt6Gui.dll" "$2/bin/Qt6Widgets.dll" "$package/"
    cp "$2/plugins/platforms/qwindows.dll" "$package/platforms/"
    cp "$2/plugins/styles/qwindowsvistastyle.dll" "$package/styles/"
}
