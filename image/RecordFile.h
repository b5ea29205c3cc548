// SPDX-License-Identifier: MIT
// A file of one-byte records over plain POSIX calls: the type of the working
// image file. Positions and sizes are in bytes. Every call is checked and a
// failure raises IoError; nothing is buffered, each read or write is one
// system call for one byte, so what is written is in the file at once for
// whoever opens it next (other processes included).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace kavoda {

class RecordFile {
public:
    RecordFile() = default;
    explicit RecordFile(std::string name) : m_name(std::move(name)) {}
    ~RecordFile();  // closes an open file, unchecked
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Binds the file to a path; an open file stays open under its old name
    // until it is closed or reopened.
    void assign(std::string name) { m_name = std::move(name); }
    const std::string& name() const { return m_name; }

    // Both opens ask for reading and writing, at position 0, and close the
    // file first when it is open. Other processes may open it meanwhile.
    void openExisting();      // a missing file is an error
    void createOrTruncate();  // size 0

    bool isOpen() const { return m_fd >= 0; }
    // Closing a file that is not open is error 103.
    void close();

    // Any offset is accepted, also beyond the end.
    void seek(std::int64_t offset);
    std::int64_t position() const;
    std::int64_t size() const;
    // True when the position is at or beyond the current size.
    bool atEnd() const;

    // The byte at the position; error 100 at or beyond the end.
    std::uint8_t readByte();
    // Writes at the position; beyond the end the gap reads back as zeros.
    void writeByte(std::uint8_t value);

private:
    void open(int flags);
    void requireOpen() const;

    std::string m_name;
    int m_fd = -1;
};

} // namespace kavoda
