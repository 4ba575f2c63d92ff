// The system commands against what Windows itself reports; run starts runprobe.exe.
#include <shlobj.h>

#include <sstream>

#include "commands/SysCommandSupport.h"
#include "tests/commands/sys/CommandTestSupport.h"
#include "tests/common/ChildProcess.h"

using namespace sys_test;

namespace {

std::string Q(const std::string& text) {
    return tolv::QuoteForScript(text);
}

// Outside the scratch registry, so that Windows answers from its own. The i-th key, for i
// below 26, names the shell folder whose CSIDL is i ("-": none).
TEST(GetInfoTest, AnswersWhatWindowsReports) {
    std::istringstream keys(
        "desktop - PROGRAMS - - PERSONAL - STARTUP RECENT SENDTO - STARTMENU - - - - "
        "DESKTOPDIRECTORY - - NETHOOD FONTS TEMPLATES COMMON_STARTMENU COMMON_PROGRAMS "
        "COMMON_STARTUP Common_DesktopDirectory OSVER WINDOWS SYSTEM TEMP USERNAME COMPUTERNAME "
        "OSNAME APPPATH no");
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    CScriptEngine engine;
    std::string key;
    for (int i = 0; keys >> key; ++i) {
        char t[MAX_PATH] = "";
        DWORD n = MAX_PATH;
        if (key == "-") continue;
        if (i < 26) SHGetFolderPathA(nullptr, i, nullptr, 0, t);
        if (i == 26) snprintf(t, n, "0x%lx", version.dwMajorVersion * 256 + version.dwMinorVersion);
        if (i == 27) GetWindowsDirectoryA(t, n);
        if (i == 28) GetSystemDirectoryA(t, n);
        if (i == 29) t[GetTempPathA(n, t) - 1] = '\0';
        if (i == 30) GetUserNameA(t, &n);
        if (i == 31) GetComputerNameA(t, &n);
        if (i == 32) strcpy(t, "WINNT");
        if (i == 33)
            RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                         "ProgramFilesDir", RRF_RT_REG_SZ, nullptr, t, &n);
        engine_test::LoadText(engine, "proc Main\nset $v, \"<none>\"\neval $r, getInfo $v, " + key +
                                          "\nreturn $r\nendp\n");
        EXPECT_EQ(*t != '\0', engine.CallProc("Main")) << key;
        EXPECT_EQ(*t ? t : "<none>", std::string(engine.GetVar("v"))) << key;
    }
}

