// Work left for the next restart in WININIT.INI on Windows 95 (its plain deletions and
// replacements are catalogue behaviours of copy and del).
#include <gtest/gtest.h>

#include <string>

#include "platform/PathHelpers.h"
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

}  // namespace
