// SPDX-License-Identifier: MIT
// The INI module and the settings file, always in a temporary folder.
#include "SettingsFolder.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

using namespace kavoda;

namespace {

using IniFileTest = SettingsFolderTest;
using SettingsTest = SettingsFolderTest;

TEST_F(IniFileTest, MissingFileSectionOrKeyGiveTheDefault)
{
    const IniFile ini(QStringLiteral("Kavoda.INI"));
    EXPECT_EQ(ini.readString("Device Port", "Port", "Port2"), "Port2");
    writeSettings("[Other]\nPort=Port3\n[Device Port]\nSpeed=1\n");
    EXPECT_EQ(ini.readString("Device Port", "Port", "Port2"), "Port2");
    EXPECT_EQ(ini.readInteger("Delay", "Delay", 10), 10);
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndValuesAreTrimmed)
{
    writeSettings("; a comment\r\n[device PORT]\r\n  PORT  =   Port3   \r\n[Delay]\r\ndelay=40\r\n");
    const IniFile ini(QStringLiteral("Kavoda.INI"));
    EXPECT_EQ(ini.readString("Device Port", "Port", "x"), "Port3");
    EXPECT_EQ(ini.readInteger("DELAY", "Delay", 10), 40);
}

TEST_F(IniFileTest, StringsAreCutAt1023Characters)
{
    writeSettings("[S]\nK=" + QByteArray(2000, 'a') + "\n");
    EXPECT_EQ(IniFile("Kavoda.INI").readString("S", "K", "").size(), 1023);
}

TEST_F(IniFileTest, IntegersAreDecimalOrPrefixedHexadecimal)
{
    writeSettings("[S]\na=30\nb=0x1E\nc=0X1e\nd=$1E\ne=-7\nf=abc\ng=\nh=12abc\ni=1E\nj=99999999999\n"
              "k=0x\n");
    const IniFile ini(QStringLiteral("Kavoda.INI"));
    EXPECT_EQ(ini.readInteger("S", "a", 10), 30);
    EXPECT_EQ(ini.readInteger("S", "b", 10), 30);
    EXPECT_EQ(ini.readInteger("S", "c", 10), 30);
    EXPECT_EQ(ini.readInteger("S", "d", 10), 30);
    EXPECT_EQ(ini.readInteger("S", "e", 10), -7);
    for (const char* key : {"f", "g", "h", "i", "j", "k", "missing"})
        EXPECT_EQ(ini.readInteger("S", key, 10), 10) << key;
}

TEST_F(IniFileTest, WritingKeepsEverythingElseOfTheFile)
{
    writeSettings("; Kavoda settings\n[Window]\nLeft=10\n\n[device port]\n; port choice\nPORT=Port1\n"
              "Extra=1\n\n[Tail]\nX=y\n");
    IniFile ini(QStringLiteral("Kavoda.INI"));
    ini.writeString("Device Port", "Port", "Port3");
    ini.writeString("Device Port", "Mode", "EPP");
    ini.writeString("Delay", "Delay", "20");
    EXPECT_EQ(readSettings(), QByteArray("; Kavoda settings\n[Window]\nLeft=10\n\n[device port]\n"
                                     "; port choice\nPORT=Port3\nExtra=1\nMode=EPP\n\n[Tail]\nX=y\n"
                                     "\n[Delay]\nDelay=20\n"));
}

TEST_F(IniFileTest, EachLineKeepsItsEndingAndNewLinesFollowTheFile)
{
    const struct {
        QByteArray before;
        QByteArray after;
    } cases[] = {
        {"[A]\r\nk=1\r\n", "[A]\r\nk=2\r\n\r\n[B]\r\nn=3\r\n"},
        // One CRLF among LF lines stays the only one.
        {"; note\r\n[A]\nk=1\n", "; note\r\n[A]\nk=2\n\n[B]\nn=3\n"},
        {"[A]\nk=1\r\nx=0\r\n", "[A]\nk=2\r\nx=0\r\n\r\n[B]\r\nn=3\r\n"},
        // A last line without an end gets one only when something follows it.
        {"[A]\r\nk=1", "[A]\r\nk=2\r\n\r\n[B]\r\nn=3\r\n"},
        {"", "[A]\nk=2\n\n[B]\nn=3\n"},
    };
    for (const auto& c : cases) {
        writeSettings(c.before);
        IniFile ini(QStringLiteral("Kavoda.INI"));
        ini.writeString("A", "k", "2");
        ini.writeInteger("B", "n", 3);
        EXPECT_EQ(readSettings(), c.after) << c.before.toStdString();
    }
    writeSettings("[A]\r\nk=1");
    IniFile(QStringLiteral("Kavoda.INI")).writeString("A", "k", "2");
    EXPECT_EQ(readSettings(), QByteArray("[A]\r\nk=2"));
}

TEST_F(IniFileTest, OnePairOfSurroundingQuotesIsNoPartOfTheValue)
{
    writeSettings("[S]\na=\"Port3\"\nb=  \"20\"  \nc='x y'\nd=\"\"\ne=\"\"q\"\"\nf=\"open\n"
                  "g=\"mixed'\nh=\" pad \"\ni=\"\n");
    const IniFile ini(QStringLiteral("Kavoda.INI"));
    EXPECT_EQ(ini.readString("S", "a", "-"), "Port3");
    EXPECT_EQ(ini.readInteger("S", "b", 10), 20);
    EXPECT_EQ(ini.readString("S", "c", "-"), "x y");
    EXPECT_EQ(ini.readString("S", "d", "-"), "");
    EXPECT_EQ(ini.readString("S", "e", "-"), "\"q\"");
    EXPECT_EQ(ini.readString("S", "f", "-"), "\"open");
    EXPECT_EQ(ini.readString("S", "g", "-"), "\"mixed'");
    EXPECT_EQ(ini.readString("S", "h", "-"), " pad ");
    EXPECT_EQ(ini.readString("S", "i", "-"), "\"");
}

TEST_F(IniFileTest, AFailedWriteRaisesUnableToWrite)
{
    // A folder whose parent is a plain file cannot be created, even by root.
    QFile blocker(m_dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    setSettingsFolder(m_dir.filePath(QStringLiteral("blocker/config")));
    IniFile ini(QStringLiteral("Kavoda.INI"));
    try {
        ini.writeString("Device Port", "Port", "Port2");
        FAIL() << "no error raised";
    } catch (const IniWriteError& e) {
        EXPECT_STREQ(e.what(), "Unable to write to Kavoda.INI");
    }
}

TEST_F(IniFileTest, AnUnreadableFileIsNotOverwritten)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    writeSettings("[Mine]\nKeep=1\n");
    const QString path = settingsPath();
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    IniFile ini(QStringLiteral("Kavoda.INI"));
    EXPECT_THROW(ini.writeString("Delay", "Delay", "10"), IniWriteError);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readSettings(), QByteArray("[Mine]\nKeep=1\n"));
}

