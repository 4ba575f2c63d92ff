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

struct Control {
    int id;
    std::wstring className;
    RECT rect;  // in the dialog's client coordinates
};

std::vector<Control> ControlsOf(HWND dialog) {
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        controls.push_back({GetDlgCtrlID(child), className, rect});
    }
    return controls;
}

TEST(ProgressDlg, RussianTemplateHasTheEnglishControlsTranslated) {
    std::vector<Control> english, russian;
    {
        LanguageScope language("eng");
        CProgressDlg dlg;
        ASSERT_TRUE(dlg.Create());
        EXPECT_EQ(WindowText(dlg.m_hWnd), L"Please wait...");
        EXPECT_EQ(WindowText(GetDlgItem(dlg.m_hWnd, IDCANCEL)), L"Cancel");
        english = ControlsOf(dlg.m_hWnd);
    }
    {
        LanguageScope language("rus");
        CProgressDlg dlg;
        ASSERT_TRUE(dlg.Create());
        EXPECT_EQ(WindowText(dlg.m_hWnd), L"Подождите...");
        EXPECT_EQ(WindowText(GetDlgItem(dlg.m_hWnd, IDCANCEL)), L"Отмена");
        russian = ControlsOf(dlg.m_hWnd);

        CProgressDlg titled(IDS_ERROR);
        ASSERT_TRUE(titled.Create());
        EXPECT_EQ(WindowText(titled.m_hWnd), L"Ошибка");
    }
    ASSERT_EQ(english.size(), 4u);
    ASSERT_EQ(russian.size(), english.size());
    for (size_t i = 0; i < english.size(); ++i) {
        EXPECT_EQ(russian[i].id, english[i].id);
        EXPECT_EQ(russian[i].className, english[i].className);
        EXPECT_TRUE(EqualRect(&russian[i].rect, &english[i].rect)) << "control " << english[i].id;
    }
    EXPECT_EQ(english[1].id, IDC_PROGRESS_BAR);
    EXPECT_EQ(english[1].className, L"msctls_progress32");
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

    // A range set before the window exists is the one it starts with.
    dlg.DestroyWindow();
    dlg.SetRange(0, 30);
    ASSERT_TRUE(dlg.Create(&owner));
    EXPECT_EQ(BarUpper(dlg.m_hWnd), 30);
    EXPECT_EQ(BarPos(dlg.m_hWnd), 0);
}

TEST_F(ProgressWindow, UpdateSetsTextAndBarAndReportsCancelOnce) {
    dlg.SetRange(0, 10);
    ASSERT_TRUE(dlg.Create(&owner));
    EXPECT_FALSE(dlg.Update(L"Копирование", 3));
    EXPECT_EQ(WindowText(GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_TEXT)), L"Копирование");
    EXPECT_EQ(BarPos(dlg.m_hWnd), 3);
    EXPECT_FALSE(dlg.Update(nullptr, -1));
    EXPECT_EQ(BarPos(dlg.m_hWnd), 4);
    EXPECT_EQ(WindowText(GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_TEXT)), L"Копирование");

    PostCancelClick(dlg.m_hWnd);
    PostCancelClick(dlg.m_hWnd);
    EXPECT_TRUE(dlg.Update(nullptr, 5));
    EXPECT_FALSE(dlg.TakeCancel());
    EXPECT_TRUE(IsWindow(dlg.m_hWnd));  // Cancel does not close the window
}

TEST_F(ProgressWindow, EscapeAndTheCloseBoxCancelButOkDoesNothing) {
    ASSERT_TRUE(dlg.Show(&owner, 10));

    PostMessageW(dlg.m_hWnd, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(dlg.TakeCancel());
    EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));  // not ended as a modal dialog would be

    PostMessageW(GetDlgItem(dlg.m_hWnd, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(dlg.TakeCancel());

    PostMessageW(dlg.m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(dlg.TakeCancel());
    EXPECT_TRUE(IsWindowVisible(dlg.m_hWnd));
}

TEST_F(ProgressWindow, DisablesItsOwnerOnlyWhileItExists) {
    ASSERT_TRUE(dlg.Create(&owner));
    EXPECT_FALSE(owner.Enabled());
    dlg.DestroyWindow();
    EXPECT_TRUE(owner.Enabled());
    EXPECT_EQ(dlg.m_hWnd, nullptr);

    // The destructor closes the window the same way.
    {
        CProgressDlg other;
        ASSERT_TRUE(other.Create(&owner));
        EXPECT_FALSE(owner.Enabled());
    }
    EXPECT_TRUE(owner.Enabled());

    // Creating again replaces the window and still re-enables once.
    ASSERT_TRUE(dlg.Create(&owner));
    HWND first = dlg.m_hWnd;
    ASSERT_TRUE(dlg.Create(&owner));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(owner.Enabled());
    dlg.DestroyWindow();
    EXPECT_TRUE(owner.Enabled());
}

TEST_F(ProgressWindow, LeavesAnOwnerDisabledBySomeoneElseDisabled) {
    EnableWindow(owner.m_hWnd, FALSE);
    ASSERT_TRUE(dlg.Create(&owner));
    dlg.DestroyWindow();
    EXPECT_FALSE(owner.Enabled());
}

TEST_F(ProgressWindow, OwnerIsTheTopLevelWindowOfAChildParent) {
    CWnd child;
    child.m_hWnd = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                   owner.m_hWnd, nullptr, nullptr, nullptr);
    ASSERT_TRUE(dlg.Create(&child));
    EXPECT_EQ(GetWindow(dlg.m_hWnd, GW_OWNER), owner.m_hWnd);
    EXPECT_FALSE(owner.Enabled());
    dlg.DestroyWindow();
    EXPECT_TRUE(owner.Enabled());
}

}  // namespace
