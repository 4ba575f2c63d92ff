// Every text of the windows fits its control in English and in Russian, measured at the
// system's 96 DPI with the control's own font: a label, a button, a radio button or a group
// box's title, and the list's column headers and cell texts against their columns.
#include <gtest/gtest.h>

#include <string>

#include "console/DeviceListDlg.h"
#include "tests/console/ConsoleTestSupport.h"

using console_test::LanguageScope;
using console_test::WindowText;

namespace {

// Room a control keeps beside its text: a button's frame, a radio button's circle, a group
// box's indents, a list cell's margins.
constexpr int kButtonMargins = 8;
constexpr int kGroupIndents = 16;
constexpr int kCellMargins = 12;

// The text's size as the control draws it ('&' marks a mnemonic), within width.
SIZE Measure(HWND control, const std::wstring& text, int width, UINT format) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, HFONT(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r = {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), int(text.size()), &r, format | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right, r.bottom};
}

// What is cut of a control's text; empty when it fits. Labels wrap at word ends, so every
// line must fit, and so must their height.
std::string Overflow(HWND control) {
    const std::wstring text = WindowText(control);
    RECT client;
    GetClientRect(control, &client);
    wchar_t kind[32] = {};
    GetClassNameW(control, kind, 32);
    const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    const bool label = lstrcmpiW(kind, L"Static") == 0;
    const int room = client.right - (label                 ? 0
                                     : type == BS_GROUPBOX ? kGroupIndents
                                     : type == BS_AUTORADIOBUTTON
                                         ? GetSystemMetrics(SM_CXMENUCHECK) + kButtonMargins / 2
                                         : kButtonMargins);
    const SIZE need = Measure(control, text, room, label ? DT_WORDBREAK : DT_SINGLELINE);
    if (text.empty() || (need.cx <= room && (!label || need.cy <= client.bottom))) return "";
    return AnsiFromWide(text) + " needs " + std::to_string(need.cx) + "x" +
           std::to_string(need.cy) + " of " + std::to_string(room) + " pixels";
}

TEST(TextFit, EveryControlsTextFitsInEitherLanguage) {
    for (const char* language : {"eng", "rus"}) {
        LanguageScope scope(language);
        for (UINT id : {IDD_MAIN, IDD_PROGRESS, IDD_DETAILS, IDD_PARAMETERS}) {
            CDialog dialog;
            ASSERT_TRUE(dialog.CreateIndirect(LoadLangDialog(id), nullptr)) << id;
            for (HWND c = GetWindow(dialog.m_hWnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                EXPECT_EQ("", Overflow(c)) << language << " " << id;
            }
        }
    }
}

// The headers, and the longest startup and status texts, fit their columns.
TEST(TextFit, ListHeadersAndCellsFitTheirColumns) {
    const UINT columns[][4] = {{IDS_DEVICE_NAME},
                               {IDS_LOGICAL_NAME},
                               {IDS_STARTUP, IDS_AUTOMATIC, IDS_ON_DEMAND, IDS_DISABLED},
                               {IDS_STATUS, IDS_UNKNOWN, IDS_SUCCESS, IDS_ERROR}};
    for (const char* language : {"eng", "rus"}) {
        LanguageScope scope(language);
        CDeviceListDlg window;
        ASSERT_TRUE(window.CreateIndirect(window.m_pTemplate, nullptr));
        HWND list = window.m_list.m_hWnd;
        for (int column = 0; column < 4; ++column) {
            const int width = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
            for (UINT text : columns[column]) {
                if (text == 0) continue;
                const int need = Measure(list, LangString(text), 0, DT_SINGLELINE).cx;
                EXPECT_LE(need + kCellMargins, width) << language << " " << text;
            }
        }
        window.DestroyWindow();
    }
}

}  // namespace
