// SPDX-License-Identifier: MIT
// The "R/W " group on the simulated chip, through the window's handlers:
// what each operation shows while it runs and leaves behind, what reaches
// the chip, the reports of a silent chip and of a failed verify, and the
// clicks and close requests that arrive while an operation runs.
#include "ALed.h"
#include "DeviceBus.h"
#include "ParallelPortBus.h"
#include "Feedback.h"
#include "HexEdit.h"
#include "HexGrid.h"
#include "Main.h"
#include "MainOperations.h"
#include "OperationJournal.h"
#include "Panel.h"
#include "RecordFile.h"
#include "OperationWindowTest.h"
#include "SimulatedChip.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

using namespace kavoda;

namespace {

// Counts register accesses on their way to the simulated adapter.
class CountingPort final : public PortBackend {
public:
    explicit CountingPort(PortBackend& inner) : m_inner(inner) {}
    std::uint8_t read(std::uint16_t port) override
    {
        ++reads;
        return m_inner.read(port);
    }
    void write(std::uint16_t port, std::uint8_t value) override
    {
        ++writes;
        m_inner.write(port, value);
    }
    void onWait(std::int64_t iterations) override { m_inner.onWait(iterations); }
    long reads = 0;
    long writes = 0;

private:
    PortBackend& m_inner;
};

// The window's parallel-port bus with every transaction and register access
// counted, and a claim that can be made to fail.
class CountingBus final : public DeviceBus {
public:
    explicit CountingBus(PortSession& session) : m_inner(session) {}

    void claim() override
    {
        ++claims;
        if (!claimError.empty())
            throw PortError(claimError);
        m_inner.claim();
        m_port = std::make_unique<CountingPort>(*installedPortBackend());
        m_session = installPortBackend(m_port.get());
    }
    void release() noexcept override
    {
        if (m_port) {
            reads += m_port->reads;
            writes += m_port->writes;
            installPortBackend(m_session);
            m_port.reset();
        }
        m_inner.release();
        ++releases;
    }
    TransferLimits limits() const override { return m_inner.limits(); }
    ReadOutcome read(const ChipType& chip, const std::vector<ReadRun>& runs) override
    {
        byteReads += static_cast<long>(runs.size());
        return m_inner.read(chip, runs);
    }
    BusResult write(const ChipType& chip, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t length) override
    {
        ++byteWrites;
        return m_inner.write(chip, address, data, length);
    }
    bool poll(const ChipType& chip, std::uint32_t address) override
    {
        return m_inner.poll(chip, address);
    }

    std::string claimError;
    int claims = 0;
    int releases = 0;
    long byteReads = 0;
    long byteWrites = 0;
    long reads = 0;   // register accesses
    long writes = 0;

private:
    ParallelPortBus m_inner;
    std::unique_ptr<CountingPort> m_port;
    PortBackend* m_session = nullptr;
};

// What the window showed at one round of message handling.
struct Shown {
    int percent;
    QString address;
    QString data;
    QString panel;
    QString caption;
    TColor color;
    bool editGroup;
    bool fileMenu;
    bool aboutMenu;
    bool readButton;
};

std::vector<std::uint8_t> pattern(int size, int seed = 5)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 13 + (i >> 8) + seed);
    return bytes;
}

class MainOperationsTest : public OperationWindowTest {
protected:
    // A window on a simulated chip of the given type, that type chosen, with
    // no bus waits and a write cycle of 0 ms unless told otherwise.
    TMainForm& open(const char* type, ChipFault fault = ChipFault::None,
                    std::optional<std::uint64_t> cycleNs = 0,
                    const std::vector<std::uint8_t>& content = {})
    {
        PortOptions options;
        options.simulateType = findDevice(type)->deviceType;
        options.simFault = fault;
        options.simWriteCycleNs = cycleNs;
        if (!content.empty()) {
            options.simImagePath = m_dir.filePath(QStringLiteral("chip.bin")).toStdString();
            QFile chip(QString::fromStdString(options.simImagePath));
            EXPECT_TRUE(chip.open(QIODevice::WriteOnly));
            chip.write(reinterpret_cast<const char*>(content.data()),
                       static_cast<qint64>(content.size()));
        }
        m_form = std::make_unique<TMainForm>(options);
        m_form->setWorkingFolder(m_dir.path().toStdString());
        BusDelay = 0;
        auto bus = std::make_unique<CountingBus>(m_form->portSession());
        m_bus = bus.get();
        m_form->setDeviceBus(std::move(bus));
        m_form->menuAction(QString::fromLatin1(type))->trigger();
        m_form->setMessagePumpHook([this] {
            ++m_pumps;
            m_shown.push_back(shownNow());
            if (m_onPump)
                m_onPump(m_pumps);
        });
        return *m_form;
    }

    Shown shownNow() const
    {
        const QList<QAction*> menus = m_form->menuBar()->actions();
        return {m_form->Meter1->percent(),    m_form->hexedit2->text(),
                m_form->hexedit3->text(),     m_form->Panel1->caption(),
                m_form->Meter1->caption(),    m_form->Meter1->foreColor(),
                m_form->GroupBox1->isEnabled(), menus[0]->isEnabled(),
                menus[5]->isEnabled(),        m_form->ReadBtn->isEnabled()};
    }

    // Panel texts in the order they were shown, each run once.
    QStringList panels() const
    {
        QStringList out;
        for (const Shown& s : m_shown) {
            if (out.isEmpty() || out.back() != s.panel)
                out << s.panel;
        }
        return out;
    }

