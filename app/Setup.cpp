// SPDX-License-Identifier: MIT
#include "Setup.h"

#include "DeviceCatalogue.h"
#include "ErrorReport.h"
#include "FormStyle.h"
#include "IniFile.h"
#include "RadioGroup.h"
#include "Settings.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <stdexcept>

namespace kavoda {

int strToInt(const QString& text)
{
    const auto value = parseIniInteger(text.toLatin1().toStdString());
    if (!value || text != text.trimmed())
        throw std::runtime_error(
            QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
    return *value;
}

TSetupForm::TSetupForm(SettingsHost* host, QWidget* parent)
    // A fixed dialog frame with a caption and no caption buttons: OK and
    // Cancel (or Esc) end it.
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::MSWindowsFixedSizeDialogHint)
    , m_host(host)
{
    setObjectName(QStringLiteral("SetupForm"));
    setWindowTitle(QStringLiteral("Kavoda Port Config"));
    setFont(sansFont(11));
    setWindowIcon(programIcon());
    setFixedSize(kClientWidth, kClientHeight);
    centreOnScreen(this);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 193, 169);

    PortG = new RadioGroup(QStringLiteral("Port Config"), this);
    PortG->setObjectName(QStringLiteral("PortG"));
    PortG->setGeometry(40, 24, 129, 105);
    QStringList items;
    for (const PortChoice& choice : kPortChoices)
        items << QString::fromLatin1(choice.itemText);
    PortG->setItems(items);

    Label1 = new QLabel(QStringLiteral("Delay"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(48, 152);
    Label1->adjustSize();

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setGeometry(88, 144, 73, 19);
    // Items 13 pixels high: the height travels with each item, so it holds
    // whichever delegate the style gives the list.
    for (int delay = 10; delay <= 100; delay += 10) {
        ComboBox1->addItem(QString::number(delay));
        ComboBox1->setItemData(ComboBox1->count() - 1, QSize(0, kDelayItemHeight), Qt::SizeHintRole);
    }

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(15, 188, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        setResult(QDialog::Accepted);
        guarded([this] { OKBtnClick(); });
        done(QDialog::Accepted);
    });

    // Escape rejects a QDialog by itself; the button does the same.
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(119, 188, 75, 25);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TSetupForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    guarded([this] { FormActivate(); });
}

void TSetupForm::FormActivate()
{
    ComboBox1->setCurrentIndex(ComboBox1->findText(QString::number(BusDelay)));
    PortG->setItemIndex(portItemFor(PortSetting));
}

void TSetupForm::OKBtnClick()
{
    const int item = PortG->itemIndex();
    if (item >= 0 && item < static_cast<int>(kPortChoices.size()))
        PortSetting = QString::fromLatin1(kPortChoices[static_cast<std::size_t>(item)].setting);
    BusDelay = strToInt(ComboBox1->currentText());
    if (m_host) {
        m_host->SaveSettings();
        m_host->LoadSettings();
    } else {
        saveSettings();
        loadSettings();
    }
}

} // namespace kavoda
