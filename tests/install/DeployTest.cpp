// What fleet tools rely on, through tolvarin.exe as a real process under a display: a
// quiet run opens no window, every outcome has its own exit code, quoted paths and names
// work in both modes, and each installed device has its Add/Remove Programs entry.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "install/InstallLog.h"
#include "install/ProgramsEntry.h"
#include "tests/install/InstallTestSupport.h"

namespace {

// A visible top-level window of the process, or nullptr.
HWND WindowOf(DWORD process) {
    struct Search {
        DWORD process;
        HWND found;
    } search = {process, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->process || !IsWindowVisible(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string TitleOf(HWND window) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Runs tolvarin.exe with arguments; a window it shows fails the test at once, named, and
// is closed so that the run goes on.
int RunWatched(const std::string& arguments) {
    ChildProcess run("tolvarin.exe", arguments);
    for (int i = 0; i < 1200; ++i) {
        if (HWND window = WindowOf(run.Id())) {
            ADD_FAILURE() << "tolvarin.exe " << arguments << " showed \"" << TitleOf(window)
                          << "\"";
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        if (run.Ended()) break;
        Sleep(50);
    }
    return run.ExitCode();
}

class DeployTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* device : {"TolvDeployA", "TolvDeployB", "TolvDeployC"}) {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, DeviceKey(device).c_str());
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, ProgramsEntryKey(device).c_str());
        }
    }
    // An installation file for device whose Install runs body after writing its record.
    std::string Setup(const char* name, const char* device,
                      std::initializer_list<std::string> body) {
        std::string text = Identify(device) + "proc Install\r\n" + "  regSZ HKLM, " +
                           Quoted(DeviceKey(device)) + ", \"Vendor\", \"Obrix\"\r\n" +
                           "  regDW HKLM, " + Quoted(DeviceKey(device)) +
                           ", \"Version\", 0x0203\r\n";
        for (const std::string& line : body) text += line + "\r\n";
        return folder.Write(name, text + "endp\r\n");
    }
    std::string Entry(const char* device, const char* name) {
        return RegText(ProgramsEntryKey(device), name);
    }

    ScratchFolder folder;
    std::string log = folder / "deploy.log";
};

