// SPDX-License-Identifier: MIT
// What the program's windows share: the window font and the program icon.
#pragma once

#include <QFont>
#include <QIcon>

namespace kavoda {

// The platform's sans-serif at the given pixel height.
QFont sansFont(int pixelHeight = 11);
// The program icon, 32 x 32 with a scalable version beside it.
QIcon programIcon();

} // namespace kavoda
