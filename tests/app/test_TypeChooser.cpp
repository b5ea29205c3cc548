// SPDX-License-Identifier: MIT
// "Device Other...": the chooser over the chip table, what each adapter
// reaches, a chosen row driving the R/W group on the simulated CH341A, the
// type kept in Kavoda.INI, and the Port field naming the adapter.
#include "ALed.h"
#include "ChipTable.h"
#include "HexEdit.h"
#include "HexGrid.h"
#include "Main.h"
#include "MicrowireBus.h"
#include "SimulatedLink.h"
#include "SimulatedWireDevice.h"
#include "OperationWindowTest.h"
#include "Options.h"
#include "Panel.h"
#include "TypeChooser.h"
#include "TypeReach.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <sstream>

using namespace kavoda;

namespace {

std::vector<std::uint8_t> pattern(int size, int seed)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 13 + (i >> 8) + seed);
    return bytes;
}

AdapterChoice adapterOf(AdapterKind kind)
{
    AdapterChoice choice;
    choice.kind = kind;
    return choice;
}

TEST(TypeReach, EachAdapterCarriesItsTransportsAndSaysWhyNot)
{
    EXPECT_EQ(transportsOf(AdapterKind::ParallelPort), std::vector<Transport>{Transport::I2c});
    EXPECT_EQ(transportsOf(AdapterKind::I2cDev), std::vector<Transport>{Transport::I2c});
    EXPECT_EQ(transportsOf(AdapterKind::Ch341a),
              (std::vector<Transport>{Transport::I2c, Transport::Spi, Transport::Lines}));
    ChipType spi = kChipTable[0];
    spi.family = Family::Spi25;
    EXPECT_FALSE(reaches(AdapterKind::ParallelPort, spi));
    EXPECT_EQ(unreachableReason(AdapterKind::ParallelPort, spi),
              "SPI chips need a CH341A or spidev adapter");
    EXPECT_EQ(unreachableReason(AdapterKind::Ch341a, spi), "");
    EXPECT_EQ(unreachableReason(AdapterKind::I2cDev, *findChip("24C02")), "");
    EXPECT_EQ(unreachableReason(AdapterKind::Spidev, *findChip("24C02")),
              "I2C chips need a parallel-port, CH341A or i2c-dev adapter");
    for (const AdapterKind kind : {AdapterKind::ParallelPort, AdapterKind::I2cDev, AdapterKind::Spidev})
        EXPECT_EQ(unreachableReason(kind, *findChip("93C66")), "Microwire chips need a CH341A adapter");
    EXPECT_EQ(unreachableReason(AdapterKind::Ch341a, *findChip("93C46")), "");
    for (const ChipType& chip : kChipTable)
        EXPECT_EQ(reaches(AdapterKind::ParallelPort, chip), transportOf(chip.family) == Transport::I2c);

    std::string error;
    EXPECT_EQ(chipForAdapter("24c256", AdapterKind::ParallelPort, &error), findChip("24C256"));
    EXPECT_EQ(chipForAdapter("24C99", AdapterKind::Ch341a, &error), nullptr);
    EXPECT_NE(error.find("unknown device type '24C99'"), std::string::npos) << error;

    EXPECT_EQ(adapterFieldText(adapterOf(AdapterKind::ParallelPort)), "");
    EXPECT_EQ(adapterFieldText(adapterOf(AdapterKind::Ch341a)), "USB CH341A");
    AdapterChoice bus = adapterOf(AdapterKind::I2cDev);
    bus.path = "/dev/i2c-1";
    EXPECT_EQ(adapterFieldText(bus), "/dev/i2c-1");
}

TEST(TypeReach, ATypeAtStartIsCheckedAgainstTheAdapter)
{
    ParsedOptions parsed;
    std::ostringstream err;
    EXPECT_EQ(checkStartType(parsed, err), 0) << "no --type";
    parsed.typeName = "24C256";
    parsed.options.adapter = parseAdapter("parport");
    EXPECT_EQ(checkStartType(parsed, err), 0);
    parsed.typeName = "W25X99";
    EXPECT_EQ(checkStartType(parsed, err), 2);
    EXPECT_NE(err.str().find("kavoda: unknown device type 'W25X99'"), std::string::npos);
}

