// The journal's fault paths: a backup that failed or went missing. What a backup and its
// replay do otherwise is a catalogue behaviour of the commands and their rollback.
#include <gtest/gtest.h>

#include "rollback/RollbackJournal.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

std::string BackupOf(const CRollbackJournal& journal) {
    const std::string& text = journal.GetRecords().at(0).text;
    return text.substr(text.find('\x01') + 1);
}

// A backup whose move failed (the file is in use) gave its name back; a later backup may
// hold that name since, and neither the replay nor the commit may delete it.
TEST(RollbackJournalTest, FailedBackupNeverDeletesTheNameItGaveBack) {
    TempFolder folder;
    const std::string path = folder / "busy.dll";
    for (bool commit : {false, true}) {
        WriteFileText(path, "busy");
        CRollbackJournal journal;
        journal.Open();
        HANDLE busy =
            CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        journal.BackupFile(path.c_str());
        CloseHandle(busy);
        const std::string name = BackupOf(journal);
        WriteFileText(name, "a later backup");
        commit ? journal.Commit() : journal.Replay();
        EXPECT_EQ("a later backup", ReadFileText(name)) << commit;
        EXPECT_EQ("busy", ReadFileText(path));
        DeleteFileA(name.c_str());
    }
}

TEST(RollbackJournalTest, MissingBackupLeavesThePathAsItIs) {
    TempFolder folder;
    const std::string path = folder / "f.txt";
    WriteFileText(path, "old");
    CRollbackJournal journal;
    journal.Open();
    journal.BackupFile(path.c_str());
    DeleteFileA(BackupOf(journal).c_str());
    WriteFileText(path, "new");
    journal.Replay();
    EXPECT_EQ(ReadFileText(path), "new");
}

}  // namespace
