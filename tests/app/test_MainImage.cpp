// SPDX-License-Identifier: MIT
// The main window's working image: pages shown from the working file, the
// selection mirrored, cells confirmed back, and Load and Save As through a
// dialog hook, including the failures that must not cost the image.
#include "ALed.h"
#include "Cp437.h"
#include "image/Files.h"
#include "HexEdit.h"
#include "HexGrid.h"
#include "IoError.h"
#include "Main.h"
#include "StringGrid.h"
#include "TempFolder.h"
#include "UpDown.h"
#include "app/SettingsFolder.h"
#include "numedit.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <sys/stat.h>
#include <unistd.h>

using namespace kavoda;
using namespace kavoda::test;
namespace fs = std::filesystem;

namespace {

using Dialog = TMainForm::ImageDialog;

class MainImageTest : public SettingsFolderTest {
protected:
    void SetUp() override
    {
        SettingsFolderTest::SetUp();
        m_folder = testFolder();
        m_form = std::make_unique<TMainForm>();
        m_form->setWorkingFolder(m_folder.string());
        m_form->setImageDialogHook([this](Dialog kind) {
            m_dialogs.push_back(kind);
            return m_answer;
        });
    }
    void TearDown() override
    {
        m_form.reset();
        SettingsFolderTest::TearDown();
    }

    fs::path working() const { return m_folder / "Tempor.tmp"; }
    Bytes image() const { return readBytes(working()); }

    // Load through the menu, answering the dialog with path.
    void load(const fs::path& path)
    {
        m_answer = QString::fromStdString(path.string());
        m_form->menuAction("&Load")->trigger();
    }
    void loadBytes(const Bytes& bytes, const std::string& name = "in.bin")
    {
        writeBytes(m_folder / name, bytes);
        load(m_folder / name);
        ASSERT_TRUE(m_reports.isEmpty()) << m_reports.join('|').toStdString();
    }
    void saveAs(const fs::path& path)
    {
        m_answer = QString::fromStdString(path.string());
        m_form->menuAction("Save &As...")->trigger();
    }
    void up() { m_form->UpDown1->upButton()->click(); }
    void down() { m_form->UpDown1->downButton()->click(); }
    void confirm() { m_form->ConfirmBtn->click(); }

    QStringList hexCells() const
    {
        QStringList cells;
        for (int i = 0; i < 256; ++i)
            cells << m_form->HexGrid1->cellText(i % 16, i / 16);
        return cells;
    }
    QStringList charCells() const
    {
        QStringList cells;
        for (int i = 0; i < 256; ++i)
            cells << m_form->StringGrid2->cellText(i % 16, i / 16);
        return cells;
    }
    QStringList rowHeads() const
    {
        QStringList heads;
        for (int row = 0; row < 16; ++row)
            heads << m_form->HexGrid2->cellText(0, row);
        return heads;
    }

