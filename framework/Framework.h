// A small application framework in the manner of the classic Windows class library:
// only the pieces Tolvarin uses, under the names it expects.
#pragma once

#include <windows.h>

#include <string>

class CWnd {
public:
    virtual ~CWnd() = default;
    HWND GetSafeHwnd() const { return m_hWnd; }
    // Destroys the window, if there is one; TRUE when it was destroyed.
    virtual BOOL DestroyWindow();

    // The window that should own a popup opened for parent: parent, or with none the
    // application's main window, lifted out of child windows to the top-level one; with
    // no parent given, that window's last active popup. Null when there is none.
    static HWND GetSafeOwner(CWnd* parent = nullptr);

    HWND m_hWnd = nullptr;
};

// The application object. WinMain runs InitInstance; when it returns FALSE no message
// loop runs and ExitInstance's result becomes the process exit code.
class CWinApp {
public:
    // appName null: the executable's base name is taken, as the framework always did.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }
    // Runs one application: the body of WinMain.
    int Run(HINSTANCE instance, const char* commandLine);

    const char* m_pszAppName = nullptr;
    char* m_lpCmdLine = nullptr;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

private:
    std::string m_appName;
    std::string m_cmdLine;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// Every message box of the program goes through one replaceable function, so that tests
// can answer boxes and record their text and flags. The hook gets the final text and
// flags and returns the button id (IDOK, IDYES, ...). A null hook restores the real box.
using MessageBoxHook = int (*)(const std::wstring& text, UINT flags);
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows text in a message box captioned with the application name.
int AfxMessageBox(const std::wstring& text, UINT flags = MB_OK);
// Shows a string of the program's own table, without any language offset.
int AfxMessageBox(UINT stringId, UINT flags = MB_OK);

// Text conversions between the narrow texts of scripts and the Device library (system
// code page) and the wide texts of the user interface.
std::wstring WideFromAnsi(const std::string& text);
std::string AnsiFromWide(const std::wstring& text);

// Prepares common controls once; the modern form of the old 3-D controls switch.
void Enable3dControls();
