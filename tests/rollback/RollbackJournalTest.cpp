// The rollback journal: backups of files, directories and keys, commit and replay. Failing
// Win32 calls are tried at every point of a whole run in FaultLoopTest.
#include <gtest/gtest.h>

#include <algorithm>

#include "rollback/RegistryStream.h"
#include "rollback/RollbackJournal.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

class RollbackJournalTest : public ::testing::Test {
protected:
    ScratchRoots roots;
    TempFolder folder;
    CRollbackJournal journal;

    std::string Backup(size_t record) const {
        const std::string& text = journal.GetRecords().at(record).text;
        return text.substr(text.find('\x01') + 1);
    }
};

TEST_F(RollbackJournalTest, FileOverwrittenTwiceComesBackAsTheOriginal) {
    const std::string path = folder / "driver.dll";
    WriteFileText(path, "original");
    journal.Open();
    EXPECT_TRUE(PathExists(journal.GetFileName()));
    EXPECT_EQ(journal.BackupFile(path.c_str()), 1);
    EXPECT_FALSE(PathExists(path));  // the path is free for the change
    WriteFileText(path, "first copy");
    EXPECT_EQ(journal.BackupFile(path.c_str()), 1);
    WriteFileText(path, "second copy");
    ASSERT_EQ(journal.GetRecords().size(), 2u);
    EXPECT_EQ(journal.GetRecords()[0].text, "f" + path + "\x01" + Backup(0));
    EXPECT_EQ(ReadFileText(Backup(0)), "original");
    EXPECT_EQ(ReadFileText(Backup(1)), "first copy");

    journal.Replay();
    EXPECT_EQ(ReadFileText(path), "original");
    EXPECT_FALSE(journal.HasFile());
    EXPECT_TRUE(folder.TempFiles().empty());
    // A path that does not exist needs no backup.
    journal.Open();
    EXPECT_EQ(journal.BackupFile((folder / "new.txt").c_str()), 0);
    EXPECT_TRUE(journal.GetRecords().empty());
}

TEST_F(RollbackJournalTest, RemovedDirectoryComesBackBeforeItsFiles) {
    const std::string dir = folder / "Drivers";
    CreateDirectoryA(dir.c_str(), nullptr);
    WriteFileText(dir + "\\one.sys", "1");
    journal.Open();
    journal.BackupFile((dir + "\\one.sys").c_str());
    EXPECT_EQ(journal.BackupFile(dir.c_str()), 1);
    EXPECT_FALSE(PathExists(dir));
    EXPECT_EQ(journal.GetRecords()[1].text, "d" + dir);
    journal.Replay();
    EXPECT_EQ(ReadFileText(dir + "\\one.sys"), "1");
}

TEST_F(RollbackJournalTest, KeyIsSavedOncePerSubtreeFlagWhateverTheCase) {
    WriteString(HKEY_LOCAL_MACHINE, "Software\\Dev", "Name", "old");
    WriteString(HKEY_LOCAL_MACHINE, "Software\\Dev\\Sub", "X", "x");
    journal.Open();
    EXPECT_EQ(journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Dev", 0), 1);
    WriteString(HKEY_LOCAL_MACHINE, "Software\\Dev", "Name", "new");
    EXPECT_EQ(journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\dev", 0), 1);
    ASSERT_EQ(journal.GetRecords().size(), 1u);
    EXPECT_EQ(journal.GetRecords()[0].text, "r00\x01HKLM\\Software\\Dev");

    // A whole-key delete needs the subtree: "0" does not cover "1" ...
    EXPECT_EQ(journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Dev", 1), 1);
    ASSERT_EQ(journal.GetRecords().size(), 2u);
    const std::string& second = journal.GetRecords()[1].text;
    EXPECT_EQ(second.substr(0, 2), "r1");
    EXPECT_NE(second.substr(2, second.find('\x01') - 2), "0");  // after the first block
    // ... "1" covers both, and a parent covers no child.
    EXPECT_EQ(journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, "software\\DEV", 0), 1);
    EXPECT_EQ(journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Dev", 1), 1);
    EXPECT_EQ(journal.GetRecords().size(), 2u);
    EXPECT_EQ(journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Dev\\Sub", 0), 1);
    EXPECT_EQ(journal.GetRecords().size(), 3u);
    // A key that does not exist needs no backup.
    EXPECT_EQ(journal.BackupRegistryKey(HKEY_CURRENT_USER, "Software\\Dev", 0), 0);
    EXPECT_EQ(journal.GetRecords().size(), 3u);

    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Dev");
    journal.Replay();
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "Software\\Dev", "Name"), "old");
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "Software\\Dev\\Sub", "X"), "x");
}

// A backup whose move failed (the file is in use) gave its name back; a later backup may
// hold that name since, and neither the replay nor the commit may delete it.
TEST_F(RollbackJournalTest, FailedBackupNeverDeletesTheNameItGaveBack) {
    const std::string path = folder / "busy.dll";
    for (bool commit : {false, true}) {
        WriteFileText(path, "busy");
        CRollbackJournal busyJournal;
        busyJournal.Open();
        HANDLE busy =
            CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        busyJournal.BackupFile(path.c_str());
        CloseHandle(busy);
        const std::string& text = busyJournal.GetRecords().at(0).text;
        const std::string name = text.substr(text.find('\x01') + 1);
        WriteFileText(name, "a later backup");
        commit ? busyJournal.Commit() : busyJournal.Replay();
        EXPECT_EQ("a later backup", ReadFileText(name)) << commit;
        EXPECT_EQ("busy", ReadFileText(path));
        DeleteFileA(name.c_str());
    }
}

TEST_F(RollbackJournalTest, MissingBackupLeavesThePathAsItIs) {
    const std::string path = folder / "f.txt";
    WriteFileText(path, "old");
    journal.Open();
    journal.BackupFile(path.c_str());
    DeleteFileA(Backup(0).c_str());
    WriteFileText(path, "new");
    journal.Replay();
    EXPECT_EQ(ReadFileText(path), "new");
}

}  // namespace
