// The system commands against what Windows itself reports: getInfo, fileAccess, freeSpace,
// fileSize, getErrorString, isAdmin, shortcut and run (with the runprobe program).
#include <shlobj.h>

#include "commands/SysCommandSupport.h"
#include "tests/commands/sys/CommandTestSupport.h"
#include "tests/common/ChildProcess.h"

using namespace sys_test;

namespace {

constexpr char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

class SystemCommandsTest : public CommandTest {
protected:
    SystemCommandsTest() { extraProcs = "proc OnError\nset $reported, \"#$1#|#$2#\"\nendp\n"; }
    // text as a script's quoted argument.
    static std::string Q(const std::string& text) { return tolv::QuoteForScript(text); }
    std::string Probe() const { return BinDir() + "\\runprobe.exe"; }
};

// Without the scratch registry of the other tests, so that Windows answers from its own.
TEST(GetInfoTest, AnswersWhatWindowsReports) {
    const std::pair<const char*, int> folders[] = {{"common_desktopdirectory", 0x19},
                                                   {"Common_Programs", 0x17},
                                                   {"COMMON_STARTMENU", 0x16},
                                                   {"COMMON_STARTUP", 0x18},
                                                   {"DESKTOP", 0},
                                                   {"DESKTOPDIRECTORY", 0x10},
                                                   {"FONTS", 0x14},
                                                   {"NETHOOD", 0x13},
                                                   {"PERSONAL", 5},
                                                   {"PROGRAMS", 2},
                                                   {"RECENT", 8},
                                                   {"SENDTO", 9},
                                                   {"STARTMENU", 0xB},
                                                   {"startup", 7},
                                                   {"TEMPLATES", 0x15}};
    std::vector<std::pair<std::string, std::string>> expected;
    char text[MAX_PATH] = "";
    for (const auto& [key, csidl] : folders) {
        text[0] = '\0';
        const bool found = SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, text)) && *text;
        expected.emplace_back(key, found ? text : "<none>");
    }
    DWORD size = MAX_PATH;
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    snprintf(text, sizeof text, "0x%lx", version.dwMajorVersion * 256 + version.dwMinorVersion);
    expected.emplace_back("osver", text);
    expected.emplace_back("windows", std::string(text, GetWindowsDirectoryA(text, MAX_PATH)));
    expected.emplace_back("System", std::string(text, GetSystemDirectoryA(text, MAX_PATH)));
    expected.emplace_back("USERNAME", GetUserNameA(text, &size) ? text : "?");
    size = MAX_PATH;
    expected.emplace_back("COMPUTERNAME", GetComputerNameA(text, &size) ? text : "?");
    expected.emplace_back("temp", std::string(text, GetTempPathA(MAX_PATH, text) - 1));
    expected.emplace_back("OSNAME", "WINNT");
    size = MAX_PATH;
    expected.emplace_back("APPPATH",
                          RegGetValueA(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir",
                                       RRF_RT_REG_SZ, nullptr, text, &size)
                              ? "<none>"
                              : text);
    expected.emplace_back("NOSUCHKEY", "<none>");
    CScriptEngine engine;
    for (const auto& [key, value] : expected) {
        engine_test::LoadText(
            engine, "proc Main\nset $v, \"<none>\"\neval $r, getInfo $v, " + key + "\nendp\n");
        engine.CallProc("Main");
        EXPECT_EQ(value, std::string(engine.GetVar("v"))) << key;
        EXPECT_EQ(value == "<none>" ? "0" : "1", std::string(engine.GetVar("r"))) << key;
    }
}

// In a scratch registry, where HKLM has no ProgramFilesDir until the test writes one.
TEST_F(SystemCommandsTest, GetInfoOfTheTemporaryFolderProgramFilesAndWindows95) {
    EXPECT_EQ(0, Run("set $p, \"kept\"\ngetInfo $p, APPPATH"));
    EXPECT_EQ("kept", Var("p"));
    WriteValue(HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", REG_EXPAND_SZ,
               "%TMP%Programs", 14);
    tolv::OverrideIsWindowsNT(0);
    SetEnvironmentVariableA("TMP", "C:\\");
    EXPECT_EQ(1, Run("getInfo $p, APPPATH\ngetInfo $os, osname\ngetInfo $root, TEMP"));
    EXPECT_EQ("C:\\", Var("root"));
    EXPECT_EQ("C:\\Programs", Var("p"));
    EXPECT_EQ("WIN95", Var("os"));
}

TEST_F(SystemCommandsTest, FileQueries) {
    WriteFileText(Source("five.txt"), "12345");
    const std::string second = folder / "second", locked = Target("locked"), ro = Target("ro");
    CreateDirectoryA(second.c_str(), nullptr);
    WriteFileText(second + "\\three.bin", "abc");
    engine.GetFileSources().InsertAt(1, std::make_unique<CDirectorySource>(second));
    WriteFileText(locked, "x");
    WriteFileText(ro, "x");
    SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY);
    const HANDLE held = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0);
    const std::string missing = Q(Target("missing")), longName = Q(Target(std::string(290, 'n')));
    const std::pair<std::string, int> cases[] = {{"fileAccess " + missing, 0},
                                                 {"fileAccess " + missing + ", R", 0},
                                                 {"fileAccess " + missing + ", d", 1},
                                                 {"fileAccess " + missing + ", w", 0},
                                                 {"fileAccess " + Q(ro), 1},
                                                 {"fileAccess " + Q(ro) + ", r", 1},
                                                 {"fileAccess " + Q(locked), 1},
                                                 {"fileAccess " + Q(locked) + ", r", 0},
                                                 {"fileAccess " + Q(locked) + ", x", 0},
                                                 {"fileAccess " + longName + ", d", 1},
                                                 {"fileSize \"five.txt\"", 5},
                                                 {"fileSize \"three.bin\"", 3},
                                                 {"fileSize \"nothing\"", -1},
                                                 {"fileSize " + Q(second), -1},
                                                 {"fileSize " + longName, -1},
                                                 {"isAdmin ignored, \"args\"", 1}};
    for (const auto& [statement, result] : cases) EXPECT_EQ(result, Run(statement)) << statement;
    CloseHandle(held);
    SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_NORMAL);
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, text, sizeof text, nullptr);
    std::replace_if(
        text, text + strlen(text), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    Run("getErrorString $e, 2\ngetErrorString $insert, 193\ngetErrorString $none, 0x7ABCDEF");
    EXPECT_EQ(text, Var("e"));
    EXPECT_EQ("", Var("none"));
    EXPECT_NE(std::string::npos, Var("insert").find("%1"));
    EXPECT_EQ("<unset>", Var("lastWinError"));
}

TEST_F(SystemCommandsTest, FreeSpaceCountsKiBOfThePathsDrive) {
    auto freeKiB = [] {
        DWORD perCluster, perSector, free, total;
        GetDiskFreeSpaceA("C:\\", &perCluster, &perSector, &free, &total);
        return int((((perSector * perCluster) >> 8) * free) >> 2);
    };
    char drive = 'Z';
    while (GetLogicalDrives() >> (drive - 'A') & 1) --drive;
    const std::string root = std::string(1, drive) + ":\\";
    Load(
        "eval $all, freeSpace $dir\neval $at, freeSpace \"C:\", $min\nintsub $min\n"
        "eval $below, freeSpace \"C:\\\", $min\nset $onErrorProc, OnError\n"
        "eval $missing, freeSpace " +
        Q(root + "x\\y"));
    for (int attempt = 0; attempt < 50; ++attempt) {
        engine.SetVar("dir", "C:\\Some\\Dir");
        const int before = freeKiB();
        engine.SetVarInt("min", before);
        engine.CallProc("Main");
        if (freeKiB() != before) continue;  // another program wrote to the disk meanwhile
        EXPECT_EQ(std::to_string(before), Var("all"));
        EXPECT_EQ("C:\\Some\\Dir", Var("dir"));
        EXPECT_EQ("0", Var("at"));
        EXPECT_EQ("1", Var("below"));
        EXPECT_EQ("0", Var("missing"));
        EXPECT_EQ(Var("lastWinError") + "|" + root, Var("reported"));
        EXPECT_NE("0", Var("lastWinError"));
        return;
    }
    FAIL() << "the free space of C: never held still";
}

// What IShellLinkA reads back from a link file: target|arguments|folder|description|icon
// index|show command.
std::string ReadLink(const std::string& path) {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return "<no link object>";
    }
    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    wchar_t wide[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char target[MAX_PATH] = "", args[MAX_PATH] = "", dir[MAX_PATH] = "", about[MAX_PATH] = "",
         icon[MAX_PATH] = "";
    int index = -1, show = -1;
    if (SUCCEEDED(file->Load(wide, STGM_READ))) {
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetArguments(args, MAX_PATH);
        link->GetWorkingDirectory(dir, MAX_PATH);
        link->GetDescription(about, MAX_PATH);
        link->GetIconLocation(icon, MAX_PATH, &index);
        link->GetShowCmd(&show);
    }
    file->Release();
    link->Release();
    return std::string(target) + "|" + args + "|" + dir + "|" + about + "|" + icon +
           std::to_string(index) + "|" + std::to_string(show);
}

TEST_F(SystemCommandsTest, ShortcutSavesALinkThatRollbackRemoves) {
    const std::string dotted = Target("My.Apps"), target = Source("app.exe");
    CreateDirectoryA(dotted.c_str(), nullptr);
    WriteFileText(target, "MZ");
    const std::string padded = dotted + "\\" + std::string(254 - dotted.size(), 'p');
    engine.StartJournal();
    EXPECT_EQ(1, Run("shortcut " + Q(dotted + "\\Setup") + ", " + Q(target) +
                     ", \"/a #\"b c#\"\"\nshortcut " + Q(Target("S\xe9tup.pif")) + ", " +
                     Q(target) + "\nshortcut " + Q(padded) + ", " + Q(target)));
    const std::vector<std::string> undo = {"  del " + padded + ".lnk",
                                           "  del " + Target("S\xe9tup.pif"),
                                           "  del " + dotted + "\\Setup.lnk"};
    EXPECT_EQ(undo, UndoLines());
    EXPECT_EQ(target + "|/a \"b c\"|||0|1", ReadLink(dotted + "\\Setup.lnk"));
    EXPECT_EQ(target + "||||0|1", ReadLink(Target("S\xe9tup.pif")));
    for (const std::string& tooLong : {padded + "x", padded + std::string(40, 'x')}) {
        EXPECT_EQ(0, Run("shortcut " + Q(tooLong) + ", " + Q(target)));
    }
    EXPECT_EQ(0, Run("set $onErrorProc, OnError\nshortcut " + Q(Target("none\\x")) + ", x"));
    EXPECT_EQ(undo, UndoLines());
    EXPECT_EQ("<unset>", Var("lastWinError"));
    engine.RollBack();
    for (const char* name : {"My.Apps\\Setup.lnk", "S\xe9tup.pif"})
        EXPECT_FALSE(PathExists(Target(name)));
    EXPECT_FALSE(PathExists(padded + ".lnk"));
}

// Each engine initialises COM for its first link and releases it when it goes, so a
// second engine in the same process makes links too, and nothing stays initialised.
TEST(ShortcutComTest, EnginesOneAfterTheOtherBothMakeLinks) {
    ScratchFolder folder;
    for (int i = 0; i < 2; ++i) {
        CScriptEngine engine;
        engine_test::LoadText(engine, "proc Main\nshortcut " +
                                          tolv::QuoteForScript(folder / std::to_string(i)) +
                                          ", \"C:\\x.exe\"\nendp\n");
        engine.CallProc("Main");
        EXPECT_TRUE(PathExists(folder / (std::to_string(i) + ".lnk"))) << i;
    }
    EXPECT_EQ(S_OK, CoInitialize(nullptr));
    CoUninitialize();
}

TEST_F(SystemCommandsTest, RunStartsAProgramAndWaitsForItsExitCode) {
    const std::string out = folder / "args.txt";
    for (const auto& [code, returned] : {std::pair{"3", "3"}, {"0xFFFFFFFE", "-2"}}) {
        EXPECT_EQ(1, Run("run " + Q(Probe() + " " + code))) << code;
        EXPECT_EQ(returned, Var("exeReturned"));
    }
    const std::string line =
        "\"" + Probe() + "\" 7 \"" + out + "\" - \"a b\" \"say \\\"hi\\\"\" ,x";
    EXPECT_EQ(1, Run("run " + Q(line)));
    EXPECT_EQ("7", Var("exeReturned"));
    EXPECT_EQ(line + "\na b|say \"hi\"|,x", ReadFileText(out));

    // d: back at once, while the program still waits for the event.
    const HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, "TolvRunProbeHold");
    EXPECT_EQ(
        1, Run("set $options, \"D\"\nrun " + Q(Probe() + " 5 - TolvRunProbeHold") + ", $options"));
    EXPECT_EQ("0", Var("exeReturned"));
    EXPECT_EQ("d", Var("options"));
    SetEvent(hold);
    CloseHandle(hold);

    EXPECT_EQ(0, Run("set $exeReturned, 9\nset $onErrorProc, OnError\n"
                     "run \"Z:\\no\\such\\program.exe /x\""));
    EXPECT_EQ("0", Var("exeReturned"));
    EXPECT_EQ("2|Z:\\no\\such\\program.exe /x", Var("reported"));
}

}  // namespace
