// The main window (hidden, modeless) and its modal dialogs as real windows over the real
// Device library, driven by window messages from inside their own loops.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/ManagerApp.h"
#include "console/DeviceDialogs.h"
#include "console/DeviceListDlg.h"
#include "framework/FileDialog.h"
#include "tests/common/DeviceRecords.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/common/WhileModal.h"
#include "tests/console/ConsoleTestSupport.h"

using console_test::LanguageScope;
using console_test::WindowText;

namespace {

const std::string kTestDriver = TOLV_BIN_DIR "/plixa_testdriver.dll";
const std::string kBareDriver = TOLV_BIN_DIR "/plixa_bare_driver.dll";

void AddDevice(const std::string& name, DWORD startup, const std::string& driver,
               const std::string& logical = "", DWORD version = 0) {
    ScratchRegistry::SetString(DeviceKey(name).c_str(), "DriverDll", driver);
    ScratchRegistry::SetString(DeviceKey(name).c_str(), "LogicalName", logical);
    ScratchRegistry::SetDword(DeviceKey(name).c_str(), "Startup", startup);
    ScratchRegistry::SetDword(DeviceKey(name).c_str(), "Version", version);
}

// The library, with one device whose record cannot be read, and counted calls.
std::string gUnreadable;
int gQueries = 0;
int gChanges = 0;
int __stdcall ReadDevice(int index, DeviceInfo* info) {
    int result = pxGetDeviceInfo(index, info);
    return result == 0 && gUnreadable == info->deviceName ? PX_ERR_REGISTRY : result;
}
int __stdcall Extended(const char* name, unsigned code, void* owner, int* out) {
    gQueries += (code & kQueryFunction) != 0;
    return pxExtendedFunction(name, code, owner, out);
}
int __stdcall Change(const char* name, int type, const char* logical) {
    ++gChanges;
    return pxChangeDeviceSettings(name, type, logical);
}
const DeviceApi& TestApi() {
    static DeviceApi api = [] {
        DeviceApi a = LibraryDeviceApi();
        a.getDeviceInfo = ReadDevice;
        a.extendedFunction = Extended;
        a.changeDeviceSettings = Change;
        return a;
    }();
    return api;
}

// A library of many devices held in memory, handed out in a scrambled order: "Reader 0",
// "reader 1", ... (every other one in lower case), with logical names in the reverse order.
std::vector<std::string> gManyNames;
std::wstring ManyName(int n) {
    return (n % 2 ? L"reader " : L"Reader ") + std::to_wstring(1000000 + n).substr(1);
}
int __stdcall ManyCount() {
    return int(gManyNames.size());
}
int __stdcall ManyInfo(int index, DeviceInfo* info) {
    const size_t n = (size_t(index) * 7919) % gManyNames.size();
    static std::string logical;
    logical = "L" + std::to_string(20000000 - n);
    *info = {gManyNames[n].c_str(), logical.c_str(), "", "", "", 2, 0, -1};
    return 0;
}
const DeviceApi& ManyDevices(int count) {
    gManyNames.clear();
    for (int n = 0; n < count; ++n) gManyNames.push_back(AnsiFromWide(ManyName(n)));
    static DeviceApi api = LibraryDeviceApi();
    api.getDeviceCount = ManyCount;
    api.getDeviceInfo = ManyInfo;
    return api;
}

// Help opens nothing; the file chooser answers with gChosenFile, or cancels without one.
bool NoHelp(UINT, const std::wstring&) {
    return true;
}
std::wstring gChosenFile;
INT_PTR ChooseFile(const OPENFILENAMEW&, std::wstring& path) {
    path = gChosenFile;
    return gChosenFile.empty() ? IDCANCEL : IDOK;
}

// Centred: the middles of the two rectangles are the same, but for the rounding.
testing::AssertionResult SameCentre(HWND window, const RECT& around) {
    RECT r;
    GetWindowRect(window, &r);
    const LONG dx = r.left + r.right - around.left - around.right;
    const LONG dy = r.top + r.bottom - around.top - around.bottom;
    if (std::abs(dx) <= 2 && std::abs(dy) <= 2) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "off the centre by " << dx / 2 << "," << dy / 2;
}
RECT WindowRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

class DeviceWindows : public testing::Test {
protected:
    DeviceWindows() {
        gUnreadable.clear();
        gQueries = gChanges = 0;
        SetHelpHook(&NoHelp);
        SetFileDialogHook(&ChooseFile);
        AddDevice("Alpha", PX_STARTUP_AUTOMATIC, kTestDriver, "SCR1:", 0x0102);
        AddDevice("beta", PX_STARTUP_ON_DEMAND, kTestDriver, "taken:");
        AddDevice("Gamma", PX_STARTUP_DISABLED, kTestDriver);
        AddDevice("Delta", PX_STARTUP_ON_DEMAND, "Z:\\missing\\driver.dll", "", 0x0A0F);
        AddDevice("Epsilon", PX_STARTUP_AUTOMATIC, kBareDriver);
        EXPECT_EQ(0, pxInitLibrary(0));
    }
    ~DeviceWindows() override {
        app.m_pMainWnd = nullptr;
        dlg.DestroyWindow();
        pxDoneLibrary();
        SetHelpHook(nullptr);
        SetFileDialogHook(nullptr);
    }
    void Open() {
        ASSERT_TRUE(dlg.CreateIndirect(dlg.m_pTemplate, nullptr));
        app.m_pMainWnd = &dlg;
    }
    int Item(const wchar_t* name) { return dlg.m_list.FindItem(name); }
    void Focus(const wchar_t* name) {
        const UINT state = LVIS_FOCUSED | LVIS_SELECTED;
        dlg.m_list.SetItemState(Item(name), state, state);
    }
    std::wstring Focused() {
        int item = dlg.m_list.GetNextItem(-1, LVNI_FOCUSED);
        return item < 0 ? L"" : dlg.m_list.GetItemText(item, 0);
    }
    bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dlg.m_hWnd, id)) != FALSE; }
    // The enabled ones of Details, Change, Uninstall, Setup driver and Card operations.
    std::string Buttons() {
        const int ids[] = {IDC_DETAILS, IDC_CHANGE, IDC_UNINSTALL, IDC_SETUP_DRIVER,
                           IDC_CARD_OPERATIONS};
        std::string enabled;
        for (int i = 0; i < 5; ++i) enabled += Enabled(ids[i]) ? "DCUSO"[i] : '-';
        return enabled;
    }
    // Each row: name, logical name, startup, status, image.
    std::vector<std::wstring> Rows() {
        std::vector<std::wstring> rows;
        for (int i = 0; i < dlg.m_list.GetItemCount(); ++i) {
            LVITEMW item = {};
            item.mask = LVIF_IMAGE;
            item.iItem = i;
            SendMessageW(dlg.m_list.m_hWnd, LVM_GETITEMW, 0, LPARAM(&item));
            std::wstring row;
            for (int c = 0; c < 4; ++c) row += dlg.m_list.GetItemText(i, c) + L"|";
            rows.push_back(row + std::to_wstring(item.iImage));
        }
        return rows;
    }

    CManagerApp app;
    LanguageScope language{"eng"};
    MessageBoxRecorder boxes;
    CDeviceListDlg dlg{nullptr, TestApi()};
};

