// A reader driver module with none of the optional driver exports: loading it is the whole
// start, and it has neither a setup nor a card-operations function.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
