#include "app/ManagerApp.h"

#include "app/DeviceActions.h"
#include "app/Language.h"
#include "console/DeviceListDlg.h"
#include "install/InstallLog.h"
#include "resources/resource.h"

#include <cstdlib>

namespace {

constexpr char kLanguageBaseName[] = "Brassolin";
int gExitCode = 0;

// Help pages, in the folder "help" beside the program: one per window, and the contents.
const CWinApp::HelpTopic kHelpTopics[] = {
    {HID_BASE_RESOURCE + IDD_MAIN, L"main-window.html"},
    {HID_BASE_RESOURCE + IDD_DETAILS, L"device-details.html"},
    {HID_BASE_RESOURCE + IDD_PARAMETERS, L"change-parameters.html"},
};

std::wstring HelpFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    folder.erase(slash == std::wstring::npos ? 0 : slash);
    return folder + L"\\help";
}

// Drive and directory of the application name; empty for the default bare name.
std::string ProgramDirectory(const char* appName) {
    char drive[_MAX_DRIVE] = {};
    char directory[_MAX_DIR] = {};
    _splitpath(appName ? appName : "", drive, directory, nullptr, nullptr);
    return std::string(drive) + directory;
}

}  // namespace

CManagerApp::CManagerApp() : CWinApp(nullptr) {
    m_helpFolder = HelpFolder();
    m_helpContents = L"index.html";
    m_helpTopics = kHelpTopics;
    m_helpTopicCount = sizeof kHelpTopics / sizeof kHelpTopics[0];
}

BOOL CManagerApp::OnCmdMsg(UINT commandId) {
    if (commandId != ID_HELP) return FALSE;
    OnHelp();
    return TRUE;
}

BOOL CManagerApp::InitInstance() {
    gExitCode = 0;
    std::string programDirectory = ProgramDirectory(m_pszAppName);
    if (!InitLanguage(m_hInstance, kLanguageBaseName, programDirectory.c_str())) {
        AfxMessageBox(IDS_LANG_INIT_FAILED, MB_OK);
        return FALSE;
    }
    Enable3dControls();
    // Help in the chosen language, when its pages are there (help\rus); else English.
    std::wstring languageHelp = m_helpFolder + L"\\" + WideFromAnsi(CurrentLanguageCode());
    DWORD attributes = GetFileAttributesW(languageHelp.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_helpFolder = languageHelp;
    }

    int result = pxInitLibrary(kExclusiveMode);
    if (result == kLibraryInUse) {
        AfxMessageBox(LangString(IDS_LIBRARY_IN_USE), MB_ICONHAND);
        gExitCode = 1;  // refused, as the command line refuses: it did nothing it was asked
        pxDoneLibrary();
        return FALSE;
    }
    if (result != 0) {
        ReportError(result);
        pxDoneLibrary();
        return FALSE;
    }

    OpenInstallLog(m_lpCmdLine);
    const bool commandLine = m_lpCmdLine && *m_lpCmdLine;
    // Only now, with the library held exclusively: no other run can be going on, and a run
    // killed earlier is taken back before anything else is done.
    RecoverInterruptedRuns(commandLine ? 0 : 1);
    if (commandLine) {
        gExitCode = RunCommandLine(m_lpCmdLine);
    } else {
        CDeviceListDlg mainWindow;
        m_pMainWnd = &mainWindow;
        mainWindow.DoModal();
        m_pMainWnd = nullptr;
    }

    CloseInstallLog(gExitCode);
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
