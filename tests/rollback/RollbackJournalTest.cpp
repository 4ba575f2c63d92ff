// The journal's fault paths: a backup that failed or went missing. What a backup and its
// replay do otherwise is a catalogue behaviour of the commands and their rollback.
#include <gtest/gtest.h>

#include "engine/ScriptEngine.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

std::string gInUse, gDelayed;  // the backup the system holds; what was left for the restart

BOOL WINAPI DeleteUnlessInUse(LPCSTR path) {
    if (gInUse == path) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return tolv::RealWin32().DeleteFileA(path);
}

BOOL WINAPI NoteDelayedDeletion(LPCSTR from, LPCSTR to, DWORD flags) {
    if (to || !(flags & MOVEFILE_DELAY_UNTIL_REBOOT))
        return tolv::RealWin32().MoveFileExA(from, to, flags);
    gDelayed = from;
    return TRUE;
}

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

// An old driver the system still has loaded can be moved aside but not deleted: its backup
// goes at the next restart, and the run learns that a restart is needed.
TEST(RollbackJournalTest, BackupInUseAtCommitIsDeletedAtTheNextRestart) {
    TempFolder folder;
    for (bool inUse : {false, true}) {
        const std::string path = folder / "old.dll";
        WriteFileText(path, "old");
        CScriptEngine engine;
        engine.StartJournal();
        engine.GetJournal().BackupFile(path.c_str());
        const std::string backup = BackupOf(engine.GetJournal());
        engine.SetVar("needReboot", "0");
        gInUse = inUse ? backup : "";
        gDelayed.clear();
        tolv::Win32().DeleteFileA = DeleteUnlessInUse;
        tolv::Win32().MoveFileExA = NoteDelayedDeletion;
        engine.CommitJournal();
        tolv::Win32() = tolv::RealWin32();
        EXPECT_EQ(inUse ? "1" : "0", std::string(engine.GetVar("needReboot")));
        EXPECT_EQ(gInUse, gDelayed);
        DeleteFileA(backup.c_str());
    }
}

// A run that goes on from an earlier one (an upgrade after the old version's uninstaller)
// rolls back both, its own undo lines first, but saves only its own lines as an uninstaller.
TEST(RollbackScriptTest, AContinuedRunSavesOnlyItsOwnLines) {
    CRollbackScript earlier, later;
    CItemArray procs(4, 4);
    for (const char* line : {"proc Old", "endp", "proc New", "endp"}) procs.Add(line);
    earlier.Begin();
    earlier.AddUndoLine("old undo");
    earlier.AddProcedure(procs, 0, 1);
    later.ContinueFrom(earlier);
    later.AddUndoLine("new undo");
    later.AddProcedure(procs, 2, 3);
    std::string all;
    for (int i = 0; i < later.GetLines().GetCount(); ++i)
        all += std::string(later.GetLines().GetAt(i)) + "\n";
    EXPECT_EQ(all,
              ";OBRIX_INST_FILE\nproc DefaultRollback\nnew undo\nold undo\nendp\n; \nproc Old\n"
              "endp\n; \nproc New\nendp\n");
    EXPECT_FALSE(earlier.IsRecording());
    TempFolder folder;
    ASSERT_EQ(1, later.Save((folder / "saved.pxf").c_str()));
    // Written in text mode: a line ends with CR LF.
    EXPECT_EQ(ReadFileText(folder / "saved.pxf"),
              ";OBRIX_INST_FILE\r\nproc DefaultRollback\r\nnew undo\r\nendp\r\n; \r\n"
              "proc New\r\nendp\r\n");
}

}  // namespace
