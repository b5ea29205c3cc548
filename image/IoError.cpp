// SPDX-License-Identifier: MIT
#include "IoError.h"

#include <cerrno>

namespace kavoda {

namespace {
// The classic code for an errno that has one, else 0.
int mappedCode(int posixErrno)
{
    switch (posixErrno) {
    case ENOENT: return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EROFS: return 5;
    // No room for the write: the disk, the user's quota, or the largest file
    // the process may write (a short write followed by one of these).
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kIoDiskFull;
    default: return 0;
    }
}
} // namespace

std::string ioErrorMessage(int code)
{
    switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case kIoReadPastEnd: return "Read beyond end of file";
    case kIoDiskFull: return "Disk full";
    case kIoInvalidNumber: return "Invalid numeric input";
    default: return "I/O error " + std::to_string(code);
    }
}

int ioErrorCode(int posixErrno)
{
    const int code = mappedCode(posixErrno);
    return code != 0 ? code : posixErrno;
}

IoError::IoError(int code) : std::runtime_error(ioErrorMessage(code)), m_code(code) {}

IoError::IoError(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}

IoError IoError::fromErrno(int posixErrno)
{
    if (mappedCode(posixErrno) != 0)
        return IoError(mappedCode(posixErrno));
    // An unmapped errno such as EIO (5) keeps its number in the text rather
    // than borrowing the message of a classic code it happens to share.
    return IoError(posixErrno, "I/O error " + std::to_string(posixErrno));
}

} // namespace kavoda
