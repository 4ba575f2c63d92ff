// Modal and modeless dialogs from in-memory templates.
#pragma once

#include "framework/Framework.h"

class CDialog : public CWnd {
public:
    explicit CDialog(CWnd* parent = nullptr) : m_pParentWnd(parent) {}
    // A modeless window still open is destroyed without calling back into the object.
    ~CDialog() override;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Records the template to show; the template must outlive the dialog.
    BOOL InitModalIndirect(const DLGTEMPLATE* dialogTemplate, CWnd* parent = nullptr);
    // Shows the dialog and returns the id it ended with, or -1 when it has no template
    // or cannot be created.
    virtual INT_PTR DoModal();
    void EndDialog(int result);
    // Creates the dialog modeless (not shown unless the template says WS_VISIBLE), owned
    // by owner. FALSE when it cannot be created. A modeless dialog ends with
    // DestroyWindow, never EndDialog.
    BOOL CreateIndirect(const DLGTEMPLATE* dialogTemplate, HWND owner);

    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    UINT m_nIDHelp = 0;

protected:
    // Messages other than WM_INITDIALOG, IDOK and IDCANCEL; return TRUE when handled.
    virtual BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    CWnd* m_pParentWnd;
    const DLGTEMPLATE* m_lpDialogTemplate = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
