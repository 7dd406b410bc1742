#!/usr/bin/env bash
# Lets the Wine prefix in WINEPREFIX find Wine's own fonts: tools/wine-fonts.sh [<wine>]
# Debian's Wine looks for them in a folder it cannot open, so Marlett (the title bars' close boxes), Tahoma
# and MS Sans Serif are never found and every face falls back to Liberation Sans. The folder is named to
# Wine as a Windows path: a Unix one is not read. Programs started in the prefix should also be given Qt's
# FreeType engine (WINEQT_QPA_PLATFORM=windows:fontengine=freetype): Wine's glyph boxes for the fallback
# face start a pixel right of the stem, and Qt's GDI glyph cache then crops the capital "I" away.
set -euo pipefail
wine=${1:-wine}
fonts=/usr/share/wine/fonts
: "${WINEPREFIX:?WINEPREFIX must be set}"
if [[ ! -f $fonts/marlett.ttf ]]; then
    echo "wine-fonts: no Wine fonts in $fonts (package fonts-wine); title bars will lack their symbols" >&2
    exit 0
fi
"$wine" reg add 'HKCU\Software\Wine\Fonts' /v Path /t REG_SZ /d "Z:${fonts//\//\\}" /f < /dev/null > /dev/null 2>&1 9>&-
