// Window tests answer the message boxes they expect through MessageBoxRecorder. Any other
// box fails the test that meets it, naming its text, and is closed at once instead of
// waiting for a click: a box of the program's (AfxMessageBox) with no recorder in place is
// refused by the default hook set here; a box of the system's (MessageBox called directly)
// is found by a thread timer, which runs inside the box's own message loop. Linking this
// file into a test program is all it takes.
#include <gtest/gtest.h>

#include <windows.h>

#include "framework/Framework.h"

namespace {

// The static that holds a system message box's text.
constexpr int kBoxTextId = 0xFFFF;
constexpr UINT kWatchInterval = 250;

int RefuseBox(const std::wstring& text, UINT) {
    ADD_FAILURE() << "unexpected message box: \"" << AnsiFromWide(text) << "\"";
    return IDCANCEL;
}

// A dialog of the system rather than of the program: the program's dialogs belong to its
// own module (and their labels have the same id as the box's text).
bool IsSystemBox(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    return lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window) &&
           module != GetModuleHandleW(nullptr) && GetDlgItem(window, kBoxTextId);
}

BOOL CALLBACK CloseSystemBox(HWND window, LPARAM) {
    if (!IsSystemBox(window)) return TRUE;
    HWND text = GetDlgItem(window, kBoxTextId);
    wchar_t message[1024] = {};
    GetWindowTextW(text, message, 1024);
    ADD_FAILURE() << "unexpected message box: \"" << AnsiFromWide(message) << "\"";
    // The system's box ends on any of its buttons' ids, Cancel among them.
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void CALLBACK Watch(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), &CloseSystemBox, 0);
}

class UnexpectedBoxes : public testing::Environment {
public:
    void SetUp() override {
        SetMessageBoxHook(&RefuseBox);
        m_timer = SetTimer(nullptr, 0, kWatchInterval, &Watch);
    }
    void TearDown() override {
        KillTimer(nullptr, m_timer);
        SetMessageBoxHook(nullptr);
    }

private:
    UINT_PTR m_timer = 0;
};

testing::Environment* const gUnexpectedBoxes =
    testing::AddGlobalTestEnvironment(new UnexpectedBoxes);

}  // namespace