class TypeChooserTest : public OperationWindowTest {
protected:
    TMainForm& open(PortOptions options)
    {
        m_form = std::make_unique<TMainForm>(options);
        m_form->setWorkingFolder(m_dir.path().toStdString());
        BusDelay = 0;
        return *m_form;
    }
    static PortOptions simulated(const char* type, const char* adapter)
    {
        PortOptions options;
        options.simulateType = findChip(type)->deviceType;
        options.simWriteCycleNs = 0;
        options.adapter = parseAdapter(adapter);
        return options;
    }
    // Opens the chooser from the menu; answer acts on it in place of the user.
    void choose(const std::function<void(TypeChooser&)>& answer)
    {
        m_form->setChooserHook(answer);
        m_form->menuAction(QStringLiteral("Device &Other..."))->trigger();
    }
    void writeFile(const QString& name, const std::vector<std::uint8_t>& bytes)
    {
        QFile f(m_dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
};

TEST_F(TypeChooserTest, EveryRowIsListedByFamilyAndTheUnreachableAreGreyedWithTheReason)
{
    for (const char* adapter : {"parport", "ch341a", "i2c:/dev/i2c-1"}) {
        SCOPED_TRACE(adapter);
        open(simulated("24C02", adapter));
        choose([&](TypeChooser& chooser) {
            int rows = 0;
            for (int g = 0; g < chooser.list->topLevelItemCount(); ++g)
                rows += chooser.list->topLevelItem(g)->childCount();
            EXPECT_EQ(rows, static_cast<int>(kChipTable.size()));
            for (const ChipType& chip : kChipTable) {
                const QString name = QString::fromLatin1(chip.caption.data(), int(chip.caption.size()));
                QTreeWidgetItem* row = chooser.rowOf(name);
                ASSERT_NE(row, nullptr) << chip.caption;
                EXPECT_EQ(row->parent()->text(0).toStdString(), familyTitle(chip.family));
                EXPECT_EQ(row->text(1), sizeText(chip.size));
                const AdapterKind kind = m_form->adapter().kind;
                EXPECT_EQ(bool(row->flags() & Qt::ItemIsSelectable), reaches(kind, chip));
                EXPECT_EQ(row->text(3).toStdString(), unreachableReason(kind, chip));
            }
            EXPECT_EQ(chooser.rowOf("24C256")->text(2), "64 bytes");
            EXPECT_EQ(chooser.rowOf("24M02")->text(1), "256 KiB");
            chooser.reject();
        });
        EXPECT_FALSE(m_form->GroupBox2->isEnabled()) << "a cancel chooses nothing";
    }
}

TEST_F(TypeChooserTest, SearchNarrowsTheListAndDetectSaysWhatItFound)
{
    open(simulated("24C02", "parport"));
    choose([&](TypeChooser& chooser) {
        QPushButton* ok = chooser.buttons->button(QDialogButtonBox::Ok);
        EXPECT_FALSE(ok->isEnabled()) << "nothing chosen yet";
        EXPECT_EQ(chooser.chosen(), nullptr);
        chooser.search->setText("c25");
        EXPECT_FALSE(chooser.rowOf("24C256")->isHidden());
        EXPECT_TRUE(chooser.rowOf("24C02")->isHidden());
        EXPECT_EQ(chooser.chosen(), findChip("24C256")) << "the one match is taken";
        EXPECT_TRUE(ok->isEnabled());
        chooser.search->setText("24C");
        EXPECT_FALSE(chooser.rowOf("24C02")->isHidden());
        EXPECT_TRUE(chooser.rowOf("SDA3526")->parent()->isHidden()) << "an empty family goes";

        // A blank chip gives no evidence: Detect says so and chooses nothing.
        const ChipType* before = chooser.chosen();
        chooser.detectButton->click();
        EXPECT_TRUE(chooser.status->text().startsWith("blank or uniform content"))
            << chooser.status->text().toStdString();
        EXPECT_EQ(chooser.chosen(), before);
        chooser.reject();
    });
    m_form->setDetectHook([](const ChipType*) { return DetectOutcome{findChip("24C64"), "A 24C64 answered."}; });
    choose([&](TypeChooser& chooser) {
        chooser.search->setText("SDA");
        chooser.detectButton->click();
        EXPECT_EQ(chooser.chosen(), findChip("24C64")) << "the search gives way to the find";
        EXPECT_EQ(chooser.status->text(), "A 24C64 answered.");
        chooser.accept();
    });
    EXPECT_EQ(m_form->currentChip(), findChip("24C64"));
}

TEST_F(TypeChooserTest, DetectSelectsASimulated24C64AndA25640IsWrittenOverSpi)
{
    {
        PortOptions options = simulated("24C64", "ch341a");
        options.simImagePath = m_dir.filePath(QStringLiteral("c64.bin")).toStdString();
        writeFile(QStringLiteral("c64.bin"), pattern(8192, 3));
        open(options);
        choose([](TypeChooser& chooser) {
            chooser.detectButton->click();
            EXPECT_EQ(chooser.chosen(), findChip("24C64")) << chooser.status->text().toStdString();
            chooser.accept();
        });
        EXPECT_EQ(m_form->currentChip(), findChip("24C64"));
        m_form.reset();
    }
    PortOptions options = simulated("25640", "ch341a");
    options.simImagePath = m_dir.filePath(QStringLiteral("spi.bin")).toStdString();
    writeFile(QStringLiteral("spi.bin"), pattern(8192, 9));
    TMainForm& form = open(options);
    choose([](TypeChooser& chooser) {
        ASSERT_TRUE(chooser.select(findChip("25640")));
        chooser.accept();
    });
    form.ReadBtnClick();
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), pattern(8192, 9));
    form.goToAddress(0x1FF0);
    form.HexGrid1->setCellText(0, 15, "5A");
    form.ConfirmBtn->click();
    form.WriteBtnClick();
    std::vector<std::uint8_t> expected = pattern(8192, 9);
    expected[0x1FF0] = 0x5A;
    EXPECT_EQ(file(QStringLiteral("spi.bin")), expected);
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('\n').toStdString();
}