// A question, an error box, a progress window and a restart notice: none is shown, each
// question is logged with the default button's answer, and the restart is the exit code.
TEST_F(DeployTest, AQuietRunShowsNoWindowAndLogsEveryAnswer) {
    const std::string setup = Setup(
        "quiet.pxf", "TolvDeployA",
        {"  progress_show 2, \"Installing\"", "  progress_step 1",
         "  eval $answer, prompt \"Install the utility too?\", \"?yN\"",
         "  error \"The utility is missing.\"", "  set $needReboot, 1",
         "  prompt \"The driver is replaced when Windows restarts.\", \"!o\"", "  progress_hide"});
    EXPECT_EQ(3010, RunWatched("/q /l " + Quoted(log) + " /i " + setup));
    const std::string text = ReadFile(log);
    for (const char* part : {"Install the utility too?\" type \"?yN\" (not shown): answer 2",
                             "The utility is missing.", "answer 1", "a restart is needed"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_EQ(text.find("waiting for an answer"), std::string::npos);
    // Its Add/Remove Programs entry: name, version, publisher and both uninstall commands.
    EXPECT_EQ("Test component TolvDeployA", Entry("TolvDeployA", "DisplayName"));
    EXPECT_EQ("2.3", Entry("TolvDeployA", "DisplayVersion"));
    EXPECT_EQ("Obrix", Entry("TolvDeployA", "Publisher"));
    EXPECT_NE(
        Entry("TolvDeployA", "QuietUninstallString").find("tolvarin.exe\" /q /u \"TolvDeployA\""),
        std::string::npos);
}

TEST_F(DeployTest, EveryOutcomeHasItsExitCode) {
    const std::string good = Setup("good.pxf", "TolvDeployA", {});
    const std::string bad = Setup("bad.pxf", "TolvDeployB", {"  abort"});
    EXPECT_EQ(1639, RunWatched("/q /x"));
    EXPECT_EQ(1639, RunWatched("/q"));
    EXPECT_EQ(1603, RunWatched("/q /i " + bad));
    EXPECT_FALSE(KeyExists(ProgramsEntryKey("TolvDeployB")));  // taken back with the run
    EXPECT_EQ(0, RunWatched("/q /i " + good));
    EXPECT_EQ(1638, RunWatched("/q /i " + good));
    EXPECT_EQ(1605, RunWatched("/q /u TolvDeployNoSuch"));
    EXPECT_EQ(0, RunWatched("/q /u TolvDeployA"));
    EXPECT_FALSE(KeyExists(ProgramsEntryKey("TolvDeployA")));

    // The library held by a running main window.
    ChildProcess window("tolvarin.exe", "");
    for (int i = 0; i < 600 && !WindowOf(window.Id()); ++i) Sleep(50);
    ASSERT_NE(WindowOf(window.Id()), nullptr);
    EXPECT_EQ(1618, RunWatched("/q /i " + good));
}

// Without /l, a quiet run logs to a file of its own, keeping the last 50; a Windows error
// is logged with the system's text.
TEST_F(DeployTest, QuietRunsKeepTheirLastFiftyLogs) {
    const std::string folder = QuietLogFolder();
    CreateDirectoryA(folder.substr(0, folder.rfind('\\')).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int i = 0; i < 60; ++i) {
        std::ofstream(folder + "\\tolvarin-2000" + std::to_string(1000 + i) + ".log") << "old";
    }
    const std::string setup =
        Setup("denied.pxf", "TolvDeployA", {"  mkdir \"Q:\\no such drive\\x\""});
    EXPECT_EQ(0, RunWatched("/q /i " + setup));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\tolvarin-*.log").c_str(), &found);
    int count = 0;
    std::string newest;
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        ++count;
        newest = std::max(newest, std::string(found.cFileName));
    }
    FindClose(search);
    EXPECT_EQ(50, count);
    const std::string text = ReadFile(folder + "\\" + newest);
    EXPECT_NE(text.find("Windows error 3 (Path not found): Q:\\no such drive\\x"),
              std::string::npos)
        << text;
    RemoveTree(folder);
}

// A file held open is replaced at the next restart: a restart is needed.
TEST_F(DeployTest, AFileInUseNeedsARestart) {
    folder.Write("drv.dll", "new");
    const std::string target = folder.Write("target.dll", "old");
    const std::string setup =
        Setup("busy.pxf", "TolvDeployC", {"  copy \"drv.dll\", " + Quoted(target) + ", b"});
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(3010, RunWatched("/q /i " + setup));
    CloseHandle(held);
}

// Quoted paths and names, with blanks, in both modes; /u * goes on past a failing device
// and returns its code.
TEST_F(DeployTest, QuotedArgumentsAndUninstallingEverything) {
    CreateDirectoryA((folder / "My Drivers").c_str(), nullptr);
    const std::string a = Setup("My Drivers\\a.pxf", "TolvDeployA", {});
    const std::string b = Setup("My Drivers\\b.pxf", "TolvDeployB", {});
    EXPECT_EQ(0, RunWatched("/i " + Quoted(a)));
    EXPECT_EQ(0, RunWatched("/q /i " + Quoted(b)));
    EXPECT_EQ(0, RunWatched("/u \"TolvDeployA\""));
    EXPECT_FALSE(KeyExists(DeviceKey("TolvDeployA")));
    // A device whose uninstaller cannot be read fails; the other goes all the same.
    ScratchRegistry::SetString(DeviceKey("TolvDeployC").c_str(), "Uninstall",
                               folder / "missing.pxf");
    EXPECT_EQ(1603, RunWatched("/q /u *"));
    EXPECT_FALSE(KeyExists(DeviceKey("TolvDeployB")));
    EXPECT_TRUE(KeyExists(DeviceKey("TolvDeployC")));
}

}  // namespace
