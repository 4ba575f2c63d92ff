// CDeviceListDlg: the program's main window. It lists every device of the Device library
// with its logical name, startup type and status, and offers the per-device actions: the
// details and change-parameters dialogs, the driver's setup and card-operations functions,
// installation from an installation file and uninstallation.
//
// The device buttons follow the list's focused item, and are recomputed only when the
// focused index changes (asking the driver which functions it has costs a module load).
#pragma once

#include "language/LangDialog.h"
#include "console/DeviceApi.h"
#include "framework/ListCtrl.h"

#include <string>
#include <vector>

// The device images for a window at dpi dots per inch: the bitmap and its images' size.
struct DeviceImages {
    UINT bitmap;
    int pixels;
};
DeviceImages DeviceImagesFor(int dpi);

class CDeviceListDlg : public CLangDialog {
public:
    explicit CDeviceListDlg(CWnd* parent = nullptr, const DeviceApi& api = LibraryDeviceApi());
    ~CDeviceListDlg() override;

    // Refills the list from the library, starting On demand devices that have not been
    // started; with keepSelection the focused device stays focused and selected. The list
    // is sorted by name until a click on a column's header sorts it by that column.
    void Refresh(bool keepSelection);

    BOOL OnInitDialog() override;

    CListCtrl m_list;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // The focused device's record, into info; false when no item is focused or the record
    // cannot be read (the library's error was then shown).
    bool ReadFocusedDevice(DeviceInfo& info);
    void UpdateButtons();
    bool HasFunction(const char* deviceName, unsigned code);
    // One device as the list shows it; the list asks for its texts as it draws them.
    struct DeviceRow {
        std::wstring name;
        std::wstring logicalName;
        std::wstring nameKey;     // the texts as they sort
        std::wstring logicalKey;  // made when the list is first sorted by logical name
        int startupType;
        int status;
    };
    static DeviceRow MakeRow(const DeviceInfo& info);
    void LoadCellTexts();
    const std::wstring& CellText(const DeviceRow& row, int column) const;
    // Sorts the rows by the sort column, ties by name.
    void SortRows();
    // A click on a column's header: sorted by it, or the other way round when it already was.
    void SortBy(int column);
    // The row of the device called name (prefix: whose name begins so, without regard to
    // case), searching from start round to it; -1 when there is none.
    int FindRow(const std::wstring& name, int start = 0, bool prefix = false) const;
    bool OnListNotify(const NMHDR* header, LRESULT* result);
    void InsertColumns();
    // The focused item's row; -1 when no item is focused.
    int FocusedRow() const;
    // Focuses, selects and scrolls to item; nothing for -1.
    void SelectItem(int item);
    std::vector<std::wstring> ListedNames() const;
    void RunDeviceFunction(unsigned code);
    void OnDetails();
    void OnChange();
    void OnInstall();
    void OnUninstall();
    void OnPaint();

    const DeviceApi& m_api;
    HICON m_hIcon;
    HICON m_hSmallIcon;
    // Starts where no index can be, so that the first check always counts as a change.
    int m_lastFocused = -1000;
    std::vector<DeviceRow> m_rows;
    int m_sortColumn = 0;
    bool m_sortAscending = true;
    // The startup texts of types 0, 1, 2 and any other; the status texts of not started,
    // started and failed devices.
    std::wstring m_startupTexts[4];
    std::wstring m_statusTexts[3];
};
