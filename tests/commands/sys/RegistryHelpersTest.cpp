// Registry helpers at their limits: a key with more children than one enumeration pass
// takes, and shared-file counts out of range or on a registry that cannot be used (texts,
// numbers and the last user are catalogue behaviours of regChangeRef, copy and del).
#include <gtest/gtest.h>

#include <climits>

#include "commands/RegistryHelpers.h"
#include "tests/rollback/RollbackTestSupport.h"

using tolv::ChangeSharedDllCount;
using tolv::kSharedDllsKey;

namespace {

TEST(DeleteRegTree, RemovesAKeyWithMoreThan512Children) {
    ScratchRoots roots;
    const std::string key = "Software\\Tolv\\Crowded";
    for (int i = 0; i < 515; ++i)
        WriteDword(HKEY_CURRENT_USER, key + "\\C" + std::to_string(i), "n", 1);
    EXPECT_EQ(1, tolv::DeleteRegTree(HKEY_CURRENT_USER, key.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
}

LSTATUS WINAPI DenyCreateKey(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                             PHKEY, LPDWORD) {
    return ERROR_ACCESS_DENIED;
}

TEST(SharedCount, StaysWithinRangeAndGivesMinusOneForAnUnusableRegistry) {
    ScratchRoots roots;
    constexpr char kPath[] = "C:\\Windows\\System\\shared.dll";
    EXPECT_EQ(0, ChangeSharedDllCount(kPath, 0, true, false));
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath).exists) << "a query";
    WriteDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, 0xFFFFFFFFu);
    EXPECT_EQ(INT_MAX, ChangeSharedDllCount(kPath, 0, true, false)) << "never -1 for a count";
    EXPECT_EQ(INT_MAX, ChangeSharedDllCount(kPath, INT_MAX, true, false));
    EXPECT_EQ(0, ChangeSharedDllCount(kPath, INT_MIN, true, true));
    WriteString(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, "99999999999999");
    EXPECT_EQ(INT_MAX, ChangeSharedDllCount(kPath, 0, true, false));
    WriteString(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, "-4");
    EXPECT_EQ(1, ChangeSharedDllCount(kPath, 1, true, false));
    WriteString(HKEY_LOCAL_MACHINE, kSharedDllsKey, kPath, std::string(300, '1'));
    EXPECT_EQ(-1, ChangeSharedDllCount(kPath, 1, true, false)) << "too long to read";
    // A key the user may not write (HKEY_LOCAL_MACHINE without administrator rights) ...
    tolv::Win32().RegCreateKeyExA = DenyCreateKey;
    const int denied = ChangeSharedDllCount(kPath, 1, true, false);
    tolv::Win32().RegCreateKeyExA = tolv::RealWin32().RegCreateKeyExA;
    EXPECT_EQ(-1, denied);
    // ... and one that is missing, created on first use.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSharedDllsKey);
    EXPECT_EQ(1, ChangeSharedDllCount(kPath, 1, false, false));
}

}  // namespace
