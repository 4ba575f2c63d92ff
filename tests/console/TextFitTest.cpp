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

// Room a control keeps beside its text: a push button's frame and margins, a radio button's
// circle and gap, a group box's indent on either side of its title, a list cell's margins.
constexpr int kButtonMargins = 8;
constexpr int kGroupIndents = 16;
constexpr int kCellMargins = 12;

// The text's size as the control draws it (with '&' marking a mnemonic), in a given width.
SIZE Measure(HWND control, const std::wstring& text, int width, UINT format) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, HFONT(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r = {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), int(text.size()), &r, format | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right, r.bottom};
}

// What is cut of a control's text; empty when it fits.
std::string Overflow(HWND control) {
    const std::wstring text = WindowText(control);
    if (text.empty()) return "";
    RECT client;
    GetClientRect(control, &client);
    wchar_t kind[32] = {};
    GetClassNameW(control, kind, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    int room = client.right;
    SIZE need = {};
    if (lstrcmpiW(kind, L"Static") == 0) {
        // Labels wrap at word ends: every line must fit, and so must the lines' height.
        need = Measure(control, text, room, DT_WORDBREAK);
        if (need.cy <= client.bottom) need.cy = 0;
    } else {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) {
            room -= kGroupIndents;
        } else if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) {
            room -= GetSystemMetrics(SM_CXMENUCHECK) + kButtonMargins / 2;
        } else {
            room -= kButtonMargins;
        }
        need = {Measure(control, text, room, DT_SINGLELINE).cx, 0};
    }
    if (need.cx <= room && need.cy == 0) return "";
    return AnsiFromWide(text) + " needs " + std::to_string(need.cx) + " of " +
           std::to_string(room) + " pixels" + (need.cy ? ", and more lines" : "");
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
