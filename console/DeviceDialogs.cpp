#include "console/DeviceDialogs.h"

#include "language/Language.h"
#include "resources/resource.h"

#include <cwchar>

namespace {

// The library's "logical name already assigned" answer.
constexpr int kLogicalNameTaken = 106;
// A logical name names a place, such as "SCR1:": it ends with one of these.
constexpr wchar_t kLogicalNameEnds[] = L":\\/";

constexpr int kErrorTextSize = 256;

std::wstring VersionText(int version) {
    wchar_t text[32];
    swprintf(text, 32, L"%d.%d", version >> 8, version & 0xFF);
    return text;
}

}  // namespace

CDeviceDetailsDlg::CDeviceDetailsDlg(const DeviceInfo* info, CWnd* parent, const DeviceApi& api)
    : CLangDialog(IDD_DETAILS, parent), m_pInfo(info), m_api(api) {}

BOOL CDeviceDetailsDlg::OnInitDialog() {
    CLangDialog::OnInitDialog();
    char status[kErrorTextSize] = {};
    std::wstring statusText = LangString(IDS_UNKNOWN);
    if (m_api.getErrorString(m_pInfo->status, status) != 0) {
        status[kErrorTextSize - 1] = '\0';
        statusText = DeviceText(status);
    }
    const struct {
        int control;
        std::wstring text;
    } values[] = {
        {IDC_INFO_DEVICE_NAME, DeviceText(m_pInfo->deviceName)},
        {IDC_INFO_LOGICAL_NAME, DeviceText(m_pInfo->logicalName)},
        {IDC_INFO_VENDOR, DeviceText(m_pInfo->vendor)},
        {IDC_INFO_COMMENT, DeviceText(m_pInfo->comment)},
        {IDC_INFO_DRIVER_DLL, DeviceText(m_pInfo->driverDll)},
        {IDC_INFO_VERSION, VersionText(m_pInfo->driverVersion)},
        {IDC_INFO_STARTUP, StartupTypeText(m_pInfo->startupType)},
        {IDC_INFO_STATUS, statusText},
    };
    // A value too long for its line ends in an ellipsis and shows in full under the mouse.
    m_tips.Create(m_hWnd);
    for (const auto& value : values) {
        HWND control = GetDlgItem(m_hWnd, value.control);
        SetWindowTextW(control, value.text.c_str());
        if (value.control != IDC_INFO_DRIVER_DLL && TextIsCut(control, value.text)) {
            m_tips.AddTool(control, value.text);
        }
    }
    return TRUE;
}

CDeviceParamsDlg::CDeviceParamsDlg(const DeviceInfo* info, CWnd* parent, const DeviceApi& api)
    : CLangDialog(IDD_PARAMETERS, parent), m_pInfo(info), m_api(api) {}

void CDeviceParamsDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_LOGICAL_NAME_EDIT, m_strLogicalName);
    DDV_MaxChars(pDX, m_strLogicalName, kMaxLogicalName);
}

BOOL CDeviceParamsDlg::OnInitDialog() {
    // The base exchange puts the still empty name into the edit and limits its typing;
    // the record's values follow.
    CLangDialog::OnInitDialog();
    SetDlgItemTextW(m_hWnd, IDC_PARAMS_DEVICE_NAME, DeviceText(m_pInfo->deviceName).c_str());
    SetDlgItemTextW(m_hWnd, IDC_LOGICAL_NAME_EDIT, DeviceText(m_pInfo->logicalName).c_str());
    const int type = m_pInfo->startupType;
    if (type >= PX_STARTUP_AUTOMATIC && type <= PX_STARTUP_DISABLED) {
        CheckRadioButton(m_hWnd, IDC_STARTUP_AUTOMATIC, IDC_STARTUP_DISABLED,
                         IDC_STARTUP_AUTOMATIC + type);
    }
    return TRUE;
}

int CDeviceParamsDlg::SelectedStartupType() const {
    if (IsDlgButtonChecked(m_hWnd, IDC_STARTUP_AUTOMATIC) == BST_CHECKED) {
        return PX_STARTUP_AUTOMATIC;
    }
    if (IsDlgButtonChecked(m_hWnd, IDC_STARTUP_ON_DEMAND) == BST_CHECKED) {
        return PX_STARTUP_ON_DEMAND;
    }
    return PX_STARTUP_DISABLED;
}

void CDeviceParamsDlg::OnOK() {
    if (!UpdateData(TRUE)) return;
    const int startupType = SelectedStartupType();
    if (!m_strLogicalName.empty() && !wcschr(kLogicalNameEnds, m_strLogicalName.back())) {
        AfxMessageBox(LangString(IDS_LOGICAL_NAME_END), MB_OK);
        return;
    }
    const std::string logicalName = AnsiFromWide(m_strLogicalName);
    if (m_api.changeDeviceSettings(m_pInfo->deviceName, startupType, logicalName.c_str()) ==
        kLogicalNameTaken) {
        AfxMessageBox(LangString(IDS_LOGICAL_NAME_TAKEN), MB_OK);
        return;
    }
    EndDialog(IDOK);
}
