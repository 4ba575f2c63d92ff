// Every fault point of a representative installation and of its uninstallation: the run is
// made once to count the Win32 calls of the file, registry and journal code, then once for
// every n with the n-th call failing. Each run is then taken back, and the machine (every
// file's bytes, attributes and time, every touched key) must be exactly as before.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "commands/RegistryHelpers.h"
#include "tests/commands/sys/CommandTestSupport.h"

using namespace sys_test;

namespace {

std::string Q(const std::string& path) {
    return "\"" + path + "\"";
}

const char kInstall[] =
    "proc Install\n"
    "set $onErrorProc, \"Failed\"\n"
    "mkdir \"%D\\App\"\n"
    "mkdir \"%D\\Deep\\Er\", f\n"
    "copy \"drv.dll\", \"%D\\App\\\"\n"
    "copy \"over.dll\", \"%D\\over.dll\", r\n"
    "copy \"shared.dll\", \"%D\\shared.dll\", s\n"
    "copy \"busy.dll\", \"%D\\busy.dll\", b\n"
    "copy \"kept.dll\", \"%D\\kept.dll\", d\n"
    "del \"%D\\gone.txt\"\n"
    "rmdir \"%D\\removed\"\n"
    "regSZ HKLM, \"Software\\TolvFault\\Dev\", \"DriverDll\", \"%D\\App\\drv.dll\"\n"
    "regDW HKLM, \"Software\\TolvFault\\Dev\", \"Startup\", 1\n"
    "regDW HKLM, \"Software\\TolvFault\\Existing\", \"B\", 99\n"
    "regDel HKLM, \"Software\\TolvFault\\Existing\\Sub\"\n"
    "regDel HKCU, \"Software\\TolvFault\\Doomed\", \"d\"\n"
    "regChangeRef \"%D\\over.dll\", 1\n"
    "rback_addproc Remove, Uninstall\n"
    "rback_save \"%D\\App\\uninstall.pxf\"\n"
    "regSZ HKLM, \"Software\\TolvFault\\Dev\", \"Uninstall\", \"%D\\App\\uninstall.pxf\"\n"
    "endp\n"
    "proc Failed\n"
    "abort\n"
    "endp\n"
    "proc Remove\n"
    "set $onErrorProc, \"\"\n"
    "del \"#$1#\\uninstall.pxf\"\n"
    "DefaultRollback\n"
    "endp\n";

// Answers No to the newer-file question, so that kept.dll is the user's own file.
class KeepingHost : public RecordingHost {
public:
    int AskReplaceNewer(const char*, const _WIN32_FIND_DATAA*, const _WIN32_FIND_DATAA*) override {
        return 2;
    }
};

class FaultLoopTest : public CommandTest {
protected:
    FaultLoopTest() {
        for (const char* name : {"drv.dll", "over.dll", "shared.dll", "busy.dll", "kept.dll"}) {
            WriteFileText(Source(name), std::string("new ") + name);
            SetWriteTime(Source(name), TimeAt(1000));
        }
        WriteFileText(Target("busy.dll"), "busy, as it was");
        busy_ = CreateFileA(Target("busy.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
    }
    ~FaultLoopTest() override { CloseHandle(busy_); }

    // The machine before each run: what the installation overwrites, removes and counts.
    void Reset() {
        RemoveTree(folder / "WININIT.INI");
        DeleteFileA((folder / "WININIT.INI").c_str());
        for (const char* name : {"App", "Deep"}) RemoveTree(Target(name));
        for (const std::string& name : folder.TempFiles())
            DeleteFileA((folder.Temp() + "\\" + name).c_str());
        for (const char* name : {"over.dll", "shared.dll", "kept.dll", "gone.txt"}) {
            SetFileAttributesA(Target(name).c_str(), FILE_ATTRIBUTE_NORMAL);
            WriteFileText(Target(name), std::string("old ") + name);
            SetWriteTime(Target(name), TimeAt(name[0] == 'k' ? 5000 : 10));
        }
        SetFileAttributesA(Target("over.dll").c_str(), FILE_ATTRIBUTE_READONLY);
        CreateDirectoryA(Target("removed").c_str(), nullptr);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\TolvFault");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TolvFault");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey);
        WriteString(HKEY_LOCAL_MACHINE, "Software\\TolvFault\\Existing", "A", "alpha");
        WriteDword(HKEY_LOCAL_MACHINE, "Software\\TolvFault\\Existing", "B", 2);
        WriteString(HKEY_LOCAL_MACHINE, "Software\\TolvFault\\Existing\\Sub", "s", "sub");
        WriteDword(HKEY_CURRENT_USER, "Software\\TolvFault\\Doomed", "d", 4);
        WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, Target("shared.dll").c_str(), 1);
        WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, Target("over.dll").c_str(), 5);
    }

    std::vector<std::string> Machine() const {
        std::vector<std::string> state;
        Files(folder.Path(), state);
        DumpKey(HKEY_LOCAL_MACHINE, "Software\\TolvFault", state);
        DumpKey(HKEY_CURRENT_USER, "Software\\TolvFault", state);
        DumpKey(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, state);
        return state;
    }
    static void Files(const std::string& dir, std::vector<std::string>& out) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            const std::string name = found.cFileName, path = dir + "\\" + name;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                out.push_back(path + "\\");
                Files(path, out);
            } else {
                out.push_back(path + " " + std::to_string(found.dwFileAttributes) + " " +
                              std::to_string(WriteTimeOf(path)) + " [" +
                              (name == "busy.dll" ? "in use" : ReadFileText(path)) + "]");
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }

    // One run of procedure in a fresh engine with the failAt-th call failing (0: none). The
    // run is taken back unless commit is set and it ended well. Returns the calls made.
    int RunOnce(const std::string& script, const char* procedure, const std::string& argument,
                int failAt, bool commit) {
        CScriptEngine run;
        KeepingHost keeping;
        run.SetHost(&keeping);
        run.GetFileSources().InsertAt(0, std::make_unique<CDirectorySource>(SourceDir()));
        engine_test::LoadText(run, script);
        run.StartJournal();
        std::string arg = argument;
        FailureInjector inject(failAt);
        const int error = engine_test::ErrorOf([&] { run.CallProc(procedure, arg.data()); });
        const int calls = inject.Calls();
        inject.Arm(0);
        if (commit && error == 0) {
            run.CommitJournal();
        } else {
            run.RollBack();
        }
        return calls;
    }
    std::string InstallScript() const {
        std::string script = kInstall;
        for (size_t at; (at = script.find("%D")) != std::string::npos;)
            script.replace(at, 2, TargetDir());
        return script;
    }

    HANDLE busy_ = INVALID_HANDLE_VALUE;
};

