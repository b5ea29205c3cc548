#!/bin/sh
# SPDX-License-Identifier: MIT
# Makes a manual page from its template and the program's own listing of its
# command line: OUTDIR/NAME.1 and, for installing, OUTDIR/NAME.1.gz. DATE is
# the release's (YYYY-MM-DD), so that a rebuild gives the same page.
#   make-manpage.sh PROGRAM TEMPLATE VERSION DATE OUTDIR
set -eu
program=$1 template=$2 version=$3 date=$4 outdir=$5
here=$(dirname "$0")
name=$(basename "$template" .1.in)
work=$(mktemp -d "${TMPDIR:-/tmp}/kavoda-man-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$program" --list options > "$work/options"
devices=
if grep -q '^@DEVICES@$' "$template"; then
    "$program" --list devices > "$work/devices"
    devices=$work/devices
fi
awk -v listing="$work/options" -v devices="$devices" -v version="$version" -v date="$date" \
    -v dir="$(dirname "$template")" -f "$here/manpage.awk" < "$template" > "$work/page"
mv "$work/page" "$outdir/$name.1"
# -n: no name or time stamp in the archive, so a rebuild gives the same bytes.
gzip -9n -c "$outdir/$name.1" > "$work/page.gz"
mv "$work/page.gz" "$outdir/$name.1.gz"
