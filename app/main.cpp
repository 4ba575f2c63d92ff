// The program's entry point: one static application object does all the work.
#include "app/ManagerApp.h"

namespace {
CManagerApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // Modules loaded by name come from the system folder only, never from the current or
    // the program's folder, where a planted module would run elevated. (Looked up: older
    // systems without it keep their search order.)
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    if (auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")))) {
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    return theApp.Run(instance, commandLine);
}
