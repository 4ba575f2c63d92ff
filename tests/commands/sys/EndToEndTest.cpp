// A whole installation procedure inside the engine: it creates and overwrites files,
// directories, keys and counts, then either aborts (and the rollback must leave the machine
// exactly as it was) or completes (and the commit must leave no temporary file behind).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "commands/RegistryHelpers.h"
#include "tests/commands/sys/CommandTestSupport.h"

using namespace sys_test;

namespace {

class EndToEndTest : public CommandTest {
protected:
    EndToEndTest() {
        WriteFile(Source("new.dll"), "new");
        WriteFile(Source("over.dll"), "over, installed");
        WriteFile(Source("shared.dll"), "shared");
        for (const char* name : {"new.dll", "over.dll", "shared.dll"}) {
            SetWriteTime(Source(name), TimeAt(1000));
        }
        WriteFile(Target("over.dll"), "over, as it was");
        SetWriteTime(Target("over.dll"), TimeAt(10));
        SetFileAttributesA(Target("over.dll").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteFile(Target("gone.txt"), "to be deleted");
        SetWriteTime(Target("gone.txt"), TimeAt(20));
        CreateDirectoryA(Target("empty").c_str(), nullptr);
        CreateDirectoryA(Target("removed").c_str(), nullptr);
        CreateDirectoryA(Target("parent").c_str(), nullptr);

        WriteString(HKEY_LOCAL_MACHINE, "Software\\TolvE2E\\Existing", "A", "alpha");
        WriteDword(HKEY_LOCAL_MACHINE, "Software\\TolvE2E\\Existing", "B", 2);
        WriteString(HKEY_LOCAL_MACHINE, "Software\\TolvE2E\\Existing\\Sub", "sv", "sub value");
        WriteString(HKEY_CURRENT_USER, "Software\\TolvE2E\\Doomed\\Child", "c", "child");
        WriteDword(HKEY_CURRENT_USER, "Software\\TolvE2E\\Doomed", "d", 4);
        WriteDword(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, Target("over.dll").c_str(), 5);
    }

    std::string Script(bool abort) const {
        const std::string dst = TargetDir();
        return "copy \"new.dll\", \"" + dst +
               "\"\n"  //
               "copy \"over.dll\", \"" +
               dst +
               "\\\"\n"  //
               "copy \"over.dll\", \"" +
               dst +
               "\\over.dll\", r\n"  // overwritten twice
               "copy \"shared.dll\", \"" +
               dst +
               "\", s\n"  //
               "mkdir \"" +
               dst +
               "\\parent\\made\", f\n"  //
               "mkdir \"" +
               dst +
               "\\empty\"\n"  //
               "del \"" +
               dst +
               "\\gone.txt\"\n"  //
               "rmdir \"" +
               dst +
               "\\removed\"\n"                                             //
               "regSZ HKLM, \"Software\\TolvE2E\\New\", \"v\", \"x\"\n"    //
               "regDW hklm, \"Software\\TolvE2E\\Existing\", \"B\", 99\n"  //
               "regSZ HKLM, \"Software\\TolvE2E\\Existing\", \"C\", \"c\"\n"
               "regDel HKLM, \"Software\\TolvE2E\\Existing\\Sub\", \"sv\"\n"
               "regDel HKCU, \"Software\\TolvE2E\\Doomed\"\n"
               "regChangeRef \"" +
               dst + "\\over.dll\", 1\n" + (abort ? "abort\n" : "");
    }

    // Everything the procedure may touch, as comparable text.
    std::vector<std::string> Machine() const {
        std::vector<std::string> state;
        Files(folder.Path(), state);
        DumpKey(HKEY_LOCAL_MACHINE, "Software\\TolvE2E", state);
        DumpKey(HKEY_CURRENT_USER, "Software\\TolvE2E", state);
        DumpKey(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, state);
        return state;
    }
    static void Files(const std::string& dir, std::vector<std::string>& out) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        std::vector<std::string> subdirs;
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                out.push_back(path + "\\");
                subdirs.push_back(path);
            } else {
                out.push_back(path + " attr " + std::to_string(found.dwFileAttributes) + " time " +
                              std::to_string(WriteTimeOf(path)) + " [" + ReadFile(path) + "]");
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
        for (const std::string& sub : subdirs) Files(sub, out);
    }
    static std::vector<std::string> TempLeftovers() {
        std::vector<std::string> names = TempFiles("kbx");
        for (const std::string& name : TempFiles("ktx")) names.push_back(name);
        return names;
    }
};

TEST_F(EndToEndTest, AbortedInstallLeavesTheMachineAsItWas) {
    const std::vector<std::string> before = Machine();
    const std::vector<std::string> tempBefore = TempLeftovers();
    engine.StartJournal();
    EXPECT_EQ(101, Error(Script(true)));
    EXPECT_NE(before, Machine());
    EXPECT_EQ(10u, UndoLines().size());

    engine.RollBack();
    EXPECT_EQ(before, Machine());
    EXPECT_EQ(tempBefore, TempLeftovers());
}

// A device record is one new key with several values, and a file may be copied twice: the
// second change finds what the first one made, which did not exist before the run.
TEST_F(EndToEndTest, WhatTheRunMadeAndChangedAgainIsGoneAfterRollback) {
    const std::vector<std::string> before = Machine();
    const std::vector<std::string> tempBefore = TempLeftovers();
    const std::string dir = Target("made");
    engine.StartJournal();
    EXPECT_EQ(101, Error("regSZ HKLM, \"Software\\TolvE2E\\Dev\", \"Uninstall\", \"u\"\n"
                         "regDW HKLM, \"Software\\TolvE2E\\Dev\", \"Count\", 1\n"
                         "regDel HKLM, \"Software\\TolvE2E\\Dev\"\n"
                         "regSZ HKLM, \"Software\\TolvE2E\\Dev\", \"Again\", \"a\"\n"
                         "copy \"new.dll\", \"" +
                         TargetDir() +
                         "\\\"\n"
                         "copy \"new.dll\", \"" +
                         Target("new.dll") +
                         "\"\n"
                         "mkdir \"" +
                         dir +
                         "\"\n"
                         "mkdir \"" +
                         dir +
                         "\"\n"
                         "abort\n"));
    engine.RollBack();
    EXPECT_EQ(before, Machine());
    EXPECT_EQ(tempBefore, TempLeftovers());
}

TEST_F(EndToEndTest, CommittedInstallLeavesNoTemporaryFile) {
    const std::vector<std::string> tempBefore = TempLeftovers();
    engine.StartJournal();
    Run(Script(false));
    engine.CommitJournal();

    EXPECT_EQ(tempBefore, TempLeftovers());
    EXPECT_EQ("over, installed", ReadFile(Target("over.dll")));
    EXPECT_EQ("new", ReadFile(Target("new.dll")));
    EXPECT_FALSE(Exists(Target("gone.txt")));
    EXPECT_FALSE(Exists(Target("removed")));
    EXPECT_TRUE(Exists(Target("parent\\made")));
    EXPECT_TRUE(Exists(Target("empty")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\TolvE2E\\Doomed"));
    EXPECT_EQ(99u, ReadValue(HKEY_LOCAL_MACHINE, "Software\\TolvE2E\\Existing", "B").Dword());
    EXPECT_EQ(
        6u,
        ReadValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, Target("over.dll").c_str()).Dword());
    SetFileAttributesA(Target("over.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
