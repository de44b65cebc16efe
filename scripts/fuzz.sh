#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs each for a while.
#   scripts/fuzz.sh                     every target for 10 seconds (CI gives each 5)
#   scripts/fuzz.sh 3600 base64 decrypt  the named targets (without the fuzz_ prefix) for an hour each
# What a run finds stays in build-fuzz/corpus/<target>/ and is the starting point of the next run; a crash,
# leak or timeout is written to build-fuzz/artifacts/ and makes the script fail. Reproduce one with
#   build-fuzz/fuzz/fuzz_<target> build-fuzz/artifacts/<file>
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --fuzz

seconds=${1:-10}
shift || true
all=(base64 signengine_pkcs12 signengine_der signengine_pem certengine_parse certengine_pkcs12 certengine_pem decrypt
    history_restore)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")

root=$(pwd)
build="$root/build-fuzz"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCERTUTIL_FUZZ=ON \
    -DCERTUTIL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target certutil_fuzzers

[ -d "$build/seeds" ] || { ./scripts/fuzz-corpus.sh "$build/seeds.new" && mv "$build/seeds.new" "$build/seeds"; }
mkdir -p "$build/artifacts" "$build/logs"

dictionary() {
    case "$1" in
    signengine_pkcs12 | signengine_der | certengine_pkcs12) echo "-dict=$root/fuzz/asn1.dict" ;;
    signengine_pem | certengine_parse | certengine_pem) echo "-dict=$root/fuzz/pem.dict" ;;
    history_restore) echo "-dict=$root/fuzz/json.dict" ;;
    esac
}

# Leaks are checked after every input that allocates more than it frees; the check at exit would only list the
# providers that the program loads once and keeps for its whole life.
export ASAN_OPTIONS=leak_check_at_exit=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1

failed=0
passed=0
printf '%-20s %14s %10s  %s\n' target executions exec/s result
for target in "${targets[@]}"; do
    binary="$build/fuzz/fuzz_$target"
    [ "$target" = history_restore ] && binary="$build/fuzz/history/fuzz_$target"
    [ -x "$binary" ] || { echo "no fuzz target named $target" >&2; exit 2; }
    mkdir -p "$build/corpus/$target"
    log="$build/logs/$target.log"
    result=ok
    suppressions=
    [ "$target" = history_restore ] && suppressions="suppressions=$root/fuzz/qtjson.lsan.supp"
    # -close_fd_mask hides the engines' log lines (written to standard error); libFuzzer's own report stays.
    # shellcheck disable=SC2046
    if ! LSAN_OPTIONS="$suppressions" "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/${target}-" $(dictionary "$target") "$build/corpus/$target" \
        "$build/seeds/$target" >"$log" 2>&1; then
        result="FAILED, see $log"
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    printf '%-20s %14s %10s  %s\n' "$target" "${runs:-?}" "${rate:-?}" "$result"
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ] || exit 1
