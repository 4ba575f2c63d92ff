// Start-up: the main window for an empty command line, a killed run taken back before it,
// nothing while another process holds the Device library exclusively, and the silent error
// report.
#include "app/ManagerApp.h"
#include "language/ReportError.h"
#include "plixa/Plixa.h"
#include "resources/resource.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/ScratchRegistry.h"
#include "tests/common/WhileModal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// An empty command line runs the main window until it closes; the library it opened goes
// with it. While another process holds the library exclusively, start-up ends with the
// message alone.
TEST(StartupTest, AnEmptyCommandLineRunsTheMainWindowUnlessTheLibraryIsHeldElsewhere) {
    ScratchRegistry registry;
    ScratchRegistry::SetString("SOFTWARE\\Obrix", "Language", "eng");
    MessageBoxRecorder boxes;
    {
        CManagerApp app;
        bool isMainWindow = false;
        WhileModal close([&](HWND window) {
            isMainWindow = app.m_pMainWnd && app.m_pMainWnd->m_hWnd == window;
            Click(window, IDOK);
        });
        EXPECT_EQ(0, app.Run(GetModuleHandleW(nullptr), ""));
        EXPECT_TRUE(isMainWindow);
        EXPECT_EQ(nullptr, app.m_pMainWnd);
    }
    std::string event = "TolvarinStartup." + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (event + ".ready").c_str());
    {
        // The holder gets the library only when the window's run closed it.
        ChildProcess holder("plixa_probe.exe", std::to_string(PX_INIT_EXCLUSIVE) + " " + event);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 60000));
        CManagerApp app;
        WhileModal noWindow([](HWND window) { Click(window, IDCANCEL); });
        EXPECT_EQ(1, app.Run(GetModuleHandleW(nullptr), ""));  // refused
        EXPECT_FALSE(noWindow.Ran());
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(UINT(MB_ICONHAND), boxes.boxes[0].flags);
        EXPECT_EQ(0u, boxes.boxes[0].text.find(L"Unable to initialize Plixa library in exclusive"));
    }  // the holder is terminated with the library still open
    CloseHandle(ready);
    // This process released its attempt, and a dead holder's hold ends with it.
    EXPECT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    pxDoneLibrary();
}

// A run killed part-way is taken back before the main window opens, and a box says so.
TEST(StartupTest, AKilledRunIsTakenBackBeforeTheWindowOpensWithAMessage) {
    ScratchRegistry registry;
    ScratchRegistry::SetString("SOFTWARE\\Obrix", "Language", "eng");
    ScratchFolder folder;
    CreateDirectoryA((folder / "tmp").c_str(), nullptr);
    SetEnvironmentVariableA("TMP", (folder / "tmp").c_str());
    const std::string run =
        " - - " +
        folder.Write("made.pxf", ";OBRIX_INST_FILE\r\nproc Install\r\nmkdir \"" + folder / "made" +
                                     "\", f\r\nendp\r\n") +
        " Install";
    const int calls = ChildProcess("killchild.exe", "0" + run).ExitCode();
    ChildProcess("killchild.exe", std::to_string(calls) + run).ExitCode();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder / "made").c_str()));

    MessageBoxRecorder boxes;
    CManagerApp app;
    bool windowAfterBox = false;
    WhileModal close([&](HWND window) {
        windowAfterBox = boxes.boxes.size() == 1;
        Click(window, IDOK);
    });
    EXPECT_EQ(0, app.Run(GetModuleHandleW(nullptr), ""));
    SetEnvironmentVariableA("TMP", nullptr);
    EXPECT_TRUE(windowAfterBox);
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(UINT(MB_ICONINFORMATION), boxes.boxes[0].flags);
    EXPECT_EQ(0u, boxes.boxes[0].text.find(L"Tolvarin was ended before it had finished"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder / "made").c_str()));
}

// Codes the library gives are shown with its texts and the hand icon (the device window's
// tests); a cancel is never shown.
TEST(ReportErrorTest, ShowsNothingForACancel) {
    MessageBoxRecorder boxes;
    EXPECT_EQ(1, ReportError(104));
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
