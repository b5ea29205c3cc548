// SPDX-License-Identifier: MIT
// What one bus transaction found out about the chip, on every adapter.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace kavoda {

enum class BusStatus {
    Done,
    NoAcknowledge,  // the device address (or the word address) went unanswered
    DataRefused,    // address taken, a data byte not: write protection
    Busy,           // a write cycle outlasted the acknowledge polling
};

struct BusResult {
    BusStatus status = BusStatus::Done;
    std::size_t at = 0;  // the data byte refused, counted from the transaction's first

    bool ok() const { return status == BusStatus::Done; }
};

// What a call of several transactions found: how the first one that did not
// end well ended, and which one it was (those before it are done).
struct RunsResult {
    BusResult result;
    std::size_t run = 0;
};

// The adapter or its link failed during a call of several write
// transactions. The first `done` of them had ended on the chip (their data
// acknowledged and their STOP sent) before it did, so a report can count
// exactly what the chip now holds.
class WriteBatchFailure : public std::runtime_error {
public:
    WriteBatchFailure(const std::string& message, std::size_t done)
        : std::runtime_error(message), m_done(done)
    {
    }
    std::size_t done() const { return m_done; }

private:
    std::size_t m_done;
};

}  // namespace kavoda
