// Directory sources and the source list: finding, copying with times, attributes and host
// notifications, clean-up after failures, and the list's cache.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "commands/FileSource.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/rollback/RecordingHost.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

using Calls = std::vector<std::string>;

using engine_test::ErrorOf;

FILETIME TimeOf(WORD year, WORD second) {
    SYSTEMTIME parts = {year, 3, 0, 4, 10, 20, second, 500};
    FILETIME time;
    SystemTimeToFileTime(&parts, &time);
    return time;
}

// Records the creation time that SetFileTime is given.
struct SetFileTimeSpy {
    SetFileTimeSpy() { tolv::Win32().SetFileTime = Record; }
    ~SetFileTimeSpy() { tolv::Win32().SetFileTime = tolv::RealWin32().SetFileTime; }
    static BOOL WINAPI Record(HANDLE file, const FILETIME* c, const FILETIME* a,
                              const FILETIME* w) {
        created = c ? *c : FILETIME{};
        return tolv::RealWin32().SetFileTime(file, c, a, w);
    }
    static inline FILETIME created{};
};

class FileSourceTest : public ::testing::Test {
protected:
    FileSourceTest() {
        CreateDirectoryA(media.c_str(), nullptr);
        CreateDirectoryA(target.c_str(), nullptr);
    }
    TempFolder folder;
    const std::string media = folder / "Media";
    const std::string target = folder / "Target";
    RecordingHost host;
};