TEST_F(DeviceWindows, ListShowsEveryStateSortedAndLeavesOutAnUnreadableRecord) {
    gUnreadable = "Epsilon";
    Open();
    ASSERT_EQ(1u, boxes.boxes.size());  // the unreadable record, reported once
    EXPECT_EQ(L"The device's registry record cannot be read or written.", boxes.boxes[0].text);
    EXPECT_EQ(UINT(MB_ICONHAND), boxes.boxes[0].flags);
    const std::vector<std::wstring> rows = {
        L"Alpha|SCR1:|Automatic|Success|0",
        // On demand and not started: started while the list filled.
        L"beta|taken:|On demand|Success|0",
        L"Delta||On demand|Error|1",
        L"Gamma||Disabled|Unknown|1",
    };
    EXPECT_EQ(rows, Rows());
    EXPECT_EQ("init;", DriverCalls("beta"));

    // A thousand devices, with long names and texts.
    // Under the test's scratch key the registry takes no device name of 255 characters.
    const std::string longName(200, 'z');
    const std::string longText(1000, 'x');
    for (int i = 0; i < 995; ++i)
        ScratchRegistry::SetDword(DeviceKey("Many" + std::to_string(i)).c_str(), "Startup", 2);
    AddDevice(longName, PX_STARTUP_DISABLED, "", longText);
    pxRebuildDeviceList(0);
    dlg.Refresh(false);
    EXPECT_EQ(1000, dlg.m_list.GetItemCount());
    EXPECT_EQ(WideFromAnsi(longText),
              dlg.m_list.GetItemText(Item(std::wstring(200, L'z').c_str()), 1));
    EXPECT_EQ(1u + 1u, boxes.boxes.size());
}

