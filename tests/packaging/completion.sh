#!/bin/bash
# SPDX-License-Identifier: MIT
# The bash completion of kavoda-cli against the program itself: verbs, and
# the values of the options that take one of a fixed set.
#   completion.sh PROGRAM COMPLETION-SCRIPT
# Not under set -u: the script runs in interactive shells, which have it off.

program=$1 script=$2
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$script"

failed=0
# expect "WORDS BEFORE THE CURSOR" "CURRENT WORD" "EXPECTED CANDIDATES"
expect() {
    local before=$1 current=$2 expected=$3
    local words=()
    read -ra words <<<"$before"
    COMP_WORDS=("$program" "${words[@]}" "$current")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _kavoda_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    expected=$(printf '%s\n' $expected | sort | tr '\n' ' ')
    if [[ $got != "$expected" ]]; then
        printf 'kavoda-cli %s %s<TAB> offers "%s", not "%s"\n' "$before" "$current" "$got" \
            "$expected" >&2
        failed=1
    fi
}

expect "" "re" "read"
expect "-d 24C02" "ve" "verify"
expect "-d" "24c1" "24C128 24C16"
expect "--simulate -d 24C02 read x.bin --format" "" "raw ihex"
expect "--adapter ch341a --i2c-speed" "" "20 100 400 750"
expect "--sim-fault" "" "empty busy readonly protected pinless uniform neighbour"
expect "--chip-address" "" "0 1 2 3 4 5 6 7"
expect "--sim-write-cycle" "" ""
expect "--adapter" "p" "parport"
expect "-d" "93c6" "93C66"
expect "--adapter ch341a -d 93C66 --org" "" "8 16"
expect "--byte-order" "" "big little"
exit $failed