TEST_F(FileSourceTest, CopyCarriesAllThreeTimesAndTheAttributes) {
    const std::string from = media + "\\drv.sys";
    WriteFileText(from, "driver bytes");
    HANDLE file = CreateFileA(from.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    // Access after write, so that reading the file does not move its access time.
    const FILETIME created = TimeOf(2001, 1), written = TimeOf(2002, 2), accessed = TimeOf(2003, 3);
    SetFileTime(file, &created, &accessed, &written);
    CloseHandle(file);
    SetFileAttributesA(from.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    CDirectorySource source(media);
    const std::string to = target + "\\drv.sys";
    WIN32_FILE_ATTRIBUTE_DATA original;
    ASSERT_TRUE(GetFileAttributesExA(from.c_str(), GetFileExInfoStandard, &original));
    {
        SetFileTimeSpy spy;
        ASSERT_TRUE(source.Copy("drv.sys", to.c_str(), &host));
    }
    // Wine keeps no creation time of its own, so that one is checked where it is handed over.
    EXPECT_EQ(CompareFileTime(&SetFileTimeSpy::created, &original.ftCreationTime), 0);
    // Times first: reading the copy could move its access time.
    WIN32_FILE_ATTRIBUTE_DATA copy;
    ASSERT_TRUE(GetFileAttributesExA(to.c_str(), GetFileExInfoStandard, &copy));
    EXPECT_EQ(ReadFileText(to), "driver bytes");
    EXPECT_EQ(host.calls, (Calls{"Begin " + from + " 12", "Progress 0", "Progress 12", "End"}));
    EXPECT_EQ(copy.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(CompareFileTime(&copy.ftLastAccessTime, &accessed), 0);
    EXPECT_EQ(CompareFileTime(&copy.ftLastWriteTime, &written), 0);
}

TEST_F(FileSourceTest, MultiBlockFilesReportProgressPerBlock) {
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + i / 251);
    WriteFileText(media + "\\big.bin", big);
    ASSERT_TRUE(CDirectorySource(media).Copy("big.bin", (target + "\\big.bin").c_str(), &host));
    EXPECT_EQ(ReadFileText(target + "\\big.bin"), big);
    EXPECT_EQ(host.calls,
              (Calls{"Begin " + media + "\\big.bin 200000", "Progress 0", "Progress 65536",
                     "Progress 131072", "Progress 196608", "Progress 200000", "End"}));
}

TEST_F(FileSourceTest, CancelsAndFailuresLeaveNoPartialFileAndEndTheCopyOnce) {
    WriteFileText(media + "\\a.txt", std::string(150000, 'a'));
    SetFileAttributesA((media + "\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CDirectorySource source(media);
    const std::string to = target + "\\a.txt";
    // A cancel at Begin comes before the destination is opened: a file already there is not
    // the copy's to delete. A cancel at the last progress call takes the finished copy too.
    const struct {
        int atProgress;
        bool atBegin;
    } cancels[] = {{2, false}, {4, false}, {0, true}};
    for (const auto& c : cancels) {
        WriteFileText(to, "kept");
        RecordingHost cancelling;
        cancelling.cancelAtProgress = c.atProgress;
        cancelling.cancelAtBegin = c.atBegin;
        EXPECT_EQ(ErrorOf([&] { source.Copy("a.txt", to.c_str(), &cancelling); }), 102);
        EXPECT_EQ(PathExists(to), c.atBegin) << c.atProgress;
        EXPECT_EQ(cancelling.Count("End"), 1) << c.atProgress;
        EXPECT_EQ(cancelling.calls.back(), "End") << c.atProgress;
    }
    SetFileAttributesA((media + "\\a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(to.c_str());

    // No such destination directory: the copy began but never opened, so it does not end.
    EXPECT_FALSE(source.Copy("a.txt", (folder / "NoDir\\a.txt").c_str(), &host));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(host.Count("End"), 0);

    // Every failing call of a copy: a plain failure, no partial file, at most one End.
    int calls = 0;
    {
        FailureInjector count;
        ASSERT_TRUE(source.Copy("a.txt", to.c_str(), nullptr));
        calls = count.Calls();
    }
    for (int n = 1; n <= calls; ++n) {
        DeleteFileA(to.c_str());
        host.calls.clear();
        FailureInjector inject(n);
        const bool copied = source.Copy("a.txt", to.c_str(), &host);
        const DWORD error = GetLastError();
        inject.Arm(0);
        if (copied) {
            // Only the file times are allowed to fail without failing the copy.
            EXPECT_EQ(ReadFileText(to), std::string(150000, 'a')) << n;
        } else {
            EXPECT_EQ(error, DWORD(ERROR_ACCESS_DENIED)) << n;
            EXPECT_FALSE(PathExists(to)) << n;
        }
        EXPECT_LE(host.Count("End"), 1) << n;
    }
}

// A source that counts its searches, for the list's cache.
class CountingSource : public CFileSource {
public:
    CountingSource(std::string file, int* destroyed)
        : file_(std::move(file)), destroyed_(destroyed) {}
    ~CountingSource() override { ++*destroyed_; }
    bool Find(const char* name, _WIN32_FIND_DATAA*) override {
        ++finds;
        return _stricmp(name, file_.c_str()) == 0;
    }
    bool Copy(const char*, const char*, CInstallHost*) override {
        ++copies;
        return true;
    }
    int finds = 0, copies = 0;

private:
    std::string file_;
    int* destroyed_;
};

TEST(FileSourceListTest, CopiesFromTheCachedSourceUntilItIsRemoved) {
    CFileSourceList list;
    int destroyed = 0;
    auto back = std::make_unique<CountingSource>("a.txt", &destroyed);
    auto front = std::make_unique<CountingSource>("a.txt", &destroyed);
    CountingSource* backSource = back.get();
    CountingSource* frontSource = front.get();
    list.InsertAt(0, std::move(back));
    list.InsertAt(0, std::move(front));
    EXPECT_TRUE(list.Find("a.txt", nullptr));
    EXPECT_TRUE(list.Copy("A.TXT", "Z:\\x", nullptr));
    EXPECT_EQ(frontSource->finds + frontSource->copies + backSource->finds, 2);  // one search
    // Removing the cached source empties the cache; the next copy searches again.
    list.RemoveAt(0);
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(list.Copy("a.txt", "Z:\\x", nullptr));
    EXPECT_EQ(backSource->finds + backSource->copies, 2);
}

}  // namespace
