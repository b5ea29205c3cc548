// SPDX-License-Identifier: MIT
// THexGrid: a grid of text cells, with an in-place cell editor, that takes
// only hexadecimal digits as typed characters. It looks like a plain string
// grid without fixed rows or columns: no header sections, a one-pixel line
// after each cell, text drawn from the cell's top-left corner.
//
// What the windows set:
//   setColumnCount(16); setRowCount(16);            // the base's own
//   setDefaultColWidth(16); setDefaultRowHeight(16); // cell size, line excluded
//   setColor(clInfoBk); setFontColor(clBlack); setFont(...);
//   setEditable(false);                  // for a label grid nobody types into
//   setSelectionMode(ContiguousSelection) // for range selection
//   setCellText(col, row, "3F"); cellText(col, row)
//
// Typing: a character or backspace typed on an editable grid opens the cell
// editor (its text selected, so the character replaces it) and reaches it;
// every character typed on the grid or into the editor goes through KeyPress
// first. Carriage return passes the filter but neither opens nor closes the
// editor. The editor writes each change into its cell at once, so cellText()
// always holds what was typed. A cell changed by typing shows its text in
// editedColor() until setCellText() writes it or clearEditMarks() is called.
#pragma once

#include "Colors.h"

#include <QBitArray>
#include <QChar>
#include <QTableWidget>

class QKeyEvent;

namespace kavoda {

class THexGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit THexGrid(QWidget* parent = nullptr);

    // The per-character hook: sets key to the null character when refused.
    virtual void KeyPress(QChar& key);

    // True when KeyPress refuses a character that the event types; the grid
    // and its cell editor then drop the event.
    bool keyRefused(const QKeyEvent& event);

    // The text of cell (col, row), empty for a cell never written or one
    // outside the grid. Writing creates the cell's item when needed; writes
    // outside the grid are ignored.
    QString cellText(int col, int row) const;
    void setCellText(int col, int row, const QString& text);

    // Whether typing changed the cell since its text was last set.
    bool cellEdited(int col, int row) const;
    // Every cell shown as written again (after its page went to the image).
    void clearEditMarks();
    TColor editedColor() const { return m_editedColor; }
    void setEditedColor(TColor color);

    // Marked cells (a compare's differing bytes), bit row * columnCount() +
    // col; drawn on markColor() unless selected. Bits beyond the grid are
    // ignored.
    const QBitArray& markedCells() const { return m_marked; }
    void setMarkedCells(const QBitArray& cells);
    bool cellMarked(int col, int row) const;
    TColor markColor() const { return m_markColor; }
    void setMarkColor(TColor color);

    // Cell size in pixels, not counting the grid line that follows the cell.
    int defaultColWidth() const { return m_colWidth; }
    void setDefaultColWidth(int width);
    int defaultRowHeight() const { return m_rowHeight; }
    void setDefaultRowHeight(int height);

    // Width of the line after each cell: 0 or 1.
    int gridLineWidth() const { return m_lineWidth; }
    void setGridLineWidth(int width);
    TColor gridLineColor() const { return m_lineColor; }
    void setGridLineColor(TColor color);

    // Cell background and text colour (the palette's Base and Text).
    TColor color() const { return m_color; }
    void setColor(TColor color);
    TColor fontColor() const { return m_fontColor; }
    void setFontColor(TColor color);

    // Whether typing, F2 or a double click open the cell editor.
    bool editable() const;
    void setEditable(bool editable);

    // True while a cell editor is open.
    bool isEditing() const { return state() == EditingState; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // A typed character never searches for a matching cell.
    void keyboardSearch(const QString& search) override;

private:
    void applySectionSizes();

    int m_colWidth = 64;
    int m_rowHeight = 24;
    int m_lineWidth = 1;
    TColor m_lineColor = clSilver;
    TColor m_color = clWhite;
    TColor m_fontColor = clBlack;
    TColor m_editedColor = clRed;
    QBitArray m_marked;
    TColor m_markColor = rgbColor(255, 160, 160);
};

// The cell text of any table grid: empty for a cell never written or one
// outside the grid. Writing creates the cell's item when needed, with the
// given alignment; an empty text needs no item; writes outside the grid and
// writes of the text a cell already has are ignored.
QString tableCellText(const QTableWidget& grid, int col, int row);
void setTableCellText(QTableWidget& grid, int col, int row, const QString& text,
                      Qt::Alignment alignment = {});

} // namespace kavoda