TEST_F(TypeChooserTest, A24C256ChosenReadsEditsAndWritesOnTheSimulatedCh341a)
{
    PortOptions options = simulated("24C256", "ch341a");
    options.simImagePath = m_dir.filePath(QStringLiteral("chip.bin")).toStdString();
    writeFile(QStringLiteral("chip.bin"), pattern(32768, 5));
    TMainForm& form = open(options);
    EXPECT_EQ(form.hexedit4->text(), "USB CH341A");
    choose([](TypeChooser& chooser) {
        ASSERT_TRUE(chooser.select(findChip("24C256")));
        chooser.accept();
    });
    EXPECT_EQ(form.Panel1->caption(), "24C256");
    EXPECT_TRUE(form.windowTitle().endsWith(" - 24C256"));
    EXPECT_TRUE(form.GroupBox2->isEnabled());
    EXPECT_EQ(DeviceType, kDefaultDeviceType) << "the menus' state keeps its own types";

    form.ReadBtnClick();
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), pattern(32768, 5));
    EXPECT_EQ(form.PageCount->text(), "of 128 pages");
    // An edit on the last page, confirmed, then written.
    form.goToAddress(0x7FF0);
    form.HexGrid1->setCellText(0, 15, "A5");
    form.ConfirmBtn->click();
    form.WriteBtnClick();
    std::vector<std::uint8_t> expected = pattern(32768, 5);
    expected[0x7FF0] = 0xA5;
    EXPECT_EQ(file(QStringLiteral("chip.bin")), expected);
    EXPECT_EQ(file(QStringLiteral("Tempor.bak")), expected);
    EXPECT_EQ(form.Panel1->caption(), "24C256");
    EXPECT_TRUE(m_questions.isEmpty()) << m_questions.join('\n').toStdString();
    EXPECT_TRUE(m_boxes.isEmpty()) << m_boxes.join('\n').toStdString();
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('\n').toStdString();

    // A menu type afterwards is the menus' again, exactly.
    form.menuAction(QStringLiteral("24C04"))->trigger();
    EXPECT_EQ(form.currentChip(), findChip("24C04"));
    EXPECT_EQ(DeviceType, 2);
    EXPECT_EQ(form.windowTitle().endsWith(" - 24C256"), false);
}

TEST_F(TypeChooserTest, AChosenRowReadsAndWritesOnTheParallelPortByteByByte)
{
    PortOptions options = simulated("24C64", "parport");
    options.simImagePath = m_dir.filePath(QStringLiteral("chip.bin")).toStdString();
    writeFile(QStringLiteral("chip.bin"), pattern(8192, 9));
    TMainForm& form = open(options);
    form.chooseType(*findChip("24C64"));
    form.ReadBtnClick();
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), pattern(8192, 9));
    writeFile(QStringLiteral("Tempor.tmp"), pattern(8192, 60));
    form.ReopenImage();
    form.WriteBtnClick();
    EXPECT_EQ(file(QStringLiteral("chip.bin")), pattern(8192, 60));
    EXPECT_TRUE(m_boxes.isEmpty()) << m_boxes.join('\n').toStdString();
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('\n').toStdString();
}