TEST_F(DeviceWindows, ButtonsFollowTheFocusedDeviceAndAreRecomputedOnlyWhenItMoves) {
    Open();
    EXPECT_EQ("-----", Buttons());  // no focused item
    // A driver with both functions; the same driver, but Disabled; no driver module; a
    // driver without either function.
    const wchar_t* devices[] = {L"Alpha", L"Gamma", L"Delta", L"Epsilon", L"Alpha"};
    const char* expected[] = {"DCUSO", "DCU--", "DCU--", "DCU--", "DCUSO"};
    for (int i = 0; i < 5; ++i) {
        Focus(devices[i]);
        EXPECT_EQ(expected[i], Buttons()) << i;
    }
    const int queries = gQueries;
    NMHDR click = {dlg.m_list.m_hWnd, IDC_DEVICE_LIST, UINT(NM_CLICK)};
    SendMessageW(dlg.m_hWnd, WM_NOTIFY, IDC_DEVICE_LIST, LPARAM(&click));
    EXPECT_EQ(queries, gQueries);  // the focus stayed
    Focus(L"beta");
    EXPECT_EQ(queries + 2, gQueries);

    // A driver function that asks for a restart: the device restarts, the list is refilled
    // with the same device focused, and Help is enabled again.
    ScratchRegistry::SetDword(DeviceKey("beta").c_str(), "TestRestart", 1);
    Click(dlg.m_hWnd, IDC_SETUP_DRIVER);
    EXPECT_EQ("init;setup:0;shutdown;init;", DriverCalls("beta"));
    EXPECT_EQ(L"beta", Focused());
    EXPECT_TRUE(Enabled(ID_HELP));
    ScratchRegistry::SetDword(DeviceKey("beta").c_str(), "TestResult", 7);
    Click(dlg.m_hWnd, IDC_CARD_OPERATIONS);
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"The device's driver reported an error.", boxes.boxes[0].text);
}

// The main window opens in the middle of the work area, Details in the middle of the main
// window; Enter on a device and a double click on one open its details; rows select whole.
TEST_F(DeviceWindows, EnterOrADoubleClickOpensTheDetailsCentredOnTheWindow) {
    Open();
    RECT workArea;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    EXPECT_TRUE(SameCentre(dlg.m_hWnd, workArea));
    EXPECT_TRUE(dlg.m_list.GetExtendedStyle() & LVS_EX_FULLROWSELECT);
    int width = 0, height = 0;  // the images of the screen's 96 DPI
    ImageList_GetIconSize(
        HIMAGELIST(SendMessageW(dlg.m_list.m_hWnd, LVM_GETIMAGELIST, LVSIL_SMALL, 0)), &width,
        &height);
    EXPECT_EQ(16, width);
    EXPECT_EQ(16, height);
    std::wstring opened;
    auto details = [&](HWND dialog) {
        opened += WindowText(GetDlgItem(dialog, IDC_INFO_DEVICE_NAME)) + L"|";
        EXPECT_TRUE(SameCentre(dialog, WindowRect(dlg.m_hWnd)));
        Click(dialog, IDCANCEL);
    };
    Focus(L"Alpha");
    {
        WhileModal modal(details);
        MSG enter = {};
        enter = {dlg.m_list.m_hWnd, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
        EXPECT_TRUE(IsDialogMessageW(dlg.m_hWnd, &enter));
    }
    {
        WhileModal modal(details);
        RECT row = {LVIR_LABEL, 0, 0, 0};
        SendMessageW(dlg.m_list.m_hWnd, LVM_GETITEMRECT, Item(L"Gamma"), LPARAM(&row));
        SendMessageW(dlg.m_list.m_hWnd, WM_LBUTTONDBLCLK, MK_LBUTTON,
                     MAKELPARAM(row.left + 2, row.top + 2));
    }
    EXPECT_EQ(L"Alpha|Gamma|", opened);
    EXPECT_TRUE(IsWindow(dlg.m_hWnd));  // Enter did not close the window
}

TEST_F(DeviceWindows, DetailsShowEveryValue) {
    Open();
    Focus(L"Delta");
    std::wstring values;  // the value controls 1008 to 1015
    WhileModal details([&](HWND dialog) {
        for (int id = IDC_INFO_DRIVER_DLL; id <= IDC_INFO_STATUS; ++id)
            values += WindowText(GetDlgItem(dialog, id)) + L"|";
        Click(dialog, IDCANCEL);
    });
    Click(dlg.m_hWnd, IDC_DETAILS);
    EXPECT_EQ(
        L"Z:\\missing\\driver.dll|Delta||||10.15|On demand|"
        L"The device's driver module cannot be loaded.|",
        values);

    // A comment longer than its line is cut with an ellipsis and shows whole under the
    // mouse; a vendor that fits needs no tip.
    const std::wstring comment = L"Reads contact and contactless cards; " + std::wstring(80, L'x');
    ScratchRegistry::SetString(DeviceKey("Delta").c_str(), "Comment", AnsiFromWide(comment));
    ScratchRegistry::SetString(DeviceKey("Delta").c_str(), "Vendor", "Obrix");
    pxRebuildDeviceList(0);
    std::wstring tips;
    WhileModal longComment([&](HWND dialog) {
        HWND text = GetDlgItem(dialog, IDC_INFO_COMMENT);
        EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & SS_ENDELLIPSIS);
        EXPECT_TRUE(TextIsCut(text, WindowText(text)));
        // The dialog object, as the framework keeps it with its window.
        auto* shown = reinterpret_cast<CDeviceDetailsDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
        tips = shown->m_tips.GetText(text) + L"|" +
               shown->m_tips.GetText(GetDlgItem(dialog, IDC_INFO_VENDOR));
        Click(dialog, IDCANCEL);
    });
    Click(dlg.m_hWnd, IDC_DETAILS);
    EXPECT_EQ(comment + L"|", tips);
}

