// SPDX-License-Identifier: MIT
// The compare menu on the simulated chip: the differing cells marked page by
// page (checked in the grid's pixels), next and previous difference, the
// working file left as it was, the blank check, a stop, and the checksum box.
#include "Adapter.h"
#include "Checksums.h"
#include "HexEdit.h"
#include "HexGrid.h"
#include "IntelHex.h"
#include "Main.h"
#include "MainCompare.h"
#include "OperationWindowTest.h"
#include "UpDown.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

std::vector<std::uint8_t> pattern(int size)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 13 + (i >> 8) + 5);
    return bytes;
}

class MainCompareTest : public OperationWindowTest {
protected:
    void SetUp() override
    {
        OperationWindowTest::SetUp();
        setCompareBoxSink([this](const QString& text) { m_answers << text; });
    }
    void TearDown() override
    {
        OperationWindowTest::TearDown();
        setCompareBoxSink({});
    }

    // A window on a simulated chip holding content, the working image image.
    TMainForm& open(const char* type, const std::vector<std::uint8_t>& content,
                    const std::vector<std::uint8_t>& image, const char* adapter = nullptr,
                    ChipFault fault = ChipFault::None)
    {
        PortOptions options;
        options.simFault = fault;
        options.simulateType = findDevice(type)->deviceType;
        options.simImagePath = m_dir.filePath(QStringLiteral("chip.bin")).toStdString();
        if (adapter)
            options.adapter = parseAdapter(adapter);
        writeFile(QStringLiteral("chip.bin"), content);
        m_form = std::make_unique<TMainForm>(options);
        m_form->setWorkingFolder(m_dir.path().toStdString());
        BusDelay = 0;
        m_form->menuAction(QString::fromLatin1(type))->trigger();
        if (!image.empty()) {
            m_form->CreateImage();
            for (const std::uint8_t b : image)
                m_form->ImageFile.writeByte(b);
            m_form->ReopenImage();
        }
        return *m_form;
    }
    void writeFile(const QString& name, const std::vector<std::uint8_t>& bytes)
    {
        QFile f(m_dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    // The marked cells of the page shown, as offsets in the page.
    std::vector<int> marked() const
    {
        std::vector<int> cells;
        for (int i = 0; i < 256; ++i)
            if (m_form->HexGrid1->cellMarked(i % 16, i / 16))
                cells.push_back(i);
        return cells;
    }

    QStringList m_answers;
};

TEST_F(MainCompareTest, CompareWithChipMarksExactlyTheDifferingCells)
{
    const std::vector<std::uint8_t> image = pattern(2048);
    std::vector<std::uint8_t> content = image;
    for (const int at : {0x310, 0x311, 0x312, 0x3FF, 0x400, 0x7F0})
        content[static_cast<std::size_t>(at)] ^= 0x5A;
    for (const char* adapter : {"parport", "ch341a", "i2c:/dev/i2c-1"}) {
        SCOPED_TRACE(adapter);
        m_answers.clear();
        TMainForm& form = open("24C16", content, image, adapter);
        const QFileInfo before(m_dir.filePath(QStringLiteral("Tempor.tmp")));
        const QDateTime modified = before.lastModified();

        form.menuAction(kCompareWithChipText)->trigger();
        ASSERT_TRUE(m_reports.isEmpty()) << m_reports.join('\n').toStdString();
        ASSERT_EQ(m_answers.size(), 1);
        EXPECT_EQ(m_answers[0].toStdString(), "6 bytes differ in 3 runs; the first at 0310");
        EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), image) << "the image is not touched";
        EXPECT_EQ(QFileInfo(m_dir.filePath(QStringLiteral("Tempor.tmp"))).lastModified(), modified);

        // Page 3, the first with a difference, is shown with its cells marked.
        EXPECT_EQ(form.UpDown1->position(), 3);
        EXPECT_EQ(marked(), (std::vector<int>{0x10, 0x11, 0x12, 0xFF}));
        EXPECT_EQ(form.hexedit1->text().toStdString(), "0310");
        EXPECT_EQ(form.HexGrid1->cellText(0, 1),
                  QStringLiteral("%1").arg(image[0x310], 2, 16, QLatin1Char('0')).toUpper())
            << "the image's byte is shown, not the chip's";

        form.menuAction(kNextDifferenceText)->trigger();
        EXPECT_EQ(form.hexedit1->text().toStdString(), "03FF");
        form.menuAction(kNextDifferenceText)->trigger();
        EXPECT_EQ(form.hexedit1->text().toStdString(), "07F0");
        EXPECT_EQ(form.UpDown1->position(), 7);
        EXPECT_EQ(marked(), (std::vector<int>{0xF0}));
        form.menuAction(kPreviousDifferenceText)->trigger();
        EXPECT_EQ(form.hexedit1->text().toStdString(), "03FF");
        EXPECT_EQ(form.UpDown1->position(), 3);
        // The run from 03FF goes on at the start of page 4.
        form.UpDown1->click(UpDown::Up);
        EXPECT_EQ(form.UpDown1->position(), 4);
        EXPECT_EQ(marked(), (std::vector<int>{0x00}));
        EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), image);
    }
}

