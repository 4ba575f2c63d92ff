// Names in every script through tolvarin.exe, on the code page this run has (the test runs
// once under a Western and once under a Russian system code page): every file, registry
// value and device record is read back through the wide calls, which no code page touches.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "engine/ScriptEngine.h"
#include "platform/TextCodec.h"
#include "tests/install/InstallTestSupport.h"

namespace {

std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(),
                                    int(wide.size())));
    return wide;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The file's bytes, or "<missing>".
std::string ReadBytes(const std::string& path) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

// A text value under HKEY_LOCAL_MACHINE, or L"<missing>".
std::wstring RegWide(const std::string& key, const std::string& name) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), Wide(name).c_str(), RRF_RT_REG_SZ,
                     nullptr, text, &size) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return text;
}

const std::string kRoot = "C:\\Драйверы";
const std::string kSource = kRoot + "\\Считыватель";
const std::string kTarget = kRoot + "\\Цель Ωμέγα 中文";
const std::string kDevice = "Считыватель_1";
const std::string kKey = "Software\\Тест Ωμέγα 中文";
const std::string kName = "Имя Ωμέγα 中文";
const std::string kValue = "Значение Ωμέγα 中文";
const std::string kDriver = "драйвер Ωμέγα 中文.dll";

// An installation file that puts every kind of name in three scripts on the machine; with
// failAtEnd its last statement fails, after everything was done.
std::string SetupFile(bool failAtEnd) {
    return Lines({";OBRIX_INST_FILE",
                  "proc Identify",
                  "  set $INST_TYPE, \"OBX_PLIXA_DRIVER\"",
                  "  set $DEVNAME, \"" + kDevice + "\"",
                  "  set $INST_NAME, \"Считыватель Ωμέγα 中文\"",
                  "endp",
                  "proc Install",
                  "  set $dir, \"" + kTarget + "\"",
                  "  set $key, \"Software\\Obrix\\Plixa\\Devices\\#$DEVNAME#\"",
                  "  mkdir $dir",
                  "  copy \"" + kDriver + "\", \"#$dir#\\\"",
                  "  regSZ HKLM, \"" + kKey + "\", \"" + kName + "\", \"" + kValue + "\"",
                  "  regSZ HKLM, $key, \"Vendor\", \"Поставщик Ωμέγα 中文\"",
                  "  regSZ HKLM, $key, \"DriverDll\", \"#$dir#\\" + kDriver + "\"",
                  "  rback_addproc \"Remove\", \"Uninstall\"",
                  "  rback_save \"#$dir#\\удалить.pxf\"",
                  "  regSZ HKLM, $key, \"Uninstall\", \"#$dir#\\удалить.pxf\"",
                  failAtEnd ? "  abort" : "",
                  "endp",
                  "proc Remove",
                  "  del \"#$1#\\удалить.pxf\"",
                  "  DefaultRollback",
                  "endp"});
}

class UnicodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(kRoot);
        CreateDirectoryW(Wide(kRoot).c_str(), nullptr);
        CreateDirectoryW(Wide(kSource).c_str(), nullptr);
        WriteBytes(kSource + "\\" + kDriver, "драйвер");
    }
    void TearDown() override {
        RemoveTree(kRoot);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(kKey).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(DeviceKey(kDevice)).c_str());
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\TolvarinTests", L"v");
        SetEnvironmentVariableW(L"TOLVARIN_LOG", nullptr);
    }
};

TEST_F(UnicodeTest, InstallsAndUninstallsNamesInEveryScriptFromACyrillicPath) {
    const std::string setup = kSource + "\\setup.pxf";
    const std::string log = kRoot + "\\журнал.log";
    WriteBytes(setup, SetupFile(false));
    SetEnvironmentVariableW(L"TOLVARIN_LOG", Wide(log).c_str());

    ASSERT_EQ(RunTolvarin("/q /i " + Quoted(setup)), 0);  // as fleet tools run it
    EXPECT_EQ(ReadBytes(kTarget + "\\" + kDriver), "драйвер");
    EXPECT_EQ(RegWide(kKey, kName), Wide(kValue));
    EXPECT_EQ(RegWide(DeviceKey(kDevice), "Vendor"), L"Поставщик Ωμέγα 中文");
    EXPECT_EQ(RegWide(DeviceKey(kDevice), "DriverDll"), Wide(kTarget + "\\" + kDriver));
    // The saved uninstaller is UTF-8 whatever the code page, its paths included.
    const std::string saved = ReadBytes(kTarget + "\\удалить.pxf");
    EXPECT_NE(saved.find(kTarget + "\\" + kDriver), std::string::npos) << saved;
    // The log names the file as given on the command line.
    EXPECT_NE(ReadBytes(log).find(setup), std::string::npos);

    ASSERT_EQ(RunTolvarin("/u " + kDevice), 0);
    EXPECT_EQ(ReadBytes(kTarget + "\\" + kDriver), "<missing>");
    EXPECT_EQ(GetFileAttributesW(Wide(kTarget).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(RegWide(kKey, kName), L"<missing>");
    EXPECT_FALSE(KeyExists(DeviceKey(kDevice)));
}

TEST_F(UnicodeTest, AFailedInstallationRestoresNamesExactly) {
    const std::string setup = kSource + "\\setup.pxf";
    WriteBytes(setup, SetupFile(true));
    CreateDirectoryW(Wide(kTarget).c_str(), nullptr);
    WriteBytes(kTarget + "\\" + kDriver, "старый Ωμέγα");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(kKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring old = L"прежнее Ωμέγα 中文";
    RegSetValueExW(key, Wide(kName).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(old.c_str()),
                   DWORD((old.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    EXPECT_EQ(RunTolvarin("/i " + setup), 1);
    EXPECT_EQ(ReadBytes(kTarget + "\\" + kDriver), "старый Ωμέγα");
    EXPECT_EQ(RegWide(kKey, kName), old);
    EXPECT_FALSE(KeyExists(DeviceKey(kDevice)));
}

// The same values from a file in the Russian legacy code page and in UTF-8 with and without
// its byte order mark. UTF-8 reads the same everywhere; the legacy file reads as Russian on
// a Russian system and in the Western code page on a Western one.
TEST_F(UnicodeTest, LegacyAndUtf8FilesGiveTheSameValues) {
    // Nothing but the value outside ASCII: a file is in one encoding.
    const std::string header =
        ";OBRIX_INST_FILE\r\nproc Main\r\n  regSZ HKLM, \"Software\\TolvarinTests\", \"v\", \"";
    const std::string tail = "\"\r\nendp\r\n";
    const std::string legacy = "\xCF\xF0\xE8\xE2\xE5\xF2";  // Привет in code page 1251
    const struct {
        std::string bytes;
        std::wstring expected;
    } files[] = {
        {header + "Привет" + tail, L"Привет"},
        {"\xEF\xBB\xBF" + header + "Привет" + tail, L"Привет"},
        {header + legacy + tail, tolv::LegacyCodePage() == 1251 ? L"Привет" : L"Ïðèâåò"},
    };
    for (const auto& file : files) {
        const std::string path = kSource + "\\значение.pxf";
        WriteBytes(path, file.bytes);
        CScriptEngine engine;
        engine.Load(path.c_str());
        engine.CallProc("Main");
        EXPECT_EQ(RegWide("Software\\TolvarinTests", "v"), file.expected) << file.bytes;
    }
}

}  // namespace
