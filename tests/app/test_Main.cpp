// SPDX-License-Identifier: MIT
// The main window: what its creation leaves behind, its layout, the menu
// tree and what each entry runs, device choice, help boxes and credits.
#include "ALed.h"
#include "Feedback.h"
#include "HelpTexts.h"
#include "HexEdit.h"
#include "HexGrid.h"
#include "Main.h"
#include "Panel.h"
#include "RadioGroup.h"
#include "ScrollText.h"
#include "SettingsFolder.h"
#include "Setup.h"
#include "StringGrid.h"
#include "Unit1.h"
#include "UpDown.h"
#include "about.h"
#include "numedit.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

class MainFormTest : public SettingsFolderTest {
protected:
    void SetUp() override
    {
        SettingsFolderTest::SetUp();
        setHelpBoxSink([this](const QString& caption, const QString& text) {
            m_helpBoxes << caption + QLatin1Char('|') + text;
        });
        setAboutBeep([] {});
    }
    void TearDown() override
    {
        setHelpBoxSink({});
        setAboutBeep({});
        SettingsFolderTest::TearDown();
    }
    std::unique_ptr<TMainForm> makeForm() { return std::make_unique<TMainForm>(); }

    QStringList m_helpBoxes;
};

QStringList rowHeads(const TMainForm& form)
{
    QStringList heads;
    for (int row = 0; row < 16; ++row)
        heads << form.HexGrid2->cellText(0, row);
    return heads;
}

QStringList columnHeads(const TMainForm& form)
{
    QStringList heads;
    for (int col = 0; col < 16; ++col)
        heads << form.HexGrid3->cellText(col, 0);
    return heads;
}

const QStringList kRowHeads = {"0000", "0010", "0020", "0030", "0040", "0050", "0060", "0070",
                               "0080", "0090", "00A0", "00B0", "00C0", "00D0", "00E0", "00F0"};
const QStringList kColumnHeads = {"00", "01", "02", "03", "04", "05", "06", "07",
                                  "08", "09", "0A", "0B", "0C", "0D", "0E", "0F"};

TEST_F(MainFormTest, AFirstStartWritesTheSettingsAndResetsTheViews)
{
    FastTiming = 0;
    DeviceType = 8;
    LastBlock = 3;
    auto form = makeForm();

    EXPECT_TRUE(m_reports.isEmpty());
    const IniFile ini(settingsFilePath());
    EXPECT_EQ(ini.readString("Device Port", "Port", ""), "Port2");
    EXPECT_EQ(ini.readString("Version", "Version", ""), "1.2 1998");
    EXPECT_EQ(ini.readString("Delay", "Delay", ""), "10");
    EXPECT_EQ(ProgramVersion, "1.2 1998");
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(BusDelay, 10);
    EXPECT_EQ(form->hexedit4->text(), "0278");
    EXPECT_EQ(FastTiming, 1);
    EXPECT_EQ(DeviceType, 1);
    EXPECT_EQ(LastBlock, 0);
    EXPECT_FALSE(form->ImageLoaded);

    EXPECT_FALSE(form->ALed1->value());
    EXPECT_FALSE(form->ALed2->value());
    EXPECT_FALSE(form->ALed3->value());
    EXPECT_EQ(form->UpDown1->position(), 0);
    EXPECT_FALSE(form->GroupBox1->isEnabled());
    EXPECT_FALSE(form->GroupBox2->isEnabled());
    EXPECT_EQ(form->Panel1->caption(), "");
    EXPECT_EQ(rowHeads(*form), kRowHeads);
    EXPECT_EQ(columnHeads(*form), kColumnHeads);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(form->HexGrid1->cellText(i % 16, i / 16), "");
        EXPECT_EQ(form->StringGrid2->cellText(i % 16, i / 16), "");
    }
}

