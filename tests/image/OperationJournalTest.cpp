// SPDX-License-Identifier: MIT
// The journal of a writing operation: what a dead process leaves, what an
// ended one does not.
#include "Files.h"
#include "OperationJournal.h"
#include "TempFolder.h"

#include <fstream>

using namespace kavoda;
using namespace kavoda::test;

namespace {

JournalEntry writeTo(const char* chip)
{
    JournalEntry entry;
    entry.operation = "Write";
    entry.chip = chip;
    entry.kept = "Tempor.bak";
    return entry;
}

TEST(OperationJournal, LeftOnlyByAnOperationThatDidNotEnd)
{
    const auto dir = testFolder();
    const std::string folder = dir.string();
    {
        OperationJournal journal(folder, writeTo("24C16"));
        ASSERT_TRUE(journal.active());
        journal.progress("erase", 0xFF, 0x7F0);
        journal.progress("write", 0xFF, 0x399);
        // What a process killed now leaves behind.
        const auto left = OperationJournal::find(folder);
        ASSERT_TRUE(left);
        EXPECT_EQ(left->operation, "Write");
        EXPECT_EQ(left->chip, "24C16");
        EXPECT_EQ(left->kept, "Tempor.bak");
        EXPECT_EQ(left->pass, "write");
        EXPECT_EQ(left->next, 0x399u);
        EXPECT_TRUE(left->report.empty());
    }
    EXPECT_FALSE(OperationJournal::find(folder)) << "an ended operation leaves none";

    // Stopped by a signal: the report stays for the next start, lines and all.
    {
        OperationJournal journal(folder, writeTo("24C02"));
        journal.progress("fill", 0x00, 0x63);
        journal.keepWithReport("The Fill was stopped at 0063.\rSecond line");
    }
    const auto kept = OperationJournal::find(folder);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->report, "The Fill was stopped at 0063.\rSecond line");
    EXPECT_EQ(kept->value, 0x00);
    OperationJournal::remove(folder);
    EXPECT_FALSE(OperationJournal::find(folder));

    // A journal cut short still tells that an operation died; a longer
    // text's tail behind its end line is not read.
    std::ofstream(dir / kJournalFileName) << "opera";
    ASSERT_TRUE(OperationJournal::find(folder));
    EXPECT_EQ(OperationJournal::find(folder)->operation, "operation");
    std::ofstream(dir / kJournalFileName) << "operation=Erase\nnext=00000010\nend\nnext=00000999\n";
    EXPECT_EQ(OperationJournal::find(folder)->next, 0x10u);
}

TEST(OperationJournal, AFolderThatCannotTakeItLeavesItUnwritten)
{
    const auto dir = testFolder();
    OperationJournal journal((dir / "missing").string(), writeTo("24C16"));
    EXPECT_FALSE(journal.active());
    journal.progress("write", 0xFF, 5);  // nothing to write, nothing thrown
}

} // namespace
