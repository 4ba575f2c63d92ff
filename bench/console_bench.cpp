// How long the main window takes to fill its list: 100 devices and 1,000, read from the real
// Device library; then 1,000 and 100,000 held in memory, the window's own cost (targets:
// under 50 ms and under 1 s). Disabled devices show the window's own
// cost; On demand devices whose driver cannot load add the library's attempt to start each
// of them to the first fill (a refill does not try again). Run under Xvfb:
//   xvfb-run -a scripts/wine-run build/bin/console_bench.exe
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "language/Language.h"
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

// A library of many devices held in memory, so that the window's own cost of filling shows
// for counts the registry would take minutes to hold.
std::vector<std::string> gNames;
std::vector<std::string> gLogicalNames;
int __stdcall MemoryCount() {
    return int(gNames.size());
}
int __stdcall MemoryInfo(int index, DeviceInfo* info) {
    *info = {
        gNames[size_t(index)].c_str(), gLogicalNames[size_t(index)].c_str(), "", "", "", 2, 0, -1};
    return 0;
}

// Fills the window's list from memory ten times; prints the best and median.
void MeasureInMemory(int devices) {
    gNames.clear();
    gLogicalNames.clear();
    for (int i = 0; i < devices; ++i) {
        gNames.push_back("Reader " + std::to_string(i));
        gLogicalNames.push_back("SCR" + std::to_string(i) + ":");
    }
    DeviceApi api = LibraryDeviceApi();
    api.getDeviceCount = MemoryCount;
    api.getDeviceInfo = MemoryInfo;
    CDeviceListDlg window(nullptr, api);
    window.CreateIndirect(window.m_pTemplate, nullptr);
    std::vector<double> fills;
    for (int run = 0; run < 10; ++run) {
        auto start = std::chrono::steady_clock::now();
        window.Refresh(true);
        fills.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    }
    const int items = window.m_list.GetItemCount();
    window.DestroyWindow();
    std::sort(fills.begin(), fills.end());
    std::printf("%6d devices in memory (%d listed): filled in %7.1f ms (best), %7.1f ms (median)\n",
                devices, items, fills.front(), fills[fills.size() / 2]);
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
    for (int devices : {1000, 100000}) MeasureInMemory(devices);
    FreeLanguage();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(scratch);
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
    return 0;
}
