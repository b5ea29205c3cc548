#!/usr/bin/env bash
# Runs every fuzz target of a build made with -DKAVODA_FUZZ=ON on its seed
# corpus (fuzz/corpus/NAME) for a bounded number of inputs, or for a time.
# Usage: tests/ci/fuzz.sh BUILD_FOLDER [SECONDS_PER_TARGET]
# New inputs go to a scratch corpus, never into the tree; a crash leaves its
# input in fuzz-findings/ at the top of the tree and fails the run.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "$1" && pwd -P)
seconds=${2:-}

# Inputs per target in CI: seconds each on two cores. The settings file and
# the image load go through real files for every input, so they get fewer.
runs_for() {
    case $1 in
        fuzz_settings | fuzz_image_load) echo 20000 ;;
        fuzz_hex_cell) echo 1000000 ;;
        *) echo 200000 ;;
    esac
}

# The settings file is saved with fsync; on tmpfs that costs nothing.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kavoda-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
findings="$(pwd -P)/fuzz-findings"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

targets=()
for target in "$build"/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] && targets+=("$target")
done
[ "${#targets[@]}" -gt 0 ] || { echo "no fuzz targets in $build/fuzz" >&2; exit 1; }
failed=0
for target in "${targets[@]}"; do
    name=$(basename "$target")
    seeds="fuzz/corpus/${name#fuzz_}"
    mkdir -p "$work/$name" "$findings"
    if [ -n "$seconds" ]; then
        limit=(-max_total_time="$seconds")
    else
        limit=(-runs="$(runs_for "$name")")
    fi
    log="$work/$name.log"
    status=0
    "$target" "${limit[@]}" -timeout=10 -artifact_prefix="$findings/$name-" \
        "$work/$name" "$seeds" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log" >&2
        echo "$name: FAILED (the input is in $findings)" >&2
        failed=1
    else
        grep -E '^Done [0-9]+ runs' "$log" | sed "s/^/$name: /"
        rmdir "$findings" 2>/dev/null || true
    fi
done
exit "$failed"
