// SPDX-License-Identifier: MIT
// The settings file's reader and writer: the private-profile rules, the
// lines it keeps, and writes that fail without costing the file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "IniFile.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    void put(const std::string& bytes)
    {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string bytes() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    IniFile ini() const { return IniFile(m_path.string(), "Kavoda.INI"); }

    fs::path m_folder = test::testFolder();
    fs::path m_path = m_folder / "Kavoda.INI";
};

TEST_F(IniFileTest, NamesMatchWithoutCaseValuesAreTrimmedMissingGivesTheDefault)
{
    EXPECT_EQ(ini().readString("Device Port", "Port", "Port2"), "Port2") << "no file";
    put("; comment=Port3\r\n"
        "[other]\nPort=Port3\n"
        "  [ device PORT ]  \r\n  PORT  =  Port3  \r\n"
        "[Delay]\ndelay\t=\t0x1E\n"
        "[Device Port]\nPort=Port2\n"
        "[\xC9t\xE9]\nK\xC9Y=latin\n");
    EXPECT_EQ(ini().readString("Device Port", "Port", "x"), "Port3") << "the first match";
    EXPECT_EQ(ini().readInteger("DELAY", "Delay", 10), 30);
    EXPECT_EQ(ini().readString("\xE9T\xC9", "k\xE9y", "x"), "latin") << "Latin-1 letters too";
    EXPECT_EQ(ini().readString("Version", "Version", "none"), "none");
    EXPECT_EQ(ini().readString("Delay", "Port", "none"), "none");
    put("[S]\nK=" + std::string(2000, 'a') + "\n");
    EXPECT_EQ(ini().readString("S", "K", "").size(), 1023u);
}

TEST_F(IniFileTest, OnePairOfSurroundingQuotesIsNoPartOfTheValue)
{
    put("[S]\na=\"Port3\"\nb=  \"20\"  \nc='x y'\nd=\"\"\ne=\"\"q\"\"\nf=\"open\n"
        "g=\"mixed'\nh=\" pad \"\ni=\"\n");
    EXPECT_EQ(ini().readString("S", "a", "-"), "Port3");
    EXPECT_EQ(ini().readInteger("S", "b", 10), 20);
    EXPECT_EQ(ini().readString("S", "c", "-"), "x y");
    EXPECT_EQ(ini().readString("S", "d", "-"), "");
    EXPECT_EQ(ini().readString("S", "e", "-"), "\"q\"");
    EXPECT_EQ(ini().readString("S", "f", "-"), "\"open");
    EXPECT_EQ(ini().readString("S", "g", "-"), "\"mixed'");
    EXPECT_EQ(ini().readString("S", "h", "-"), " pad ");
    EXPECT_EQ(ini().readString("S", "i", "-"), "\"");
}

