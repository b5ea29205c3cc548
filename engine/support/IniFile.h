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

#include "Adapter.h"

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

// What both programs take from the settings file.
struct StoredSettings {
    std::string portSetting;  // "Port1", "Port2", "Port3" or any other text
    std::uint16_t portBase;   // 0x278 for "Port2", 0x3BC for "Port3", else 0x378
    std::int32_t busDelay;    // 10 when missing or no integer
    // [Adapter]: empty when the file names none (the parallel port); a text
    // that names no adapter means the parallel port, an unknown Speed 100 kHz.
    std::optional<AdapterChoice> adapter;
};

// The port base of a stored port text: exact and case-sensitive, every
// unknown text meaning "Port1".
std::uint16_t portBaseForSetting(std::string_view setting);

// Reads the settings file at path; a missing or unreadable file gives the
// defaults ("Port2", 10, no adapter). Writes nothing.
StoredSettings readStoredSettings(const std::string& path);

}  // namespace kavoda
