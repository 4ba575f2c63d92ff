// The dialog host: message boxes built from prompt type strings (answered through the
// replaceable message box), the newer-file question, and the progress window it drives
// over the application's main window.
#include <gtest/gtest.h>

#include <string>

#include "install/InstallDialogHost.h"
#include "resources/resource.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/engine/EngineTestSupport.h"

using console_test::LanguageScope;
using console_test::OwnerWindow;
using console_test::PostCancelClick;
using console_test::WindowText;
using engine_test::ErrorOf;

namespace {

class DialogHost : public testing::Test {
protected:
    DialogHost() { app.m_pMainWnd = &mainWindow; }
    ~DialogHost() override { app.m_pMainWnd = nullptr; }

    HWND Progress() { return host.GetProgressDlg().m_hWnd; }
    int BarUpper() { return console_test::BarUpper(Progress()); }
    int BarPos() { return console_test::BarPos(Progress()); }

    CWinApp app{"Tolvarin"};
    LanguageScope language{"eng"};
    OwnerWindow mainWindow;
    MessageBoxRecorder boxes;
    CInstallDialogHost host;
};

TEST_F(DialogHost, PromptBuildsIconButtonsAndDefaultFromTheTypeString) {
    const struct {
        const char* type;
        UINT flags;
    } cases[] = {
        {"-", MB_ICONHAND | MB_OK},
        {"?yNc", MB_ICONQUESTION | MB_YESNOCANCEL | MB_DEFBUTTON2},
        {"?ynC", MB_ICONQUESTION | MB_YESNOCANCEL | MB_DEFBUTTON3},
        {"?Ync", MB_ICONQUESTION | MB_YESNOCANCEL},
        {"!oc", MB_ICONEXCLAMATION | MB_OKCANCEL},
        {"!yn", MB_ICONEXCLAMATION | MB_YESNO},
        {"-rC", MB_ICONHAND | MB_RETRYCANCEL | MB_DEFBUTTON2},
        {"?arI", MB_ICONQUESTION | MB_ABORTRETRYIGNORE | MB_DEFBUTTON3},
        // Character 0 is always the icon: "ari" alone is the information icon and OK.
        {"ari", MB_ICONASTERISK | MB_OK},
        {"?xyz", MB_ICONQUESTION | MB_OK},
        {"?ynca", MB_ICONQUESTION | MB_OK},
        {"?ynxW", MB_ICONQUESTION | MB_OK | MB_DEFBUTTON4},
        {"?", MB_ICONQUESTION | MB_OK},
        {"", MB_ICONASTERISK | MB_OK},
    };
    for (const auto& c : cases) {
        boxes.boxes.clear();
        host.Prompt("Go on?", c.type);
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.type;
        EXPECT_EQ(boxes.boxes[0].flags, c.flags) << "type \"" << c.type << "\"";
    }
    EXPECT_EQ(boxes.boxes[0].text, L"Go on?");
}

TEST_F(DialogHost, PromptMapsEveryButtonToOneZeroOrTwo) {
    const struct {
        int button;
        int result;
    } cases[] = {
        {IDOK, 1},    {IDRETRY, 1},  {IDYES, 1}, {IDCANCEL, 0},
        {IDABORT, 0}, {IDIGNORE, 2}, {IDNO, 2},  {IDCONTINUE, 2},
    };
    for (const auto& c : cases) {
        boxes.Answer(c.button);
        EXPECT_EQ(host.Prompt("", "?ari"), c.result) << "button " << c.button;
    }
    // The error box is a prompt with the hand icon and OK.
    host.ShowError("Failed");
    EXPECT_EQ(boxes.boxes.back().flags, UINT(MB_ICONHAND));
    EXPECT_EQ(boxes.boxes.back().text, L"Failed");
}

TEST_F(DialogHost, AskReplaceNewerNamesTheFileAndCancelStopsTheRun) {
    boxes.Answer(IDYES);
    EXPECT_EQ(host.AskReplaceNewer("C:\\drv\\reader.dll", nullptr, nullptr), 1);
    boxes.Answer(IDNO);
    EXPECT_EQ(host.AskReplaceNewer("C:\\drv\\reader.dll", nullptr, nullptr), 2);
    boxes.Answer(IDCANCEL);
    EXPECT_EQ(ErrorOf([&] { host.AskReplaceNewer("C:\\drv\\reader.dll", nullptr, nullptr); }), 102);
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[0].flags, 259u);
    EXPECT_EQ(boxes.boxes[0].text,
              L"File C:\\drv\\reader.dll already exists and is newer then file to install.\n"
              L"Do you want to replace the file anyway?");
}

TEST_F(DialogHost, ShowsProgressOverTheMainWindowWithTheStepTotal) {
    EXPECT_EQ(host.AddProgressSteps(3), 3);
    EXPECT_EQ(host.AddProgressSteps(4), 4);
    host.ShowProgress();
    ASSERT_NE(Progress(), nullptr);
    EXPECT_EQ(GetWindow(Progress(), GW_OWNER), mainWindow.m_hWnd);
    EXPECT_EQ(BarUpper(), 7);
    host.ProgressStep(5);
    host.ProgressStep(-1);
    EXPECT_EQ(BarPos(), 6);
    host.SetProgressText("Copying");  // a new title starts the bar again
    EXPECT_EQ(BarPos(), 0);
    // Showing again keeps the one window; the end of a run closes it.
    HWND window = Progress();
    host.ShowProgress();
    EXPECT_EQ(Progress(), window);
    host.EndRun();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(mainWindow.Enabled());
}

TEST_F(DialogHost, CancelIsRaisedOnceByTheNextProgressCall) {
    host.AddProgressSteps(10);
    host.ShowProgress();

    // The bar is already at 0, so the title does not move it; Cancel is still seen.
    PostCancelClick(Progress());
    EXPECT_EQ(ErrorOf([&] { host.SetProgressText("Next"); }), 102);
    EXPECT_EQ(ErrorOf([&] { host.SetProgressText("Next"); }), 0);

    PostCancelClick(Progress());
    PostCancelClick(Progress());
    EXPECT_EQ(ErrorOf([&] { host.ProgressStep(-1); }), 102);
    EXPECT_EQ(ErrorOf([&] { host.ProgressStep(-1); }), 0);

    PostCancelClick(Progress());
    EXPECT_EQ(ErrorOf([&] { host.CheckCancel(); }), 102);
    EXPECT_EQ(ErrorOf([&] { host.CheckCancel(); }), 0);
}

}  // namespace
