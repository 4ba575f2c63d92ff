// The dialog host: message boxes built from prompt type strings (answered through the
// replaceable message box) and the progress window it drives over the main window.
#include <gtest/gtest.h>

#include <string>

#include "framework/ProgressCtrl.h"
#include "console/InstallDialogHost.h"
#include "resources/resource.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/console/ConsoleTestSupport.h"
#include "tests/engine/EngineTestSupport.h"

using console_test::LanguageScope;
using engine_test::ErrorOf;

namespace {

class DialogHost : public testing::Test {
protected:
    DialogHost() { app.m_pMainWnd = &mainWindow; }
    ~DialogHost() override { app.m_pMainWnd = nullptr; }

    HWND Progress() { return host.GetProgressDlg().m_hWnd; }
    int Bar(UINT message, WPARAM wParam) {
        return int(SendDlgItemMessageW(Progress(), IDC_PROGRESS_BAR, message, wParam, 0));
    }
    // A click on Cancel, delivered when the queue is next emptied.
    void PostCancelClick() { PostMessageW(GetDlgItem(Progress(), IDCANCEL), BM_CLICK, 0, 0); }

    CWinApp app{"Tolvarin"};
    LanguageScope language{"eng"};
    console_test::OwnerWindow mainWindow;
    MessageBoxRecorder boxes;
    CInstallDialogHost host;
};

// The box's icon, buttons and default come from the type string; the button clicked gives
// 1, 0 or 2. A box that cannot be shown answers as its default button would.
TEST_F(DialogHost, PromptBuildsTheBoxFromTheTypeStringAndMapsTheAnswer) {
    const struct {
        const char* type;
        UINT flags;
        int button;
        int result;
        int unshown;  // the result when no box can be shown
    } cases[] = {
        {"-", MB_ICONHAND | MB_OK, IDOK, 1, 1},
        {"?yNc", MB_ICONQUESTION | MB_YESNOCANCEL | MB_DEFBUTTON2, IDNO, 2, 2},
        {"?ynC", MB_ICONQUESTION | MB_YESNOCANCEL | MB_DEFBUTTON3, IDYES, 1, 0},
        {"!oc", MB_ICONEXCLAMATION | MB_OKCANCEL, IDCANCEL, 0, 1},
        {"-rC", MB_ICONHAND | MB_RETRYCANCEL | MB_DEFBUTTON2, IDRETRY, 1, 0},
        {"?arI", MB_ICONQUESTION | MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE, 2, 2},
        // Character 0 is always the icon: "ari" alone is the information icon and OK.
        {"ari", MB_ICONASTERISK | MB_OK, IDABORT, 0, 1},
        {"?xyz", MB_ICONQUESTION | MB_OK, IDCONTINUE, 2, 1},
        {"?ynca", MB_ICONQUESTION | MB_OK, IDOK, 1, 1},
        {"?ynxW", MB_ICONQUESTION | MB_OK | MB_DEFBUTTON4, IDOK, 1, 1},
        {"?yN", MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, IDYES, 1, 2},
        {"", MB_ICONASTERISK | MB_OK, IDOK, 1, 1},
    };
    for (const auto& c : cases) {
        boxes.boxes.clear();
        boxes.Answer(c.button);
        EXPECT_EQ(host.Prompt("Go on?", c.type), c.result) << "type \"" << c.type << "\"";
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.type;
        EXPECT_EQ(boxes.boxes[0].flags, c.flags) << "type \"" << c.type << "\"";
        boxes.Answer(0);
        EXPECT_EQ(host.Prompt("Go on?", c.type), c.unshown) << "unshown \"" << c.type << "\"";
    }
    EXPECT_EQ(boxes.boxes[0].text, L"Go on?");
    // The error box is a prompt with the hand icon and OK.
    host.ShowError("Failed");
    EXPECT_EQ(boxes.boxes.back().flags, UINT(MB_ICONHAND));
    EXPECT_EQ(boxes.boxes.back().text, L"Failed");
}

// The host's progress window disables the main window it sits over, with the total of the
// steps added (sent to the bar in 16 bits). The user's Cancel, Escape or close box is raised
// as error 102, once, by the next progress call; the window stays until the run ends.
TEST_F(DialogHost, ProgressOverTheMainWindowAndItsCancel) {
    host.AddProgressSteps(3);
    host.AddProgressSteps(65536 + 4);
    SetWindowPos(mainWindow.m_hWnd, nullptr, 200, 150, 500, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    host.ShowProgress();
    EXPECT_EQ(GetWindow(Progress(), GW_OWNER), mainWindow.m_hWnd);
    RECT bar;  // centred on the main window
    GetWindowRect(Progress(), &bar);
    EXPECT_NEAR((bar.left + bar.right) / 2, 450, 1);
    EXPECT_NEAR((bar.top + bar.bottom) / 2, 300, 1);
    EXPECT_FALSE(mainWindow.Enabled());
    EXPECT_EQ(Bar(PBM_GETRANGE, FALSE), 7);
    host.ProgressStep(5);
    host.ProgressStep(-1);
    EXPECT_EQ(Bar(PBM_GETPOS, 0), 6);
    host.SetProgressText("Copying");  // a new stage: the bar stays
    EXPECT_EQ(Bar(PBM_GETPOS, 0), 6);

    PostCancelClick();
    PostCancelClick();
    EXPECT_EQ(ErrorOf([&] { host.ProgressStep(-1); }), 102);
    EXPECT_EQ(ErrorOf([&] { host.SetProgressText("Next"); }), 0);
    PostCancelClick();
    EXPECT_EQ(ErrorOf([&] { host.CheckCancel(); }), 102);
    EXPECT_EQ(ErrorOf([&] { host.CheckCancel(); }), 0);
    PostMessageW(GetDlgItem(Progress(), IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(ErrorOf([&] { host.CheckCancel(); }), 102);
    PostMessageW(Progress(), WM_CLOSE, 0, 0);
    EXPECT_EQ(ErrorOf([&] { host.CheckCancel(); }), 102);
    PostMessageW(Progress(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(ErrorOf([&] { host.CheckCancel(); }), 0);

    HWND window = Progress();
    host.EndRun();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(mainWindow.Enabled());
}

}  // namespace
