// Opens every window of the device console in turn, for scripts/screenshots:
//   screenshot_tour.exe <eng|rus> <folder>
// For each shot it writes <folder>\<shot>.ready holding the window's screen rectangle
// ("x y width height"), waits until the script has taken the picture and deleted the file,
// and goes on. The devices, in every startup type and status, live in a scratch copy of
// HKEY_LOCAL_MACHINE, so the machine's own settings are neither read nor changed. Their
// drivers lie under Program Files and the installation files in the user's Downloads, as on
// a user's machine; the sample device is installed through the Install button, with its
// question and progress window, and uninstalled again at the end.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <set>
#include <string>

#include "app/ManagerApp.h"
#include "console/DeviceListDlg.h"
#include "console/InstallDialogHost.h"
#include "install/DeviceActions.h"
#include "language/Language.h"
#include "resources/resource.h"

namespace {

std::string gFolder;
// What to do with each modal window, in the order they open.
std::deque<std::function<void(HWND)>> gActions;
std::set<HWND> gHandled;
// What to do once the thread is idle again, after a modal window has closed.
std::function<void()> gNext;
HWND gChange = nullptr;

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Waits, serving the windows, until the script has taken the shot. The window is made the
// active one first, so that its caption is drawn as a user sees it.
void Snap(HWND window, const char* shot) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    // Without a window manager the X server may keep its focus elsewhere, and the caption
    // would be drawn inactive even so: it is drawn active all the same.
    SendMessageW(window, WM_NCACTIVATE, TRUE, 0);
    UpdateWindow(window);
    Pump();
    Sleep(300);
    RECT rect;
    GetWindowRect(window, &rect);
    std::string ready = gFolder + "\\" + shot + ".ready";
    if (FILE* file = std::fopen(ready.c_str(), "w")) {
        std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top);
        std::fclose(file);
    }
    for (int waited = 0; GetFileAttributesA(ready.c_str()) != INVALID_FILE_ATTRIBUTES; ++waited) {
        if (waited > 1200) ExitProcess(3);  // a minute without the script: give up
        Pump();
        Sleep(50);
    }
}

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}

BOOL CALLBACK FindNew(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0 && !gHandled.count(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Runs the next action on each modal window as it appears; nested loops tick here too.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND window = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindNew, LPARAM(&window));
    if (!window && gNext) {
        auto next = std::move(gNext);
        gNext = nullptr;
        next();
    }
    if (!window || gActions.empty()) return;
    gHandled.insert(window);
    auto action = std::move(gActions.front());
    gActions.pop_front();
    action(window);
}

// The file name field of the file chooser: its combo box in the Explorer style, its edit
// in the older one.
constexpr int kChooserNameCombo = 0x47c;
constexpr int kChooserNameEdit = 0x480;

void Choose(HWND chooser, const std::string& path) {
    const std::wstring wide(path.begin(), path.end());
    SetDlgItemTextW(chooser, kChooserNameCombo, wide.c_str());
    SetDlgItemTextW(chooser, kChooserNameEdit, wide.c_str());
    Press(chooser, IDOK);
}

// The program's own host, which also takes the progress window's picture once, half-way.
class TourHost : public CInstallDialogHost {
public:
    void ShowProgress() override {
        CInstallDialogHost::ShowProgress();
        gHandled.insert(GetProgressDlg().m_hWnd);  // not a modal window for the actions
    }
    void ProgressStep(int pos) override {
        CInstallDialogHost::ProgressStep(pos);
        if (pos == kSnapStep && !taken) {
            taken = true;
            Snap(GetProgressDlg().m_hWnd, "progress");
        }
    }

    static inline bool taken = false;
    static constexpr int kSnapStep = 2;
};

std::unique_ptr<CInstallHost> MakeTourHost() {
    return std::make_unique<TourHost>();
}

void Key(const std::string& device, const char* name, const std::string& text) {
    std::string key = "Software\\Obrix\\Plixa\\Devices\\" + device;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, text.c_str(),
                    DWORD(text.size() + 1));
}
void Key(const std::string& device, const char* name, DWORD value) {
    std::string key = "Software\\Obrix\\Plixa\\Devices\\" + device;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_DWORD, &value, sizeof value);
}

