// SPDX-License-Identifier: MIT
// TileBitmap and its cell arithmetic.
#include "DTUtil.h"

#include <QImage>
#include <QPainter>

namespace kavoda {

namespace {

// Cells needed to cover extent with pieces of size piece: at least one, and
// one more for a remainder. A negative extent can give zero or fewer, which
// visits nothing.
int cellCount(int extent, int piece)
{
    const int whole = extent / piece;
    return whole + ((extent % piece > 0 || whole == 0) ? 1 : 0);
}

} // namespace

std::vector<SpanRect> tileCells(const SpanRect& r, int bw, int bh)
{
    std::vector<SpanRect> cells;
    if (bw <= 0 || bh <= 0)
        return cells;
    const int w = r.width();
    const int h = r.height();
    const int rows = cellCount(h, bh);
    const int cols = cellCount(w, bw);
    for (int i = 0; i < rows; ++i) {
        const int top = r.top + i * bh;
        const int cellH = (i == rows - 1) ? h - (rows - 1) * bh : bh;
        for (int j = 0; j < cols; ++j) {
            const int left = r.left + j * bw;
            const int cellW = (j == cols - 1) ? w - (cols - 1) * bw : bw;
            if (cellW > 0 && cellH > 0)
                cells.push_back({left, top, left + cellW, top + cellH});
        }
    }
    return cells;
}

void TileBitmap(QPainter& canvas, const QImage& bitmap, const SpanRect& r)
{
    const std::vector<SpanRect> cells = tileCells(r, bitmap.width(), bitmap.height());
    if (cells.empty())
        return;
    canvas.save();
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    for (const SpanRect& c : cells)
        canvas.drawImage(QPoint(c.left, c.top), bitmap, QRect(0, 0, c.width(), c.height()));
    canvas.restore();
}

} // namespace kavoda
