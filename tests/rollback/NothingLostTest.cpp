// What a failed run must never lose: changes whose backup could not be taken, backups whose
// names came back to the system, shared counts, files a copy left in place, restart-time work.
#include <gtest/gtest.h>

#include <string>

#include "commands/RegistryHelpers.h"
#include "tests/commands/sys/CommandTestSupport.h"

using namespace sys_test;

namespace {

std::string Q(const std::string& path) {
    return "\"" + path + "\"";
}

// Holds a file open without sharing: it can be neither moved nor read nor replaced.
class Busy {
public:
    explicit Busy(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~Busy() { CloseHandle(handle_); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    HANDLE handle_;
};

// Keeps the newer file the user has: answers No to every replace question.
class KeepingHost : public RecordingHost {
public:
    int AskReplaceNewer(const char*, const _WIN32_FIND_DATAA*, const _WIN32_FIND_DATAA*) override {
        return 2;
    }
};

class NothingLostTest : public CommandTest {
protected:
    NothingLostTest() { extraProcs = "proc OnErr\nset $errCode, $1\nendp\n"; }
    void Put(const std::string& path, const std::string& content, int seconds) {
        WriteFileText(path, content);
        SetWriteTime(path, TimeAt(seconds));
    }
    DWORD Count(const std::string& path) {
        return ReadValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, path.c_str()).Dword();
    }
};

// Without a temporary directory that can hold backups (missing, or a path too long for
// Windows), a command changes nothing it could not back up: it fails with its error, and the
// rollback of the aborted run finds every old file and value in place.
TEST_F(NothingLostTest, WhatCannotBeBackedUpIsNotChanged) {
    for (const std::string& temp : {folder / "missing", folder / std::string(250, 't')}) {
        Put(Source("old.dll"), "new", 1000);
        Put(Target("old.dll"), "old", 10);
        WriteString(HKEY_LOCAL_MACHINE, "Software\\Dev", "V", "old");
        Load(
            "set $onErrorProc, \"OnErr\"\n"
            "eval $r1, copy \"old.dll\", " +
            Q(Target("old.dll")) +
            "\n"
            "eval $r2, regSZ HKLM, \"Software\\Dev\", \"V\", \"new\"\n"
            "eval $r3, del " +
            Q(Target("old.dll")) +
            "\n"
            "eval $r4, regDel HKLM, \"Software\\Dev\"\n"
            "abort");
        SetEnvironmentVariableA("TMP", temp.c_str());
        engine.StartJournal();
        EXPECT_EQ(101, engine_test::ErrorOf([&] { engine.CallProc("Main"); }));
        SetEnvironmentVariableA("TMP", folder.Temp().c_str());
        EXPECT_EQ("0000", Var("r1") + Var("r2") + Var("r3") + Var("r4")) << temp;
        EXPECT_NE("0", Var("errCode"));
        engine.RollBack();
        EXPECT_EQ("old", ReadFileText(Target("old.dll")));
        EXPECT_EQ("old", GetRegString(HKEY_LOCAL_MACHINE, "Software\\Dev", "V"));
        engine.SetRollbackMode(false);  // the next case runs in the same engine
    }
}

// A backup whose move failed gave its name back; a later backup may hold that name since,
// and neither the replay nor the commit may delete it.
TEST_F(NothingLostTest, FailedBackupNeverDeletesTheNameItGaveBack) {
    const std::string path = Target("busy.dll");
    for (bool commit : {false, true}) {
        WriteFileText(path, "busy");
        CRollbackJournal journal;
        journal.Open();
        {
            Busy busy(path);
            journal.BackupFile(path.c_str());
        }
        const std::string& text = journal.GetRecords().at(0).text;
        const std::string name = text.substr(text.find('\x01') + 1);
        WriteFileText(name, "a later backup");
        commit ? journal.Commit() : journal.Replay();
        EXPECT_EQ("a later backup", ReadFileText(name)) << commit;
        EXPECT_EQ("busy", ReadFileText(path));
        DeleteFileA(name.c_str());
    }
}

// del with s deletes nothing whose count it cannot read, never lowers a count before its
// path is known to be usable, and a rollback gives every count back.
TEST_F(NothingLostTest, SharedCountsAreNeverGuessedAndComeBack) {
    const std::string a = Target("a.dll"), b = Target("b.dll"), c = Target("c.dll");
    const std::string tooLong = TargetDir() + "\\" + std::string(260, 'x');
    for (const std::string& file : {a, b, c}) WriteFileText(file, file);
    WriteValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, a.c_str(), REG_BINARY, "\1", 1);
    WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, b.c_str(), 2);
    WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, c.c_str(), 1);
    WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, tooLong.c_str(), 3);

    engine.StartJournal();
    EXPECT_EQ(101, Error("eval $ra, del " + Q(a) +
                         ", s\n"
                         "del " +
                         Q(b) +
                         ", s\n"
                         "del " +
                         Q(c) +
                         ", s\n"
                         "del " +
                         Q(tooLong) +
                         ", s\n"
                         "abort"));
    EXPECT_EQ("0", Var("ra"));
    EXPECT_TRUE(PathExists(a));
    EXPECT_EQ(1u, Count(b));
    EXPECT_FALSE(PathExists(c));
    EXPECT_EQ(3u, Count(tooLong));
    engine.RollBack();
    EXPECT_EQ(2u, Count(b));
    EXPECT_EQ(1u, Count(c));
    EXPECT_EQ(c, ReadFileText(c));
}

// mkdir over a file: no folder is there, so it fails and records no rmdir.
TEST_F(NothingLostTest, MkdirOverAFileFails) {
    WriteFileText(Target("plain"), "x");
    engine.StartJournal();
    for (const char* options : {"", ", f"}) {
        Load("set $onErrorProc, \"OnErr\"\neval $r, mkdir " + Q(Target("plain")) + options);
        engine.CallProc("Main");
        EXPECT_EQ("0", Var("r")) << options;
        EXPECT_EQ("183", Var("errCode"));
    }
    EXPECT_TRUE(UndoLines().empty());
    EXPECT_EQ("x", ReadFileText(Target("plain")));
}

// The rollback runs copy's undo line also for a file the user kept: the journal gives the
// file back. Restart-time work of the run, and that of the rollback's own del, is withdrawn.
TEST_F(NothingLostTest, RollbackGivesKeptFilesBackAndWithdrawsRestartWork) {
    KeepingHost keeping;
    engine.SetHost(&keeping);
    Put(Source("a.dll"), "setup's", 10);
    Put(Target("a.dll"), "user's newer", 1000);
    Put(Source("busy.dll"), "new", 1000);
    Put(Target("busy.dll"), "old", 10);
    Busy busy(Target("busy.dll"));

    engine.StartJournal();
    EXPECT_EQ(101, Error("copy \"a.dll\", " + Q(Target("a.dll")) +
                         ", d\n"
                         "copy \"busy.dll\", " +
                         Q(Target("busy.dll")) +
                         ", b\n"
                         "abort"));
    EXPECT_NE("<missing>", Wininit());
    engine.RollBack();
    EXPECT_EQ("user's newer", ReadFileText(Target("a.dll")));
    EXPECT_EQ("<missing>", Wininit());
    EXPECT_TRUE(folder.TempFiles().empty());
}

}  // namespace
