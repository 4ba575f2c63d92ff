#include "console/DeviceListDlg.h"

#include "app/DeviceActions.h"
#include "app/Language.h"
#include "app/ManagerApp.h"
#include "console/DeviceDialogs.h"
#include "framework/FileDialog.h"
#include "resources/resource.h"

#include <algorithm>

namespace {

// Columns: header string, width in dialog units.
const struct {
    UINT header;
    int width;
} kColumns[] = {{IDS_DEVICE_NAME, 75}, {IDS_LOGICAL_NAME, 70}, {IDS_STARTUP, 65}, {IDS_STATUS, 52}};

// Bitmap 132 holds two images 19 pixels wide: a started device, and any other status.
constexpr int kImageWidth = 19;
constexpr int kImageGrow = 2;
constexpr COLORREF kImageMask = RGB(255, 255, 255);
constexpr int kImageStarted = 0;
constexpr int kImageOther = 1;

// The buttons that need a focused device.
constexpr int kDeviceButtons[] = {IDC_DETAILS, IDC_CHANGE, IDC_UNINSTALL};

// The language's text with its "%s" replaced by text; no printf, so that a '%' in a
// device name stays text.
std::wstring FormatWith(UINT id, const std::string& text) {
    std::wstring message = LangString(id);
    size_t at = message.find(L"%s");
    if (at != std::wstring::npos) message.replace(at, 2, WideFromAnsi(text));
    return message;
}

// A path the installation flows, which take narrow paths, can open: the path itself when
// the code page can spell it, else its short form.
std::string NarrowPath(const std::wstring& path) {
    std::string narrow = AnsiFromWide(path);
    if (WideFromAnsi(narrow) == path) return narrow;
    wchar_t shortPath[MAX_PATH] = {};
    DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? AnsiFromWide(shortPath) : narrow;
}

}  // namespace

CDeviceListDlg::CDeviceListDlg(CWnd* parent, const DeviceApi& api)
    : CLangDialog(IDD_MAIN, parent),
      m_api(api),
      m_hIcon(LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDI_MAINFRAME))),
      m_hSmallIcon(static_cast<HICON>(
          LoadImageW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDI_MAINFRAME), IMAGE_ICON,
                     GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0))) {}

CDeviceListDlg::~CDeviceListDlg() {
    // LoadIcon's icons are shared and never destroyed; the sized one is ours.
    if (m_hSmallIcon) DestroyIcon(m_hSmallIcon);
}

void CDeviceListDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_DEVICE_LIST, m_list);
}

BOOL CDeviceListDlg::OnInitDialog() {
    CLangDialog::OnInitDialog();
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, LPARAM(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, LPARAM(m_hSmallIcon ? m_hSmallIcon : m_hIcon));
    // A device is a row: the whole row shows its selection, and a cut cell shows its text
    // in full when the mouse rests on it.
    const DWORD rowStyles = LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;
    m_list.SetExtendedStyle(rowStyles, rowStyles);
    InsertColumns();
    CImageList images;
    if (images.Create(IDB_DEVICES, kImageWidth, kImageGrow, kImageMask)) {
        m_list.SetImageList(images.Detach(), LVSIL_SMALL);  // the list owns it from here
    }
    Refresh(false);
    return TRUE;
}

void CDeviceListDlg::InsertColumns() {
    int column = 0;
    for (const auto& c : kColumns) {
        RECT width = {0, 0, c.width, 0};
        MapDialogRect(m_hWnd, &width);
        m_list.InsertColumn(column++, LangString(c.header), LVCFMT_LEFT, width.right);
    }
}

