#!/usr/bin/env bash
# Runs every test function of every CTest test program on its own, each in a fresh process with the environment
# and working directory that CTest gives the program, so that no function depends on what an earlier one left
# behind. Prints each failing function with its output and exits non-zero if any failed.
#   scripts/each-test-alone.sh BUILD_DIR
# Programs run side by side (one per processor); the functions of one program run one after another, as they
# may share files beside the program.
set -euo pipefail

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
build_dir=$1
command -v jq >/dev/null 2>&1 || { echo "$0 needs jq (scripts/install-deps.sh installs it)" >&2; exit 2; }

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

# One line per test program: its name, a tab, and a shell command prefix "cd WORKDIR && env VAR=... PROGRAM ARGS".
# Tests labelled "whole" are single checks, not QtTest programs with functions of their own.
ctest --test-dir "$build_dir" --show-only=json-v1 | jq -r '
    .tests[]
    | (.properties // []) as $properties
    | select([$properties[] | select(.name == "LABELS") | .value[]] | index("whole") | not)
    | ([$properties[] | select(.name == "ENVIRONMENT") | .value[]]) as $environment
    | ([$properties[] | select(.name == "WORKING_DIRECTORY") | .value][0] // ".") as $directory
    | "\(.name)\tcd \([$directory] | @sh) && env \($environment | @sh) \(.command | @sh)"
' >"$results/programs"

if [ ! -s "$results/programs" ]; then
    echo "no tests found in $build_dir" >&2
    exit 1
fi

run_program() {
    local name=${1%%$'\t'*} prefix=${1#*$'\t'} results=$2 functions function log status=0
    log=$(mktemp "$results/log.XXXXXX")
    if ! functions=$(bash -c "$prefix -functions" 2>"$log"); then
        { echo "FAIL $name: cannot list its functions"; cat "$log"; } >"$results/$name.failed"
        return 0
    fi
    for function in $functions; do
        function=${function%"()"}
        if ! bash -c "$prefix $function" >"$log" 2>&1; then
            { echo "FAIL $name $function"; tail -n 40 "$log"; echo; } >>"$results/$name.failed"
            status=1
        fi
    done
    [ $status -eq 0 ] && echo "ok   $name ($(echo "$functions" | wc -w) functions)"
    return 0
}
export -f run_program

tr '\n' '\0' <"$results/programs" | xargs -0 -P "$(nproc)" -I{} bash -c 'run_program "$1" "$2"' _ {} "$results"

failed=$(find "$results" -name '*.failed' | sort)
if [ -n "$failed" ]; then
    cat $failed
    echo "Some test functions fail when run alone." >&2
    exit 1
fi
echo "Every test function passes alone."
