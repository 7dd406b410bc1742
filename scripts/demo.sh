#!/usr/bin/env bash
# make demo: builds the installer, makes a demo workstation (a Wine prefix with the product installed) and a
# hot-fix package for it, copies the installer into the package folder (the installer's program folder is
# its package) and starts it there, on the demo workstation.
#   HOTFIX_BUILD_DIR   build folder (default build/dev)
#   HOTFIX_DEMO_DIR    where the workstation and the package are made (default build/demo)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${HOTFIX_BUILD_DIR:-build/dev}
demo=${HOTFIX_DEMO_DIR:-build/demo}

cmake --preset dev -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target hotfix-installer

if [[ ! -x tools/make-demo.sh ]]; then
    echo "demo: tools/make-demo.sh is missing, so there is no demo workstation to install on." >&2
    exit 1
fi
rm -rf "$demo"
tools/make-demo.sh "$demo"
cp "$build/src/app/hotfix-installer" "$demo/package/"

prefix=$(cd "$demo/prefix" && pwd)
installer=$(cd "$demo/package" && pwd)/hotfix-installer
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    cat <<MESSAGE
demo: there is no display to show the installer on (neither DISPLAY nor WAYLAND_DISPLAY is set).
The demo workstation and package are ready. Start the installer on a virtual display with
    xvfb-run -a env WINEPREFIX="$prefix" "$installer"
or run the whole demo that way:
    xvfb-run -a make demo
MESSAGE
    exit 0
fi
echo "demo: starting $installer on the workstation $prefix"
WINEPREFIX="$prefix" exec "$installer"
