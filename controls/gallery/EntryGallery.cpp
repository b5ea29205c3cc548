// SPDX-License-Identifier: MIT
// Gallery pictures of the hex grid and the two filtered edit fields, laid out
// as the main window holds them: the page grid with its row and column
// labels, a few cells filled, and the offset fields; then the same with the
// cell editor open after typing.
#include "Gallery.h"

#include "HexEdit.h"
#include "HexGrid.h"
#include "numedit.h"

#include <QDir>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace kavoda::gallery {

namespace {

QFont windowFont()
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    return f;
}

void labelGrid(THexGrid& g, int cols, int rows, int colWidth, int x, int y, int w, int h)
{
    g.setColumnCount(cols);
    g.setRowCount(rows);
    g.setDefaultColWidth(colWidth);
    g.setDefaultRowHeight(16);
    g.setColor(clBlack);
    g.setFontColor(clRed);
    g.setGeometry(x, y, w, h);
}

struct Page {
    QWidget window;
    THexGrid* grid1;
    THexGrid* grid2;
    THexGrid* grid3;
    Thexedit* hex;
    Tnumedit* num;

    Page()
    {
        window.setFont(windowFont());
        window.resize(360, 350);
        window.setAutoFillBackground(true);

        grid3 = new THexGrid(&window);
        labelGrid(*grid3, 16, 1, 16, 64, 8, 276, 19);
        grid3->setEditable(false);
        grid2 = new THexGrid(&window);
        labelGrid(*grid2, 1, 16, 32, 24, 32, 37, 281);
        for (int c = 0; c < 16; ++c)
            grid3->setCellText(c, 0, QStringLiteral("%1").arg(c, 2, 16, QChar('0')).toUpper());
        for (int r = 0; r < 16; ++r)
            grid2->setCellText(0, r, QStringLiteral("%1").arg(r * 16, 4, 16, QChar('0')).toUpper());

        grid1 = new THexGrid(&window);
        grid1->setColumnCount(16);
        grid1->setRowCount(16);
        grid1->setDefaultColWidth(16);
        grid1->setDefaultRowHeight(16);
        grid1->setColor(clInfoBk);
        grid1->setFontColor(clBlack);
        grid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
        grid1->setGeometry(64, 32, 276, 281);
        const char* bytes[] = {"4B", "61", "76", "6F", "64", "61", "00", "FF", "12", "A5"};
        for (int i = 0; i < 10; ++i)
            grid1->setCellText(i, 0, QString::fromLatin1(bytes[i]));
        for (int i = 0; i < 16; ++i)
            grid1->setCellText(i, 15, QStringLiteral("%1").arg(0xF0 + i, 2, 16).toUpper());
        grid1->setCurrentCell(2, 3);
        grid2->setCurrentCell(2, 0);
        grid3->setCurrentCell(0, 3);

        auto* dec = new QLabel(QStringLiteral("Dec."), &window);
        dec->move(110, 336);
        auto* hexLabel = new QLabel(QStringLiteral("Hex"), &window);
        hexLabel->move(200, 336);
        num = new Tnumedit(&window);
        num->setReadOnly(true);
        num->setGeometry(144, 332, 49, 21);
        num->setText(QStringLiteral("291"));
        hex = new Thexedit(&window);
        hex->setGeometry(224, 332, 49, 21);
        hex->setText(QStringLiteral("0123"));
        window.resize(360, 362);
    }
};

// Types characters as key presses, the way the keyboard delivers them.
void type(QWidget* w, const QString& chars)
{
    for (QChar c : chars) {
        const int key = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - u'A') : c.unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

QImage enlarged(const QImage& img, int scale)
{
    return img.scaled(img.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

void renderEntryGallery(const QString& outDir)
{
    const QDir dir(outDir);
    {
        Page page;
        page.window.grab().save(dir.filePath(QStringLiteral("entry-page.png")));
    }
    {
        // Typing on the grid: "g" is refused, "7" opens the editor, "c" follows.
        Page page;
        page.window.show();
        page.grid1->setFocus();
        type(page.grid1, QStringLiteral("g7"));
        if (QLineEdit* editor = page.grid1->findChild<QLineEdit*>())
            type(editor, QStringLiteral("xc"));
        // Fields after typing: the hex field refuses g, the number field takes one point.
        type(page.hex, QStringLiteral("g4"));
        page.num->setReadOnly(false);
        type(page.num, QStringLiteral(".5.-"));
        const QImage shot = page.window.grab().toImage();
        shot.save(dir.filePath(QStringLiteral("entry-typing.png")));
        enlarged(shot.copy(40, 20, 180, 90), 3).save(dir.filePath(QStringLiteral("entry-typing-zoom.png")));
    }
}

} // namespace kavoda::gallery
