// How long the main window takes to fill its list: 100 devices (the figure that matters)
// and 1,000, read from the real Device library. Disabled devices show the window's own
// cost; On demand devices whose driver cannot load add the library's attempt to start each
// of them to the first fill (a refill does not try again). Run under Xvfb:
//   xvfb-run -a scripts/wine-run build/bin/console_bench.exe
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Language.h"
#include "app/ManagerApp.h"
#include "console/DeviceListDlg.h"

namespace {

constexpr char kScratch[] = "Software\\TolvarinConsoleBench";

void AddDevices(int count, DWORD startup) {
    for (int i = 0; i < count; ++i) {
        std::string key = "Software\\Obrix\\Plixa\\Devices\\Reader " + std::to_string(i);
        std::string logical = "SCR" + std::to_string(i) + ":";
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "LogicalName", REG_SZ, logical.c_str(),
                        DWORD(logical.size() + 1));
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "DriverDll", REG_SZ, "C:\\none.dll", 12);
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Startup", REG_DWORD, &startup, 4);
    }
}

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Opens the window (window and first fill) three times, then refills it ten times; prints
// the best and median of each (0 devices: the window alone). The very first window of the
// process also pays for the system's one-time set-up of its classes and fonts.
void Measure(int devices, DWORD startup) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Obrix\\Plixa");
    AddDevices(devices, startup);
    pxInitLibrary(0);
    std::vector<double> opens;
    std::vector<double> refills;
    int items = 0;
    for (int open = 0; open < 3; ++open) {
        CDeviceListDlg window;
        auto start = std::chrono::steady_clock::now();
        window.CreateIndirect(window.m_pTemplate, nullptr);
        opens.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
        for (int run = 0; open == 2 && run < 10; ++run) {
            start = std::chrono::steady_clock::now();
            window.Refresh(true);
            refills.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
        }
        items = window.m_list.GetItemCount();
        window.DestroyWindow();
    }
    pxDoneLibrary();
    std::sort(refills.begin(), refills.end());
    std::printf(
        "%5d %-9s devices (%d listed): opened and filled in %7.1f ms (first), "
        "%7.1f ms (best); refilled in %7.1f ms (best), %7.1f ms (median)\n",
        devices, startup == 1 ? "On demand" : "Disabled", items, opens[0],
        *std::min_element(opens.begin(), opens.end()), refills.front(),
        refills[refills.size() / 2]);
}

}  // namespace

int main() {
    HKEY scratch = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch,
                    nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Obrix", "Language", REG_SZ, "eng", 4);
    CManagerApp app;
    Enable3dControls();
    InitLanguage(GetModuleHandleW(nullptr), "Brassolin", "");
    for (int devices : {0, 100, 1000}) {
        Measure(devices, 2);
        Measure(devices, 1);
    }
    FreeLanguage();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(scratch);
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
    return 0;
}
