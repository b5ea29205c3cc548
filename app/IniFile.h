// SPDX-License-Identifier: MIT
// A small INI file with the private-profile semantics the settings rely on:
// section and key names matched without regard to case, values trimmed and
// one pair of surrounding quotes dropped, every other line of the file
// (sections, keys, comments, each line's ending) kept on write, and a failed
// write reported as "Unable to write to <name>".
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace kavoda {

// A write that did not reach the disk.
class IniWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The folder that bare settings-file names resolve to: the user's
// configuration folder unless a test has redirected it.
QString settingsFolder();
// Redirects bare names to another folder; an empty text restores the default.
void setSettingsFolder(const QString& folder);

class IniFile {
public:
    // A bare name ("Kavoda.INI") resolves to settingsFolder(); the name is
    // also what error messages show.
    explicit IniFile(const QString& fileName);

    const QString& fileName() const { return m_fileName; }
    const QString& path() const { return m_path; }

    // The trimmed value without one pair of surrounding quotes, at most kMaxValueLength characters, or def when the
    // file, the section or the key is missing.
    QString readString(const QString& section, const QString& key, const QString& def) const;
    // The value as a decimal or hexadecimal ("0x", "0X", "$") integer; def
    // when it is missing or no integer.
    std::int32_t readInteger(const QString& section, const QString& key, std::int32_t def) const;

    // Store the value, creating file, section and key as needed. Throws
    // IniWriteError "Unable to write to <name>" when the file cannot be written;
    // the file on disk is then left as it was.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, std::int32_t value);

    static constexpr int kMaxValueLength = 1023;

    // A line of the file and its ending as found: "\r\n", "\n", or none
    // for a last line that has no end.
    struct Line {
        QString text;
        QString end;
    };
    using Lines = std::vector<Line>;

private:
    // The file's lines; an absent file has none. readable turns false when
    // the file exists but cannot be read.
    Lines readLines(bool* readable = nullptr) const;

    QString m_fileName;
    QString m_path;
};

// The integer conversion readInteger uses, exposed for the dialog and tests:
// optional sign, then decimal digits or a hexadecimal prefix and digits; the
// value must fit in 32 bits.
bool parseIniInteger(const QString& text, std::int32_t* value);

} // namespace kavoda
