#include "app/ManagerApp.h"

#include "install/DeviceActions.h"
#include "language/Language.h"
#include "language/ReportError.h"
#include "console/DeviceListDlg.h"
#include "console/InstallDialogHost.h"
#include "install/InstallLog.h"
#include "platform/TextCodec.h"
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

// Drive and directory of the application name, with its last separator; empty for the
// default bare name. Split as text: a UTF-8 path may be longer than the runtime's fixed
// path buffers.
std::string ProgramDirectory(const char* appName) {
    const std::string name = appName ? appName : "";
    const size_t end = name.find_last_of("\\/:");
    return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

// A quiet run's message box: shown to nobody, answered with its default button, logged.
int QuietMessageBox(const std::wstring& text, UINT flags) {
    static const int kButtons[][3] = {
        {IDOK, 0, 0},
        {IDOK, IDCANCEL, 0},
        {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL},
        {IDYES, IDNO, 0},
        {IDRETRY, IDCANCEL, 0},
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE},
    };
    const UINT type = flags & MB_TYPEMASK;
    const UINT index = (flags & MB_DEFMASK) >> 8;
    const int* buttons = kButtons[type < 7 ? type : 0];
    const int answer = index < 3 && buttons[index] != 0 ? buttons[index] : buttons[0];
    return LogFlowMessage(L"(not shown: quiet run) " + text, answer);
}

}  // namespace

CManagerApp::CManagerApp() : CWinApp(nullptr) {
    // Installations started from here, by the main window or the command line, ask their
    // questions in message boxes and show their progress.
    SetWindowHostMaker(MakeInstallDialogHost);
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
    // Every text of this run in the process's code page: UTF-8 wherever Windows grants it.
    tolv::UseSystemTextCodec();
    const ParsedCommandLine parsed = ParseCommandLine(m_lpCmdLine);
    // A quiet run shows no window at all, from its first step on: every box is answered
    // by its default button and logged.
    MessageBoxHook previousHook = nullptr;
    if (parsed.quiet) {
        previousHook = SetMessageBoxHook(QuietMessageBox);
        SetQuietRuns(true);
    }
    OpenInstallLog(m_lpCmdLine, parsed.logFile, parsed.quiet);
    const int failed = parsed.quiet ? ERROR_INSTALL_FAILURE : 0;
    const BOOL result = Start(parsed, failed);
    CloseInstallLog(gExitCode);
    if (parsed.quiet) {
        SetMessageBoxHook(previousHook);
        SetQuietRuns(false);
    }
    return result;
}

BOOL CManagerApp::Start(const ParsedCommandLine& parsed, int failedCode) {
    std::string programDirectory = ProgramDirectory(m_pszAppName);
    if (!InitLanguage(m_hInstance, kLanguageBaseName, programDirectory.c_str())) {
        AfxMessageBox(IDS_LANG_INIT_FAILED, MB_OK);
        gExitCode = failedCode;
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
        pxDoneLibrary();
        // A refused run did nothing: it fails, as every refused command line does.
        gExitCode = parsed.quiet ? ERROR_INSTALL_ALREADY_RUNNING : 1;  // 1618
        FreeLanguage();
        return FALSE;
    }
    if (result != 0) {
        ReportError(result);
        pxDoneLibrary();
        gExitCode = failedCode;
        FreeLanguage();
        return FALSE;
    }

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
