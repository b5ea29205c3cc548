// SPDX-License-Identifier: MIT
// What the program's windows share: the window font, the program icon and
// the way a control is given its colours.
#pragma once

#include "Colors.h"

#include <QFont>
#include <QIcon>

class QWidget;

namespace kavoda {

// The platform's sans-serif at the given pixel height.
QFont sansFont(int pixelHeight = 11);
// The program icon, 32 x 32 with a scalable version beside it.
QIcon programIcon();

// A control's font colour: its palette's WindowText.
void setFontColor(QWidget* control, TColor color);
// The background and text colours of an edit field or a grid.
void setTextColors(QWidget* control, TColor background, TColor text);

} // namespace kavoda
