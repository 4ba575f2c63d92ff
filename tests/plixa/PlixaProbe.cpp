// A second process for the Device library's exclusive-mode tests: "plixa_probe FLAGS [EVENT]"
// opens the library, exits with pxInitLibrary's result or, given EVENT, sets EVENT.ready and
// waits (up to a minute) to be terminated.
#include "plixa/Plixa.h"

#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    unsigned flags = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 0));
    int result = pxInitLibrary(flags);
    if (argc > 2 && result == 0) {
        std::string ready = std::string(argv[2]) + ".ready";
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready.c_str());
        if (event) {
            SetEvent(event);
            CloseHandle(event);
        }
        Sleep(60000);
    }
    pxDoneLibrary();
    return result;
}
