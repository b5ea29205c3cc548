// SPDX-License-Identifier: MIT
// A read-only grid of text cells that looks like the hex grids beside it
// (no headers, a one-pixel line after each cell), for the character view.
#pragma once

#include <QTableWidget>

namespace kavoda {

class StringGrid : public QTableWidget {
    Q_OBJECT
public:
    StringGrid(int columns, int rows, QWidget* parent = nullptr);

    QString cellText(int col, int row) const;
    void setCellText(int col, int row, const QString& text);

    // Cell size without the grid line that follows each cell.
    void setCellSize(int width, int height);

protected:
    // A typed character never searches for a matching cell.
    void keyboardSearch(const QString&) override {}
};

} // namespace kavoda
