#!/usr/bin/env bash
# Runs the suite of a build folder as an unprivileged user (nobody), so that
# the tests of unreadable and unwritable files run instead of skipping as
# they must under root. The user gets the build folder for the run (tests
# write beside their programs, and some name it by its absolute path) and
# passage to it; both are given back afterwards. Any test that skips as that
# user fails the run.
# Usage (as root): tests/ci/unprivileged.sh BUILD_FOLDER [USER]
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "run as root: it switches to an unprivileged user" >&2; exit 2; }
build=$(cd "$1" && pwd -P)
user=${2:-nobody}
group=$(id -gn "$user")
owner=$(stat -c %u:%g "$build")

opened=()
work=""
cleanup() {
    chown -R "$owner" "$build"
    for dir in "${opened[@]}"; do chmod o-x "$dir"; done
    [ -z "$work" ] || rm -rf "$work"
}
trap cleanup EXIT

# Passage (search, not listing) through the folders above the build and
# the source it names.
source=$(cd "$(dirname "$0")/../.." && pwd -P)
for start in "$build" "$source"; do
    dir=$start
    while [ "$dir" != / ]; do
        dir=$(dirname "$dir")
        if [ "$(( 0$(stat -c %a "$dir") & 1 ))" -eq 0 ]; then
            chmod o+x "$dir"
            opened+=("$dir")
        fi
    done
done
chown -R "$user:$group" "$build"

work=$(mktemp -d "${TMPDIR:-/tmp}/kavoda-unprivileged-XXXXXX")
chmod 755 "$work"
mkdir -p "$work/tmp" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
chown -R "$user:$group" "$work/tmp" "$work/home" "$work/runtime"

log="$work/ctest.log"
status=0
setpriv --reuid="$user" --regid="$group" --clear-groups \
    env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 HOME="$work/home" \
        TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    ctest --test-dir "$build" -j2 --output-on-failure 2>&1 | tee "$log" || status=$?
[ "$status" -eq 0 ] || { echo "tests failed as $user" >&2; exit 1; }
if grep -q "did not run" "$log"; then
    echo "tests skipped as $user, where every test must run:" >&2
    sed -n '/did not run/,$p' "$log" >&2
    exit 1
fi
if [ -n "$(ls -A "$work/tmp")" ]; then
    ls -lAR "$work/tmp" >&2
    echo "tests left files in TMPDIR as $user" >&2
    exit 1
fi
echo "every test ran and passed as $user"
