// The progress window as a real window: its templates in both languages, the range sent
// to the bar, the cancel flag, and the owner it disables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/ProgressDlg.h"
#include "resources/resource.h"
#include "tests/console/ConsoleTestSupport.h"

using console_test::BarPos;
using console_test::BarUpper;
using console_test::LanguageScope;
using console_test::OwnerWindow;
using console_test::PostCancelClick;
using console_test::WindowText;

namespace {

// The controls of a dialog: id and position in client coordinates, in order.
std::vector<std::vector<LONG>> ControlsOf(HWND dialog) {
    std::vector<std::vector<LONG>> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        controls.push_back({GetDlgCtrlID(child), rect.left, rect.top, rect.right, rect.bottom});
    }
    return controls;
}

TEST(ProgressDlg, RussianTemplateHasTheEnglishControlsTranslated) {
    const struct {
        const char* code;
        const wchar_t* title;
        const wchar_t* cancel;
        const wchar_t* error;  // a window titled with a string of the table
    } languages[] = {{"eng", L"Please wait...", L"Cancel", L"Error"},
                     {"rus", L"Подождите...", L"Отмена", L"Ошибка"}};
    std::vector<std::vector<LONG>> controls[2];
    for (int i = 0; i < 2; ++i) {
        LanguageScope language(languages[i].code);
        CProgressDlg dlg, titled(IDS_ERROR);
        ASSERT_TRUE(dlg.Create() && titled.Create());
        EXPECT_EQ(WindowText(dlg.m_hWnd), languages[i].title);
        EXPECT_EQ(WindowText(GetDlgItem(dlg.m_hWnd, IDCANCEL)), languages[i].cancel);
        EXPECT_EQ(WindowText(titled.m_hWnd), languages[i].error);
        controls[i] = ControlsOf(dlg.m_hWnd);
    }
    ASSERT_EQ(controls[0].size(), 4u);
    EXPECT_EQ(controls[0][1][0], IDC_PROGRESS_BAR);
    EXPECT_EQ(controls[0], controls[1]);
}

class ProgressWindow : public testing::Test {
protected:
    LanguageScope language{"eng"};
    OwnerWindow owner;
    CProgressDlg dlg;
};

TEST_F(ProgressWindow, RangeIsSentAsSixteenBitHalves) {
    ASSERT_TRUE(dlg.Show(&owner, 70000));
    EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
    EXPECT_EQ(BarUpper(dlg.m_hWnd), 70000 % 65536);
    dlg.SetRange(0, 10);
    EXPECT_EQ(dlg.SetPos(4), 0);
    EXPECT_EQ(dlg.StepIt(), 4);
    EXPECT_EQ(BarPos(dlg.m_hWnd), 5);
}

TEST_F(ProgressWindow, UpdateSetsTextAndBarAndReportsCancelOnce) {
    ASSERT_TRUE(dlg.Show(&owner, 10));
    EXPECT_FALSE(dlg.Update(L"Копирование", 3));
    EXPECT_FALSE(dlg.Update(nullptr, -1));  // no text: the old one stays; -1: one step
    EXPECT_EQ(WindowText(GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_TEXT)), L"Копирование");
    EXPECT_EQ(BarPos(dlg.m_hWnd), 4);

    PostCancelClick(dlg.m_hWnd);
    PostCancelClick(dlg.m_hWnd);
    EXPECT_TRUE(dlg.Update(nullptr, 5));
    EXPECT_FALSE(dlg.TakeCancel());
    EXPECT_TRUE(IsWindow(dlg.m_hWnd));  // Cancel does not close the window

    // Escape and the close box cancel too; OK does nothing, nor ends the window.
    PostMessageW(dlg.m_hWnd, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(dlg.TakeCancel());
    PostMessageW(GetDlgItem(dlg.m_hWnd, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(dlg.TakeCancel());
    PostMessageW(dlg.m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(dlg.TakeCancel());
    EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
}

TEST_F(ProgressWindow, DisablesItsTopLevelOwnerOnlyWhileItExists) {
    CWnd child;
    child.m_hWnd = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                   owner.m_hWnd, nullptr, nullptr, nullptr);
    ASSERT_TRUE(dlg.Create(&child));
    EXPECT_EQ(GetWindow(dlg.m_hWnd, GW_OWNER), owner.m_hWnd);
    EXPECT_FALSE(owner.Enabled());
    dlg.DestroyWindow();
    EXPECT_TRUE(owner.Enabled());

    // Creating again replaces the window, and the destructor closes it the same way.
    {
        CProgressDlg other;
        ASSERT_TRUE(other.Create(&owner));
        ASSERT_TRUE(other.Create(&owner));
        EXPECT_FALSE(owner.Enabled());
    }
    EXPECT_TRUE(owner.Enabled());

    // An owner disabled by someone else stays disabled.
    EnableWindow(owner.m_hWnd, FALSE);
    ASSERT_TRUE(dlg.Create(&owner));
    dlg.DestroyWindow();
    EXPECT_FALSE(owner.Enabled());
}

}  // namespace
