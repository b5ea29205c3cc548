// SPDX-License-Identifier: MIT
// Tests of the hexadecimal grid and the two filtered edit fields: the filter
// rules as plain functions, then typed keys on the real widgets.
#include "HexEdit.h"
#include "HexGrid.h"
#include "numedit.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

void typeText(QWidget* w, const QString& chars)
{
    for (QChar c : chars)
        QTest::keyClicks(w, QString(c));
}

// A key press carrying an exact text, as a platform delivers it.
bool sendKey(QWidget* w, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &release);
    return press.isAccepted();
}

QLineEdit* openEditor(THexGrid& grid)
{
    for (QLineEdit* e : grid.findChildren<QLineEdit*>())
        if (e->isVisible() || grid.isEditing())
            return e;
    return nullptr;
}

} // namespace

TEST(EntryFilters, PlainFunctions)
{
    for (QChar c : QStringLiteral("09AFaf\b\r"))
        EXPECT_TRUE(hexCharAllowed(c)) << c.unicode();
    for (QChar c : QStringLiteral("gG -.\t\x03\x16\x18\x7f"))
        EXPECT_FALSE(hexCharAllowed(c)) << c.unicode();
    for (QChar c : QStringLiteral("09-.\b\r"))
        EXPECT_TRUE(numCharAllowed(c, QString())) << c.unicode();
    for (QChar c : QStringLiteral(" +,eE\x03\x16\x18"))
        EXPECT_FALSE(numCharAllowed(c, QString())) << c.unicode();
    EXPECT_FALSE(numCharAllowed(u'.', QStringLiteral("1.5")));
    EXPECT_FALSE(numCharAllowed(u'-', QStringLiteral("12-")));
    EXPECT_TRUE(numCharAllowed(u'.', QStringLiteral("-12")));
    // AltGr (Ctrl+Alt) types real characters; Delete types none.
    QKeyEvent altGr(QEvent::KeyPress, Qt::Key_E, Qt::ControlModifier | Qt::AltModifier,
                    QStringLiteral("e"));
    EXPECT_EQ(typedText(altGr), QStringLiteral("e"));
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    EXPECT_TRUE(typedText(del).isEmpty());
}

