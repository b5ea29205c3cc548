// SPDX-License-Identifier: MIT
#include "StringGrid.h"

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
    const QTableWidgetItem* it = item(row, col);
    return it ? it->text() : QString();
}

void StringGrid::setCellText(int col, int row, const QString& text)
{
    if (col < 0 || row < 0 || col >= columnCount() || row >= rowCount())
        return;
    if (QTableWidgetItem* it = item(row, col)) {
        it->setText(text);
        return;
    }
    auto* it = new QTableWidgetItem(text);
    it->setTextAlignment(Qt::AlignCenter);
    setItem(row, col, it);
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
