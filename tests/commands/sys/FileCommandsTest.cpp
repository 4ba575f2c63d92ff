#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/RegistryHelpers.h"
#include "tests/commands/sys/CommandTestSupport.h"

using namespace sys_test;

namespace {

// Quotes a path for a script line.
std::string Q(const std::string& path) {
    return "\"" + path + "\"";
}

bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

ULONGLONG Ticks(const FILETIME& time) {
    return (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Holds a file open without sharing: to every other opener, the file is in use.
class InUse {
public:
    explicit InUse(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~InUse() { CloseHandle(handle_); }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

class FileCommandsTest : public CommandTest {
protected:
    FileCommandsTest() {
        // Reports go to a procedure that keeps what it was given.
        extraProcs = "proc OnErr\nset $errCode, $1\nset $errText, $2\nendp\n";
    }
    void Put(const std::string& path, const std::string& content, int seconds) {
        WriteFileText(path, content);
        SetWriteTime(path, TimeAt(seconds));
    }
    // Runs body with error reports going to OnErr.
    int RunReporting(const std::string& body) {
        return Run("set $onErrorProc, \"OnErr\"\n" + body);
    }
    std::string Attributes(const std::string& path) {
        const DWORD a = GetFileAttributesA(path.c_str());
        return (a & FILE_ATTRIBUTE_READONLY) ? "read-only" : "writable";
    }
};

TEST_F(FileCommandsTest, CopyIntoADirectoryKeepsTheSourceName) {
    Put(Source("setup.dll"), "new", 10);
    CreateDirectoryA(Target("SYSTEM").c_str(), nullptr);
    const std::string expected = Target("SYSTEM\\setup.dll");

    EXPECT_EQ(1, Run("copy \"setup.dll\", " + Q(Target("SYSTEM") + "\\")));
    EXPECT_EQ("new", ReadFileText(expected));
    DeleteFileA(expected.c_str());
    EXPECT_EQ(1, Run("copy \"setup.dll\", " + Q(Target("SYSTEM"))));
    EXPECT_EQ("new", ReadFileText(expected));
    EXPECT_EQ(WriteTimeOf(Source("setup.dll")), WriteTimeOf(expected));

    EXPECT_EQ(8, Error("copy \"setup.dll\", \"SYSTEM\\setup.dll\""));
    EXPECT_FALSE(PathExists("SYSTEM"));
}

// The source a.dll is written at second 10; each case sets the existing copy's time, runs one
// copy statement with the host's answer, and checks what was installed and recorded. The cases
// run in order: the shared count grows from one case to the next.
TEST_F(FileCommandsTest, CopyOptionsDecideWhetherAnExistingFileIsReplaced) {
    Put(Source("a.dll"), "new", 10);
    const std::string target = Target("a.dll");
    const struct {
        int targetSecond;
        const char* options;
        int answer;
        int result;  // 102: the statement fails with it
        const char* content;
        bool asked;
        DWORD sharedCount;       // 0: not checked
        const char* undoSuffix;  // nullptr: not checked
    } cases[] = {
        {11, ", d", 1, 1, "new", false, 0, nullptr},  // same two-second step: not newer
        {12, ", d", 2, 1, "old", true, 0, ""},        // kept, still undone
        {12, ", d", 0, 102, "old", true, 0, nullptr}, {12, ", d", 1, 1, "new", true, 0, nullptr},
        {20, "", 1, 1, "new", false, 0, nullptr},     // without d nobody is asked
        {10, ", s", 1, 1, "old", false, 2, ",s"},     // equal time: not copied, counted
        {30, ", ds", 1, 1, "old", true, 3, nullptr},  // a shared file stays even if told to go
        {2, ", s", 1, 1, "new", false, 4, nullptr},
    };
    for (const auto& c : cases) {
        const std::string statement = "copy \"a.dll\", " + Q(TargetDir()) + c.options;
        SCOPED_TRACE(statement + " over second " + std::to_string(c.targetSecond));
        Put(target, "old", c.targetSecond);
        host.questions.clear();
        host.SetReplaceNewerAnswer(c.answer);
        engine.StartJournal();
        EXPECT_EQ(c.result, c.result == 102 ? Error(statement) : Run(statement));
        EXPECT_EQ(c.content, ReadFileText(target));
        EXPECT_EQ(c.asked, !host.questions.empty());
        if (c.sharedCount) {
            EXPECT_EQ(c.sharedCount,
                      ReadValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, target.c_str()).Dword());
        }
        if (c.undoSuffix) {
            EXPECT_EQ(std::vector<std::string>{"  del " + Q(target) + c.undoSuffix}, UndoLines());
        }
        engine.CommitJournal();
    }
}

TEST_F(FileCommandsTest, FileInUseIsReplacedAtRestartWhenAllowed) {
    Put(Source("drv.dll"), "new", 10);
    const std::string target = Target("drv.dll");
    Put(target, "old", 4);
    InUse lock(target);
    ASSERT_TRUE(lock.IsOpen());

    EXPECT_EQ(0, RunReporting("copy \"drv.dll\", " + Q(target)));
    EXPECT_EQ("32", Var("lastWinError"));
    EXPECT_EQ(target, Var("errText"));
    EXPECT_EQ("<unset>", Var("needReboot"));

    engine.StartJournal();
    EXPECT_EQ(1, Run("copy \"drv.dll\", " + Q(target) + ", SB"));
    EXPECT_EQ("1", Var("needReboot"));
    EXPECT_EQ(std::vector<std::string>{"  del " + Q(target) + ",sb"}, UndoLines());
    const std::string ini = Wininit();
    const std::string prefix = "[Rename]\r\n" + target + "=";
    ASSERT_EQ(prefix, ini.substr(0, prefix.size())) << ini;
    const std::string temp =
        ini.substr(prefix.size(), ini.find('\r', prefix.size()) - prefix.size());
    EXPECT_EQ("new", ReadFileText(temp));
    DeleteFileA(temp.c_str());
}

TEST_F(FileCommandsTest, CopyIsReadOnlyExactlyWhenAskedTo) {
    Put(Source("ro.dll"), "ro", 10);
    SetFileAttributesA(Source("ro.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    Put(Source("rw.dll"), "rw", 10);
    EXPECT_EQ(1, Run("copy \"ro.dll\", " + Q(TargetDir()) + ", \"xq\""));
    EXPECT_EQ("writable", Attributes(Target("ro.dll")));
    EXPECT_EQ(1, Run("copy \"rw.dll\", " + Q(TargetDir()) + ", R"));
    EXPECT_EQ("read-only", Attributes(Target("rw.dll")));
    SetFileAttributesA(Source("ro.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileCommandsTest, MissingSourceIsReportedToTheErrorProcedure) {
    EXPECT_EQ(0, RunReporting("copy \"missing.dll\", " + Q(TargetDir())));
    EXPECT_EQ("2", Var("lastWinError"));
    EXPECT_EQ("2", Var("errCode"));
    EXPECT_EQ("missing.dll", Var("errText"));
}

TEST_F(FileCommandsTest, WildcardSourceFailsWithoutLosingTheDestination) {
    Put(Source("a.dll"), "new", 10);
    const std::string target = Target("t.dll");
    Put(target, "old", 4);
    engine.StartJournal();

    EXPECT_EQ(0, RunReporting("copy \"*.dll\", " + Q(target)));
    EXPECT_EQ(target, Var("errText"));
    EXPECT_EQ(0, RunReporting("copy \"a*.dll\", " + Q(TargetDir())));
    EXPECT_EQ(Target("a*.dll"), Var("errText"));
    engine.CommitJournal();
    EXPECT_EQ("old", ReadFileText(target));
}

// A source that cannot be read fails the copy over an existing file, directly or (with b)
// through the temporary file as well: the old file is back whether the run is rolled back
// or committed, and no temporary copy stays.
TEST_F(FileCommandsTest, FailedCopyKeepsTheOldFileThroughRollbackAndCommit) {
    Put(Source("a.dll"), "new", 10);
    InUse sourceLocked(Source("a.dll"));
    const std::string target = Target("a.dll");
    for (bool restart : {true, false}) {
        Put(target, "old", 4);
        engine.StartJournal();
        EXPECT_EQ(0, RunReporting("copy \"a.dll\", " + Q(target) + (restart ? ", b" : "")));
        EXPECT_EQ("32", Var("lastWinError"));
        EXPECT_EQ(restart ? "a.dll" : target, Var("errText"));
        EXPECT_EQ("<unset>", Var("needReboot"));
        EXPECT_EQ("old", ReadFileText(target));
        EXPECT_EQ(Ticks(TimeAt(4)), WriteTimeOf(target));
        restart ? engine.CommitJournal() : engine.RollBack();
        EXPECT_EQ("old", ReadFileText(target)) << restart;
        EXPECT_TRUE(folder.TempFiles().empty()) << restart;
    }
}

TEST_F(FileCommandsTest, MkdirCreatesChainsAndRecordsTheLeaf) {
    const std::string leaf = folder / "Top\\Mid\\Leaf";
    engine.StartJournal();
    EXPECT_EQ(0, RunReporting("mkdir " + Q(folder / "Top\\Mid")));
    EXPECT_EQ("3", Var("lastWinError"));
    EXPECT_EQ(1, Run("mkdir " + Q(leaf + "\\") + ", F"));
    EXPECT_TRUE(IsDirectory(leaf));
    EXPECT_EQ(std::vector<std::string>{"  rmdir " + Q(leaf)}, UndoLines());

    // An existing directory with contents stays and is still recorded; a variable
    // argument loses its trailing backslash with the path.
    WriteFileText(leaf + "\\file.txt", "x");
    EXPECT_EQ(1, Run("set $d, " + Q(folder / "Top\\Mid\\Leaf\\") + "\nmkdir $d"));
    EXPECT_EQ(leaf, Var("d"));
    EXPECT_EQ(2u, UndoLines().size());
    EXPECT_EQ("x", ReadFileText(leaf + "\\file.txt"));
}

TEST_F(FileCommandsTest, DelTakesMatchingFilesOnly) {
    Put(Target("a.tmp"), "a", 0);
    Put(Target("b.tmp"), "b", 0);
    Put(Target("c.txt"), "c", 0);
    Put(Target("r.tmp"), "r", 0);
    SetFileAttributesA(Target("r.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA(Target("d.tmp").c_str(), nullptr);

    EXPECT_EQ(1, Run("del " + Q(Target("*.tmp"))));
    EXPECT_FALSE(PathExists(Target("a.tmp")));
    EXPECT_FALSE(PathExists(Target("b.tmp")));
    EXPECT_FALSE(PathExists(Target("r.tmp"))) << "what copy installed read-only goes too";
    EXPECT_TRUE(PathExists(Target("c.txt")));
    EXPECT_TRUE(PathExists(Target("d.tmp")));

    EXPECT_EQ(0, RunReporting("del " + Q(Target("*.none"))));
    EXPECT_EQ("2", Var("lastWinError"));
    EXPECT_EQ(Target("*.none"), Var("errText"));
    // Only directories match: nothing that should go is left.
    EXPECT_EQ(1, Run("del " + Q(Target("d.*"))));
}

TEST_F(FileCommandsTest, DelOfASharedFileWaitsForItsLastUser) {
    const std::string file = Target("s.dll");
    Put(file, "s", 0);
    WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str(), 3);
    EXPECT_EQ(1, Run("del " + Q(file) + ", s"));
    EXPECT_TRUE(PathExists(file));
    EXPECT_EQ(2u, ReadValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str()).Dword());

    WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str(), 1);
    EXPECT_EQ(1, Run("del " + Q(file) + ", s"));
    EXPECT_FALSE(PathExists(file));
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str()).exists);
}

TEST_F(FileCommandsTest, DelOfFilesInUseGoesToRestartWhenAllowed) {
    Put(Target("one.dll"), "1", 0);
    Put(Target("two.dll"), "2", 0);
    InUse lockOne(Target("one.dll"));
    InUse lockTwo(Target("two.dll"));

    EXPECT_EQ(0, RunReporting("del " + Q(Target("one.dll"))));
    EXPECT_EQ("32", Var("lastWinError"));
    EXPECT_EQ(1, Run("del " + Q(Target("*.dll")) + ", b"));
    EXPECT_EQ("1", Var("needReboot"));
    const std::string ini = Wininit();
    EXPECT_NE(std::string::npos, ini.find("nul=" + Target("one.dll") + "\r\n")) << ini;
    EXPECT_NE(std::string::npos, ini.find("nul=" + Target("two.dll") + "\r\n")) << ini;
}

TEST_F(FileCommandsTest, RemovalsTakenByTheJournalSucceedAndComeBack) {
    Put(Target("gone.txt"), "content", 6);
    CreateDirectoryA(Target("empty").c_str(), nullptr);
    CreateDirectoryA(Target("full").c_str(), nullptr);
    Put(Target("full\\f.txt"), "f", 0);
    engine.StartJournal();

    EXPECT_EQ(1, RunReporting("del " + Q(Target("gone.txt")) + "\nrmdir " + Q(Target("empty\\"))));
    EXPECT_EQ("<unset>", Var("lastWinError"));
    EXPECT_FALSE(PathExists(Target("gone.txt")));
    EXPECT_FALSE(PathExists(Target("empty")));
    EXPECT_EQ(0, RunReporting("rmdir " + Q(Target("full"))));
    EXPECT_EQ("145", Var("lastWinError"));
    // A file is no directory: rmdir fails and leaves it.
    EXPECT_EQ(0, RunReporting("rmdir " + Q(Target("full\\f.txt"))));
    EXPECT_EQ("f", ReadFileText(Target("full\\f.txt")));

    engine.RollBack();
    EXPECT_EQ("content", ReadFileText(Target("gone.txt")));
    EXPECT_EQ(Ticks(TimeAt(6)), WriteTimeOf(Target("gone.txt")));
    EXPECT_TRUE(IsDirectory(Target("empty")));
    EXPECT_EQ("f", ReadFileText(Target("full\\f.txt")));
}

TEST_F(FileCommandsTest, PathsTooLongForWindowsAreRefusedUntouched) {
    Put(Source("x.dll"), "x", 0);
    const std::string dir = TargetDir() + "\\";
    const std::string fits = dir + std::string(259 - dir.size(), 'f');
    const std::string tooLong = dir + std::string(260 - dir.size(), 'g');

    EXPECT_EQ(1, Run("copy \"x.dll\", " + Q(fits)));
    EXPECT_EQ("x", ReadFileText(fits));
    EXPECT_EQ(1, Run("del " + Q(fits)));

    const char* statements[] = {"copy \"x.dll\", ", "mkdir ", "rmdir ", "del "};
    for (const char* statement : statements) {
        EXPECT_EQ(0, RunReporting(statement + Q(tooLong))) << statement;
        EXPECT_EQ("206", Var("lastWinError")) << statement;
        EXPECT_EQ(tooLong, Var("errText")) << statement;
    }
    // A directory destination that gets too long with the source's name.
    const std::string name(260 - dir.size(), 'n');
    Put(folder / name, "n", 0);
    EXPECT_EQ(0, RunReporting("copy " + Q(folder / name) + ", " + Q(TargetDir())));
    EXPECT_EQ(dir + name, Var("errText"));
    EXPECT_TRUE(UndoLines().empty());
}

}  // namespace