    fs::path m_folder;
    std::unique_ptr<TMainForm> m_form;
    QString m_answer;
    std::vector<Dialog> m_dialogs;
};

// What a page of bytes shows: count cells from first, the rest empty.
QStringList expectedHex(int first, int count)
{
    QStringList cells;
    for (int i = 0; i < 256; ++i)
        cells << (i < count ? QStringLiteral("%1").arg((first + i) & 0xFF, 2, 16, QLatin1Char('0')).toUpper()
                            : QString());
    return cells;
}
QStringList expectedChars(int first, int count)
{
    QStringList cells;
    for (int i = 0; i < 256; ++i)
        cells << (i < count ? cp437Text(static_cast<std::uint8_t>(first + i)) : QString());
    return cells;
}
QStringList heads(int first, int count, int keptFrom)
{
    QStringList labels;
    for (int row = 0; row < 16; ++row) {
        const int value = row < count ? first + row * 16 : keptFrom + row * 16;
        labels << QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
    }
    return labels;
}

// ---- the working file and reopening it

TEST_F(MainImageTest, AReadFillsTheWorkingFileAndReopeningShowsPageZero)
{
    // What Read Device does for a device with four blocks.
    m_form->CreateImage();
    EXPECT_TRUE(m_form->ImageLoaded);
    EXPECT_EQ(m_form->ImageFile.name(), working().string());
    EXPECT_TRUE(fs::exists(working()));
    for (int block = 0; block <= 3; ++block)
        for (int address = 0; address < 256; ++address)
            m_form->ImageFile.writeByte(static_cast<std::uint8_t>(block * 16 + address));
    m_form->ReopenImage();

    const Bytes bytes = image();
    ASSERT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(bytes[0x210], (2 * 16 + 0x10) & 0xFF);
    EXPECT_EQ(hexCells(), expectedHex(0, 256));
    EXPECT_EQ(m_form->UpDown1->position(), 0);
    EXPECT_TRUE(m_form->GroupBox1->isEnabled());
    EXPECT_TRUE(m_form->ALed2->value());
    EXPECT_FALSE(m_form->ALed1->value());

    // A second read truncates the file it made before.
    m_form->CreateImage();
    EXPECT_TRUE(image().empty());
}

TEST_F(MainImageTest, TheWorkingFolderIsFixedWhenTheWindowIsMade)
{
    const fs::path before = fs::current_path();
    const fs::path start = testFolder(), elsewhere = testFolder();
    fs::current_path(start);
    TMainForm form;
    fs::current_path(elsewhere); // as a file dialog might
    form.CreateImage();
    fs::current_path(before);
    EXPECT_EQ(form.workingFolder(), start.string());
    EXPECT_TRUE(fs::exists(start / "Tempor.tmp"));
    EXPECT_FALSE(fs::exists(elsewhere / "Tempor.tmp"));
}

// ---- showing pages

TEST_F(MainImageTest, A300ByteImageFillsPageZeroAndPartOfPageOne)
{
    loadBytes(countingBytes(300));
    EXPECT_EQ(hexCells(), expectedHex(0, 256));
    EXPECT_EQ(charCells(), expectedChars(0, 256));
    EXPECT_EQ(rowHeads(), heads(0, 16, 0));
    EXPECT_FALSE(m_form->ALed1->value());

    up();
    EXPECT_TRUE(m_reports.isEmpty());
    EXPECT_EQ(m_form->Edit1->text(), "1");
    // Rows 0 and 1 full, 12 bytes in row 2; rows 3 on keep page 0's labels.
    EXPECT_EQ(hexCells(), expectedHex(256, 44));
    EXPECT_EQ(charCells(), expectedChars(256, 44));
    EXPECT_EQ(rowHeads(), heads(0x100, 3, 0));
    EXPECT_TRUE(m_form->ALed1->value());

    down();
    EXPECT_EQ(m_form->Edit1->text(), "0");
    EXPECT_EQ(hexCells(), expectedHex(0, 256));
    EXPECT_EQ(rowHeads(), heads(0, 16, 0));
    EXPECT_FALSE(m_form->ALed1->value());
}

TEST_F(MainImageTest, TheEndIsSeenOnlyBeforeAByte)
{
    // 256 bytes: page 0 ends exactly at the end and leaves "End view" dark.
    loadBytes(countingBytes(256));
    EXPECT_EQ(hexCells(), expectedHex(0, 256));
    EXPECT_FALSE(m_form->ALed1->value());
    up();
    EXPECT_EQ(hexCells(), expectedHex(0, 0));
    EXPECT_EQ(charCells(), expectedChars(0, 0));
    EXPECT_EQ(rowHeads(), heads(0, 16, 0)); // no row got a byte
    EXPECT_TRUE(m_form->ALed1->value());

    // An empty file: no bytes at all, "End view" lit at once.
    loadBytes({}, "empty.bin");
    EXPECT_TRUE(image().empty());
    EXPECT_EQ(hexCells(), expectedHex(0, 0));
    EXPECT_TRUE(m_form->ALed1->value());
    EXPECT_TRUE(m_form->ALed2->value());
}

TEST_F(MainImageTest, PageHundredIsTheLastWhateverTheImageSize)
{
    loadBytes(countingBytes(300));
    m_form->UpDown1->setPosition(99);
    up();
    EXPECT_EQ(m_form->Edit1->text(), "100");
    EXPECT_EQ(hexCells(), expectedHex(0, 0));
    up(); // nothing happens at the end of the range
    EXPECT_EQ(m_form->UpDown1->position(), 100);
    EXPECT_EQ(m_form->Edit1->text(), "100");

    // With an image that big, page 100 shows offsets 25600 on.
    loadBytes(countingBytes(25856), "big.bin");
    m_form->UpDown1->setPosition(99);
    up();
    EXPECT_EQ(hexCells(), expectedHex(25600, 256));
    EXPECT_EQ(rowHeads().front(), "6400");
    EXPECT_EQ(rowHeads().back(), "64F0");
}

TEST_F(MainImageTest, ALargeImageIsPagedToItsLastPageAndAddressesAreReached)
{
    // 256 KiB and a little: 1025 pages, the last one 16 bytes long.
    loadBytes(countingBytes(262144 + 16), "large.bin");
    EXPECT_EQ(m_form->pageCount(), 1025);
    EXPECT_EQ(m_form->PageCount->text(), "of 1025 pages");
    EXPECT_EQ(m_form->UpDown1->maximum(), 1024);
    m_form->UpDown1->setPosition(1023);
    up();
    EXPECT_EQ(m_form->Edit1->text(), "1024");
    EXPECT_EQ(hexCells(), expectedHex(0, 16));
    EXPECT_EQ(rowHeads().front(), "40000");
    // Six digits are drawn smaller than four, whole.
    const QFont designed = m_form->HexGrid1->font();
    m_form->ShowPage(0xFFFF00);  // past this image: only the font matters
    EXPECT_LE(QFontMetrics(m_form->HexGrid2->font()).horizontalAdvance("FFFFF0"),
              m_form->HexGrid2->columnWidth(0) - 2);
    up();
    EXPECT_EQ(m_form->UpDown1->position(), 1024);

    // The hex offset field goes to an address, with its cell selected.
    m_form->hexedit1->setText("1ABCD");
    QTest::keyClick(m_form->hexedit1, Qt::Key_Return);
    EXPECT_EQ(m_form->UpDown1->position(), 0x1AB);
    EXPECT_EQ(m_form->CurrentOffset, 0x1ABCD);
    EXPECT_EQ(m_form->numedit3->text(), QString::number(0x1ABCD));
    EXPECT_EQ(m_form->HexGrid1->currentRow(), 0xC);
    EXPECT_EQ(m_form->HexGrid1->currentColumn(), 0xD);
    EXPECT_EQ(hexCells(), expectedHex(0x1AB00, 256));
    // One beyond the image goes to its last byte; the page field to a page.
    m_form->goToAddress(0x7FFFFFFF);
    EXPECT_EQ(m_form->CurrentOffset, 262144 + 15);
    m_form->Edit1->setText("512");
    QTest::keyClick(m_form->Edit1, Qt::Key_Return);
    EXPECT_EQ(m_form->UpDown1->position(), 512);
    EXPECT_EQ(hexCells(), expectedHex(512 * 256, 256));

    // A small image afterwards is back to the old range and its own count.
    loadBytes(countingBytes(300));
    EXPECT_EQ(m_form->UpDown1->maximum(), 100);
    EXPECT_EQ(m_form->UpDown1->position(), 0);
    EXPECT_EQ(m_form->PageCount->text(), "of 2 pages");
    EXPECT_EQ(m_form->HexGrid2->font(), designed) << "four digits keep the designed font";
}

TEST_F(MainImageTest, EveryByteHasAGlyphOrABlankInTheCharacterFont)
{
    const QFontMetrics metrics(m_form->StringGrid2->font());
    for (int b = 0; b < 256; ++b) {
        const QString text = cp437Text(static_cast<std::uint8_t>(b));
        ASSERT_EQ(text.size(), 1);
        const char32_t code = text.front().unicode();
        if (code == 0x20 || code == 0xA0)
            continue; // shown blank
        EXPECT_TRUE(metrics.inFontUcs4(code)) << "byte " << b;
    }
}

// ---- selection and offsets

TEST_F(MainImageTest, TheSelectionIsMirroredAndGivesTheOffset)
{
    loadBytes(countingBytes(300));
    up();
    m_form->HexGrid1->setCurrentCell(2, 3);
    EXPECT_EQ(m_form->CurrentOffset, 291);
    EXPECT_EQ(m_form->numedit3->text(), "291");
    EXPECT_EQ(m_form->hexedit1->text(), "0123");
    EXPECT_EQ(m_form->StringGrid2->currentRow(), 2);
    EXPECT_EQ(m_form->StringGrid2->currentColumn(), 3);
    EXPECT_EQ(m_form->HexGrid2->currentRow(), 2);
    EXPECT_EQ(m_form->HexGrid3->currentColumn(), 3);

    // The same cell stays selected on the next page.
    up();
    EXPECT_EQ(m_form->HexGrid1->currentRow(), 2);
    EXPECT_EQ(m_form->numedit3->text(), "547");
    EXPECT_EQ(m_form->hexedit1->text(), "0223");

    // Reopening goes back to page 0 but leaves the offset fields alone.
    m_form->ReopenImage();
    EXPECT_EQ(m_form->UpDown1->position(), 0);
    EXPECT_EQ(m_form->CurrentOffset, 547);
    EXPECT_EQ(m_form->numedit3->text(), "547");
}

TEST_F(MainImageTest, WithoutAnImageTheArrowsMoveOnlyTheOffset)
{
    m_form->GroupBox1->setEnabled(true);
    up();
    EXPECT_EQ(m_form->numedit3->text(), "256");
    EXPECT_EQ(m_form->hexedit1->text(), "0100");
    EXPECT_EQ(m_form->Edit1->text(), "0");
    EXPECT_EQ(hexCells(), expectedHex(0, 0));
    EXPECT_TRUE(m_reports.isEmpty());
}

// ---- confirming a page

TEST_F(MainImageTest, ConfirmWritesTheCellsAsTypedAndKeepsTheirText)
{
    loadBytes(countingBytes(300));
    m_form->HexGrid1->setCellText(1, 0, "a");
    m_form->HexGrid1->setCellText(2, 0, "123");
    m_form->HexGrid1->setCellText(3, 0, "");
    confirm();
    EXPECT_TRUE(m_reports.isEmpty());
    Bytes expected = countingBytes(300);
    expected[1] = 0x0A;
    expected[2] = 0x12;
    expected[3] = 0x00;
    EXPECT_EQ(image(), expected);
    // Nothing is redrawn until the page is shown again.
    EXPECT_EQ(m_form->HexGrid1->cellText(1, 0), "a");
    EXPECT_EQ(m_form->StringGrid2->cellText(1, 0), cp437Text(1));
    up();
    down();
    EXPECT_EQ(m_form->HexGrid1->cellText(1, 0), "0A");
    EXPECT_EQ(m_form->HexGrid1->cellText(2, 0), "12");
    EXPECT_EQ(m_form->StringGrid2->cellText(1, 0), cp437Text(0x0A));
}

TEST_F(MainImageTest, ConfirmBeyondTheEndGrowsTheImageWithZeros)
{
    loadBytes(countingBytes(300));
    up();
    confirm();
    Bytes expected = countingBytes(300);
    expected.resize(512, 0x00);
    EXPECT_EQ(image(), expected);

    // The confirmed page, saved nowhere, is kept before the next Load.
    writeBytes(m_folder / "256.bin", countingBytes(256));
    load(m_folder / "256.bin");
    EXPECT_EQ(m_reports, QStringList("The image shown before, in no file but the working file, is "
                                     "kept in " +
                                     QString::fromStdString((m_folder / "Tempor.bak").string()) +
                                     "."));
    EXPECT_EQ(readBytes(m_folder / "Tempor.bak"), expected);
    EXPECT_FALSE(m_form->imageUnsaved());
    for (int i = 0; i < 5; ++i)
        up();
    confirm();
    expected = countingBytes(256);
    expected.resize(1536, 0x00);
    EXPECT_EQ(image(), expected);
}

TEST_F(MainImageTest, ABadCellStopsTheConfirmThere)
{
    loadBytes(countingBytes(256));
    for (int i = 0; i < 6; ++i)
        m_form->HexGrid1->setCellText(i, 0, "EE");
    m_form->HexGrid1->setCellText(5, 0, "G1"); // pasted
    confirm();
    EXPECT_EQ(m_reports, QStringList("'G' is not a valid integer value."));
    Bytes expected = countingBytes(256);
    for (int i = 0; i < 5; ++i)
        expected[i] = 0xEE;
    EXPECT_EQ(image(), expected);
    EXPECT_EQ(m_form->HexGrid1->cellText(5, 0), "G1");
}

TEST_F(MainImageTest, TypedCellsStandOutUntilConfirmedOrLeft)
{
    loadBytes(countingBytes(300));
    THexGrid* grid = m_form->HexGrid1;
    const auto typeInto = [grid](int col, int row, const char* text) {
        grid->setCurrentCell(row, col);
        // The first character opens the cell editor, the rest go into it.
        for (const char* c = text; *c; ++c) {
            QWidget* editor = grid->isEditing() ? grid->indexWidget(grid->currentIndex()) : nullptr;
            QTest::keyClick(editor ? editor : grid, *c);
        }
        grid->setCurrentCell(15, 15);  // leaves the cell, as a click elsewhere
    };
    // The text colour of a cell as drawn: its darkest pixel's.
    const auto inkOf = [grid](int col, int row) {
        const QImage shot = grid->viewport()->grab().toImage();
        const QRect cell = grid->visualItemRect(grid->item(row, col));
        QColor ink = Qt::white;
        for (int y = cell.top(); y < cell.bottom(); ++y)
            for (int x = cell.left(); x < cell.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.lightness() < ink.lightness())
                    ink = c;
            }
        return ink;
    };
    const QColor plain = inkOf(1, 0);
    typeInto(1, 0, "7e");
    EXPECT_EQ(grid->cellText(1, 0), "7e");
    EXPECT_TRUE(grid->cellEdited(1, 0));
    EXPECT_FALSE(grid->cellEdited(3, 0));
    EXPECT_EQ(inkOf(1, 0), toQColor(grid->editedColor()));
    EXPECT_NE(toQColor(grid->editedColor()), plain);
    EXPECT_EQ(inkOf(3, 0), plain);