// The list keeps up with many devices: every one listed in order of name without regard to
// case, a click on a header sorts by that column (a second one the other way round), and the
// focused device stays focused through sorting and refilling.
TEST_F(DeviceWindows, ManyDevicesSortedByAnyColumnKeepTheFocusedOne) {
    for (int count : {1000, 100000}) {
        CDeviceListDlg window(nullptr, ManyDevices(count));
        ASSERT_TRUE(window.CreateIndirect(window.m_pTemplate, nullptr));
        CListCtrl& list = window.m_list;
        auto focused = [&] { return list.GetItemText(list.GetNextItem(-1, LVNI_FOCUSED), 0); };
        auto clickHeader = [&](int column) {
            HWND header = HWND(SendMessageW(list.m_hWnd, LVM_GETHEADER, 0, 0));
            RECT r = {};
            SendMessageW(header, HDM_GETITEMRECT, column, LPARAM(&r));
            const LPARAM middle = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, middle);
            SendMessageW(header, WM_LBUTTONUP, 0, middle);
        };
        EXPECT_EQ(count, list.GetItemCount());
        for (int n : {0, 1, count - 1}) EXPECT_EQ(ManyName(n), list.GetItemText(n, 0));
        const std::wstring middle = ManyName(count / 2 + 1);
        list.SetItemState(list.FindItem(middle), LVIS_FOCUSED | LVIS_SELECTED, 0xF);

        clickHeader(1);  // logical names, which run the other way
        EXPECT_EQ(ManyName(count - 1), list.GetItemText(0, 0)) << count;
        EXPECT_EQ(count / 2 - 2, list.GetNextItem(-1, LVNI_SELECTED));
        EXPECT_EQ(middle, focused());
        clickHeader(1);
        EXPECT_EQ(ManyName(0), list.GetItemText(0, 0)) << count;
        window.Refresh(true);
        EXPECT_EQ(count, list.GetItemCount());
        EXPECT_EQ(middle, focused());
        window.DestroyWindow();
    }
}

