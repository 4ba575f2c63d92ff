// Holds the Device library in exclusive mode for another test process: it opens the
// library, signals the event named by its first argument with the result as exit code
// of its wait, and keeps the library until the event named by its second argument.
#include "plixa/Plixa.h"

#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    int result = pxInitLibrary(0x40000000);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    if (!ready || !release) return 3;
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    pxDoneLibrary();
    CloseHandle(ready);
    CloseHandle(release);
    return result;
}