    std::vector<std::uint8_t> chip() const
    {
        const SimulatedChip& c = m_form->portSession().simulator()->chip();
        std::vector<std::uint8_t> cells;
        for (int i = 0; i < c.size(); ++i)
            cells.push_back(c.cell(i));
        return cells;
    }

    // Makes the working image hold exactly these bytes and shows it.
    void setImage(const std::vector<std::uint8_t>& bytes)
    {
        m_form->CreateImage();
        for (const std::uint8_t b : bytes)
            m_form->ImageFile.writeByte(b);
        m_form->ReopenImage();
    }

    void resetRecords()
    {
        m_shown.clear();
        m_pumps = 0;
        m_boxes.clear();
        m_reports.clear();
        m_questions.clear();
    }

    CountingBus* m_bus = nullptr;
    std::vector<Shown> m_shown;
    int m_pumps = 0;
    std::function<void(int)> m_onPump;
};

TEST_F(MainOperationsTest, ReadFillsTheImageAndShowsEveryByte)
{
    const std::vector<std::uint8_t> content = pattern(256);
    TMainForm& form = open("24C02", ChipFault::None, 0, content);
    form.ReadBtnClick();

    EXPECT_EQ(file("Tempor.tmp"), content);
    EXPECT_EQ(form.HexGrid1->cellText(1, 0), QStringLiteral("%1").arg(content[1], 2, 16, QLatin1Char('0')).toUpper());
    EXPECT_TRUE(form.ImageLoaded);
    EXPECT_TRUE(form.ALed2->value());

    ASSERT_EQ(m_pumps, 256);
    // Each round sees the byte before it: round 1 the start, round 257 none.
    const Shown& first = m_shown[0];
    EXPECT_EQ(first.panel, "Reading...");
    EXPECT_EQ(first.caption, "");
    EXPECT_EQ(first.color, clBlue);
    EXPECT_FALSE(first.editGroup);
    EXPECT_FALSE(first.fileMenu);
    EXPECT_TRUE(first.aboutMenu);
    EXPECT_TRUE(first.readButton) << "the R/W group stays enabled";
    EXPECT_EQ(m_shown[1].percent, 0);
    EXPECT_EQ(m_shown[1].address, "0000");
    EXPECT_EQ(m_shown[2].percent, 0);
    EXPECT_EQ(m_shown[3].percent, 1);
    EXPECT_EQ(m_shown[3].address, "0002");
    EXPECT_EQ(m_shown[3].data, QStringLiteral("%1").arg(content[2], 2, 16, QLatin1Char('0')).toUpper());

    const Shown last = shownNow();
    EXPECT_EQ(last.percent, 100);
    EXPECT_EQ(last.address, "00FF");
    EXPECT_EQ(last.caption, "Operation completed");
    EXPECT_EQ(last.panel, "24C02");
    EXPECT_EQ(last.color, clBlue);
    EXPECT_TRUE(last.editGroup);
    EXPECT_TRUE(last.fileMenu);
    EXPECT_TRUE(form.Timer1->isActive());

    form.Timer1Timer();
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_EQ(form.Meter1->caption(), "");
    EXPECT_EQ(form.Meter1->percent(), 0);

    // One claim, released at the end; the driver's accesses and no others.
    EXPECT_EQ(m_bus->claims, 1);
    EXPECT_EQ(m_bus->releases, 1);
    EXPECT_EQ(installedPortBackend(), nullptr);
    EXPECT_EQ(m_bus->byteReads, 256);
    EXPECT_EQ(m_bus->byteWrites, 0);
    EXPECT_EQ(m_bus->writes, 256 * 115);
    EXPECT_EQ(m_bus->reads, 256 * 12);
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join(QLatin1Char('\n')).toStdString();
}

TEST_F(MainOperationsTest, AddressesOfA24C16RunOnAcrossBlocks)
{
    open("24C16");
    m_form->ReadBtnClick();
    ASSERT_EQ(m_pumps, 2048);
    for (int i = 1; i < 2048; ++i)
        ASSERT_EQ(m_shown[static_cast<std::size_t>(i)].address.toInt(nullptr, 16), i - 1);
    EXPECT_EQ(m_form->hexedit2->text(), "07FF");
    EXPECT_EQ(file("Tempor.tmp").size(), 2048u);
}

TEST_F(MainOperationsTest, WriteOfAShortImageLeavesTheRestErased)
{
    TMainForm& form = open("24C02", ChipFault::None, 0, pattern(256, 9));
    const std::vector<std::uint8_t> image = pattern(100);
    setImage(image);
    resetRecords();
    form.WriteBtnClick();

    std::vector<std::uint8_t> expected = image;
    expected.resize(256, 0xFF);
    EXPECT_EQ(chip(), expected);
    EXPECT_EQ(file("Tempor.tmp"), expected) << "the closing Read replaces the image";
    EXPECT_EQ(file("Tempor.bak"), image) << "the image written is kept beside it";
    EXPECT_EQ(panels(), (QStringList{"Erase...", "Writing...", "Reading..."}));
    // The write pass is red; the closing Read turns the bar blue for good.
    EXPECT_EQ(m_shown[300].color, clRed);
    EXPECT_EQ(form.Meter1->foreColor(), clBlue);
    EXPECT_EQ(m_bus->byteWrites, 256 + 100);
    EXPECT_EQ(m_bus->byteReads, 256);
    EXPECT_EQ(m_bus->claims, 1);
    // One round of messages per byte of each pass.
    EXPECT_EQ(m_pumps, 256 + 100 + 256);
    // 89 writes and 3 reads per byte write, one poll each of 35 and 1.
    EXPECT_EQ(m_bus->writes, 356 * (89 + 35) + 256 * 115);
    EXPECT_EQ(m_bus->reads, 356 * (3 + 1) + 256 * 12);
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(form.GroupBox1->isEnabled());
}

