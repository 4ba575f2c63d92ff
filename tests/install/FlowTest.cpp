// InstallDevice with its own messages (interactive 1), in this process: boxes are answered
// by the test, the registry is a scratch copy, and the Device library reads its devices
// from there.
#include "app/DeviceActions.h"
#include "app/DeviceLibrary.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/common/ScratchRegistry.h"
#include "tests/install/InstallTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override { AddDevice("Installed"); }
    void TearDown() override { pxDoneLibrary(); }

    // Opens the library after the test's devices are in place, then installs.
    int Install(const std::string& path) {
        pxInitLibrary(0);
        return InstallDevice(path.c_str(), 1);
    }
    std::string Setup(const std::string& device, const std::string& install,
                      const std::string& type = "OBX_PLIXA_DRIVER") {
        return folder.Write("setup.pxf",
                            Identify(device, type) + "proc Install\r\n" + install +
                                "  regSZ HKLM, \"Software\\Flow\", \"Ran\", \"yes\"\r\n"
                                "endp\r\n");
    }
    bool InstallRan() const { return GetString("Software\\Flow", "Ran") == "yes"; }
    std::wstring Text(size_t index) const {
        return index < boxes.boxes.size() ? boxes.boxes[index].text : L"<no box>";
    }

    ScratchRegistry registry;
    ScratchFolder folder;
    MessageBoxRecorder boxes;
};

TEST_F(FlowTest, ConfirmsBeforeInstalling) {
    boxes.Answer(IDOK);
    EXPECT_EQ(0, Install(Setup("New", "")));
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(
        L"You are installing the component\n\n\"Test component New\".\n\nPress OK to start "
        L"installation.",
        Text(0));
    EXPECT_EQ(UINT(MB_OKCANCEL | MB_ICONQUESTION), boxes.boxes[0].flags);
    EXPECT_TRUE(InstallRan());
}

TEST_F(FlowTest, CancelInTheConfirmationRunsNothing) {
    boxes.Answer(IDCANCEL);
    EXPECT_EQ(1, Install(Setup("New", "")));
    EXPECT_EQ(1u, boxes.boxes.size());
    EXPECT_FALSE(InstallRan());
}

TEST_F(FlowTest, RefusalsExplainThemselves) {
    EXPECT_EQ(1, Install(Setup("New", "", "SOMETHING_ELSE")));
    EXPECT_EQ(L"Installation file is not OBX_PLIXA_DRIVER type.", Text(0));
    EXPECT_EQ(UINT(MB_ICONHAND), boxes.boxes[0].flags);
    pxDoneLibrary();

    EXPECT_EQ(0, Install(Setup("Installed", "")));
    EXPECT_EQ(
        L"Device \"Installed\" is already installed. If you want to reinstall it, please "
        L"uninstall it first.",
        Text(1));
    EXPECT_EQ(UINT(MB_ICONHAND), boxes.boxes[1].flags);
    EXPECT_EQ(2u, boxes.boxes.size());
    EXPECT_FALSE(InstallRan());
}

TEST_F(FlowTest, FailuresAreReportedByCodeRange) {
    const std::wstring incorrect = L"Unable to install device: incorrect installation file";
    EXPECT_EQ(1, Install(folder / "missing.pxf"));  // 11
    EXPECT_EQ(incorrect, Text(0));
    EXPECT_EQ(UINT(MB_OK), boxes.boxes[0].flags);
    pxDoneLibrary();

    boxes.boxes.clear();
    EXPECT_EQ(1, Install(Setup("New", "  noSuchCommand\r\n")));  // 1, after the confirmation
    EXPECT_EQ(incorrect, Text(1));
    pxDoneLibrary();

    boxes.boxes.clear();
    EXPECT_EQ(1, Install(Setup("New", "  error \"Stop here\", a\r\n")));  // 101
    ASSERT_EQ(3u, boxes.boxes.size());
    EXPECT_EQ(L"Stop here", Text(1));  // the script's own message
    EXPECT_EQ(L"Installation aborted", Text(2));
    EXPECT_EQ(UINT(MB_OK), boxes.boxes[2].flags);
    EXPECT_FALSE(InstallRan());
}

TEST_F(FlowTest, TheUsersCancelNeedsNoMessage) {
    // A newer file at the destination: the replace question, answered Cancel, stops with 102.
    folder.Write("driver.dll", "new");
    std::string existing = folder.Write("installed.dll", "newer");
    HANDLE file =
        CreateFileA(existing.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME future;
    GetSystemTimeAsFileTime(&future);
    future.dwHighDateTime += 100;
    SetFileTime(file, nullptr, nullptr, &future);
    CloseHandle(file);

    boxes.Answer(IDOK);
    boxes.Answer(IDCANCEL);
    EXPECT_EQ(1, Install(Setup("New", "  copy \"driver.dll\", \"" + existing + "\", d\r\n")));
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(UINT(MB_YESNOCANCEL | MB_DEFBUTTON2), boxes.boxes[1].flags);
    EXPECT_EQ(0u, Text(1).find(L"File " + std::wstring(existing.begin(), existing.end())));
    EXPECT_EQ("newer", ReadFile(existing));
}

// UninstallDevice with its one message: only a failed Uninstall procedure is reported.
TEST_F(FlowTest, OnlyAFailedUninstallScriptIsReported) {
    AddDevice("Scripted", folder / "nowhere.pxf");
    pxInitLibrary(0);
    EXPECT_EQ(1, UninstallDevice("NoSuchDevice", 1));
    EXPECT_TRUE(boxes.boxes.empty());

    EXPECT_EQ(1, UninstallDevice("Scripted", 1));
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"Unable to uninstall device", Text(0));
    EXPECT_EQ(UINT(MB_OK), boxes.boxes[0].flags);
    EXPECT_TRUE(KeyExists(DeviceKey("Scripted")));

    EXPECT_EQ(0, UninstallDevice("Installed", 1));  // neither value: only the record goes
    EXPECT_EQ(1u, boxes.boxes.size());
    EXPECT_FALSE(KeyExists(DeviceKey("Installed")));
}

}  // namespace
