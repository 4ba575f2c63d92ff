#include "framework/Dialog.h"

#include <cwchar>

namespace {

// What DataExchange::Fail throws; caught only by UpdateData.
struct ExchangeFailed {};

// A popup dialog opens in the middle of its owner, or of the work area when it has none or
// the owner is minimised, and never reaches past the work area's edges: a window opened in
// the screen's corner, away from the window the user works in, is easily missed.
void CenterDialog(HWND dialog) {
    if (GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD) return;
    HWND owner = GetWindow(dialog, GW_OWNER);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT area = monitor.rcWork;
    RECT around = area;
    if (owner && !IsIconic(owner)) GetWindowRect(owner, &around);
    RECT window;
    GetWindowRect(dialog, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    auto place = [](LONG low, LONG high, LONG areaLow, LONG areaHigh, int size) {
        LONG start = low + (high - low - size) / 2;
        if (start + size > areaHigh) start = areaHigh - size;
        return start < areaLow ? areaLow : start;
    };
    SetWindowPos(dialog, nullptr, place(around.left, around.right, area.left, area.right, width),
                 place(around.top, around.bottom, area.top, area.bottom, height), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

HWND CDataExchange::PrepareCtrl(int controlId) {
    m_hWndLastControl = GetDlgItem(m_pDlgWnd->m_hWnd, controlId);
    m_bEditLastControl = false;
    return m_hWndLastControl;
}

HWND CDataExchange::PrepareEditCtrl(int controlId) {
    PrepareCtrl(controlId);
    m_bEditLastControl = true;
    return m_hWndLastControl;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_hWndLastControl) {
        SetFocus(m_hWndLastControl);
        if (m_bEditLastControl) SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
    }
    throw ExchangeFailed{};
}

void DDX_Control(CDataExchange* pDX, int controlId, CWnd& control) {
    if (!control.m_hWnd) control.m_hWnd = pDX->PrepareCtrl(controlId);
}

void DDX_Text(CDataExchange* pDX, int controlId, std::wstring& value) {
    HWND control = pDX->PrepareEditCtrl(controlId);
    if (!pDX->m_bSaveAndValidate) {
        SetWindowTextW(control, value.c_str());
        return;
    }
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), int(text.size()))));
    value = text;
}

void DDV_MaxChars(CDataExchange* pDX, const std::wstring& value, int maxChars) {
    if (!pDX->m_bSaveAndValidate) {
        if (pDX->m_hWndLastControl) SendMessageW(pDX->m_hWndLastControl, EM_LIMITTEXT, maxChars, 0);
        return;
    }
    if (value.size() <= static_cast<size_t>(maxChars)) return;
    std::wstring format = AfxLoadString(AFX_IDP_PARSE_STRING_SIZE);
    wchar_t message[512] = {};
    swprintf(message, 512, format.c_str(), maxChars);
    AfxMessageBox(message, MB_ICONEXCLAMATION);
    pDX->Fail();
}

BOOL CDialog::InitModalIndirect(const DLGTEMPLATE* dialogTemplate, CWnd* parent) {
    m_lpDialogTemplate = dialogTemplate;
    if (parent) m_pParentWnd = parent;
    return dialogTemplate != nullptr;
}

INT_PTR CDialog::DoModal() {
    if (!m_lpDialogTemplate) return -1;
    HWND owner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : GetSafeOwner();
    return DialogBoxIndirectParamW(AfxGetInstanceHandle(), m_lpDialogTemplate, owner, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
}

CDialog::~CDialog() {
    if (!m_hWnd) return;
    SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
    ::DestroyWindow(m_hWnd);
}

BOOL CDialog::CreateIndirect(const DLGTEMPLATE* dialogTemplate, HWND owner) {
    if (!dialogTemplate) return FALSE;
    m_lpDialogTemplate = dialogTemplate;
    // m_hWnd is set by WM_INITDIALOG, before this returns.
    HWND window = CreateDialogIndirectParamW(AfxGetInstanceHandle(), dialogTemplate, owner,
                                             DialogProc, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

void CDialog::EndDialog(int result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    try {
        DoDataExchange(&exchange);
    } catch (const ExchangeFailed&) {
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::OnCommand(WPARAM, LPARAM) {
    return FALSE;
}

BOOL CDialog::OnNotify(WPARAM, LPARAM, LRESULT*) {
    return FALSE;
}

INT_PTR CDialog::OnMessage(UINT, WPARAM, LPARAM) {
    return FALSE;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const UINT id = LOWORD(wParam);
            if (HIWORD(wParam) == BN_CLICKED && id == IDOK) return OnOK(), TRUE;
            if (HIWORD(wParam) == BN_CLICKED && id == IDCANCEL) return OnCancel(), TRUE;
            if (OnCommand(wParam, lParam)) return TRUE;
            CWinApp* app = AfxGetApp();
            return app && HIWORD(wParam) <= 1 && app->OnCmdMsg(id);
        }
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (!OnNotify(wParam, lParam, &result)) return FALSE;
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case WM_HELP:  // F1: the same as the "&Help" button
            SendMessageW(m_hWnd, WM_COMMAND, ID_HELP, 0);
            return TRUE;
        case WM_COMMANDHELP: {
            CWinApp* app = AfxGetApp();
            const BOOL handled = app && m_nIDHelp != 0;
            if (handled) app->WinHelp(HID_BASE_RESOURCE + m_nIDHelp, HELP_CONTEXT);
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, handled);
            return TRUE;
        }
        default:
            return OnMessage(message, wParam, lParam);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
        const BOOL result = self->OnInitDialog();
        // After the dialog's own initialisation, which may change its size.
        if (IsWindow(window)) CenterDialog(window);
        return result;
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) self->m_hWnd = nullptr;
    return self->Dispatch(message, wParam, lParam);
}
