// The program's entry point: one static application object does all the work.
#include "app/ManagerApp.h"

namespace {
CManagerApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    return theApp.Run(instance, commandLine);
}
