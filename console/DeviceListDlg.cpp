#include "console/DeviceListDlg.h"

#include "install/DeviceActions.h"
#include "language/Language.h"
#include "language/ReportError.h"
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

// Each device bitmap holds two square images: a started device, and any other status.
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

// A name as it sorts and is found by typing: without regard to case, in any script.
std::wstring SortKey(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(text.data(), DWORD(text.size()));
    return text;
}

}  // namespace

DeviceImages DeviceImagesFor(int dpi) {
    static const DeviceImages kSizes[] = {
        {IDB_DEVICES_32, 32}, {IDB_DEVICES_24, 24}, {IDB_DEVICES_20, 20}, {IDB_DEVICES_16, 16}};
    // 16 pixels at 96 DPI, grown with it; never larger than the DPI asks for, so that the
    // row height follows the text's.
    for (const DeviceImages& size : kSizes) {
        if (size.pixels * 96 <= 16 * dpi) return size;
    }
    return kSizes[3];
}

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
    HDC screen = GetDC(m_hWnd);
    const DeviceImages size = DeviceImagesFor(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(m_hWnd, screen);
    CImageList images;
    if (images.Create(size.bitmap, size.pixels, kImageGrow, kImageMask)) {
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
        const int focused = FocusedRow();
        if (focused < 0) keepSelection = false;
        if (keepSelection) selected = m_rows[size_t(focused)].name;
    }
    CWaitCursor wait;
    LoadCellTexts();
    std::vector<DeviceRow> rows;
    const int count = m_api.getDeviceCount();
    rows.reserve(count > 0 ? size_t(count) : 0);
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
        rows.push_back(MakeRow(info));
    }
    m_rows = std::move(rows);
    SortRows();
    // The list asks for each row's texts as it draws it: its cost no longer grows with the
    // number of devices. Its selection is by position, which a refill renumbers.
    m_list.SetItemState(-1, 0, LVIS_FOCUSED | LVIS_SELECTED);
    m_list.SetItemCount(int(m_rows.size()));
    if (keepSelection) SelectItem(FindRow(selected));
    InvalidateRect(m_list.m_hWnd, nullptr, TRUE);
}

CDeviceListDlg::DeviceRow CDeviceListDlg::MakeRow(const DeviceInfo& info) {
    DeviceRow row = {DeviceText(info.deviceName),
                     DeviceText(info.logicalName),
                     {},
                     {},
                     info.startupType,
                     info.status};
    row.nameKey = SortKey(row.name);
    return row;
}

void CDeviceListDlg::LoadCellTexts() {
    for (int type = 0; type < 4; ++type) m_startupTexts[type] = StartupTypeText(type);
    m_statusTexts[0] = StatusText(PX_STATUS_NOT_STARTED);
    m_statusTexts[1] = StatusText(0);
    m_statusTexts[2] = StatusText(1);
}

const std::wstring& CDeviceListDlg::CellText(const DeviceRow& row, int column) const {
    switch (column) {
        case 0:
            return row.name;
        case 1:
            return row.logicalName;
        case 2: {
            const bool known = row.startupType >= 0 && row.startupType <= PX_STARTUP_DISABLED;
            return m_startupTexts[known ? row.startupType : 3];
        }
        default:
            return m_statusTexts[row.status == PX_STATUS_NOT_STARTED ? 0 : row.status < 1 ? 1 : 2];
    }
}

void CDeviceListDlg::SortRows() {
    const int column = m_sortColumn;
    const bool ascending = m_sortAscending;
    // Logical names are made ready to sort only when they are sorted by.
    for (DeviceRow& row : m_rows) {
        if (column == 1 && row.logicalKey.empty()) row.logicalKey = SortKey(row.logicalName);
    }
    auto key = [&](const DeviceRow& row) -> const std::wstring& {
        return column == 0 ? row.nameKey : column == 1 ? row.logicalKey : CellText(row, column);
    };
    // Rows equal in the sorted column keep the order of their names.
    std::sort(m_rows.begin(), m_rows.end(), [&](const DeviceRow& a, const DeviceRow& b) {
        int order = key(a).compare(key(b));
        if (order == 0) order = a.nameKey.compare(b.nameKey);
        return ascending ? order < 0 : order > 0;
    });
}

