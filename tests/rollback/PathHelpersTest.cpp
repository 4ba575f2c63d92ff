// Path and file helpers: the text rules with the Part's examples, and the disk routines in a
// private folder.
#include <gtest/gtest.h>

#include "commands/PathHelpers.h"
#include "tests/rollback/RollbackTestSupport.h"

using namespace tolv;

namespace {

std::string Appended(std::string path) {
    return AppendBackslash(path);
}
std::string Stripped(std::string path) {
    return StripBackslash(path);
}
std::string WithExtension(std::string path, const char* extension) {
    AddDefaultExtension(path, extension);
    return path;
}
std::pair<std::string, std::string> Split(const char* path) {
    std::string directory = "?", name = "?";
    SplitPath(path, &directory, &name);
    return {directory, name};
}

TEST(PathTextTest, SeparatorsFollowTheDriveAndBackslashRules) {
    EXPECT_EQ(Appended(""), "");
    EXPECT_EQ(Appended("C:"), "C:");
    EXPECT_EQ(Appended("C:\\Dir"), "C:\\Dir\\");
    EXPECT_EQ(Appended("C:\\Dir\\"), "C:\\Dir\\");
    EXPECT_EQ(Appended("dir/"), "dir/\\");  // a slash is an ordinary character

    EXPECT_EQ(Stripped("C:\\"), "C:\\");
    EXPECT_EQ(Stripped("\\"), "\\");
    EXPECT_EQ(Stripped("C:\\Dir\\"), "C:\\Dir");
    EXPECT_EQ(Stripped("C:\\Dir\\\\"), "C:\\Dir\\");  // one at a time
    EXPECT_EQ(Stripped("C:\\Dir"), "C:\\Dir");

    EXPECT_EQ(JoinPath("", "f.txt"), "f.txt");
    EXPECT_EQ(JoinPath("C:", "f.txt"), "C:f.txt");
    EXPECT_EQ(JoinPath("C:\\Dir", "f.txt"), "C:\\Dir\\f.txt");
    EXPECT_EQ(JoinPath("C:\\Dir\\", "f.txt"), "C:\\Dir\\f.txt");

    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(Split("C:\\Dir\\file.txt"), P("C:\\Dir", "file.txt"));
    EXPECT_EQ(Split("C:\\file.txt"), P("C:\\", "file.txt"));
    EXPECT_EQ(Split("C:file.txt"), P("C:", "file.txt"));
    EXPECT_EQ(Split("file.txt"), P("", "file.txt"));
    EXPECT_EQ(Split("C:\\Dir\\"), P("C:\\Dir", ""));
    EXPECT_EQ(Split("\\file"), P("\\", "file"));
    std::string nameOnly;
    SplitPath("C:\\A\\b", nullptr, &nameOnly);
    EXPECT_EQ(nameOnly, "b");

    EXPECT_EQ(WithExtension("C:\\My.Apps\\Setup", ".lnk"), "C:\\My.Apps\\Setup.lnk");
    EXPECT_EQ(WithExtension("C:\\Menu\\Setup.pif", ".lnk"), "C:\\Menu\\Setup.pif");
    EXPECT_EQ(WithExtension("D:Setup", "lnk"), "D:Setup.lnk");
    EXPECT_EQ(WithExtension("a.b:Setup", "lnk"), "a.b:Setup.lnk");

    EXPECT_TRUE(IsAbsolutePath("\\Dir"));
    EXPECT_TRUE(IsAbsolutePath("C:file"));
    EXPECT_TRUE(IsAbsolutePath("C:\\file"));
    EXPECT_FALSE(IsAbsolutePath("file"));
    EXPECT_FALSE(IsAbsolutePath("C"));
    EXPECT_FALSE(IsAbsolutePath(""));
    EXPECT_FALSE(IsAbsolutePath("/unix"));
}

TEST(PathTextTest, FileTimesCompareInTwoSecondSteps) {
    auto at = [](WORD second, WORD millisecond) {
        SYSTEMTIME parts = {2024, 5, 0, 17, 12, 0, second, millisecond};
        FILETIME time;
        SystemTimeToFileTime(&parts, &time);
        return time;
    };
    EXPECT_EQ(CompareFileTimes(at(10, 0), at(11, 0)), 0);
    EXPECT_EQ(CompareFileTimes(at(11, 0), at(12, 0)), -1);
    EXPECT_EQ(CompareFileTimes(at(12, 0), at(11, 999)), 1);
    EXPECT_EQ(CompareFileTimes(at(10, 1), at(11, 999)), 0);
}

class PathDiskTest : public ::testing::Test {
protected:
    TempFolder folder;
};

TEST_F(PathDiskTest, ExistenceAndDirectoryQueries) {
    WriteFileText(folder / "a.txt", "a");
    CreateDirectoryA((folder / "Sub").c_str(), nullptr);
    WIN32_FIND_DATAA found;
    EXPECT_TRUE(FileExists((folder / "a.txt").c_str(), &found));
    EXPECT_STREQ(found.cFileName, "a.txt");
    EXPECT_TRUE(FileExists((folder / "Sub").c_str()));
    EXPECT_TRUE(FileExists((folder / "*.txt").c_str()));
    EXPECT_FALSE(FileExists((folder / "*.dll").c_str()));
    EXPECT_FALSE(FileExists((folder / std::string(300, 'x')).c_str()));

    EXPECT_TRUE(IsDirectoryPath(""));
    EXPECT_TRUE(IsDirectoryPath("Q:"));
    EXPECT_TRUE(IsDirectoryPath("nowhere\\"));
    EXPECT_TRUE(IsDirectoryPath((folder / "Sub").c_str()));
    EXPECT_FALSE(IsDirectoryPath((folder / "a.txt").c_str()));
    EXPECT_FALSE(IsDirectoryPath((folder / "missing").c_str()));
}

TEST_F(PathDiskTest, DirectoryChainsAreCreatedLeftToRight) {
    EXPECT_FALSE(CreateDirectoryChain("NoBackslash"));
    EXPECT_FALSE(PathExists("NoBackslash"));

    const std::string deep = folder / "One\\Two\\Three";
    bool existed = false;
    EXPECT_TRUE(CreateDirectoryChain(deep.c_str(), &existed));
    EXPECT_FALSE(existed);
    EXPECT_TRUE(IsDirectoryPath(deep.c_str()));
    EXPECT_TRUE(CreateDirectoryChain(deep.c_str(), &existed));
    EXPECT_TRUE(existed);
    EXPECT_TRUE(CreateDirectoryChain((deep + "\\").c_str()));  // trailing backslash

    // A file in the way stops the chain.
    WriteFileText(folder / "File", "x");
    EXPECT_FALSE(CreateDirectoryChain((folder / "File\\Below").c_str()));
    EXPECT_FALSE(CreateDirectoryChain((folder / std::string(300, 'd') + "\\x").c_str()));
}

TEST_F(PathDiskTest, TempNamesAndPlatform) {
    const std::string name = MakeTempFileName();
    std::string directory, file;
    SplitPath(name, &directory, &file);
    EXPECT_EQ(file.substr(0, 3), "ktx");
    EXPECT_TRUE(PathExists(name));
    EXPECT_EQ(folder.TempFiles().size(), 1u);

    OverrideIsWindowsNT(0);
    EXPECT_FALSE(IsWindowsNT());
    OverrideIsWindowsNT(1);
    EXPECT_TRUE(IsWindowsNT());
    OverrideIsWindowsNT(-1);
    EXPECT_TRUE(IsWindowsNT());  // Wine reports an NT system
}

}  // namespace