TEST_F(IniFileTest, AWritableFileInAFolderThatIsNotIsRewrittenInPlace)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into every folder";
    writeSettings("; mine\n[Delay]\nDelay=20\n");
    ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    IniFile ini(QStringLiteral("Kavoda.INI"));
    EXPECT_NO_THROW(ini.writeString("Delay", "Delay", "30"));
    EXPECT_NO_THROW(ini.writeString("Version", "Version", "1.2 1998"));
    EXPECT_EQ(readSettings(), QByteArray("; mine\n[Delay]\nDelay=30\n\n[Version]\nVersion=1.2 1998\n"));
    // Nothing was left beside it.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList("Kavoda.INI"));
    // No file yet and no right to make one: the write fails.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                            | QFileDevice::ExeOwner);
    ASSERT_TRUE(QFile::remove(settingsPath()));
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_THROW(ini.writeString("Delay", "Delay", "30"), IniWriteError);
}

TEST_F(IniFileTest, AReadOnlyFileIsNotReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes every file";
    writeSettings("[Delay]\nDelay=20\n");
    ASSERT_TRUE(QFile::setPermissions(settingsPath(), QFileDevice::ReadOwner));
    IniFile ini(QStringLiteral("Kavoda.INI"));
    EXPECT_THROW(ini.writeString("Delay", "Delay", "30"), IniWriteError);
    EXPECT_EQ(readSettings(), QByteArray("[Delay]\nDelay=20\n"));
}

TEST_F(SettingsTest, AFirstRunCreatesTheFileWithTheDefaults)
{
    loadSettings();
    EXPECT_EQ(PortSetting, "Port2");
    EXPECT_EQ(BusDelay, 10);
    EXPECT_EQ(PortBase, 0x278);
    EXPECT_EQ(ProgramVersion, "1.2 1998");
    saveSettings();
    EXPECT_EQ(readSettings(), QByteArray("[Device Port]\nPort=Port2\n\n[Version]\nVersion=1.2 1998\n\n"
                                     "[Delay]\nDelay=10\n"));
}

TEST_F(SettingsTest, PortTextsAreComparedExactly)
{
    const struct {
        const char* stored;
        int item;
        std::uint16_t base;
    } cases[] = {{"Port2", 0, 0x278}, {"Port1", 1, 0x378}, {"Port3", 2, 0x3BC},
                 {"port2", 1, 0x378}, {"", 1, 0x378},      {"LPT1", 1, 0x378}};
    for (const auto& c : cases) {
        writeSettings(QByteArray("[Device Port]\nPort=") + c.stored + "\n");
        loadSettings();
        EXPECT_EQ(PortSetting, c.stored);
        EXPECT_EQ(PortBase, c.base) << c.stored;
        EXPECT_EQ(portItemFor(PortSetting), c.item) << c.stored;
    }
}

TEST_F(SettingsTest, QuotedValuesAreReadWithoutTheirQuotesAndSavedBack)
{
    writeSettings("[Device Port]\r\nPort=\"Port3\"\r\n[Delay]\r\nDelay=\"20\"\r\n");
    loadSettings();
    EXPECT_EQ(PortSetting, "Port3");
    EXPECT_EQ(PortBase, 0x3BC);
    EXPECT_EQ(BusDelay, 20);
    saveSettings();
    EXPECT_EQ(readSettings(), QByteArray("[Device Port]\r\nPort=Port3\r\n[Delay]\r\nDelay=20\r\n"
                                         "\r\n[Version]\r\nVersion=1.2 1998\r\n"));
}

TEST_F(SettingsTest, DelayIsReadAsAnInteger)
{
    for (const auto& [text, delay] : {std::pair{"0x1E", 30}, {"fast", 10}, {"15", 15}, {"$64", 100}}) {
        writeSettings(QByteArray("[Delay]\nDelay=") + text + "\n");
        loadSettings();
        EXPECT_EQ(BusDelay, delay) << text;
    }
}

} // namespace