TEST_F(MainOperationsTest, WriteWithoutAnImageSaysBufferEmpty)
{
    TMainForm& form = open("24C04");
    form.Meter1->setCaption(QStringLiteral("Operation completed"));
    form.Meter1->setPercent(100);
    form.WriteBtnClick();
    EXPECT_EQ(m_boxes, QStringList{"Error|Buffer empty"});
    EXPECT_EQ(form.Meter1->caption(), "");
    EXPECT_EQ(form.Meter1->percent(), 0);
    EXPECT_EQ(form.Panel1->caption(), "24C04");
    EXPECT_EQ(m_bus->claims, 0) << "the port is not even opened";
    EXPECT_TRUE(file("Tempor.tmp").empty());
    EXPECT_FALSE(form.ImageLoaded);
}

TEST_F(MainOperationsTest, FillsAndEraseShowTheirPasses)
{
    TMainForm& form = open("24C02");
    form.BitBtn4Click();
    EXPECT_EQ(panels(), (QStringList{"Erase...", "Fill 00", "Reading..."}));
    int fullMeters = 0;
    for (std::size_t i = 1; i < m_shown.size(); ++i)
        fullMeters += m_shown[i].percent == 100 && m_shown[i - 1].percent != 100;
    EXPECT_EQ(fullMeters + (form.Meter1->percent() == 100 ? 1 : 0), 3);
    EXPECT_EQ(m_shown[10].color, clRed);
    EXPECT_FALSE(m_shown[10].editGroup);
    EXPECT_EQ(chip(), std::vector<std::uint8_t>(256, 0x00));
    EXPECT_EQ(file("Tempor.tmp"), std::vector<std::uint8_t>(256, 0x00));
    EXPECT_EQ(m_bus->byteWrites, 512);

    resetRecords();
    form.BitBtn6Click();
    EXPECT_EQ(panels(), (QStringList{"Fill FF", "Reading..."}));
    EXPECT_EQ(m_shown[10].color, clRed);
    EXPECT_EQ(form.Meter1->foreColor(), clBlue);
    EXPECT_EQ(chip(), std::vector<std::uint8_t>(256, 0xFF));

    // The erase leaves the menus and the Edit group as they were.
    form.BitBtn4Click();
    resetRecords();
    form.BitBtn2Click();
    EXPECT_EQ(panels(), (QStringList{"Erase...", "Reading..."}));
    EXPECT_TRUE(m_shown[10].editGroup);
    EXPECT_TRUE(m_shown[10].fileMenu);
    EXPECT_FALSE(m_shown[300].editGroup) << "its closing Read disables them";
    EXPECT_EQ(chip(), std::vector<std::uint8_t>(256, 0xFF));
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join(QLatin1Char('\n')).toStdString();
}

TEST_F(MainOperationsTest, EveryOperationOnEveryType)
{
    for (const CatalogueEntry& type : kCatalogue) {
        const std::string caption(type.caption);
        SCOPED_TRACE(caption);
        TMainForm& form = open(caption.c_str());
        const auto size = static_cast<std::size_t>(type.sizeBytes());
        form.BitBtn4Click();
        EXPECT_EQ(chip(), std::vector<std::uint8_t>(size, 0x00));
        form.BitBtn6Click();
        EXPECT_EQ(chip(), std::vector<std::uint8_t>(size, 0xFF));
        const std::vector<std::uint8_t> image = pattern(type.sizeBytes(), type.deviceType);
        setImage(image);
        form.WriteBtnClick();
        EXPECT_EQ(chip(), image);
        EXPECT_EQ(file("Tempor.tmp"), image);
        form.BitBtn2Click();
        EXPECT_EQ(file("Tempor.tmp"), std::vector<std::uint8_t>(size, 0xFF));
        EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(form.Panel1->caption().toStdString(), caption);
        m_form.reset();
    }
}

// A chip that does not answer stops the operation at its first byte: a
// read after three tries, a write at once and without polling.
TEST_F(MainOperationsTest, AnEmptySocketStopsAtTheFirstByte)
{
    TMainForm& form = open("24C16", ChipFault::EmptySocket);
    form.ReadBtn->click();
    EXPECT_EQ(m_reports, QStringList{"No acknowledge from the 24C16 at 0000: check that the chip "
                                     "sits in the socket and the adapter is powered. The image "
                                     "was kept as it was."});
    EXPECT_EQ(m_bus->writes, 3 * 115);
    EXPECT_EQ(m_bus->reads, 3 * 12);
    EXPECT_FALSE(form.operationRunning());
    EXPECT_EQ(form.Panel1->caption(), "24C16");

    m_form.reset();
    open("24C02", ChipFault::EmptySocket);
    setImage(pattern(10));
    resetRecords();
    m_form->Writebtn->click();
    const QString kept = QString::fromStdString(m_form->workingFolder() + "/Tempor.bak");
    EXPECT_EQ(m_reports, QStringList{"No acknowledge from the 24C02 at 0000: check that the chip "
                                     "sits in the socket and the adapter is powered. Nothing was "
                                     "written. The image that was to be written is kept in " +
                                     kept + "."});
    EXPECT_EQ(m_bus->writes, 89);
    EXPECT_EQ(m_bus->reads, 3);
}

