// SPDX-License-Identifier: MIT
// compare, blank and checksum: questions about images that change nothing.
// Each side of a compare, and the subject of a checksum, is a file (raw or
// Intel HEX, as the other verbs read them) or the chip, named "chip".
#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "ByteCompare.h"
#include "Checksums.h"
#include "HexText.h"
#include "ImageFiles.h"
#include "IntelHex.h"
#include "Tool.h"
#include "Verbs.h"

namespace kavoda {

namespace {

constexpr const char* kChipSide = "chip";
// A HEX file is laid over this much before it is cut to its last byte: the
// most any image file may hold: the largest chip of the table.
constexpr std::size_t kLargestImage = 32u << 20;  // the W25Q256, the largest row
constexpr std::size_t kBytesPerLine = 16;

struct CompareArguments {
    std::string first;
    std::string second;
    std::string format;
    std::string max;
    std::string only;
};

// One side: its bytes and, for a HEX file with gaps, which bytes it gives.
struct Side {
    std::string name;  // as the messages say it
    std::string column;  // as the listing heads it
    std::vector<std::uint8_t> bytes;
    std::vector<bool> present;  // empty: every byte
    std::size_t gaps = 0;
    const std::vector<bool>* mask() const { return present.empty() ? nullptr : &present; }
};

Side readFileSide(Tool& tool, const std::string& path, std::optional<FileFormat> forced)
{
    Side side;
    side.name = path == "-" ? "standard input" : path;
    side.column = path;
    const std::string text = readInput(path, tool.in());
    if (formatForPath(path, forced) == FileFormat::Raw) {
        side.bytes.assign(text.begin(), text.end());
        return side;
    }
    IntelHexImage hex;
    try {
        hex = readIntelHex(text, kLargestImage);
    } catch (const IntelHexError& e) {
        throw FileError(side.name + " is no valid Intel HEX file: " + e.what());
    }
    // The image ends with the file's last byte; gaps before it are left out.
    std::size_t size = hex.present.size();
    while (size > 0 && !hex.present[size - 1])
        --size;
    hex.bytes.resize(size);
    hex.present.resize(size);
    side.bytes = std::move(hex.bytes);
    side.bytes.shrink_to_fit();
    side.gaps = size - hex.given;
    if (side.gaps > 0) {
        side.present = std::move(hex.present);
        side.present.shrink_to_fit();
    }
    return side;
}

Side readChipSide(Tool& tool, const std::string& stoppedNote)
{
    Side side;
    side.name = "the " + tool.chipName();
    side.column = tool.device().caption;
    BusClaim claim(tool.bus());
    side.bytes = tool.readChip("Reading", stoppedNote);
    return side;
}

std::string bytesText(const Side& side, std::uint32_t start, std::size_t count)
{
    std::string text;
    for (std::size_t i = start; i < start + count; ++i) {
        if (!text.empty())
            text += ' ';
        text += byteHex(side.bytes[i]);
    }
    return text;
}

// "the 24C16" and "standard input" at the start of a sentence; a file name
// stays as it is spelt.
std::string capitalized(std::string text)
{
    if (text.rfind("the ", 0) == 0 || text.rfind("standard input", 0) == 0)
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::string padded(std::string text, std::size_t width, bool right = false)
{
    if (text.size() < width)
        text.insert(right ? 0 : text.size(), width - text.size(), ' ');
    return text;
}

// The runs, 16 bytes a line: address, the run's length on its first line,
// then each side's bytes. Stops after max lines (0: none kept back).
void listRuns(std::ostream& out, const ByteComparison& c, const Side& a, const Side& b,
              long max)
{
    const std::string heading = "Address";
    const std::size_t width =
        std::max(heading.size(), addressHex(a.bytes.size() > 0 ? a.bytes.size() - 1 : 0).size());
    const std::size_t column = kBytesPerLine * 3 + 1;
    out << padded(heading, width) << "  " << padded("Bytes", 6, true) << "  "
        << padded(a.column, column) << b.column << '\n';
    long lines = 0;
    for (const DifferingRun& run : c.runs) {
        for (std::uint32_t at = run.start; at < run.end(); at += kBytesPerLine) {
            if (max > 0 && lines == max) {
                out << "(listing stopped after " << max << (max == 1 ? " line" : " lines")
                    << "; --max 0 lists every run)\n";
                return;
            }
            const std::size_t count = std::min<std::size_t>(kBytesPerLine, run.end() - at);
            out << padded(addressHex(at), width) << "  "
                << padded(at == run.start ? std::to_string(run.length) : std::string(), 6, true)
                << "  " << padded(bytesText(a, at, count), column) << bytesText(b, at, count)
                << '\n';
            ++lines;
        }
    }
}

void noteGaps(std::ostream& out, const Side& side)
{
    if (side.gaps > 0)
        out << side.name << " leaves " << side.gaps << " of its " << side.bytes.size()
            << " bytes out; they are not compared.\n";
}

int runCompare(Tool& tool, const CompareArguments& args)
{
    const bool firstChip = args.first == kChipSide;
    const bool secondChip = args.second == kChipSide;
    if (firstChip && secondChip)
        throw UsageError("both sides are the chip; compare it with a file");
    if (args.first == "-" && args.second == "-")
        throw UsageError("standard input can be only one side");
    const long max = args.max.empty() ? 0 : numberArgument("--max", args.max, 1'000'000'000);
    const auto forced = formatOption(args.format);
    if (firstChip || secondChip)
        tool.prepare();

    // The files first: a file that cannot be read costs no time on the bus.
    Side a = firstChip ? Side{} : readFileSide(tool, args.first, forced);
    Side b = secondChip ? Side{} : readFileSide(tool, args.second, forced);
    if (firstChip)
        a = readChipSide(tool, "nothing was compared.");
    if (secondChip)
        b = readChipSide(tool, "nothing was compared.");

    const std::size_t size = std::min(a.bytes.size(), b.bytes.size());
    const ByteComparison c = compareBytes(a.bytes.data(), b.bytes.data(), size, a.mask(), b.mask());
    std::ostream& out = tool.out();
    if (!c.equal())
        listRuns(out, c, a, b, max);
    noteGaps(out, a);
    noteGaps(out, b);
    const bool sameSize = a.bytes.size() == b.bytes.size();
    if (!sameSize) {
        const Side& longer = a.bytes.size() > b.bytes.size() ? a : b;
        out << capitalized(a.name) << " holds " << a.bytes.size() << " bytes, " << b.name << ' '
            << b.bytes.size() << "; compared over the first " << size << ", the last "
            << longer.bytes.size() - size << " of " << longer.name << " are not compared.\n";
    }
    if (!c.equal()) {
        out << differenceSummary(c) << '\n';
        return kExitHardware;
    }
    if (sameSize)
        out << capitalized(a.name);
    else
        out << "The first " << size << " bytes of " << a.name;
    out << " and " << b.name << " are equal (" << c.compared << " bytes compared).\n";
    return sameSize ? kExitOk : kExitHardware;
}

int runBlank(Tool& tool)
{
    tool.prepare();
    const Side chip = readChipSide(tool, "nothing was checked.");
    tool.out() << blankCheckText(tool.chipName(), chip.bytes.data(), chip.bytes.size())
               << '\n';
    return isBlank(chip.bytes.data(), chip.bytes.size()) ? kExitOk : kExitHardware;
}

std::optional<ChecksumKind> checksumNamed(const std::string& name)
{
    for (const ChecksumKind kind : kChecksumKinds)
        if (name == checksumName(kind))
            return kind;
    return std::nullopt;
}

int runChecksum(Tool& tool, const CompareArguments& args)
{
    // The parser has checked the name.
    const std::optional<ChecksumKind> only = checksumNamed(args.only);
    const auto forced = formatOption(args.format);
    const bool chip = args.first.empty() || args.first == kChipSide;
    if (chip)
        tool.prepare();
    const Side side = chip ? readChipSide(tool, "nothing was summed.")
                           : readFileSide(tool, args.first, forced);
    if (side.gaps > 0)
        tool.warn("note: " + side.name + " leaves " + std::to_string(side.gaps) + " of its " +
                  std::to_string(side.bytes.size()) + " bytes out; they count as FF");
    const Checksums sums = checksumsOf(side.bytes.data(), side.bytes.size());
    if (only) {
        tool.out() << checksumText(sums, *only) << '\n';
        return kExitOk;
    }
    tool.out() << capitalized(side.name) << ": " << side.bytes.size() << " bytes\n";
    for (const ChecksumKind kind : kChecksumKinds)
        tool.out() << padded(std::string(checksumLabel(kind)) + ':', 9) << checksumText(sums, kind)
                   << '\n';
    return kExitOk;
}

void addFormatOption(CLI::App* verb, CompareArguments& args)
{
    verb->add_option("--format", args.format,
                     "raw or ihex for the files (default: ihex for .hex and .ihex names, else raw)")
        ->type_name("FORMAT");
}

}  // namespace

void addCompareVerbs(VerbTable& verbs)
{
    auto args = std::make_shared<CompareArguments>();

    CLI::App* compare = verbs.add(
        "compare",
        "List the bytes where A and B differ; each a file or chip (exit 0 equal, 1 different)",
        [args](Tool& tool) { return runCompare(tool, *args); });
    compare->add_option("A", args->first, "Image file, - for standard input, or chip")->required();
    compare->add_option("B", args->second, "Image file, - for standard input, or chip")->required();
    compare->add_option("--max", args->max, "List at most N lines of differences (default 0: all)")
        ->type_name("N");
    addFormatOption(compare, *args);

    verbs.add("blank", "Tell whether every byte of the chip reads FF (exit 0) or not (1)",
              runBlank);

    CLI::App* checksum = verbs.add(
        "checksum", "CRC-32, SHA-256 and the 8- and 16-bit byte sums of FILE or of the chip",
        [args](Tool& tool) { return runChecksum(tool, *args); });
    checksum->add_option("FILE", args->first,
                         "Image file, - for standard input, or chip (the default)");
    std::vector<std::string> names;
    for (const ChecksumKind kind : kChecksumKinds)
        names.emplace_back(checksumName(kind));
    checksum->add_option("--only", args->only, "Print one value alone")
        ->check(CLI::IsMember(names))
        ->type_name("NAME");
    addFormatOption(checksum, *args);
}

}  // namespace kavoda
