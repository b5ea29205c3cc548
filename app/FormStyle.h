// SPDX-License-Identifier: MIT
// What the program's windows share: the classic look they were drawn for
// (style, system colours, window font), the program icon, the way a
// control is given its colours, and the outer size of a window.
#pragma once

#include "Colors.h"

#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>

class QStyle;
class QWidget;

namespace kavoda {

// The pixel height of the windows' own text.
inline constexpr int kWindowFontHeight = 11;

// Where the free font made to the designed window font's metrics is looked
// for (Debian's fonts-wine), first match wins.
QStringList windowFontFiles();
// Loads a font file as an application font: its first family, or an empty
// text when the file is missing or no font.
QString loadApplicationFont(const QString& file);
// The family of that font, loaded once; empty when it is not installed.
QString windowFontFamily();

// The windows' font at the given pixel height: the designed font's stand-in
// for the 11-pixel window text when it is installed, the platform's
// sans-serif otherwise and for every other height.
QFont sansFont(int pixelHeight = kWindowFontHeight);
// Whether a bold font draws no bolder than its regular weight (a bitmap
// font has no bold strike); such text is made bold as the classic desktop
// did it: drawn twice a pixel apart, each character a pixel wider.
bool needsOverstrikeBold(const QFont& font);
// The program icon, 32 x 32 with a scalable version beside it.
QIcon programIcon();

// The classic system colours: silver button face, grey shadow, white
// highlight, navy selection, the pale yellow tooltip background.
QPalette classicPalette();
// Qt's Windows style as the classic desktop drew push buttons: a button's
// bevel fills all of its rectangle, and the default button's black frame
// lies on its outer edge with the bevel inside it. (Qt's own insets every
// button of a dialog by a pixel and draws the default frame one pixel short
// on the right and bottom.)
QStyle* createClassicStyle();
// The look the windows were designed for: the classic style above (group
// titles on the frame line), the classic palette, the window font for every
// window, message box and menu. keepStyle leaves a style chosen on the
// command line (-style) in place.
void applyClassicLook(bool keepStyle = false);

// A control's font colour: its palette's WindowText.
void setFontColor(QWidget* control, TColor color);
// The background and text colours of an edit field or a grid.
void setTextColors(QWidget* control, TColor background, TColor text);

// The client size that gives a window the outer size, frame included.
QSize clientSizeFor(QSize outer, const QMargins& frame);
// Where a window of this outer size stands centred in area.
QPoint centredFramePosition(const QRect& area, QSize outer);
// Centres a dialog's outer rectangle, frame included, on its screen each
// time it is shown, and once more when the window manager has framed it and
// the frame turns out other than assumed. (Qt's own placement assumes a
// frame 10 pixels wide and 40 high wherever it sees none.)
void centreOnScreen(QWidget* window);

// Sizes a top-level window so that its outer size, frame included, is the
// given one. The frame is known only once the window manager has framed
// the window, so the size is set again the first time the window shows in
// its normal state (for a window opened maximized: when it is restored).
void setOuterSize(QWidget* window, QSize outer);

} // namespace kavoda
