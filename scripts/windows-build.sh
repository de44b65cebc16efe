#!/usr/bin/env bash
# Cross-builds the program and its tests for 64-bit Windows with Debian's MinGW-w64, against Qt 6.4 and
# OpenSSL 3.0 built for Windows (the toolchain bundle).
#   scripts/windows-build.sh [BUILD_DIR]      default build-win/
# The bundle is taken from ../shared/toolchains/win64-qt6/ beside the repository (or WINTOOL_BUNDLE_DIR) when it
# is there, checked against its SHA-256 and unpacked once into BUILD_DIR/wintool/. Without it the bundle is
# rebuilt from Debian's source packages by scripts/windows-toolchain.sh (about 20 minutes on two cores, needs
# root). A Qt 6 cross build runs the host's moc, rcc and uic, which must be of the bundle's Qt version (Debian 12's
# qt6-base-dev-tools, 6.4.2).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --windows

build_dir=${1:-build-win}
bundle_dir=${WINTOOL_BUNDLE_DIR:-../shared/toolchains/win64-qt6}
bundle_name=win64-qt6.4.2-openssl3.tar.xz
wintool=$build_dir/wintool
mkdir -p "$build_dir"

if [ -f "$bundle_dir/$bundle_name" ]; then
    expected=$(cut -d' ' -f1 "$bundle_dir/$bundle_name.sha256")
    if [ "$(cat "$wintool/.unpacked" 2>/dev/null || true)" != "$expected" ]; then
        actual=$(sha256sum "$bundle_dir/$bundle_name" | cut -d' ' -f1)
        if [ "$actual" != "$expected" ]; then
            echo "windows-build.sh: $bundle_dir/$bundle_name does not match its checksum" >&2
            exit 1
        fi
        echo "Unpacking $bundle_name into $wintool"
        rm -rf "$wintool"
        mkdir -p "$wintool"
        tar -C "$wintool" -xJf "$bundle_dir/$bundle_name"
        echo "$expected" >"$wintool/.unpacked"
    fi
elif [ ! -f "$wintool/.rebuilt" ]; then
    echo "No toolchain bundle in $bundle_dir: rebuilding it from Debian's sources into $wintool"
    rm -rf "$wintool"
    WINTOOL=$PWD/$wintool ./scripts/windows-toolchain.sh
    date -u +%FT%TZ >"$wintool/.rebuilt"
fi

# The bundle's Qt carries no translations; Qt's Chinese catalogues of the same version come from Debian's
# qt6-translations-l10n into the bundle's prefix, where its Qt looks for them (the tests under Wine) and where the
# installation takes them from.
mkdir -p "$wintool/prefix/translations"
cp /usr/share/qt6/translations/{qt,qtbase,qtmultimedia}_zh_CN.qm "$wintool/prefix/translations/"

options=(-DCMAKE_TOOLCHAIN_FILE="$PWD/$wintool/mingw64-toolchain.cmake" -DCMAKE_BUILD_TYPE=Release
         -DCERTUTIL_WERROR=ON)
command -v ccache >/dev/null 2>&1 && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build_dir" "${options[@]}"
cmake --build "$build_dir" --parallel "$(nproc)"
