#!/usr/bin/env bash
# Builds Qt (qtbase: Core, Gui, Widgets, Test) as DLLs for x86_64 mingw-w64 from Debian's own qt6-base source,
# the same version as the host's qt6-base-dev, whose moc/rcc/uic the cross build runs. Debian ships no Qt for
# mingw-w64, and the build takes long, so the result is kept in a cache outside the clone that fresh clones
# and later runs reuse. Messages go to stderr; the install prefix is the only line on stdout:
#   QT=$(scripts/build-qt-mingw.sh)
#   cmake --preset mingw -DCMAKE_PREFIX_PATH="$QT"
# The toolchain's CMAKE_FIND_ROOT_PATH must include "$QT" too, or find_package(Qt6) looks only under the
# mingw root. Under Wine the programs find the DLLs through WINEPATH="$QT/bin"; Wine hides QT_* variables
# from Windows programs, so QT_QPA_PLATFORM=offscreen is passed as WINEQT_QPA_PLATFORM=offscreen.
#
# Environment:
#   HOTFIX_QT_MINGW_CACHE   cache folder (default /var/cache/hotfix/qt-mingw)
#   HOTFIX_QT_MINGW_JOBS    parallel build jobs (default: all cores); run the script under nice on shared machines
#   HOTFIX_QT_MINGW_KEEP_WORK=1  keep the source and build tree after a successful build
#   HOTFIX_QT_MINGW_TARBALLS  folder of ready cache entries, each <cache key>.tar.xz as this script's own
#                           cache folder packed (default: ../shared/qt-mingw beside the clone); an entry
#                           whose name is the key computed here is unpacked instead of building. It is a
#                           cache, not a dependency: without it Qt is built as usual.
#   HOTFIX_DEBIAN_MIRROR    archive to fetch the source package from (default: the Debian archive that the
#                           machine's own apt sources name for the suite)
#   HOTFIX_DEBIAN_SUITE     Debian suite (default: the machine's, from /etc/os-release, else bookworm)
#
# Cache layout, one folder per Qt version and set of options:
#   <cache>/6.4.2-<hash>/prefix/           the install prefix: bin/Qt6Core.dll, plugins/platforms/qwindows.dll, ...
#   <cache>/6.4.2-<hash>/toolchain.cmake   the toolchain Qt was built with (the prefix's qt.toolchain.cmake loads it)
#   <cache>/6.4.2-<hash>/options.txt       what went into the hash
#   <cache>/6.4.2-<hash>/complete          written last: without it the build counts as unfinished and is redone
#   <cache>/6.4.2-<hash>/work/             source and build tree while building; an interrupted build resumes here
set -euo pipefail

say() { echo "build-qt-mingw: $*" >&2; }
die() { say "error: $*"; exit 1; }

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
project_toolchain=$repo/cmake/toolchains/mingw-w64-x86_64.cmake
cache_root=${HOTFIX_QT_MINGW_CACHE:-/var/cache/hotfix/qt-mingw}
jobs=${HOTFIX_QT_MINGW_JOBS:-$(nproc)}
tarballs=${HOTFIX_QT_MINGW_TARBALLS:-$repo/../shared/qt-mingw}
suite=${HOTFIX_DEBIAN_SUITE:-$(. /etc/os-release 2> /dev/null && echo "${VERSION_CODENAME:-}")}
suite=${suite:-bookworm}
# Bump when the way Qt is built changes in a way the options below do not show, so old caches are not reused.
recipe=1

# --- Prerequisites ------------------------------------------------------------------------------------------
missing=()
for tool in cmake ninja apt-get dpkg-source flock x86_64-w64-mingw32-g++-posix; do
    command -v "$tool" > /dev/null || missing+=("$tool")
