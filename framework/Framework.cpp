#include "framework/Framework.h"

#include <commctrl.h>

namespace {

CWinApp* gApp = nullptr;
MessageBoxHook gMessageBoxHook = nullptr;

std::string ExecutableBaseName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
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
