// SPDX-License-Identifier: MIT
// The INI module: parsing, lookup and rewriting of a settings file.
#include "IniFile.h"

#include "SafeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace kavoda {

namespace {

// Far beyond any settings file; a bigger one is not read, nor rewritten.
constexpr std::size_t kMaxFileBytes = 1u << 20;

// Blanks as the window has always trimmed them: the ASCII ones, and the
// Latin-1 next line (0x85) and no-break space (0xA0), which an editor may
// leave after a value.
bool isBlank(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u == ' ' || (u >= '\t' && u <= '\r') || u == 0x85 || u == 0xA0;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Latin-1 letters of either case are the same letter.
unsigned char folded(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return static_cast<unsigned char>(u + 0x20);
    return u;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (folded(a[i]) != folded(b[i]))
            return false;
    }
    return true;
}

// A "[name]" line gives the section's name.
bool sectionName(std::string_view line, std::string_view* name)
{
    const std::string_view t = trimmed(line);
    if (t.empty() || t.front() != '[')
        return false;
    const std::size_t close = t.find(']');
    *name = trimmed(close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1));
    return true;
}

// A "key=value" line; comments (';') and lines without '=' are no keys.
bool keyLine(std::string_view line, std::string_view* key, std::string_view* value)
{
    const std::string_view t = trimmed(line);
    if (t.empty() || t.front() == ';')
        return false;
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    *key = trimmed(t.substr(0, eq));
    if (value)
        *value = trimmed(t.substr(eq + 1));
    return true;
}

// The ending most lines of the file have; a new file gets LF.
std::string lineEndConvention(const IniFile::Lines& lines)
{
    int crlfLines = 0;
    int lfLines = 0;
    for (const IniFile::Line& line : lines) {
        if (line.end == "\r\n")
            ++crlfLines;
        else if (!line.end.empty())
            ++lfLines;
    }
    return crlfLines > lfLines ? "\r\n" : "\n";
}

// One pair of matching quotes around a value is not part of it.
std::string_view unquoted(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Rewrites an existing file in place, for a folder that takes no new file.
bool writeInPlace(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    ok = ok && (::fsync(fd) == 0 || errno == EINVAL);
    return ::close(fd) == 0 && ok;
}

}  // namespace

IniFile::IniFile(std::string path, std::string name)
    : m_path(std::move(path)), m_name(name.empty() ? m_path : std::move(name))
{
}

IniFile::Lines IniFile::readLines(bool* readable) const
{
    if (readable)
        *readable = true;
    std::string text;
    try {
        text = readInputFile(m_path, kMaxFileBytes);
    } catch (const SafeFileError& e) {
        const bool missing = e.problem() == SafeFileError::Problem::Call &&
                             (e.cause() == ENOENT || e.cause() == ENOTDIR);
        if (readable)
            *readable = missing;
        return {};
    }
    // Bytes stay bytes, so lines this program does not understand are
    // written out exactly as they were read.
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back({text.substr(start), std::string()});
            break;
        }
        const bool cr = nl > start && text[nl - 1] == '\r';
        const std::size_t end = cr ? nl - 1 : nl;
        lines.push_back({text.substr(start, end - start), cr ? "\r\n" : "\n"});
        start = nl + 1;
    }
    return lines;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view def) const
{
    bool inSection = false;
    for (const Line& line : readLines()) {
        std::string_view name;
        if (sectionName(line.text, &name)) {
            inSection = sameName(name, section);
            continue;
        }
        std::string_view k, v;
        if (inSection && keyLine(line.text, &k, &v) && sameName(k, key))
            return std::string(unquoted(v).substr(0, kMaxValueLength));
    }
    return std::string(def);
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                                  std::int32_t def) const
{
    return parseIniInteger(readString(section, key, {})).value_or(def);
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    bool readable = true;
    Lines lines = readLines(&readable);
    // Rewriting a file we could not read would drop everything else in it.
    if (!readable)
        throw IniWriteError("Unable to write to " + m_name);
    // New lines follow the file's own convention; found lines keep theirs.
    const std::string eol = lineEndConvention(lines);
    const std::string entry = std::string(key) + "=" + std::string(value);

    int sectionAt = -1;  // line of the section's header
    int lastKeyAt = -1;  // last non-blank line of that section
    bool done = false;
    bool inSection = false;
    for (int i = 0; i < static_cast<int>(lines.size()) && !done; ++i) {
        std::string& text = lines[static_cast<std::size_t>(i)].text;
        std::string_view name;
        if (sectionName(text, &name)) {
            if (inSection)
                break;  // the section ended without the key
            inSection = sameName(name, section);
            if (inSection) {
                sectionAt = i;
                lastKeyAt = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        std::string_view k;
        if (keyLine(text, &k, nullptr) && sameName(k, key)) {
            // Keep the key as the file spells it; only the value changes.
            const std::size_t eq = text.find('=');
            text = std::string(trimmed(std::string_view(text).substr(0, eq))) + "=" +
                   std::string(value);
            done = true;
        } else if (!trimmed(text).empty()) {
            lastKeyAt = i;
        }
    }
    if (!done) {
        // A last line without an end gets one before anything follows it.
        if (!lines.empty() && lines.back().end.empty())
            lines.back().end = eol;
        if (sectionAt >= 0) {
            lines.insert(lines.begin() + lastKeyAt + 1, Line{entry, eol});
        } else {
            if (!lines.empty() && !trimmed(lines.back().text).empty())
                lines.push_back({std::string(), eol});
            lines.push_back({"[" + std::string(section) + "]", eol});
            lines.push_back({entry, eol});
        }
    }

    std::string bytes;
    for (const Line& line : lines)
        bytes += line.text + line.end;
    store(bytes);
}

void IniFile::store(const std::string& bytes) const
{
    const auto fail = [this] { throw IniWriteError("Unable to write to " + m_name); };
    const std::filesystem::path parent = std::filesystem::path(m_path).parent_path();
    std::error_code ec;
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
        std::filesystem::create_directories(parent, ec);
        if (ec)
            fail();
    }
    // Through a temporary file, so that a failure never leaves half a
    // settings file behind; in place when the folder allows no new file but
    // the file itself may be written, as the platform's own private-profile
    // functions do.
    try {
        writeFileSafely(m_path, bytes);
        return;
    } catch (const SafeFileError& e) {
        const bool folderRefused =
            e.problem() == SafeFileError::Problem::NewFile &&
            (e.cause() == EACCES || e.cause() == EPERM || e.cause() == EROFS);
        if (!folderRefused || !writeInPlace(m_path, bytes))
            fail();
    }
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    writeString(section, key, std::to_string(value));
}

std::optional<std::int32_t> parseIniInteger(std::string_view text)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    std::int64_t value;
    if (base == 16) {
        // Hexadecimal texts cover the full 32-bit pattern ($FFFFFFFF is -1).
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    } else {
        value = static_cast<std::int64_t>(magnitude);
        if (value > (negative ? 0x80000000LL : 0x7FFFFFFFLL))
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace kavoda