TEST_F(MainFormTest, StartingRewritesTheVersionAndKeepsTheChoices)
{
    writeSettings("[Device Port]\nPort=Port3\n[Version]\nVersion=2.0 2024\n[Delay]\nDelay=$28\n");
    auto form = makeForm();
    EXPECT_EQ(ProgramVersion, "1.2 1998"); // the stored text is never used
    const IniFile ini(settingsFilePath());
    EXPECT_EQ(ini.readString("Version", "Version", ""), "1.2 1998");
    EXPECT_EQ(ini.readString("Device Port", "Port", ""), "Port3");
    EXPECT_EQ(ini.readString("Delay", "Delay", ""), "40"); // the number, in decimal
    EXPECT_EQ(form->hexedit4->text(), "03BC");
}

TEST_F(MainFormTest, AnUnwritableSettingsFileIsReportedAndTheWindowStillSetUp)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("Kavoda.INI")));
    DeviceType = 7;
    LastBlock = 1;
    auto form = makeForm();
    EXPECT_EQ(m_reports, QStringList("Unable to write to Kavoda.INI."));
    EXPECT_EQ(form->hexedit4->text(), "0278"); // loaded before the failed write
    EXPECT_EQ(DeviceType, 1);
    EXPECT_EQ(LastBlock, 0);
    EXPECT_FALSE(form->GroupBox1->isEnabled());
    EXPECT_EQ(rowHeads(*form), kRowHeads);
    EXPECT_EQ(columnHeads(*form), kColumnHeads);
}

TEST_F(MainFormTest, CaptionFontIconAndSize)
{
    auto form = makeForm();
    EXPECT_EQ(form->windowTitle(), "  Kavoda programmer by Kavoda contributors 1998");
    EXPECT_EQ(form->font().pixelSize(), 11);
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(form->size(), QSize(640, 490));

    PortOptions simulated;
    simulated.simulateType = 7;
    TMainForm sim(simulated);
    EXPECT_EQ(sim.windowTitle(), "  Kavoda programmer by Kavoda contributors 1998 [simulated SDA3546]");
}

TEST_F(MainFormTest, EveryControlAtItsPlace)
{
    auto form = makeForm();
    QWidget* client = form->centralWidget();
    const struct {
        QWidget* control;
        QWidget* parent;
        QRect geometry;
    } layout[] = {
        {form->HexGrid3, client, {64, 8, 276, 19}},
        {form->HexGrid2, client, {24, 32, 37, 281}},
        {form->HexGrid1, client, {64, 32, 276, 281}},
        {form->StringGrid2, client, {376, 8, 233, 233}},
        {form->Panel3, client, {376, 8, 233, 233}},
        {form->ScrollText1, form->Panel3, {16, 64, 200, 113}},
        {form->GroupBox1, client, {24, 320, 321, 113}},
        {form->GroupBox2, client, {376, 240, 233, 193}},
        {form->Edit1, form->GroupBox1, {16, 36, 49, 21}},
        {form->UpDown1, form->GroupBox1, {72, 24, 25, 33}},
        {form->numedit3, form->GroupBox1, {144, 32, 49, 21}},
        {form->hexedit1, form->GroupBox1, {224, 32, 49, 21}},
        {form->ALed1, form->GroupBox1, {72, 80, 15, 15}},
        {form->ALed2, form->GroupBox1, {176, 80, 15, 15}},
        {form->ConfirmBtn, form->GroupBox1, {200, 72, 75, 25}},
        {form->ALed3, form->GroupBox2, {112, 16, 15, 15}},
        {form->Panel1, form->GroupBox2, {136, 8, 89, 25}},
        {form->Meter1, form->GroupBox2, {16, 40, 209, 25}},
        {form->hexedit4, form->GroupBox2, {40, 72, 33, 21}},
        {form->hexedit2, form->GroupBox2, {128, 68, 33, 21}},
        {form->hexedit3, form->GroupBox2, {200, 68, 25, 21}},
        {form->BitBtn2, form->GroupBox2, {8, 96, 105, 25}},
        {form->Writebtn, form->GroupBox2, {120, 96, 105, 25}},
        {form->BitBtn4, form->GroupBox2, {8, 128, 105, 25}},
        {form->BitBtn6, form->GroupBox2, {120, 128, 105, 25}},
        {form->ReadBtn, form->GroupBox2, {8, 160, 217, 25}},
    };
    for (const auto& item : layout) {
        ASSERT_NE(item.control, nullptr);
        EXPECT_EQ(item.control->parentWidget(), item.parent) << item.control->objectName().toStdString();
        EXPECT_EQ(item.control->geometry(), item.geometry) << item.control->objectName().toStdString();
    }
    // The credits panel lies over the character grid.
    const QObjectList& children = client->children();
    EXPECT_GT(children.indexOf(form->Panel3), children.indexOf(form->StringGrid2));
}

