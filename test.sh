#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite headless.
#   ./test.sh              the normal build on Qt 6, in build/
#   ./test.sh --qt5        the same suite on Qt 5.15, in build-qt5/
#   ./test.sh --sanitize   the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#   ./test.sh --windows    the program and its tests cross-built for Windows on Qt 6, in build-win/
#                          (scripts/windows-build.sh); the tests, the zip and the installer run under Wine
#   ./test.sh --tsan       the tests of the threaded code (log, signing engine, tool windows) under ThreadSanitizer,
#                          in build-tsan/. Qt is not instrumented, so what Qt's own code reads and writes is left
#                          out (ignore_noninstrumented_modules, tests/tsan.supp); the program's own threads and
#                          data are checked.
set -euo pipefail
cd "$(dirname "$0")"
if [ "${1:-}" = "--windows" ]; then
    ./scripts/windows-build.sh build-win
    ctest --test-dir build-win --output-on-failure --parallel "$(nproc)"
    exit
fi
deps=()
[ "${1:-}" = "--qt5" ] && deps=(--qt5)
./scripts/install-deps.sh "${deps[@]}"

build_dir=build
options=(-DCMAKE_BUILD_TYPE=Debug -DCERTUTIL_WERROR=ON)
targets=()
tests=()
case "${1:-}" in
--qt5)
    build_dir=build-qt5
    options+=(-DCERTUTIL_QT_MAJOR=5)
    ;;
--sanitize)
    build_dir=build-asan
    options+=(-DCERTUTIL_SANITIZE=ON)
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    ;;
--tsan)
    build_dir=build-tsan
    options+=("-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread)
    # Qt 6's QProcess starts the openssl command in a way ThreadSanitizer calls a fork of a threaded process;
    # the child only runs the command, so it may go on.
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:die_after_fork=0:suppressions=$PWD/tests/tsan.supp
    targets=(--target tst_logfile tst_signengine tst_tools)
    tests=(-R '^(tst_logfile|tst_signengine|tst_tools)$')
    ;;
esac

cmake -S . -B "$build_dir" "${options[@]}"
cmake --build "$build_dir" --parallel "$(nproc)" "${targets[@]}"
ctest --test-dir "$build_dir" --output-on-failure "${tests[@]}"
