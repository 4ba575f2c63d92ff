// A small application framework in the manner of the classic Windows class library:
// only the pieces Tolvarin uses, under the names it expects.
#pragma once

#include <windows.h>

#include <string>

#include "framework/FrameworkIds.h"

// Sent to a window to ask for its help context: it opens its help itself and returns TRUE,
// or returns FALSE when it has none.
constexpr UINT WM_COMMANDHELP = 0x0365;

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
    // The window's help id; its help context is HID_BASE_RESOURCE + this id.
    UINT m_nIDHelp = 0;
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

    // The application's share of command routing (its message map): commands that no
    // window handled. TRUE when handled.
    virtual BOOL OnCmdMsg(UINT commandId);
    // ID_HELP: asks the window the user works in (the main window's last active popup)
    // for its help context with WM_COMMANDHELP; a window that does not answer gets the
    // help contents.
    void OnHelp();
    // HELP_CONTEXT opens the page of m_helpTopics for the context, HELP_FINDER or
    // HELP_CONTENTS the contents page; the pages are opened with the system's handler for
    // them, so there is no help window of ours to close at HELP_QUIT.
    virtual void WinHelp(DWORD_PTR data, UINT command = HELP_CONTEXT);

    const char* m_pszAppName = nullptr;
    char* m_lpCmdLine = nullptr;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

    // Help: the folder of the pages, the contents page and a page for each context.
    struct HelpTopic {
        DWORD_PTR context;
        const wchar_t* page;
    };
    std::wstring m_helpFolder;
    const wchar_t* m_helpContents = nullptr;
    const HelpTopic* m_helpTopics = nullptr;
    size_t m_helpTopicCount = 0;

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

// Help requests pass through one replaceable function, so that tests can see them without
// a browser opening: it gets the WinHelp command and the page's full path (empty for
// HELP_QUIT) and returns whether the page was opened. Null restores the real opening.
using HelpHook = bool (*)(UINT command, const std::wstring& page);
HelpHook SetHelpHook(HelpHook hook);

// Framework texts (such as AFX_IDP_PARSE_STRING_SIZE) come through one replaceable loader,
// so that they follow the program's language; it returns an empty text for an id it lacks,
// and the framework then uses its own English text.
using StringLoader = std::wstring (*)(UINT id);
void SetStringLoader(StringLoader loader);
std::wstring AfxLoadString(UINT id);

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