std::string Environment(const char* name) {
    char value[MAX_PATH * 3] = {};
    ExpandEnvironmentStringsA(name, value, sizeof value);
    return value;
}

void MakeFolder(const std::string& folder) {
    for (size_t at = folder.find('\\', 3);; at = folder.find('\\', at + 1)) {
        CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
        if (at == std::string::npos) break;
    }
}

// Copies file to folder\name, making the folder and its parents.
void Place(const std::string& file, const std::string& folder, const std::string& name) {
    MakeFolder(folder);
    CopyFileA(file.c_str(), (folder + "\\" + name).c_str(), FALSE);
}

void WriteText(const std::string& path, const char* text) {
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fputs(text, file);
        std::fclose(file);
    }
}

// A vendor's update whose driver file is missing from its folder: its installation fails.
constexpr char kFailingSetup[] =
    ";OBRIX_INST_FILE\r\n"
    "proc Identify\r\n"
    "    set $INST_TYPE, \"OBX_PLIXA_DRIVER\"\r\n"
    "    set $DEVNAME, \"Pico Pinpad 2\"\r\n"
    "    set $INST_NAME, \"Pico Pinpad 2.0\"\r\n"
    "endp\r\n"
    "proc Install\r\n"
    "    set $onErrorProc, \"Failed\"\r\n"
    "    progress_show 2, \"Installing Pico Pinpad 2.0\"\r\n"
    "    progress_title \"Copying the driver\"\r\n"
    "    copy \"pinpad2.dll\", \"C:\\Program Files\\Pico\\\"\r\n"
    "    progress_step 2\r\n"
    "endp\r\n"
    "proc Failed\r\n"
    "    error \"Setup failed (error #$1#): #$2#\", a\r\n"
    "endp\r\n";

// The devices of the main window, one in each startup type and status, with their drivers
// where a vendor's setup puts them; the Lyra driver is missing, so that device fails.
void AddDevices(const std::string& sampleDriver, const std::string& programs) {
    const struct {
        const char* name;
        const char* logical;
        DWORD startup;
        const char* folder;
        const char* file;
    } devices[] = {
        {"Kestrel USB", "SCR2:", 1, "\\Kestrel\\Readers", "kestrel.dll"},
        {"Lyra Serial", "COM3:", 1, "\\Lyra", "lyra.dll"},
        {"Pico Pinpad", "", 2, "\\Pico", "pinpad.dll"},
    };
    for (const auto& d : devices) {
        const std::string folder = programs + d.folder;
        if (std::string(d.name) != "Lyra Serial") Place(sampleDriver, folder, d.file);
        Key(d.name, "LogicalName", d.logical);
        Key(d.name, "Startup", d.startup);
        Key(d.name, "Version", 0x0102);
        Key(d.name, "Vendor", "Obrix sample devices");
        Key(d.name, "Comment", "A simulated reader");
        Key(d.name, "DriverDll", folder + "\\" + d.file);
    }
}

using Action = std::function<void(HWND)>;
bool gMissed = false;

// Presses a button of the main window; each window it opens gets the next action. The
// button's work is done when it returns, so an action left over is a window that never came.
void Command(CDeviceListDlg& main, int id, std::deque<Action> actions) {
    gActions = std::move(actions);
    SendMessageW(main.m_hWnd, WM_COMMAND, id, 0);
    if (!gActions.empty()) {
        std::fprintf(stderr, "screenshot_tour: command %d left %u windows unseen\n", id,
                     unsigned(gActions.size()));
        gMissed = true;
    }
}

void Select(CDeviceListDlg& main, const wchar_t* device) {
    const UINT state = LVIS_FOCUSED | LVIS_SELECTED;
    main.m_list.SetItemState(main.m_list.FindItem(device), state, state);
    SetFocus(main.m_list.m_hWnd);
}

