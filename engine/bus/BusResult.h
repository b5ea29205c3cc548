// SPDX-License-Identifier: MIT
// What one bus transaction found out about the chip, on every adapter.
#pragma once

#include <cstddef>

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

}  // namespace kavoda