    // A confirm that stops at a bad cell has not written the page.
    grid->setCellText(9, 9, "G1");
    confirm();
    EXPECT_TRUE(grid->cellEdited(1, 0));
    grid->setCellText(9, 9, "99");
    confirm();
    EXPECT_FALSE(grid->cellEdited(1, 0));
    EXPECT_EQ(inkOf(1, 0), plain);
    EXPECT_EQ(image()[1], 0x7E);

    // Leaving the page drops the edit and its colour.
    typeInto(4, 0, "5");
    up();
    down();
    EXPECT_FALSE(grid->cellEdited(4, 0));
    EXPECT_EQ(grid->cellText(4, 0), "04");
}

TEST_F(MainImageTest, PageKeysTurnThePageWhereverTheFocusIs)
{
    m_form->show();
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    // No image: the Edit group and with it the page keys are off.
    QTest::keyClick(m_form->HexGrid1, Qt::Key_PageDown);
    EXPECT_EQ(m_form->UpDown1->position(), 0);

    loadBytes(countingBytes(600));
    for (QWidget* focus : std::initializer_list<QWidget*>{
             m_form->HexGrid1, m_form->Edit1, m_form->hexedit1, m_form->ConfirmBtn}) {
        SCOPED_TRACE(focus->objectName().toStdString());
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_PageDown);
        QTest::keyClick(focus, Qt::Key_PageDown);
        EXPECT_EQ(m_form->UpDown1->position(), 2);
        EXPECT_EQ(m_form->Edit1->text(), "2");
        EXPECT_EQ(hexCells(), expectedHex(512, 88));
        QTest::keyClick(focus, Qt::Key_PageUp);
        QTest::keyClick(focus, Qt::Key_PageUp);
        QTest::keyClick(focus, Qt::Key_PageUp);  // nothing before page 0
        EXPECT_EQ(m_form->UpDown1->position(), 0);
        EXPECT_EQ(hexCells(), expectedHex(0, 256));
    }
}

