#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds libTalveno, its two stand-in libraries and its unit tests as 32-bit
# Windows programs with Debian's MinGW-w64 compiler (cmake/mingw-w64-i686.cmake),
# checks that Talveno.dll exports exactly the committed list, and runs the suite
# under Wine. The programs under tools/ need Qt SerialBus and are not built.
# Needs root on an x86-64 Debian bookworm machine: it adds the i386 architecture
# for Wine's 32-bit half and installs what it lacks of its packages.
#
# Qt 5 Core and Test for the target are built once from Debian's own qtbase
# source package, fetched with apt-get source through an apt directory of this
# script's own (the machine's apt sources stay as they are), and kept outside the
# clone, keyed by the Qt version, the compiler and the configure options; later
# runs reuse that build. Only the modules the library and its tests use are
# built, in release mode without debug information.
#
# Usage: scripts/check-win32.sh
# Environment: TALVENO_WIN32_BUILD (default build/win32) is the build tree, with
# Wine's prefix in it; TALVENO_QT_MINGW_CACHE (default /var/cache/talveno/qt5-mingw32)
# keeps the Qt builds; TALVENO_DEBIAN_MIRROR overrides the archive read from apt's
# sources; TALVENO_JOBS sets the build parallelism (default 2).
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$source_dir/scripts/debian-archive.sh"
build=$(realpath -m "${TALVENO_WIN32_BUILD:-$source_dir/build/win32}")
cache=$(realpath -m "${TALVENO_QT_MINGW_CACHE:-/var/cache/talveno/qt5-mingw32}")
jobs=${TALVENO_JOBS:-2}
suite=bookworm
triplet=i686-w64-mingw32
# Wine's 32-bit loader is an i386 package; the posix thread model's runtime has
# std::thread.
packages=(g++-mingw-w64-i686-posix dpkg-dev wine wine32:i386)

qt_source_package=qtbase-opensource-src
qt_version=5.15.8
# Corelib asks for -O3 of its own; -O2 is as fast for the tests and builds sooner.
qt_options=(-opensource -confirm-license -release -shared
    -xplatform win32-g++ -device-option CROSS_COMPILE=$triplet-
    -no-gui -no-widgets -no-opengl -no-dbus -no-icu -qt-zlib -qt-pcre
    -no-feature-network -no-feature-xml -no-feature-sql -no-feature-concurrent
    -nomake examples -nomake tests QMAKE_CFLAGS_OPTIMIZE_FULL=-O2)

if [[ "$(id -u)" -ne 0 ]]; then
    echo "check-win32: needs root to install packages and to add the i386 architecture" >&2
    exit 2
fi
if [[ "$(dpkg --print-architecture)" != amd64 ]]; then
    echo "check-win32: needs an x86-64 (amd64) Debian machine" >&2
    exit 2
fi

started=$SECONDS
step() {
    echo "check-win32: $* after $((SECONDS - started)) s"
}