TEST_F(MainOperationsTest, WritesThatDoNotStickFailTheVerify)
{
    TMainForm& form = open("SDA3546", ChipFault::WritesDoNotStick);
    std::vector<std::uint8_t> image(600, 0x5A);
    image[0x1A3] = 0xFF;  // the one byte the erased chip holds anyway
    setImage(image);
    form.WriteBtnClick();
    const QString kept = QString::fromStdString(m_form->workingFolder() + "/Tempor.bak");
    EXPECT_EQ(m_reports, QStringList{"Verify failed at 0000: wrote 5A, read FF (511 bytes differ). "
                                     "The image that was to be written is kept in " + kept + "."});
    EXPECT_EQ(file("Tempor.bak"), image);
    EXPECT_EQ(file("Tempor.tmp"), std::vector<std::uint8_t>(512, 0xFF));
    // Acknowledged and polled once each, as on a sound chip; the bytes of
    // the image beyond the device are not written.
    EXPECT_EQ(m_bus->writes, 1024L * (89 + 35) + 512 * 115);
    EXPECT_EQ(m_bus->reads, 1024L * (3 + 1) + 512 * 12);

    resetRecords();
    form.BitBtn4Click();
    EXPECT_EQ(m_reports, QStringList{"Verify failed at 0000: wrote 00, read FF (512 bytes differ)."});
    resetRecords();
    form.BitBtn2Click();
    EXPECT_TRUE(m_reports.isEmpty()) << "an erased chip reads as erased";
}

TEST_F(MainOperationsTest, AWriteFailingPartWayNamesTheKeptImage)
{
    TMainForm& form = open("24C02");
    const std::vector<std::uint8_t> image = pattern(256, 3);
    const QString kept = QString::fromStdString(m_form->workingFolder() + "/Tempor.bak");
    const QString keptSentence = " The image that was to be written is kept in " + kept + ".";

    // The port fails in the closing Read: the image it would replace stays.
    setImage(image);
    resetRecords();
    m_onPump = [](int pump) {
        if (pump == 600)
            throw PortError("The parallel port at 0378 failed");
    };
    form.Writebtn->click();
    EXPECT_EQ(m_reports, QStringList{"The parallel port at 0378 failed. The image was kept as "
                                     "it was." + keptSentence});
    EXPECT_EQ(file("Tempor.tmp"), image);
    EXPECT_EQ(file("Tempor.bak"), image);
    EXPECT_TRUE(form.GroupBox1->isEnabled());

    // The port fails during the erase: the chip no longer holds the image.
    setImage(image);
    resetRecords();
    m_onPump = [](int pump) {
        if (pump == 100)
            throw PortError("The parallel port at 0378 failed");
    };
    form.Writebtn->click();
    EXPECT_EQ(m_reports, QStringList{"The parallel port at 0378 failed." + keptSentence});
    EXPECT_EQ(file("Tempor.bak"), image);
    EXPECT_EQ(installedPortBackend(), nullptr);
}

TEST_F(MainOperationsTest, AnEndlessWriteCycleStopsThePass)
{
    TMainForm& form = open("24C02", ChipFault::EndlessWriteCycle);
    form.BitBtn6->click();
    EXPECT_EQ(m_reports, QStringList{"The 24C02 stayed busy after the write at 0000: it did not "
                                     "answer before the acknowledge polling ran out. Stopped at "
                                     "0000 after writing 1 of 256 bytes; those hold FF, the rest "
                                     "is as before."});
    // The first write polls its 1000 times, and nothing follows it.
    EXPECT_EQ(m_bus->writes, 89 + 35 * 1000);
    EXPECT_EQ(m_bus->reads, 3 + 1000);
}

TEST_F(MainOperationsTest, AnUnreadableImageStopsTheWriteBeforeTheChip)
{
    TMainForm& form = open("24C02", ChipFault::None, 0, pattern(256));
    setImage(pattern(256, 1));
    form.ImageFile.close();  // as a failed reopen leaves it
    resetRecords();
    form.Writebtn->click();
    EXPECT_EQ(m_reports, QStringList{"I/O error 103."});
    EXPECT_EQ(m_bus->byteWrites + m_bus->byteReads, 0);
    EXPECT_EQ(file("chip.bin"), pattern(256));
    EXPECT_TRUE(form.GroupBox1->isEnabled());
    EXPECT_TRUE(form.menuBar()->actions()[0]->isEnabled());
    EXPECT_EQ(form.Panel1->caption(), "24C02");
    EXPECT_EQ(installedPortBackend(), nullptr);
    EXPECT_FALSE(form.operationRunning());
}

TEST_F(MainOperationsTest, AReadThatFailsOrIsStoppedKeepsTheImage)
{
    TMainForm& form = open("24C04", ChipFault::None, 0, pattern(512, 8));
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const auto leftovers = [this] {
        return QDir(m_dir.path()).entryList({QStringLiteral("Tempor.tmp.*")}, QDir::Files);
    };

    // A first Read that fails leaves no image behind it.
    m_onPump = [](int pump) {
        if (pump == 10)
            throw PortError("The parallel port at 0378 failed");
    };
    form.ReadBtn->click();
    EXPECT_EQ(m_reports, QStringList{"The parallel port at 0378 failed. The image was kept as it was."});
    EXPECT_FALSE(form.ImageLoaded);
    EXPECT_FALSE(form.GroupBox1->isEnabled());
    EXPECT_TRUE(form.menuBar()->actions()[4]->isEnabled());
    EXPECT_EQ(form.Panel1->caption(), "24C04");
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("Tempor.tmp"))));
    EXPECT_TRUE(leftovers().isEmpty());

    // With an image shown: a failure, Esc and a close each leave it, its
    // grids and the Edit group as they were; only Esc and a failure speak.
    setImage(pattern(300));
    const QString shown = form.HexGrid1->cellText(5, 0);
    const auto stopAt50 = [&](const std::function<void()>& stop) {
        resetRecords();
        m_onPump = [stop](int pump) {
            if (pump == 50)
                stop();
        };
        form.ReadBtn->click();
        EXPECT_EQ(file("Tempor.tmp"), pattern(300));
        EXPECT_EQ(form.HexGrid1->cellText(5, 0), shown);
        EXPECT_TRUE(form.GroupBox1->isEnabled());
        EXPECT_TRUE(leftovers().isEmpty());
        EXPECT_TRUE(m_questions.isEmpty()) << "a Read is stopped without a question";
    };
    stopAt50([] { throw PortError("The parallel port at 0378 failed"); });
    EXPECT_EQ(m_reports, QStringList{"The parallel port at 0378 failed. The image was kept as it was."});
    stopAt50([&] { QTest::keyClick(&form, Qt::Key_Escape); });
    // Stopped before the 50th byte: 49 were read.
    EXPECT_EQ(m_reports, QStringList{"The Read was stopped at 0031. The image was kept as it was."});
    EXPECT_TRUE(form.isVisible());
    stopAt50([&] { form.close(); });
    EXPECT_TRUE(m_reports.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());

    // The image kept is the one in use: it still takes a confirmed page.
    form.HexGrid1->setCellText(0, 0, "AB");
    form.ConfirmBtnClick();
    EXPECT_EQ(file("Tempor.tmp")[0], 0xAB);
}

