// SPDX-License-Identifier: MIT
// Code page 437, the PC's own character set: each byte value maps to the
// character it shows as, so that all 256 values have a glyph in the
// character view (the control codes as the PC's symbols, 0 and 255 blank).
#pragma once

#include <QChar>
#include <QString>
#include <cstdint>

namespace kavoda {

QChar cp437ToUnicode(std::uint8_t byte);
// The one-character text of a byte.
QString cp437Text(std::uint8_t byte);

} // namespace kavoda
