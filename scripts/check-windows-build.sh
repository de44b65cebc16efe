#!/usr/bin/env bash
# Checks on Linux what can be checked of the Windows build without Qt for Windows: the resource script compiles
# with the MinGW resource compiler, and every source file, Q_OS_WIN branches included, compiles (syntax and
# types) with the MinGW cross compiler against this machine's Qt and OpenSSL headers. Linking needs Qt and
# OpenSSL built for Windows, so it is not done here; the README's Windows recipe covers the real build.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --windows

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "Resource script:"
x86_64-w64-mingw32-windres -I resources resources/ZorvikCertUtil.rc -O coff -o "$work/resources.o"
echo "  resources/ZorvikCertUtil.rc compiles"

# OpenSSL's public headers with the Linux package's configuration header beside them.
mkdir -p "$work/include/openssl"
cp /usr/include/openssl/*.h "$work/include/openssl/"
cp /usr/include/"$(gcc -dumpmachine)"/openssl/*.h "$work/include/openssl/"
qt=$(pkg-config --variable=includedir Qt6Core)

echo "Sources:"
failed=0
while IFS= read -r source; do
    if x86_64-w64-mingw32-g++-posix -std=c++17 -fsyntax-only -Wall -Wextra -Wno-attributes -DUNICODE -D_UNICODE \
        -DOPENSSL_API_COMPAT=30000 -DOPENSSL_NO_DEPRECATED -DQT_NO_FOREACH -I. -I"$qt" -I"$qt/QtCore" -I"$qt/QtGui" \
        -I"$qt/QtWidgets" -I"$work/include" "$source" 2>"$work/errors"; then
        echo "  $source"
    else
        failed=1
        echo "  $source FAILED"
        cat "$work/errors"
    fi
done < <(git ls-files 'app/*.cpp' 'certengine/*.cpp' 'crypto/*.cpp' 'history/*.cpp' 'signengine/*.cpp' 'wizard/*.cpp' 'tools/*.cpp')
exit $failed
