// SPDX-License-Identifier: MIT
// Colour values as the controls' properties hold them: 0x00BBGGRR, red in the
// low byte. A value with the top bit set names a system colour by its index in
// the low byte; those are resolved from the application palette here, in one
// place, so every control agrees on what "button face" or "shadow" means.
#pragma once

#include <QColor>
#include <cstdint>

namespace kavoda {

using TColor = std::uint32_t;

constexpr TColor kSystemColorFlag = 0x80000000u;

constexpr TColor rgbColor(int r, int g, int b)
{
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

constexpr TColor systemColor(int index) { return kSystemColorFlag | static_cast<TColor>(index); }

constexpr bool isSystemColor(TColor c) { return (c & kSystemColorFlag) != 0; }

// The system colours the controls use, by their index.
constexpr TColor clWindowFrame = systemColor(6);
constexpr TColor clBtnFace = systemColor(15);
constexpr TColor clBtnShadow = systemColor(16);
constexpr TColor clBtnHighlight = systemColor(20);
constexpr TColor clInfoBk = systemColor(24);

// Plain colours with their usual names.
constexpr TColor clBlack = rgbColor(0, 0, 0);
constexpr TColor clMaroon = rgbColor(128, 0, 0);
constexpr TColor clGreen = rgbColor(0, 128, 0);
constexpr TColor clNavy = rgbColor(0, 0, 128);
constexpr TColor clGray = rgbColor(128, 128, 128);
constexpr TColor clSilver = rgbColor(192, 192, 192);
constexpr TColor clRed = rgbColor(255, 0, 0);
constexpr TColor clLime = rgbColor(0, 255, 0);
constexpr TColor clBlue = rgbColor(0, 0, 255);
constexpr TColor clWhite = rgbColor(255, 255, 255);

// The colour on screen: plain values as they are, system colours from the
// current application palette.
QColor toQColor(TColor c);

// The plain value of a QColor (alpha dropped).
TColor fromQColor(const QColor& c);

} // namespace kavoda
