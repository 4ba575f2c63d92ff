// tolvarin.exe /i and /u as real processes and the log they write: what a failed
// installation and "/u *" leave in it, the trace level, the registry switch, and a log that
// cannot be opened. No display: a message box returns at once instead of waiting.
// Before the flows' support, whose ReadFile would make the Win32 call table's ambiguous.
#include "tests/rollback/RollbackTestSupport.h"
#include "tests/install/InstallTestSupport.h"

#include "install/SilentInstallHost.h"
#include "rollback/Recovery.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { SetEnvironmentVariableA("TOLVARIN_LOG", log.c_str()); }
    void TearDown() override {
        SetEnvironmentVariableA("TOLVARIN_LOG", nullptr);
        SetEnvironmentVariableA("TOLVARIN_LOG_LEVEL", nullptr);
        for (const char* device : {"TolvLogA", "TolvLogB", "TolvLogC"})
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, DeviceKey(device).c_str());
    }
    // Expects each part in the log, in this order.
    void ExpectInOrder(std::initializer_list<std::string> parts) {
        const std::string text = ReadFile(log);
        size_t at = 0;
        for (const std::string& part : parts) {
            const size_t found = text.find(part, at);
            ASSERT_NE(found, std::string::npos) << "missing: " << part << "\n" << text;
            at = found + part.size();
        }
    }
    // An uninstallation file whose Uninstall procedure is body.
    std::string Uninstaller(const char* name, std::initializer_list<std::string> body) {
        return folder.Write(name,
                            ";OBRIX_INST_FILE\r\nproc Uninstall\r\n" + Lines(body) + "endp\r\n");
    }

    ScratchFolder folder;
    std::string log = folder / "install.log";
};

TEST_F(LogTest, FailedInstallationNamesFileLineCodeAndRollback) {
    const std::string drv = folder / "drv";
    const std::string setup = folder.Write(
        "setup.pxf",
        Identify("TolvLogA") + Lines({"proc Install", "  set $quiet, 1", "  mkdir " + Quoted(drv),
                                      "  regSZ HKLM, \"Software\"", "endp"}));
    EXPECT_EQ(1, RunTolvarin("/i " + setup));
    EXPECT_FALSE(FileExists(drv));
    ExpectInOrder(
        {"started as ", ": command line \"/i " + setup, "install from " + setup,
         "Identify: INST_TYPE=\"OBX_PLIXA_DRIVER\" DEVNAME=\"TolvLogA\"",
         "undo line:   rmdir \"" + drv, setup + "(9): mkdir \"" + drv + "\" -> 1",
         "error 8 (missing or invalid argument) at " + setup + "(10): regSZ HKLM, \"Software\"",
         "rolling back", "rollback(", "rmdir", "result 1", "exit code 1"});
    // Statements that change nothing appear only at the trace level.
    EXPECT_EQ(ReadFile(log).find("set $quiet"), std::string::npos);
    // Every line carries a time stamp.
    EXPECT_EQ(ReadFile(log).compare(4, 1, "-"), 0);
}

// "/u *" goes on past a device that fails: a record without Uninstall value loses its driver
// module (its folder stays while it holds more), a script runs silently with its folder as
// argument, and a failing one is taken back and keeps its record.
TEST_F(LogTest, UninstallAllGoesOnPastAFailureAndLogsEveryDeviceAtTraceLevel) {
    SetEnvironmentVariableA("TOLVARIN_LOG_LEVEL", "trace");
    CreateDirectoryA((folder / "lib").c_str(), nullptr);
    AddDevice("TolvLogA", "", folder.Write("lib\\driver.dll", "module"));
    folder.Write("lib\\other.txt", "stays");
    AddDevice("TolvLogB",
              Uninstaller("b.pxf", {"  set $dir, \"#$1#\"", "  prompt \"Sure?\", \"?yN\""}));
    const std::string kept = folder.Write("kept.txt", "content");
    AddDevice("TolvLogC", Uninstaller("c.pxf", {"  del " + Quoted(kept), "  abort"}));
    EXPECT_EQ(0, RunTolvarin("/u *"));
    ExpectInOrder({"command line \"/u *\"", "uninstall device TolvLogA", "result 0",
                   "uninstall device TolvLogB", "(3): set $dir, \"" + folder.Path() + "\" -> 1",
                   "message \"Sure?\" type \"?yN\" (not shown): answer 2", "result 0",
                   "uninstall device TolvLogC", "result 1", "exit code 0"});
    EXPECT_FALSE(KeyExists(DeviceKey("TolvLogA")) || KeyExists(DeviceKey("TolvLogB")));
    EXPECT_FALSE(FileExists(folder / "lib\\driver.dll"));
    EXPECT_EQ("stays", ReadFile(folder / "lib\\other.txt"));
    EXPECT_TRUE(KeyExists(DeviceKey("TolvLogC")));
    EXPECT_EQ("content", ReadFile(kept));
}

