#include "framework/FileDialog.h"

#include <vector>

namespace {

FileDialogHook gFileDialogHook = nullptr;

}  // namespace

CFileDialog::CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension,
                         const wchar_t* fileName, DWORD flags, const std::wstring& filter,
                         CWnd* parent)
    : m_open(openFileDialog),
      m_parent(parent),
      m_filter(filter),
      m_path(fileName ? fileName : L"") {
    // The chooser wants the pairs separated by zeros and ended by two.
    for (wchar_t& c : m_filter) {
        if (c == L'|') c = L'\0';
    }
    m_filter.push_back(L'\0');
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.lpstrFilter = m_filter.c_str();
    m_ofn.lpstrDefExt = defaultExtension;
    m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal() {
    if (gFileDialogHook) return gFileDialogHook(m_ofn, m_path);
    std::vector<wchar_t> file(32768, L'\0');
    m_path.copy(file.data(), file.size() - 1);
    m_ofn.hwndOwner = CWnd::GetSafeOwner(m_parent);
    m_ofn.lpstrFile = file.data();
    m_ofn.nMaxFile = DWORD(file.size());
    BOOL chosen = m_open ? GetOpenFileNameW(&m_ofn) : GetSaveFileNameW(&m_ofn);
    m_ofn.lpstrFile = nullptr;
    if (!chosen) return IDCANCEL;
    m_path = file.data();
    return IDOK;
}

FileDialogHook SetFileDialogHook(FileDialogHook hook) {
    FileDialogHook previous = gFileDialogHook;
    gFileDialogHook = hook;
    return previous;
}