done
[[ -x /usr/lib/qt6/libexec/moc ]] || missing+=("/usr/lib/qt6/libexec/moc")
if (( ${#missing[@]} )); then
    die "missing ${missing[*]}; the Debian packages are cmake ninja-build dpkg-dev g++-mingw-w64-x86-64-posix qt6-base-dev"
fi
[[ -f $project_toolchain ]] || die "no toolchain file at $project_toolchain"

# The cross build uses the host's moc/rcc/uic, which must be the same Qt version as the source.
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2> /dev/null) || die "qt6-base-dev is not installed"
qt_version=${host_version#*:}
qt_version=${qt_version%%[+~-]*}

# --- Options and cache key ----------------------------------------------------------------------------------
# The project's toolchain without the Wine emulator (Qt's configure would try to run its tests through it).
# Plugins are MODULE libraries, which the project's toolchain does not cover: they get the static compiler
# runtime too, so that no mingw DLL (libstdc++, libgcc_s, libwinpthread) is needed beside the program.
toolchain_text=$(grep -v 'CMAKE_CROSSCOMPILING_EMULATOR' "$project_toolchain"
    printf '\n# Added for the Qt build: plugins, too, carry the compiler runtime.\n'
    printf 'set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")\n')

# Shared: Qt is LGPL-3, and DLLs beside the program keep it replaceable without further steps.
options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    # Modules the program does not use; testlib stays, as the widget tests use QtTest.
    -DFEATURE_sql=OFF
    -DFEATURE_network=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_opengl=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_testlib=ON
    # Qt's bundled copies: there are no mingw builds of these on Debian.
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_libb2=OFF
    -DFEATURE_system_textmarkdownreader=OFF
    # Nothing from the host may leak in through pkg-config, and there is no bundled zstd or ICU.
    -DFEATURE_pkg_config=OFF
    -DFEATURE_zstd=OFF
    -DFEATURE_icu=OFF
    # Debian's source lacks wintab.h (removed for its licence).
    -DFEATURE_tabletevent=OFF
    # With OpenGL off, 6.4.2's Windows platform plugin does not compile otherwise.
    -DFEATURE_dynamicgl=OFF
    # A Debian patch enables it when cross-compiling; it is of no use here.
    -DFEATURE_androiddeployqt=OFF
)
hash=$(printf '%s\n' "recipe $recipe" "qt6-base $host_version" "${options[@]}" "$toolchain_text" |
    sha256sum | cut -c1-12)
entry=$cache_root/$qt_version-$hash
prefix=$entry/prefix

if [[ -f $entry/complete ]]; then
    say "using the cached Qt $qt_version in $prefix"
    echo "$prefix"
    exit 0
fi

mkdir -p "$entry" 2> /dev/null || die "cannot create $entry; set HOTFIX_QT_MINGW_CACHE to a writable folder"
[[ -w $entry ]] || die "$entry is not writable; set HOTFIX_QT_MINGW_CACHE to a writable folder"

# Two builds of the same entry at once (parallel CI jobs) would spoil each other: the second waits.
exec 9> "$entry/lock"
if ! flock -n 9; then
    say "another build of $entry is running; waiting for it"
    flock 9
fi
if [[ -f $entry/complete ]]; then
    say "using the Qt $qt_version just built in $prefix"
    echo "$prefix"
    exit 0
fi

# --- A ready entry ------------------------------------------------------------------------------------------
# The same folder that a build here would make, packed on another machine under its key: unpacked beside the
# entry, checked, and moved in with "complete" last.
tarball=$tarballs/$(basename "$entry").tar.xz
if [[ -f $tarball ]]; then
    say "unpacking the ready Qt $qt_version from $tarball"
    unpacked=$(mktemp -d "$cache_root/.unpack.XXXXXX")
    if tar -xJf "$tarball" -C "$unpacked" --no-same-owner --no-same-permissions &&
        [[ -f $unpacked/$(basename "$entry")/complete && -f $unpacked/$(basename "$entry")/prefix/bin/Qt6Core.dll ]]; then
        from=$unpacked/$(basename "$entry")
        rm -rf "$prefix" "$entry/work"
        mv "$from/prefix" "$prefix"
        cp "$from/toolchain.cmake" "$from/options.txt" "$entry/"
        mv "$from/complete" "$entry/complete"
        rm -rf "$unpacked"
        say "using the ready Qt $qt_version in $prefix"
        echo "$prefix"
        exit 0
    fi
    rm -rf "$unpacked"
    say "$tarball is not a complete entry of this cache; building instead"
fi

# The Debian archive that the machine's own apt sources name for the suite, unless one is given.
mirror=${HOTFIX_DEBIAN_MIRROR:-}
if [[ -z $mirror ]]; then
    mirror=$(apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 'Identifier: Packages' 2> /dev/null |
        awk -v suite="$suite" '$1 == suite { print $2; exit }')
fi
[[ -n $mirror ]] ||
    die "the machine's apt sources name no archive for $suite; set HOTFIX_DEBIAN_MIRROR to one that has its sources"

work=$entry/work
mkdir -p "$work"
printf '%s\n' "$toolchain_text" > "$entry/toolchain.cmake"
printf '%s\n' "recipe $recipe" "qt6-base $host_version" "${options[@]}" > "$entry/options.txt"

# --- Source -------------------------------------------------------------------------------------------------
src=$work/qt6-base-src
if [[ ! -f $work/source-unpacked ]]; then
    say "fetching Debian's source package qt6-base $host_version from $mirror ($suite)"
    # A private apt configuration, so that the machine's own sources and package lists stay untouched.
    apt_dir=$work/apt
    rm -rf "$apt_dir" "$work/download"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/sources.list.d" "$work/download"
    : > "$apt_dir/sources.list"
    cat > "$apt_dir/sources.list.d/debian-src.sources" << EOF
Types: deb-src
URIs: $mirror
Suites: $suite $suite-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt_options=(
        -o "Dir::Etc::sourcelist=$apt_dir/sources.list"
        -o "Dir::Etc::sourceparts=$apt_dir/sources.list.d"
        -o "Dir::State::Lists=$apt_dir/lists"
        -o "Dir::Cache::pkgcache="
        -o "Dir::Cache::srcpkgcache="
        -o "APT::Sandbox::User=$(id -un)"
    )
    apt-get "${apt_options[@]}" -qq update >&2 || die "apt-get update of the private source list failed"
    (cd "$work/download" && apt-get "${apt_options[@]}" -qq source "qt6-base=$host_version") > "$work/source.log" 2>&1 ||
        { tail -n 20 "$work/source.log" >&2; die "apt-get source qt6-base=$host_version failed"; }
    rm -rf "$src"
    unpacked=$(find "$work/download" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*')
    [[ -n $unpacked && -f $unpacked/CMakeLists.txt ]] || die "the source package did not unpack"
    mv "$unpacked" "$src"
    rm -rf "$work/download" "$apt_dir"
    touch "$work/source-unpacked"
fi

# --- Configure ----------------------------------------------------------------------------------------------
build=$work/build
say "configuring Qt $qt_version for x86_64 mingw-w64 (log: $work/configure.log)"
cmake -S "$src" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$entry/toolchain.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    "${options[@]}" > "$work/configure.log" 2>&1 ||
    { { grep -E -A8 'CMake Error' "$work/configure.log" || tail -n 20 "$work/configure.log"; } | head -n 60 >&2 || true; die "configure failed; see $work/configure.log"; }

# --- Build --------------------------------------------------------------------------------------------------
# Ninja's [n/N] lines, one in a hundred, show the progress without flooding the log.
say "building with $jobs jobs (about 1,100 steps; log: $work/build.log)"
start=$SECONDS
set +e
ninja -C "$build" -j "$jobs" 2>&1 | tee "$work/build.log" |
    awk '/^\[[0-9]+\/[0-9]+\]/ { step = $1; gsub(/[][]/, "", step); split(step, n, "/"); if (n[1] % 100 == 0 || n[1] == n[2]) {
             print "build-qt-mingw:   " $1; fflush() } }' >&2
status=${PIPESTATUS[0]}
set -e
if (( status != 0 )); then
    { grep -E -A15 '^FAILED:' "$work/build.log" || tail -n 5 "$work/build.log"; } | head -n 80 >&2 || true
    die "the build failed; see $work/build.log (run the script again to resume)"
fi
say "built in $(( (SECONDS - start) / 60 )) min"

# --- Install ------------------------------------------------------------------------------------------------
# Stripped: the symbol tables would add about a third to the DLLs the program ships with.
say "installing into $prefix"
rm -rf "$prefix"
cmake --install "$build" --strip > "$work/install.log" 2>&1 ||
    { tail -n 20 "$work/install.log" >&2; die "install failed; see $work/install.log"; }

[[ ${HOTFIX_QT_MINGW_KEEP_WORK:-0} == 1 ]] || rm -rf "$work"
date -u +%FT%TZ > "$entry/complete"
say "done: Qt $qt_version for mingw-w64 in $prefix"
echo "$prefix"