TEST_F(MainOperationsTest, APortThatCannotBeOpenedChangesNothing)
{
    TMainForm& form = open("24C02");
    m_bus->claimError = "The parallel port at 0378 cannot be opened";
    form.BitBtn4->click();
    EXPECT_EQ(m_reports, QStringList{"The parallel port at 0378 cannot be opened."});
    EXPECT_EQ(form.Panel1->caption(), "24C02");
    EXPECT_TRUE(form.menuBar()->actions()[0]->isEnabled());
    EXPECT_FALSE(form.GroupBox1->isEnabled()) << "as it was: no image yet";
    EXPECT_TRUE(file("Tempor.tmp").empty());
    EXPECT_EQ(m_pumps, 0);
    EXPECT_FALSE(form.operationRunning());
}

TEST_F(MainOperationsTest, LoadAndSaveAsWaitForTheErase)
{
    TMainForm& form = open("24C02", ChipFault::None, 0, pattern(256, 4));
    setImage(pattern(256));
    const QString other = m_dir.filePath(QStringLiteral("other.bin"));
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100, '\x11'));
    }
    int dialogs = 0;
    form.setImageDialogHook([&](TMainForm::ImageDialog) {
        ++dialogs;
        return other;
    });
    resetRecords();
    // The erase leaves the File menu usable; both entries are tried in it.
    m_onPump = [&](int pump) {
        if (pump == 10) {
            EXPECT_TRUE(form.menuAction("&Load")->isEnabled());
            form.menuAction("&Load")->trigger();
            form.menuAction("Save &As...")->trigger();
        }
    };
    form.BitBtn2Click();
    EXPECT_EQ(m_reports, (QStringList{"Wait until the Erase is done.", "Wait until the Erase is done."}));
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(file("other.bin"), std::vector<std::uint8_t>(100, 0x11));
    EXPECT_EQ(file("Tempor.tmp"), std::vector<std::uint8_t>(256, 0xFF)) << "the erased chip, as read";
    EXPECT_EQ(form.HexGrid1->cellText(0, 0), "FF");

    // Once it is done, both work again.
    m_reports.clear();
    form.menuAction("&Load")->trigger();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(file("Tempor.tmp"), std::vector<std::uint8_t>(100, 0x11));
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join(QLatin1Char('|')).toStdString();
}

TEST_F(MainOperationsTest, ClicksDuringAnOperationAreRefused)
{
    TMainForm& form = open("24C02");
    setImage(pattern(256));
    resetRecords();
    m_onPump = [&](int pump) {
        if (pump == 5) {
            // Posted now, delivered by the next round of message handling.
            for (QPushButton* button :
                 {form.ReadBtn, form.Writebtn, form.BitBtn2, form.BitBtn4, form.BitBtn6})
                QMetaObject::invokeMethod(button, &QPushButton::click, Qt::QueuedConnection);
        }
    };
    form.BitBtn6Click();
    EXPECT_EQ(m_bus->byteWrites, 256);
    EXPECT_EQ(m_bus->byteReads, 256);
    EXPECT_EQ(m_bus->claims, 1);
    EXPECT_EQ(panels(), (QStringList{"Fill FF", "Reading..."}));
    EXPECT_TRUE(m_boxes.isEmpty());
    EXPECT_TRUE(m_reports.isEmpty());
    EXPECT_EQ(chip(), std::vector<std::uint8_t>(256, 0xFF));
}