QColor fontColour(const QWidget* w)
{
    return w->palette().color(QPalette::WindowText);
}

TEST_F(MainFormTest, ColoursFontsAndCaptions)
{
    auto form = makeForm();
    const QColor black(0, 0, 0), red(255, 0, 0), blue(0, 0, 255), white(255, 255, 255),
        lime(0, 255, 0), maroon(128, 0, 0);

    // Bytes black on the tooltip background, heads red on black.
    EXPECT_EQ(form->HexGrid1->color(), clInfoBk);
    EXPECT_EQ(form->HexGrid1->fontColor(), clBlack);
    for (const THexGrid* heads : {form->HexGrid2, form->HexGrid3}) {
        EXPECT_EQ(heads->color(), clBlack);
        EXPECT_EQ(heads->fontColor(), clRed);
    }
    EXPECT_EQ(form->StringGrid2->palette().color(QPalette::Base), toQColor(clInfoBk));
    EXPECT_EQ(form->StringGrid2->palette().color(QPalette::Text), black);
    EXPECT_EQ(form->StringGrid2->font().family(), "DejaVu Sans Mono");
    EXPECT_EQ(form->StringGrid2->font().pixelSize(), 12);

    EXPECT_EQ(form->GroupBox1->title(), "Edit");
    EXPECT_EQ(fontColour(form->GroupBox1), maroon);
    EXPECT_EQ(form->GroupBox2->title(), "R/W ");
    EXPECT_EQ(fontColour(form->GroupBox2), blue);

    EXPECT_EQ(form->Panel1->color(), clBlack);
    EXPECT_EQ(form->Panel1->bevelOuter(), Panel::BevelLowered);
    EXPECT_EQ(form->Panel1->bevelWidth(), 3);
    EXPECT_TRUE(form->Panel1->font().bold());
    EXPECT_EQ(fontColour(form->Panel1), lime);
    EXPECT_EQ(form->Panel3->color(), clBlack);
    EXPECT_EQ(form->Panel3->bevelOuter(), Panel::BevelLowered);
    EXPECT_EQ(form->Panel3->bevelWidth(), 5);

    EXPECT_EQ(form->Meter1->backColor(), clBlack);
    EXPECT_EQ(form->Meter1->foreColor(), clLime);
    EXPECT_EQ(fontColour(form->Meter1), white);
    EXPECT_EQ(form->Meter1->bevelDepth(), 4);
    EXPECT_TRUE(form->Meter1->useFontColor());
    EXPECT_EQ(form->Meter1->percent(), 0);
    for (const Thexedit* field : {form->hexedit4, form->hexedit2, form->hexedit3}) {
        EXPECT_EQ(field->palette().color(QPalette::Base), blue);
        EXPECT_EQ(field->palette().color(QPalette::Text), white);
    }

    const struct {
        TALed* led;
        TColor trueColor, falseColor;
        int interval;
    } leds[] = {{form->ALed1, clRed, rgbColor(128, 0, 64), 200},
                {form->ALed2, clLime, rgbColor(0, 64, 0), 300},
                {form->ALed3, clLime, rgbColor(0, 64, 64), 100}};
    for (const auto& l : leds) {
        EXPECT_EQ(l.led->trueColor(), l.trueColor) << l.led->objectName().toStdString();
        EXPECT_EQ(l.led->falseColor(), l.falseColor) << l.led->objectName().toStdString();
        EXPECT_EQ(l.led->interval(), l.interval) << l.led->objectName().toStdString();
    }

    for (const auto& [button, caption] :
         {std::pair{form->ConfirmBtn, "Edit Confirm"}, {form->BitBtn2, "Erase Device"},
          {form->Writebtn, "Write Device"}, {form->BitBtn4, "Fill Device 00"},
          {form->BitBtn6, "Fill Device FF"}, {form->ReadBtn, "Read Device"}})
        EXPECT_EQ(button->text(), caption);
    const struct {
        QWidget* group;
        const char* text;
        QPoint at;
    } labels[] = {{form->GroupBox1, "Next view", {16, 16}}, {form->GroupBox1, "Offset", {112, 32}},
                  {form->GroupBox1, "Dec.", {160, 16}},      {form->GroupBox1, "Hex", {232, 16}},
                  {form->GroupBox1, "End view", {16, 80}},   {form->GroupBox1, "Edit Enabled", {104, 80}},
                  {form->GroupBox2, "Device Selected", {16, 16}}, {form->GroupBox2, "Port", {8, 79}},
                  {form->GroupBox2, "Address", {83, 76}},    {form->GroupBox2, "Data", {170, 76}}};
    for (const auto& l : labels) {
        QLabel* found = nullptr;
        for (QLabel* label : l.group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->text() == QLatin1String(l.text))
                found = label;
        }
        ASSERT_NE(found, nullptr) << l.text;
        EXPECT_EQ(found->pos(), l.at) << l.text;
    }
    for (QLineEdit* field : {form->Edit1, static_cast<QLineEdit*>(form->numedit3),
                             static_cast<QLineEdit*>(form->hexedit1)})
        EXPECT_EQ(field->text(), "0");
    EXPECT_TRUE(form->numedit3->isReadOnly());
    EXPECT_EQ(form->UpDown1->minimum(), 0);
    EXPECT_EQ(form->UpDown1->maximum(), 100);
    EXPECT_FALSE(form->UpDown1->wrap());
    EXPECT_EQ(form->Timer1->interval(), 3000);
    EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(MainFormTest, TheAddressFieldShowsWhatIsTypedInCapitals)
{
    auto form = makeForm();
    form->N24c021Click();
    form->show();
    QTest::keyClicks(form->hexedit2, "a1f");
    EXPECT_EQ(form->hexedit2->text(), "A1F");
    EXPECT_TRUE(m_reports.isEmpty());
}

