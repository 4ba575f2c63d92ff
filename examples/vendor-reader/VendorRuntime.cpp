// The vendor's shared runtime: a DLL that several of its products install into one shared
// folder. Its only export tells which runtime version is present.
#include <windows.h>

extern "C" __declspec(dllexport) int vrRuntimeVersion() {
    return 0x0203;
}
