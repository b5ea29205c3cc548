// SPDX-License-Identifier: MIT
// Bus timing: the arithmetic from measured speeds to clock times, the
// measurement itself, the stored result and the warning.
#include "Calibration.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "DeviceCatalogue.h"
#include "PortBackend.h"
#include "SafeFile.h"
#include "ee24c.h"

namespace kavoda {

namespace {

constexpr std::int32_t kFirstTableDelay = 10;
constexpr std::int32_t kLastTableDelay = 100;

// Numbers as the program writes them whatever the locale (Qt sets the
// user's, in which a decimal point may be a comma).
std::string fixed(double value, int decimals)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed,
                                      decimals);
    return std::string(text, result.ptr);
}

std::string padLeft(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padRight(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string micro(double ns)
{
    return fixed(ns / 1000.0, 2);
}

}  // namespace

ClockTiming clockTiming(const BusSpeeds& speeds, std::int32_t busDelay, std::uint8_t fastTiming)
{
    const std::int32_t count = busWaitCount(busDelay, fastTiming);
    const double wait = count > 0 ? count * speeds.iterationNs : 0.0;
    ClockTiming timing;
    timing.highNs = wait + speeds.accessNs;
    timing.lowNs = wait + speeds.accessNs;
    const double period = 2 * wait + 3 * speeds.accessNs;
    timing.frequencyHz = period > 0 ? 1e9 / period : std::numeric_limits<double>::infinity();
    return timing;
}

bool meetsLimits(const ClockTiming& timing, const BusLimits& limits)
{
    return timing.highNs >= limits.highNs && timing.lowNs >= limits.lowNs &&
           timing.frequencyHz <= limits.maxHz;
}

std::optional<std::int32_t> smallestDelayFor(const BusSpeeds& speeds, const BusLimits& limits,
                                             std::uint8_t fastTiming, std::int32_t maxDelay)
{
    const auto meets = [&](std::int32_t delay) {
        return meetsLimits(clockTiming(speeds, delay, fastTiming), limits);
    };
    if (maxDelay < 0 || !meets(maxDelay))
        return std::nullopt;
    // A longer Delay never makes the clock faster.
    std::int32_t low = 0;
    std::int32_t high = maxDelay;
    while (low < high) {
        const std::int32_t middle = low + (high - low) / 2;
        if (meets(middle))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

std::string calibrationReport(const BusSpeeds& speeds, const std::string& where)
{
    std::string out = "One port access takes " + micro(speeds.accessNs) +
                      " us, one wait iteration " + fixed(speeds.iterationNs, 3) + " ns.\n" +
                      "Clock of a read (reads wait half as long as writes): shortest high and "
                      "low times, fastest clock.\n\n";
    out += "Delay  high us   low us      kHz  100 kHz   400 kHz\n";
    for (std::int32_t delay = kFirstTableDelay; delay <= kLastTableDelay; ++delay) {
        const ClockTiming timing = clockTiming(speeds, delay);
        const auto verdict = [&timing](const BusLimits& limits) {
            return meetsLimits(timing, limits) ? std::string("ok") : std::string("too fast");
        };
        out += padLeft(std::to_string(delay), 5) + padLeft(micro(timing.highNs), 9) +
               padLeft(micro(timing.lowNs), 9) +
               padLeft(fixed(timing.frequencyHz / 1000.0, 1), 9) + "  " +
               padRight(verdict(kStandardMode), 10) + verdict(kFastMode) + '\n';
    }
    out += '\n';
    if (const auto delay = smallestDelayFor(speeds, kStandardMode))
        out += "The smallest Delay that meets 100 kHz parts " + where + ": " +
               std::to_string(*delay) + ".\n";
    else
        out += "No Delay is slow enough for 100 kHz parts " + where + ".\n";
    return out;
}

BusSpeeds measureBusSpeeds(std::uint16_t portBase, const std::function<std::uint64_t()>& clock)
{
    struct Restore {
        std::int32_t delay = BusDelay;
        std::uint8_t fast = FastTiming;
        ~Restore()
        {
            BusDelay = delay;
            FastTiming = fast;
        }
    } restore;

    constexpr int kBatches = 5;
    // The least disturbed batch counts: the bus runs fastest when nothing
    // interrupts it, and that is the case the Delay must cover.
    constexpr int kAccessesPerBatch = 4000;
    const auto status = static_cast<std::uint16_t>(portBase + 1);
    const auto control = static_cast<std::uint16_t>(portBase + 2);
    BusSpeeds speeds{std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity()};
    for (int batch = 0; batch < kBatches; ++batch) {
        const std::uint64_t start = clock();
        for (int i = 0; i < kAccessesPerBatch; i += 4) {
            BytePort.Port[portBase] = 0;
            static_cast<void>(static_cast<std::uint8_t>(BytePort.Port[status]));
            BytePort.Port[control] = 1;
            static_cast<void>(static_cast<std::uint8_t>(BytePort.Port[status]));
        }
        const std::uint64_t elapsed = clock() - start;
        speeds.accessNs = std::min(speeds.accessNs, double(elapsed) / kAccessesPerBatch);
    }

    BusDelay = 2000;  // one million iterations
    FastTiming = 0;
    const std::int32_t iterations = busWaitCount(BusDelay, FastTiming);
    for (int batch = 0; batch < kBatches; ++batch) {
        const std::uint64_t start = clock();
        BusWait();
        const std::uint64_t elapsed = clock() - start;
        speeds.iterationNs = std::min(speeds.iterationNs, double(elapsed) / iterations);
    }
    return speeds;
}

std::string calibrationFilePath(const std::string& configFolder)
{
    return (std::filesystem::path(configFolder) / "Kavoda-calibration.ini").string();
}

std::string calibrationFilePath()
{
    // Where the settings file lives too: the XDG configuration folder.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && std::filesystem::path(config).is_absolute())
        return calibrationFilePath(config);
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    return calibrationFilePath((std::filesystem::path(home) / ".config").string());
}

void saveCalibration(const std::string& path, const StoredCalibration& calibration)
{
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ec;
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    std::ostringstream text;
    text << "; Bus timing of this computer, measured by kavoda-cli calibrate.\n"
         << "[Calibration]\n"
         << "Port=" << portAddressText(calibration.portBase) << '\n'
         << "AccessNs=" << fixed(calibration.speeds.accessNs, 3) << '\n'
         << "IterationNs=" << fixed(calibration.speeds.iterationNs, 6) << '\n';
    try {
        writeFileSafely(path, text.str());
    } catch (const SafeFileError& e) {
        throw std::runtime_error("Cannot store the calibration in " + path + ": " + e.reason());
    }
}

std::optional<StoredCalibration> loadCalibration(const std::string& path)
{
    std::istringstream in;
    try {
        in.str(readInputFile(path, 64 * 1024));
    } catch (const SafeFileError&) {
        return std::nullopt;
    }
    StoredCalibration stored;
    bool access = false;
    bool iteration = false;
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
            value.pop_back();
        const char* first = value.data();
        const char* last = first + value.size();
        if (key == "AccessNs") {
            access = std::from_chars(first, last, stored.speeds.accessNs).ptr == last;
        } else if (key == "IterationNs") {
            iteration = std::from_chars(first, last, stored.speeds.iterationNs).ptr == last;
        } else if (key == "Port") {
            unsigned base = 0;
            if (std::from_chars(first, last, base, 16).ptr == last && base <= 0xFFFF)
                stored.portBase = static_cast<std::uint16_t>(base);
        }
    }
    const auto usable = [](double v) { return std::isfinite(v) && v >= 0; };
    if (!access || !iteration || !usable(stored.speeds.accessNs) ||
        !usable(stored.speeds.iterationNs) || stored.speeds.iterationNs == 0)
        return std::nullopt;
    return stored;
}

std::optional<std::string> busTimingWarning(const BusSpeeds& speeds, std::int32_t busDelay,
                                            std::uint8_t fastTiming)
{
    const ClockTiming timing = clockTiming(speeds, busDelay, fastTiming);
    if (meetsLimits(timing, kStandardMode))
        return std::nullopt;
    std::string text = "Delay " + std::to_string(busDelay) +
                       " is too fast for 100 kHz parts on this computer: the clock is high for " +
                       micro(timing.highNs) + " us and low for " + micro(timing.lowNs) +
                       " us at up to " + fixed(timing.frequencyHz / 1000.0, 0) +
                       " kHz, where they need " + micro(kStandardMode.highNs) + " us, " +
                       micro(kStandardMode.lowNs) + " us and at most 100 kHz.";
    if (const auto delay = smallestDelayFor(speeds, kStandardMode, fastTiming))
        text += " Delay " + std::to_string(*delay) + " or more is safe (as measured by "
                "kavoda-cli calibrate).";
    return text;
}

std::optional<std::string> storedBusTimingWarning(const std::string& path, std::int32_t busDelay,
                                                  std::uint8_t fastTiming)
{
    if (path.empty())
        return std::nullopt;
    const auto stored = loadCalibration(path);
    if (!stored)
        return std::nullopt;
    return busTimingWarning(stored->speeds, busDelay, fastTiming);
}

}  // namespace kavoda
