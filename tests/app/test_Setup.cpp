// SPDX-License-Identifier: MIT
// The port dialog: its layout, activation, OK and Cancel, on a settings file
// in a temporary folder.
#include "ClassicLook.h"
#include "RadioGroup.h"
#include "SettingsFolder.h"
#include "Setup.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QStyleFactory>
#include <QFrame>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

class SetupFormTest : public SettingsFolderTest {
protected:
    void SetUp() override
    {
        SettingsFolderTest::SetUp();
        loadSettings();
        saveSettings();
    }
    // Stores the file and loads it, as a start of the program would.
    void storeSettings(const QByteArray& bytes)
    {
        writeSettings(bytes);
        loadSettings();
    }

    TSetupForm m_form;
};

TEST_F(SetupFormTest, LayoutAsDesigned)
{
    EXPECT_EQ(m_form.windowTitle(), "Kavoda Port Config");
    EXPECT_EQ(m_form.size(), QSize(212, 222));
    // A fixed dialog frame with a caption and no caption buttons.
    const Qt::WindowFlags flags = m_form.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                          | Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(m_form.minimumSize(), m_form.maximumSize());
    EXPECT_EQ(m_form.font().pixelSize(), 11);
    EXPECT_FALSE(m_form.windowIcon().isNull());

    EXPECT_EQ(m_form.PortG->items(),
              QStringList({"     Port 0278", "     Port 0378", "     Port 03BC"}));
    QStringList delays;
    for (int i = 0; i < m_form.ComboBox1->count(); ++i)
        delays << m_form.ComboBox1->itemText(i);
    EXPECT_EQ(delays, QStringList({"10", "20", "30", "40", "50", "60", "70", "80", "90", "100"}));
    EXPECT_FALSE(m_form.ComboBox1->isEditable());
    EXPECT_TRUE(m_form.OKBtn->isDefault());
    EXPECT_EQ(m_form.Bevel1->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(m_form.PortG->title(), "Port Config");
    EXPECT_EQ(m_form.Label1->text(), "Delay");
    EXPECT_EQ(m_form.OKBtn->text(), "OK");
    EXPECT_EQ(m_form.CancelBtn->text(), "Cancel");
    const struct {
        QWidget* control;
        QRect geometry;
    } layout[] = {{m_form.Bevel1, {8, 8, 193, 169}},    {m_form.PortG, {40, 24, 129, 105}},
                  {m_form.ComboBox1, {88, 144, 73, 19}}, {m_form.OKBtn, {15, 188, 75, 25}},
                  {m_form.CancelBtn, {119, 188, 75, 25}}};
    for (const auto& item : layout)
        EXPECT_EQ(item.control->geometry(), item.geometry) << item.control->objectName().toStdString();
    EXPECT_EQ(m_form.Label1->pos(), QPoint(48, 152));
    // Each item lies inside the group, one under the other.
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(QRect(QPoint(), m_form.PortG->size()).contains(m_form.PortG->item(i)->geometry()));
    EXPECT_LT(m_form.PortG->item(0)->y(), m_form.PortG->item(1)->y());
}

TEST_F(SetupFormTest, ShowingSelectsTheCurrentValues)
{
    storeSettings("[Device Port]\nPort=Port3\n[Delay]\nDelay=0x1E\n");
    m_form.show();
    EXPECT_EQ(m_form.ComboBox1->currentText(), "30");
    EXPECT_EQ(m_form.PortG->itemIndex(), 2);
    m_form.hide();

    storeSettings("[Device Port]\nPort=port2\n[Delay]\nDelay=15\n");
    m_form.show();
    EXPECT_EQ(m_form.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(m_form.ComboBox1->currentText(), "");
    EXPECT_EQ(m_form.PortG->itemIndex(), 1);
    // Centred on the screen at every showing, even after being moved away.
    for (int showing = 0; showing < 2; ++showing) {
        const QPoint off = m_form.frameGeometry().center()
            - m_form.screen()->availableGeometry().center();
        EXPECT_LE(off.manhattanLength(), 1) << showing;
        m_form.hide();
        m_form.move(0, 0);
        m_form.show();
    }
}

TEST_F(SetupFormTest, OkStoresTheChoices)
{
    storeSettings("[Device Port]\nPort=Port1\n");
    m_form.show();
    m_form.PortG->item(0)->click();
    m_form.ComboBox1->setCurrentIndex(m_form.ComboBox1->findText("70"));
    m_form.OKBtn->click();

    EXPECT_EQ(m_form.result(), QDialog::Accepted);
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_TRUE(m_reports.isEmpty());
    EXPECT_EQ(PortSetting, "Port2");
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(BusDelay, 70);
    const IniFile ini(settingsFilePath());
    EXPECT_EQ(ini.readString("Device Port", "Port", ""), "Port2");
    EXPECT_EQ(ini.readString("Delay", "Delay", ""), "70");
}

TEST_F(SetupFormTest, OkWithoutADelayReportsAndStillCloses)
{
    storeSettings("[Device Port]\nPort=Port2\n[Delay]\nDelay=15\n");
    const QByteArray before = readSettings();
    m_form.show();
    m_form.PortG->item(2)->click();
    m_form.OKBtn->click();

    EXPECT_EQ(m_reports, QStringList("'' is not a valid integer value."));
    EXPECT_EQ(m_form.result(), QDialog::Accepted);
    EXPECT_FALSE(m_form.isVisible());
    // The port choice is taken; the rest waits for the next good save.
    EXPECT_EQ(PortSetting, "Port3");
    EXPECT_EQ(BusDelay, 15);
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(readSettings(), before);
}

TEST_F(SetupFormTest, OkWithAnUnwritableFileKeepsThePortBase)
{
    m_form.show();
    m_form.PortG->item(1)->click();
    QFile::remove(m_dir.filePath(QStringLiteral("Kavoda.INI")));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("Kavoda.INI")));
    m_form.OKBtn->click();
    EXPECT_EQ(m_reports, QStringList("Unable to write to Kavoda.INI."));
    EXPECT_EQ(m_form.result(), QDialog::Accepted);
    EXPECT_EQ(PortSetting, "Port1");
    EXPECT_EQ(PortBase, 0x278); // not reloaded after the failed save
}

