// SPDX-License-Identifier: MIT
// The main window's compare menu: the image shown compared with the chip or
// a file, its differing cells marked page by page, the blank check and the
// image's checksums.
#pragma once

#include <QString>
#include <functional>

namespace kavoda {

// The menu's title and entries.
inline const QString kCompareMenuTitle = QStringLiteral("&Compare");
inline const QString kCompareWithChipText = QStringLiteral("Compare with chip");
inline const QString kCompareWithFileText = QStringLiteral("Compare with file\u2026");
inline const QString kNextDifferenceText = QStringLiteral("Next difference");
inline const QString kPreviousDifferenceText = QStringLiteral("Previous difference");
inline const QString kBlankCheckText = QStringLiteral("Blank check");
inline const QString kChecksumsText = QStringLiteral("Checksums");

// The answers of a compare and a blank check: shown in an information box,
// or handed to the sink installed for tests.
void setCompareBoxSink(std::function<void(const QString& text)> sink);

} // namespace kavoda
