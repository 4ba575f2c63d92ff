// The two dialogs that the main window opens on the focused device's record: a read-only
// details view, and the dialog that changes the device's logical name and startup type
// through the Device library. The record belongs to the main window for the dialog's life.
#pragma once

#include "language/LangDialog.h"
#include "console/DeviceApi.h"
#include "framework/ToolTip.h"

#include <string>

class CDeviceDetailsDlg : public CLangDialog {
public:
    CDeviceDetailsDlg(const DeviceInfo* info, CWnd* parent,
                      const DeviceApi& api = LibraryDeviceApi());

    BOOL OnInitDialog() override;

    // The full texts of the values cut to their lines.
    CToolTipCtrl m_tips;

private:
    const DeviceInfo* m_pInfo;
    const DeviceApi& m_api;
};

class CDeviceParamsDlg : public CLangDialog {
public:
    // Logical names longer than this are refused before the library sees them.
    static constexpr int kMaxLogicalName = 32;

    CDeviceParamsDlg(const DeviceInfo* info, CWnd* parent,
                     const DeviceApi& api = LibraryDeviceApi());

    BOOL OnInitDialog() override;
    // Checks the name and writes the settings through the library; the dialog stays open
    // when a check fails or the name is taken.
    void OnOK() override;

    std::wstring m_strLogicalName;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

private:
    int SelectedStartupType() const;

    const DeviceInfo* m_pInfo;
    const DeviceApi& m_api;
};