TEST_F(MainFormTest, TheByteGridHasTheFocusAndTheLabelGridsNeverTakeIt)
{
    auto form = makeForm();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), form->HexGrid1);
    // Taking the focus selects nothing: the offset fields keep their texts.
    EXPECT_EQ(form->hexedit1->text(), "0");
    EXPECT_EQ(form->numedit3->text(), "0");

    // Neither a click nor Tab brings the focus to a label grid.
    for (THexGrid* heads : {form->HexGrid2, form->HexGrid3}) {
        const QRect cell = heads->visualRect(heads->model()->index(0, 0));
        QTest::mouseClick(heads->viewport(), Qt::LeftButton, {}, cell.center());
        EXPECT_NE(QApplication::focusWidget(), heads) << heads->objectName().toStdString();
    }
    QWidget* widget = form->HexGrid1;
    do {
        widget = widget->nextInFocusChain();
        if (widget->focusPolicy() & Qt::TabFocus) {
            EXPECT_NE(widget, form->HexGrid2);
            EXPECT_NE(widget, form->HexGrid3);
        }
    } while (widget != form->HexGrid1);
    EXPECT_TRUE(m_reports.isEmpty());
}

TEST_F(MainFormTest, CreditsRollUpOnceAndThenUncoverTheCharacterGrid)
{
    auto form = makeForm();
    TScrollText* credits = form->ScrollText1;
    EXPECT_EQ(credits->items(),
              QStringList({"Kavoda Programmer", "By", "Kavoda contributors", "1998", "E-mail",
                           "info@example.org"}));
    EXPECT_EQ(credits->textStyle(), tsRaised);
    EXPECT_EQ(credits->steps(), 80);
    EXPECT_EQ(credits->speed(), 100);
    EXPECT_EQ(credits->color(), clBlack);
    EXPECT_FALSE(credits->continuous());
    EXPECT_EQ(credits->textFont()->name(), "Arial");
    EXPECT_EQ(credits->textFont()->pixelHeight(), 21);
    EXPECT_EQ(credits->textFont()->color(), clBlue);
    EXPECT_EQ(credits->alignment(), taCenter);
    EXPECT_EQ(credits->scrollDirection(), sdBottomToTop);
    EXPECT_EQ(credits->depth(), 1);
    EXPECT_TRUE(credits->isScrolling());

    form->show();
    for (int tick = 1; tick <= 80; ++tick)
        credits->tick();
    EXPECT_TRUE(form->Panel3->isVisible());
    EXPECT_FALSE(form->StringGrid2->visibleRegion().intersects(form->Panel3->geometry()));
    credits->tick(); // the 81st ends the pass
    EXPECT_FALSE(form->Panel3->isVisible());
    EXPECT_FALSE(credits->isScrolling());
    // Nothing brings the panel back.
    credits->tick();
    EXPECT_FALSE(form->Panel3->isVisible());
    EXPECT_TRUE(form->StringGrid2->isVisible());
}

