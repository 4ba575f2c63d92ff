// The system's file chooser, and the wait cursor.
#pragma once

#include "framework/Framework.h"

#include <commdlg.h>

#include <string>

class CFileDialog {
public:
    // filter: "Text (*.x) |*.x||", pairs of description and pattern separated by '|'.
    // defaultExtension without its period.
    CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension, const wchar_t* fileName,
                DWORD flags, const std::wstring& filter, CWnd* parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK with the chosen path, or IDCANCEL.
    INT_PTR DoModal();
    std::wstring GetPathName() const { return m_path; }

    OPENFILENAMEW m_ofn = {};

private:
    BOOL m_open;
    CWnd* m_parent;
    std::wstring m_filter;
    std::wstring m_path;
};

// The file chooser goes through one replaceable function, so that tests choose files
// without a person: the hook gets the chooser's settings (filter, flags, default extension)
// and returns IDOK with path set, or IDCANCEL. Null restores the real chooser.
using FileDialogHook = INT_PTR (*)(const OPENFILENAMEW& settings, std::wstring& path);
FileDialogHook SetFileDialogHook(FileDialogHook hook);

// Shows the hourglass for its lifetime.
class CWaitCursor {
public:
    CWaitCursor() : m_previous(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { SetCursor(m_previous); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_previous;
};
