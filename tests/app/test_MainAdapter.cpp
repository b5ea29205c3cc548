// SPDX-License-Identifier: MIT
// The main window on the CH341A and kernel I2C adapters: the adapter of the
// command line or of the settings file's [Adapter] section, the caption that
// names it, and the R/W group running through the simulated adapters.
#include "ControllerBus.h"
#include "DeviceBus.h"
#include "Main.h"
#include "MainOperations.h"
#include "OperationJournal.h"
#include "OperationWindowTest.h"
#include "HexEdit.h"
#include "Panel.h"

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

std::vector<std::uint8_t> pattern(int size, int seed)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + (i >> 8) + seed);
    return bytes;
}

class MainAdapterTest : public OperationWindowTest {
protected:
    TMainForm& open(PortOptions options, const char* type = nullptr)
    {
        m_form = std::make_unique<TMainForm>(options);
        m_form->setWorkingFolder(m_dir.path().toStdString());
        BusDelay = 0;
        if (type)
            m_form->menuAction(QString::fromLatin1(type))->trigger();
        return *m_form;
    }
    static PortOptions simulated(const char* type, const char* adapter = nullptr)
    {
        PortOptions options;
        options.simulateType = findDevice(type)->deviceType;
        options.simWriteCycleNs = 0;
        if (adapter)
            options.adapter = parseAdapter(adapter);
        return options;
    }
    bool onController() const
    {
        return dynamic_cast<ControllerBus*>(&m_form->deviceBus()) != nullptr;
    }
    void writeFile(const QString& name, const std::vector<std::uint8_t>& bytes)
    {
        QFile f(m_dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
};

TEST_F(MainAdapterTest, TheCaptionNamesTheAdapterAsItNamesTheSimulatedChip)
{
    open(PortOptions{});
    EXPECT_EQ(m_form->windowTitle(), TMainForm::kCaption) << "no section: the parallel port";
    EXPECT_FALSE(onController());

    writeSettings("[Adapter]\r\nAdapter=i2c:/dev/i2c-3\r\n");
    open(PortOptions{});
    EXPECT_EQ(m_form->windowTitle(), TMainForm::kCaption + QStringLiteral(" [I2C /dev/i2c-3]"));
    EXPECT_TRUE(onController());

    open(simulated("24C02", "ch341a"));
    EXPECT_EQ(m_form->windowTitle(),
              TMainForm::kCaption + QStringLiteral(" [simulated 24C02] [CH341A]"))
        << "the command line's adapter before the file's";

    open(simulated("24C02", "parport"));
    EXPECT_EQ(m_form->windowTitle(), TMainForm::kCaption + QStringLiteral(" [simulated 24C02]"));
    EXPECT_FALSE(onController());
}

TEST_F(MainAdapterTest, ReadAndWriteThroughTheSettingsFilesSimulatedCh341a)
{
    writeSettings("[Device Port]\r\nPort=Port1\r\n[Adapter]\r\nAdapter=ch341a\r\nSpeed=400\r\n");
    PortOptions options = simulated("24C04");
    options.simImagePath = m_dir.filePath(QStringLiteral("chip.bin")).toStdString();
    const std::vector<std::uint8_t> content = pattern(512, 1);
    writeFile(QStringLiteral("chip.bin"), content);
    TMainForm& form = open(options, "24C04");
    ASSERT_TRUE(onController());

    form.ReadBtnClick();
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), content);

    const std::vector<std::uint8_t> image = pattern(512, 77);
    writeFile(QStringLiteral("Tempor.tmp"), image);
    form.ReopenImage();
    form.WriteBtnClick();
    EXPECT_EQ(file(QStringLiteral("chip.bin")), image) << "every byte reached its cell";
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), image);
    EXPECT_TRUE(m_boxes.isEmpty()) << m_boxes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join(QLatin1Char('\n')).toStdString();
}

// The window's stop report and its Address field give the chip's real
// state on an adapter that writes in runs, not the address last shown.
TEST_F(MainAdapterTest, AStopInRunsNamesTheAddressUpToWhichTheChipHoldsTheImage)
{
    PortOptions options = simulated("24C16", "ch341a");
    options.simImagePath = m_dir.filePath(QStringLiteral("chip.bin")).toStdString();
    writeFile(QStringLiteral("chip.bin"), pattern(2048, 3));
    TMainForm& form = open(options, "24C16");
    form.ReadBtnClick();
    EXPECT_EQ(form.hexedit2->text(), "07FF") << "the last address read";

    const std::vector<std::uint8_t> image = pattern(2048, 40);
    writeFile(QStringLiteral("Tempor.tmp"), image);
    form.ReopenImage();
    // Stops once the write pass is under way.
    bool begun = false;
    form.setMessagePumpHook([&form, &begun] {
        if (form.Panel1->caption() != QLatin1String("Writing..."))
            return;
        if (form.hexedit2->text() < "0100")
            begun = true;
        if (begun && form.hexedit2->text() >= "0600")
            form.endRequested();
    });
    form.WriteBtnClick();
    form.setMessagePumpHook({});
    EXPECT_TRUE(m_reports.isEmpty()) << "a signal's report goes to the journal";
    const std::optional<JournalEntry> entry = OperationJournal::find(m_dir.path().toStdString());
    ASSERT_TRUE(entry);
    const QString report = QString::fromStdString(entry->report);
    const QRegularExpressionMatch at =
        QRegularExpression(QStringLiteral("^The Write was stopped at ([0-9A-F]{4}); the chip holds "
                                          "part of the image: 0000\\.\\.([0-9A-F]{4}) hold it, "
                                          "the rest is erased\\."))
            .match(report);
    ASSERT_TRUE(at.hasMatch()) << report.toStdString();
    const std::uint32_t next = at.captured(1).toUInt(nullptr, 16);
    EXPECT_EQ(at.captured(2).toUInt(nullptr, 16), next - 1);
    // The chip holds exactly that: the image before next, FF from there.
    const std::vector<std::uint8_t> chip = file(QStringLiteral("chip.bin"));
    ASSERT_EQ(chip.size(), 2048u);
    for (std::uint32_t i = 0; i < 2048; ++i)
        ASSERT_EQ(chip[i], i < next ? image[i] : 0xFF) << i;
    EXPECT_GT(next, 0x600u);
    EXPECT_EQ(next % 16, 0u) << "a page boundary";
}

TEST_F(MainAdapterTest, ASilentChipOnTheKernelBusIsReported)
{
    PortOptions options = simulated("SDA3526", "i2c:/dev/i2c-1");
    options.simFault = ChipFault::EmptySocket;
    open(options, "SDA3526").ReadBtn->click();
    ASSERT_EQ(m_reports.size(), 1);
    EXPECT_TRUE(m_reports[0].startsWith(QStringLiteral("No acknowledge from the SDA3526 at 0000")))
        << m_reports[0].toStdString();
}

} // namespace
