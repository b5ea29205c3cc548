// SPDX-License-Identifier: MIT
// The whole-device loops: read every byte into a sink, write every byte of a
// source, fill every byte with a value. Written once against what they show
// (OperationDisplay) and where the bytes come from and go to; the main window
// and the command-line tool each provide those. Every loop walks block 0 to
// LastBlock (taken once), address 0 to 255, choosing the family per byte from
// DeviceType, with one bus transaction per byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceBus.h"

namespace kavoda {

// Panel and meter texts of the operations.
inline constexpr std::string_view kReadingText = "Reading...";
inline constexpr std::string_view kWritingText = "Writing...";
inline constexpr std::string_view kEraseText = "Erase...";
inline constexpr std::string_view kCompletedText = "Operation completed";
// "Fill " and the value as two hex digits: "Fill 00", "Fill FF".
std::string fillText(std::uint8_t value);

// What an operation shows and how it keeps its surroundings alive.
class OperationDisplay {
public:
    virtual ~OperationDisplay() = default;

    // Handles whatever is pending (window messages); once per byte, always
    // between two transactions.
    virtual void processMessages() = 0;
    // Asked right after processMessages: true ends the pass at this byte
    // boundary.
    virtual bool stopRequested() const = 0;

    virtual void showPercent(int percent) = 0;
    virtual void showAddress(int address) = 0;  // absolute: block * 256 + address
    virtual void showData(std::uint8_t value) = 0;
    virtual std::string panelText() const = 0;
    virtual void setPanelText(const std::string& text) = 0;
    virtual void setMeterCaption(const std::string& text) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void put(std::uint8_t value) = 0;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual void rewind() = 0;
    virtual bool atEnd() = 0;
    virtual std::uint8_t next() = 0;
};

enum class PassEnd { Completed, Stopped };

// Each pass puts the panel text it found back on every path, exceptions
// included. A stopped pass leaves the meter caption as it was.

// Panel "Reading...", every byte read and put into sink, then the meter
// caption "Operation completed".
PassEnd readPass(DeviceBus& bus, OperationDisplay& display, ByteSink& sink);
// Panel "Erase..." (erase) or "Fill XX", value written to every byte, then
// "Operation completed".
PassEnd fillPass(DeviceBus& bus, OperationDisplay& display, std::uint8_t value, bool erase);
// Panel "Writing...", the source rewound and written from byte 0 until it
// ends or the device does; the end of the source is tested before each byte.
PassEnd writePass(DeviceBus& bus, OperationDisplay& display, ByteSource& image);

// The first byte that the device does not hold as wanted.
struct VerifyMismatch {
    int address = 0;
    std::uint8_t wrote = 0;
    std::uint8_t read = 0;
    int count = 0;  // how many bytes differ in all
};

// Compares what a device read back (its full size) with what was wanted:
// bytes beyond the end of `wanted` must read `beyond` (0xFF after the erase
// pass of a write); wanted bytes beyond the device are not compared.
std::optional<VerifyMismatch> verifyDevice(const std::vector<std::uint8_t>& deviceBytes,
                                           const std::vector<std::uint8_t>& wanted,
                                           std::uint8_t beyond = 0xFF);
// "Verify failed at 01A3: wrote 5A, read FF (17 bytes differ)."
std::string verifyFailureText(const VerifyMismatch& mismatch);

// What the acknowledge record says about the chip named by caption, or an
// empty text when every transaction was answered.
std::string ackReportText(const AckRecord& acks, std::string_view caption);

}  // namespace kavoda
