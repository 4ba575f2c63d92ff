#include <gtest/gtest.h>

#include <string>

#include "commands/PathHelpers.h"
#include "commands/RestartFileOps.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

// The Windows 95 branch, writing into a WININIT.INI of a scratch "Windows directory".
class Win95RestartTest : public ::testing::Test {
protected:
    Win95RestartTest() {
        tolv::OverrideIsWindowsNT(0);
        tolv::SetWindowsDirectoryForTesting(windows.Path().c_str());
    }
    ~Win95RestartTest() override {
        tolv::SetWindowsDirectoryForTesting(nullptr);
        tolv::OverrideIsWindowsNT(-1);
    }
    std::string Ini() const { return ReadFileText(windows / "WININIT.INI"); }

    ScratchFolder windows;
};

TEST_F(Win95RestartTest, EveryDeletionIsKeptAndNoneTwice) {
    EXPECT_EQ(windows / "WININIT.INI", tolv::WininitPath());
    tolv::ScheduleDeleteAtRestart("C:\\App\\one.dll");
    tolv::ScheduleDeleteAtRestart("C:\\App\\two.dll");
    tolv::ScheduleDeleteAtRestart("c:\\app\\ONE.dll");
    EXPECT_EQ("[Rename]\r\nnul=C:\\App\\one.dll\r\nnul=C:\\App\\two.dll\r\n", Ini());
}

TEST_F(Win95RestartTest, ReplacementIsOneEntryPerTargetNewestWins) {
    tolv::ScheduleReplaceAtRestart("C:\\TEMP\\ktx1.tmp", "C:\\App\\drv.dll");
    tolv::ScheduleDeleteAtRestart("C:\\App\\old.dll");
    tolv::ScheduleReplaceAtRestart("C:\\TEMP\\ktx2.tmp", "C:\\App\\DRV.dll");
    EXPECT_EQ("[Rename]\r\nC:\\App\\DRV.dll=C:\\TEMP\\ktx2.tmp\r\nnul=C:\\App\\old.dll\r\n", Ini());
}

TEST_F(Win95RestartTest, ExistingFileKeepsItsOtherSectionsAndEntries) {
    WriteFileText(windows / "WININIT.INI",
                  "[Other]\nnul=keep\n\n[rename]\nC:\\a.dll=C:\\b.tmp\n\n[Last]\nx=1");
    tolv::ScheduleDeleteAtRestart("C:\\App\\gone.dll");
    EXPECT_EQ(
        "[Other]\r\nnul=keep\r\n\r\n[rename]\r\nC:\\a.dll=C:\\b.tmp\r\nnul=C:\\App\\gone.dll\r\n"
        "\r\n[Last]\r\nx=1\r\n",
        Ini());
}

// The Windows NT branch goes to MoveFileExA, which keeps its work in the machine's pending
// rename list; the test reads it there and puts the list back as it was.
class NtRestartTest : public ::testing::Test {
protected:
    static constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    static constexpr char kPending[] = "PendingFileRenameOperations";

    NtRestartTest() {
        tolv::OverrideIsWindowsNT(1);
        saved = ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    }
    ~NtRestartTest() override {
        tolv::OverrideIsWindowsNT(-1);
        if (saved.exists) {
            WriteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, saved.type, saved.data.data(),
                       DWORD(saved.data.size()));
        } else {
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
        }
    }
    // The bytes the list gained since the test began.
    std::string Added() const {
        const RegValue now = ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
        // A list that was there loses its closing zero to the new entries.
        const size_t before = saved.exists ? saved.data.size() - 1 : 0;
        return now.data.size() > before ? now.data.substr(before) : std::string();
    }

    ScratchFolder folder;
    RegValue saved;
};

TEST_F(NtRestartTest, ReplacementOverwritesAndDeletionHasNoTarget) {
    const std::string temp = folder / "ktx1.tmp", target = folder / "drv.dll";
    WriteFileText(temp, "new");
    WriteFileText(target, "old");
    tolv::ScheduleReplaceAtRestart(temp.c_str(), target.c_str());
    tolv::ScheduleDeleteAtRestart(target.c_str());
    using namespace std::string_literals;
    EXPECT_EQ("\\??\\" + temp + "\0!\\??\\"s + target + "\0"s +  // "!": replace existing
                  "\\??\\" + target + "\0\0\0"s,                 // no target: delete
              Added());
}

}  // namespace
