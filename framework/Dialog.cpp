#include "framework/Dialog.h"

BOOL CDialog::InitModalIndirect(const DLGTEMPLATE* dialogTemplate, CWnd* parent) {
    m_lpDialogTemplate = dialogTemplate;
    if (parent) m_pParentWnd = parent;
    return dialogTemplate != nullptr;
}

INT_PTR CDialog::DoModal() {
    if (!m_lpDialogTemplate) return -1;
    HWND owner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : GetActiveWindow();
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

BOOL CDialog::OnMessage(UINT, WPARAM, LPARAM) {
    return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) return self->OnOK(), TRUE;
        if (LOWORD(wParam) == IDCANCEL) return self->OnCancel(), TRUE;
    }
    if (message == WM_NCDESTROY) self->m_hWnd = nullptr;
    return self->OnMessage(message, wParam, lParam);
}
