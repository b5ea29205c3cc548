// SPDX-License-Identifier: MIT
// Drawing helpers for the painted controls: SpanRect, a rectangle counted the
// way the canvas calls count pixels (right and bottom edges exclusive), and
// TileBitmap, which covers a rectangle with unscaled copies of a picture.
#pragma once

#include <QRect>
#include <vector>

class QImage;
class QPainter;

namespace kavoda {

// Left and top inclusive, right and bottom exclusive: (0, 0, 3, 2) covers
// 3 x 2 pixels. QRect's inclusive right()/bottom() invite off-by-one slips in
// pixel rules, so the geometry is done in this form and converted at the end.
struct SpanRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr SpanRect shrunk(int n) const { return {left + n, top + n, right - n, bottom - n}; }
    QRect toQRect() const { return QRect(left, top, width(), height()); }

    friend constexpr bool operator==(const SpanRect& a, const SpanRect& b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
    friend constexpr bool operator!=(const SpanRect& a, const SpanRect& b) { return !(a == b); }
};

// The target cells TileBitmap copies into, row by row from the top, left to
// right within a row. Each cell receives the picture's top-left
// width() x height() pixels: full bw x bh cells, with the last column and the
// last row cut to what is left of r. Cells that come out with no area are
// left out, and so is everything when the picture has no area (there is
// nothing to copy, and the cell count would divide by zero).
std::vector<SpanRect> tileCells(const SpanRect& r, int bw, int bh);

// Fills r on canvas with copies of bitmap, pixel for pixel (a plain source
// copy: no scaling, no blending), in the cells tileCells lists.
void TileBitmap(QPainter& canvas, const QImage& bitmap, const SpanRect& r);

} // namespace kavoda
