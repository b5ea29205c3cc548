// SPDX-License-Identifier: MIT
// The help texts, character for character, and how their box shows them.
#include "Cp437.h"
#include "ErrorReport.h"
#include "HelpTexts.h"

#include <QFont>
#include <QFontMetrics>
#include <QMessageBox>
#include <QSet>
#include <gtest/gtest.h>

using namespace kavoda;

namespace {

QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}

QString lines(const QStringList& list)
{
    return list.join(QLatin1Char('\r'));
}

TEST(HelpTexts, DeviceAndSetupBoxes)
{
    EXPECT_EQ(helpBox(HelpTopic::Device24C).caption, "Help Device 24C");
    EXPECT_EQ(helpBox(HelpTopic::Device24C).text,
              "Seleziona il tipo di eeprom della serie 24c (24c02, 24c04 ecc...)\r"
              "Select 24c... eeprom type (24c02, 24c04, 24c...)");
    EXPECT_EQ(helpBox(HelpTopic::DeviceSDA).caption, "Help Device SDA...");
    EXPECT_EQ(helpBox(HelpTopic::DeviceSDA).text,
              "Seleziona il tipo di eeprom della serie SDA (sda3526, sda3546 ecc..)\r"
              "Select SDA eeprom type (SDA3526, SDA3546, SDA...)");
    EXPECT_EQ(helpBox(HelpTopic::Setup).caption, "Help Setup");
    EXPECT_EQ(helpBox(HelpTopic::Setup).text,
              "Seleziona la porta parallela (indirizzo)\r"
              "Select I/O parallel port and delay writing cycle");
}

TEST(HelpTexts, ReadWriteBoxKeepsItsColumns)
{
    EXPECT_EQ(helpBox(HelpTopic::ReadWrite).caption, "Help R/W");
    const QString expected = lines({
        "Device Selected" + blanks(5) + "Indica il tipo di eeprom selezionato",
        blanks(31) + "Eeprom type selected",
        "Read Device" + blanks(10) + "Legge i dati dalla eeprom",
        blanks(31) + "Read bytes ",
        "Write Device" + blanks(10) + "Scrive i dati nella eeprom",
        blanks(31) + "Write bytes",
        "Erase Device" + blanks(9) + "Cancella la eeprom",
        blanks(30) + "Clear eeprom",
        "Fill 00" + blanks(21) + "Scrive nella eeprom il valore 00",
        blanks(30) + "Fill eeprom with 00 value",
        "Fill FF" + blanks(21) + "Scrive nella eeprom il valore FF",
        blanks(30) + "Fill eeprom with FF value",
    });
    EXPECT_EQ(helpBox(HelpTopic::ReadWrite).text, expected);
}

TEST(HelpTexts, EditBoxWithItsAccent)
{
    EXPECT_EQ(helpBox(HelpTopic::Edit).caption, "Edit");
    const QString expected = lines({
        "Next View" + blanks(8) + "Avanzamento pagina di memoria",
        blanks(24) + "Next eeprom page",
        "Offset" + blanks(15) + "Indica la cella di memoria",
        blanks(24) + "Eeprom cell selected",
        "Edit Enabled" + blanks(5) + "Indica la possibilit" + QChar(0xE0) + " di edit",
        "Edit Confirm" + blanks(6) + "Conferma le modifiche apportate nella eeprom",
    });
    EXPECT_EQ(helpBox(HelpTopic::Edit).text, expected);
}

TEST(HelpTexts, TheBoxBreaksAtCarriageReturnsOnly)
{
    const HelpBox& box = helpBox(HelpTopic::ReadWrite);
    auto message = makeHelpBox(nullptr, box);
    EXPECT_EQ(message->windowTitle(), "Help R/W");
    EXPECT_EQ(message->icon(), QMessageBox::Information);
    EXPECT_EQ(message->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    EXPECT_EQ(message->text().count(QLatin1Char('\n')), 11);
    EXPECT_FALSE(message->text().contains(QLatin1Char('\r')));
    EXPECT_EQ(message->text().split(QLatin1Char('\n')), box.text.split(QLatin1Char('\r')));
}

TEST(ErrorReportText, FullStopRule)
{
    EXPECT_EQ(errorReportText("Unable to write to Kavoda.INI"), "Unable to write to Kavoda.INI.");
    EXPECT_EQ(errorReportText("'' is not a valid integer value"), "'' is not a valid integer value.");
    EXPECT_EQ(errorReportText("Done."), "Done.");
    EXPECT_EQ(errorReportText("Why!"), "Why!");   // '!' lies below '.'
    EXPECT_EQ(errorReportText("Code 5"), "Code 5."); // digits lie above
    EXPECT_EQ(errorReportText(""), "");
}

TEST(ErrorReportText, TheBoxShowsTheTextAsWritten)
{
    const auto box = makeErrorReportBox(QStringLiteral("Unable to write to <b>a  b</b>\rKavoda.INI"));
    EXPECT_EQ(box->windowTitle(), "Kavoda");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    // No markup read, no blank folded, a line break at the carriage return.
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), "Unable to write to <b>a  b</b>\nKavoda.INI.");
}

TEST(Cp437, EveryByteHasAGlyphInTheCharacterFont)
{
    EXPECT_EQ(cp437ToUnicode('A'), QChar('A'));
    EXPECT_EQ(cp437ToUnicode(0x01), QChar(0x263A));
    EXPECT_EQ(cp437ToUnicode(0x7F), QChar(0x2302));
    EXPECT_EQ(cp437ToUnicode(0x80), QChar(0x00C7));
    EXPECT_EQ(cp437ToUnicode(0xB0), QChar(0x2591));
    EXPECT_EQ(cp437ToUnicode(0xE0), QChar(0x03B1));
    EXPECT_EQ(cp437ToUnicode(0xFE), QChar(0x25A0));
    EXPECT_EQ(cp437Text(0x41), "A");

    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    QSet<QChar> seen;
    for (int b = 0; b < 256; ++b) {
        const QChar c = cp437ToUnicode(static_cast<std::uint8_t>(b));
        EXPECT_FALSE(c.isNull()) << b;
        EXPECT_TRUE(metrics.inFont(c)) << b;
        seen.insert(c);
    }
    // Only 0x00 (blank) shares its look with the space.
    EXPECT_EQ(seen.size(), 255);
}

} // namespace
