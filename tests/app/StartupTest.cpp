// Start-up: the main window for an empty command line, nothing while another process holds
// the Device library exclusively, and error reports.
#include "app/ManagerApp.h"
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

TEST(StartupTest, ALibraryInUseElsewhereEndsStartUpWithItsMessage) {
    ScratchRegistry registry;
    ScratchRegistry::SetString("SOFTWARE\\Obrix", "Language", "eng");
    MessageBoxRecorder boxes;
    std::string event = "TolvarinStartup." + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (event + ".ready").c_str());
    {
        ChildProcess holder("plixa_probe.exe", std::to_string(PX_INIT_EXCLUSIVE) + " " + event);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 60000));
        CManagerApp app;
        WhileModal noWindow([](HWND window) { Click(window, IDCANCEL); });
        EXPECT_EQ(0, app.Run(GetModuleHandleW(nullptr), ""));
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

TEST(StartupTest, AnEmptyCommandLineRunsTheMainWindowUntilItCloses) {
    ScratchRegistry registry;
    ScratchRegistry::SetString("SOFTWARE\\Obrix", "Language", "eng");
    MessageBoxRecorder boxes;
    CManagerApp app;
    bool isMainWindow = false;
    WhileModal close([&](HWND window) {
        isMainWindow = app.m_pMainWnd && app.m_pMainWnd->m_hWnd == window;
        Click(window, IDOK);
    });
    EXPECT_EQ(0, app.Run(GetModuleHandleW(nullptr), ""));
    EXPECT_TRUE(isMainWindow);
    EXPECT_EQ(nullptr, app.m_pMainWnd);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));  // the window's run closed the library
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

TEST(ReportErrorTest, ShowsTheLibrarysOrTheSystemsTextWithTheHandIcon) {
    MessageBoxRecorder boxes;
    EXPECT_EQ(1, ReportError(104));  // never shown
    EXPECT_TRUE(boxes.boxes.empty());

    boxes.Answer(IDCANCEL);
    EXPECT_EQ(IDCANCEL, ReportError(101, "Opening"));
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"Opening : The device does not exist.", boxes.boxes[0].text);
    EXPECT_EQ(UINT(MB_ICONHAND), boxes.boxes[0].flags);

    // Below 1 the code itself means nothing: the text is that of the last Windows error.
    wchar_t expected[1024] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_FILE_NOT_FOUND, 0, expected, 1024, nullptr);
    ASSERT_NE(L'\0', expected[0]);
    SetLastError(ERROR_FILE_NOT_FOUND);
    ReportError(-5);
    EXPECT_EQ(expected, boxes.boxes.back().text);
}

}  // namespace
