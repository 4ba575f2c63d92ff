// The main window and its dialogs as real windows over the real Device library, driven by
// window messages: the list and its buttons, Change and Uninstall.
// The main window stays hidden (created modeless from its template); the dialogs it opens
// are modal and are handled from inside their own loop.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/ManagerApp.h"
#include "console/DeviceDialogs.h"
#include "console/DeviceListDlg.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/common/WhileModal.h"
#include "tests/console/ConsoleTestSupport.h"

using console_test::LanguageScope;
using console_test::WindowText;

namespace {

const std::string kTestDriver = TOLV_BIN_DIR "/plixa_testdriver.dll";
const std::string kBareDriver = TOLV_BIN_DIR "/plixa_bare_driver.dll";

std::string Key(const std::string& device) {
    return "Software\\Obrix\\Plixa\\Devices\\" + device;
}

void AddDevice(const std::string& name, DWORD startup, const std::string& driver,
               const std::string& logical = "") {
    ScratchRegistry::SetString(Key(name).c_str(), "DriverDll", driver);
    ScratchRegistry::SetString(Key(name).c_str(), "LogicalName", logical);
    ScratchRegistry::SetDword(Key(name).c_str(), "Startup", startup);
}

// The library, with one device whose record cannot be read, and counted calls.
std::string gUnreadable;
int gChanges = 0;
int __stdcall ReadDevice(int index, DeviceInfo* info) {
    int result = pxGetDeviceInfo(index, info);
    return result == 0 && gUnreadable == info->deviceName ? PX_ERR_REGISTRY : result;
}
int __stdcall Change(const char* name, int type, const char* logical) {
    ++gChanges;
    return pxChangeDeviceSettings(name, type, logical);
}
const DeviceApi& TestApi() {
    static DeviceApi api = [] {
        DeviceApi a = LibraryDeviceApi();
        a.getDeviceInfo = ReadDevice;
        a.changeDeviceSettings = Change;
        return a;
    }();
    return api;
}

std::wstring gHelp;  // the pages opened, each followed by "|"
bool RecordHelp(UINT, const std::wstring& page) {
    gHelp += page.substr(page.find_last_of(L"\\/") + 1) + L"|";
    return true;
}

class DeviceWindows : public testing::Test {
protected:
    DeviceWindows() {
        gUnreadable.clear();
        gChanges = 0;
        gHelp.clear();
        SetHelpHook(&RecordHelp);
        AddDevice("Alpha", PX_STARTUP_AUTOMATIC, kTestDriver, "SCR1:");
        AddDevice("beta", PX_STARTUP_ON_DEMAND, kTestDriver, "taken:");
        AddDevice("Gamma", PX_STARTUP_DISABLED, kTestDriver);
        AddDevice("Delta", PX_STARTUP_ON_DEMAND, "Z:\\missing\\driver.dll");
        AddDevice("Epsilon", PX_STARTUP_AUTOMATIC, kBareDriver);
        EXPECT_EQ(0, pxInitLibrary(0));
    }
    ~DeviceWindows() override {
        app.m_pMainWnd = nullptr;
        dlg.DestroyWindow();
        pxDoneLibrary();
        SetHelpHook(nullptr);
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
    std::string DriverCalls(const char* device) {
        char calls[512] = {};
        DWORD size = sizeof calls;
        RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\TolvarinTests\\DriverCalls", device,
                     RRF_RT_REG_SZ, nullptr, calls, &size);
        return calls;
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
}

TEST_F(DeviceWindows, ButtonsFollowTheFocusedDeviceAndADriverRestartKeepsIt) {
    Open();
    EXPECT_EQ("-----", Buttons());  // no focused item
    // A driver with both functions; the same driver, but Disabled; no driver module.
    const wchar_t* devices[] = {L"Alpha", L"Gamma", L"Delta", L"Alpha"};
    const char* expected[] = {"DCUSO", "DCU--", "DCU--", "DCUSO"};
    for (int i = 0; i < 4; ++i) {
        Focus(devices[i]);
        EXPECT_EQ(expected[i], Buttons()) << i;
    }
    Focus(L"beta");

    // A driver function that asks for a restart: the device restarts, the list is refilled
    // with the same device focused, and Help comes back.
    ScratchRegistry::SetDword(Key("beta").c_str(), "TestRestart", 1);
    Click(dlg.m_hWnd, IDC_SETUP_DRIVER);
    EXPECT_EQ("init;setup:0;shutdown;init;", DriverCalls("beta"));
    EXPECT_EQ(L"beta", Focused());
    EXPECT_TRUE(Enabled(ID_HELP));
    ScratchRegistry::SetDword(Key("beta").c_str(), "TestResult", 7);
    Click(dlg.m_hWnd, IDC_CARD_OPERATIONS);
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(L"The device's driver reported an error.", boxes.boxes[0].text);

    // Help for this window, and its release when the window goes.
    Click(dlg.m_hWnd, ID_HELP);
    dlg.DestroyWindow();
    EXPECT_EQ(L"main-window.html||", gHelp);
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

TEST_F(DeviceWindows, UninstallAsksFirstWithNoAsTheDefault) {
    AddDevice("Plain", PX_STARTUP_DISABLED, "");  // no driver module to delete
    pxRebuildDeviceList(0);
    Open();
    Focus(L"Plain");
    boxes.Answer(IDNO);
    Click(dlg.m_hWnd, IDC_UNINSTALL);
    EXPECT_EQ(6, dlg.m_list.GetItemCount());
    boxes.Answer(IDYES);
    Click(dlg.m_hWnd, IDC_UNINSTALL);
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(L"Are you sure you want to uninstall device Plain?", boxes.boxes[1].text);
    EXPECT_EQ(UINT(MB_YESNO | MB_DEFBUTTON2), boxes.boxes[1].flags);
    EXPECT_EQ(5, dlg.m_list.GetItemCount());
    EXPECT_EQ(-1, Item(L"Plain"));
    EXPECT_EQ(L"", Focused());
}

// The templates of both languages: the same controls in the same order, every text
// translated (but the program's name and OK), and no text left empty in one language that
// the other has. The string tables define the same ids in both languages.
TEST(DeviceTemplates, RussianHasTheEnglishControlsTranslated) {
    for (UINT id : {IDD_MAIN, IDD_DETAILS, IDD_PARAMETERS, IDD_PROGRESS}) {
        std::vector<std::pair<int, std::wstring>> controls[2];
        for (int language = 0; language < 2; ++language) {
            LanguageScope scope(language ? "rus" : "eng");
            CDialog dialog;
            ASSERT_TRUE(dialog.CreateIndirect(LoadLangDialog(id), nullptr)) << id;
            controls[language].emplace_back(0, WindowText(dialog.m_hWnd));
            for (HWND c = GetWindow(dialog.m_hWnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                controls[language].emplace_back(GetDlgCtrlID(c), WindowText(c));
        }
        ASSERT_EQ(controls[0].size(), controls[1].size()) << id;
        for (size_t i = 0; i < controls[0].size(); ++i) {
            const auto& [english, russian] = std::tie(controls[0][i], controls[1][i]);
            EXPECT_EQ(english.first, russian.first) << id << " control " << i;
            EXPECT_EQ(english.second.empty(), russian.second.empty()) << id << " " << i;
            if (english.second.size() > 2 && english.second != L"OK" &&
                english.second != L"Tolvarin") {
                EXPECT_NE(english.second, russian.second) << id << " " << i;
            }
        }
    }
    wchar_t text[1024];
    for (UINT id = 1; id < 1000; ++id) {
        const bool english = LoadStringW(GetModuleHandleW(nullptr), id, text, 1024) > 0;
        EXPECT_EQ(english, LoadStringW(GetModuleHandleW(nullptr), id + 1000, text, 1024) > 0) << id;
    }
}

}  // namespace
