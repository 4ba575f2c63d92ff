// freeSpace against what Windows itself reports (the other system command rules are
// catalogue behaviours).
#include <gtest/gtest.h>
#include <windows.h>

#include "engine/ScriptEngine.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

TEST(FreeSpaceTest, CountsKiBOfThePathsDrive) {
    char drive = 'Z';
    while (GetLogicalDrives() >> (drive - 'A') & 1) --drive;
    CScriptEngine engine;
    engine_test::LoadText(
        engine,
        "proc Main\neval $all, freeSpace $dir\neval $at, freeSpace \"C:\", $min\nintsub $min\n"
        "eval $below, freeSpace \"C:\\\", $min\nset $onErrorProc, OnError\n"
        "eval $missing, freeSpace \"" +
            std::string(1, drive) +
            ":\\x\\y\"\nendp\nproc OnError\nset $reported, \"#$1#|#$2#\"\nendp\n");
    auto var = [&](const char* name) { return std::string(engine.GetVar(name)); };
    for (int attempt = 0; attempt < 50; ++attempt) {
        DWORD perCluster, perSector, free, total;
        auto freeKiB = [&] {
            GetDiskFreeSpaceA("C:\\", &perCluster, &perSector, &free, &total);
            return std::to_string(int((((perSector * perCluster) >> 8) * free) >> 2));
        };
        const std::string before = freeKiB();
        engine.SetVar("dir", "C:\\Some\\Dir");
        engine.SetVar("min", before.c_str());
        engine.CallProc("Main");
        if (freeKiB() != before) continue;  // another program wrote to the disk meanwhile
        EXPECT_EQ(before + "|C:\\Some\\Dir|0|1|0", var("all") + "|" + var("dir") + "|" + var("at") +
                                                       "|" + var("below") + "|" + var("missing"));
        EXPECT_EQ(var("lastWinError") + "|" + drive + ":\\", var("reported"));
        return;
    }
    FAIL() << "the free space of C: never held still";
}

}  // namespace