TEST_F(MainImageTest, NavigationDropsUnconfirmedEdits)
{
    loadBytes(countingBytes(300));
    m_form->HexGrid1->setCellText(0, 0, "FF");
    up();
    down();
    EXPECT_EQ(m_form->HexGrid1->cellText(0, 0), "00");
    EXPECT_EQ(image(), countingBytes(300));
}

// ---- Load and Save As

TEST_F(MainImageTest, LoadAndSaveMoveRawBytesWhateverTheName)
{
    const Bytes text = {'o', 'n', 'e', '\r', '\n', 't', 'w', 'o', '\r', '\n'};
    loadBytes(text, "notes.txt");
    EXPECT_EQ(image(), text);
    EXPECT_EQ(hexCells().mid(0, 5), (QStringList{"6F", "6E", "65", "0D", "0A"}));

    loadBytes(countingBytes(300));
    EXPECT_EQ(m_dialogs, (std::vector<Dialog>{Dialog::Load, Dialog::Load}));
    for (const char* name : {"out.bin", "out.txt", "out"}) {
        saveAs(m_folder / name);
        EXPECT_EQ(readBytes(m_folder / name), countingBytes(300)) << name;
    }
    EXPECT_TRUE(m_reports.isEmpty());
    EXPECT_EQ(m_dialogs.back(), Dialog::Save);
    // The image stays open and shown after a save.
    up();
    EXPECT_EQ(hexCells(), expectedHex(256, 44));
}

