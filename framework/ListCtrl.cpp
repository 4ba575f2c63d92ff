#include "framework/ListCtrl.h"

BOOL CImageList::Create(UINT bitmapId, int width, int grow, COLORREF maskColour) {
    DeleteImageList();
    m_hImageList = ImageList_LoadImageW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(bitmapId), width,
                                        grow, maskColour, IMAGE_BITMAP, LR_CREATEDIBSECTION);
    return m_hImageList != nullptr;
}

HIMAGELIST CImageList::Detach() {
    HIMAGELIST list = m_hImageList;
    m_hImageList = nullptr;
    return list;
}

void CImageList::DeleteImageList() {
    if (m_hImageList) ImageList_Destroy(m_hImageList);
    m_hImageList = nullptr;
}

int CListCtrl::InsertColumn(int column, const std::wstring& heading, int format, int width) {
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    col.fmt = format;
    col.cx = width;
    col.pszText = const_cast<wchar_t*>(heading.c_str());
    col.iSubItem = column;
    return int(SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, WPARAM(column), LPARAM(&col)));
}

int CListCtrl::InsertItem(int index, const std::wstring& text, int image) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    return int(SendMessageW(m_hWnd, LVM_INSERTITEMW, 0, LPARAM(&item)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const std::wstring& text) {
    LVITEMW entry = {};
    entry.iSubItem = subItem;
    entry.pszText = const_cast<wchar_t*>(text.c_str());
    return BOOL(SendMessageW(m_hWnd, LVM_SETITEMTEXTW, WPARAM(item), LPARAM(&entry)));
}

std::wstring CListCtrl::GetItemText(int item, int subItem) const {
    // The control says only how much it copied: grow until the text leaves room to spare.
    for (size_t size = 256;; size *= 2) {
        std::wstring text(size, L'\0');
        LVITEMW entry = {};
        entry.iSubItem = subItem;
        entry.pszText = text.data();
        entry.cchTextMax = int(size);
        auto length = size_t(SendMessageW(m_hWnd, LVM_GETITEMTEXTW, WPARAM(item), LPARAM(&entry)));
        if (length + 1 < size || size >= 65536) return text.substr(0, length);
    }
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEMW entry = {};
    entry.state = state;
    entry.stateMask = mask;
    return BOOL(SendMessageW(m_hWnd, LVM_SETITEMSTATE, WPARAM(item), LPARAM(&entry)));
}

int CListCtrl::FindItem(const std::wstring& text, int start) const {
    LVFINDINFOW find = {};
    find.flags = LVFI_STRING;
    find.psz = text.c_str();
    return int(SendMessageW(m_hWnd, LVM_FINDITEMW, WPARAM(start), LPARAM(&find)));
}