TEST_F(IniFileTest, IntegersAreDecimalOrPrefixedHexadecimal)
{
    EXPECT_EQ(parseIniInteger("15"), 15);
    EXPECT_EQ(parseIniInteger(" 0x1E "), 30);
    EXPECT_EQ(parseIniInteger("0X1e"), 30);
    EXPECT_EQ(parseIniInteger("$1e"), 30);
    EXPECT_EQ(parseIniInteger("-20"), -20);
    EXPECT_EQ(parseIniInteger("+7"), 7);
    EXPECT_EQ(parseIniInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(parseIniInteger("-2147483648"), INT32_MIN);
    for (const char* bad : {"2147483648", "99999999999", "0x100000000", "ten", "0x", "$", "",
                            "1 0", "12abc", "1E", "--1", "\xD9\xA1"})
        EXPECT_EQ(parseIniInteger(bad), std::nullopt) << bad;
}

TEST_F(IniFileTest, WritingKeepsEverythingElseOfTheFile)
{
    put("; Kavoda settings\n[Window]\nLeft=10\n\n[device port]\n; port choice\nPORT=Port1\n"
        "Extra=1\n\n[Tail]\nX=y\n");
    IniFile file = ini();
    file.writeString("Device Port", "Port", "Port3");
    file.writeString("Device Port", "Mode", "EPP");
    file.writeInteger("Delay", "Delay", 20);
    EXPECT_EQ(bytes(), "; Kavoda settings\n[Window]\nLeft=10\n\n[device port]\n"
                       "; port choice\nPORT=Port3\nExtra=1\nMode=EPP\n\n[Tail]\nX=y\n"
                       "\n[Delay]\nDelay=20\n");
    // Bytes this program does not understand go out as they came in.
    put("[A]\nk=\xA0\xFF\x01\n");
    ini().writeString("B", "n", "1");
    EXPECT_EQ(bytes(), "[A]\nk=\xA0\xFF\x01\n\n[B]\nn=1\n");
}

TEST_F(IniFileTest, EachLineKeepsItsEndingAndNewLinesFollowTheFile)
{
    const struct {
        std::string before;
        std::string after;
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
        put(c.before);
        IniFile file = ini();
        file.writeString("A", "k", "2");
        file.writeInteger("B", "n", 3);
        EXPECT_EQ(bytes(), c.after) << c.before;
    }
    put("[A]\r\nk=1");
    ini().writeString("A", "k", "2");
    EXPECT_EQ(bytes(), "[A]\r\nk=2");
}

TEST_F(IniFileTest, AFailedWriteRaisesUnableToWriteAndCostsNothing)
{
    // A folder whose parent is a plain file cannot be made, even by root.
    std::ofstream(m_folder / "blocker") << "";
    IniFile blocked((m_folder / "blocker" / "config" / "Kavoda.INI").string(), "Kavoda.INI");
    try {
        blocked.writeString("Device Port", "Port", "Port2");
        FAIL() << "no error raised";
    } catch (const IniWriteError& e) {
        EXPECT_STREQ(e.what(), "Unable to write to Kavoda.INI");
    }
    // Nor is a read-only file replaced, nor a pipe waited on.
    put("[Delay]\nDelay=20\n");
    ASSERT_EQ(::chmod(m_path.c_str(), 0444), 0);
    EXPECT_THROW(ini().writeString("Delay", "Delay", "30"), IniWriteError);
    EXPECT_EQ(bytes(), "[Delay]\nDelay=20\n");
    fs::remove(m_path);
    ASSERT_EQ(::mkfifo(m_path.c_str(), 0600), 0);
    EXPECT_EQ(ini().readInteger("Delay", "Delay", 10), 10);
    EXPECT_THROW(ini().writeString("Delay", "Delay", "30"), IniWriteError);
    EXPECT_TRUE(fs::is_fifo(m_path));
}

TEST_F(IniFileTest, AnUnreadableFileIsNotOverwritten)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    put("[Mine]\nKeep=1\n");
    ASSERT_EQ(::chmod(m_path.c_str(), 0200), 0);
    EXPECT_THROW(ini().writeString("Delay", "Delay", "10"), IniWriteError);
    ::chmod(m_path.c_str(), 0600);
    EXPECT_EQ(bytes(), "[Mine]\nKeep=1\n");
}

TEST_F(IniFileTest, AWritableFileInAFolderThatIsNotIsRewrittenInPlace)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into every folder";
    put("; mine\n[Delay]\nDelay=20\n");
    ASSERT_EQ(::chmod(m_folder.c_str(), 0500), 0);
    EXPECT_NO_THROW(ini().writeString("Delay", "Delay", "30"));
    EXPECT_NO_THROW(ini().writeString("Version", "Version", "1.2 1998"));
    EXPECT_EQ(bytes(), "; mine\n[Delay]\nDelay=30\n\n[Version]\nVersion=1.2 1998\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 1)
        << "nothing left beside it";
    // No file yet and no right to make one: the write fails.
    ::chmod(m_folder.c_str(), 0700);
    fs::remove(m_path);
    ::chmod(m_folder.c_str(), 0500);
    EXPECT_THROW(ini().writeString("Delay", "Delay", "30"), IniWriteError);
    ::chmod(m_folder.c_str(), 0700);
}

}  // namespace
}  // namespace kavoda
