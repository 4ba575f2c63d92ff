#include "app/ManagerApp.h"

#include "app/LangDialog.h"
#include "app/Language.h"
#include "resources/resource.h"

#include <cstdlib>

namespace {

constexpr char kLanguageBaseName[] = "Brassolin";
int gExitCode = 0;

// Drive and directory of the application name; empty for the default bare name.
std::string ProgramDirectory(const char* appName) {
    char drive[_MAX_DRIVE] = {};
    char directory[_MAX_DIR] = {};
    _splitpath(appName ? appName : "", drive, directory, nullptr, nullptr);
    return std::string(drive) + directory;
}

}  // namespace

BOOL CManagerApp::InitInstance() {
    gExitCode = 0;
    std::string programDirectory = ProgramDirectory(m_pszAppName);
    if (!InitLanguage(m_hInstance, kLanguageBaseName, programDirectory.c_str())) {
        AfxMessageBox(IDS_LANG_INIT_FAILED, MB_OK);
        return FALSE;
    }
    Enable3dControls();

    int result = pxInitLibrary(kExclusiveMode);
    if (result == kLibraryInUse) {
        AfxMessageBox(LangString(IDS_LIBRARY_IN_USE), MB_ICONHAND);
        pxDoneLibrary();
        return FALSE;
    }
    if (result != 0) {
        ReportError(result);
        pxDoneLibrary();
        return FALSE;
    }

    if (m_lpCmdLine && *m_lpCmdLine) {
        gExitCode = RunCommandLine(m_lpCmdLine);
    } else {
        // The device list window; its dialog class takes this place when it is built.
        CLangDialog mainWindow(IDD_MAIN, nullptr);
        m_pMainWnd = &mainWindow;
        mainWindow.DoModal();
        m_pMainWnd = nullptr;
    }

    pxDoneLibrary();
    FreeLanguage();
    return FALSE;
}

int CManagerApp::ExitInstance() {
    int base = CWinApp::ExitInstance();
    return gExitCode != 0 ? gExitCode : base;
}

int ProcessExitCode() {
    return gExitCode;
}