TEST(HexEdit, TypedCharactersAreFiltered)
{
    Thexedit edit;
    typeText(&edit, QStringLiteral("1g2"));
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    typeText(&edit, QStringLiteral("aF zx-"));
    EXPECT_EQ(edit.text(), QStringLiteral("12aF"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("12a"));
    // Keys without text pass: Home then a digit inserts at the front.
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClicks(&edit, QStringLiteral("0"));
    EXPECT_EQ(edit.text(), QStringLiteral("012a"));
}

TEST(HexEdit, CarriageReturnPassesAndProgramTextIsNotFiltered)
{
    Thexedit edit;
    int returns = 0;
    QObject::connect(&edit, &QLineEdit::returnPressed, [&] { ++returns; });
    sendKey(&edit, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_EQ(returns, 1);
    edit.setText(QStringLiteral("xyz"));
    EXPECT_EQ(edit.text(), QStringLiteral("xyz"));
}

TEST(HexEdit, CopyPasteCutShortcutsDoNothing)
{
    QApplication::clipboard()->setText(QStringLiteral("AB"));
    Thexedit edit;
    edit.setText(QStringLiteral("12"));
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("AB"));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    // Delivered as control characters, as some platforms do.
    sendKey(&edit, Qt::Key_V, QStringLiteral("\x16"), Qt::ControlModifier);
    sendKey(&edit, Qt::Key_X, QStringLiteral("\x18"), Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
}

TEST(NumEdit, PointAndMinusOnceAnywhere)
{
    Tnumedit a;
    typeText(&a, QStringLiteral("-1.2.3"));
    EXPECT_EQ(a.text(), QStringLiteral("-1.23"));

    Tnumedit b;
    typeText(&b, QStringLiteral("5-"));
    EXPECT_EQ(b.text(), QStringLiteral("5-"));
    typeText(&b, QStringLiteral("-"));
    EXPECT_EQ(b.text(), QStringLiteral("5-"));

    Tnumedit c;
    typeText(&c, QStringLiteral("1 +,e2"));
    EXPECT_EQ(c.text(), QStringLiteral("12"));
}

TEST(NumEdit, PointRefusedEvenWhenItWouldReplaceTheSelection)
{
    Tnumedit edit;
    edit.setText(QStringLiteral("1.5"));
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("."));
    EXPECT_EQ(edit.text(), QStringLiteral("1.5"));
    // A digit replaces the selection as usual.
    QTest::keyClicks(&edit, QStringLiteral("7"));
    EXPECT_EQ(edit.text(), QStringLiteral("7"));
}

TEST(NumEdit, BackspaceEditsButNotAReadOnlyField)
{
    Tnumedit edit;
    typeText(&edit, QStringLiteral("-4.2"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("-4"));
    typeText(&edit, QStringLiteral(".")); // the point is gone, so one may come back
    EXPECT_EQ(edit.text(), QStringLiteral("-4."));

    // Read-only: the filter runs, but the text cannot change anyway.
    edit.setReadOnly(true);
    edit.setText(QStringLiteral("291"));
    typeText(&edit, QStringLiteral("5x"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("291"));
}

class HexGridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        grid.setColumnCount(16);
        grid.setRowCount(16);
        grid.setDefaultColWidth(16);
        grid.setDefaultRowHeight(16);
        grid.resize(276, 281);
        grid.setCurrentCell(0, 0);
    }
    THexGrid grid;
};

TEST_F(HexGridTest, CellsAreWrittenAndReadByColumnThenRow)
{
    EXPECT_EQ(grid.cellText(3, 2), QString());
    grid.setCellText(3, 2, QStringLiteral("7E"));
    EXPECT_EQ(grid.cellText(3, 2), QStringLiteral("7E"));
    EXPECT_EQ(grid.item(2, 3)->text(), QStringLiteral("7E"));
    EXPECT_EQ(grid.cellText(2, 3), QString());
    grid.setCellText(3, 2, QString());
    EXPECT_EQ(grid.cellText(3, 2), QString());
    // Outside the grid: ignored, not a crash.
    grid.setCellText(16, 0, QStringLiteral("00"));
    grid.setCellText(-1, 0, QStringLiteral("00"));
    EXPECT_EQ(grid.cellText(16, 0), QString());
}

TEST_F(HexGridTest, LooksLikeAPlainStringGrid)
{
    EXPECT_FALSE(grid.horizontalHeader()->isVisible());
    EXPECT_FALSE(grid.verticalHeader()->isVisible());
    // 16 cells of 16 px, each followed by a one-pixel line.
    EXPECT_EQ(grid.columnWidth(0), 17);
    EXPECT_EQ(grid.columnWidth(15), 17);
    EXPECT_EQ(grid.rowHeight(7), 17);
    grid.setDefaultColWidth(32);
    EXPECT_EQ(grid.columnWidth(0), 33);
    grid.setGridLineWidth(0);
    EXPECT_EQ(grid.columnWidth(0), 32);
    EXPECT_EQ(grid.rowHeight(0), 16);
}

TEST_F(HexGridTest, ColoursReachThePaintedCells)
{
    grid.setColor(rgbColor(255, 255, 0));
    grid.setFontColor(clBlack);
    grid.setGridLineColor(clRed);
    grid.setCellText(1, 0, QStringLiteral("88"));
    grid.clearSelection();
    grid.setCurrentItem(nullptr);
    const QImage img = grid.grab().toImage();
    // Frame of 2 px; cell (1,0) spans x 19..34, y 2..17; its line at x 35.
    EXPECT_EQ(img.pixelColor(20, 16), QColor(255, 255, 0));
    EXPECT_EQ(img.pixelColor(35, 10), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(25, 18), QColor(255, 0, 0));
    int dark = 0;
    for (int y = 2; y < 18; ++y)
        for (int x = 19; x < 35; ++x)
            if (img.pixelColor(x, y).lightness() < 100)
                ++dark;
    EXPECT_GT(dark, 10) << "the cell's text was not drawn";
    // The whole 16 x 16 page fits without scroll bars.
    grid.show();
    EXPECT_FALSE(grid.horizontalScrollBar()->isVisible());
    EXPECT_FALSE(grid.verticalScrollBar()->isVisible());
}

TEST_F(HexGridTest, TypingOnTheGridOpensTheEditorWithTheCharacter)
{
    grid.setCellText(0, 0, QStringLiteral("3F"));
    QTest::keyClicks(&grid, QStringLiteral("g"));
    EXPECT_FALSE(grid.isEditing());
    EXPECT_EQ(grid.cellText(0, 0), QStringLiteral("3F"));

    QTest::keyClicks(&grid, QStringLiteral("5"));
    ASSERT_TRUE(grid.isEditing());
    QLineEdit* editor = openEditor(grid);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("5"));
    // Each change is in the cell at once.
    EXPECT_EQ(grid.cellText(0, 0), QStringLiteral("5"));

    typeText(editor, QStringLiteral("xa-"));
    EXPECT_EQ(editor->text(), QStringLiteral("5a"));
    EXPECT_EQ(grid.cellText(0, 0), QStringLiteral("5a"));
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(grid.cellText(0, 0), QStringLiteral("5"));
}

