#include "console/ProgressDlg.h"

#include "language/Language.h"
#include "resources/resource.h"

CProgressDlg::CProgressDlg(UINT captionId)
    : m_captionId(captionId != 0 ? captionId : IDS_PLEASE_WAIT) {}

CProgressDlg::~CProgressDlg() {
    DestroyWindow();
}

BOOL CProgressDlg::Create(CWnd* parent) {
    // One window per object: a second Create replaces the first.
    DestroyWindow();
    const DLGTEMPLATE* dialogTemplate = LoadLangDialog(IDD_PROGRESS);
    if (!dialogTemplate) return FALSE;
    m_owner = GetSafeOwner(parent);
    if (m_owner && IsWindowEnabled(m_owner)) {
        EnableWindow(m_owner, FALSE);
        m_ownerDisabled = true;
    }
    if (!CreateIndirect(dialogTemplate, m_owner)) {
        DestroyWindow();  // re-enables the owner
        return FALSE;
    }
    return TRUE;
}

BOOL CProgressDlg::Show(CWnd* parent, int upper) {
    if (!Create(parent)) return FALSE;
    ShowWindow(m_hWnd, SW_SHOW);
    SetRange(0, upper);
    return TRUE;
}

BOOL CProgressDlg::DestroyWindow() {
    // The owner first, so that activation can return to it when this window goes.
    if (m_ownerDisabled) EnableWindow(m_owner, TRUE);
    m_ownerDisabled = false;
    m_owner = nullptr;
    m_progress.m_hWnd = nullptr;
    return CDialog::DestroyWindow();
}

BOOL CProgressDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_progress.m_hWnd = GetDlgItem(m_hWnd, IDC_PROGRESS_BAR);
    m_progress.SetRange(m_lower, m_upper);
    m_progress.SetStep(m_step);
    m_progress.SetPos(m_lower);
    SetWindowTextW(m_hWnd, LangString(m_captionId).c_str());
    return TRUE;
}

void CProgressDlg::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    m_progress.SetRange(lower, upper);
}

int CProgressDlg::SetPos(int position) {
    PumpMessages();
    return m_progress.SetPos(position);
}

int CProgressDlg::StepIt() {
    PumpMessages();
    return m_progress.StepIt();
}

void CProgressDlg::SetText(const std::wstring& text) {
    SetDlgItemTextW(m_hWnd, IDC_PROGRESS_TEXT, text.c_str());
}

bool CProgressDlg::Update(const wchar_t* text, int position) {
    if (text) SetText(text);
    if (position == -1) {
        StepIt();
    } else {
        SetPos(position);
    }
    return TakeCancel();
}

bool CProgressDlg::TakeCancel() {
    PumpMessages();
    const bool cancelled = m_cancelled;
    m_cancelled = false;
    return cancelled;
}

void CProgressDlg::PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not ours to consume: the program's own loop must still see it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (m_hWnd && IsDialogMessageW(m_hWnd, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