void Tour(CDeviceListDlg& main, const std::string& sampleSetup, const std::string& failingSetup) {
    Select(main, L"Kestrel USB");
    SetTimer(nullptr, 0, 100, &Tick);
    Snap(main.m_hWnd, "main-window");

    Command(main, IDC_DETAILS, {[](HWND details) {
                Snap(details, "details");
                Press(details, IDCANCEL);
            }});

    // Change parameters, then its two refusals.
    Command(main, IDC_CHANGE,
            {[](HWND change) {
                 gChange = change;
                 Snap(change, "change-parameters");
                 SetDlgItemTextW(change, IDC_LOGICAL_NAME_EDIT, L"SCR9");
                 Press(change, IDOK);
             },
             [](HWND box) {
                 Snap(box, "change-error-end");
                 Press(box, IDOK);
                 gNext = [] {
                     SetDlgItemTextW(gChange, IDC_LOGICAL_NAME_EDIT, L"COM3:");
                     Press(gChange, IDOK);
                 };
             },
             [](HWND box) {
                 Snap(box, "change-error-taken");
                 Press(box, IDOK);
                 gNext = [] { Press(gChange, IDCANCEL); };
             }});

    // The sample, from the chooser through the question and the progress window.
    Command(main, IDC_INSTALL,
            {[sampleSetup](HWND chooser) {
                 Snap(chooser, "install-chooser");
                 Choose(chooser, sampleSetup);
             },
             [](HWND box) {
                 Snap(box, "install-question");
                 Press(box, IDOK);
             }});
    Snap(main.m_hWnd, "main-window-installed");

    // The same file again, and an update whose installation fails and is taken back.
    Command(main, IDC_INSTALL,
            {[sampleSetup](HWND chooser) { Choose(chooser, sampleSetup); },
             [](HWND box) {
                 Snap(box, "install-error-installed");
                 Press(box, IDOK);
             }});
    Command(main, IDC_INSTALL,
            {[failingSetup](HWND chooser) { Choose(chooser, failingSetup); },
             [](HWND box) { Press(box, IDOK); },
             [](HWND box) {
                 Snap(box, "install-failed");
                 Press(box, IDOK);
             },
             [](HWND box) {
                 Snap(box, "install-aborted");
                 Press(box, IDOK);
             }});

    // The sample goes again, through the question that a user answers Yes.
    Select(main, L"SampleReader");
    Command(main, IDC_UNINSTALL, {[](HWND box) {
                Snap(box, "uninstall-question");
                Press(box, IDYES);
            }});
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc < 3) return 2;
    const std::string language = __argv[1];
    gFolder = __argv[2];
    char self[MAX_PATH * 3] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string sample =
        std::string(self).substr(0, std::string(self).find_last_of('\\')) + "\\sample\\";

    // What a user has downloaded: the sample's installation files, and a broken update.
    const std::string downloads = Environment("%USERPROFILE%\\Downloads");
    const std::string sampleFolder = downloads + "\\SampleReader";
    Place(sample + "setup.pxf", sampleFolder, "setup.pxf");
    Place(sample + "SampleReader.dll", sampleFolder, "SampleReader.dll");
    const std::string updateFolder = downloads + "\\PinpadUpdate";
    MakeFolder(updateFolder);
    WriteText(updateFolder + "\\setup.pxf", kFailingSetup);
    // The chooser opens in the current folder when it remembers none from an earlier tour.
    SetCurrentDirectoryA(sampleFolder.c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER,
                   "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32");

    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TolvarinScreenshots");
    HKEY scratch = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\TolvarinScreenshots", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &scratch, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Obrix", "Language", REG_SZ, language.c_str(),
                    DWORD(language.size() + 1));
    AddDevices(sample + "SampleReader.dll", Environment("%ProgramFiles%"));

    CManagerApp app;
    app.m_hInstance = instance;
    app.m_pszAppName = "tolvarin";  // message boxes are captioned as the program's own
    SetWindowHostMaker(MakeTourHost);
    Enable3dControls();
    InitLanguage(instance, "Brassolin", "");
    pxInitLibrary(0);
    int exitCode = 0;
    {
        CDeviceListDlg main;
        main.CreateIndirect(main.m_pTemplate, nullptr);
        app.m_pMainWnd = &main;
        gHandled.insert(main.m_hWnd);
        ShowWindow(main.m_hWnd, SW_SHOW);
        Tour(main, sampleFolder + "\\setup.pxf", updateFolder + "\\setup.pxf");
        // Every window came, the progress window included.
        if (gMissed || !TourHost::taken) exitCode = 4;
        app.m_pMainWnd = nullptr;
    }
    pxDoneLibrary();
    FreeLanguage();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(scratch);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TolvarinScreenshots");
    return exitCode;
}