TEST_F(HexGridTest, BackspaceOnTheGridOpensTheEditorAndClearsTheCell)
{
    grid.setCellText(0, 0, QStringLiteral("A0"));
    QTest::keyClick(&grid, Qt::Key_Backspace);
    ASSERT_TRUE(grid.isEditing());
    EXPECT_EQ(grid.cellText(0, 0), QString());
}

TEST_F(HexGridTest, CarriageReturnNeitherOpensNorClosesTheEditor)
{
    grid.setCellText(0, 0, QStringLiteral("11"));
    sendKey(&grid, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_FALSE(grid.isEditing());
    EXPECT_EQ(grid.currentRow(), 0);

    QTest::keyClicks(&grid, QStringLiteral("c"));
    QLineEdit* editor = openEditor(grid);
    ASSERT_NE(editor, nullptr);
    sendKey(editor, Qt::Key_Return, QStringLiteral("\r"));
    QCoreApplication::processEvents(); // a commit-and-close would be queued
    EXPECT_TRUE(grid.isEditing());
    EXPECT_EQ(grid.cellText(0, 0), QStringLiteral("c"));
}

TEST_F(HexGridTest, ShortcutsAreRefusedOnGridAndEditor)
{
    QApplication::clipboard()->setText(QStringLiteral("EE"));
    grid.setCellText(0, 0, QStringLiteral("12"));
    QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("EE"));
    QTest::keyClick(&grid, Qt::Key_V, Qt::ControlModifier);
    EXPECT_FALSE(grid.isEditing());
    EXPECT_EQ(grid.cellText(0, 0), QStringLiteral("12"));

    QTest::keyClicks(&grid, QStringLiteral("d"));
    QLineEdit* editor = openEditor(grid);
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    sendKey(editor, Qt::Key_V, QStringLiteral("\x16"), Qt::ControlModifier);
    EXPECT_EQ(editor->text(), QStringLiteral("d"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("EE"));
}

TEST_F(HexGridTest, ArrowsPassAndMoveTheCurrentCell)
{
    QTest::keyClick(&grid, Qt::Key_Right);
    QTest::keyClick(&grid, Qt::Key_Right);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.currentColumn(), 2);
    EXPECT_EQ(grid.currentRow(), 1);
    EXPECT_FALSE(grid.isEditing());
}

