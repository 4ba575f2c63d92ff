// Language selection against a scratch registry and small resource-only modules.
#include "app/Language.h"
#include "resources/resource.h"
#include "tests/common/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kModules = std::string(TOLV_BIN_DIR) + "/langtest/";
constexpr char kObrix[] = "SOFTWARE\\Obrix";

class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override { FreeLanguage(); }
    int Init(const std::string& programDirectory = "") {
        return InitLanguage(GetModuleHandleW(nullptr), "Brassolin", programDirectory.c_str());
    }
    ScratchRegistry registry;
};

TEST_F(LanguageTest, WithoutSettingsTheProgramSpeaksRussian) {
    ASSERT_EQ(1, Init());
    EXPECT_STREQ("rus", CurrentLanguageCode());
    EXPECT_EQ(1000, LanguageOffset());
    EXPECT_TRUE(LanguageIsProgramItself());
    EXPECT_EQ(L"Имя устройства", LangString(IDS_DEVICE_NAME));
    EXPECT_EQ(L"no resource", LangString(3));  // no string 3 in either language
}

TEST_F(LanguageTest, EnglishFromTheProgramsOwnTable) {
    ScratchRegistry::SetString(kObrix, "Language", "eng");
    ASSERT_EQ(1, Init());
    EXPECT_EQ(0, LanguageOffset());
    EXPECT_EQ(L"Device name", LangString(IDS_DEVICE_NAME));

    wchar_t small[6];
    LangStringToBuffer(small, IDS_DEVICE_NAME, 6);
    EXPECT_STREQ(L"Devic", small);
    wchar_t buffer[256] = L"left over";
    EXPECT_EQ(0, LoadLangString(3, buffer));
    EXPECT_STREQ(L"", buffer);
}

TEST_F(LanguageTest, UnusableSettingsFallBackToRussian) {
    ScratchRegistry::SetString(kObrix, "Language", "xyz");  // nobody has it
    ASSERT_EQ(1, Init());
    EXPECT_STREQ("rus", CurrentLanguageCode());
    EXPECT_EQ(1000, LanguageOffset());
    FreeLanguage();

    ScratchRegistry::SetString(kObrix, "Language", "engl");  // too long to be taken
    ASSERT_EQ(1, Init());
    EXPECT_STREQ("rus", CurrentLanguageCode());
    FreeLanguage();

    ScratchRegistry::SetValue(kObrix, "Language", REG_BINARY, "eng", 4);  // wrong type
    ASSERT_EQ(1, Init());
    EXPECT_STREQ("rus", CurrentLanguageCode());
    FreeLanguage();

    ScratchRegistry::SetString(kObrix, "Language", "");
    ASSERT_EQ(1, Init());
    EXPECT_STREQ("rus", CurrentLanguageCode());
}

TEST_F(LanguageTest, ALanguageModuleIsFoundInTheProgramOrSharedDirectory) {
    ScratchRegistry::SetString(kObrix, "Language", "deu");
    ASSERT_EQ(1, Init(kModules + "program"));
    EXPECT_FALSE(LanguageIsProgramItself());
    EXPECT_EQ(0, LanguageOffset());
    EXPECT_EQ(L"Gerätename", LangString(IDS_DEVICE_NAME));
    FreeLanguage();

    ScratchRegistry::SetString(kObrix, "Language", "ita");
    ScratchRegistry::SetString(kObrix, "Shared Path", kModules + "shared\\");
    ASSERT_EQ(1, Init(kModules + "program"));
    EXPECT_EQ(L"Nome del dispositivo", LangString(IDS_DEVICE_NAME));
    FreeLanguage();

    // The module is not where the program looks: back to Russian.
    ScratchRegistry::SetString(kObrix, "Language", "deu");
    ASSERT_EQ(1, Init(kModules + "unilang"));
    EXPECT_STREQ("rus", CurrentLanguageCode());
}

TEST_F(LanguageTest, TheUniversalModuleServesTheLanguagesOfItsList) {
    ScratchRegistry::SetString(kObrix, "Language", "spa");
    ASSERT_EQ(1, Init(kModules + "unilang"));
    EXPECT_EQ(3000, LanguageOffset());
    EXPECT_EQ(L"Nombre del dispositivo", LangString(IDS_DEVICE_NAME));
    FreeLanguage();

    ScratchRegistry::SetString(kObrix, "Language", "deu");  // not in its list
    ASSERT_EQ(1, Init(kModules + "unilang"));
    EXPECT_STREQ("rus", CurrentLanguageCode());
    EXPECT_TRUE(LanguageIsProgramItself());
}

TEST(LanguageListTest, EntriesAreFoundBySubstringAndNeedDigits) {
    int offset = -1;
    EXPECT_TRUE(FindLanguageInList(L"LANGUAGES: eng=0 rus=1000", "rus", &offset));
    EXPECT_EQ(1000, offset);
    EXPECT_FALSE(FindLanguageInList(L"LANGUAGES: eng=0 rus=", "rus", &offset));
    EXPECT_FALSE(FindLanguageInList(L"LANGUAGES: eng=0 rus=x1", "rus", &offset));
    EXPECT_FALSE(FindLanguageInList(L"LANGUAGE: rus=1000", "rus", &offset));
    EXPECT_FALSE(FindLanguageInList(L"LANGUAGES: rusx=1", "rus", &offset));
    EXPECT_TRUE(FindLanguageInList(L"LANGUAGES: eng=7", "ng", &offset));  // tail of "eng"
    EXPECT_EQ(7, offset);
}

}  // namespace
