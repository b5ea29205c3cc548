// SPDX-License-Identifier: MIT
// The files of the whole-chip verbs: raw or Intel HEX, a path or "-" for
// standard input and output, and a written file that appears only complete.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kavoda {

class SafeFile;

// A file that cannot be read or written: exit code 1.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class FileFormat { Raw, IntelHex };

// The names parseFileFormat knows, as --format's value shows them.
inline constexpr const char* kFileFormatValue = "FORMAT:{raw,ihex}";
// "raw" or "ihex"; empty for any other text.
std::optional<FileFormat> parseFileFormat(const std::string& text);
// The forced format, else Intel HEX for a name ending in .hex or .ihex (any
// case), else raw. "-" is raw unless forced.
FileFormat formatForPath(const std::string& path, std::optional<FileFormat> forced);

// The whole content of path, or of in for "-". Refuses more than maxBytes,
// which no image of these chips comes near. A named pipe is read only while
// a program writes to it; one without a writer is refused at once.
std::string readInput(const std::string& path, std::istream& in,
                      std::size_t maxBytes = 16u << 20);

// An output file that appears only complete: a SafeFile, with this tool's
// messages. The temporary file is made at once, so that a folder that cannot
// take the file is found out before any work is done. A symbolic link is
// written through; a replaced file keeps its permissions; a read-only file,
// a device or a pipe is refused.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();  // removes the new content unless committed

    void write(const std::string& data);
    // Flushes to the disk and puts the file in place of the final name.
    void commit();

private:
    std::unique_ptr<SafeFile> m_file;
};

// The chip image as file content.
std::string encodeImage(const std::vector<std::uint8_t>& bytes, FileFormat format);

}  // namespace kavoda
