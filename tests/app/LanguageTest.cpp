// Language selection against a scratch registry and small resource-only modules.
#include "language/Language.h"
#include "resources/resource.h"
#include "tests/common/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kModules = std::string(TOLV_BIN_DIR) + "/langtest/";
constexpr char kObrix[] = "SOFTWARE\\Obrix";
constexpr wchar_t kRussian[] = L"Имя устройства";

class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override { FreeLanguage(); }
    ScratchRegistry registry;
};

TEST_F(LanguageTest, TheSettingChoosesTheTableAndAnythingUnusableFallsBackToRussian) {
    const struct {
        const char* language;  // the Language value; nullptr: none
        const char* folder;    // the program directory, below kModules
        const wchar_t* deviceName;
        int offset;
        bool programItself;
        DWORD type = REG_SZ;
    } cases[] = {
        {nullptr, "", kRussian, 1000, true},
        {"eng", "", L"Device name", 0, true},
        {"xyz", "", kRussian, 1000, true},   // nobody has it
        {"engl", "", kRussian, 1000, true},  // too long to be taken
        {"eng", "", kRussian, 1000, true, REG_BINARY},
        {"", "", kRussian, 1000, true},
        {"deu", "program", L"Gerätename", 0, false},
        {"ita", "program", L"Nome del dispositivo", 0, false},  // from the Shared Path
        {"deu", "unilang", kRussian, 1000, true},               // not where the program looks
        {"spa", "unilang", L"Nombre del dispositivo", 3000, false},
    };
    ScratchRegistry::SetString(kObrix, "Shared Path", kModules + "shared\\");
    for (const auto& c : cases) {
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kObrix, "Language");
        if (c.language) {
            ScratchRegistry::SetValue(kObrix, "Language", c.type, c.language,
                                      DWORD(strlen(c.language) + 1));
        }
        std::string where = c.language ? c.language : "<none>";
        ASSERT_EQ(
            1, InitLanguage(GetModuleHandleW(nullptr), "Brassolin", (kModules + c.folder).c_str()))
            << where;
        EXPECT_EQ(c.deviceName, LangString(IDS_DEVICE_NAME)) << where;
        EXPECT_EQ(c.offset, LanguageOffset()) << where;
        EXPECT_EQ(c.programItself, LanguageIsProgramItself()) << where;
        EXPECT_EQ(L"no resource", LangString(3)) << where;  // a string nobody has
        if (c.offset == 1000) {
            EXPECT_STREQ("rus", CurrentLanguageCode()) << where;
        }
        FreeLanguage();
    }
    // A module that only the system's search finds (here in the current folder) is not used.
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, current);
    SetCurrentDirectoryA((kModules + "program").c_str());
    ScratchRegistry::SetString(kObrix, "Language", "deu");
    ASSERT_EQ(1,
              InitLanguage(GetModuleHandleW(nullptr), "Brassolin", (kModules + "unilang").c_str()));
    EXPECT_EQ(kRussian, LangString(IDS_DEVICE_NAME));
    SetCurrentDirectoryA(current);
}

}  // namespace