TEST_F(MainOperationsTest, CloseOrEscDuringAWritingPassAsksFirst)
{
    using Handler = void (TMainForm::*)();
    struct Operation {
        const char* name;
        Handler handler;
        std::uint8_t fill;  // what the chip holds after it, as a whole
        const char* question;
        const char* report;  // stopped before the 100th byte of its first pass
    };
    const Operation operations[] = {
        {"Write", &TMainForm::WriteBtnClick, 0x5A,
         "Stop writing the 24C08? It is being erased: it will hold none of the image.",
         "The Write was stopped at 0063 in its erase pass; the chip holds none of the image: "
         "0000..0062 are erased, the rest is as before."},
        {"Fill", &TMainForm::BitBtn4Click, 0x00,
         "Stop erasing the 24C08? Part of it will keep what it held.",
         "The Fill was stopped at 0063 in its erase pass; 0000..0062 are erased, the rest is as "
         "before."},
        {"Fill", &TMainForm::BitBtn6Click, 0xFF,
         "Stop filling the 24C08 with FF? Part of it will keep what it held.",
         "The Fill was stopped at 0063; 0000..0062 hold FF, the rest is as before."},
        {"Erase", &TMainForm::BitBtn2Click, 0xFF,
         "Stop erasing the 24C08? Part of it will keep what it held.",
         "The Erase was stopped at 0063; 0000..0062 are erased, the rest is as before."}};
    for (const Operation& op : operations) {
        for (const bool esc : {false, true}) {
            for (const bool yes : {false, true}) {
                SCOPED_TRACE(std::string(op.name) + (esc ? " Esc" : " close") + (yes ? " Yes" : " No"));
                m_form.reset();
                TMainForm& form = open("24C08", ChipFault::None, 0, pattern(1024, 1));
                form.show();
                form.activateWindow();
                ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
                const QString kept = QString::fromStdString(form.workingFolder() + "/Tempor.bak");
                setImage(std::vector<std::uint8_t>(1024, 0x5A));
                resetRecords();
                m_answer = yes;
                m_onPump = [&](int pump) {
                    if (pump != 100)
                        return;
                    if (esc)
                        QTest::keyClick(&form, Qt::Key_Escape);
                    else
                        form.close();
                };
                (form.*op.handler)();
                EXPECT_EQ(m_questions, QStringList{"Kavoda|" + QString::fromLatin1(op.question)});
                QCoreApplication::processEvents();
                if (!yes) {
                    // No goes on to the end, closing Read included.
                    EXPECT_EQ(chip(), std::vector<std::uint8_t>(1024, op.fill));
                    EXPECT_EQ(m_bus->byteReads, 1024);
                    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('|').toStdString();
                    EXPECT_TRUE(form.isVisible());
                    continue;
                }
                // Yes stops before the 100th byte of the first pass.
                EXPECT_EQ(m_bus->byteWrites, 99);
                EXPECT_EQ(m_bus->byteReads, 0);
                const QString keptSentence = op.handler == &TMainForm::WriteBtnClick
                    ? " The image that was to be written is kept in " + kept + "."
                    : QString();
                EXPECT_EQ(m_reports, QStringList{QString::fromLatin1(op.report) + keptSentence});
                EXPECT_EQ(form.isVisible(), esc) << "a close goes on once stopped";
                EXPECT_EQ(installedPortBackend(), nullptr);
                EXPECT_EQ(form.Panel1->caption(), "24C08");
                EXPECT_EQ(file("Tempor.tmp"), std::vector<std::uint8_t>(1024, 0x5A));
            }
        }
    }
}

TEST_F(MainOperationsTest, AnImageOfAnotherSizeIsAskedAboutBeforeTheWrite)
{
    TMainForm& form = open("24C16", ChipFault::None, 0, pattern(2048, 6));
    setImage(pattern(18));
    m_answer = false;
    form.WriteBtnClick();
    EXPECT_EQ(m_questions, QStringList{"Kavoda|The image holds 18 bytes; the 24C16 holds 2048. "
                                       "Write it anyway? The rest of the chip will read FF."});
    EXPECT_EQ(m_bus->claims, 0) << "No: the chip is not touched";
    EXPECT_EQ(file("Tempor.tmp"), pattern(18));

    const std::vector<std::uint8_t> longer = pattern(4096, 2);
    setImage(longer);
    resetRecords();
    m_answer = true;
    form.WriteBtnClick();
    EXPECT_EQ(m_questions, QStringList{"Kavoda|The image holds 4096 bytes; the 24C16 holds 2048. "
                                       "Write it anyway? Only the first 2048 bytes will be written."});
    EXPECT_EQ(chip(), std::vector<std::uint8_t>(longer.begin(), longer.begin() + 2048));

    setImage(pattern(2048, 9));
    resetRecords();
    form.WriteBtnClick();
    EXPECT_TRUE(m_questions.isEmpty()) << "an image of the chip's size is written at once";
    EXPECT_EQ(chip(), pattern(2048, 9));
}

TEST_F(MainOperationsTest, ATypeChosenDuringAnEraseAppliesToTheNextOperation)
{
    TMainForm& form = open("24C02");
    QString panelAfterChoice;
    m_onPump = [&](int pump) {
        if (pump == 100)
            form.menuAction(QStringLiteral("24C16"))->trigger();
        if (pump == 101)
            panelAfterChoice = form.Panel1->caption();
    };
    form.BitBtn2Click();
    EXPECT_EQ(panelAfterChoice, "24C16") << "shown at once";
    // The erase and its closing Read stay with the 24C02.
    EXPECT_EQ(m_bus->byteWrites, 256);
    EXPECT_EQ(m_bus->byteReads, 256);
    EXPECT_EQ(file("Tempor.tmp"), std::vector<std::uint8_t>(256, 0xFF));
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('|').toStdString();
    EXPECT_EQ(form.Panel1->caption(), "24C16");
    EXPECT_EQ(DeviceType, findDevice("24C16")->deviceType);
    EXPECT_EQ(LastBlock, 7);

    // The next Read addresses a 24C16: the 24C02 in the socket answers
    // its first block only.
    m_onPump = nullptr;
    form.ReadBtn->click();
    ASSERT_EQ(m_reports.size(), 1);
    EXPECT_TRUE(m_reports[0].startsWith("No acknowledge from the 24C16 at 0100")) << m_reports[0].toStdString();
}