TEST_F(TypeChooserTest, ATypeChosenDuringAReadAppliesWhenItEnds)
{
    PortOptions options = simulated("24C04", "ch341a");
    TMainForm& form = open(options);
    form.menuAction(QStringLiteral("24C04"))->trigger();
    bool chosen = false;
    form.setMessagePumpHook([&] {
        if (!chosen) {
            chosen = true;
            form.chooseType(*findChip("24C256"));
        }
    });
    form.ReadBtnClick();
    form.setMessagePumpHook({});
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")).size(), 512u) << "the Read ran as a 24C04";
    EXPECT_EQ(form.currentChip(), findChip("24C256"));
    EXPECT_EQ(form.Panel1->caption(), "24C256");
    EXPECT_TRUE(readSettings().contains("Type=24C256")) << readSettings().toStdString();
}

TEST_F(TypeChooserTest, TheChosenTypeIsKeptAndAnOlderFileOpensAsBefore)
{
    const QByteArray older = "[Device Port]\r\nPort=Port2\r\n[Version]\r\nVersion=1.2 1998\r\n"
                             "[Delay]\r\nDelay=10\r\n";
    writeSettings(older);
    TMainForm& form = open(simulated("24C02", "parport"));
    EXPECT_FALSE(form.GroupBox2->isEnabled());
    EXPECT_FALSE(form.ALed3->value());
    EXPECT_EQ(form.Panel1->caption(), "");
    EXPECT_EQ(form.currentChip(), findChip("24C02")) << "DeviceType 1, as ever";
    EXPECT_EQ(form.hexedit4->text(), "0278");
    form.menuAction(QStringLiteral("24C16"))->trigger();
    EXPECT_EQ(readSettings(), older) << "a menu choice leaves an older file as it was";

    choose([](TypeChooser& chooser) {
        chooser.select(findChip("24C512"));
        chooser.accept();
    });
    EXPECT_TRUE(readSettings().endsWith("[Device Type]\r\nType=24C512\r\n")) << readSettings().toStdString();
    m_form.reset();
    TMainForm& again = open(simulated("24C02", "parport"));
    EXPECT_EQ(again.currentChip(), findChip("24C512"));
    EXPECT_TRUE(again.GroupBox2->isEnabled());
    EXPECT_EQ(again.Panel1->caption(), "24C512");
    // From now on the menus' choices are kept too.
    again.menuAction(QStringLiteral("SDA3546"))->trigger();
    EXPECT_TRUE(readSettings().contains("Type=SDA3546"));
    m_form.reset();
    EXPECT_EQ(open(simulated("24C02", "parport")).Panel1->caption(), "SDA3546");
    EXPECT_EQ(DeviceType, 7);
}

// A x16 93C66 on the simulated CH341A, its ORG pin open; its content file
// holds each word high byte first, as the chip shifts it.
class MicrowireWindowTest : public TypeChooserTest {
protected:
    TMainForm& openMicrowire(const std::vector<std::uint8_t>& cells)
    {
        PortOptions options = simulated("93C66", "ch341a");
        // Its own cycle times: a write whose cycle ends at once reads as refused.
        options.simWriteCycleNs.reset();
        options.simImagePath = m_dir.filePath(QStringLiteral("chip.bin")).toStdString();
        writeFile(QStringLiteral("chip.bin"), cells);
        return open(options);
    }
    // Once an operation has made the Microwire bus.
    std::uint64_t writeCycles()
    {
        auto& bus = dynamic_cast<MicrowireBus&>(m_form->deviceBus());
        return bus.simulation()->wireChip()->writeCycles();
    }
    static std::vector<std::uint8_t> swapped(std::vector<std::uint8_t> bytes)
    {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            std::swap(bytes[i], bytes[i + 1]);
        return bytes;
    }
};

