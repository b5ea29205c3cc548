#!/usr/bin/env bash
# Everything CI proves on every change, from the top of a checkout, as root
# on Debian 12 with packaging/debian-packages.txt installed:
#   1. the build, and the whole suite twice in a row (ctest -j2), leaving
#      nothing behind in TMPDIR;
#   2. the same suite as an unprivileged user, where no test may skip;
#   3. the Debian package from that build, installed with apt-get, its
#      programs run, and removed again;
#   4. a clang build with AddressSanitizer and UndefinedBehaviorSanitizer,
#      the whole suite in it (any report fails), and the fuzz targets for a
#      bounded number of inputs.
set -euo pipefail
cd "$(dirname "$0")/../.."
here=$(pwd -P)
ci=tests/ci
start=$SECONDS

stage() { printf '\n==== %s (at %ds)\n' "$*" $((SECONDS - start)); }
fail() { printf 'CI FAILED: %s\n' "$*" >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kavoda-ci-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Runs the suite of a build folder with TMPDIR pointed at an empty folder,
# and fails when a test leaves anything there.
suite() {
    local build=$1 tmp status=0
    tmp=$(mktemp -d "$scratch/tmp-XXXXXX")
    TMPDIR="$tmp" ctest --test-dir "$build" -j2 --output-on-failure || status=$?
    if [ -n "$(ls -A "$tmp")" ]; then
        ls -lAR "$tmp" >&2
        fail "tests left files in TMPDIR"
    fi
    return "$status"
}

stage "build"
cmake -S . -B build
cmake --build build -j2

stage "tests"
suite build
stage "tests, second run"
suite build

stage "tests as an unprivileged user"
"$ci/unprivileged.sh" build

stage "Debian package"
"$ci/package.sh" build

stage "sanitizer build (clang, ASan + UBSan, fuzz targets)"
cmake -S . -B build-asan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DKAVODA_SANITIZE=ON -DKAVODA_FUZZ=ON -DKAVODA_BUILD_BENCH=OFF
cmake --build build-asan -j2

stage "tests under the sanitizers"
# Reports go to files, so that one in any process (a child a test forks
# included) fails the run even when its exit status goes unseen.
reports="$scratch/sanitizer-reports"
mkdir "$reports"
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_string_checks=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="suppressions=$here/$ci/lsan.supp"
status=0
suite build-asan || status=$?
if [ -n "$(ls -A "$reports")" ]; then
    cat "$reports"/* >&2
    fail "sanitizer reports"
fi
[ "$status" -eq 0 ] || fail "tests under the sanitizers"
unset ASAN_OPTIONS UBSAN_OPTIONS

stage "fuzzing"
"$ci/fuzz.sh" build-asan

stage "all passed"
printf 'CI took %d s\n' $((SECONDS - start))