TEST_F(MainOperationsTest, ChipContentOutlivesTheWindowClosedMidWrite)
{
    open("24C02", ChipFault::None, 0, pattern(256, 2));
    setImage(pattern(256, 7));
    m_form->show();
    m_onPump = [&](int pump) {
        if (pump == 256 + 50)
            m_form->close();  // a close delivered straight from the window system
    };
    m_form->WriteBtnClick();
    EXPECT_EQ(m_bus->byteWrites, 256 + 49);
    m_form.reset();
    // The next start sees what reached the chip and nothing else.
    QFile chipFile(m_dir.filePath(QStringLiteral("chip.bin")));
    ASSERT_TRUE(chipFile.open(QIODevice::ReadOnly));
    const QByteArray cells = chipFile.readAll();
    std::vector<std::uint8_t> expected(256, 0xFF);
    const std::vector<std::uint8_t> image = pattern(256, 7);
    std::copy(image.begin(), image.begin() + 49, expected.begin());
    EXPECT_EQ(std::vector<std::uint8_t>(cells.begin(), cells.end()), expected);
}

} // namespace

namespace {

using Handler = void (TMainForm::*)();

class KeepingTest : public MainOperationsTest {
protected:
    QString path(const char* name) const
    {
        return m_dir.path() + QLatin1Char('/') + QLatin1String(name);
    }
    // Types DE AD over the first two cells of page 0 and confirms them.
    std::vector<std::uint8_t> edit(std::vector<std::uint8_t> image)
    {
        m_form->HexGrid1->setCellText(0, 0, QStringLiteral("DE"));
        m_form->HexGrid1->setCellText(1, 0, QStringLiteral("AD"));
        m_form->ConfirmBtn->click();
        image[0] = 0xDE;
        image[1] = 0xAD;
        return image;
    }
    void writeFile(const char* name, const QByteArray& bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

// The file size limit turns every write past it into a full disk, for as
// long as it is set.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

TEST_F(KeepingTest, AnUnsavedImageSurvivesReadEraseAndFillInTemporBak)
{
    const struct {
        const char* name;
        Handler handler;
    } operations[] = {{"Read", &TMainForm::ReadBtnClick},
                      {"Erase", &TMainForm::BitBtn2Click},
                      {"Fill 00", &TMainForm::BitBtn4Click},
                      {"Fill FF", &TMainForm::BitBtn6Click}};
    TMainForm& form = open("24C02", ChipFault::None, 0, pattern(256, 4));
    for (const auto& op : operations) {
        SCOPED_TRACE(op.name);
        setImage(pattern(256, 1));
        QFile::remove(path("Tempor.bak"));
        const std::vector<std::uint8_t> edited = edit(pattern(256, 1));
        EXPECT_TRUE(form.imageUnsaved());
        resetRecords();
        (form.*op.handler)();
        EXPECT_EQ(file("Tempor.bak"), edited);
        EXPECT_EQ(m_reports, QStringList{"The image shown before, in no file but the working file, "
                                         "is kept in " + path("Tempor.bak") + "."});
        EXPECT_FALSE(form.imageUnsaved());
        EXPECT_FALSE(QFile::exists(path("Tempor.jnl"))) << "the journal ends with the operation";

        // An image without edits is replaced without a word.
        resetRecords();
        (form.*op.handler)();
        EXPECT_EQ(file("Tempor.bak"), edited);
        EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('|').toStdString();
    }

    // Where the copy cannot be made, the chip is not touched.
    setImage(pattern(256, 1));
    edit(pattern(256, 1));
    QFile::remove(path("Tempor.bak"));
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("Tempor.bak/inside")));
    resetRecords();
    const long writes = m_bus->byteWrites;
    form.BitBtn2Click();
    EXPECT_EQ(m_reports, QStringList{"The image shown holds edits that no file holds, and " +
                                     path("Tempor.bak") +
                                     " is a folder, so the image cannot be kept there; move it "
                                     "away and try again. The chip was not touched; save the image "
                                     "with Save As first."});
    resetRecords();
    form.WriteBtnClick();
    EXPECT_EQ(m_reports, QStringList{path("Tempor.bak") +
                                     " is a folder, so the image cannot be kept there; move it "
                                     "away and try again. The chip was not touched."});
    EXPECT_EQ(m_bus->byteWrites, writes);
    EXPECT_TRUE(form.imageUnsaved());
}

TEST_F(KeepingTest, AWriteKeepsAJournalThatTheNextStartReports)
{
    TMainForm& form = open("24C16", ChipFault::None, 0, pattern(2048, 2));
    const std::vector<std::uint8_t> image = pattern(2048, 7);
    setImage(image);
    QByteArray journal;
    QByteArray duringErase;
    m_onPump = [&](int pump) {
        QFile f(path("Tempor.jnl"));
        if ((pump == 0x151 + 2 || pump == 2048 + 0x399 + 2) && f.open(QIODevice::ReadOnly))
            (pump < 2048 ? duringErase : journal) = f.readAll();
    };
    form.WriteBtnClick();
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('|').toStdString();
    EXPECT_FALSE(QFile::exists(path("Tempor.jnl")));
    ASSERT_FALSE(journal.isEmpty());

    // As a process killed in the middle of its write pass leaves it.
    const auto restart = [&](const QByteArray& left) {
        m_form.reset();
        writeFile("Tempor.jnl", left);
        open("24C16");
        resetRecords();
        m_form->reportInterruptedOperation();
    };
    restart(journal);
    EXPECT_EQ(m_reports, QStringList{"The last Write to the 24C16 stopped at 0399 (the program "
                                     "ended). The image it was writing is kept as Tempor.bak. The "
                                     "chip holds part of the image: 0000..0398 hold it, the write "
                                     "begun at 0399 may not have ended, the rest is erased."});
    EXPECT_FALSE(QFile::exists(path("Tempor.jnl")));
    // Nothing the user had is touched; the image is shown again, as one
    // that no file of the user's holds.
    EXPECT_EQ(file("Tempor.tmp"), image);
    EXPECT_EQ(file("Tempor.bak"), image);
    EXPECT_TRUE(m_form->ImageLoaded);
    EXPECT_TRUE(m_form->imageUnsaved());
    EXPECT_EQ(m_form->HexGrid1->cellText(0, 0),
              QStringLiteral("%1").arg(image[0], 2, 16, QLatin1Char('0')).toUpper());
    // So the next Read keeps it, and a Write of what was read then moves it
    // aside rather than replace it.
    m_form->ReadBtnClick();
    EXPECT_EQ(file("Tempor.bak"), image);
    const std::vector<std::uint8_t> read = file("Tempor.tmp");
    ASSERT_NE(read, image);
    resetRecords();
    m_form->WriteBtnClick();
    EXPECT_EQ(file("Tempor-1.bak"), image);
    EXPECT_EQ(file("Tempor.bak"), read);
    EXPECT_EQ(m_reports, QStringList{"The image that Tempor.bak held before is kept in " +
                                     path("Tempor-1.bak") + "."});
    // Verified on the chip, Tempor.bak is replaced from now on.
    resetRecords();
    m_form->WriteBtnClick();
    EXPECT_FALSE(QFile::exists(path("Tempor-2.bak")));
    EXPECT_TRUE(m_reports.isEmpty());
    QFile::remove(path("Tempor-1.bak"));

    restart(duringErase);
    EXPECT_EQ(m_reports, QStringList{"The last Write to the 24C16 stopped at 0151 (the program "
                                     "ended). The image it was writing is kept as Tempor.bak. The "
                                     "chip holds none of the image: 0000..0150 are erased, the "
                                     "write begun at 0151 may not have ended, the rest is as "
                                     "before."});
    // No journal, no report.
    resetRecords();
    m_form->reportInterruptedOperation();
    EXPECT_TRUE(m_reports.isEmpty());
}

TEST_F(KeepingTest, AnEndSignalStopsWithoutAQuestionAndLeavesTheReportForTheNextStart)
{
    TMainForm& form = open("24C08", ChipFault::None, 0, pattern(1024, 1));
    setImage(std::vector<std::uint8_t>(1024, 0x5A));
    resetRecords();
    m_onPump = [&](int pump) {
        if (pump == 1024 + 100)
            form.endRequested();
    };
    form.WriteBtnClick();
    EXPECT_TRUE(m_questions.isEmpty());
    EXPECT_TRUE(m_reports.isEmpty());
    EXPECT_EQ(m_bus->byteWrites, 1024 + 99);
    EXPECT_FALSE(form.operationRunning());
    const QString report = "The Write was stopped at 0063; the chip holds part of the image: "
                           "0000..0062 hold it, the rest is erased. The image that was to be "
                           "written is kept in " + path("Tempor.bak") + ".";
    const std::optional<JournalEntry> entry = OperationJournal::find(m_dir.path().toStdString());
    ASSERT_TRUE(entry);
    EXPECT_EQ(QString::fromStdString(entry->report), report);

    m_form.reset();
    open("24C08");
    m_form->reportInterruptedOperation();
    EXPECT_EQ(m_reports, QStringList{"The program was ended during the last Write to the 24C08.\r" +
                                     report});
}

TEST_F(KeepingTest, AFullDiskAfterTheChipIsDoneSaysSoFirst)
{
    // The chip in memory: its content file would meet the limit too.
    TMainForm& form = open("24C16");
    const std::vector<std::uint8_t> image = pattern(2048, 9);
    setImage(image);
    resetRecords();
    {
        std::unique_ptr<FileSizeLimit> limit;
        // Set once Tempor.bak is made: the chip is written, the closing
        // Read cannot replace the working file.
        m_onPump = [&](int pump) {
            if (pump == 10)
                limit = std::make_unique<FileSizeLimit>(1000);
        };
        form.WriteBtnClick();
    }
    m_onPump = nullptr;
    EXPECT_EQ(chip(), image);
    EXPECT_EQ(m_reports, QStringList{"The 24C16 was written and verified; the working file could "
                                     "not be updated: disk full. The image that was to be written "
                                     "is kept in " + path("Tempor.bak") + "."});
    EXPECT_EQ(file("Tempor.tmp"), image);
    EXPECT_TRUE(form.GroupBox1->isEnabled());

    resetRecords();
    {
        FileSizeLimit limit(1000);
        form.BitBtn4Click();
    }
    EXPECT_EQ(chip(), std::vector<std::uint8_t>(2048, 0x00));
    EXPECT_EQ(m_reports, QStringList{"The 24C16 was filled with 00 and verified; the working file "
                                     "could not be updated: disk full. It still holds the image "
                                     "from before."});
    EXPECT_EQ(file("Tempor.tmp"), image);

    resetRecords();
    {
        FileSizeLimit limit(1000);
        form.ReadBtnClick();
    }
    EXPECT_EQ(m_reports, QStringList{"The 24C16 was read; the working file could not be updated: "
                                     "disk full. The image was kept as it was."});
    EXPECT_EQ(form.hexedit2->text(), "07FF");
}

TEST_F(KeepingTest, AReadOnlyFolderErasesTheChipAndSaysSo)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder";
    TMainForm& form = open("24C02", ChipFault::None, 0, pattern(256, 3));
    ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    form.BitBtn2Click();
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(chip(), std::vector<std::uint8_t>(256, 0xFF));
    EXPECT_EQ(m_reports, QStringList{"The 24C02 was erased and verified; the working file could "
                                     "not be updated: file access denied."});
}

} // namespace
