#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite headless.
#   ./test.sh              the normal build, in build/
#   ./test.sh --sanitize   the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#   ./test.sh --windows    the program and its tests cross-built for Windows, in build-win/ (scripts/windows-build.sh);
#                          the tests, the zip and the installer run under Wine
set -euo pipefail
cd "$(dirname "$0")"
if [ "${1:-}" = "--windows" ]; then
    ./scripts/windows-build.sh build-win
    ctest --test-dir build-win --output-on-failure --parallel "$(nproc)"
    exit
fi
./scripts/install-deps.sh

build_dir=build
options=(-DCMAKE_BUILD_TYPE=Debug -DCERTUTIL_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
    build_dir=build-asan
    options+=(-DCERTUTIL_SANITIZE=ON)
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
fi

cmake -S . -B "$build_dir" "${options[@]}"
cmake --build "$build_dir" --parallel "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure
