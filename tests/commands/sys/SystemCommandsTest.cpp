// The system commands against what Windows itself reports (the other system command rules
// are catalogue behaviours).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <sstream>

#include "commands/SysCommandSupport.h"
#include "engine/ScriptEngine.h"
#include "tests/common/ScratchFolder.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

std::string Q(const std::string& text) {  // quoted for a script line
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

TEST(FreeSpaceTest, CountsKiBOfThePathsDrive) {
    char drive = 'Z';
    while (GetLogicalDrives() >> (drive - 'A') & 1) --drive;
    CScriptEngine engine;
    engine_test::LoadText(
        engine,
        "proc Main\neval $all, freeSpace $dir\neval $at, freeSpace \"C:\", $min\nintsub $min\n"
        "eval $below, freeSpace \"C:\\\", $min\nset $onErrorProc, OnError\n"
        "eval $missing, freeSpace \"" +
            std::string(1, drive) +
            ":\\x\\y\"\nendp\nproc OnError\nset $reported, \"#$1#|#$2#\"\nendp\n");
    auto var = [&](const char* name) { return std::string(engine.GetVar(name)); };
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
        EXPECT_EQ(before + "|C:\\Some\\Dir|0|1|0", var("all") + "|" + var("dir") + "|" + var("at") +
                                                       "|" + var("below") + "|" + var("missing"));
        EXPECT_EQ(var("lastWinError") + "|" + drive + ":\\", var("reported"));
        return;
    }
    FAIL() << "the free space of C: never held still";
}

// Each engine initialises COM with its first link and releases it when it goes.
TEST(ShortcutComTest, EnginesOneAfterTheOtherBothMakeLinks) {
    ScratchFolder folder;
    for (const char* name : {"1", "2"}) {
        CScriptEngine engine;
        engine_test::LoadText(engine, "proc Main\nshortcut " + Q(folder / name) + ", x\nendp\n");
        engine.CallProc("Main");
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder / name + ".lnk").c_str()));
    }
    EXPECT_EQ(S_OK, CoInitialize(nullptr));  // nothing left initialised
    CoUninitialize();
}

}  // namespace
