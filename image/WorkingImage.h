// SPDX-License-Identifier: MIT
// Where the working image lives and how whole files move in and out of it:
// Load replaces the working file only with a complete copy, Save As copies
// the image out byte by byte.
#pragma once

#include <string>

namespace kavoda {

class RecordFile;

// The working file's name, in its fixed folder.
inline constexpr const char* kWorkingFileName = "Tempor.tmp";

// The current directory as an absolute path, or "." when it cannot be had
// (it was removed, or is out of reach).
std::string currentFolder();

// folder/name, or name alone for an empty folder.
std::string joinPath(const std::string& folder, const std::string& name);

// Copies source to a fresh file beside target and renames it onto target
// once the copy is complete. On any failure the temporary file is removed,
// target is untouched and IoError tells why (the source's "File not found",
// the folder's "File access denied", a rename that fails). A source that is
// no plain file (a pipe, a device) is "File access denied". The new file
// gets the usual permissions, not the source's.
void replaceWithCopy(const std::string& source, const std::string& target);

// Creates or truncates target and copies image into it from offset 0 to the
// end, one byte per call; image is left open at its end. When target is the
// image's own file nothing is done: it already holds the image.
void saveImageCopy(RecordFile& image, const std::string& target);

} // namespace kavoda
