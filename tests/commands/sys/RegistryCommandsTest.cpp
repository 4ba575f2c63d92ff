#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/RegistryHelpers.h"
#include "tests/commands/sys/CommandTestSupport.h"

using namespace sys_test;

namespace {

class RegistryCommandsTest : public CommandTest {
protected:
    std::vector<std::string> Dump(HKEY root, const std::string& key) {
        std::vector<std::string> lines;
        DumpKey(root, key, lines);
        return lines;
    }
};

TEST_F(RegistryCommandsTest, WritesRecordExactUndoLinesAndRollBackRestores) {
    WriteString(HKEY_CURRENT_USER, "Software\\Tolv\\Old", "A", "one");
    WriteDword(HKEY_CURRENT_USER, "Software\\Tolv\\Old", "B", 2);
    const std::vector<std::string> before = Dump(HKEY_CURRENT_USER, "Software\\Tolv");
    engine.StartJournal();

    EXPECT_EQ(1, Run("regSZ hklm, \"Software\\Tolv\\New\\Leaf\", \"Name\", \"text\"\n"
                     "regDW HKCU, \"Software\\Tolv\\Old\", \"A\", 5\n"
                     "regDW HKCU, \"Software\\Tolv\\Old\", \"C\", -1\n"
                     "regSZ HKCU, \"Software\\Tolv\\C##\", \"#;\", \"x\"\n"));

    EXPECT_EQ((std::vector<std::string>{
                  "  regDel HKCU, \"Software\\Tolv\\C##\"",
                  "  regDel HKCU, \"Software\\Tolv\\Old\", \"C\"",
                  "  regDel HKCU, \"Software\\Tolv\\Old\", \"A\"",
                  "  regDel hklm, \"Software\\Tolv\\New\\Leaf\"",
              }),
              UndoLines());
    EXPECT_EQ("text", ReadValue(HKEY_LOCAL_MACHINE, "Software\\Tolv\\New\\Leaf", "Name").Text());
    EXPECT_EQ(0xFFFFFFFFu, ReadValue(HKEY_CURRENT_USER, "Software\\Tolv\\Old", "C").Dword());
    EXPECT_EQ("x", ReadValue(HKEY_CURRENT_USER, "Software\\Tolv\\C#", ";").Text());
    // One backup of the existing key's own values, under the canonical root name; the
    // second change to the same key is covered by it.
    const auto& records = engine.GetJournal().GetRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("r0", records[0].text.substr(0, 2));
    EXPECT_EQ("\x01HKCU\\Software\\Tolv\\Old",
              records[0].text.substr(records[0].text.find('\x01')));

    engine.RollBack();
    EXPECT_EQ(before, Dump(HKEY_CURRENT_USER, "Software\\Tolv"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolv\\New\\Leaf"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolv\\New")) << "parents stay";
}

TEST_F(RegistryCommandsTest, RegDelOfWhatIsMissingChangesNothing) {
    WriteString(HKEY_CLASSES_ROOT, "Tolv\\Key", "Keep", "v");
    const std::vector<std::string> before = Dump(HKEY_CLASSES_ROOT, "Tolv");
    engine.StartJournal();
    EXPECT_EQ(1, Run("regDel HKCR, \"Tolv\\Key\", \"Missing\"\n"
                     "regDel HKCR, \"Tolv\\Key\\Missing\"\n"
                     "regDel HKCR, \"Tolv\\Missing\", \"Keep\"\n"));
    EXPECT_EQ(before, Dump(HKEY_CLASSES_ROOT, "Tolv"));
    EXPECT_TRUE(UndoLines().empty());
}

TEST_F(RegistryCommandsTest, RegDelTakesTreesAndValuesAndRollBackBringsThemBack) {
    WriteString(HKEY_USERS, "Tolv\\Tree\\A\\B", "deep", "1");
    WriteDword(HKEY_USERS, "Tolv\\Tree", "top", 7);
    WriteString(HKEY_USERS, "Tolv\\Values", "gone", "x");
    WriteString(HKEY_USERS, "Tolv\\Values", "stays", "y");
    const std::vector<std::string> before = Dump(HKEY_USERS, "Tolv");
    engine.StartJournal();

    // The values of Tree are saved first on their own, then the whole tree: the first
    // backup does not cover the second.
    EXPECT_EQ(1, Run("regDel HKU, \"Tolv\\Tree\", \"top\"\n"
                     "regDel HKU, \"Tolv\\Tree\"\n"
                     "regDel HKU, \"Tolv\\Values\", \"gone\"\n"));
    EXPECT_FALSE(KeyExists(HKEY_USERS, "Tolv\\Tree"));
    EXPECT_FALSE(ReadValue(HKEY_USERS, "Tolv\\Values", "gone").exists);
    EXPECT_TRUE(ReadValue(HKEY_USERS, "Tolv\\Values", "stays").exists);
    EXPECT_EQ(3u, engine.GetJournal().GetRecords().size());

    engine.RollBack();
    EXPECT_EQ(before, Dump(HKEY_USERS, "Tolv"));
}

TEST_F(RegistryCommandsTest, BadRootOrEmptySubkeyFailsWith8BeforeAnyChange) {
    engine.StartJournal();
    const char* statements[] = {
        "regSZ HKEY_LOCAL_MACHINE, \"Software\\Tolv\", \"a\", \"b\"",
        "regDW HKLM, \"\", \"a\", 1",
        "regDel HKXX, \"Software\\Tolv\"",
        "regDel HKLM, \"\", \"a\"",
        "regGetValue $v, HKLM, \"\"",
        "regGetValue $v, HKCC, \"Software\"",
    };
    for (const char* statement : statements) {
        EXPECT_EQ(8, Error(statement)) << statement;
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolv"));
    EXPECT_TRUE(UndoLines().empty());
    EXPECT_TRUE(engine.GetJournal().GetRecords().empty());
}

TEST_F(RegistryCommandsTest, RegGetValueReadsTextsNumbersAndDefaults) {
    SetEnvironmentVariableA("TOLV_SYS_ROOT", "D:\\Cards");
    WriteDword(HKEY_LOCAL_MACHINE, "Software\\Tolv", "Max", 0xFFFFFFFFu);
    WriteString(HKEY_LOCAL_MACHINE, "Software\\Tolv", "Path", "%TOLV_SYS_ROOT%\\drv",
                REG_EXPAND_SZ);
    WriteString(HKEY_LOCAL_MACHINE, "Software\\Tolv", "", "the default");
    const char blob[] = {1, 2, 3};
    WriteValue(HKEY_LOCAL_MACHINE, "Software\\Tolv", "Blob", REG_BINARY, blob, 3);

    EXPECT_EQ(1, Run("regGetValue $n, HKLM, \"Software\\Tolv\", \"Max\""));
    EXPECT_EQ("4294967295", Var("n"));
    EXPECT_EQ(1, Run("regGetValue $p, hklm, \"Software\\Tolv\", \"Path\""));
    EXPECT_EQ("D:\\Cards\\drv", Var("p"));
    EXPECT_EQ(1, Run("regGetValue $d, HKLM, \"Software\\Tolv\""));
    EXPECT_EQ("the default", Var("d"));

    EXPECT_EQ(0, Run("set $m, \"old\"\nregGetValue $m, HKLM, \"Software\\Tolv\", \"None\", "
                     "\"fallback\""));
    EXPECT_EQ("fallback", Var("m"));
    EXPECT_EQ(0, Run("set $m, \"old\"\nregGetValue $m, HKLM, \"Software\\Nowhere\", \"x\""));
    EXPECT_EQ("old", Var("m"));
    // Readable but of no usable type: no default either, the default is for missing values.
    EXPECT_EQ(0, Run("set $m, \"old\"\nregGetValue $m, HKLM, \"Software\\Tolv\", \"Blob\", "
                     "\"fallback\""));
    EXPECT_EQ("old", Var("m"));
}

class RegChangeRefTest : public RegistryCommandsTest {
protected:
    RegChangeRefTest() { WriteFileText(file, "shared"); }
    RegValue Count() { return ReadValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str()); }
    int Change(const std::string& rest) { return Run("regChangeRef \"" + file + "\", " + rest); }
    const std::string file = Target("shared.dll");
};

TEST_F(RegChangeRefTest, FileOnDiskWithoutCountBecomesTwoAndUndoesByOne) {
    engine.StartJournal();
    EXPECT_EQ(1, Change("1"));
    EXPECT_EQ(2u, Count().Dword());
    EXPECT_EQ(std::vector<std::string>{"  regChangeRef \"" + file + "\",-1,\"\""}, UndoLines());
    engine.RollBack();
    EXPECT_EQ(1u, Count().Dword()) << "the undo line takes back exactly the change";
    EXPECT_TRUE(PathExists(file));
}

TEST_F(RegChangeRefTest, LastUserTakesCountAndFileUnlessKept) {
    WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str(), 1);
    engine.StartJournal();
    EXPECT_EQ(1, Change("-1, \"L\""));
    EXPECT_TRUE(Count().exists);
    EXPECT_EQ(0u, Count().Dword());
    EXPECT_TRUE(PathExists(file));
    EXPECT_EQ(std::vector<std::string>{"  regChangeRef \"" + file + "\",1,\"l\""}, UndoLines());

    EXPECT_EQ(1, Change("-1"));
    EXPECT_FALSE(Count().exists);
    EXPECT_FALSE(PathExists(file));
}

TEST_F(RegChangeRefTest, TextCountIsReadAndWrittenBackAsDword) {
    WriteString(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str(), "3");
    EXPECT_EQ(1, Change("1"));
    EXPECT_EQ(REG_DWORD, Count().type);
    EXPECT_EQ(4u, Count().Dword());
}

TEST_F(RegChangeRefTest, UnreadableCountChangesNothingAndRecordsNothing) {
    const char blob[] = {9};
    WriteValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str(), REG_BINARY, blob, 1);
    engine.StartJournal();
    EXPECT_EQ(1, Change("-1"));
    EXPECT_EQ(REG_BINARY, Count().type);
    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(UndoLines().empty());
}

}  // namespace