// Each failure is logged where the author must look: the name error 1 did not find, the if
// whose skip ran off the end of the file, the command whose error procedure aborted, and
// the saved value its rollback restores. A box that no display can show answers its default
// button; its text, like a script's own log line, stays on one line.
TEST_F(LogTest, FailuresNameWhatWasMissingAndWhereTheRunWentWrong) {
    const std::string missing = folder.Write(
        "missing.pxf",
        Identify("TolvLogA") + Lines({"proc Install", "  prompt \"two#10#lines\", \"?yN\"",
                                      "  prompt \"Done\", \"!\"", "  set $x, \"#$dri#\"", "endp"}));
    EXPECT_EQ(1, RunTolvarin("/i " + missing));
    ExpectInOrder({"message \"two\\nlines\" type \"?yN\": answer 2",
                   "message \"Done\" type \"!\": answer 1",
                   "error 1 (name not found: $dri) at " + missing + "(10): set $x, \"#$dri#\""});

    const std::string offEnd = folder.Write(
        "offend.pxf", Identify("TolvLogA") + Lines({"proc Install", "  log \"Checking#10#now\"",
                                                    "  if intcmp 1, =, 2", "endp"}));
    EXPECT_EQ(1, RunTolvarin("/i " + offEnd));
    ExpectInOrder({"script: Checking\\nnow",
                   "error 7 (ran past the last line) at " + offEnd + "(9): if intcmp 1, =, 2"});

    folder.Write("payload.txt", "driver");
    const std::string shared = folder / "shared.dll";
    const std::string aborted =
        folder.Write("aborted.pxf",
                     Identify("TolvLogA") +
                         Lines({"proc Install", "  copy \"payload.txt\", " + Quoted(shared) + ", s",
                                "  set $onErrorProc, Fail", "  del \"" + folder / "none.txt\"",
                                "endp", "proc Fail", "  abort", "endp"}));
    EXPECT_EQ(1, RunTolvarin("/i " + aborted));
    EXPECT_FALSE(FileExists(shared));
    ExpectInOrder({aborted + "(10): del \"" + folder / "none.txt\" -> error 101",
                   "error 101 (installation aborted by the script) at " + aborted + "(13): abort",
                   "restore registry value \"" + shared +
                       "\" of HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs "
                       "(absent before the run)"});
}

// The log only watches: where it cannot be written, runs end as they would without it.
TEST_F(LogTest, UnwritableLogChangesNoExitCode) {
    SetEnvironmentVariableA("TOLVARIN_LOG", (folder / "no\\such\\folder\\x.log").c_str());
    const std::string bad =
        folder.Write("bad.pxf", Identify("TolvLogA") + "proc Install\r\n  abort\r\nendp\r\n");
    EXPECT_EQ(1, RunTolvarin("/i " + bad));
    AddDevice("TolvLogA");
    EXPECT_EQ(0, RunTolvarin("/u TolvLogA"));
    EXPECT_EQ(1, RunTolvarin("/u TolvLogA"));

    // A domain policy switches the log on through the registry.
    SetEnvironmentVariableA("TOLVARIN_LOG", nullptr);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Obrix\\Tolvarin", &key));
    RegSetValueExA(key, "Log", 0, REG_SZ, reinterpret_cast<const BYTE*>(log.c_str()),
                   static_cast<DWORD>(log.size() + 1));
    RegCloseKey(key);
    EXPECT_EQ(1, RunTolvarin("/i " + bad));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Obrix\\Tolvarin");
    ExpectInOrder(
        {"error 101 (installation aborted by the script) at " + bad + "(8): abort", "exit code 1"});
}

