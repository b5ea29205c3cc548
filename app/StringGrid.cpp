// SPDX-License-Identifier: MIT
#include "StringGrid.h"

#include "HexGrid.h"

#include <QHeaderView>

namespace kavoda {

namespace {
constexpr int kGridLine = 1;
}

StringGrid::StringGrid(int columns, int rows, QWidget* parent)
    : QTableWidget(rows, columns, parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setGridStyle(Qt::SolidLine);
}

QString StringGrid::cellText(int col, int row) const
{
    return tableCellText(*this, col, row);
}

void StringGrid::setCellText(int col, int row, const QString& text)
{
    setTableCellText(*this, col, row, text, Qt::AlignCenter);
}

void StringGrid::setCellSize(int width, int height)
{
    // Qt counts the grid line into the section.
    horizontalHeader()->setDefaultSectionSize(width + kGridLine);
    verticalHeader()->setDefaultSectionSize(height + kGridLine);
    for (int c = 0; c < columnCount(); ++c)
        setColumnWidth(c, width + kGridLine);
    for (int r = 0; r < rowCount(); ++r)
        setRowHeight(r, height + kGridLine);
}

} // namespace kavoda
