// SPDX-License-Identifier: MIT
// The main window's page view: the working file shown one 256-byte page at
// a time in the hex and character grids, the page selector, the offset
// fields, and the hex cells written back by "Edit Confirm".
#include "ALed.h"
#include "Cp437.h"
#include "HexEdit.h"
#include "HexGrid.h"
#include "HexText.h"
#include "ImagePage.h"
#include "Main.h"
#include "StringGrid.h"
#include "UpDown.h"
#include "numedit.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

namespace kavoda {

namespace {

// Upper-case hex with at least digits digits.
QString hexText(std::int64_t value, int digits)
{
    return QString::fromLatin1(hexNumber(static_cast<std::uint64_t>(value), digits).c_str());
}

// The fields and row heads were drawn for four digits; a longer text, past
// 64 KiB, is drawn smaller rather than cut. Four digits keep the designed font.
void fitFont(QWidget* widget, const QString& widest, int room)
{
    QVariant designed = widget->property("designedFont");
    if (!designed.isValid()) {
        designed = widget->font();
        widget->setProperty("designedFont", designed);
    }
    QFont font = designed.value<QFont>();
    if (widest.size() > 4 && QFontMetrics(font).horizontalAdvance(widest) > room) {
        if (font.pixelSize() <= 0)
            font.setPixelSize(QFontInfo(font).pixelSize());
        // The window's font comes in few sizes; a narrow scalable one does.
        font.setFamily(QStringLiteral("DejaVu Sans Condensed"));
        while (QFontMetrics(font).horizontalAdvance(widest) > room && font.pixelSize() > 7)
            font.setPixelSize(font.pixelSize() - 1);
    }
    if (widget->font() != font)
        widget->setFont(font);
}

} // namespace

void TMainForm::showOffset()
{
    const QString decimal = QString::number(CurrentOffset);
    fitFont(numedit3, decimal, numedit3->width() - 6);
    numedit3->setText(decimal);
    hexedit1->setText(hexText(CurrentOffset, 4));
}

void TMainForm::CreateImage()
{
    if (!ImageLoaded)
        ImageFile.assign(workingFilePath());
    ImageFile.createOrTruncate();
    ImageLoaded = true;
}

void TMainForm::ReopenImage()
{
    clearDifferences();  // they were found in the image before
    ImageFile.openExisting();
    showPageRange();
    UpDown1->setPosition(0);
    ShowPage(0);
    GroupBox1->setEnabled(true);
    ALed2->setValue(true);
}

std::int64_t TMainForm::pageCount() const
{
    return ImageLoaded && ImageFile.isOpen() ? (ImageFile.size() + kPageBytes - 1) / kPageBytes : 0;
}

void TMainForm::showPageRange()
{
    const std::int64_t pages = pageCount();
    // Small images keep the selector's old reach, a few pages past their end.
    UpDown1->setRange(0, static_cast<int>(std::max<std::int64_t>(kShortImagePages, pages - 1)));
    PageCount->setText(pages == 1 ? QStringLiteral("of 1 page")
                                  : QStringLiteral("of %1 pages").arg(pages));
}

void TMainForm::goToAddress(std::int64_t address)
{
    if (!ImageLoaded || !GroupBox1->isEnabled())
        return;
    const std::int64_t size = ImageFile.size();
    address = std::clamp<std::int64_t>(address, 0, std::max<std::int64_t>(size - 1, 0));
    const int page = static_cast<int>(address / kPageBytes);
    const int cell = static_cast<int>(address % kPageBytes);
    UpDown1->setPosition(page);
    UpDown1Click();
    HexGrid1->setCurrentCell(cell / kRowBytes, cell % kRowBytes);
    HexGrid1->setFocus();
}

void TMainForm::goToTypedAddress()
{
    bool ok = false;
    const qlonglong address = hexedit1->text().trimmed().toLongLong(&ok, 16);
    if (ok)
        goToAddress(address);
}

void TMainForm::goToTypedPage()
{
    bool ok = false;
    const qlonglong page = Edit1->text().trimmed().toLongLong(&ok, 10);
    if (ok && page >= 0)
        goToAddress(std::min<qlonglong>(page, UpDown1->maximum()) * kPageBytes);
}

void TMainForm::ResetViews()
{
    ALed1->setValue(false);
    ALed2->setValue(false);
    UpDown1->setRange(0, kShortImagePages);
    UpDown1->setPosition(0);
    PageCount->clear();
    GroupBox1->setEnabled(false);
    ClearHexView();
    ClearCharView();
    ImageLoaded = false;
    fitFont(HexGrid2, hexText(15 * kRowBytes, 4), HexGrid2->columnWidth(0) - 2);
    for (int row = 0; row < 16; ++row)
        HexGrid2->setCellText(0, row, hexText(row * kRowBytes, 4));
    for (int col = 0; col < 16; ++col)
        HexGrid3->setCellText(col, 0, hexText(col, 2));
}

void TMainForm::ClearHexView()
{
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 16; ++col)
            HexGrid1->setCellText(col, row, QString());
    }
}

void TMainForm::ClearCharView()
{
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 16; ++col)
            StringGrid2->setCellText(col, row, QString());
    }
}

void TMainForm::ShowPage(std::int32_t offset)
{
    ALed1->setValue(false);
    ClearHexView();
    ClearCharView();
    fitFont(HexGrid2, hexText(std::int64_t{offset} + 15 * kRowBytes, 4),
            HexGrid2->columnWidth(0) - 2);
    // Rows that get no byte keep the labels they had.
    const bool ended = readPage(ImageFile, offset, [this, offset](int i, std::uint8_t b) {
        const int column = i % 16;
        const int row = i / 16;
        HexGrid2->setCellText(0, row, hexText(std::int64_t{offset} + row * kRowBytes, 4));
        HexGrid3->setCellText(column, 0, hexText(column, 2));
        HexGrid1->setCellText(column, row, hexText(b, 2));
        StringGrid2->setCellText(column, row, cp437Text(b));
    });
    if (ended)
        ALed1->setValue(true);
    markDifferences(offset);
}

void TMainForm::WritePage(std::int32_t offset)
{
    writePage(ImageFile, offset,
              [this](int i) { return HexGrid1->cellText(i % 16, i / 16).toStdString(); });
}

void TMainForm::UpDown1Click()
{
    const int position = UpDown1->position();
    // Before the grid has had a current cell, its first cell counts as one.
    CurrentOffset = cellOffset(position, std::max(0, HexGrid1->currentRow()),
                               std::max(0, HexGrid1->currentColumn()));
    showOffset();
    if (ImageLoaded) {
        Edit1->setText(QString::number(position));
        // Unconfirmed edits of the page left behind are dropped here.
        ShowPage(position * kPageBytes);
    }
}

void TMainForm::HexGrid1SelectCell(int column, int row)
{
    if (column < 0 || row < 0)
        return; // the grid lost its current cell; nothing is selected
    StringGrid2->setCurrentCell(row, column);
    HexGrid2->setCurrentCell(row, 0);
    HexGrid3->setCurrentCell(0, column);
    CurrentOffset = cellOffset(UpDown1->position(), row, column);
    showOffset();
}

void TMainForm::ConfirmBtnClick()
{
    // Set first: a page that fails half way has changed the image too.
    m_imageUnsaved = true;
    WritePage(UpDown1->position() * kPageBytes);
    // Written: the typed cells no longer differ from the image.
    HexGrid1->clearEditMarks();
}

} // namespace kavoda