ensure_packages() {
    local missing=() package status
    for package in "${packages[@]}"; do
        status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
        [[ "$status" == "install ok installed" ]] || missing+=("$package")
    done
    ((${#missing[@]} > 0)) || return 0
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    echo "check-win32: installing ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

ensure_packages
step "packages ready"

compiler_version=$(dpkg-query -W -f='${Version}' g++-mingw-w64-i686-posix)
recipe="$qt_source_package $qt_version g++-mingw-w64-i686-posix $compiler_version ${qt_options[*]}"
key=$qt_version-$(printf '%s' "$recipe" | sha256sum | cut -c1-12)
qt_prefix=$cache/$key
# Written last into a finished Qt; a prefix without it is built again.
marker=$qt_prefix/.talveno-recipe

# One run at a time builds or reads the cache.
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

# Fetches and unpacks the source package (Debian's patches applied) into $1.
fetch_qt_source() {
    local work=$1 mirror apt
    mirror=$(debian_archive "$suite")
    mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
    cat >"$work/apt/sources.list.d/qtbase.sources" <<EOF
Types: deb-src
URIs: $mirror
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt=(apt-get -q -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt/sources.list.d"
        -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" -o APT::Sandbox::User=root)
    "${apt[@]}" update
    (cd "$work" && "${apt[@]}" source "$qt_source_package" >"$work/source.log")
}

# Runs a long quiet step with its output added to LOG; shows the end of it on
# failure.
logged() {
    local log=$1
    shift
    if ! "$@" >>"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "check-win32: failed; the whole output is in $log" >&2
        return 1
    fi
}

build_qt() {
    local work=$cache/work-$key qt_source tool
    rm -rf --one-file-system "$work" "$qt_prefix"
    mkdir -p "$work/bin" "$work/build"
    # The compiler under the name the Qt mkspec derives from CROSS_COMPILE,
    # whichever thread model the machine's alternatives chose.
    for tool in gcc g++ c++ cpp; do
        ln -s "/usr/bin/$triplet-$tool-posix" "$work/bin/$triplet-$tool"
    done
    fetch_qt_source "$work"
    qt_source=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "$qt_source_package-$qt_version*")
    if [[ ! -x "$qt_source/configure" ]]; then
        echo "check-win32: the archive's $qt_source_package is not Qt $qt_version" >&2
        exit 1
    fi
    step "Qt $qt_version source unpacked"
    (
        cd "$work/build"
        export PATH=$work/bin:$PATH MAKEFLAGS=-j$jobs
        logged "$work/configure.log" "$qt_source/configure" -prefix "$qt_prefix" "${qt_options[@]}"
        step "Qt configured"
        logged "$work/build.log" make sub-src-qmake_all
        logged "$work/build.log" make -C src sub-testlib sub-rcc
        step "Qt Core and Test built"
        logged "$work/install.log" make -C src sub-testlib-install_subtargets sub-rcc-install_subtargets
        logged "$work/install.log" make sub-qmake-qmake-aux-pro-install_subtargets install_mkspecs
    )
    echo "$recipe" >"$marker"
    rm -rf --one-file-system "$work"
}

if [[ -f "$marker" && "$(cat "$marker")" == "$recipe" ]]; then
    echo "check-win32: reusing Qt $qt_version in $qt_prefix"
else
    build_qt
fi
flock -u 9
step "Qt ready"

# A tree configured against another Qt build is made again.
if [[ -f "$build/CMakeCache.txt" ]] &&
    ! grep -qxF "Qt5Core_DIR:PATH=$qt_prefix/lib/cmake/Qt5Core" "$build/CMakeCache.txt"; then
    rm -rf --one-file-system "$build"
fi
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-i686.cmake" -DCMAKE_PREFIX_PATH="$qt_prefix" \
    -DTALVENO_SANITIZER= -DTALVENO_BUILD_TOOLS=OFF -DTALVENO_BUILD_BENCHMARKS=OFF
cmake --build "$build" --parallel "$jobs"
step "built"

# The Qt DLLs and the compiler's runtime DLLs, found by Wine through its PATH.
runtime_dirs=("$qt_prefix/bin")
for dll in libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll; do
    runtime_dirs+=("$(dirname "$(realpath "$("$triplet-g++-posix" -print-file-name="$dll")")")")
done
wine_path=$(printf 'Z:%s;' "${runtime_dirs[@]}")
export WINEPREFIX=$build/wine-prefix WINEARCH=win32 WINEDEBUG=-all WINEPATH=${wine_path%;}
# No prompts to install Wine's .NET and HTML engines, which nothing here uses.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine hands a program QT_ variables only under this name. On Windows, QtTest
# writes to the debugger instead of stdout unless stderr is a console.
export WINEQT_FORCE_STDERR_LOGGING=1
trap 'wineserver -k 2>/dev/null || true' EXIT
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    wineboot --init
    wineserver -w
fi
step "Wine ready"

(cd "$build" && ctest --output-on-failure --no-tests=error --timeout 600)
step "all tests passed as 32-bit Windows programs"
