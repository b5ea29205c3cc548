// SPDX-License-Identifier: MIT
#include "OperationJournal.h"

#include "WorkingImage.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace kavoda {

namespace {

// One "key=value" line per field and "end" last: a rewrite that a kill cut
// short after a longer text leaves its tail behind the "end" line, unread.
std::string journalText(const JournalEntry& e)
{
    const auto line = [](const char* key, std::string value) {
        for (char& c : value)
            if (c == '\n')
                c = '\r';
        return std::string(key) + "=" + value + "\n";
    };
    char next[16];
    std::snprintf(next, sizeof next, "%08X", static_cast<unsigned>(e.next));
    char value[4];
    std::snprintf(value, sizeof value, "%02X", static_cast<unsigned>(e.value));
    return line("operation", e.operation) + line("chip", e.chip) + line("kept", e.kept) +
           line("pass", e.pass) + line("value", value) + line("next", next) +
           line("report", e.report) + "end\n";
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pwrite(fd, text.data() + done, text.size() - done,
                                   static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

OperationJournal::OperationJournal(std::string folder, JournalEntry entry)
    : m_folder(std::move(folder)), m_entry(std::move(entry))
{
    const std::string path = joinPath(m_folder, kJournalFileName);
    // O_NOFOLLOW: a link planted under the journal's name is not written through.
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (m_fd < 0)
        return;
    if (!writeAll(m_fd, journalText(m_entry)) || ::fsync(m_fd) != 0) {
        ::close(m_fd);
        m_fd = -1;
        ::unlink(path.c_str());
        return;
    }
    syncFolder(m_folder);
}

OperationJournal::~OperationJournal()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    if (!m_keep)
        remove(m_folder);
}

void OperationJournal::progress(const std::string& pass, std::uint8_t value, std::uint32_t next)
{
    if (pass == m_entry.pass && value == m_entry.value && next == m_entry.next)
        return;
    m_entry.pass = pass;
    m_entry.value = value;
    m_entry.next = next;
    // No fsync: the page cache outlives a killed process, and a sync per
    // byte would slow the write down.
    store();
}

void OperationJournal::keepWithReport(const std::string& report)
{
    m_entry.report = report;
    store();
    if (m_fd >= 0) {
        ::fsync(m_fd);
        m_keep = true;
    }
}

void OperationJournal::store()
{
    if (m_fd >= 0)
        writeAll(m_fd, journalText(m_entry));
}

std::optional<JournalEntry> OperationJournal::find(const std::string& folder)
{
    const std::string path = joinPath(folder, kJournalFileName);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > 64 * 1024)
            break;
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);

    JournalEntry entry;
    std::istringstream lines(text);
    std::string line;
    bool complete = false;
    while (std::getline(lines, line)) {
        if (line == "end") {
            complete = true;
            break;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (key == "operation")
            entry.operation = value;
        else if (key == "chip")
            entry.chip = value;
        else if (key == "kept")
            entry.kept = value;
        else if (key == "pass")
            entry.pass = value;
        else if (key == "value")
            entry.value = static_cast<std::uint8_t>(std::strtoul(value.c_str(), nullptr, 16));
        else if (key == "next")
            entry.next = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
        else if (key == "report")
            entry.report = value;  // its lines parted by carriage returns, as the window's
    }
    // A journal cut short in its first write still says an operation died.
    if (!complete && entry.operation.empty())
        entry.operation = "operation";
    return entry;
}

void OperationJournal::remove(const std::string& folder)
{
    ::unlink(joinPath(folder, kJournalFileName).c_str());
}

} // namespace kavoda