TEST_F(MainCompareTest, MarkedCellsArePaintedInTheMarkColour)
{
    const std::vector<std::uint8_t> image = pattern(256);
    std::vector<std::uint8_t> content = image;
    content[0x21] ^= 1;
    TMainForm& form = open("24C02", content, image);
    form.CompareWithChipClick();
    form.HexGrid1->clearSelection();
    form.HexGrid1->setCurrentCell(-1, -1);
    const QImage picture = form.HexGrid1->grab().toImage();
    const QColor mark = toQColor(form.HexGrid1->markColor());
    const auto markedPixels = [&](int col, int row) {
        int count = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                count += picture.pixelColor(2 + col * 17 + x, 2 + row * 17 + y) == mark;
        return count;
    };
    EXPECT_GT(markedPixels(1, 2), 100) << "the differing cell's ground";
    for (const auto& [col, row] : {std::pair{0, 2}, std::pair{2, 2}, std::pair{1, 1}, std::pair{1, 3}})
        EXPECT_EQ(markedPixels(col, row), 0) << col << ',' << row;

    // Another image shown: its marks go.
    form.ReopenImage();
    EXPECT_TRUE(marked().empty());
    EXPECT_TRUE(form.differences().empty());
}

TEST_F(MainCompareTest, CompareWithFileOfAnotherSizeAndEqualImages)
{
    const std::vector<std::uint8_t> image = pattern(512);
    TMainForm& form = open("24C04", image, image);
    form.CompareWithChipClick();
    ASSERT_EQ(m_answers.size(), 1);
    EXPECT_EQ(m_answers[0].toStdString(), "The image shown and the 24C04 are equal (512 bytes compared).");
    EXPECT_TRUE(form.differences().empty());

    std::vector<std::uint8_t> other(image.begin(), image.begin() + 300);
    other[299] ^= 0xFF;
    writeFile(QStringLiteral("other.bin"), other);
    form.setImageDialogHook([this](TMainForm::ImageDialog) {
        return m_dir.filePath(QStringLiteral("other.bin"));
    });
    form.menuAction(kCompareWithFileText)->trigger();
    ASSERT_EQ(m_answers.size(), 2);
    EXPECT_EQ(m_answers[1].toStdString(), "1 byte differs in 1 run; the first at 012B\r"
                            "The image shown holds 512 bytes, other.bin 300; compared over the first 300.");
    EXPECT_EQ(form.UpDown1->position(), 1);
    EXPECT_EQ(marked(), (std::vector<int>{0x2B}));

    // Intel HEX by its name: its gaps and what lies past the image are not
    // compared.
    std::vector<std::uint8_t> longer = pattern(600);
    longer[0x20] ^= 1;
    std::string hex = writeIntelHex(longer.data(), longer.size());
    const std::size_t gap = hex.find(":10001000");
    hex.erase(gap, hex.find('\n', gap) + 1 - gap);
    QFile hexFile(m_dir.filePath(QStringLiteral("other.HEX")));
    ASSERT_TRUE(hexFile.open(QIODevice::WriteOnly));
    hexFile.write(hex.data(), static_cast<qint64>(hex.size()));
    hexFile.close();
    form.setImageDialogHook([this](TMainForm::ImageDialog) {
        return m_dir.filePath(QStringLiteral("other.HEX"));
    });
    form.menuAction(kCompareWithFileText)->trigger();
    ASSERT_EQ(m_answers.size(), 3);
    EXPECT_EQ(m_answers[2].toStdString(),
              "1 byte differs in 1 run; the first at 0020\r"
              "16 bytes that other.HEX leaves out were not compared.\r"
              "other.HEX goes on beyond the 512 bytes of the image shown; that part is not compared.");
    EXPECT_EQ(form.UpDown1->position(), 0);

    // No image yet: nothing to compare, and the chip is not read.
    m_answers.clear();
    open("24C02", image, {});
    m_form->CompareWithChipClick();
    EXPECT_EQ(m_answers.size(), 1);
    EXPECT_EQ(m_form->operationName(), "");
}

