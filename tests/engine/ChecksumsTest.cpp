// SPDX-License-Identifier: MIT
// Checksums against published test vectors, and the differing runs of two
// images.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ByteCompare.h"
#include "Checksums.h"

namespace kavoda {
namespace {

std::vector<std::uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

std::string sha256Text(const std::string& text)
{
    const auto bytes = bytesOf(text);
    return checksumText(checksumsOf(bytes.data(), bytes.size()), ChecksumKind::Sha256);
}

TEST(Checksums, PublishedVectors)
{
    const auto check = bytesOf("123456789");
    EXPECT_EQ(crc32(check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(crc32(nullptr, 0), 0u);
    EXPECT_EQ(sha256Text(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block.
    EXPECT_EQ(sha256Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256Text(std::string(1'000'000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Checksums, PartsGiveTheWholeAndSumsWrap)
{
    std::vector<std::uint8_t> image(1000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 13);
    const Checksums whole = checksumsOf(image.data(), image.size());
    for (const std::size_t cut : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{65},
                                  std::size_t{500}}) {
        Sha256 sha;
        sha.update(image.data(), cut);
        sha.update(image.data() + cut, image.size() - cut);
        EXPECT_EQ(sha.finish(), whole.sha256) << cut;
        EXPECT_EQ(crc32(image.data() + cut, image.size() - cut, crc32(image.data(), cut)),
                  whole.crc32)
            << cut;
    }

    const std::vector<std::uint8_t> erased(257, 0xFF);
    const Checksums sums = checksumsOf(erased.data(), erased.size());
    EXPECT_EQ(checksumText(sums, ChecksumKind::Sum16), "FFFF");  // 257 * 255
    EXPECT_EQ(checksumText(sums, ChecksumKind::Sum8), "FF");
    const Checksums more = checksumsOf(erased.data(), 256);
    EXPECT_EQ(checksumText(more, ChecksumKind::Sum16), "FF00");
    EXPECT_EQ(checksumText(more, ChecksumKind::Sum8), "00");
    EXPECT_EQ(checksumText(more, ChecksumKind::Crc32).size(), 8u);
}

TEST(ByteCompare, RunsGapsAndSummary)
{
    std::vector<std::uint8_t> a(32, 0x11);
    std::vector<std::uint8_t> b = a;
    b[0] = 0;
    b[5] = b[6] = b[7] = 0;
    b[31] = 0;
    ByteComparison c = compareBytes(a.data(), b.data(), a.size());
    ASSERT_EQ(c.runs.size(), 3u);
    EXPECT_EQ(c.runs[1].start, 5u);
    EXPECT_EQ(c.runs[1].length, 3u);
    EXPECT_EQ(c.runs[2].start, 31u);
    EXPECT_EQ(c.differing, 5u);
    EXPECT_EQ(c.compared, 32u);
    EXPECT_EQ(differenceSummary(c), "5 bytes differ in 3 runs; the first at 0000");

    // A byte one side leaves out splits a run and is not counted.
    std::vector<bool> present(32, true);
    present[6] = false;
    c = compareBytes(a.data(), b.data(), a.size(), nullptr, &present);
    ASSERT_EQ(c.runs.size(), 4u);
    EXPECT_EQ(c.differing, 4u);
    EXPECT_EQ(c.skipped, 1u);

    c = compareBytes(a.data(), b.data(), 1);
    EXPECT_EQ(differenceSummary(c), "1 byte differs in 1 run; the first at 0000");
    c = compareBytes(a.data() + 1, b.data() + 1, 4);
    EXPECT_TRUE(c.equal());
    EXPECT_EQ(differenceSummary(c), "");
}

TEST(ByteCompare, RunsFoundByAddress)
{
    const std::vector<DifferingRun> runs = {{0x10, 4}, {0xFE, 4}, {0x300, 1}};
    EXPECT_EQ(runsWithin(runs, 0, 256), (std::pair<std::size_t, std::size_t>{0, 2}));
    // The run across the page boundary belongs to both pages.
    EXPECT_EQ(runsWithin(runs, 256, 256), (std::pair<std::size_t, std::size_t>{1, 2}));
    EXPECT_EQ(runsWithin(runs, 512, 256), (std::pair<std::size_t, std::size_t>{2, 2}));
    EXPECT_EQ(runsWithin(runs, 0x300, 256), (std::pair<std::size_t, std::size_t>{2, 3}));

    EXPECT_EQ(nextRun(runs, 0)->start, 0x10u);
    EXPECT_EQ(nextRun(runs, 0x10)->start, 0xFEu);
    EXPECT_FALSE(nextRun(runs, 0x300));
    EXPECT_EQ(previousRun(runs, 0x300)->start, 0xFEu);
    EXPECT_EQ(previousRun(runs, 0x11)->start, 0x10u);
    EXPECT_FALSE(previousRun(runs, 0x10));
}

}  // namespace
}  // namespace kavoda
