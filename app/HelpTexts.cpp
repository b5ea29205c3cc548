// SPDX-License-Identifier: MIT
// The help texts, line by line, blanks exactly as they line up in the box.
#include "HelpTexts.h"

#include "ErrorReport.h"

#include <QMessageBox>
#include <QStringList>
#include <vector>

namespace kavoda {

namespace {

HelpBox make(const char* caption, const QStringList& lines)
{
    return {QString::fromUtf8(caption), lines.join(QLatin1Char('\r'))};
}

const std::vector<HelpBox>& table()
{
    static const std::vector<HelpBox> boxes = {
        make("Help Device 24C",
             {QStringLiteral("Seleziona il tipo di eeprom della serie 24c (24c02, 24c04 ecc...)"),
              QStringLiteral("Select 24c... eeprom type (24c02, 24c04, 24c...)")}),
        make("Help Device SDA...",
             {QStringLiteral("Seleziona il tipo di eeprom della serie SDA (sda3526, sda3546 ecc..)"),
              QStringLiteral("Select SDA eeprom type (SDA3526, SDA3546, SDA...)")}),
        make("Help Setup",
             {QStringLiteral("Seleziona la porta parallela (indirizzo)"),
              QStringLiteral("Select I/O parallel port and delay writing cycle")}),
        make("Help R/W",
             {QStringLiteral("Device Selected     Indica il tipo di eeprom selezionato"),
              QStringLiteral("                               Eeprom type selected"),
              QStringLiteral("Read Device          Legge i dati dalla eeprom"),
              QStringLiteral("                               Read bytes "),
              QStringLiteral("Write Device          Scrive i dati nella eeprom"),
              QStringLiteral("                               Write bytes"),
              QStringLiteral("Erase Device         Cancella la eeprom"),
              QStringLiteral("                              Clear eeprom"),
              QStringLiteral("Fill 00                     Scrive nella eeprom il valore 00"),
              QStringLiteral("                              Fill eeprom with 00 value"),
              QStringLiteral("Fill FF                     Scrive nella eeprom il valore FF"),
              QStringLiteral("                              Fill eeprom with FF value")}),
        make("Edit",
             {QStringLiteral("Next View        Avanzamento pagina di memoria"),
              QStringLiteral("                        Next eeprom page"),
              QStringLiteral("Offset               Indica la cella di memoria"),
              QStringLiteral("                        Eeprom cell selected"),
              QStringLiteral("Edit Enabled     Indica la possibilit") + QChar(0xE0)
                  + QStringLiteral(" di edit"),
              QStringLiteral("Edit Confirm      Conferma le modifiche apportate nella eeprom")}),
    };
    return boxes;
}

std::function<void(const QString&, const QString&)>& sink()
{
    static std::function<void(const QString&, const QString&)> s;
    return s;
}

} // namespace

const HelpBox& helpBox(HelpTopic topic)
{
    return table().at(static_cast<std::size_t>(topic));
}

std::unique_ptr<QMessageBox> makeHelpBox(QWidget* owner, const HelpBox& box)
{
    // Plain text keeps the runs of blanks that line the two languages up.
    return makeMessageBox(QMessageBox::Information, box.caption, box.text, owner);
}

void showHelpBox(QWidget* owner, const HelpBox& box)
{
    if (sink()) {
        sink()(box.caption, messageBoxText(box.text));
        return;
    }
    makeHelpBox(owner, box)->exec();
}

void setHelpBoxSink(std::function<void(const QString&, const QString&)> s)
{
    sink() = std::move(s);
}

} // namespace kavoda