TEST_F(MainImageTest, SaveAsBeforeAnyImageAndCancelledDialogsDoNothing)
{
    saveAs(m_folder / "out.bin");
    EXPECT_TRUE(m_dialogs.empty());
    EXPECT_FALSE(fs::exists(m_folder / "out.bin"));

    loadBytes(countingBytes(300));
    m_answer.clear();
    m_form->menuAction("&Load")->trigger();
    m_form->menuAction("Save &As...")->trigger();
    EXPECT_EQ(m_dialogs.size(), 3u);
    EXPECT_TRUE(m_form->ImageLoaded);
    EXPECT_EQ(image(), countingBytes(300));
    EXPECT_EQ(hexCells(), expectedHex(0, 256));
    EXPECT_TRUE(m_reports.isEmpty());
}

TEST_F(MainImageTest, ALoadReplacesALeftoverWorkingFile)
{
    writeBytes(working(), countingBytes(999));
    loadBytes({1, 2, 3});
    EXPECT_EQ(image(), (Bytes{1, 2, 3}));
}

// ---- failures that keep the image

TEST_F(MainImageTest, AMissingFileKeepsTheOldImageShownAndUsable)
{
    loadBytes(countingBytes(300));
    load(m_folder / "missing.bin");
    EXPECT_EQ(m_reports, QStringList("File not found."));
    EXPECT_EQ(image(), countingBytes(300));
    EXPECT_EQ(hexCells(), expectedHex(0, 256));
    EXPECT_TRUE(m_form->ImageFile.isOpen());
    up();
    EXPECT_EQ(hexCells(), expectedHex(256, 44));
    m_form->HexGrid1->setCellText(0, 0, "AB");
    confirm();
    EXPECT_EQ(image()[256], 0xAB);
    EXPECT_EQ(m_reports.size(), 1);
}

