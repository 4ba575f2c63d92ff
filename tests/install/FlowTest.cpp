// InstallDevice with its own messages (interactive 1), in this process: boxes are answered
// by the test, the registry is a scratch copy, and the Device library reads its devices
// from there.
#include "console/InstallDialogHost.h"
#include "install/DeviceActions.h"
#include "plixa/DeviceLibrary.h"
#include "platform/Win32Calls.h"
#include "install/InstallLog.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/install/InstallTestSupport.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace {

class FlowTest : public ::testing::Test {
protected:
    // The flows with the program's own host: the installation file's questions are boxes.
    void SetUp() override {
        SetWindowHostMaker(MakeInstallDialogHost);
        AddDevice("Installed");
    }
    void TearDown() override { pxDoneLibrary(); }

    // Opens the library after the test's devices are in place, then installs.
    int Install(const std::string& path) {
        pxDoneLibrary();
        pxInitLibrary(0);
        boxes.boxes.clear();
        return InstallDevice(path.c_str(), 1);
    }
    std::string Setup(const std::string& device, const std::string& install,
                      const std::string& type = "OBX_PLIXA_DRIVER") {
        return folder.Write("setup.pxf",
                            Identify(device, type) + "proc Install\r\n" + install +
                                "  regSZ HKLM, \"Software\\Flow\", \"Ran\", \"yes\"\r\n"
                                "endp\r\n");
    }
    bool InstallRan() const { return RegText("Software\\Flow", "Ran") == "yes"; }
    // The boxes shown, each as its text and then its flags.
    std::vector<std::wstring> Shown() const {
        std::vector<std::wstring> shown;
        for (const ShownBox& box : boxes.boxes) {
            shown.push_back(box.text);
            shown.push_back(std::to_wstring(box.flags));
        }
        return shown;
    }

    ScratchRegistry registry;
    ScratchFolder folder;
    MessageBoxRecorder boxes;
};

using Boxes = std::vector<std::wstring>;
const std::wstring kConfirm =
    L"You are installing the component\n\n\"Test component New\".\n\nPress OK to start "
    L"installation.";
const std::wstring kOkCancelQuestion = std::to_wstring(MB_OKCANCEL | MB_ICONQUESTION);
const std::wstring kHand = std::to_wstring(MB_ICONHAND), kOk = std::to_wstring(MB_OK);

// The log names every box the flow showed, on one line, with the button that answered it.
TEST_F(FlowTest, ConfirmsBeforeInstallingAndRefusalsExplainThemselves) {
    const std::string log = folder / "flow.log";
    SetEnvironmentVariableA("TOLVARIN_LOG", log.c_str());
    OpenInstallLog("");
    boxes.Answer(IDCANCEL);
    EXPECT_EQ(1, Install(Setup("New", "")));
    CloseInstallLog(1);
    SetEnvironmentVariableA("TOLVARIN_LOG", nullptr);
    EXPECT_EQ((Boxes{kConfirm, kOkCancelQuestion}), Shown());
    EXPECT_FALSE(InstallRan());
    EXPECT_NE(ReadFile(log).find("message \"You are installing the component\\n\\n\"Test "
                                 "component New\".\\n\\nPress OK to start installation.\": "
                                 "answer 2\r\n"),
              std::string::npos)
        << ReadFile(log);

    EXPECT_EQ(1, Install(Setup("New", "", "SOMETHING_ELSE")));
    EXPECT_EQ((Boxes{L"Installation file is not OBX_PLIXA_DRIVER type.", kHand}), Shown());
    EXPECT_EQ(0, Install(Setup("Installed", "")));
    EXPECT_EQ((Boxes{L"Device \"Installed\" is already installed. If you want to reinstall it, "
                     L"please uninstall it first.",
                     kHand}),
              Shown());
    EXPECT_FALSE(InstallRan());

    boxes.Answer(IDOK);  // the type in any case
    EXPECT_EQ(0, Install(Setup("New", "", "obx_plixa_driver")));
    EXPECT_EQ((Boxes{kConfirm, kOkCancelQuestion}), Shown());
    EXPECT_TRUE(InstallRan());
}