TEST_F(HexGridTest, ReadOnlyGridIgnoresTypingWithoutSearching)
{
    grid.setEditable(false);
    grid.setCellText(5, 5, QStringLiteral("A"));
    QTest::keyClicks(&grid, QStringLiteral("a"));
    EXPECT_FALSE(grid.isEditing());
    EXPECT_EQ(grid.currentColumn(), 0);
    EXPECT_EQ(grid.currentRow(), 0);
}

namespace {

// Dark pixels inside cell (col, row) of a grid with 16 x 16 cells and a
// 2-pixel frame.
int darkPixelsInCell(const QImage& img, int col, int row)
{
    int dark = 0;
    for (int y = 2 + row * 17; y < 2 + row * 17 + 16; ++y)
        for (int x = 2 + col * 17; x < 2 + col * 17 + 16; ++x)
            if (img.pixelColor(x, y).lightness() < 128)
                ++dark;
    return dark;
}

} // namespace

// Columns from the first to the last that hold a dark pixel, in rows
// top..top+15 and columns left..right.
int inkWidth(const QImage& img, int left, int right, int top)
{
    int first = -1, last = -1;
    for (int x = left; x <= right; ++x)
        for (int y = top; y < top + 16; ++y)
            if (img.pixelColor(x, y).lightness() < 128) {
                if (first < 0)
                    first = x;
                last = x;
            }
    return first < 0 ? 0 : last - first + 1;
}

TEST_F(HexGridTest, AWidePairOfDigitsIsDrawnWhole)
{
    // A font in which two wide digits need more than the room after the
    // 2-pixel inset but still fit the 16-pixel cell.
    QFont font(QStringLiteral("DejaVu Sans"));
    int size = 16;
    for (; size > 6; --size) {
        font.setPixelSize(size);
        const int width = QFontMetrics(font).horizontalAdvance(QStringLiteral("DD"));
        if (width > 14 && width <= 16)
            break;
    }
    if (size == 6)
        GTEST_SKIP() << "no size of the font makes DD 15 or 16 pixels wide";
    QImage free(64, 16, QImage::Format_RGB32);
    free.fill(Qt::white);
    {
        QPainter p(&free);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRect(8, 0, 56, 16), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("DD"));
    }
    grid.setFont(font);
    grid.setColor(clWhite);
    grid.setFontColor(clBlack);
    grid.setCellText(2, 0, QStringLiteral("DD"));
    grid.clearSelection();
    grid.setCurrentItem(nullptr);
    const QImage img = grid.grab().toImage();
    // Cell (2, 0) spans x 36..51 and y 2..17.
    EXPECT_EQ(inkWidth(img, 36, 51, 2), inkWidth(free, 0, 63, 0)) << "pixel size " << size;
}

TEST(HexGridFocus, TheFocusedCellKeepsItsOwnColoursUnderEveryStyle)
{
    for (const char* styleName : {"Windows", "Fusion"}) {
        std::unique_ptr<QStyle> style(QStyleFactory::create(QLatin1String(styleName)));
        ASSERT_NE(style, nullptr) << styleName;
        THexGrid grid;
        grid.setStyle(style.get());
        grid.setColumnCount(16);
        grid.setRowCount(16);
        grid.setDefaultColWidth(16);
        grid.setDefaultRowHeight(16);
        grid.resize(276, 281);
        grid.setColor(rgbColor(255, 255, 225));
        grid.setFontColor(clBlack);
        grid.setCellText(3, 2, QStringLiteral("23"));
        grid.show();
        grid.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&grid)) << styleName;
        grid.setFocus();
        grid.setCurrentCell(2, 3);
        ASSERT_TRUE(grid.hasFocus()) << styleName;
        const QImage img = grid.grab().toImage();
        // Cell (3, 2) spans x 53..68, y 36..51: inside the focus frame its
        // background is the grid's colour, not the selection's.
        EXPECT_EQ(img.pixelColor(55, 49), QColor(255, 255, 225)) << styleName;
        EXPECT_GT(darkPixelsInCell(img, 3, 2), 10) << styleName;
    }
}