// The library's text for every status; a startup type outside the three the console knows
// shows as "Unknown", selects no radio in Change, and Change's OK then writes Disabled.
TEST_F(DeviceWindows, StatusTextsAndAStartupTypeTheConsoleDoesNotKnow) {
    AddDevice("Zeta", 7, kTestDriver);
    pxRebuildDeviceList(0);
    Open();
    EXPECT_EQ(L"Zeta||Unknown|Unknown|1", Rows().back());
    std::wstring shown;
    for (const wchar_t* device : {L"Alpha", L"Zeta"}) {
        Focus(device);
        WhileModal details([&](HWND dialog) {
            shown += WindowText(GetDlgItem(dialog, IDC_INFO_STARTUP)) + L"|" +
                     WindowText(GetDlgItem(dialog, IDC_INFO_STATUS)) + L"|";
            Click(dialog, IDCANCEL);
        });
        Click(dlg.m_hWnd, IDC_DETAILS);
    }
    EXPECT_EQ(L"Automatic|Working|Unknown|Not started|", shown);

    int checked = -1;
    WhileModal change([&](HWND dialog) {
        checked = 0;
        for (int id = IDC_STARTUP_AUTOMATIC; id <= IDC_STARTUP_DISABLED; ++id)
            checked += IsDlgButtonChecked(dialog, id);
        Click(dialog, IDOK);
    });
    Click(dlg.m_hWnd, IDC_CHANGE);
    EXPECT_EQ(0, checked);  // and the library was given Disabled:
    EXPECT_EQ(L"Zeta||Disabled|Unknown|1", Rows().back());
    EXPECT_TRUE(boxes.boxes.empty());
}

// A driver function the user cancelled shows nothing and restarts nothing.
TEST_F(DeviceWindows, ACancelledDriverFunctionShowsNothing) {
    Open();
    Focus(L"beta");
    ScratchRegistry::SetDword(DeviceKey("beta").c_str(), "TestResult", PX_ERR_CANCELLED);
    ScratchRegistry::SetDword(DeviceKey("beta").c_str(), "TestRestart", 1);
    Click(dlg.m_hWnd, IDC_CARD_OPERATIONS);
    EXPECT_EQ("init;cards:0;", DriverCalls("beta"));
    EXPECT_TRUE(boxes.boxes.empty());
}

// Names in three scripts show as written, whatever the system's code page (the console
// tests run under a Western one).
TEST_F(DeviceWindows, NamesInEveryScriptShowAsWritten) {
    const std::string device = "Считыватель Ωμέγα 中文";
    AddDevice(device, PX_STARTUP_DISABLED, kTestDriver, "СЧ1:");
    ScratchRegistry::SetString(DeviceKey(device).c_str(), "Vendor", "Поставщик 中文");
    pxRebuildDeviceList(0);
    Open();
    const wchar_t* name = L"Считыватель Ωμέγα 中文";
    ASSERT_GE(Item(name), 0);
    EXPECT_EQ(L"СЧ1:", dlg.m_list.GetItemText(Item(name), 1));
    Focus(name);
    std::wstring values;
    WhileModal details([&](HWND dialog) {
        for (int id : {IDC_INFO_DEVICE_NAME, IDC_INFO_LOGICAL_NAME, IDC_INFO_VENDOR})
            values += WindowText(GetDlgItem(dialog, id)) + L"|";
        Click(dialog, IDCANCEL);
    });
    Click(dlg.m_hWnd, IDC_DETAILS);
    EXPECT_EQ(std::wstring(name) + L"|СЧ1:|Поставщик 中文|", values);
}

TEST_F(DeviceWindows, ChangeChecksTheNameBeforeWritingItAndKeepsTheDeviceSelected) {
    Open();
    Focus(L"Alpha");
    std::wstring seen;  // the starting values, what typing gave, the library calls so far
    WhileModal change([&](HWND dialog) {
        HWND edit = GetDlgItem(dialog, IDC_LOGICAL_NAME_EDIT);
        seen = WindowText(GetDlgItem(dialog, IDC_PARAMS_DEVICE_NAME)) + L"|" + WindowText(edit) +
               (IsDlgButtonChecked(dialog, IDC_STARTUP_AUTOMATIC) ? L"|auto|" : L"|?|");
        SetWindowTextW(edit, L"");
        for (wchar_t c : std::wstring(L"scr9/")) SendMessageW(edit, WM_CHAR, c, 0);
        seen += WindowText(edit);
        const wchar_t* refused[] = {L"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345:", L"SCR9", L"TAKEN:"};
        for (const wchar_t* name : refused) {
            SetWindowTextW(edit, name);
            Click(dialog, IDOK);
            seen += L"|" + std::to_wstring(gChanges);
        }
        SetWindowTextW(edit, L"SCR9/");
        CheckRadioButton(dialog, IDC_STARTUP_AUTOMATIC, IDC_STARTUP_DISABLED, IDC_STARTUP_DISABLED);
        Click(dialog, IDOK);
    });
    Click(dlg.m_hWnd, IDC_CHANGE);
    EXPECT_EQ(L"Alpha|SCR1:|auto|SCR9/|0|0|1", seen);
    ASSERT_EQ(3u, boxes.boxes.size());
    EXPECT_EQ(L"Enter no more than 32 characters.", boxes.boxes[0].text);
    EXPECT_EQ(0u, boxes.boxes[1].text.find(L"The device logical name must be finished by"));
    EXPECT_EQ(0u, boxes.boxes[2].text.find(L"Entered device logical name already assigned."));
    EXPECT_EQ(UINT(MB_OK), boxes.boxes[2].flags);
    EXPECT_EQ(2, gChanges);
    EXPECT_EQ(L"Alpha", Focused());
    EXPECT_EQ(L"Alpha|SCR9/|Disabled|Success|0", Rows()[0]);  // the running device stays so
}

