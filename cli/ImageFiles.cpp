// SPDX-License-Identifier: MIT
// Reading, encoding and atomically writing image files.
#include "ImageFiles.h"

#include <cerrno>
#include <cstring>
#include <istream>

#include "IntelHex.h"
#include "SafeFile.h"

namespace kavoda {

namespace {

bool endsWithNoCase(const std::string& text, const std::string& suffix)
{
    if (text.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != suffix[i])
            return false;
    }
    return true;
}

// A failed call's errno, taken at the call; 0 where it stopped without one.
std::string causeText(int cause, const char* without)
{
    return cause != 0 ? std::strerror(cause) : without;
}

std::string tooLarge(const std::string& name, std::size_t maxBytes)
{
    return name + " is larger than " + std::to_string(maxBytes) +
           " bytes: no image for these chips; check the file name";
}

std::string readAll(std::istream& stream, const std::string& name, std::size_t maxBytes)
{
    std::string data;
    // Streams do not promise an errno: clear it, so a stale one is not told.
    errno = 0;
    char buffer[65536];
    while (stream) {
        stream.read(buffer, sizeof buffer);
        data.append(buffer, static_cast<std::size_t>(stream.gcount()));
        if (data.size() > maxBytes)
            throw FileError(tooLarge(name, maxBytes));
    }
    if (stream.bad()) {
        const int cause = errno;
        throw FileError("Cannot read " + name + ": " + causeText(cause, "read error"));
    }
    return data;
}

// The tool's words for what a SafeFile refused: each says what to do.
FileError fileError(const SafeFileError& e, const char* stream)
{
    using Problem = SafeFileError::Problem;
    const std::string head = "Cannot " + e.step() + " " + e.path() + ": ";
    switch (e.problem()) {
    case Problem::NoName: return FileError(head + "no file name; give a file, not a folder");
    case Problem::Folder: return FileError(head + "it is a folder; give a file");
    case Problem::NotRegular:
        return FileError(head + "it is no regular file; give a file, or - for " + stream);
    case Problem::ReadOnly:
        return FileError(head + "it is read-only; make it writable or give another name");
    case Problem::NoWriter:
        return FileError(head + "it is a pipe that no program writes to; give a file, or - for " +
                         stream);
    case Problem::NewFile:
        return FileError("Cannot write a file in " + e.path() + ": " + e.reason());
    case Problem::TooLarge:
    case Problem::Call: break;
    }
    return FileError(e.what());
}

}  // namespace

std::optional<FileFormat> parseFileFormat(const std::string& text)
{
    if (text == "raw")
        return FileFormat::Raw;
    if (text == "ihex")
        return FileFormat::IntelHex;
    return std::nullopt;
}

FileFormat formatForPath(const std::string& path, std::optional<FileFormat> forced)
{
    if (forced)
        return *forced;
    if (path != "-" && (endsWithNoCase(path, ".hex") || endsWithNoCase(path, ".ihex")))
        return FileFormat::IntelHex;
    return FileFormat::Raw;
}

std::string readInput(const std::string& path, std::istream& in, std::size_t maxBytes)
{
    if (path == "-")
        return readAll(in, "standard input", maxBytes);
    try {
        return readInputFile(path, maxBytes);
    } catch (const SafeFileError& e) {
        if (e.problem() == SafeFileError::Problem::TooLarge)
            throw FileError(tooLarge(path, maxBytes));
        throw fileError(e, "standard input");
    }
}

AtomicFile::AtomicFile(std::string path)
{
    try {
        m_file = std::make_unique<SafeFile>(std::move(path));
    } catch (const SafeFileError& e) {
        throw fileError(e, "standard output");
    }
}

AtomicFile::~AtomicFile() = default;

void AtomicFile::write(const std::string& data)
{
    try {
        m_file->write(data);
    } catch (const SafeFileError& e) {
        throw fileError(e, "standard output");
    }
}

void AtomicFile::commit()
{
    try {
        m_file->commit();
    } catch (const SafeFileError& e) {
        throw fileError(e, "standard output");
    }
}

std::string encodeImage(const std::vector<std::uint8_t>& bytes, FileFormat format)
{
    if (format == FileFormat::IntelHex)
        return writeIntelHex(bytes.data(), bytes.size());
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace kavoda
