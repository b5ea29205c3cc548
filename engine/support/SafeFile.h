// SPDX-License-Identifier: MIT
// Files written whole or not at all, and inputs opened without waiting.
//
// A SafeFile collects the new content in a temporary file in the target's
// folder: an unnamed one where the system offers it, so that a process
// killed half-way leaves nothing behind, else a short unique name. At commit
// the data is flushed to the disk and only then takes the target's name, so
// the old file stays whole until the new one is complete. A replaced file
// keeps its permissions; a symbolic link is written through to its target.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kavoda {

// A file that could not be written or read. cause() is the errno of the
// failing call (0 for a write that stopped short without one); a refusal
// made before any call failed carries the errno closest to it.
class SafeFileError : public std::runtime_error {
public:
    enum class Problem {
        Call,        // a system call failed
        NewFile,     // the folder takes no new file (path() is the folder)
        NoName,      // an empty name, or one ending in '/'
        Folder,      // the name is a folder (EISDIR)
        NotRegular,  // a device, a pipe or a socket (EACCES)
        ReadOnly,    // an existing file that may not be written (EACCES)
        NoWriter,    // a pipe that nobody writes to (ENXIO)
        TooLarge,    // an input longer than was allowed (EFBIG)
    };
    // step: what was being done ("write", "read", "create a file in").
    SafeFileError(Problem problem, std::string step, std::string path, int cause);

    Problem problem() const { return m_problem; }
    int cause() const { return m_cause; }
    const std::string& step() const { return m_step; }
    const std::string& path() const { return m_path; }
    // What went wrong, without the step and the path: "it is a folder",
    // "No space left on device", "short write".
    std::string reason() const;

private:
    Problem m_problem;
    std::string m_step;
    std::string m_path;
    int m_cause;
};

class SafeFile {
public:
    // What a symbolic link at path means: a user's file is written through
    // the link; the program's own file (the working image) replaces the
    // link itself, so that nothing outside its folder is ever written.
    enum class Links { WriteThrough, Replace };
    // Unnamed is the normal choice; Named forces the fallback, for tests.
    enum class Temporary { Unnamed, Named };

    // Makes the temporary file at once, so that a target that cannot be
    // written is found out before any work is done. Refuses a folder, a
    // device or pipe, and an existing file that may not be written.
    explicit SafeFile(std::string path, Links links = Links::WriteThrough,
                      Temporary temporary = Temporary::Unnamed);
    ~SafeFile();  // discards the new content unless committed
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    void write(const void* data, std::size_t size);
    void write(std::string_view data) { write(data.data(), data.size()); }
    // Flushes to the disk and puts the new file in the target's place.
    void commit();

    const std::string& path() const { return m_path; }
    // Where the file lands: the path, its symbolic links followed unless
    // they are replaced.
    const std::string& target() const { return m_target; }
    // The temporary file's name; empty while it has none.
    const std::string& temporaryPath() const { return m_temp; }

private:
    [[noreturn]] void fail(const char* step, int cause) const;
    void openTemporary(Temporary temporary);
    void linkInPlace();

    std::string m_path;    // as given, for the messages
    std::string m_target;  // symbolic links followed
    std::string m_folder;  // the target's folder, "." for a bare name
    std::string m_temp;
    int m_fd = -1;
    bool m_unnamed = false;
    bool m_committed = false;
};

// Writes data as the whole new content of path, through a SafeFile.
void writeFileSafely(const std::string& path, std::string_view data);

// Opens path for reading without ever waiting: a pipe is opened
// non-blocking, and nothing else waits at an open. Returns the descriptor
// (close-on-exec), still non-blocking for a pipe.
int openInput(const std::string& path);

// The whole content of path, at most maxBytes. A regular file is read as it
// is; a pipe only while a program writes to it: one without a writer is
// refused at once, not waited on. A folder, a device or a socket is refused.
std::string readInputFile(const std::string& path, std::size_t maxBytes);

}  // namespace kavoda