void CDeviceListDlg::Refresh(bool keepSelection) {
    std::wstring selected;
    if (keepSelection) {
        int focused = m_list.GetNextItem(-1, LVNI_FOCUSED);
        if (focused < 0) keepSelection = false;
        if (keepSelection) selected = m_list.GetItemText(focused, 0);
    }
    CWaitCursor wait;
    // One repaint for the whole fill rather than one per item.
    SendMessageW(m_list.m_hWnd, WM_SETREDRAW, FALSE, 0);
    m_list.DeleteAllItems();
    const int count = m_api.getDeviceCount();
    for (int i = 0; i < count; ++i) {
        DeviceInfo info = {};
        int result = m_api.getDeviceInfo(i, &info);
        if (result == 0 && info.startupType == PX_STARTUP_ON_DEMAND &&
            info.status == PX_STATUS_NOT_STARTED && info.deviceName) {
            m_api.initDevice(info.deviceName);
            result = m_api.getDeviceInfo(i, &info);
        }
        if (result != 0) {
            ReportError(result);
            continue;
        }
        AddDevice(i, info);
    }
    if (keepSelection) SelectItem(m_list.FindItem(selected));
    SendMessageW(m_list.m_hWnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list.m_hWnd, nullptr, TRUE);
}

void CDeviceListDlg::AddDevice(int index, const DeviceInfo& info) {
    // The list sorts by name: the item's place is the one it reports.
    int item = m_list.InsertItem(index, DeviceText(info.deviceName),
                                 info.status != 0 ? kImageOther : kImageStarted);
    if (item < 0) return;
    m_list.SetItemText(item, 1, DeviceText(info.logicalName));
    m_list.SetItemText(item, 2, StartupTypeText(info.startupType));
    m_list.SetItemText(item, 3, StatusText(info.status));
}

void CDeviceListDlg::SelectItem(int item) {
    if (item < 0) return;
    const UINT state = LVIS_FOCUSED | LVIS_SELECTED;
    m_list.SetItemState(item, state, state);
    m_list.EnsureVisible(item);
}

std::vector<std::wstring> CDeviceListDlg::ListedNames() const {
    std::vector<std::wstring> names;
    for (int i = 0; i < m_list.GetItemCount(); ++i) names.push_back(m_list.GetItemText(i, 0));
    return names;
}

bool CDeviceListDlg::ReadFocusedDevice(DeviceInfo& info) {
    int focused = m_list.GetNextItem(-1, LVNI_FOCUSED);
    if (focused < 0) return false;
    std::string name = AnsiFromWide(m_list.GetItemText(focused, 0));
    int result = m_api.getDeviceInfo1(name.c_str(), &info);
    if (result != 0) {
        ReportError(result);
        return false;
    }
    return true;
}

bool CDeviceListDlg::HasFunction(const char* deviceName, unsigned code) {
    int exists = 0;
    return m_api.extendedFunction(deviceName, kQueryFunction | code, nullptr, &exists) == 0 &&
           exists != 0;
}

void CDeviceListDlg::UpdateButtons() {
    int focused = m_list.GetNextItem(-1, LVNI_FOCUSED);
    if (focused == m_lastFocused) return;
    m_lastFocused = focused;
    for (int button : kDeviceButtons) EnableWindow(GetDlgItem(m_hWnd, button), focused >= 0);

    bool setup = false;
    bool cards = false;
    DeviceInfo info = {};
    if (ReadFocusedDevice(info) && info.startupType != PX_STARTUP_DISABLED) {
        setup = HasFunction(info.deviceName, kSetupFunction);
        cards = HasFunction(info.deviceName, kCardOperationsFunction);
    }
    EnableWindow(GetDlgItem(m_hWnd, IDC_SETUP_DRIVER), setup);
    EnableWindow(GetDlgItem(m_hWnd, IDC_CARD_OPERATIONS), cards);
}

BOOL CDeviceListDlg::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    UpdateButtons();
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom == IDC_DEVICE_LIST && header->code == UINT(NM_DBLCLK)) {
        // A double click on a device, as Enter: the details of the device clicked.
        const int item = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
        if (item < 0) return FALSE;
        SelectItem(item);
        OnDetails();
        return TRUE;
    }
    return CLangDialog::OnNotify(wParam, lParam, result);
}

