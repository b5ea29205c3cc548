#!/usr/bin/env bash
# The Debian package as a user gets it, from a build folder (default: build),
# as root: made by CPack, installed with apt-get, the installed programs run,
# and removed again, also when a step fails.
set -euo pipefail
build=${1:-build}
cd "$build"

rm -f kavoda_*.deb
cpack -G DEB
debs=(kavoda_*.deb)
[ "${#debs[@]}" -eq 1 ] || { echo "expected one kavoda_*.deb, found: ${debs[*]}" >&2; exit 1; }
version=${debs[0]#kavoda_}
version=${version%%_*}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kavoda-package-XXXXXX")
trap 'DEBIAN_FRONTEND=noninteractive apt-get purge -y kavoda > /dev/null; rm -rf "$scratch"' EXIT
# A slim Debian image may tell dpkg to leave out manual pages; ours are checked.
DEBIAN_FRONTEND=noninteractive apt-get install -y \
    -o Dpkg::Options::=--path-include='/usr/share/man/man1/kavoda*' "./${debs[0]}"

check() {
    local expected=$1
    shift
    local got
    got=$("$@")
    [ "$got" = "$expected" ] || { printf '%s printed "%s", not "%s"\n' "$*" "$got" "$expected" >&2; exit 1; }
}
# Debian's hardening on both installed programs. Debian 12's C start files
# carry no control-flow protection marker, so no program linked there gets
# one; the window has no call that fortifying could check (see
# packaging/lintian-overrides).
hardening-check --nocfprotection /usr/bin/kavoda-cli
hardening-check --nocfprotection --nofortify /usr/bin/kavoda
# No lintian tag at info level or above, overrides aside.
lintian --fail-on error,warning,info --info "${debs[0]}"

check "kavoda-cli $version" /usr/bin/kavoda-cli --version
check "kavoda $version" /usr/bin/kavoda --version
# The installed tool on its simulated chip, away from the user's settings.
(cd "$scratch" && XDG_CONFIG_HOME="$scratch" /usr/bin/kavoda-cli --simulate -d 24C16 probe)
man -w kavoda-cli
man -w kavoda
echo "package $version: installed, ran and removed"
