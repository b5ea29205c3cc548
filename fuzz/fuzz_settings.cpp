// SPDX-License-Identifier: MIT
// The settings file on arbitrary content: reading never fails, a value
// written reads back, and every other key reads as before.
#include <fuzzer/FuzzedDataProvider.h>

#include <QFile>
#include <QString>
#include <QVector>

#include <cstdlib>
#include <utility>

#include "FuzzFolder.h"
#include "IniFile.h"

using kavoda::IniFile;

namespace {

// What the format can hold: one line, no leading or trailing blanks, and no
// character that would end the name early.
bool representable(const QString& text, const char* stops, bool mayBeEmpty)
{
    if (text != text.trimmed() || (text.isEmpty() && !mayBeEmpty))
        return false;
    for (const char* s = stops; *s; ++s)
        if (text.contains(QLatin1Char(*s)))
            return false;
    return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
}

std::string latin1(const QString& text)
{
    return text.toLatin1().toStdString();
}

// Section and key names to probe: whatever looks like one in the content,
// the reader decides what it really is.
QVector<std::pair<QString, QString>> probes(const QString& content)
{
    QVector<QString> sections{QString()};
    QVector<QString> keys;
    for (QString line : content.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const int close = line.indexOf(QLatin1Char(']'));
            sections << (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
        } else if (line.contains(QLatin1Char('='))) {
            keys << line.left(line.indexOf(QLatin1Char('='))).trimmed();
        }
    }
    QVector<std::pair<QString, QString>> pairs;
    for (const QString& s : sections)
        for (const QString& k : keys)
            if (pairs.size() < 400)
                pairs.append({s, k});
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString section = QString::fromLatin1(input.ConsumeRandomLengthString(24).c_str());
    const QString key = QString::fromLatin1(input.ConsumeRandomLengthString(24).c_str());
    const QString value = QString::fromLatin1(input.ConsumeRandomLengthString(80).c_str());
    const std::string content = input.ConsumeRemainingBytesAsString();

    const QString path = QString::fromStdString(kavoda::fuzz::scratchFolder() + "/fuzz.ini");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(content.data(), static_cast<qint64>(content.size()));
    }
    IniFile ini(path.toStdString());
    const std::string missing = "\x01missing";
    const auto others = probes(QString::fromLatin1(content.data(), static_cast<int>(content.size())));
    QVector<std::string> before;
    for (const auto& [s, k] : others) {
        // Cut at the limit; a quoted value may keep blanks, so no test of trimming.
        const std::string v = ini.readString(latin1(s), latin1(k), missing);
        if (v.size() > IniFile::kMaxValueLength)
            std::abort();
        before << v;
    }

    const bool wellFormed = representable(section, "]", false) &&
                            representable(key, "=", false) && !key.startsWith(QLatin1Char(';')) &&
                            !key.startsWith(QLatin1Char('[')) && representable(value, "", true) &&
                            static_cast<std::size_t>(value.size()) <= IniFile::kMaxValueLength;
    try {
        ini.writeString(latin1(section), latin1(key), latin1(value));
    } catch (const kavoda::IniWriteError&) {
        std::abort();  // the folder is ours and writable
    }
    if (!wellFormed)
        return 0;
    // As the platform's private-profile functions do, one pair of matching
    // quotes around a value is no part of it when it is read.
    QString expected = value;
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        expected = value.mid(1, value.size() - 2);
    if (ini.readString(latin1(section), latin1(key), missing) != latin1(expected))
        std::abort();
    for (int i = 0; i < others.size(); ++i) {
        const auto& [s, k] = others[i];
        if (s.compare(section, Qt::CaseInsensitive) == 0 && k.compare(key, Qt::CaseInsensitive) == 0)
            continue;
        if (ini.readString(latin1(s), latin1(k), missing) != before[i])
            std::abort();
    }
    return 0;
}