TEST_F(MicrowireWindowTest, TheChooserAsksTheOrganisationAndRefusesOkWithoutIt)
{
    openMicrowire(pattern(512, 1));
    choose([&](TypeChooser& chooser) {
        EXPECT_TRUE(chooser.rowOf("93C66")->flags() & Qt::ItemIsSelectable);
        EXPECT_EQ(chooser.rowOf("93C66")->parent()->text(0), "93Cxx (Microwire)");
        EXPECT_EQ(chooser.rowOf("93C66")->text(2), "1 word");
        ASSERT_TRUE(chooser.select(findChip("24C256")));
        EXPECT_FALSE(chooser.organisation->isVisibleTo(&chooser)) << "an I2C row has no ORG pin";

        ASSERT_TRUE(chooser.select(findChip("93C66")));
        EXPECT_TRUE(chooser.organisation->isVisibleTo(&chooser));
        EXPECT_FALSE(chooser.x8->isChecked() || chooser.x16->isChecked()) << "never a guess";
        EXPECT_TRUE(chooser.bigEndian->isChecked());
        EXPECT_FALSE(chooser.byteOrder->isEnabled()) << "no byte order before x16";
        QPushButton* ok = chooser.buttons->button(QDialogButtonBox::Ok);
        EXPECT_TRUE(ok->isEnabled());
        ok->click();
        EXPECT_NE(chooser.result(), QDialog::Accepted);
        EXPECT_TRUE(chooser.status->text().startsWith("Choose the organisation of the 93C66"));
        EXPECT_FALSE(chooser.chosenType());

        chooser.x16->setChecked(true);
        EXPECT_EQ(chooser.status->text(), "") << "answered";
        EXPECT_TRUE(chooser.byteOrder->isEnabled());
        chooser.littleEndian->setChecked(true);

        // Detect on a Microwire row probes the lines: the width of the
        // address gives the organisation, the content the row.
        ASSERT_TRUE(chooser.select(findChip("93C56")));
        chooser.detectButton->click();
        EXPECT_EQ(chooser.chosen(), findChip("93C66")) << chooser.status->text().toStdString();
        EXPECT_TRUE(chooser.x16->isChecked());
        EXPECT_TRUE(chooser.littleEndian->isChecked()) << "the byte order is the user's";
        EXPECT_TRUE(chooser.status->text().startsWith("DO drove the dummy 0 after 8 address bits"));
        ok->click();
        EXPECT_EQ(chooser.result(), QDialog::Accepted);
    });
    const ChipType* chip = m_form->currentChip();
    ASSERT_TRUE(chip && chip->isMicrowire());
    EXPECT_EQ(chip->microwire.organisation, 16);
    EXPECT_EQ(chip->microwire.byteOrder, ByteOrder::Little);
    EXPECT_EQ(chip->pageSize, 2);
    EXPECT_EQ(m_form->Panel1->caption(), "93C66 x16 LE");
    EXPECT_EQ(m_form->Panel1->toolTip(), "93C66: x16, little-endian (low byte first)");
    EXPECT_TRUE(m_form->windowTitle().endsWith(" - 93C66 x16 little-endian"));

    // Opened again, it shows the choice; a maker's name fixes x8.
    choose([&](TypeChooser& chooser) {
        EXPECT_EQ(chooser.chosen(), findChip("93C66"));
        EXPECT_TRUE(chooser.x16->isChecked());
        EXPECT_TRUE(chooser.littleEndian->isChecked());
        chooser.search->setText("93LC46A");
        EXPECT_EQ(chooser.chosen(), findChip("93C46"));
        EXPECT_TRUE(chooser.x8->isChecked());
        chooser.tryAccept();
    });
    EXPECT_EQ(m_form->Panel1->caption(), "93C46 x8");
}

TEST_F(MicrowireWindowTest, OrganisationAndByteOrderAreKeptAndNeverGuessed)
{
    openMicrowire(pattern(512, 1));
    m_form->chooseType(withOrganisation(*findChip("93C66"), 16, ByteOrder::Little));
    QByteArray ini = readSettings().replace("\r\n", "\n");
    EXPECT_TRUE(ini.endsWith("[Device Type]\nType=93C66\nOrg=16\nByteOrder=little\n"))
        << ini.toStdString();
    m_form.reset();
    openMicrowire(pattern(512, 1));
    ASSERT_TRUE(m_form->currentChip()->isMicrowire());
    EXPECT_EQ(m_form->Panel1->caption(), "93C66 x16 LE");

    // Another type empties what only a Microwire type means.
    m_form->chooseType(*findChip("24C256"));
    ini = readSettings().replace("\r\n", "\n");
    EXPECT_TRUE(ini.endsWith("Type=24C256\nOrg=\nByteOrder=\n")) << ini.toStdString();

    // A Microwire type without its organisation comes back unchosen, and
    // the chooser asks again.
    writeSettings("[Device Type]\r\nType=93C66\r\n");
    m_form.reset();
    openMicrowire(pattern(512, 1));
    EXPECT_FALSE(m_form->GroupBox2->isEnabled());
    EXPECT_EQ(m_form->Panel1->caption(), "");
    choose([&](TypeChooser& chooser) {
        EXPECT_EQ(chooser.chosen(), findChip("93C66"));
        EXPECT_FALSE(chooser.x8->isChecked() || chooser.x16->isChecked());
        chooser.reject();
    });
    writeSettings("[Device Type]\r\nType=93C66\r\nOrg=8\r\n");
    m_form.reset();
    openMicrowire(pattern(512, 1));
    EXPECT_EQ(m_form->Panel1->caption(), "93C66 x8");
}