TEST_F(FlowTest, FailuresAreReportedByCodeRange) {
    const std::wstring incorrect = L"Unable to install device: incorrect installation file";
    EXPECT_EQ(1, Install(folder / "missing.pxf"));  // 11
    EXPECT_EQ((Boxes{incorrect, kOk}), Shown());
    EXPECT_EQ(1,
              Install(folder.Write("x.pxf", Lines({";OBRIX_INST_FILE", "proc Install", "endp"}))));
    EXPECT_EQ((Boxes{incorrect, kOk}), Shown());                 // 1: no Identify
    EXPECT_EQ(1, Install(Setup("New", "  noSuchCommand\r\n")));  // 1, after the confirmation
    EXPECT_EQ((Boxes{kConfirm, kOkCancelQuestion, incorrect, kOk}), Shown());
    EXPECT_EQ(1, Install(Setup("New", "  error \"Stop here\", a\r\n")));  // 101
    EXPECT_EQ(
        (Boxes{kConfirm, kOkCancelQuestion, L"Stop here", kHand, L"Installation aborted", kOk}),
        Shown());
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
    EXPECT_EQ(1, Install(Setup("New", "  copy \"driver.dll\", " + Quoted(existing) + ", d\r\n")));
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(UINT(MB_YESNOCANCEL | MB_DEFBUTTON2), boxes.boxes[1].flags);
    EXPECT_EQ(0u,
              boxes.boxes[1].text.find(L"File " + std::wstring(existing.begin(), existing.end())));
    EXPECT_EQ("newer", ReadFile(existing));
}

// UninstallDevice with its one message: only a failed Uninstall procedure is reported.
TEST_F(FlowTest, OnlyAFailedUninstallScriptIsReported) {
    AddDevice("Scripted", folder / "nowhere.pxf");
    pxInitLibrary(0);
    EXPECT_EQ(1, UninstallDevice("NoSuchDevice", 1));
    EXPECT_EQ(0, UninstallDevice("Installed", 1));  // neither value: only the record goes
    EXPECT_FALSE(KeyExists(DeviceKey("Installed")));
    EXPECT_TRUE(boxes.boxes.empty());

    EXPECT_EQ(1, UninstallDevice("Scripted", 1));
    EXPECT_EQ((Boxes{L"Unable to uninstall device", kOk}), Shown());
    EXPECT_TRUE(KeyExists(DeviceKey("Scripted")));
}

BOOL WINAPI OutOfMemory(LPCSTR, LPSECURITY_ATTRIBUTES) {
    throw std::bad_alloc();
}

// A fault that is no script error is taken back before it goes on to the caller.
TEST_F(FlowTest, OutOfMemoryInsideACommandIsTakenBackFirst) {
    const std::string path = Setup("New",
                                   "  regSZ HKLM, \"Software\\Made\", \"v\", \"x\"\r\n"
                                   "  mkdir " +
                                       Quoted(folder / "dir") + "\r\n");
    tolv::Win32().CreateDirectoryA = OutOfMemory;
    EXPECT_THROW(Install(path), std::bad_alloc);
    tolv::Win32() = tolv::RealWin32();
    EXPECT_FALSE(KeyExists("Software\\Made"));
}

// Without an Uninstall value the driver module goes, and its folder once empty, but never
// the temporary directory. A path it cannot read fails the uninstallation instead of
// deleting the driver; a long device name's record goes.
TEST_F(FlowTest, UninstallWithoutAScriptTakesTheDriverAndLosesNothingElse) {
    CreateDirectoryA((folder / "drv").c_str(), nullptr);
    AddDevice("Plain", "", folder.Write("drv\\plain.dll", "d"));
    const std::string driver = folder.Write("drv.dll", "d");
    AddDevice("LongPath", std::string(300, 'u'), driver);
    const std::string temp = folder / "tmp";
    CreateDirectoryA(temp.c_str(), nullptr);
    AddDevice("InTemp", "", folder.Write("tmp\\t.dll", "t"));
    const std::string longName(231, 'N');
    AddDevice(longName);
    pxInitLibrary(0);

    EXPECT_EQ(0, UninstallDevice("Plain", 0));
    EXPECT_FALSE(FileExists(folder / "drv"));
    EXPECT_EQ(1, UninstallDevice("LongPath", 0));
    EXPECT_TRUE(FileExists(driver));
    EXPECT_TRUE(KeyExists(DeviceKey("LongPath")));

    char oldTmp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", oldTmp, MAX_PATH);
    SetEnvironmentVariableA("TMP", temp.c_str());
    EXPECT_EQ(0, UninstallDevice("InTemp", 0));
    SetEnvironmentVariableA("TMP", oldTmp[0] ? oldTmp : nullptr);
    EXPECT_FALSE(FileExists(temp + "\\t.dll"));
    EXPECT_TRUE(FileExists(temp));

    EXPECT_EQ(0, UninstallDevice(longName.c_str(), 0));
    EXPECT_FALSE(KeyExists(DeviceKey(longName)));
}

}  // namespace
