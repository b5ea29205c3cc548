// SPDX-License-Identifier: MIT
// The I/O error of the working image file and every other file the program
// copies: a code in the classic runtime's numbering, and its message.
#pragma once

#include <stdexcept>
#include <string>

namespace kavoda {

// Codes beyond the OS's own.
inline constexpr int kIoReadPastEnd = 100;   // a read returned fewer bytes than asked
inline constexpr int kIoDiskFull = 101;      // a write wrote fewer bytes than asked
inline constexpr int kIoFileNotOpen = 103;   // an operation on a closed file
inline constexpr int kIoInvalidNumber = 106;

// The message shown for a code, "I/O error %d" for codes without a text.
std::string ioErrorMessage(int code);

// The code for a POSIX errno: ENOENT 2, ENOTDIR/ENAMETOOLONG/EINVAL 3,
// EMFILE/ENFILE 4, EACCES/EPERM/EROFS 5, ENOSPC/EDQUOT/EFBIG 101, any other errno as it is.
int ioErrorCode(int posixErrno);

class IoError : public std::runtime_error {
public:
    explicit IoError(int code);
    // The error for a failed POSIX call, from its errno.
    static IoError fromErrno(int posixErrno);

    int code() const noexcept { return m_code; }

private:
    IoError(int code, const std::string& message);

    int m_code;
};

} // namespace kavoda
