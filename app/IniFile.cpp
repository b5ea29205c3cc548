// SPDX-License-Identifier: MIT
// The INI module: parsing, lookup and rewriting of a settings file.
#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace kavoda {

namespace {

QString& folderOverride()
{
    static QString folder;
    return folder;
}

// A "[name]" line gives the section's name, anything else an empty text.
bool sectionName(const QString& line, QString* name)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const int close = t.indexOf(QLatin1Char(']'));
    *name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
    return true;
}

// A "key=value" line; comments (';') and lines without '=' are no keys.
bool keyLine(const QString& line, QString* key, QString* value)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')))
        return false;
    const int eq = t.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    *key = t.left(eq).trimmed();
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return true;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString crLf()
{
    return QStringLiteral("\r\n");
}

QString lf()
{
    return QStringLiteral("\n");
}

// The ending most lines of the file have; a new file gets LF.
QString lineEndConvention(const IniFile::Lines& lines)
{
    int crlfLines = 0;
    int lfLines = 0;
    for (const IniFile::Line& line : lines) {
        if (line.end == crLf())
            ++crlfLines;
        else if (!line.end.isEmpty())
            ++lfLines;
    }
    return crlfLines > lfLines ? crLf() : lf();
}

// One pair of matching quotes around a value is not part of it.
QString unquoted(const QString& value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

} // namespace

QString settingsFolder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

void setSettingsFolder(const QString& folder)
{
    folderOverride() = folder;
}

IniFile::IniFile(const QString& fileName)
    : m_fileName(fileName)
{
    if (QFileInfo(fileName).isAbsolute() || fileName.contains(QLatin1Char('/')))
        m_path = fileName;
    else
        m_path = QDir(settingsFolder()).filePath(fileName);
}

IniFile::Lines IniFile::readLines(bool* readable) const
{
    QFile file(m_path);
    if (readable)
        *readable = true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (readable)
            *readable = !file.exists();
        return {};
    }
    // Latin-1 maps every byte to one character and back, so lines this
    // program does not understand are written out exactly as they were read.
    const QString text = QString::fromLatin1(file.readAll());
    Lines lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype nl = text.indexOf(QLatin1Char('\n'), start);
        if (nl < 0) {
            lines.push_back({text.mid(start), QString()});
            break;
        }
        const bool cr = nl > start && text[nl - 1] == QLatin1Char('\r');
        const qsizetype end = cr ? nl - 1 : nl;
        lines.push_back({text.mid(start, end - start), cr ? crLf() : lf()});
        start = nl + 1;
    }
    return lines;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    bool inSection = false;
    for (const Line& line : readLines()) {
        QString name;
        if (sectionName(line.text, &name)) {
            inSection = sameName(name, section);
            continue;
        }
        QString k, v;
        if (inSection && keyLine(line.text, &k, &v) && sameName(k, key))
            return unquoted(v).left(kMaxValueLength);
    }
    return def;
}

std::int32_t IniFile::readInteger(const QString& section, const QString& key, std::int32_t def) const
{
    std::int32_t value = 0;
    if (parseIniInteger(readString(section, key, QString()), &value))
        return value;
    return def;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    const auto fail = [this] {
        throw IniWriteError(QStringLiteral("Unable to write to %1").arg(m_fileName).toStdString());
    };
    bool readable = true;
    Lines lines = readLines(&readable);
    // Rewriting a file we could not read would drop everything else in it.
    if (!readable)
        fail();
    // New lines follow the file's own convention; found lines keep theirs.
    const QString eol = lineEndConvention(lines);
    const QString entry = key + QLatin1Char('=') + value;

    int sectionAt = -1; // line of the section's header
    int lastKeyAt = -1; // last non-blank line of that section
    bool done = false;
    bool inSection = false;
    for (int i = 0; i < static_cast<int>(lines.size()) && !done; ++i) {
        QString& text = lines[static_cast<std::size_t>(i)].text;
        QString name;
        if (sectionName(text, &name)) {
            if (inSection)
                break; // the section ended without the key
            inSection = sameName(name, section);
            if (inSection) {
                sectionAt = i;
                lastKeyAt = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        QString k;
        if (keyLine(text, &k, nullptr) && sameName(k, key)) {
            // Keep the key as the file spells it; only the value changes.
            const int eq = text.indexOf(QLatin1Char('='));
            text = text.left(eq).trimmed() + QLatin1Char('=') + value;
            done = true;
        } else if (!text.trimmed().isEmpty()) {
            lastKeyAt = i;
        }
    }
    if (!done) {
        // A last line without an end gets one before anything follows it.
        if (!lines.empty() && lines.back().end.isEmpty())
            lines.back().end = eol;
        if (sectionAt >= 0) {
            lines.insert(lines.begin() + lastKeyAt + 1, Line{entry, eol});
        } else {
            if (!lines.empty() && !lines.back().text.trimmed().isEmpty())
                lines.push_back({QString(), eol});
            lines.push_back({QLatin1Char('[') + section + QLatin1Char(']'), eol});
            lines.push_back({entry, eol});
        }
    }

    QString text;
    for (const Line& line : lines)
        text += line.text + line.end;
    const QByteArray bytes = text.toLatin1();

    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath()))
        fail();
    // Through a temporary file and a rename, so that a failure never leaves
    // half a settings file behind; in place when the folder allows no new
    // file but the file itself may be written, as the platform's own
    // private-profile functions do.
    QSaveFile file(m_path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        fail();
    if (file.write(bytes) != bytes.size())
        fail();
    if (!file.commit())
        fail();
}

void IniFile::writeInteger(const QString& section, const QString& key, std::int32_t value)
{
    writeString(section, key, QString::number(value));
}

bool parseIniInteger(const QString& text, std::int32_t* value)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (t.mid(i, 1) == QLatin1String("$")) {
        base = 16;
        i += 1;
    } else if (t.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    }
    const QString digits = t.mid(i);
    if (digits.isEmpty())
        return false;
    std::uint64_t magnitude = 0;
    for (const QChar c : digits) {
        const int d = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
            : (base == 16 && c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F'))
            ? c.toUpper().unicode() - 'A' + 10
            : -1;
        if (d < 0)
            return false;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (magnitude > 0xFFFFFFFFull)
            return false;
    }
    std::int64_t v;
    if (base == 16) {
        // Hexadecimal texts cover the full 32-bit pattern ($FFFFFFFF is -1).
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    } else {
        v = static_cast<std::int64_t>(magnitude);
        if (v > (negative ? 0x80000000LL : 0x7FFFFFFFLL))
            return false;
    }
    if (negative)
        v = -v;
    *value = static_cast<std::int32_t>(v);
    return true;
}

} // namespace kavoda
