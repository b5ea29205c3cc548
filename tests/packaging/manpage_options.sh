#!/bin/sh
# SPDX-License-Identifier: MIT
# The manual page names everything the program's parser knows, as man shows
# the page: each option in OPTIONS, each verb in VERBS, and a verb's own
# arguments and options inside that verb's entry.
#   manpage_options.sh PROGRAM PAGE.1
set -eu
program=$1 page=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/kavoda-man-test-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$program" --list options > "$work/listing"
# Wide and unjustified, so that no name is broken or hyphenated.
LC_ALL=C MANWIDTH=400 man --warnings --nj --nh -l "$page" 2> "$work/warnings" | col -b > "$work/text"
if [ -s "$work/warnings" ]; then
    cat "$work/warnings" >&2
    echo "man warns about $page" >&2
    exit 1
fi

awk -F '\t' -v page="$page" '
# Whether word stands in text with no name character either side.
function hasWord(text, word,    at, rest, before, after) {
    rest = text
    while ((at = index(rest, word)) > 0) {
        before = at > 1 ? substr(rest, at - 1, 1) : " "
        after = substr(rest, at + length(word), 1)
        if (before !~ /[A-Za-z0-9_-]/ && after !~ /[A-Za-z0-9_-]/)
            return 1
        rest = substr(rest, at + 1)
    }
    return 0
}
function missing(what) {
    print page ": " what " is not in the page" > "/dev/stderr"
    failed = 1
}
# The rendered page: the OPTIONS section is the scope "-", each entry of
# VERBS (a line at the entries indent) the scope of its verb.
NR == FNR {
    if ($0 ~ /^[A-Z]/) {
        section = $0
        verb = ""
        next
    }
    if (section == "OPTIONS")
        block["-"] = block["-"] "\n" $0
    else if (section == "VERBS") {
        if ($0 ~ /^       [^ ]/) {
            split($0, words, " ")
            verb = words[1]
            entries[verb] = 1
        }
        if (verb != "")
            block[verb] = block[verb] "\n" $0
    }
    next
}
{
    kind = $1; scope = $2; names = $3
    rows++
    if (kind == "verb") {
        if (!(names in entries))
            missing("the verb " names)
        next
    }
    n = split(names, name, ",")
    for (i = 1; i <= n; i++)
        if (!hasWord(block[scope], name[i]))
            missing(name[i] (scope == "-" ? " in OPTIONS" : " of the verb " scope))
}
END {
    if (rows == 0) {
        print "no listing" > "/dev/stderr"
        exit 1
    }
    exit failed
}' "$work/text" "$work/listing"