TEST_F(CommandTest, FileAccessFileSizeAndErrorTexts) {
    const std::string second = folder / "second", held = Q(Target("held")), gone = Q(Target("no"));
    CreateDirectoryA(second.c_str(), nullptr);
    WriteFileText(second + "\\three.bin", "abc");
    engine.GetFileSources().InsertAt(1, std::make_unique<CDirectorySource>(second));
    WriteFileText(Target("held"), "x");
    HANDLE lock = CreateFileA(Target("held").c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
    const std::pair<std::string, int> cases[] = {
        {"fileAccess " + gone, 0},
        {"fileAccess " + gone + ", R", 0},
        {"fileAccess " + gone + ", d", 1},
        {"fileAccess " + gone + ", w", 0},
        {"fileAccess " + held, 1},
        {"fileAccess " + held + ", r", 0},
        {"fileAccess " + held + ", x", 0},
        {"fileAccess " + Q(second) + ", r", 0},
        {"fileAccess " + Q(Target(std::string(290, 'n'))) + ", d", 1},
        {"fileSize \"three.bin\"", 3},
        {"fileSize \"none\"", -1},
        {"fileSize " + Q(second), -1},
        {"fileSize " + Q(std::string(300, 'n')), -1},
        {"getErrorString $e, 193", 1}};
    for (const auto& [statement, result] : cases) EXPECT_EQ(result, Run(statement)) << statement;
    CloseHandle(lock);
    EXPECT_NE(std::string::npos, Var("e").find("%1"));         // an insert stays as written
    Run("getErrorString $e, 0x7ABCDEF\ngetInfo $os, osname");  // the fixture's Windows 95
    EXPECT_EQ("|WIN95", Var("e") + "|" + Var("os"));
}

TEST_F(CommandTest, FreeSpaceCountsKiBOfThePathsDrive) {
    char drive = 'Z';
    while (GetLogicalDrives() >> (drive - 'A') & 1) --drive;
    extraProcs = "proc OnError\nset $reported, \"#$1#|#$2#\"\nendp\n";
    Load(
        "eval $all, freeSpace $dir\neval $at, freeSpace \"C:\", $min\nintsub $min\n"
        "eval $below, freeSpace \"C:\\\", $min\nset $onErrorProc, OnError\n"
        "eval $missing, freeSpace \"" +
        std::string(1, drive) + ":\\x\\y\"");
    for (int attempt = 0; attempt < 50; ++attempt) {
        DWORD perCluster, perSector, free, total;
        auto freeKiB = [&] {
            GetDiskFreeSpaceA("C:\\", &perCluster, &perSector, &free, &total);
            return std::to_string(int((((perSector * perCluster) >> 8) * free) >> 2));
        };
        const std::string before = freeKiB();
        engine.SetVar("dir", "C:\\Some\\Dir");
        engine.SetVar("min", before.c_str());
        engine.CallProc("Main");
        if (freeKiB() != before) continue;  // another program wrote to the disk meanwhile
        EXPECT_EQ(before + "|C:\\Some\\Dir|0|1|0", Var("all") + "|" + Var("dir") + "|" + Var("at") +
                                                       "|" + Var("below") + "|" + Var("missing"));
        EXPECT_EQ(Var("lastWinError") + "|" + drive + ":\\", Var("reported"));
        return;
    }
    FAIL() << "the free space of C: never held still";
}

// target|arguments|folder|description|icon index|show command, read back with IShellLinkA.
std::string ReadLink(const std::string& path) {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link);
    link->QueryInterface(IID_IPersistFile, (void**)&file);
    wchar_t wide[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char t[5][MAX_PATH] = {};
    int index = -1, show = -1;
    file->Load(wide, STGM_READ);
    link->GetPath(t[0], MAX_PATH, 0, 0), link->GetArguments(t[1], MAX_PATH);
    link->GetWorkingDirectory(t[2], MAX_PATH), link->GetDescription(t[3], MAX_PATH);
    link->GetIconLocation(t[4], MAX_PATH, &index), link->GetShowCmd(&show);
    file->Release(), link->Release();
    return std::string(t[0]) + "|" + t[1] + "|" + t[2] + "|" + t[3] + "|" + t[4] +
           std::to_string(index) + "|" + std::to_string(show);
}

TEST_F(CommandTest, ShortcutSavesALinkThatRollbackRemoves) {
    const std::string dir = Target("My.Apps"), app = Source("app.exe"), pif = Target("S\xe9t.pif");
    const std::string longest = dir + "\\" + std::string(254 - dir.size(), 'p');  // 259 with .lnk
    CreateDirectoryA(dir.c_str(), nullptr);
    WriteFileText(app, "MZ");
    engine.StartJournal();
    EXPECT_EQ(1, Run("shortcut " + Q(dir + "\\Setup") + ", " + Q(app) + ", \"/a #\"b c#\"\"\n" +
                     "shortcut " + Q(pif) + ", " + Q(app) + "\nshortcut " + Q(longest) + ", x"));
    EXPECT_EQ(app + "|/a \"b c\"|||0|1", ReadLink(dir + "\\Setup.lnk"));
    EXPECT_EQ(app + "||||0|1", ReadLink(pif));
    const std::vector<std::string> undo = {"  del " + longest + ".lnk", "  del " + pif,
                                           "  del " + dir + "\\Setup.lnk"};
    EXPECT_EQ(undo, UndoLines());
    for (const std::string& link : {longest + "x", longest + std::string(40, 'x'), dir + "\\x\\y"})
        EXPECT_EQ(0, Run("set $onErrorProc, NotCalled\nshortcut " + Q(link) + ", " + Q(app)));
    EXPECT_EQ(undo, UndoLines());
    engine.RollBack();
    for (const std::string& link : {dir + "\\Setup.lnk", pif, longest + ".lnk"})
        EXPECT_FALSE(PathExists(link)) << link;
}

// Each engine initialises COM with its first link and releases it when it goes.
TEST(ShortcutComTest, EnginesOneAfterTheOtherBothMakeLinks) {
    ScratchFolder folder;
    for (const char* name : {"1", "2"}) {
        CScriptEngine engine;
        engine_test::LoadText(engine, "proc Main\nshortcut " + Q(folder / name) + ", x\nendp\n");
        engine.CallProc("Main");
        EXPECT_TRUE(PathExists(folder / name + ".lnk")) << name;
    }
    EXPECT_EQ(S_OK, CoInitialize(nullptr));  // nothing left initialised
    CoUninitialize();
}

TEST_F(CommandTest, RunStartsAProgramAndWaitsForItsExitCode) {
    const std::string probe = BinDir() + "\\runprobe.exe", out = folder / "args.txt";
    const std::string line =
        "\"" + probe + "\" 0xFFFFFFFE \"" + out + "\" - \"a b\" \"say \\\"hi\\\"\"";
    EXPECT_EQ(1, Run("run " + Q(line)));
    EXPECT_EQ("-2", Var("exeReturned"));
    EXPECT_EQ(line + "\na b|say \"hi\"", ReadFileText(out));
    // d: back at once, while the program still waits for the event (or a minute).
    const HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, "TolvRunProbeHold");
    EXPECT_EQ(1, Run("set $d, \"D\"\nrun " + Q(probe + " 5 - TolvRunProbeHold") + ", $d"));
    EXPECT_EQ("0|d", Var("exeReturned") + "|" + Var("d"));
    SetEvent(hold);
    CloseHandle(hold);
    extraProcs = "proc OnError\nset $reported, \"#$1#|#$2#\"\nendp\n";
    EXPECT_EQ(0,
              Run("set $exeReturned, 9\nset $onErrorProc, OnError\nrun \"Z:\\no\\such.exe /x\""));
    EXPECT_EQ("0|2|Z:\\no\\such.exe /x", Var("exeReturned") + "|" + Var("reported"));
}

}  // namespace