TEST_F(MicrowireWindowTest, ALittleEndianImageHoldsEachWordLowByteFirstBothWays)
{
    TMainForm& form = openMicrowire(pattern(512, 7));
    form.chooseType(withOrganisation(*findChip("93C66"), 16, ByteOrder::Little));
    form.ReadBtnClick();
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), swapped(pattern(512, 7)));
    EXPECT_EQ(form.Panel1->caption(), "93C66 x16 LE");

    writeFile(QStringLiteral("Tempor.tmp"), pattern(512, 40));
    form.ReopenImage();
    form.WriteBtnClick();
    EXPECT_EQ(file(QStringLiteral("chip.bin")), swapped(pattern(512, 40)));
    EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), pattern(512, 40)) << "read back as written";
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('\n').toStdString();
}

TEST_F(MicrowireWindowTest, FillAndEraseSetTheChipInOneCycle)
{
    TMainForm& form = openMicrowire(pattern(512, 3));
    form.chooseType(withOrganisation(*findChip("93C66"), 16, ByteOrder::Big));
    const struct {
        void (TMainForm::*click)();
        std::uint8_t value;
    } steps[] = {{&TMainForm::BitBtn4Click, 0x00}, {&TMainForm::BitBtn2Click, 0xFF},
                 {&TMainForm::BitBtn4Click, 0x00}, {&TMainForm::BitBtn6Click, 0xFF}};
    for (const auto& step : steps) {
        const std::uint64_t before = step.click == steps[0].click && step.value == 0 &&
                                             &step == steps ? 0 : writeCycles();
        (form.*step.click)();
        EXPECT_EQ(writeCycles() - before, 1u) << "one ERAL or WRAL, no erase before a fill";
        EXPECT_EQ(file(QStringLiteral("chip.bin")), std::vector<std::uint8_t>(512, step.value));
        EXPECT_EQ(file(QStringLiteral("Tempor.tmp")), std::vector<std::uint8_t>(512, step.value));
    }
    EXPECT_TRUE(m_reports.isEmpty()) << m_reports.join('\n').toStdString();

    // A process that died in the cycle left no address that tells how far
    // it got: the next start says what the chip may hold.
    QByteArray journal;
    form.setMessagePumpHook([&] {
        QFile f(m_dir.filePath(QStringLiteral("Tempor.jnl")));
        if (journal.isEmpty() && f.open(QIODevice::ReadOnly))
            journal = f.readAll();
    });
    form.BitBtn4Click();
    ASSERT_FALSE(journal.isEmpty());
    writeFile(QStringLiteral("Tempor.jnl"), std::vector<std::uint8_t>(journal.begin(), journal.end()));
    form.reportInterruptedOperation();
    ASSERT_EQ(m_reports.size(), 1);
    EXPECT_EQ(m_reports.takeFirst(), "The last Fill of the 93C66 stopped in its fill cycle (the "
                                     "program ended). The chip was being set in one cycle: it may "
                                     "hold 00 throughout, or only in part.");

    // A stop before the cycle leaves the chip as it was, and says so.
    bool stopped = false;
    form.setMessagePumpHook([&] {
        if (!stopped) {
            stopped = true;
            form.close();
        }
    });
    const std::uint64_t before = writeCycles();
    form.BitBtn4Click();
    EXPECT_EQ(writeCycles(), before);
    ASSERT_EQ(m_reports.size(), 1);
    EXPECT_TRUE(m_reports[0].startsWith("The Fill was stopped before its fill cycle; nothing was "
                                        "written, the chip is as before."))
        << m_reports[0].toStdString();
}

} // namespace