BOOL CDeviceListDlg::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != BN_CLICKED) return FALSE;
    switch (LOWORD(wParam)) {
        case IDC_DETAILS:
            OnDetails();
            return TRUE;
        case IDC_CHANGE:
            OnChange();
            return TRUE;
        case IDC_SETUP_DRIVER:
            RunDeviceFunction(kSetupFunction);
            return TRUE;
        case IDC_CARD_OPERATIONS:
            RunDeviceFunction(kCardOperationsFunction);
            return TRUE;
        case IDC_INSTALL:
            OnInstall();
            return TRUE;
        case IDC_UNINSTALL:
            OnUninstall();
            return TRUE;
        default:
            return FALSE;  // ID_HELP goes on to the application
    }
}

void CDeviceListDlg::RunDeviceFunction(unsigned code) {
    DeviceInfo info = {};
    if (!ReadFocusedDevice(info)) return;
    const std::string name = info.deviceName;
    // The driver shows its own windows meanwhile; help would open over them.
    HWND help = GetDlgItem(m_hWnd, ID_HELP);
    EnableWindow(help, FALSE);
    int restart = 0;
    int result = m_api.extendedFunction(name.c_str(), code, nullptr, &restart);
    EnableWindow(help, TRUE);
    if (result != 0) {
        ReportError(result);
        return;
    }
    if (restart == 0) return;
    if (int restarted = m_api.reInitDevice(name.c_str())) ReportError(restarted);
    Refresh(true);
}

void CDeviceListDlg::OnDetails() {
    DeviceInfo info = {};
    if (!ReadFocusedDevice(info)) return;
    CDeviceDetailsDlg dialog(&info, this, m_api);
    dialog.DoModal();
}

void CDeviceListDlg::OnChange() {
    DeviceInfo info = {};
    if (!ReadFocusedDevice(info)) return;
    CDeviceParamsDlg dialog(&info, this, m_api);
    if (dialog.DoModal() == IDOK) Refresh(true);
}

void CDeviceListDlg::OnInstall() {
    // Opening read-only means nothing for an installation file: the choice is not offered.
    CFileDialog chooser(TRUE, L"pxf", nullptr,
                        OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
                        LangString(IDS_FILE_FILTER), this);
    if (chooser.DoModal() != IDOK) return;
    CWaitCursor wait;
    const std::vector<std::wstring> before = ListedNames();
    InstallDevice(NarrowPath(chooser.GetPathName()).c_str(), 1);
    m_api.rebuildDeviceList(0);
    Refresh(true);
    // The device just installed is the one the user wants to see or set up next.
    for (const std::wstring& name : ListedNames()) {
        if (std::find(before.begin(), before.end(), name) == before.end()) {
            SelectItem(m_list.FindItem(name));
            break;
        }
    }
}

void CDeviceListDlg::OnUninstall() {
    DeviceInfo info = {};
    if (!ReadFocusedDevice(info)) return;
    const std::string name = info.deviceName;
    if (AfxMessageBox(FormatWith(IDS_CONFIRM_UNINSTALL, name), MB_YESNO | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    CWaitCursor wait;
    UninstallDevice(name.c_str(), 1);
    m_api.rebuildDeviceList(0);
    Refresh(false);
}

INT_PTR CDeviceListDlg::OnMessage(UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_DESTROY:
            // Help opened from this window is no longer needed.
            if (CWinApp* app = AfxGetApp()) app->WinHelp(0, HELP_QUIT);
            return FALSE;
        case WM_PAINT:
            if (!IsIconic(m_hWnd)) return FALSE;
            OnPaint();
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_hIcon);
        default:
            return FALSE;
    }
}

// A minimised window draws its icon in the middle of what is left of it.
void CDeviceListDlg::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, WPARAM(dc), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}
