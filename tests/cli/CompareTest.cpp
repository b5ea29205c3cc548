// SPDX-License-Identifier: MIT
// compare, blank and checksum: the listing read back against a byte-by-byte
// count, sizes that differ, HEX gaps, the chip side on every simulated
// adapter, and the exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "Checksums.h"
#include "CliRun.h"
#include "DeviceCatalogue.h"
#include "IntelHex.h"
#include "TempFolder.h"

namespace kavoda {
namespace {

namespace fs = std::filesystem;

using test::CliRun;

class CompareTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = test::testFolder();
        fs::create_directory(m_dir / "config");
    }
    void TearDown() override { resetDeviceState(); }

    CliRun cli(std::vector<std::string> args, const std::string& input = {})
    {
        CliEnvironment environment;
        environment.settingsFolder = (m_dir / "config").string();
        const CliRun run = test::runTool(std::move(args), environment, input);
        resetDeviceState();
        return run;
    }
    // The verb on a simulated 24C16 whose content is chip.bin.
    CliRun onChip(std::vector<std::string> verb, const char* adapter = "parport")
    {
        std::vector<std::string> args = {"-q", "--simulate", "--sim-image", path("chip.bin"),
                                         "-d", "24C16", "--delay", "0", "--adapter", adapter};
        args.insert(args.end(), verb.begin(), verb.end());
        return cli(args);
    }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    void save(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    fs::path m_dir;
};

std::vector<std::uint8_t> randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

// The differing addresses and their two bytes as the listing gives them.
struct Listed {
    std::map<long, std::pair<int, int>> bytes;
    int lines = 0;
};

Listed parseListing(const std::string& out)
{
    Listed listed;
    std::istringstream in(out);
    std::string line;
    std::getline(in, line);  // the heading: the first side's column after "Bytes  "
    const std::size_t columns = line.find("Bytes") + 7;
    while (std::getline(in, line)) {
        if (line.empty() || !std::isxdigit(static_cast<unsigned char>(line[0])) ||
            line.find(" differ") != std::string::npos)
            continue;
        ++listed.lines;
        const long address = std::stol(line.substr(0, line.find(' ')), nullptr, 16);
        std::istringstream a(line.substr(columns, 49));
        std::istringstream b(line.size() > columns + 49 ? line.substr(columns + 49) : "");
        std::string x;
        std::string y;
        for (long at = address; a >> x && b >> y; ++at)
            listed.bytes[at] = {std::stoi(x, nullptr, 16), std::stoi(y, nullptr, 16)};
    }
    return listed;
}

TEST_F(CompareTest, FilesListEveryDifferingByteAndTheSummary)
{
    const std::vector<std::uint8_t> a = randomBytes(4096, 1);
    std::vector<std::uint8_t> b = a;
    std::mt19937 random(2);
    for (int i = 0; i < 300; ++i)
        b[random() % b.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
    for (std::size_t i = 1000; i < 1100; ++i)  // one long run over several lines
        b[i] = static_cast<std::uint8_t>(~a[i]);
    save("a.bin", a);
    save("b.bin", b);

    const CliRun run = cli({"compare", path("a.bin"), path("b.bin")});
    EXPECT_EQ(run.code, 1) << run.err;
    std::map<long, std::pair<int, int>> expected;
    std::size_t runs = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            expected[static_cast<long>(i)] = {a[i], b[i]};
            runs += i == 0 || a[i - 1] == b[i - 1];
        }
    }
    EXPECT_EQ(parseListing(run.out).bytes, expected);
    const std::string summary = std::to_string(expected.size()) + " bytes differ in " +
                                std::to_string(runs) + " runs; the first at ";
    EXPECT_NE(run.out.find(summary), std::string::npos) << run.out;

    const CliRun limited = cli({"compare", "--max", "3", path("a.bin"), path("b.bin")});
    EXPECT_EQ(limited.code, 1);
    EXPECT_EQ(parseListing(limited.out).lines, 3);
    EXPECT_NE(limited.out.find("listing stopped after 3 lines"), std::string::npos);
    EXPECT_NE(limited.out.find(summary), std::string::npos) << "the summary counts them all";

    const CliRun same = cli({"compare", path("a.bin"), path("a.bin")});
    EXPECT_EQ(same.code, 0);
    EXPECT_EQ(same.out, path("a.bin") + " and " + path("a.bin") + " are equal (4096 bytes compared).\n");
}