TEST_F(MainCompareTest, BlankCheckAndAStoppedCompare)
{
    std::vector<std::uint8_t> content(256, 0xFF);
    TMainForm& form = open("24C02", content, {});
    form.menuAction(kBlankCheckText)->trigger();
    content[0x80] = 0;
    writeFile(QStringLiteral("chip.bin"), content);
    open("24C02", content, pattern(256));
    m_form->BlankCheckClick();
    ASSERT_EQ(m_answers.size(), 2);
    EXPECT_EQ(m_answers[0].toStdString(), "The 24C02 is blank: all 256 bytes read FF.");
    EXPECT_EQ(m_answers[1].toStdString(), "The 24C02 is not blank: 1 of its 256 bytes is not FF, the first at 0080 (00).");

    // Esc during the read: the compare stops, nothing is marked.
    m_form->show();
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    int pumps = 0;
    m_form->setMessagePumpHook([&] {
        if (++pumps == 40)
            QTest::keyClick(m_form.get(), Qt::Key_Escape);
    });
    m_answers.clear();
    m_form->CompareWithChipClick();
    ASSERT_EQ(m_answers.size(), 1);
    EXPECT_EQ(m_answers[0].toStdString(), "The compare was stopped at 0027; nothing was compared.");
    EXPECT_TRUE(m_form->differences().empty());
    EXPECT_FALSE(m_form->operationRunning());
    EXPECT_TRUE(m_form->GroupBox1->isEnabled());
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), pattern(256));

    // An empty socket is reported as Read reports it; the window stays usable.
    m_answers.clear();
    open("24C02", content, pattern(256), "ch341a", ChipFault::EmptySocket);
    m_form->menuAction(kCompareWithChipText)->trigger();
    EXPECT_TRUE(m_answers.isEmpty());
    ASSERT_EQ(m_reports.size(), 1);
    EXPECT_TRUE(m_reports[0].startsWith("No acknowledge from the 24C02")) << m_reports[0].toStdString();
    EXPECT_FALSE(m_form->operationRunning());
    EXPECT_TRUE(m_form->GroupBox1->isEnabled());
    EXPECT_TRUE(m_form->menuAction(kCompareMenuTitle)->isEnabled());
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), pattern(256));
}

TEST_F(MainCompareTest, ChecksumBoxShowsAndCopiesTheImagesSums)
{
    const std::vector<std::uint8_t> image = pattern(2048);
    TMainForm& form = open("24C16", image, image);
    form.menuAction(kChecksumsText)->trigger();
    auto* box = form.findChild<QDialog*>(QStringLiteral("ChecksumsBox"));
    ASSERT_NE(box, nullptr);
    const QString text = box->findChild<QLabel*>(QStringLiteral("ChecksumValues"))->text();
    const Checksums sums = checksumsOf(image.data(), image.size());
    for (const ChecksumKind kind : kChecksumKinds)
        EXPECT_TRUE(text.contains(QString::fromStdString(checksumText(sums, kind))))
            << text.toStdString();
    EXPECT_TRUE(text.contains("2048 bytes"));
    box->findChild<QPushButton*>(QStringLiteral("ChecksumCopy"))->click();
    EXPECT_EQ(QApplication::clipboard()->text(), text + "\n");
    box->close();

    // The menu stays after the others; their places do not change.
    const QList<QAction*> menus = form.menuBar()->actions();
    EXPECT_EQ(menus.back()->text(), kCompareMenuTitle);
    EXPECT_EQ(menus[6]->text(), "&Help");
}

} // namespace