QStringList menuTree(const QMenuBar* bar)
{
    QStringList tree;
    for (const QAction* top : bar->actions()) {
        QString line = top->text();
        if (const QMenu* menu = top->menu()) {
            line += QLatin1Char(':');
            for (const QAction* a : menu->actions())
                line += QLatin1Char(' ') + (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
        tree << line;
    }
    return tree;
}

TEST_F(MainFormTest, MenuTree)
{
    auto form = makeForm();
    EXPECT_EQ(menuTree(form->menuBar()),
              QStringList({"&File: &Load - Save &As... - &Exit",
                           "&Device 24C...: 24C02 - 24C04 - 24C08 - 24C16 -",
                           "De&vice SDA...: SDA3526 - SDA3546 - SDA3586", "Device &Other...",
                           "&Setup", "&About",
                           "&Help: Device 24C - Device SDA - Setup - R/W - Edit - Schematic diagram",
                           QStringLiteral("&Compare: Compare with chip Compare with file\u2026 - "
                                          "Next difference Previous difference - Blank check "
                                          "Checksums")}));
    EXPECT_FALSE(form->menuAction("&Device 24C...")->menu()->separatorsCollapsible());
}

TEST_F(MainFormTest, DeviceMenusChooseTheType)
{
    auto form = makeForm();
    for (const CatalogueEntry& entry : kCatalogue) {
        const QString caption = QString::fromLatin1(entry.caption.data(), int(entry.caption.size()));
        QAction* action = form->menuAction(caption);
        ASSERT_NE(action, nullptr) << entry.caption;
        action->trigger();
        EXPECT_EQ(DeviceType, entry.deviceType) << entry.caption;
        EXPECT_EQ(LastBlock, entry.lastBlock) << entry.caption;
        EXPECT_EQ(form->Panel1->caption(), caption);
        EXPECT_TRUE(form->GroupBox2->isEnabled());
        EXPECT_TRUE(form->ALed3->value());
    }
    EXPECT_TRUE(m_reports.isEmpty());
}

TEST_F(MainFormTest, ALaterChoiceOnlyOverwritesTheState)
{
    auto form = makeForm();
    form->N24c161Click();
    form->SDA35861Click();
    EXPECT_EQ(DeviceType, 8);
    EXPECT_EQ(LastBlock, 3);
    EXPECT_EQ(form->Panel1->caption(), "SDA3586");
    EXPECT_TRUE(form->GroupBox2->isEnabled());
}

TEST_F(MainFormTest, HelpEntriesShowTheirBoxes)
{
    auto form = makeForm();
    const struct {
        const char* entry;
        const char* caption;
    } entries[] = {{"Device 24C", "Help Device 24C"}, {"Device SDA", "Help Device SDA..."},
                   {"Setup", "Help Setup"},           {"R/W", "Help R/W"},
                   {"Edit", "Edit"}};
    for (const auto& e : entries) {
        m_helpBoxes.clear();
        QMenu* help = form->menuAction("&Help")->menu();
        QAction* action = nullptr;
        for (QAction* a : help->actions()) {
            if (a->text() == QLatin1String(e.entry))
                action = a;
        }
        ASSERT_NE(action, nullptr) << e.entry;
        action->trigger();
        ASSERT_EQ(m_helpBoxes.size(), 1) << e.entry;
        EXPECT_TRUE(m_helpBoxes[0].startsWith(QLatin1String(e.caption) + QLatin1Char('|')))
            << m_helpBoxes[0].toStdString();
        EXPECT_FALSE(m_helpBoxes[0].contains(QLatin1Char('\r')));
    }
}

// Runs f once the modal window that the action opens is up, then closes it.
template <class Check>
void whileModal(QAction* action, Check check)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        seen = modal != nullptr;
        if (modal) {
            check(modal);
            modal->close();
        }
    });
    action->trigger();
    EXPECT_TRUE(seen);
}