void CDeviceListDlg::SortBy(int column) {
    const int focused = FocusedRow();
    const std::wstring name = focused >= 0 ? m_rows[size_t(focused)].name : std::wstring();
    m_sortAscending = column == m_sortColumn ? !m_sortAscending : true;
    m_sortColumn = column;
    SortRows();
    m_list.SetItemState(-1, 0, LVIS_FOCUSED | LVIS_SELECTED);
    if (focused >= 0) SelectItem(FindRow(name));
    InvalidateRect(m_list.m_hWnd, nullptr, TRUE);
}

int CDeviceListDlg::FindRow(const std::wstring& name, int start, bool prefix) const {
    const int count = int(m_rows.size());
    for (int n = 0; n < count; ++n) {
        const int i = (start + n) % count;
        const std::wstring& text = m_rows[size_t(i)].name;
        if (prefix ? SortKey(text.substr(0, name.size())) == SortKey(name) : text == name) {
            return i;
        }
    }
    return -1;
}

int CDeviceListDlg::FocusedRow() const {
    const int focused = m_list.GetNextItem(-1, LVNI_FOCUSED);
    return focused >= 0 && size_t(focused) < m_rows.size() ? focused : -1;
}

void CDeviceListDlg::SelectItem(int item) {
    if (item < 0) return;
    const UINT state = LVIS_FOCUSED | LVIS_SELECTED;
    m_list.SetItemState(item, state, state);
    m_list.EnsureVisible(item);
}

std::vector<std::wstring> CDeviceListDlg::ListedNames() const {
    std::vector<std::wstring> names;
    names.reserve(m_rows.size());
    for (const DeviceRow& row : m_rows) names.push_back(row.name);
    std::sort(names.begin(), names.end());
    return names;
}

bool CDeviceListDlg::ReadFocusedDevice(DeviceInfo& info) {
    const int focused = FocusedRow();
    if (focused < 0) return false;
    std::string name = AnsiFromWide(m_rows[size_t(focused)].name);
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
    if (header->idFrom == IDC_DEVICE_LIST && OnListNotify(header, result)) return TRUE;
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

bool CDeviceListDlg::OnListNotify(const NMHDR* header, LRESULT* result) {
    switch (header->code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(header))->item;
            if (item.iItem < 0 || size_t(item.iItem) >= m_rows.size()) return true;
            const DeviceRow& row = m_rows[size_t(item.iItem)];
            if (item.mask & LVIF_IMAGE) item.iImage = row.status != 0 ? kImageOther : kImageStarted;
            if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
                const std::wstring& text = CellText(row, item.iSubItem);
                const size_t length = std::min(text.size(), size_t(item.cchTextMax - 1));
                text.copy(item.pszText, length);
                item.pszText[length] = L'\0';
            }
            return true;
        }
        case LVN_ODFINDITEMW: {
            // Typing a name's first letters, and finding a name: the list asks us.
            const auto* find = reinterpret_cast<const NMLVFINDITEMW*>(header);
            const bool text = (find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) && find->lvfi.psz;
            const int start =
                find->iStart >= 0 && size_t(find->iStart) < m_rows.size() ? find->iStart : 0;
            *result =
                text ? FindRow(find->lvfi.psz, start, (find->lvfi.flags & LVFI_PARTIAL) != 0) : -1;
            return true;
        }
        case LVN_COLUMNCLICK:
            SortBy(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem);
            return true;
        default:
            return false;
    }
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
        if (!std::binary_search(before.begin(), before.end(), name)) {
            SelectItem(FindRow(name));
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
