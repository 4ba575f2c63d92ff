// Thin wrappers of the list view control and the image list: one window message or one
// image-list call per operation.
#pragma once

#include "framework/Framework.h"

#include <commctrl.h>

#include <string>

class CImageList {
public:
    CImageList() = default;
    ~CImageList() { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    // Cuts the program's bitmap into images width pixels wide; maskColour marks the
    // transparent pixels. FALSE when the bitmap is missing.
    BOOL Create(UINT bitmapId, int width, int grow, COLORREF maskColour);
    // Hands the list over (to a control that owns it from then on).
    HIMAGELIST Detach();
    void DeleteImageList();
    int GetImageCount() const { return m_hImageList ? ImageList_GetImageCount(m_hImageList) : 0; }

    HIMAGELIST m_hImageList = nullptr;
};

class CListCtrl : public CWnd {
public:
    int InsertColumn(int column, const std::wstring& heading, int format, int width);
    // The new item's index, which a sorted list chooses itself; -1 on failure.
    int InsertItem(int index, const std::wstring& text, int image);
    BOOL SetItemText(int item, int subItem, const std::wstring& text);
    // The whole text, however long.
    std::wstring GetItemText(int item, int subItem) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    // An owner-data list's number of rows.
    void SetItemCount(int count) { SendMessageW(m_hWnd, LVM_SETITEMCOUNT, WPARAM(count), 0); }
    BOOL DeleteAllItems() { return BOOL(SendMessageW(m_hWnd, LVM_DELETEALLITEMS, 0, 0)); }
    int GetItemCount() const { return int(SendMessageW(m_hWnd, LVM_GETITEMCOUNT, 0, 0)); }
    int GetNextItem(int start, UINT flags) const {
        return int(SendMessageW(m_hWnd, LVM_GETNEXTITEM, WPARAM(start), MAKELPARAM(flags, 0)));
    }
    // The first item after start whose text is exactly text; -1 when there is none.
    int FindItem(const std::wstring& text, int start = -1) const;
    // The extended styles (LVS_EX_...) in mask become those of styles.
    void SetExtendedStyle(DWORD mask, DWORD styles) {
        SendMessageW(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, styles);
    }
    DWORD GetExtendedStyle() const {
        return DWORD(SendMessageW(m_hWnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    }
    BOOL EnsureVisible(int item) {
        return BOOL(SendMessageW(m_hWnd, LVM_ENSUREVISIBLE, WPARAM(item), FALSE));
    }
    // The list takes the image list of the given kind (LVSIL_SMALL, ...); the previous one.
    HIMAGELIST SetImageList(HIMAGELIST imageList, int kind) {
        return HIMAGELIST(SendMessageW(m_hWnd, LVM_SETIMAGELIST, WPARAM(kind), LPARAM(imageList)));
    }
};