// For a run that lost something: its call number and the first entry that differs.
std::string Difference(int n, const std::vector<std::string>& before,
                       const std::vector<std::string>& after) {
    if (before == after) return "";
    size_t i = 0;
    while (i < before.size() && i < after.size() && before[i] == after[i]) ++i;
    return "\n" + std::to_string(n) + ": was " + (i < before.size() ? before[i] : "-") +
           "\n     now " + (i < after.size() ? after[i] : "-");
}

// A fault at any call of the installation leaves the machine exactly as it was.
TEST_F(FaultLoopTest, EveryFaultOfTheInstallationIsTakenBack) {
    Reset();
    const std::vector<std::string> before = Machine();
    const int calls = RunOnce(InstallScript(), "Install", "", 0, false);
    ASSERT_EQ(before, Machine());
    std::string lost;
    for (int n = 1; n <= calls; ++n) {
        Reset();
        RunOnce(InstallScript(), "Install", "", n, false);
        lost += Difference(n, before, Machine());
    }
    EXPECT_EQ("", lost) << "failing calls that lose something, of " << calls;
    std::printf("[ fault points ] installation: %d\n", calls);
    EXPECT_GT(calls, 100);
}

// The same for the uninstallation through the saved uninstaller: it runs with the n-th call
// failing and is then taken back, whether it ended well or not.
TEST_F(FaultLoopTest, EveryFaultOfTheUninstallationIsTakenBack) {
    const std::string saved = Target("App\\uninstall.pxf");
    int calls = 0;
    std::string lost;
    for (int n = 0; n == 0 || n <= calls; ++n) {
        Reset();
        RunOnce(InstallScript(), "Install", "", 0, true);
        ASSERT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "Software\\TolvFault\\Dev", "Uninstall"), saved);
        const std::string script = ReadFileText(saved);
        const std::vector<std::string> installed = Machine();
        const int made = RunOnce(script.substr(script.find('\n') + 1), "Uninstall",
                                 Q(TargetDir() + "\\App"), n, false);
        if (n == 0) calls = made;
        lost += Difference(n, installed, Machine());
    }
    EXPECT_EQ("", lost) << "failing calls that lose something, of " << calls;
    std::printf("[ fault points ] uninstallation: %d\n", calls);
    EXPECT_GT(calls, 50);
}

}  // namespace