TEST_F(MainImageTest, AFileBeyondSixteenMebibytesIsNoImage)
{
    loadBytes(countingBytes(300));
    const fs::path huge = m_folder / "huge.bin";
    writeBytes(huge, {});
    ASSERT_EQ(::truncate(huge.c_str(), std::int64_t{1} << 30), 0);
    load(huge);
    EXPECT_EQ(m_reports, QStringList(QString::fromStdString(
                             huge.string() + " is larger than 16 MiB; no chip of this program is that big.")));
    EXPECT_EQ(image(), countingBytes(300));
    EXPECT_EQ(hexCells(), expectedHex(0, 256));
}

TEST_F(MainImageTest, AWorkingFileThatCannotBeReplacedIsReported)
{
    // No image yet, and a folder (not empty) where the working file goes.
    fs::create_directories(working() / "inside");
    writeBytes(m_folder / "in.bin", {1});
    load(m_folder / "in.bin");
    ASSERT_EQ(m_reports.size(), 1);
    EXPECT_FALSE(m_form->ImageLoaded);
    EXPECT_FALSE(m_form->GroupBox1->isEnabled());
    EXPECT_EQ(hexCells(), expectedHex(0, 0));
}

TEST_F(MainImageTest, TheWorkingFileAsSourceOrTargetKeepsTheImage)
{
    loadBytes(countingBytes(300));
    m_form->HexGrid1->setCellText(0, 0, "5A");
    confirm();
    Bytes expected = countingBytes(300);
    expected[0] = 0x5A;

    // Saving onto the working file would save nothing: said so.
    saveAs(working());
    saveAs(m_folder / "." / "Tempor.tmp");
    const QString refused = " is the working file, which the next Read replaces; save the image "
                            "under another name.";
    const QString dotted = QString::fromStdString((m_folder / "." / "Tempor.tmp").string());
    EXPECT_EQ(m_reports, (QStringList{QString::fromStdString(working().string()) + refused,
                                      dotted + refused}));
    EXPECT_TRUE(m_form->imageUnsaved());
    EXPECT_EQ(image(), expected);

    // Loading the working file keeps its unsaved edits in Tempor.bak too.
    m_reports.clear();
    load(working());
    EXPECT_EQ(m_reports.size(), 1);
    EXPECT_EQ(image(), expected);
    EXPECT_EQ(readBytes(m_folder / "Tempor.bak"), expected);
    EXPECT_EQ(m_form->HexGrid1->cellText(0, 0), "5A");

    // Loading Tempor.bak itself, while the image shown holds unsaved edits,
    // loads what Tempor.bak held and keeps the shown image there after.
    writeBytes(m_folder / "Tempor.bak", countingBytes(20));
    m_form->HexGrid1->setCellText(1, 0, "A5");
    confirm();
    expected[1] = 0xA5;
    load(m_folder / "Tempor.bak");
    EXPECT_EQ(image(), countingBytes(20));
    EXPECT_EQ(readBytes(m_folder / "Tempor.bak"), expected);
    EXPECT_FALSE(fs::exists(m_folder / "Tempor.bak.new"));
    load(m_folder / "Tempor.bak");
    EXPECT_EQ(image(), expected);
}