// The vendor-style example end to end: driver, shared runtime, settings, Start menu entry,
// the user's choice, and the saved uninstaller that takes it all away again.
TEST_F(LogTest, VendorExampleInstallsAndUninstalls) {
    const std::string record = DeviceKey("VendorReader");
    const std::string settings = "Software\\Obrix Vendor\\VR-200";
    const std::string vendor =
        RegText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir") +
        "\\Obrix Vendor";
    const std::string runtime = vendor + "\\Shared\\VendorRuntime.dll";
    const std::string sharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    ASSERT_FALSE(KeyExists(record)) << "the example is installed already";

    ASSERT_EQ(0, RunTolvarin("/i vendor\\setup.pxf"));
    EXPECT_EQ(vendor + "\\VR-200\\VendorReader.dll", RegText(record, "DriverDll"));
    EXPECT_EQ(vendor + "\\VR-200", RegText(settings, "InstallDir"));
    EXPECT_TRUE(FileExists(vendor + "\\VR-200\\vr200.ini"));
    EXPECT_TRUE(FileExists(runtime));
    DWORD count = 0, size = sizeof count;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, sharedDlls.c_str(), runtime.c_str(),
                                          RRF_RT_REG_DWORD, nullptr, &count, &size));
    ExpectInOrder({"message \"Do you use card applications", "shortcut \"", "VR-200 notes",
                   "rback_save", "result 0", "exit code 0"});
    const std::string text = ReadFile(log);
    const size_t link = text.find("shortcut \"") + 10;
    const std::string linkPath = text.substr(link, text.find('"', link) - link) + ".lnk";
    EXPECT_TRUE(FileExists(linkPath)) << linkPath;

    EXPECT_EQ(0, RunTolvarin("/u VendorReader"));
    EXPECT_FALSE(KeyExists(record));
    EXPECT_FALSE(KeyExists(settings));
    EXPECT_FALSE(KeyExists("Software\\Obrix Vendor"));
    EXPECT_FALSE(FileExists(vendor));
    EXPECT_FALSE(FileExists(linkPath));
    EXPECT_NE(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, sharedDlls.c_str(), runtime.c_str(),
                                          RRF_RT_ANY, nullptr, nullptr, nullptr));
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, record.c_str());  // whatever a failure above left
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Obrix Vendor");
    RemoveTree(vendor);
}

// A run killed part-way is taken back by the next start of tolvarin.exe, whatever its
// command line, and the log says so.
TEST_F(LogTest, AKilledInstallationIsTakenBackByTheNextStart) {
    folder.Write("payload.txt", "driver");
    const std::string old = folder.Write("old.txt", "old");
    const std::string run =
        " - - " +
        folder.Write(
            "setup.pxf",
            Identify("TolvLogB") + Lines({"proc Install", "  copy \"payload.txt\", " + Quoted(old),
                                          "  regSZ HKLM, " + Quoted(DeviceKey("TolvLogB")) +
                                              ", \"DriverDll\", " + Quoted(old),
                                          "endp"})) +
        " Install";
    const int calls = ChildProcess("killchild.exe", "0" + run).ExitCode();
    ASSERT_GT(calls, 10);
    ASSERT_EQ(FailureInjector::kKilled,
              ChildProcess("killchild.exe", std::to_string(calls - 1) + run).ExitCode());
    ASSERT_EQ("driver", ReadFile(old));  // killed with changes made

    EXPECT_EQ(1, RunTolvarin("/u TolvTestNoSuchDevice"));
    EXPECT_EQ("old", ReadFile(old));
    EXPECT_FALSE(KeyExists(DeviceKey("TolvLogB")));
    EXPECT_TRUE(FilesIn(MachineJournalFolder()).empty());
    ExpectInOrder({": command line \"/u TolvTestNoSuchDevice",
                   "rolling back the run of process", "uninstall device TolvTestNoSuchDevice"});
}

// The Device library's exclusive mode keeps a second process from installing while the
// first one does; the first one's journal, open, is left alone by a recovery meanwhile.
TEST_F(LogTest, ASecondProcessCannotInstallWhileTheFirstDoes) {
    HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, "TolvTestHoldInstall");
    const std::string started = folder / "started.txt";
    auto setup = [&](const char* name, const char* device, const std::string& tail) {
        return folder.Write(
            name, Identify(device) +
                      Lines({"proc Install",
                             "  regSZ HKLM, " + Quoted(DeviceKey(device)) + ", \"Comment\", \"x\"",
                             tail, "endp"}));
    };
    const std::string first =
        setup("first.pxf", "TolvLogA",
              "  run " + Quoted(BinDir() + "\\runprobe.exe 0 " + started + " TolvTestHoldInstall"));
    {
        ChildProcess running("tolvarin.exe", "/i " + first);
        for (int i = 0; i < 600 && !FileExists(started); ++i) Sleep(100);
        ASSERT_TRUE(FileExists(started));
        // Refused at start-up with the library's message, and exit code 1: nothing was done.
        EXPECT_EQ(1, RunTolvarin("/i " + setup("second.pxf", "TolvLogC", "")));
        CSilentInstallHost host;
        EXPECT_EQ(0, RecoverKilledRuns(host));
        EXPECT_EQ(1u, FilesIn(MachineJournalFolder()).size());  // the first run's journal
        SetEvent(hold);
        EXPECT_EQ(0, running.ExitCode());
    }
    CloseHandle(hold);
    EXPECT_TRUE(KeyExists(DeviceKey("TolvLogA")));
    EXPECT_FALSE(KeyExists(DeviceKey("TolvLogC")));
    EXPECT_TRUE(FilesIn(MachineJournalFolder()).empty());
}

}  // namespace
