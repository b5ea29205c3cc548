// SPDX-License-Identifier: MIT
// The Intel HEX reader on arbitrary text, and the writer's output read back.
// A text is either refused with IntelHexError or gives an image of exactly
// the capacity asked for; refusing and dropping what lies beyond agree; and
// whatever the writer makes reads back as the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "IntelHex.h"

namespace {

void checkShape(const kavoda::IntelHexImage& image, std::size_t capacity)
{
    if (image.bytes.size() != capacity || image.present.size() != capacity)
        std::abort();
    const auto given = static_cast<std::size_t>(
        std::count(image.present.begin(), image.present.end(), true));
    if (given != image.given)
        std::abort();
    for (std::size_t i = 0; i < capacity; ++i)
        if (!image.present[i] && image.bytes[i] != 0xFF)
            std::abort();
}

void readText(const std::string& text, std::size_t capacity)
{
    using kavoda::BeyondCapacity;
    bool refused = false;
    bool beyond = false;
    kavoda::IntelHexImage strict;
    try {
        strict = kavoda::readIntelHex(text, capacity, BeyondCapacity::Refuse);
        checkShape(strict, capacity);
        if (strict.beyond != 0)
            std::abort();
    } catch (const kavoda::IntelHexBeyondError& e) {
        refused = true;
        beyond = true;
        if (e.address() < capacity)
            std::abort();
    } catch (const kavoda::IntelHexError& e) {
        refused = true;
        if (e.line() < 1)
            std::abort();
    }
    try {
        const auto lenient = kavoda::readIntelHex(text, capacity, BeyondCapacity::Drop);
        checkShape(lenient, capacity);
        if (!refused && (lenient.bytes != strict.bytes || lenient.present != strict.present ||
                         lenient.beyond != 0))
            std::abort();
        if (refused && !beyond)
            std::abort();  // dropping must not accept what was wrong for another reason
        if (beyond && lenient.beyond == 0)
            std::abort();
    } catch (const kavoda::IntelHexBeyondError&) {
        std::abort();  // never thrown when dropping
    } catch (const kavoda::IntelHexError&) {
        if (!refused)
            std::abort();
    }
}

void roundTrip(const std::vector<std::uint8_t>& bytes)
{
    const std::string text = kavoda::writeIntelHex(bytes.data(), bytes.size());
    const auto image = kavoda::readIntelHex(text, bytes.size());
    checkShape(image, bytes.size());
    if (image.bytes != bytes || image.given != bytes.size())
        std::abort();
}

}  // namespace

// Once per run: an image past 64 KiB, so that the writer's 04 records are
// read back too. Fuzzed inputs stay small, so that many of them run.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::vector<std::uint8_t> big(65'536 + 300);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7);
    roundTrip(big);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        roundTrip(input.ConsumeRemainingBytes<std::uint8_t>());
        return 0;
    }
    const auto capacity = input.ConsumeIntegralInRange<std::size_t>(0, 4096);
    readText(input.ConsumeRemainingBytesAsString(), capacity);
    return 0;
}
