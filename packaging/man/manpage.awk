# SPDX-License-Identifier: MIT
# Fills a manual page's template (the standard input) from a program's own
# listing of its command line (`PROGRAM --list options`), so that the page
# names every option and verb with the text --help gives it.
#
#   awk -v listing=FILE [-v devices=FILE] -v version=V -v date=D -v dir=DIR -f manpage.awk
#
# Template lines: @OPTIONS@ (the program's options), @VERBS@ (each verb with
# its arguments and options), @DEVICES@ (the device types by family, one line),
# @include NAME@ (the file NAME from DIR, as it stands); @VERSION@ and @DATE@
# anywhere.

# Text for roff: a backslash printed as such, every dash a minus sign (the
# names are typed as they stand), and nothing read as a request.
function esc(text) {
    gsub(/\\/, "\\e", text)
    gsub(/-/, "\\-", text)
    if (text ~ /^[.']/)
        text = "\\&" text
    return text
}

# "-d,--device" and its value name as a tag: \fB\-d\fR, \fB\-\-device\fR \fITYPE\fR.
function optionTag(names, value,    parts, n, i, tag, name) {
    n = split(names, parts, ",")
    tag = ""
    for (i = 1; i <= n; i++)
        tag = tag (i > 1 ? ", " : "") "\\fB" esc(parts[i]) "\\fR"
    if (value == "-")
        return tag
    # The value's name without the check CLI11 adds: "FAULT:{empty,busy}".
    sub(/:.*/, "", value)
    if (value ~ /^\[=/)
        return tag "[=\\fI" esc(substr(value, 3, length(value) - 3)) "\\fR]"
    if (value ~ /^\[/)
        return tag " [\\fI" esc(substr(value, 2, length(value) - 2)) "\\fR]"
    return tag " \\fI" esc(value) "\\fR"
}

function entry(tag, text) {
    print ".TP"
    print tag
    print esc(text)
}

BEGIN {
    FS = "\t"
    count = 0
    while ((status = (getline line < listing)) > 0) {
        split(line, f, "\t")
        count++
        kind[count] = f[1]; scope[count] = f[2]; names[count] = f[3]
        value[count] = f[4]; text[count] = f[5]
    }
    if (status < 0 || count == 0) {
        print "manpage.awk: no listing in " listing > "/dev/stderr"
        exit 1
    }
    # NAME<tab>FAMILY lines: one sentence per family, in the listing's order.
    deviceLine = ""
    families = 0
    if (devices != "") {
        while ((getline line < devices) > 0) {
            split(line, d, "\t")
            if (!(d[2] in members)) {
                order[++families] = d[2]
                members[d[2]] = d[1]
            } else {
                members[d[2]] = members[d[2]] ", " d[1]
            }
        }
        for (i = 1; i <= families; i++)
            deviceLine = deviceLine (i > 1 ? "; " : "") order[i] ": " members[order[i]]
        if (deviceLine != "")
            deviceLine = deviceLine "."
    }
}

function printOptions(which,    i) {
    for (i = 1; i <= count; i++)
        if (scope[i] == which && (kind[i] == "option" || kind[i] == "flag"))
            entry(optionTag(names[i], value[i]), text[i])
}

function printVerbs(    i, j, tag, inner) {
    for (i = 1; i <= count; i++) {
        if (kind[i] != "verb")
            continue
        tag = "\\fB" esc(names[i]) "\\fR"
        inner = 0
        for (j = 1; j <= count; j++) {
            if (scope[j] != names[i] || kind[j] == "verb")
                continue
            if (kind[j] == "arg")
                tag = tag " \\fI" esc(names[j]) "\\fR"
            else if (kind[j] == "optarg")
                tag = tag " [\\fI" esc(names[j]) "\\fR]"
            inner++
        }
        entry(tag, text[i])
        if (inner == 0)
            continue
        print ".RS"
        for (j = 1; j <= count; j++) {
            if (scope[j] != names[i] || kind[j] == "verb")
                continue
            if (kind[j] == "arg" || kind[j] == "optarg")
                entry("\\fI" esc(names[j]) "\\fR", text[j])
            else
                entry(optionTag(names[j], value[j]), text[j])
        }
        print ".RE"
    }
}

{
    gsub(/@VERSION@/, version)
    gsub(/@DATE@/, date)
}
/^@OPTIONS@$/ { printOptions("-"); next }
/^@VERBS@$/ { printVerbs(); next }
/^@DEVICES@$/ {
    if (deviceLine == "") {
        print "manpage.awk: @DEVICES@ without a device listing" > "/dev/stderr"
        exit 1
    }
    print esc(deviceLine)
    next
}
/^@include [^@]+@$/ {
    file = dir "/" substr($0, 10, length($0) - 10)
    while ((status = (getline line < file)) > 0)
        print line
    if (status < 0) {
        print "manpage.awk: cannot read " file > "/dev/stderr"
        exit 1
    }
    close(file)
    next
}
{ print }
