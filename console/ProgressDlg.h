// CProgressDlg: the modeless window of a running installation file, with a text line, a
// progress bar and a Cancel button.
//
// The script runs on the user-interface thread, so this window is served only while the
// bar is updated: SetPos, StepIt and TakeCancel empty the thread's message queue first.
// Cancel (the button, Escape or the close box) does not close the window; it raises a flag
// that TakeCancel hands out once and clears.
//
// While the window exists its owner is disabled, so the user reaches only this window and
// the script's message boxes. The owner is re-enabled only if this window disabled it:
// an owner that someone else had disabled stays disabled.
#pragma once

#include <string>

#include "framework/Dialog.h"
#include "framework/ProgressCtrl.h"

class CProgressDlg : public CDialog {
public:
    // captionId 0: the caption is "Please wait..." of the string table.
    explicit CProgressDlg(UINT captionId = 0);
    ~CProgressDlg() override;

    // Loads the progress template of the current language and creates the window, owned
    // by the safe owner of parent. Returns FALSE (owner left as it was) when the template
    // is missing or the window cannot be created.
    BOOL Create(CWnd* parent = nullptr);
    // Create, show, then SetRange(0, upper).
    BOOL Show(CWnd* parent, int upper);
    BOOL DestroyWindow() override;

    // Stores the range and sends it; each end is taken modulo 65536 by the bar.
    void SetRange(int lower, int upper);
    // Empty the message queue, then move the bar; both return the previous position.
    int SetPos(int position);
    int StepIt();
    // The text line above the bar.
    void SetText(const std::wstring& text);
    // text (nullptr: unchanged), then position -1 steps, any other sets; then TakeCancel.
    bool Update(const wchar_t* text, int position);
    // Empties the message queue and returns whether Cancel was pressed since the last call.
    bool TakeCancel();

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override { m_cancelled = true; }

private:
    void PumpMessages();

    CProgressCtrl m_progress;
    UINT m_captionId;
    int m_lower = 0;
    int m_upper = 100;
    int m_step = 1;
    bool m_cancelled = false;
    HWND m_owner = nullptr;
    bool m_ownerDisabled = false;
};
