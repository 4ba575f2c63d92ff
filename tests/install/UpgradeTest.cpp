// The vendor example's version 2.0 upgrading version 1.0 in place, through tolvarin.exe as a
// real process: the new version and the user's settings after a success, version 1.0 byte
// for byte after a failure or a killed run, and nothing of either after the uninstallation.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "install/ProgramsEntry.h"
#include "tests/install/InstallTestSupport.h"

namespace {

const std::string kRecord = DeviceKey("VendorReader");
const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string VendorFolder() {
    return RegText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir") +
           "\\Obrix Vendor";
}

std::string MenuFolder() {
    char menu[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, menu);
    return menu + std::string("\\Obrix Vendor");
}

// The bytes of a file, short enough for a failure message to show: size and FNV-1a hash.
std::string Digest(const std::string& bytes) {
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(hash);
}

// Every file under folder with its bytes.
void AddFiles(std::string& out, const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName, path = folder + "\\" + name;
        if (name == "." || name == "..") continue;
        out += path + "\n";
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            AddFiles(out, path);
        else
            out += Digest(ReadFile(path)) + "\n";
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Every value of key and its subkeys, with its type and bytes.
void AddKey(std::string& out, const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return;
    out += key + "\n";
    char name[512];
    BYTE data[4096];
    for (DWORD i = 0, size = sizeof name, type = 0, bytes = sizeof data;
         RegEnumValueA(handle, i, name, &size, nullptr, &type, data, &bytes) == ERROR_SUCCESS;
         ++i, size = sizeof name, bytes = sizeof data) {
        out += std::string(name) + "=" + std::to_string(type) + ":" +
               std::string(reinterpret_cast<char*>(data), bytes) + "\n";
    }
    for (DWORD i = 0, size = sizeof name;
         RegEnumKeyExA(handle, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name)
        AddKey(out, key + "\\" + name);
    RegCloseKey(handle);
}

// What the example leaves on the machine; empty when it leaves nothing.
std::string Machine() {
    std::string out;
    AddFiles(out, VendorFolder());
    AddFiles(out, MenuFolder());
    for (const std::string& key :
         {kRecord, std::string("Software\\Obrix Vendor"), ProgramsEntryKey("VendorReader")})
        AddKey(out, key);
    DWORD count = 0, size = sizeof count;
    const std::string runtime = VendorFolder() + "\\Shared\\VendorRuntime.dll";
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kSharedDlls, runtime.c_str(), RRF_RT_REG_DWORD, nullptr,
                     &count, &size) == ERROR_SUCCESS)
        out += "shared count " + std::to_string(count) + "\n";
    return out;
}

class UpgradeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ("", Machine()) << "the example is installed already"; }
    void TearDown() override {
        for (const std::string& key :
             {kRecord, std::string("Software\\Obrix Vendor"), ProgramsEntryKey("VendorReader")})
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDlls,
                           (VendorFolder() + "\\Shared\\VendorRuntime.dll").c_str());
        RemoveTree(VendorFolder());
        RemoveTree(MenuFolder());
        for (const char* name : {"fails.pxf", "killed.pxf"})
            DeleteFileA((BinDir() + "\\vendor\\" + name).c_str());
    }
    // Version 2.0 with line as the last statement of its Upgrade, beside the files it copies.
    std::string Variant(const char* name, const std::string& line) {
        std::string text = ReadFile(BinDir() + "\\vendor\\setup.pxf");
        const size_t at = text.find("endp", text.find("proc Upgrade"));
        text.insert(at, "    " + line + "\n");
        std::ofstream(BinDir() + "\\vendor\\" + name, std::ios::binary) << text;
        return "vendor\\" + std::string(name);
    }
};

TEST_F(UpgradeTest, VersionTwoReplacesVersionOneAndItsUninstallerLeavesNothing) {
    ASSERT_EQ(0, RunTolvarin("/i vendor\\setup-v1.pxf"));
    EXPECT_EQ("1.0", RegText(ProgramsEntryKey("VendorReader"), "DisplayVersion"));
    EXPECT_EQ(1638, RunTolvarin("/q /i vendor\\setup-v1.pxf"));  // no Upgrade procedure
    // The user's own settings, which version 2.0 does not write.
    const DWORD disabled = 2;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kRecord.c_str(), "LogicalName", REG_SZ, "MYVR:", 6);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Startup", REG_DWORD, &disabled, 4);

    EXPECT_EQ(0, RunTolvarin("/q /i vendor\\setup.pxf"));
    EXPECT_EQ("2.0", RegText(ProgramsEntryKey("VendorReader"), "DisplayVersion"));
    EXPECT_EQ("MYVR:", RegText(kRecord, "LogicalName"));
    DWORD startup = 0, baud = 0, size = sizeof startup;
    RegGetValueA(HKEY_LOCAL_MACHINE, kRecord.c_str(), "Startup", RRF_RT_REG_DWORD, nullptr,
                 &startup, &size);
    RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Obrix Vendor\\VR-200", "Baud", RRF_RT_REG_DWORD,
                 nullptr, &baud, &size);
    EXPECT_EQ(2u, startup);
    EXPECT_EQ(115200u, baud);
    EXPECT_NE(Machine().find("shared count 1\n"), std::string::npos) << Machine();

    EXPECT_EQ(0, RunTolvarin("/u VendorReader"));
    EXPECT_EQ("", Machine());
}

TEST_F(UpgradeTest, AFailedOrKilledUpgradeLeavesVersionOneAsItWas) {
    ASSERT_EQ(0, RunTolvarin("/i vendor\\setup-v1.pxf"));
    const std::string v1 = Machine();
    EXPECT_EQ(1, RunTolvarin("/i " + Variant("fails.pxf", "abort")));
    EXPECT_EQ(v1, Machine());

    // Killed while its last statement runs: the next start takes both runs back.
    HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, "TolvTestHoldUpgrade");
    const std::string started = BinDir() + "\\vendor\\started.txt";
    {
        ChildProcess running(
            "tolvarin.exe",
            "/i " + Variant("killed.pxf", "run " + Quoted(BinDir() + "\\runprobe.exe 0 " + started +
                                                          " TolvTestHoldUpgrade")));
        for (int i = 0; i < 600 && !FileExists(started); ++i) Sleep(100);
        ASSERT_TRUE(FileExists(started));
        EXPECT_NE(v1, Machine());
    }
    SetEvent(hold);
    CloseHandle(hold);
    DeleteFileA(started.c_str());
    EXPECT_EQ(1, RunTolvarin("/u TolvTestNoSuchDevice"));
    EXPECT_EQ(v1, Machine());
    EXPECT_EQ(0, RunTolvarin("/u VendorReader"));  // version 1.0's uninstaller, as it was
    EXPECT_EQ("", Machine());
}

}  // namespace
