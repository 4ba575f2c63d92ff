// Shows the progress window for a few seconds, for screenshots:
//   progress_demo.exe <eng|rus> <ready-file> [seconds]
// The language is chosen through a scratch copy of HKEY_LOCAL_MACHINE, so the machine's own
// settings are neither read nor changed. The ready file is written once the window is drawn.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/ProgressDlg.h"
#include "tests/console/ConsoleTestSupport.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 3) return 2;
    const bool russian = std::string(__argv[1]) == "rus";
    const int seconds = __argc > 3 ? std::atoi(__argv[3]) : 5;

    Enable3dControls();
    console_test::LanguageScope language(russian ? "rus" : "eng");

    CProgressDlg dlg;
    if (!dlg.Show(nullptr, 10)) return 1;
    SetWindowPos(dlg.m_hWnd, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    dlg.Update(
        russian ? L"Копирование файлов драйвера устройства..." : L"Copying device driver files...",
        4);
    UpdateWindow(dlg.m_hWnd);

    if (FILE* ready = std::fopen(__argv[2], "w")) std::fclose(ready);
    for (int tick = 0; tick < seconds * 20; ++tick) {
        dlg.TakeCancel();
        Sleep(50);
    }
    dlg.DestroyWindow();
    return 0;
}
