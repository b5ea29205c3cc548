// SPDX-License-Identifier: MIT
// The journal of an operation that writes the chip: a small file beside the
// working file, written before the chip is touched, kept up to date as the
// passes go on and removed when the operation ends. One that is found at
// start was left by a process that died in the middle of its operation, and
// tells what the chip was last given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kavoda {

inline constexpr const char* kJournalFileName = "Tempor.jnl";

struct JournalEntry {
    std::string operation;  // "Write", "Fill", "Erase"
    std::string chip;       // "24C16"
    std::string kept;       // the file that keeps the image it replaced; empty for none
    std::string pass;       // the pass under way: "erase", "fill", "write", "read"
    std::uint8_t value = 0xFF;  // what a fill or erase pass writes
    std::uint32_t next = 0;     // the address the pass had reached
    // Set when the operation was stopped and ended on its own (a signal):
    // the report it would have shown.
    std::string report;
};

class OperationJournal {
public:
    // Writes the journal in folder and puts it on the disk. A folder that
    // cannot take it (read-only, full) leaves the journal unwritten: the
    // operation goes on, and active() says so.
    OperationJournal(std::string folder, JournalEntry entry);
    // Removes the journal: the operation has ended and reported.
    ~OperationJournal();
    OperationJournal(const OperationJournal&) = delete;
    OperationJournal& operator=(const OperationJournal&) = delete;

    bool active() const { return m_fd >= 0; }
    const JournalEntry& entry() const { return m_entry; }

    // The pass and the address it has reached; rewritten in place, so that
    // a process killed at any moment leaves the last of them.
    void progress(const std::string& pass, std::uint8_t value, std::uint32_t next);
    // The process ends before the operation could report: the report is
    // kept in the journal for the next start, which shows it.
    void keepWithReport(const std::string& report);

    // The journal a dead process left in folder, if any.
    static std::optional<JournalEntry> find(const std::string& folder);
    static void remove(const std::string& folder);

private:
    void store();

    std::string m_folder;
    JournalEntry m_entry;
    int m_fd = -1;
    bool m_keep = false;
};

} // namespace kavoda
