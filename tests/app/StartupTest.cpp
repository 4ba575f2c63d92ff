// Start-up while another process holds the Device library exclusively.
#include "app/ManagerApp.h"
#include "resources/resource.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/common/ScratchRegistry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs LockHolder.exe, which keeps the library until this object goes away.
class LibraryHeldElsewhere {
public:
    LibraryHeldElsewhere() {
        std::string id = std::to_string(GetCurrentProcessId());
        std::string readyName = "TolvarinTestReady" + id, releaseName = "TolvarinTestRelease" + id;
        m_ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
        m_release = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
        std::string command = "lock_holder.exe " + readyName + " " + releaseName;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &m_process))
            WaitForSingleObject(m_ready, 30000);
    }
    ~LibraryHeldElsewhere() { Release(); }
    // Lets the holder go and returns its pxInitLibrary result.
    DWORD Release() {
        DWORD code = DWORD(-1);
        if (m_process.hProcess) {
            SetEvent(m_release);
            WaitForSingleObject(m_process.hProcess, 30000);
            GetExitCodeProcess(m_process.hProcess, &code);
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
            m_process = {};
        }
        if (m_ready) CloseHandle(m_ready), m_ready = nullptr;
        if (m_release) CloseHandle(m_release), m_release = nullptr;
        return code;
    }

private:
    HANDLE m_ready = nullptr;
    HANDLE m_release = nullptr;
    PROCESS_INFORMATION m_process = {};
};

TEST(StartupTest, ALibraryInUseElsewhereEndsStartUpWithItsMessage) {
    ScratchRegistry registry;
    ScratchRegistry::SetString("SOFTWARE\\Obrix", "Language", "eng");
    MessageBoxRecorder boxes;
    {
        LibraryHeldElsewhere holder;
        CManagerApp app;
        EXPECT_EQ(0, app.Run(GetModuleHandleW(nullptr), "/x"));  // never reaches the usage box
        EXPECT_EQ(nullptr, app.m_pMainWnd);
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(UINT(MB_ICONHAND), boxes.boxes[0].flags);
        EXPECT_EQ(0u, boxes.boxes[0].text.find(L"Unable to initialize Plixa library in exclusive"));
        EXPECT_EQ(0u, holder.Release());  // the holder itself had the library
    }
    // This process released its attempt: the library can be had now.
    EXPECT_EQ(0, pxInitLibrary(0x40000000));
    pxDoneLibrary();
}

TEST(StartupTest, ACommandLineRunHandsItsResultToTheProcess) {
    ScratchRegistry registry;
    MessageBoxRecorder boxes;
    CManagerApp app;
    EXPECT_EQ(1, app.Run(GetModuleHandleW(nullptr), "/x"));
    ASSERT_EQ(1u, boxes.boxes.size());
    // No language set: the usage text comes in Russian.
    EXPECT_EQ(0u, boxes.boxes[0].text.find(L"Использование: tolvarin"));
}

TEST(ReportErrorTest, ShowsTheLibrarysOrTheSystemsTextWithTheHandIcon) {
    MessageBoxRecorder boxes;
    EXPECT_EQ(1, ReportError(104));  // never shown
    EXPECT_TRUE(boxes.boxes.empty());

    boxes.Answer(IDCANCEL);
    EXPECT_EQ(IDCANCEL, ReportError(101));
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"The device does not exist.", boxes.boxes[0].text);
    EXPECT_EQ(UINT(MB_ICONHAND), boxes.boxes[0].flags);

    ReportError(101, "Opening");
    EXPECT_EQ(L"Opening : The device does not exist.", boxes.boxes[1].text);

    // Below 1 the code itself means nothing: the text is that of the last Windows error.
    wchar_t expected[1024] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_FILE_NOT_FOUND, 0, expected, 1024, nullptr);
    ASSERT_NE(L'\0', expected[0]);
    for (int code : {0, -5}) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        ReportError(code);
        EXPECT_EQ(expected, boxes.boxes.back().text) << code;
    }
}

}  // namespace