TEST_F(CompareTest, DifferentSizesAndHexGaps)
{
    const std::vector<std::uint8_t> a = randomBytes(300, 3);
    save("a.bin", a);
    save("short.bin", std::vector<std::uint8_t>(a.begin(), a.begin() + 256));
    const CliRun run = cli({"compare", path("a.bin"), path("short.bin")});
    EXPECT_EQ(run.code, 1) << "files of other sizes are not the same";
    EXPECT_NE(run.out.find("compared over the first 256, the last 44 of " + path("a.bin")),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("The first 256 bytes of"), std::string::npos) << run.out;

    // A HEX file that gives 0..15 and 32..47: the gap is not compared.
    std::string hex = writeIntelHex(a.data(), 48);
    hex.erase(hex.find(":10001000"), hex.find('\n', hex.find(":10001000")) + 1 - hex.find(":10001000"));
    std::ofstream(path("part.hex")) << hex;
    std::vector<std::uint8_t> changed(a.begin(), a.begin() + 48);
    changed[20] ^= 0xFF;  // in the gap
    changed[40] ^= 0xFF;
    save("changed.bin", changed);
    const CliRun gaps = cli({"compare", path("part.hex"), path("changed.bin")});
    EXPECT_EQ(gaps.code, 1);
    EXPECT_NE(gaps.out.find("leaves 16 of its 48 bytes out"), std::string::npos) << gaps.out;
    EXPECT_NE(gaps.out.find("1 byte differs in 1 run; the first at 0028"), std::string::npos)
        << gaps.out;
}

TEST_F(CompareTest, TheChipOnEveryAdapter)
{
    std::vector<std::uint8_t> content = randomBytes(2048, 4);
    save("image.bin", content);
    const std::uint32_t crc = crc32(content.data(), content.size());
    char crcText[9];
    std::snprintf(crcText, sizeof crcText, "%08x", crc);
    for (const char* adapter : {"parport", "ch341a", "i2c:/dev/i2c-1"}) {
        SCOPED_TRACE(adapter);
        save("chip.bin", content);
        CliRun run = onChip({"compare", "chip", path("image.bin")}, adapter);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, "The 24C16 and " + path("image.bin") + " are equal (2048 bytes compared).\n");
        EXPECT_EQ(onChip({"checksum", "--only", "crc32"}, adapter).out, std::string(crcText) + "\n");
        EXPECT_EQ(onChip({"blank"}, adapter).code, 1);

        std::vector<std::uint8_t> changed = content;
        changed[0x7FF] ^= 1;
        save("chip.bin", changed);
        run = onChip({"compare", path("image.bin"), "chip"}, adapter);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.out.find("1 byte differs in 1 run; the first at 07FF\n"), std::string::npos)
            << run.out;

        save("chip.bin", std::vector<std::uint8_t>(2048, 0xFF));
        run = onChip({"blank"}, adapter);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, "The 24C16 is blank: all 2048 bytes read FF.\n");
    }
    std::vector<std::uint8_t> almost(2048, 0xFF);
    almost[0x1A0] = 0x5A;
    almost[0x1A5] = 0x00;
    save("chip.bin", almost);
    const CliRun run = onChip({"blank"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out,
              "The 24C16 is not blank: 2 of its 2048 bytes are not FF, the first at 01A0 (5A).\n");

    // A chip that does not answer is the chip's failure, not a difference.
    const CliRun silent = cli({"-q", "--simulate", "--sim-fault", "empty", "-d", "24C02",
                               "compare", "chip", path("image.bin")});
    EXPECT_EQ(silent.code, 1);
    EXPECT_NE(silent.err.find("No acknowledge"), std::string::npos) << silent.err;
}

TEST_F(CompareTest, ChecksumsOfAFileAndUsageErrors)
{
    const std::string text = "123456789";
    std::ofstream(path("check.bin")) << text;
    CliRun run = cli({"checksum", path("check.bin")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, path("check.bin") + ": 9 bytes\n"
                           "CRC-32:  cbf43926\n"
                           "SHA-256: 15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225\n"
                           "Sum-8:   DD\n"
                           "Sum-16:  01DD\n");
    EXPECT_EQ(cli({"checksum", "--only", "sum16", "-"}, text).out, "01DD\n");
    EXPECT_EQ(cli({"checksum", "--only", "sha256", "--format", "raw", "-"}, "abc").out,
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n");

    EXPECT_EQ(cli({"checksum", "--only", "md5", path("check.bin")}).code, 2);
    EXPECT_EQ(cli({"compare", path("check.bin")}).code, 2);
    EXPECT_EQ(cli({"compare", "-", "-"}).code, 2);
    EXPECT_EQ(cli({"--simulate", "-d", "24C02", "compare", "chip", "chip"}).code, 2);
    EXPECT_EQ(cli({"compare", "--max", "x", path("check.bin"), path("check.bin")}).code, 2);
    EXPECT_EQ(cli({"compare", path("missing.bin"), path("check.bin")}).code, 1);
    EXPECT_EQ(cli({"--simulate", "compare", "chip", path("check.bin")}).code, 2)
        << "the chip needs its type";
}

}  // namespace
}  // namespace kavoda