TEST_F(MainFormTest, SetupAboutAndSchematicOpenTheirWindowsModally)
{
    auto form = makeForm();
    TSetupForm setup(form.get());
    TForm1 schematic;
    form->setSetupForm(&setup);
    form->setSchematicForm(&schematic);

    whileModal(form->menuAction("&Setup"), [&](QWidget* modal) { EXPECT_EQ(modal, &setup); });
    whileModal(form->menuAction("Schematic diagram"),
               [&](QWidget* modal) { EXPECT_EQ(modal, &schematic); });
    AboutVersion.clear();
    whileModal(form->menuAction("&About"), [&](QWidget* modal) {
        EXPECT_NE(qobject_cast<TAboutBox*>(modal), nullptr);
    });
    EXPECT_EQ(AboutVersion, "1.2 1998");
    EXPECT_TRUE(m_reports.isEmpty());
}

TEST_F(MainFormTest, SetupOkShowsTheNewPortInTheMainWindow)
{
    auto form = makeForm();
    TSetupForm setup(form.get());
    setup.show();
    setup.PortG->setItemIndex(1);
    setup.OKBtn->click();
    EXPECT_EQ(PortBase, 0x378);
    EXPECT_EQ(form->hexedit4->text(), "0378");
    setup.show();
    setup.PortG->setItemIndex(0);
    setup.OKBtn->click();
    EXPECT_EQ(PortSetting, "Port2");
    EXPECT_EQ(form->hexedit4->text(), "0278");
}

TEST_F(MainFormTest, ExitClosesTheWindowAndCancelledFileEntriesDoNothing)
{
    auto form = makeForm();
    form->show();
    int dialogs = 0;
    form->setImageDialogHook([&](TMainForm::ImageDialog) {
        ++dialogs;
        return QString(); // cancelled
    });
    for (const char* entry : {"&Load", "Save &As..."})
        form->menuAction(entry)->trigger();
    EXPECT_EQ(dialogs, 1); // no image yet, so Save As shows none
    EXPECT_FALSE(form->ImageLoaded);
    EXPECT_TRUE(form->isVisible());
    form->menuAction("&Exit")->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(m_reports.isEmpty());
}

} // namespace