TEST_F(DeviceWindows, InstallAndUninstallThroughTheButtons) {
    Open();
    gChosenFile.clear();  // the chooser cancelled: nothing happens
    Click(dlg.m_hWnd, IDC_INSTALL);

    Focus(L"Gamma");
    gChosenFile = WideFromAnsi(TOLV_BIN_DIR "/sample/setup.pxf");
    for (wchar_t& c : gChosenFile) c = c == L'/' ? L'\\' : c;  // as the chooser gives it
    Click(dlg.m_hWnd, IDC_INSTALL);
    ASSERT_EQ(1u, boxes.boxes.size());  // the confirmation, answered OK
    EXPECT_NE(std::wstring::npos, boxes.boxes[0].text.find(L"Sample smart card reader 1.0"));
    EXPECT_EQ(L"SampleReader|SCR1:|On demand|Success|0", Rows()[5]);
    // The new device is selected, so that its buttons are ready.
    EXPECT_EQ(L"SampleReader", Focused());
    EXPECT_EQ(5, dlg.m_list.GetNextItem(-1, LVNI_SELECTED));
    EXPECT_EQ("DCUSO", Buttons());

    Focus(L"SampleReader");
    boxes.Answer(IDNO);
    Click(dlg.m_hWnd, IDC_UNINSTALL);
    EXPECT_EQ(6, dlg.m_list.GetItemCount());
    boxes.Answer(IDYES);
    Click(dlg.m_hWnd, IDC_UNINSTALL);
    ASSERT_EQ(3u, boxes.boxes.size());
    EXPECT_EQ(L"Are you sure you want to uninstall device SampleReader?", boxes.boxes[2].text);
    EXPECT_EQ(UINT(MB_YESNO | MB_DEFBUTTON2), boxes.boxes[2].flags);
    EXPECT_EQ(5, dlg.m_list.GetItemCount());
    EXPECT_EQ(-1, Item(L"SampleReader"));
    EXPECT_EQ(L"", Focused());
}

// Device images grow with the DPI, never past what it asks for: 16 pixels at 96 DPI, 20
// from 120, 24 from 144, 32 from 192.
TEST(DeviceImages, SizeFollowsTheDpi) {
    const int cases[][2] = {{72, 16},  {119, 16}, {120, 20}, {143, 20},
                            {144, 24}, {191, 24}, {192, 32}, {400, 32}};
    for (const auto& c : cases) EXPECT_EQ(c[1], DeviceImagesFor(c[0]).pixels) << c[0];
}

// The Russian templates have the English ones' controls, with the same ids in the same
// order: the window code finds every control it drives in either language.
TEST(DeviceTemplates, RussianHasTheEnglishControls) {
    for (UINT id : {IDD_MAIN, IDD_DETAILS, IDD_PARAMETERS}) {
        std::vector<int> controls[2];
        for (int language = 0; language < 2; ++language) {
            LanguageScope scope(language ? "rus" : "eng");
            CDialog dialog;
            ASSERT_TRUE(dialog.CreateIndirect(LoadLangDialog(id), nullptr)) << id;
            for (HWND c = GetWindow(dialog.m_hWnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                controls[language].push_back(GetDlgCtrlID(c));
        }
        EXPECT_EQ(controls[0], controls[1]) << id;
    }
}

// A box that no test answered fails the test at once, naming its text, and the test goes
// on: whether the program showed it or the system did.
TEST(UnexpectedBoxes, FailTheTestNamingTheirText) {
    EXPECT_NONFATAL_FAILURE(AfxMessageBox(L"Shown by the program"), "\"Shown by the program\"");
    EXPECT_NONFATAL_FAILURE(MessageBoxW(nullptr, L"Shown by the system", L"Test", MB_YESNO),
                            "\"Shown by the system\"");
}

}  // namespace
