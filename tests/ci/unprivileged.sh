#!/usr/bin/env bash
# Runs the suite of a build folder as an unprivileged user (nobody), so that
# the tests of unreadable and unwritable files run instead of skipping as
# they must under root. Works on a copy of the build that user can read;
# any test that skips there fails the run.
# Usage (as root): tests/ci/unprivileged.sh BUILD_FOLDER [USER]
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "run as root: it switches to an unprivileged user" >&2; exit 2; }
build=$(cd "$1" && pwd -P)
user=${2:-nobody}
group=$(id -gn "$user")

source=$(cd "$(dirname "$0")/../.." && pwd -P)

# Some tests name files of the source and build folders by absolute path:
# give the user passage (search, not listing) through the folders above them
# for the run, and take it back afterwards.
opened=()
dir=$source
while [ "$dir" != / ]; do
    dir=$(dirname "$dir")
    if [ "$(( 0$(stat -c %a "$dir") & 1 ))" -eq 0 ]; then
        chmod o+x "$dir"
        opened+=("$dir")
    fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/kavoda-unprivileged-XXXXXX")
cleanup() {
    rm -rf "$work"
    for dir in "${opened[@]}"; do chmod o-x "$dir"; done
}
trap cleanup EXIT
chmod 755 "$work"
cp -a "$build" "$work/build"
# ctest's own files name the build folder by its absolute path.
old=$(printf '%s' "$build" | sed 's/[][\.*^$|&]/\\&/g')
new=$(printf '%s' "$work/build" | sed 's/[\|&]/\\&/g')
{ grep -rlF --include='*.cmake' --include='*.tcl' "$build" "$work/build" || true; } |
    xargs -r sed -i "s|$old|$new|g"
mkdir -p "$work/tmp" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
chown -R "$user:$group" "$work/build" "$work/tmp" "$work/home" "$work/runtime"

log="$work/ctest.log"
status=0
setpriv --reuid="$user" --regid="$group" --clear-groups \
    env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 HOME="$work/home" \
        TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    ctest --test-dir "$work/build" -j2 --output-on-failure 2>&1 | tee "$log" || status=$?
[ "$status" -eq 0 ] || { echo "tests failed as $user" >&2; exit 1; }
if grep -q "did not run" "$log"; then
    echo "tests skipped as $user, where every test must run:" >&2
    sed -n '/did not run/,$p' "$log" >&2
    exit 1
fi
echo "every test ran and passed as $user"
