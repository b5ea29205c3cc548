// SPDX-License-Identifier: MIT
// The files of the whole-chip verbs: raw or Intel HEX, a path or "-" for
// standard input and output, and a written file that appears only complete.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kavoda {

// A file that cannot be read or written: exit code 1.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class FileFormat { Raw, IntelHex };

// "raw" or "ihex"; empty for any other text.
std::optional<FileFormat> parseFileFormat(const std::string& text);
// The forced format, else Intel HEX for a name ending in .hex or .ihex (any
// case), else raw. "-" is raw unless forced.
FileFormat formatForPath(const std::string& path, std::optional<FileFormat> forced);

// The whole content of path, or of in for "-". Refuses more than maxBytes,
// which no image of these chips comes near.
std::string readInput(const std::string& path, std::istream& in,
                      std::size_t maxBytes = 16u << 20);

// A file written beside its final name and renamed over it at commit, so
// that a failed or interrupted run never leaves half a file under that name.
// The temporary file is created at once: a folder that cannot take the file
// is found out before any work is done. A symbolic link is written through
// (its target is replaced, the link stays); a replaced file keeps its
// permissions; a read-only file, a device or a pipe is refused.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const std::string& data);
    // Flushes to the disk and renames over the final name.
    void commit();
    const std::string& temporaryPath() const { return m_temp; }

private:
    // cause: the errno of the failing call, taken before anything else runs;
    // 0 for a write that stopped short without one.
    [[noreturn]] void fail(const char* what, int cause);

    std::string m_path;    // as given, for the messages
    std::string m_target;  // where it lands: symbolic links followed
    std::string m_temp;
    int m_fd = -1;
};

// The chip image as file content.
std::string encodeImage(const std::vector<std::uint8_t>& bytes, FileFormat format);

}  // namespace kavoda
