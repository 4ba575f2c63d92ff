// Work left for the next restart: WININIT.INI on Windows 95 (its plain deletions and
// replacements are catalogue behaviours of copy and del), the pending renames on Windows NT.
#include <gtest/gtest.h>

#include <string>

#include "commands/PathHelpers.h"
#include "commands/RestartFileOps.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

TEST(Win95Restart, OneEntryPerTargetNewestWinsAndOtherSectionsStay) {
    ScratchFolder windows;
    tolv::OverrideIsWindowsNT(0);
    tolv::SetWindowsDirectoryForTesting(windows.Path().c_str());
    WriteFileText(windows / "WININIT.INI", "[Other]\nnul=keep\n\n[rename]\nC:\\a.dll=C:\\b.tmp\n");
    tolv::ScheduleReplaceAtRestart("C:\\TEMP\\ktx1.tmp", "C:\\App\\drv.dll");
    tolv::ScheduleDeleteAtRestart("C:\\App\\old.dll");
    tolv::ScheduleReplaceAtRestart("C:\\TEMP\\ktx2.tmp", "C:\\App\\DRV.dll");
    tolv::ScheduleDeleteAtRestart("c:\\app\\OLD.dll");
    tolv::SetWindowsDirectoryForTesting(nullptr);
    tolv::OverrideIsWindowsNT(-1);
    EXPECT_EQ(
        "[Other]\r\nnul=keep\r\n\r\n[rename]\r\nC:\\a.dll=C:\\b.tmp\r\n"
        "C:\\App\\DRV.dll=C:\\TEMP\\ktx2.tmp\r\nnul=C:\\App\\old.dll\r\n",
        ReadFileText(windows / "WININIT.INI"));
}

// The NT branch goes to MoveFileExA, which keeps its work in the machine's pending rename
// list; the test reads it there and puts the list back as it was.
TEST(NtRestart, ReplacementOverwritesAndDeletionHasNoTarget) {
    constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    constexpr char kPending[] = "PendingFileRenameOperations";
    const RegValue saved = ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    ScratchFolder folder;
    const std::string temp = folder / "ktx1.tmp", target = folder / "drv.dll";
    WriteFileText(temp, "new");
    WriteFileText(target, "old");
    tolv::OverrideIsWindowsNT(1);
    tolv::ScheduleReplaceAtRestart(temp.c_str(), target.c_str());
    tolv::ScheduleDeleteAtRestart(target.c_str());
    tolv::OverrideIsWindowsNT(-1);
    const RegValue now = ReadValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    if (saved.exists) {
        WriteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, saved.type, saved.data.data(),
                   DWORD(saved.data.size()));
    } else {
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    }
    // A list that was there loses its closing zero to the new entries.
    const size_t before = saved.exists ? saved.data.size() - 1 : 0;
    using namespace std::string_literals;
    EXPECT_EQ("\\??\\" + temp + "\0!\\??\\"s + target + "\0"s +  // "!": replace existing
                  "\\??\\" + target + "\0\0\0"s,                 // no target: delete
              now.data.substr(std::min(before, now.data.size())));
}

}  // namespace
