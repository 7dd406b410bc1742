#!/usr/bin/env bash
# Makes a demo workstation and a hot-fix package for it:
#   <out-dir>/prefix    a Wine prefix standing for the Windows machine: system.reg with QXINSTALLDIR and
#                       PathName, dosdevices/c: on drive_c and z: on /, the Vantrel product installed under
#                       C:\Program Files\Vantrel (one file read-only), and C:\windows with a system32 file
#   <out-dir>/package   the hot fix: Setup\ with both list files and the new files, and readme.htm
# By default the prefix is written by hand, which needs no Wine; Wine brings it up to date the first time a
# program runs in it. With --wineboot, Wine makes a complete prefix first (wine must be installed), so that
# registration scripts run at once.
#
#   tools/make-demo.sh [--wineboot] <out-dir>
set -euo pipefail

usage() {
    echo "usage: $0 [--wineboot] <out-dir>" >&2
    exit 2
}

wineboot=false
out=
for argument in "$@"; do
    case "$argument" in
        --wineboot) wineboot=true ;;
        -*) usage ;;
        *) [[ -z "$out" ]] || usage; out=$argument ;;
    esac
done
[[ -n "$out" ]] || usage

mkdir -p "$out"
out=$(cd "$out" && pwd)
prefix="$out/prefix"
package="$out/package"
product="$prefix/drive_c/Program Files/Vantrel"
windows="$prefix/drive_c/windows"

# The demo's libraries are real ones, built with mingw-w64, that regsvr32 registers as it would the product's:
# each exports DllRegisterServer and DllUnregisterServer, and carries its description as data.
#   library <path> <description>
command -v x86_64-w64-mingw32-gcc > /dev/null ||
    { echo "make-demo: x86_64-w64-mingw32-gcc is missing: scripts/ensure-packages.sh demo installs it" >&2; exit 1; }
sources=$(mktemp -d)
trap 'rm -rf "$sources"' EXIT
library() {
    local path=$1 description=$2
    mkdir -p "$(dirname "$path")"
    rm -f "$path"
    {
        printf '#include <windows.h>\n'
        printf '__declspec(dllexport) const char kDescription[] = "%s";\n' "$description"
        printf '__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) { return S_OK; }\n'
        printf '__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) { return S_OK; }\n'
    } > "$sources/library.c"
    x86_64-w64-mingw32-gcc -shared -O1 -s -o "$path" "$sources/library.c"
}

# Writes a file with CR LF line ends, as the Windows tools that made these files would; a read-only file
# left by an earlier run is replaced.
put() {
    local path=$1
    shift
    mkdir -p "$(dirname "$path")"
    rm -f "$path"
    printf '%s\r\n' "$@" > "$path"
}

if $wineboot; then
    command -v wine > /dev/null || { echo "make-demo: --wineboot needs wine on the PATH" >&2; exit 1; }
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i > /dev/null 2>&1
    "$(dirname "$0")/wine-fonts.sh"
    wine reg add 'HKLM\Software\Vantrel Software' /v QXINSTALLDIR /t REG_SZ \
        /d 'C:\Program Files\Vantrel' /f > /dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' /v PathName /t REG_SZ \
        /d 'C:\windows' /f > /dev/null 2>&1
    # The registry reaches system.reg when Wine's server ends.
    wineserver -w
else
    mkdir -p "$prefix/dosdevices" "$prefix/drive_c"
    ln -sfn ../drive_c "$prefix/dosdevices/c:"
    ln -sfn / "$prefix/dosdevices/z:"
    cat > "$prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Microsoft\\Windows NT\\CurrentVersion] 1796628201
"CurrentVersion"="5.0"
"PathName"="C:\\windows"
"SystemRoot"="C:\\windows"

[Software\\Vantrel Software] 1796628201
"QXINSTALLDIR"="C:\\Program Files\\Vantrel"
REG
fi

# The installed product and the Windows folder.
library "$product/Bin/Engine.dll" "Vantrel engine 5.1.0 (installed)"
library "$product/Bin/Report.dll" "Vantrel report writer 5.1.0 (installed, read-only)"
chmod a-w "$product/Bin/Report.dll"
put "$product/Common/Help.txt" "Vantrel help 5.1.0 (installed)"
library "$windows/system32/vtrlhook.dll" "Vantrel system hook 5.1.0 (installed)"

# The hot fix. The product list spells one folder in another case than the workstation does, and names
# a library that is not installed yet.
put "$package/Setup/InstallPatch.BLR" \
    'Vantrel\Bin\Engine.dll, Vantrel\bin\Report.dll, Common\Help.txt, Vantrel\Bin\Viewer.dll'
put "$package/Setup/InstallWinPatch.BLR" 'system32\vtrlhook.dll'
library "$package/Setup/Vtrl/Vantrel/Bin/Engine.dll" "Vantrel engine 5.1.1 (hot fix 2005.5.1)"
library "$package/Setup/Vtrl/Vantrel/Bin/Report.dll" "Vantrel report writer 5.1.1 (hot fix 2005.5.1)"
library "$package/Setup/Vtrl/Vantrel/Bin/Viewer.dll" "Vantrel viewer 5.1.1 (new with hot fix 2005.5.1)"
put "$package/Setup/Vtrl/Common/Help.txt" "Vantrel help 5.1.1 (hot fix 2005.5.1)"
library "$package/Setup/Othr/system32/vtrlhook.dll" "Vantrel system hook 5.1.1 (hot fix 2005.5.1)"
put "$package/readme.htm" \
    '<html>' \
    '<head><title>Vantrel Hot Fix 2005.5.1</title></head>' \
    '<body>' \
    '<h1>Vantrel Hot Fix 2005.5.1</h1>' \
    '<p>This hot fix corrects the report writer and the system hook of the Vantrel product family.</p>' \
    '<ul>' \
    '<li>Reports with more than 255 pages print their last page again.</li>' \
    '<li>The engine no longer stops when a network drive goes away.</li>' \
    '<li>A new viewer opens reports without the report writer.</li>' \
    '</ul>' \
    '<table border="1">' \
    '<tr><th>File</th><th>Folder</th><th>Version</th></tr>' \
    '<tr><td>Engine.dll</td><td>Vantrel\Bin</td><td>5.1.1</td></tr>' \
    '<tr><td>Report.dll</td><td>Vantrel\Bin</td><td>5.1.1</td></tr>' \
    '<tr><td>Viewer.dll</td><td>Vantrel\Bin</td><td>5.1.1 (new)</td></tr>' \
    '<tr><td>Help.txt</td><td>Common</td><td>5.1.1</td></tr>' \
    '<tr><td>vtrlhook.dll</td><td>system32</td><td>5.1.1</td></tr>' \
    '</table>' \
    '</body>' \
    '</html>'

echo "make-demo: workstation $prefix"
echo "make-demo: package     $package"