TEST_F(MainImageTest, SaveAsFailuresAreReportedAndWriteNothing)
{
    loadBytes(countingBytes(300));
    saveAs(m_folder / "no-folder" / "out.bin");
    EXPECT_EQ(m_reports, QStringList("File not found."));
    EXPECT_FALSE(fs::exists(m_folder / "no-folder"));
    EXPECT_EQ(image(), countingBytes(300));
}

TEST_F(MainImageTest, AnUnwritableSaveTargetIsAccessDenied)
{
    KAVODA_SKIP_AS_ROOT();
    loadBytes(countingBytes(300));
    const fs::path locked = m_folder / "locked";
    fs::create_directory(locked);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    saveAs(locked / "out.bin");
    const fs::path readOnly = m_folder / "ro.bin";
    writeBytes(readOnly, {7});
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    saveAs(readOnly);
    EXPECT_EQ(m_reports, (QStringList{"File access denied.", "File access denied."}));
    EXPECT_FALSE(fs::exists(locked / "out.bin"));
    EXPECT_EQ(readBytes(readOnly), Bytes{7});
}

TEST_F(MainImageTest, ALoadRecoversFromAFailedReopen)
{
    loadBytes(countingBytes(300));
    fs::remove(working());
    EXPECT_THROW(m_form->ReopenImage(), IoError);
    EXPECT_TRUE(m_form->ImageLoaded);
    EXPECT_FALSE(m_form->ImageFile.isOpen());

    // Until then the image cannot be paged or saved...
    up();
    saveAs(m_folder / "out.bin");
    EXPECT_EQ(m_reports, (QStringList{"I/O error 103.", "I/O error 103."}));
    // ...and a Load brings it back.
    m_reports.clear();
    loadBytes(countingBytes(20), "small.bin");
    EXPECT_TRUE(m_form->ImageFile.isOpen());
    EXPECT_EQ(hexCells(), expectedHex(0, 20));
    saveAs(m_folder / "out.bin");
    EXPECT_EQ(readBytes(m_folder / "out.bin"), countingBytes(20));
}

