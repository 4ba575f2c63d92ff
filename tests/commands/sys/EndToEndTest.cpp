// A whole installation procedure inside the engine: it creates and overwrites files,
// directories, keys and counts, then either aborts (and the rollback must leave the machine
// exactly as it was) or completes (and the commit must leave no temporary file behind).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/RegistryHelpers.h"
#include "tests/commands/sys/CommandTestSupport.h"

using namespace sys_test;

namespace {

class EndToEndTest : public CommandTest {
protected:
    EndToEndTest() {
        WriteFileText(Source("new.dll"), "new");
        WriteFileText(Source("over.dll"), "over, installed");
        WriteFileText(Source("shared.dll"), "shared");
        for (const char* name : {"new.dll", "over.dll", "shared.dll"}) {
            SetWriteTime(Source(name), TimeAt(1000));
        }
        WriteFileText(Target("over.dll"), "over, as it was");
        SetWriteTime(Target("over.dll"), TimeAt(10));
        SetFileAttributesA(Target("over.dll").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteFileText(Target("gone.txt"), "to be deleted");
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

    // The script text with every "%D" replaced by the destination directory.
    std::string WithTarget(std::string script) const {
        for (size_t at; (at = script.find("%D")) != std::string::npos;) {
            script.replace(at, 2, TargetDir());
        }
        return script;
    }
    std::string Script(bool abort) const {
        return WithTarget(
            "copy \"new.dll\", \"%D\"\n"
            "copy \"over.dll\", \"%D\\\"\n"
            "copy \"over.dll\", \"%D\\over.dll\", r\n"  // overwritten twice
            "copy \"shared.dll\", \"%D\", s\n"
            "mkdir \"%D\\parent\\made\", f\n"
            "mkdir \"%D\\empty\"\n"
            "del \"%D\\gone.txt\"\n"
            "rmdir \"%D\\removed\"\n"
            "regSZ HKLM, \"Software\\TolvE2E\\New\", \"v\", \"x\"\n"
            "regDW hklm, \"Software\\TolvE2E\\Existing\", \"B\", 99\n"
            "regSZ HKLM, \"Software\\TolvE2E\\Existing\", \"C\", \"c\"\n"
            "regDel HKLM, \"Software\\TolvE2E\\Existing\\Sub\", \"sv\"\n"
            "regDel HKCU, \"Software\\TolvE2E\\Doomed\"\n"
            "regChangeRef \"%D\\over.dll\", 1\n" +
            std::string(abort ? "abort\n" : ""));
    }

    // Everything the procedure may touch, as comparable text; the folder holds the
    // temporary directory too, so leftovers of the run show here.
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
                              std::to_string(WriteTimeOf(path)) + " [" + ReadFileText(path) + "]");
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
        for (const std::string& sub : subdirs) Files(sub, out);
    }
};

// A device record is one new key with several values, and a file may be copied twice: the
// second change finds what the first one made, which did not exist before the run.
TEST_F(EndToEndTest, WhatTheRunMadeAndChangedAgainIsGoneAfterRollback) {
    const std::vector<std::string> before = Machine();
    engine.StartJournal();
    EXPECT_EQ(101, Error(WithTarget("regSZ HKLM, \"Software\\TolvE2E\\Dev\", \"Uninstall\", \"u\"\n"
                                    "regDW HKLM, \"Software\\TolvE2E\\Dev\", \"Count\", 1\n"
                                    "regDel HKLM, \"Software\\TolvE2E\\Dev\"\n"
                                    "regSZ HKLM, \"Software\\TolvE2E\\Dev\", \"Again\", \"a\"\n"
                                    "copy \"new.dll\", \"%D\\\"\n"
                                    "copy \"new.dll\", \"%D\\new.dll\"\n"
                                    "mkdir \"%D\\made\"\n"
                                    "mkdir \"%D\\made\"\n"
                                    "abort\n")));
    engine.RollBack();
    EXPECT_EQ(before, Machine());
}

TEST_F(EndToEndTest, CommittedInstallLeavesNoTemporaryFile) {
    engine.StartJournal();
    Run(Script(false));
    engine.CommitJournal();
    EXPECT_TRUE(folder.TempFiles().empty());
    EXPECT_EQ("over, installed", ReadFileText(Target("over.dll")));
    EXPECT_FALSE(PathExists(Target("gone.txt")));
    EXPECT_FALSE(PathExists(Target("removed")));
    EXPECT_TRUE(PathExists(Target("parent\\made")));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\TolvE2E\\Doomed"));
    EXPECT_EQ(99u, ReadValue(HKEY_LOCAL_MACHINE, "Software\\TolvE2E\\Existing", "B").Dword());
    SetFileAttributesA(Target("over.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
