#include "framework/Framework.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

namespace {

CWinApp* gApp = nullptr;
MessageBoxHook gMessageBoxHook = nullptr;
HelpHook gHelpHook = nullptr;
StringLoader gStringLoader = nullptr;

struct FrameworkText {
    UINT id;
    const wchar_t* text;
};
const FrameworkText kFrameworkTexts[] = {
    {AFX_IDP_PARSE_STRING_SIZE, L"Enter no more than %d characters."},
};

bool OpenHelpPage(UINT command, const std::wstring& page) {
    if (gHelpHook) return gHelpHook(command, page);
    if (page.empty()) return false;
    HWND owner = CWnd::GetSafeOwner();
    return reinterpret_cast<INT_PTR>(
               ShellExecuteW(owner, L"open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

std::string ExecutableBaseName() {
    char path[MAX_PATH * 3] = {};  // UTF-8: up to three bytes a UTF-16 unit
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name = path;
    size_t slash = name.find_last_of("\\/:");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

CWinApp::CWinApp(const char* appName) {
    if (appName) m_appName = appName;
    gApp = this;
}

CWinApp::~CWinApp() {
    if (gApp == this) gApp = nullptr;
}

int CWinApp::Run(HINSTANCE instance, const char* commandLine) {
    m_hInstance = instance;
    if (m_appName.empty()) m_appName = ExecutableBaseName();
    m_pszAppName = m_appName.c_str();
    m_cmdLine = commandLine ? commandLine : "";
    m_lpCmdLine = m_cmdLine.data();
    InitInstance();
    return ExitInstance();
}

BOOL CWinApp::OnCmdMsg(UINT) {
    return FALSE;
}

void CWinApp::OnHelp() {
    HWND window = CWnd::GetSafeOwner();
    if (!window) window = GetActiveWindow();
    if (window && SendMessageW(window, WM_COMMANDHELP, 0, 0)) return;
    WinHelp(0, HELP_FINDER);
}

void CWinApp::WinHelp(DWORD_PTR data, UINT command) {
    const wchar_t* page = nullptr;
    if (command == HELP_CONTEXT) {
        for (size_t i = 0; i < m_helpTopicCount; ++i) {
            if (m_helpTopics[i].context == data) page = m_helpTopics[i].page;
        }
    }
    // A context without a page of its own, and the contents commands, show the contents.
    if (!page && command != HELP_QUIT) page = m_helpContents;
    std::wstring path;
    if (page && !m_helpFolder.empty()) path = m_helpFolder + L"\\" + page;
    OpenHelpPage(command, path);
}

HelpHook SetHelpHook(HelpHook hook) {
    HelpHook previous = gHelpHook;
    gHelpHook = hook;
    return previous;
}

void SetStringLoader(StringLoader loader) {
    gStringLoader = loader;
}

std::wstring AfxLoadString(UINT id) {
    if (gStringLoader) {
        std::wstring text = gStringLoader(id);
        if (!text.empty()) return text;
    }
    const wchar_t* text = nullptr;
    int length = LoadStringW(AfxGetInstanceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length > 0) return std::wstring(text, length);
    for (const FrameworkText& entry : kFrameworkTexts) {
        if (entry.id == id) return entry.text;
    }
    return {};
}

CWinApp* AfxGetApp() {
    return gApp;
}

HINSTANCE AfxGetInstanceHandle() {
    return gApp && gApp->m_hInstance ? gApp->m_hInstance : GetModuleHandleW(nullptr);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook previous = gMessageBoxHook;
    gMessageBoxHook = hook;
    return previous;
}

int AfxMessageBox(const std::wstring& text, UINT flags) {
    if (gMessageBoxHook) return gMessageBoxHook(text, flags);
    std::wstring caption =
        WideFromAnsi(gApp && gApp->m_pszAppName ? gApp->m_pszAppName : ExecutableBaseName());
    return MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), flags);
}

int AfxMessageBox(UINT stringId, UINT flags) {
    const wchar_t* text = nullptr;
    int length = LoadStringW(AfxGetInstanceHandle(), stringId, reinterpret_cast<LPWSTR>(&text), 0);
    return AfxMessageBox(length > 0 ? std::wstring(text, length) : std::wstring(), flags);
}

std::wstring WideFromAnsi(const std::string& text) {
    if (text.empty()) return {};
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string AnsiFromWide(const std::wstring& text) {
    if (text.empty()) return {};
    int length =
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(length, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

void Enable3dControls() {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    HWND window = m_hWnd;
    m_hWnd = nullptr;
    return ::DestroyWindow(window);
}

HWND CWnd::GetSafeOwner(CWnd* parent) {
    HWND window = parent ? parent->m_hWnd : nullptr;
    if (!parent) {
        CWinApp* app = AfxGetApp();
        window = app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : nullptr;
    }
    // A popup cannot be owned by a child window.
    while (window && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) window = GetParent(window);
    if (!parent && window) window = GetLastActivePopup(window);
    return window;
}
