// Modal and modeless dialogs from in-memory templates, with the data exchange between a
// dialog's controls and its members.
#pragma once

#include "framework/Framework.h"

#include <string>

class CDialog;

// One pass of data exchange: from the controls into the members when saving and
// validating, from the members into the controls otherwise.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    // The control that the next validation refers to; its window.
    HWND PrepareCtrl(int controlId);
    HWND PrepareEditCtrl(int controlId);
    // Ends the exchange as failed: focuses the last prepared control (selecting an edit's
    // text) and throws, so that UpdateData returns FALSE.
    [[noreturn]] void Fail();

    BOOL m_bSaveAndValidate;
    CDialog* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;
    bool m_bEditLastControl = false;
};

// Binds a wrapper to the dialog's control (only when loading: the first exchange).
void DDX_Control(CDataExchange* pDX, int controlId, CWnd& control);
// Exchanges a control's whole text.
void DDX_Text(CDataExchange* pDX, int controlId, std::wstring& value);
// Saving: a value longer than maxChars is refused with AFX_IDP_PARSE_STRING_SIZE and the
// exchange fails. Loading: the edit of the last DDX_Text takes no more typed characters.
void DDV_MaxChars(CDataExchange* pDX, const std::wstring& value, int maxChars);

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

    // Loads the controls from the members; derived classes call it first.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Runs DoDataExchange; FALSE when a validation failed (the user was told why).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // WM_COMMAND other than IDOK and IDCANCEL; TRUE when handled. Unhandled commands go on
    // to the application (ID_HELP, for one).
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // WM_NOTIFY from a control; TRUE when handled, with *result as the answer.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Other messages: non-zero when handled (the dialog procedure's own result).
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    CWnd* m_pParentWnd;
    const DLGTEMPLATE* m_lpDialogTemplate = nullptr;

private:
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
