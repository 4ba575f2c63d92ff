// Opens every window of the device console in turn, for scripts/screenshots:
//   screenshot_tour.exe <eng|rus> <folder>
// For each shot it writes <folder>\<shot>.ready holding the window's screen rectangle
// ("x y width height"), waits until the script has taken the picture and deleted the file,
// and goes on. The devices, in every startup type and status, live in a scratch copy of
// HKEY_LOCAL_MACHINE, so the machine's own settings are neither read nor changed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <set>
#include <string>

#include "language/Language.h"
#include "app/ManagerApp.h"
#include "console/DeviceListDlg.h"
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

// Waits, serving the windows, until the script has taken the shot.
void Snap(HWND window, const char* shot) {
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

void Key(const std::string& device, const char* name, const std::string& text) {
    std::string key = "Software\\Obrix\\Plixa\\Devices\\" + device;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, text.c_str(),
                    DWORD(text.size() + 1));
}
void Key(const std::string& device, const char* name, DWORD value) {
    std::string key = "Software\\Obrix\\Plixa\\Devices\\" + device;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_DWORD, &value, sizeof value);
}

void AddDevices(const std::string& driver) {
    const struct {
        const char* name;
        const char* logical;
        DWORD startup;
        bool driver;
    } devices[] = {
        {"SampleReader", "SCR1:", 0, true},
        {"Kestrel USB", "SCR2:", 1, true},
        {"Lyra Serial", "COM3:", 1, false},
        {"Pico Pinpad", "", 2, true},
    };
    for (const auto& d : devices) {
        Key(d.name, "LogicalName", d.logical);
        Key(d.name, "Startup", d.startup);
        Key(d.name, "Version", 0x0102);
        Key(d.name, "Vendor", "Obrix sample devices");
        Key(d.name, "Comment", "A simulated reader");
        Key(d.name, "DriverDll", d.driver ? driver : "C:\\Drivers\\lyra.dll");
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc < 3) return 2;
    const std::string language = __argv[1];
    gFolder = __argv[2];
    char self[MAX_PATH * 3] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string driver = self;
    driver = driver.substr(0, driver.find_last_of('\\')) + "\\sample\\SampleReader.dll";

    HKEY scratch = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\TolvarinScreenshots", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &scratch, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Obrix", "Language", REG_SZ, language.c_str(),
                    DWORD(language.size() + 1));
    AddDevices(driver);

    CManagerApp app;
    app.m_hInstance = instance;
    app.m_pszAppName = "tolvarin";  // message boxes are captioned as the program's own
    Enable3dControls();
    InitLanguage(instance, "Brassolin", "");
    pxInitLibrary(0);
    {
        CDeviceListDlg main;
        main.CreateIndirect(main.m_pTemplate, nullptr);
        app.m_pMainWnd = &main;
        gHandled.insert(main.m_hWnd);
        SetWindowPos(main.m_hWnd, nullptr, 30, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(main.m_hWnd, SW_SHOW);
        const UINT state = LVIS_FOCUSED | LVIS_SELECTED;
        main.m_list.SetItemState(main.m_list.FindItem(L"Kestrel USB"), state, state);
        SetFocus(main.m_list.m_hWnd);
        SetTimer(nullptr, 0, 100, &Tick);
        Snap(main.m_hWnd, "main-window");

        gActions = {[](HWND details) {
            Snap(details, "details");
            Press(details, IDCANCEL);
        }};
        SendMessageW(main.m_hWnd, WM_COMMAND, IDC_DETAILS, 0);

        // Change parameters, then its two refusals.
        gActions = {[](HWND change) {
                        gChange = change;
                        Snap(change, "change-parameters");
                        SetDlgItemTextW(change, IDC_LOGICAL_NAME_EDIT, L"SCR9");
                        Press(change, IDOK);
                    },
                    [](HWND box) {
                        Snap(box, "change-error-end");
                        Press(box, IDOK);
                        gNext = [] {
                            SetDlgItemTextW(gChange, IDC_LOGICAL_NAME_EDIT, L"SCR1:");
                            Press(gChange, IDOK);
                        };
                    },
                    [](HWND box) {
                        Snap(box, "change-error-taken");
                        Press(box, IDOK);
                        gNext = [] { Press(gChange, IDCANCEL); };
                    }};
        SendMessageW(main.m_hWnd, WM_COMMAND, IDC_CHANGE, 0);

        gActions = {[](HWND chooser) {
            Snap(chooser, "install-chooser");
            PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
        }};
        SendMessageW(main.m_hWnd, WM_COMMAND, IDC_INSTALL, 0);

        gActions = {[](HWND box) {
            Snap(box, "uninstall-question");
            Press(box, IDNO);
        }};
        SendMessageW(main.m_hWnd, WM_COMMAND, IDC_UNINSTALL, 0);
        app.m_pMainWnd = nullptr;
    }
    pxDoneLibrary();
    FreeLanguage();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\TolvarinScreenshots");
    return 0;
}
