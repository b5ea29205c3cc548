// SPDX-License-Identifier: MIT
// The windows as a user sees them: the window font's widths against the
// places its texts were given, group titles on the frame line with every
// control inside its group, the classic colours behind the LED templates,
// and the windows' outer size.
#include "ALed.h"
#include "ClassicLook.h"
#include "FormStyle.h"
#include "HexEdit.h"
#include "HexGrid.h"
#include "Main.h"
#include "Panel.h"
#include "QtTempFolder.h"
#include "RadioGroup.h"
#include "SettingsFolder.h"
#include "Setup.h"

#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <gtest/gtest.h>
#include <memory>

using namespace kavoda;

namespace {

std::string nameOf(const QObject* object)
{
    return object->objectName().toStdString();
}

// Where a label's text lies in its parent.
QRect textRect(const QLabel* label)
{
    const QFontMetrics fm(label->font());
    return QRect(label->pos(), QSize(fm.horizontalAdvance(label->text()), fm.height()));
}

QStyleOptionGroupBox groupOption(const QGroupBox* group)
{
    QStyleOptionGroupBox opt;
    opt.initFrom(group);
    opt.text = group->title();
    opt.lineWidth = 1;
    opt.midLineWidth = 0;
    opt.textAlignment = group->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    return opt;
}

QRect groupRect(const QGroupBox* group, QStyle::SubControl part)
{
    const QStyleOptionGroupBox opt = groupOption(group);
    return group->style()->subControlRect(QStyle::CC_GroupBox, &opt, part, group);
}

// Inside the etched frame line, which is two pixels wide.
QRect groupInside(const QGroupBox* group)
{
    return groupRect(group, QStyle::SC_GroupBoxFrame).adjusted(2, 2, -2, -2);
}

// The title straddles the frame line and has room for its text; every
// control (a label by its text) lies inside the frame, clear of the others.
void expectGroupAsDesigned(const QGroupBox* group)
{
    SCOPED_TRACE(nameOf(group));
    const QRect frame = groupRect(group, QStyle::SC_GroupBoxFrame);
    const QRect title = groupRect(group, QStyle::SC_GroupBoxLabel);
    EXPECT_LT(title.top(), frame.top());
    EXPECT_GT(title.bottom(), frame.top());
    EXPECT_GE(title.width(), QFontMetrics(group->font()).horizontalAdvance(group->title()));

    const QRect inside = groupInside(group);
    const QList<QWidget*> controls = group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const auto placeOf = [](const QWidget* w) {
        const auto* label = qobject_cast<const QLabel*>(w);
        return label ? textRect(label) : w->geometry();
    };
    for (const QWidget* control : controls) {
        const QRect place = placeOf(control);
        const std::string name = qobject_cast<const QLabel*>(control)
            ? static_cast<const QLabel*>(control)->text().toStdString()
            : nameOf(control);
        EXPECT_TRUE(inside.contains(place)) << name;
        for (const QWidget* other : controls) {
            if (other != control) {
                EXPECT_FALSE(place.intersects(placeOf(other))) << name << " meets " << nameOf(other);
            }
        }
    }
}

// Pixels of the given colour in a rendered widget, inset pixels in from
// its edges.
int countPixels(const QImage& image, QRgb colour, int inset = 0)
{
    int n = 0;
    for (int y = inset; y < image.height() - inset; ++y) {
        for (int x = inset; x < image.width() - inset; ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    }
    return n;
}

TEST(WindowFont, TheDesignedFontServesTheElevenPixelTextAndAnythingElseFallsBack)
{
    EXPECT_TRUE(loadApplicationFont(QStringLiteral("/nonexistent/ms_sans_serif.ttf")).isEmpty());
    QtTempFolder dir;
    const QString notAFont = dir.filePath(QStringLiteral("ms_sans_serif.ttf"));
    {
        QFile f(notAFont);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("no font in here");
    }
    EXPECT_TRUE(loadApplicationFont(notAFont).isEmpty());

    const QFont window = sansFont();
    EXPECT_EQ(window.pixelSize(), 11);
    const QFont larger = sansFont(13);
    EXPECT_EQ(larger.pixelSize(), 13);
    if (windowFontFamily().isEmpty())
        GTEST_SKIP() << "fonts-wine is not installed; the window text falls back to the sans-serif";
    EXPECT_EQ(QFontInfo(window).family(), windowFontFamily());
    EXPECT_NE(QFontInfo(larger).family(), windowFontFamily());
}

TEST(WindowFont, BoldTextOfABitmapFontIsOverstruck)
{
    QFont scalable(QStringLiteral("DejaVu Sans"));
    scalable.setPixelSize(11);
    EXPECT_FALSE(needsOverstrikeBold(scalable));
    scalable.setBold(true);
    EXPECT_FALSE(needsOverstrikeBold(scalable));
    if (windowFontFamily().isEmpty())
        GTEST_SKIP() << "fonts-wine is not installed";

    // The status panel's lime caption: bold shows more lime than regular.
    Panel panel;
    panel.resize(89, 25);
    panel.setColor(clBlack);
    panel.setCaption(QStringLiteral("SDA3546"));
    setFontColor(&panel, clLime);
    QFont font = sansFont();
    panel.setFont(font);
    const int regular = countPixels(panel.grab().toImage(), qRgb(0, 255, 0));
    font.setBold(true);
    panel.setFont(font);
    EXPECT_TRUE(needsOverstrikeBold(font));
    const int bold = countPixels(panel.grab().toImage(), qRgb(0, 255, 0));
    EXPECT_GT(regular, 0);
    EXPECT_GT(bold, regular + regular / 4);
}

TEST(OuterSize, TheFrameComesOffTheClientArea)
{
    EXPECT_EQ(clientSizeFor({640, 490}, QMargins(1, 20, 1, 5)), QSize(638, 465));
    EXPECT_EQ(clientSizeFor({640, 490}, QMargins()), QSize(640, 490));
    EXPECT_EQ(clientSizeFor({10, 10}, QMargins(20, 20, 20, 20)), QSize(0, 0));
}

class LookTest : public SettingsFolderTest {
protected:
    void SetUp() override
    {
        SettingsFolderTest::SetUp();
        m_look = std::make_unique<ClassicLookScope>();
    }
    void TearDown() override
    {
        m_look.reset();
        SettingsFolderTest::TearDown();
    }
    void requireWindowFont()
    {
        if (windowFontFamily().isEmpty())
            GTEST_SKIP() << "fonts-wine is not installed: the window text is wider than designed";
    }

    std::unique_ptr<ClassicLookScope> m_look;
};

TEST_F(LookTest, ClassicColoursBehindTheLedTemplates)
{
    EXPECT_EQ(toQColor(clBtnFace), QColor(192, 192, 192));
    EXPECT_EQ(toQColor(clBtnShadow), QColor(128, 128, 128));
    EXPECT_EQ(toQColor(clBtnHighlight), QColor(255, 255, 255));
    EXPECT_EQ(toQColor(clInfoBk), QColor(255, 255, 225));

    // The templates' corners are the button face they were drawn on, so an
    // LED shows as a round lens and not as a square on the window.
    TMainForm form;
    const QImage group = form.GroupBox2->grab().toImage();
    const QRect led = form.ALed3->geometry();
    const QRgb background = group.pixel(led.left() - 3, led.center().y());
    EXPECT_EQ(background, group.pixel(led.topLeft()));
    EXPECT_EQ(background, group.pixel(led.bottomRight()));
    EXPECT_NE(background, group.pixel(led.center()));
}

TEST_F(LookTest, MainWindowGroupsHoldTheirControlsBelowTheTitleLine)
{
    requireWindowFont();
    TMainForm form;
    expectGroupAsDesigned(form.GroupBox1);
    expectGroupAsDesigned(form.GroupBox2);
}

TEST_F(LookTest, MainWindowTextsFitTheirPlaces)
{
    requireWindowFont();
    TMainForm form;

    // A head's ink starts two pixels into its cell and stays clear of the
    // grid line, the cell's last pixel.
    const auto clearOfTheLine = [](const THexGrid* grid, const QString& text, int cellWidth) {
        return 2 + QFontMetrics(grid->font()).boundingRect(text).right() < cellWidth - 1;
    };
    for (int col = 0; col < 16; ++col) {
        const QString head = form.HexGrid3->cellText(col, 0);
        EXPECT_TRUE(clearOfTheLine(form.HexGrid3, head, 16)) << head.toStdString();
    }
    for (int row = 0; row < 16; ++row) {
        const QString head = form.HexGrid2->cellText(0, row);
        EXPECT_TRUE(clearOfTheLine(form.HexGrid2, head, 32)) << head.toStdString();
    }

    for (const QPushButton* button : {form.ConfirmBtn, form.BitBtn2, form.Writebtn, form.BitBtn4,
                                      form.BitBtn6, form.ReadBtn})
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 8,
                  button->width())
            << nameOf(button);

    // The "Port" field shows every base address whole: the same text in a
    // wide field lights as many pixels inside the frame.
    Thexedit wide;
    wide.setPalette(form.hexedit4->palette());
    wide.setFont(form.hexedit4->font());
    wide.resize(120, form.hexedit4->height());
    for (const char* base : {"0278", "0378", "03BC"}) {
        form.hexedit4->setText(QLatin1String(base));
        wide.setText(QLatin1String(base));
        const int frame = 2;
        const int shown = countPixels(form.hexedit4->grab().toImage(), qRgb(255, 255, 255), frame);
        EXPECT_GT(shown, 0) << base;
        EXPECT_EQ(shown, countPixels(wide.grab().toImage(), qRgb(255, 255, 255), frame)) << base;
    }
}

TEST_F(LookTest, PortDialogTextsFitTheirPlaces)
{
    requireWindowFont();
    TSetupForm form;
    expectGroupAsDesigned(form.PortG);
    for (int i = 0; i < 3; ++i)
        EXPECT_LE(form.PortG->item(i)->sizeHint().width(), form.PortG->item(i)->width()) << i;
    EXPECT_FALSE(textRect(form.Label1).intersects(form.ComboBox1->geometry()));
    for (const QPushButton* button : {form.OKBtn, form.CancelBtn})
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 8,
                  button->width())
            << nameOf(button);
}

TEST_F(LookTest, OkAndCancelBevelsFillTheirButtons)
{
    TSetupForm form;
    ASSERT_TRUE(form.OKBtn->isDefault());
    // A bevel's dark edges lie on the button's last column and row; the
    // default button's black frame runs round all of it, the other button
    // starts its white edge at the first column.
    const QColor black(0, 0, 0);
    for (QPushButton* button : {form.OKBtn, form.CancelBtn}) {
        SCOPED_TRACE(nameOf(button));
        const QImage shot = button->grab().toImage();
        ASSERT_EQ(shot.size(), QSize(75, 25));
        EXPECT_EQ(shot.pixelColor(74, 12), black);
        EXPECT_EQ(shot.pixelColor(37, 24), black);
        const QColor first = button->isDefault() ? black : QColor(255, 255, 255);
        EXPECT_EQ(shot.pixelColor(0, 12), first);
        EXPECT_EQ(shot.pixelColor(37, 0), first);
    }
}

TEST_F(LookTest, TheMainWindowKeepsItsOuterSizeWhereNoFrameIsDrawn)
{
    TMainForm form;
    form.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.frameGeometry().size(), QSize(640, 490));
}

} // namespace
