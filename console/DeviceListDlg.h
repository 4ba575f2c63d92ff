// CDeviceListDlg: the program's main window. It lists every device of the Device library
// with its logical name, startup type and status, and offers the per-device actions: the
// details and change-parameters dialogs, the driver's setup and card-operations functions,
// installation from an installation file and uninstallation.
//
// The device buttons follow the list's focused item, and are recomputed only when the
// focused index changes (asking the driver which functions it has costs a module load).
#pragma once

#include "app/LangDialog.h"
#include "console/DeviceApi.h"
#include "framework/ListCtrl.h"

#include <string>
#include <vector>

class CDeviceListDlg : public CLangDialog {
public:
    explicit CDeviceListDlg(CWnd* parent = nullptr, const DeviceApi& api = LibraryDeviceApi());
    ~CDeviceListDlg() override;

    // Refills the list from the library, starting On demand devices that have not been
    // started; with keepSelection the focused device stays focused and selected.
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
    void InsertColumns();
    // Focuses, selects and scrolls to item; nothing for -1.
    void SelectItem(int item);
    std::vector<std::wstring> ListedNames() const;
    void AddDevice(int index, const DeviceInfo& info);
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
};
