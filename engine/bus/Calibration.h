// SPDX-License-Identifier: MIT
// Bus timing on this computer: the wait loop's length in time depends on the
// processor, so the clock that a Delay gives is measured (one port access,
// one wait iteration), compared with what 100 kHz and 400 kHz parts need,
// stored, and used to warn when an operation starts too fast.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kavoda {

// What one register access and one BusWait iteration take here.
struct BusSpeeds {
    double accessNs = 0;
    double iterationNs = 0;
};

// The shortest clock phases and the fastest clock of a bus at one Delay.
// A phase is one wait and one access: a sent bit is high from the clock's
// write through its wait to the next write, and between two received bits
// the clock is low for the same. A received bit adds the status read to its
// high time, so the fastest whole clock is two waits and three accesses.
struct ClockTiming {
    double highNs = 0;
    double lowNs = 0;
    double frequencyHz = 0;
};

// The shortest high and low times and the fastest clock a part allows.
struct BusLimits {
    double highNs;
    double lowNs;
    double maxHz;
};
inline constexpr BusLimits kStandardMode{4000, 4700, 100'000};  // 100 kHz parts
inline constexpr BusLimits kFastMode{600, 1300, 400'000};       // 400 kHz parts

// Reads wait half as long as writes (FastTiming 1), so they decide.
ClockTiming clockTiming(const BusSpeeds& speeds, std::int32_t busDelay,
                        std::uint8_t fastTiming = 1);
bool meetsLimits(const ClockTiming& timing, const BusLimits& limits);
// The smallest Delay from 0 to maxDelay whose clock meets limits; empty when
// none does.
std::optional<std::int32_t> smallestDelayFor(const BusSpeeds& speeds, const BusLimits& limits,
                                             std::uint8_t fastTiming = 1,
                                             std::int32_t maxDelay = 1'000'000);

// The table of Delay 10 to 100 and the smallest Delay for 100 kHz, as
// `kavoda-cli calibrate` prints it; `where` says whose times they are.
std::string calibrationReport(const BusSpeeds& speeds,
                              const std::string& where = "on this computer");

// Measures through BytePort on the installed port with base portBase, timed
// by clock (nanoseconds; the simulated port's virtual time, else the
// monotonic clock). Reads the status register and writes the idle levels
// (clock 0, data line released), so no line of an idle bus moves. BusDelay
// and FastTiming are put back afterwards.
BusSpeeds measureBusSpeeds(std::uint16_t portBase, const std::function<std::uint64_t()>& clock);

// The stored result: a file of its own beside the settings file, so that
// measuring never rewrites "Kavoda.INI".
struct StoredCalibration {
    BusSpeeds speeds;
    std::uint16_t portBase = 0;
};
// Kavoda-calibration.ini in the given configuration folder, or in
// $XDG_CONFIG_HOME (else ~/.config); empty when there is no home folder.
std::string calibrationFilePath(const std::string& configFolder);
std::string calibrationFilePath();
// Throws std::runtime_error when the file cannot be written; written beside
// and renamed over, so a failed save keeps the old result.
void saveCalibration(const std::string& path, const StoredCalibration& calibration);
// Empty when the file is missing or holds no usable figures.
std::optional<StoredCalibration> loadCalibration(const std::string& path);

// The warning for an operation starting at busDelay and fastTiming, or empty
// when the clock meets 100 kHz parts.
std::optional<std::string> busTimingWarning(const BusSpeeds& speeds, std::int32_t busDelay,
                                            std::uint8_t fastTiming);
// The same against the calibration stored at path; empty without one. A
// program asks once per run, so that the warning is given once.
std::optional<std::string> storedBusTimingWarning(const std::string& path, std::int32_t busDelay,
                                                  std::uint8_t fastTiming);

}  // namespace kavoda
