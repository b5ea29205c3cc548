// SPDX-License-Identifier: MIT
// THexGrid: the hexadecimal filter on a string grid and its cell editor, and
// the grid's plain look.
#include "HexGrid.h"

#include "HexEdit.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace kavoda {

namespace {

constexpr char kFreshEditor[] = "kavodaFreshEditor";
constexpr int kTextInset = 2; // text starts 2 px in from the cell's corner
// Set on a cell that typing changed; painted in the grid's edited colour.
constexpr int kEditedRole = Qt::UserRole + 1;

// Paints cells as a string grid does and gives them a frameless line editor
// whose key presses pass the grid's filter before anything else sees them.
class HexGridDelegate final : public QStyledItemDelegate {
public:
    explicit HexGridDelegate(THexGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setAttribute(Qt::WA_InputMethodEnabled, false);
        editor->setProperty(kFreshEditor, true);
        // Each change goes into the cell at once, so the cell texts are the
        // edit buffer even while the editor is open.
        connect(editor, &QLineEdit::textEdited, this, [this, editor] {
            emit const_cast<HexGridDelegate*>(this)->commitData(editor);
        });
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* line = static_cast<QLineEdit*>(editor);
        const QString text = index.data(Qt::EditRole).toString();
        // Leave the caret alone when the text came from this editor.
        if (line->text() != text)
            line->setText(text);
        if (line->property(kFreshEditor).toBool()) {
            line->setProperty(kFreshEditor, false);
            line->selectAll(); // the first typed character replaces the cell
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override
    {
        // An editor closing on the text it opened with changed nothing.
        const QString text = static_cast<QLineEdit*>(editor)->text();
        if (text == index.data(Qt::EditRole).toString())
            return;
        model->setData(index, text, Qt::EditRole);
        model->setData(index, true, kEditedRole);
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override
    {
        editor->setGeometry(cellRect(option.rect));
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const QRect cell = cellRect(option.rect);
        const QPalette& pal = option.palette;
        const bool focused = option.state & QStyle::State_HasFocus;
        const bool selected = option.state & QStyle::State_Selected;

        painter->save();
        // The focused cell shows a focus frame instead of the highlight.
        QColor textColor = pal.color(QPalette::Text);
        if (selected && !focused) {
            painter->fillRect(cell, pal.color(QPalette::Highlight));
            textColor = pal.color(QPalette::HighlightedText);
        } else {
            // A style may already have painted the selection under a
            // focused cell; the focus frame sits on the cell's own colour.
            const QVariant bg = index.data(Qt::BackgroundRole);
            if (m_grid->cellMarked(index.column(), index.row()))
                painter->fillRect(cell, toQColor(m_grid->markColor()));
            else if (bg.isValid())
                painter->fillRect(cell, bg.value<QBrush>());
            else if (selected)
                painter->fillRect(cell, pal.color(QPalette::Base));
            const QVariant fg = index.data(Qt::ForegroundRole);
            if (index.data(kEditedRole).toBool())
                textColor = toQColor(m_grid->editedColor());
            else if (fg.isValid())
                textColor = fg.value<QBrush>().color();
        }

        const QString text = index.data(Qt::DisplayRole).toString();
        if (!text.isEmpty()) {
            const QVariant f = index.data(Qt::FontRole);
            painter->setFont(f.isValid() ? f.value<QFont>() : m_grid->font());
            painter->setPen(textColor);
            painter->setClipRect(cell);
            // Text wider than the room after the inset moves left, so that
            // a wide pair such as "DD" shows both digits instead of losing
            // part of the second one to the clip.
            const int width = painter->fontMetrics().horizontalAdvance(text);
            const int inset = std::clamp(cell.width() - width, 0, kTextInset);
            painter->drawText(cell.adjusted(inset, kTextInset, 0, 0),
                              Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
            painter->setClipping(false);
        }

        if (focused) {
            QPen pen(textColor, 1, Qt::DotLine);
            painter->setPen(pen);
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(cell.adjusted(0, 0, -1, -1));
        }

        const int line = m_grid->gridLineWidth();
        if (line > 0) {
            const QColor lineColor = toQColor(m_grid->gridLineColor());
            painter->fillRect(QRect(cell.right() + 1, option.rect.top(), line, option.rect.height()),
                              lineColor);
            painter->fillRect(QRect(option.rect.left(), cell.bottom() + 1, option.rect.width(), line),
                              lineColor);
        }
        painter->restore();
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (m_grid->keyRefused(*key))
                return true; // dropped without a trace
            // The editor may see a carriage return, but it neither commits
            // nor closes the editor.
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                return false;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    QRect cellRect(const QRect& section) const
    {
        const int line = m_grid->gridLineWidth();
        return section.adjusted(0, 0, -line, -line);
    }

    THexGrid* m_grid;
};

} // namespace

THexGrid::THexGrid(QWidget* parent) : QTableWidget(5, 5, parent)
{
    setItemDelegate(new HexGridDelegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    // Lines are drawn by the delegate so that cell size and line width are
    // independent of the style, as in a string grid.
    setShowGrid(false);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setEditTriggers(AnyKeyPressed | DoubleClicked | EditKeyPressed);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    m_color = fromQColor(palette().color(QPalette::Base));
    m_fontColor = fromQColor(palette().color(QPalette::Text));
    applySectionSizes();
}

void THexGrid::KeyPress(QChar& key)
{
    if (!hexCharAllowed(key))
        key = QChar();
}

bool THexGrid::keyRefused(const QKeyEvent& event)
{
    return kavoda::keyRefused(event, [this](QChar& k) { KeyPress(k); });
}

QString tableCellText(const QTableWidget& grid, int col, int row)
{
    const QTableWidgetItem* it = grid.item(row, col);
    return it ? it->text() : QString();
}

void setTableCellText(QTableWidget& grid, int col, int row, const QString& text,
                      Qt::Alignment alignment)
{
    if (col < 0 || row < 0 || col >= grid.columnCount() || row >= grid.rowCount())
        return;
    QTableWidgetItem* it = grid.item(row, col);
    if (!it) {
        if (text.isEmpty())
            return; // an empty cell needs no item
        it = new QTableWidgetItem(text);
        if (alignment)
            it->setTextAlignment(alignment);
        grid.setItem(row, col, it);
    } else if (it->text() != text) {
        it->setText(text);
    }
}

QString THexGrid::cellText(int col, int row) const
{
    return tableCellText(*this, col, row);
}

void THexGrid::setCellText(int col, int row, const QString& text)
{
    setTableCellText(*this, col, row, text);
    QTableWidgetItem* it = item(row, col);
    if (it && it->data(kEditedRole).isValid())
        it->setData(kEditedRole, QVariant());
}

bool THexGrid::cellEdited(int col, int row) const
{
    const QTableWidgetItem* it = item(row, col);
    return it && it->data(kEditedRole).isValid();
}

void THexGrid::clearEditMarks()
{
    for (int row = 0; row < rowCount(); ++row) {
        for (int col = 0; col < columnCount(); ++col) {
            if (QTableWidgetItem* it = item(row, col); it && it->data(kEditedRole).isValid())
                it->setData(kEditedRole, QVariant());
        }
    }
}

void THexGrid::setEditedColor(TColor color)
{
    if (color == m_editedColor)
        return;
    m_editedColor = color;
    viewport()->update();
}

void THexGrid::setMarkedCells(const QBitArray& cells)
{
    if (cells == m_marked)
        return;
    m_marked = cells;
    viewport()->update();
}

bool THexGrid::cellMarked(int col, int row) const
{
    if (col < 0 || row < 0 || col >= columnCount() || row >= rowCount())
        return false;
    const int bit = row * columnCount() + col;
    return bit < m_marked.size() && m_marked.testBit(bit);
}

void THexGrid::setMarkColor(TColor color)
{
    if (color == m_markColor)
        return;
    m_markColor = color;
    viewport()->update();
}

void THexGrid::setDefaultColWidth(int width)
{
    if (width == m_colWidth || width < 0)
        return;
    m_colWidth = width;
    applySectionSizes();
}

void THexGrid::setDefaultRowHeight(int height)
{
    if (height == m_rowHeight || height < 0)
        return;
    m_rowHeight = height;
    applySectionSizes();
}

void THexGrid::setGridLineWidth(int width)
{
    width = qBound(0, width, 1);
    if (width == m_lineWidth)
        return;
    m_lineWidth = width;
    applySectionSizes();
}

void THexGrid::setGridLineColor(TColor color)
{
    if (color == m_lineColor)
        return;
    m_lineColor = color;
    viewport()->update();
}

void THexGrid::setColor(TColor color)
{
    if (color == m_color)
        return;
    m_color = color;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, toQColor(color));
    setPalette(pal);
}

void THexGrid::setFontColor(TColor color)
{
    if (color == m_fontColor)
        return;
    m_fontColor = color;
    QPalette pal = palette();
    pal.setColor(QPalette::Text, toQColor(color));
    setPalette(pal);
}

bool THexGrid::editable() const
{
    return editTriggers() != NoEditTriggers;
}

void THexGrid::setEditable(bool editable)
{
    setEditTriggers(editable ? (AnyKeyPressed | DoubleClicked | EditKeyPressed) : NoEditTriggers);
}

void THexGrid::keyPressEvent(QKeyEvent* event)
{
    if (keyRefused(*event)) {
        event->accept();
        return;
    }
    // The grid makes no use of the carriage return.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    // Backspace opens the editor as any typed character does (the base view
    // keeps it for its own use).
    if (event->key() == Qt::Key_Backspace && !isEditing() && currentIndex().isValid()
        && typedText(*event) == QString(QChar(kBackspace))) {
        if (edit(currentIndex(), AnyKeyPressed, event))
            return;
    }
    QTableWidget::keyPressEvent(event);
}

void THexGrid::keyboardSearch(const QString&) {}

void THexGrid::applySectionSizes()
{
    const int colSize = m_colWidth + m_lineWidth;
    const int rowSize = m_rowHeight + m_lineWidth;
    horizontalHeader()->setDefaultSectionSize(colSize);
    verticalHeader()->setDefaultSectionSize(rowSize);
    for (int c = 0; c < columnCount(); ++c)
        setColumnWidth(c, colSize);
    for (int r = 0; r < rowCount(); ++r)
        setRowHeight(r, rowSize);
    viewport()->update();
}

} // namespace kavoda
