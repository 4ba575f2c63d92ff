// Path and file helpers: the text rules, file times in two-second steps, and the disk
// routines in a private folder.
#include <gtest/gtest.h>

#include "commands/PathHelpers.h"
#include "tests/rollback/RollbackTestSupport.h"

using namespace tolv;

namespace {

TEST(PathText, SeparatorsFollowTheDriveAndBackslashRules) {
    // Each case: the path, then what AppendBackslash, StripBackslash, JoinPath(path,"f"),
    // SplitPath (directory|name) and AddDefaultExtension(path, ".lnk") make of it.
    const struct {
        std::string path, appended, stripped, joined, split, extended;
    } cases[] = {
        {"", "", "", "f", "|", ".lnk"},
        {"C:", "C:", "C:", "C:f", "C:|", "C:.lnk"},
        {"C:\\", "C:\\", "C:\\", "C:\\f", "C:\\|", "C:\\.lnk"},
        {"C:\\Dir", "C:\\Dir\\", "C:\\Dir", "C:\\Dir\\f", "C:\\|Dir", "C:\\Dir.lnk"},
        {"C:\\Dir\\\\", "C:\\Dir\\\\", "C:\\Dir\\", "C:\\Dir\\\\f", "C:\\Dir\\|",
         "C:\\Dir\\\\.lnk"},
        {"C:file.txt", "C:file.txt\\", "C:file.txt", "C:file.txt\\f", "C:|file.txt", "C:file.txt"},
        {"\\file", "\\file\\", "\\file", "\\file\\f", "\\|file", "\\file.lnk"},
        {"dir/", "dir/\\", "dir/", "dir/\\f", "|dir/", "dir/.lnk"},
        {"C:\\My.Apps\\Setup", "C:\\My.Apps\\Setup\\", "C:\\My.Apps\\Setup",
         "C:\\My.Apps\\Setup\\f", "C:\\My.Apps|Setup", "C:\\My.Apps\\Setup.lnk"},
        {"a.b:Setup", "a.b:Setup\\", "a.b:Setup", "a.b:Setup\\f", "a.b:|Setup", "a.b:Setup.lnk"},
    };
    for (const auto& c : cases) {
        std::string appended = c.path, stripped = c.path, extended = c.path, dir = "?", name = "?";
        SplitPath(c.path, &dir, &name);
        AddDefaultExtension(extended, ".lnk");
        EXPECT_EQ(AppendBackslash(appended), c.appended) << c.path;
        EXPECT_EQ(StripBackslash(stripped), c.stripped) << c.path;
        EXPECT_EQ(JoinPath(c.path, "f"), c.joined) << c.path;
        EXPECT_EQ(dir + "|" + name, c.split) << c.path;
        EXPECT_EQ(extended, c.extended) << c.path;
    }
    for (const char* absolute : {"\\Dir", "C:file", "C:\\file"})
        EXPECT_TRUE(IsAbsolutePath(absolute));
    for (const char* relative : {"file", "C", "", "/unix"}) EXPECT_FALSE(IsAbsolutePath(relative));
}

TEST(PathText, FileTimesCompareInTwoSecondSteps) {
    auto at = [](WORD second, WORD millisecond) {
        SYSTEMTIME parts = {2024, 5, 0, 17, 12, 0, second, millisecond};
        FILETIME time;
        SystemTimeToFileTime(&parts, &time);
        return time;
    };
    EXPECT_EQ(CompareFileTimes(at(10, 0), at(11, 0)), 0);
    EXPECT_EQ(CompareFileTimes(at(11, 0), at(12, 0)), -1);
    EXPECT_EQ(CompareFileTimes(at(12, 0), at(11, 999)), 1);
}

TEST(PathDisk, QueriesChainsAndTempNames) {
    TempFolder folder;
    WriteFileText(folder / "a.txt", "a");
    EXPECT_TRUE(FileExists((folder / "*.txt").c_str()));
    EXPECT_FALSE(FileExists((folder / std::string(300, 'x')).c_str()));
    EXPECT_TRUE(IsDirectoryPath("Q:"));
    EXPECT_TRUE(IsDirectoryPath("nowhere\\"));
    EXPECT_FALSE(IsDirectoryPath((folder / "a.txt").c_str()));

    EXPECT_FALSE(CreateDirectoryChain("NoBackslash"));
    bool existed = false;
    const std::string deep = folder / "One\\Two\\Three";
    EXPECT_TRUE(CreateDirectoryChain(deep.c_str(), &existed));
    EXPECT_FALSE(existed);
    EXPECT_TRUE(CreateDirectoryChain((deep + "\\").c_str(), &existed));
    EXPECT_TRUE(existed);
    EXPECT_FALSE(CreateDirectoryChain((folder / "a.txt\\Below").c_str()));  // a file in the way

    std::string directory, file;
    SplitPath(MakeTempFileName(), &directory, &file);
    EXPECT_EQ(file.substr(0, 3), "ktx");
    EXPECT_EQ(folder.TempFiles().size(), 1u);
}

}  // namespace
