// SPDX-License-Identifier: MIT
// kavoda-gallery: renders each control in its telling states into PNG files,
// one function per control family.
#pragma once

#include <QString>

namespace kavoda::gallery {

void renderEntryGallery(const QString& outDir);      // HexGrid, HexEdit, numedit
void renderLedGallery(const QString& outDir);        // ALed
void renderMeterGallery(const QString& outDir);      // Feedback
void renderScrollTextGallery(const QString& outDir); // ScrollText

} // namespace kavoda::gallery
