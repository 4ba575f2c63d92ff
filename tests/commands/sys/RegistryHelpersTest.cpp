#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

#include "commands/RegistryHelpers.h"
#include "commands/Win32Calls.h"
#include "tests/rollback/RollbackTestSupport.h"

using tolv::ChangeSharedDllCount;
using tolv::DeleteRegTree;
using tolv::kSharedDllsKey;
using tolv::ReadRegDword;
using tolv::ReadRegString;

namespace {

constexpr char kKey[] = "Software\\Tolv\\Values";

class RegistryHelpersTest : public ::testing::Test {
protected:
    ScratchRoots roots;
};

TEST_F(RegistryHelpersTest, ReadRegStringTakesTextsAndRefusesTheRest) {
    SetEnvironmentVariableA("TOLV_SYS_DIR", "C:\\Readers");
    WriteString(HKEY_LOCAL_MACHINE, kKey, "Plain", "reader.dll");
    WriteString(HKEY_LOCAL_MACHINE, kKey, "Expand", "%TOLV_SYS_DIR%\\bin", REG_EXPAND_SZ);
    WriteString(HKEY_LOCAL_MACHINE, kKey, "", "default text");
    WriteDword(HKEY_LOCAL_MACHINE, kKey, "Number", 7);
    // 259 characters fill the 260-byte buffer exactly; one more does not fit.
    WriteString(HKEY_LOCAL_MACHINE, kKey, "Longest", std::string(259, 'x'));
    WriteString(HKEY_LOCAL_MACHINE, kKey, "TooLong", std::string(260, 'x'));
    WriteString(HKEY_LOCAL_MACHINE, kKey, "ExpandsTooLong",
                std::string(250, 'y') + "%TOLV_SYS_DIR%", REG_EXPAND_SZ);
    // A text stored without its terminating zero still reads as exactly its bytes.
    WriteValue(HKEY_LOCAL_MACHINE, kKey, "Unterminated", REG_SZ, "abc", 3);

    std::string out = "unchanged";
    EXPECT_EQ(0, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, "Plain"));
    EXPECT_EQ("reader.dll", out);
    EXPECT_EQ(0, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, "Expand"));
    EXPECT_EQ("C:\\Readers\\bin", out);
    EXPECT_EQ(0, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, ""));
    EXPECT_EQ("default text", out);
    EXPECT_EQ(0, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, "Longest"));
    EXPECT_EQ(259u, out.size());
    EXPECT_EQ(0, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, "Unterminated"));
    EXPECT_EQ("abc", out);

    out = "unchanged";
    EXPECT_EQ(ERROR_BADKEY, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, "Number"));
    EXPECT_EQ(ERROR_MORE_DATA, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, "TooLong"));
    EXPECT_EQ(ERROR_MORE_DATA, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, "ExpandsTooLong"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRegString(out, HKEY_LOCAL_MACHINE, kKey, "Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRegString(out, HKEY_LOCAL_MACHINE, "Software\\No", "x"));
    EXPECT_EQ("unchanged", out);
}

TEST_F(RegistryHelpersTest, ReadRegDwordTakesOnlyDwords) {
    WriteDword(HKEY_CURRENT_USER, kKey, "Max", 0xFFFFFFFFu);
    WriteString(HKEY_CURRENT_USER, kKey, "Text", "12");
    const DWORD four = 12;
    WriteValue(HKEY_CURRENT_USER, kKey, "Binary", REG_BINARY, &four, 4);

    DWORD n = 1;
    EXPECT_EQ(0, ReadRegDword(n, HKEY_CURRENT_USER, kKey, "Max"));
    EXPECT_EQ(0xFFFFFFFFu, n);
    n = 1;
    EXPECT_EQ(ERROR_BADKEY, ReadRegDword(n, HKEY_CURRENT_USER, kKey, "Text"));
    EXPECT_EQ(ERROR_BADKEY, ReadRegDword(n, HKEY_CURRENT_USER, kKey, "Binary"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadRegDword(n, HKEY_CURRENT_USER, kKey, "Missing"));
    EXPECT_EQ(1u, n);
}

TEST_F(RegistryHelpersTest, DeleteRegTreeRemovesDeepAndWideTreesAndNothingBeside) {
    std::string deep = "Software\\Tolv\\Tree";
    for (int level = 0; level < 200; ++level) {
        deep += "\\L" + std::to_string(level);
        if (level % 10 == 0) WriteDword(HKEY_CURRENT_USER, deep, "Level", DWORD(level));
    }
    WriteString(HKEY_CURRENT_USER, deep, "Leaf", "x");
    for (int i = 0; i < 40; ++i) {
        WriteDword(HKEY_CURRENT_USER, "Software\\Tolv\\Tree\\Wide" + std::to_string(i), "n", 1);
    }
    WriteString(HKEY_CURRENT_USER, "Software\\Tolv\\TreeSibling", "keep", "me");

    EXPECT_EQ(1, DeleteRegTree(HKEY_CURRENT_USER, "Software\\Tolv\\Tree"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Tolv\\Tree"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Tolv\\TreeSibling"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Tolv"));
    EXPECT_EQ(0, DeleteRegTree(HKEY_CURRENT_USER, "Software\\Tolv\\Tree"));
}

TEST_F(RegistryHelpersTest, DeleteRegTreeTakesMoreThan512ChildrenPerLevel) {
    const std::string key = "Software\\Tolv\\Crowded";
    for (int i = 0; i < 515; ++i) {
        WriteDword(HKEY_CURRENT_USER, key + "\\C" + std::to_string(1000 + i), "n", 1);
    }
    EXPECT_EQ(1, DeleteRegTree(HKEY_CURRENT_USER, key.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
}

LSTATUS WINAPI DenyCreateKey(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                             PHKEY, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}

class SharedCountTest : public RegistryHelpersTest {
protected:
    static constexpr char kPath[] = "C:\\Windows\\System\\shared.dll";
    static RegValue Count() { return ReadValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath); }
};

TEST_F(SharedCountTest, FirstUserOfANewOrAnExistingFile) {
    EXPECT_EQ(0, ChangeSharedDllCount(kPath, 0, true, false));
    EXPECT_FALSE(Count().exists) << "a query writes nothing";

    EXPECT_EQ(1, ChangeSharedDllCount(kPath, 1, false, true));
    EXPECT_EQ(REG_DWORD, Count().type);
    EXPECT_EQ(1u, Count().Dword());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath);

    // Already on disk without a count: some earlier installation uses it.
    EXPECT_EQ(2, ChangeSharedDllCount(kPath, 1, true, true));
    EXPECT_EQ(2u, Count().Dword());
    EXPECT_EQ(3, ChangeSharedDllCount(kPath, 1, true, true));
}

TEST_F(SharedCountTest, CountsStayWithinRange) {
    WriteDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, 0xFFFFFFFFu);
    EXPECT_EQ(INT_MAX, ChangeSharedDllCount(kPath, 0, true, false)) << "never -1 for a count";
    EXPECT_EQ(INT_MAX, ChangeSharedDllCount(kPath, INT_MAX, true, false));
    EXPECT_EQ(0, ChangeSharedDllCount(kPath, INT_MIN, true, true));
    WriteString(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, "99999999999999");
    EXPECT_EQ(INT_MAX, ChangeSharedDllCount(kPath, 0, true, false));
    WriteString(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, "-4");
    EXPECT_EQ(1, ChangeSharedDllCount(kPath, 1, true, false));
}

TEST_F(SharedCountTest, UnusableRegistryGivesMinusOneAndChangesNothing) {
    const char blob[] = {1, 2};
    WriteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, REG_BINARY, blob, 2);
    EXPECT_EQ(-1, ChangeSharedDllCount(kPath, 1, true, false));
    EXPECT_EQ(REG_BINARY, Count().type);
    WriteString(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, std::string(300, '1'));
    EXPECT_EQ(-1, ChangeSharedDllCount(kPath, 1, true, false)) << "too long to read";

    // A key the user may not write (HKEY_LOCAL_MACHINE without administrator rights).
    tolv::Win32().RegCreateKeyExA = DenyCreateKey;
    const int denied = ChangeSharedDllCount(kPath, 1, true, false);
    tolv::Win32().RegCreateKeyExA = tolv::RealWin32().RegCreateKeyExA;
    EXPECT_EQ(-1, denied);
}

TEST_F(SharedCountTest, MissingKeyIsCreatedOnFirstUse) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSharedDllsKey);
    EXPECT_EQ(1, ChangeSharedDllCount(kPath, 1, false, false));
    EXPECT_EQ(1u, Count().Dword());
}

}  // namespace