// ---- the dialogs

TEST_F(MainImageTest, TheDialogsAsLoadAndSaveAsShowThem)
{
    QFileDialog open, save;
    TMainForm::setupImageDialog(open, Dialog::Load);
    TMainForm::setupImageDialog(save, Dialog::Save);
    EXPECT_EQ(open.objectName(), "OpenDialog1");
    EXPECT_EQ(save.objectName(), "SaveDialog1");
    EXPECT_EQ(open.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
    // The descriptions as the filter list shows them, in order, the first
    // one chosen.
    const auto shown = [](const QFileDialog& d) {
        QStringList names;
        const auto* combo = d.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; combo && i < combo->count(); ++i)
            names << combo->itemText(i);
        if (combo)
            names << QStringLiteral("chosen:") + combo->currentText();
        return names;
    };
    EXPECT_EQ(shown(open), (QStringList{"bin(*.bin)", "text(*.txt)", "all(*.*)", "chosen:bin(*.bin)"}));
    EXPECT_EQ(shown(save), (QStringList{"bin(*.bin)", "Text(*.txt)", "all(*.*)", "chosen:bin(*.bin)"}));
    EXPECT_TRUE(open.testOption(QFileDialog::HideNameFilterDetails));
    // "all" lists every name, with a dot or without.
    EXPECT_TRUE(open.nameFilters().back().endsWith(QLatin1String("(*)")));
    EXPECT_EQ(open.defaultSuffix(), "");
    EXPECT_EQ(save.defaultSuffix(), "bin");
    EXPECT_FALSE(save.testOption(QFileDialog::DontConfirmOverwrite));
    // Load takes a name that does not exist; the Load reports it.
    EXPECT_EQ(open.fileMode(), QFileDialog::AnyFile);

    const QDir wurlen(QDir::home().filePath("Wurlen"));
    const QString start = wurlen.exists() ? wurlen.absolutePath() : QDir::currentPath();
    EXPECT_EQ(open.directory().absolutePath(), start);
    EXPECT_EQ(save.directory().absolutePath(), start);
}

} // namespace
