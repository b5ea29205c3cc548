// SPDX-License-Identifier: MIT
// The about box and ShowAboutBox.
#include "about.h"

#include "Colors.h"
#include "ErrorReport.h"
#include "FormStyle.h"
#include "Panel.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace kavoda {

QString AboutVersion;

namespace {

constexpr int kBevelWidth = 2;
constexpr int kPanelWidth = 233;
constexpr int kPanelInset = 2 * kBevelWidth;  // outer and inner bevel

std::function<void()>& beepHook()
{
    static std::function<void()> hook;
    return hook;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, TColor colour,
                  int pixelSize, bool bold = false)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font = sansFont(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setFontColor(label, colour);
    return label;
}

} // namespace

QRect centredLabelBox(int left, int top, int height, int textWidth, int parentWidth, int inset)
{
    int width = std::max(parentWidth - 2 * left, 0);
    if (textWidth > width)
        width = std::min(textWidth + (textWidth - width) % 2, parentWidth - 2 * inset);
    return QRect((parentWidth - width) / 2, top, width, height);
}

void setAboutBeep(std::function<void()> beep)
{
    beepHook() = std::move(beep);
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Kavoda Programmer"));
    setWindowIcon(programIcon());
    setFont(sansFont(11));
    setFixedSize(281, 216);
    centreOnScreen(this);

    // Raised outer and raised inner bevel, 2 pixels each: one raised bevel
    // of 4 to the eye.
    Panel1 = new Panel(this);
    Panel1->setBevelOuter(Panel::BevelRaised);
    Panel1->setBevelWidth(2 * kBevelWidth);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(24, 8, kPanelWidth, 193);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(8, 8, 33, 33);
    ProgramIcon->setScaledContents(true);
    QPixmap icon;
    if (icon.load(QStringLiteral(":/app/kavoda.png")))
        ProgramIcon->setPixmap(icon);

    Label2 = makeLabel(Panel1, QStringLiteral("Label2"), QStringLiteral("Kavoda"), clNavy, 19, true);
    Label1 = makeLabel(Panel1, QStringLiteral("Label1"), QStringLiteral("Programmer"), clNavy, 19,
                       true);
    Label3 = makeLabel(Panel1, QStringLiteral("Label3"), QString(), clNavy, 13);
    Label4 = makeLabel(Panel1, QStringLiteral("Label4"), QStringLiteral("Serial EEPROM programmer"),
                       clBlue, 13);
    Label5 = makeLabel(Panel1, QStringLiteral("Label5"), QStringLiteral("for 24Cxx and SDA35xx"),
                       clBlue, 13);
    Label6 = makeLabel(Panel1, QStringLiteral("Label6"), QStringLiteral("Kavoda contributors"),
                       clNavy, 13);
    Label7 = makeLabel(Panel1, QStringLiteral("Label7"), QStringLiteral("MIT licence"), clNavy, 13);
    placeLabel(Label2, 80, 20);
    placeLabel(Label1, 56, 48);
    placeLabel(Label3, 60, 80);
    placeLabel(Label4, 48, 104);
    placeLabel(Label5, 80, 120);
    placeLabel(Label6, 56, 144);
    placeLabel(Label7, 56, 160);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, slot([this] { Timer1Timer(); }));
}

void TAboutBox::placeLabel(QLabel* label, int left, int top)
{
    label->setProperty("designLeft", left);
    label->move(left, top);
    recentreLabel(label);
}

// Re-centres a label after its text changed.
void TAboutBox::recentreLabel(QLabel* label)
{
    const int left = label->property("designLeft").toInt();
    const QFontMetrics metrics(label->font());
    label->setGeometry(centredLabelBox(left, label->y(), metrics.height(),
                                       metrics.horizontalAdvance(label->text()), kPanelWidth,
                                       kPanelInset));
}

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormActivate(); });
}

void TAboutBox::FormActivate()
{
    if (beepHook())
        beepHook()();
    else
        QApplication::beep();
    Label3->setText(QStringLiteral("Versione  ") + AboutVersion);
    recentreLabel(Label3);
    Timer1->start();
}

void TAboutBox::Timer1Timer()
{
    Timer1->stop();
    close();
}

bool ShowAboutBox(const QString& version)
{
    AboutVersion = version;
    // Owned here, so the box goes also when the showing throws.
    auto box = std::make_unique<TAboutBox>();
    box->exec();
    return true;
}

} // namespace kavoda
