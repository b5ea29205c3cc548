// SPDX-License-Identifier: MIT
// The settings file "Kavoda.INI", read and written by both programs with the
// private-profile semantics: section and key names matched without regard to
// case, values trimmed and one pair of surrounding quotes dropped, every other
// line of the file (sections, keys, comments, each line's ending) kept on
// write, and a failed write reported as "Unable to write to <name>".
// Plain C++: texts are the file's bytes, Latin-1.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>


namespace kavoda {

// A write that did not reach the disk.
class IniWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class IniFile {
public:
    // path: where the file is; name: what error messages call it, the path
    // when empty.
    explicit IniFile(std::string path, std::string name = {});

    const std::string& path() const { return m_path; }
    const std::string& name() const { return m_name; }

    // The trimmed value without one pair of surrounding quotes, at most
    // kMaxValueLength characters, or def when the file, the section or the
    // key is missing (or the file cannot be read).
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // The value as parseIniInteger reads it; def when it is missing or no
    // integer.
    std::int32_t readInteger(std::string_view section, std::string_view key,
                             std::int32_t def) const;

    // Store the value, creating folder, file, section and key as needed.
    // Throws IniWriteError "Unable to write to <name>" when the file cannot
    // be written; the file on disk is then left as it was.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);

    static constexpr std::size_t kMaxValueLength = 1023;

    // A line of the file and its ending as found: "\r\n", "\n", or none for
    // a last line that has no end.
    struct Line {
        std::string text;
        std::string end;
    };
    using Lines = std::vector<Line>;

private:
    // The file's lines; an absent file has none. readable turns false when
    // the file exists but cannot be read.
    Lines readLines(bool* readable = nullptr) const;
    void store(const std::string& bytes) const;

    std::string m_path;
    std::string m_name;
};

// An INI integer: optional sign, then decimal digits or a "0x", "0X" or "$"
// prefix and hexadecimal digits, blanks around it allowed; the value must fit
// in 32 bits (hexadecimal texts cover the full bit pattern, $FFFFFFFF is -1).
std::optional<std::int32_t> parseIniInteger(std::string_view text);

inline constexpr const char* kSettingsFileName = "Kavoda.INI";

}  // namespace kavoda
