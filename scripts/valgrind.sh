#!/usr/bin/env bash
# Runs test programs under valgrind's memcheck, from a Debug build without sanitizers in build-valgrind/.
#   scripts/valgrind.sh          the engine tests: log file, signing engine, certificate engine, history store
#   scripts/valgrind.sh --all    also the window tests (slow; their two-second modal timers may then run short)
# Fails on any memory error and on any block "definitely lost"; still-reachable memory (the providers and the
# toolkit's singletons, kept until the process ends) is not reported. Suppressions, each with its reason, are
# in scripts/valgrind.supp. Reports go to build-valgrind/valgrind/<test>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --valgrind

tests=(tst_logfile tst_base64 tst_signengine tst_certengine tst_historystore)
[ "${1:-}" = "--all" ] && tests+=(tst_shell)

build=$(pwd)/build-valgrind
suppressions=$(pwd)/scripts/valgrind.supp
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCERTUTIL_WERROR=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${tests[@]}"
mkdir -p "$build/valgrind"

export QT_QPA_PLATFORM=offscreen QT_QPA_PLATFORMTHEME= LC_ALL=C.UTF-8
failed=0
for test in "${tests[@]}"; do
    binary=$(find "$build/tests" -name "$test" -type f -perm -u+x | head -1)
    log="$build/valgrind/$test.log"
    if (cd "$(dirname "$binary")" && valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
        --errors-for-leak-kinds=definite --error-exitcode=99 --num-callers=40 --track-origins=yes \
        --suppressions="$suppressions" --log-file="$log" "$binary" >"$log.out" 2>&1); then
        echo "$test: clean ($(grep -o 'ERROR SUMMARY: [0-9]* errors' "$log"))"
    else
        echo "$test: FAILED, see $log and $log.out"
        failed=1
    fi
done
[ $failed -eq 0 ]