TEST_F(SetupFormTest, CancelChangesNothing)
{
    storeSettings("[Device Port]\nPort=Port3\n[Delay]\nDelay=50\n");
    const QByteArray before = readSettings();
    m_form.show();
    m_form.PortG->item(0)->click();
    m_form.ComboBox1->setCurrentIndex(0);
    m_form.CancelBtn->click();
    EXPECT_EQ(m_form.result(), QDialog::Rejected);
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_EQ(PortSetting, "Port3");
    EXPECT_EQ(BusDelay, 50);
    EXPECT_EQ(PortBase, 0x3BC);
    EXPECT_EQ(readSettings(), before);

    m_form.show();
    EXPECT_EQ(m_form.PortG->itemIndex(), 2);
    EXPECT_EQ(m_form.ComboBox1->currentText(), "50");
}

TEST_F(SetupFormTest, ClosingTheDialogCancelsIt)
{
    storeSettings("[Device Port]\nPort=Port3\n[Delay]\nDelay=50\n");
    const QByteArray before = readSettings();
    m_form.show();
    m_form.PortG->item(0)->click();
    m_form.ComboBox1->setCurrentIndex(0);
    EXPECT_TRUE(m_form.close());
    EXPECT_EQ(m_form.result(), QDialog::Rejected);
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_EQ(PortSetting, "Port3");
    EXPECT_EQ(BusDelay, 50);
    EXPECT_EQ(readSettings(), before);
    EXPECT_TRUE(m_reports.isEmpty());
}

TEST_F(SetupFormTest, DelayItemsAreThirteenPixelsHigh)
{
    ClassicLookScope look;
    // Also after a style came and went: the height holds whichever list
    // delegate the style puts in.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    m_form.show();
    m_form.hide();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    m_form.show();
    m_form.ComboBox1->showPopup();
    QAbstractItemView* list = m_form.ComboBox1->view();
    for (int i = 0; i < m_form.ComboBox1->count(); ++i)
        EXPECT_EQ(list->visualRect(list->model()->index(i, 0)).height(), 13) << i;
    m_form.ComboBox1->hidePopup();
}

TEST_F(SetupFormTest, EscapeCancelsAndEnterConfirms)
{
    m_form.show();
    QTest::keyClick(&m_form, Qt::Key_Escape);
    EXPECT_EQ(m_form.result(), QDialog::Rejected);
    EXPECT_FALSE(m_form.isVisible());

    m_form.show();
    m_form.ComboBox1->setCurrentIndex(m_form.ComboBox1->findText("20"));
    QTest::keyClick(&m_form, Qt::Key_Return);
    EXPECT_EQ(m_form.result(), QDialog::Accepted);
    EXPECT_EQ(BusDelay, 20);
}

} // namespace
