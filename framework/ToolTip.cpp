#include "framework/ToolTip.h"

#include <commctrl.h>

namespace {

// A tool is keyed by its control's window, so that callers need no ids of their own.
TOOLINFOW ToolFor(HWND owner, HWND control, const wchar_t* text) {
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text);
    return tool;
}

}  // namespace

BOOL CToolTipCtrl::Create(HWND owner) {
    DestroyWindow();
    m_hWnd = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                             nullptr, AfxGetInstanceHandle(), nullptr);
    if (!m_hWnd) return FALSE;
    // Long texts wrap rather than run off the screen.
    SendMessageW(m_hWnd, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN) / 2);
    return TRUE;
}

BOOL CToolTipCtrl::AddTool(HWND control, const std::wstring& text) {
    TOOLINFOW tool = ToolFor(GetParent(control), control, text.c_str());
    SendMessageW(m_hWnd, TTM_DELTOOLW, 0, LPARAM(&tool));
    return BOOL(SendMessageW(m_hWnd, TTM_ADDTOOLW, 0, LPARAM(&tool)));
}

std::wstring CToolTipCtrl::GetText(HWND control) const {
    // The control gives no length: a buffer as large as any text a tool is given here.
    std::wstring text(8192, L'\0');
    TOOLINFOW tool = ToolFor(GetParent(control), control, text.data());
    if (!SendMessageW(m_hWnd, TTM_GETTOOLINFOW, 0, LPARAM(&tool))) return {};
    tool.lpszText = text.data();
    SendMessageW(m_hWnd, TTM_GETTEXTW, WPARAM(text.size()), LPARAM(&tool));
    return text.c_str();
}

int TextWidth(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, HFONT(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.data(), int(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

bool TextIsCut(HWND control, const std::wstring& text) {
    RECT client;
    GetClientRect(control, &client);
    return TextWidth(control, text) > client.right - client.left;
}
