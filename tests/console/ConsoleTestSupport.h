// Helpers of the window tests: a language chosen through a scratch registry, an owner
// window standing in for the main window, and a window's text.
#pragma once

#include <windows.h>

#include "language/Language.h"
#include "framework/Framework.h"
#include "resources/resource.h"
#include "tests/common/ScratchRegistry.h"

namespace console_test {

// Selects a language ("eng" or "rus") from the program's own table for the object's life.
class LanguageScope {
public:
    explicit LanguageScope(const char* code) {
        ScratchRegistry::SetString("SOFTWARE\\Obrix", "Language", code);
        InitLanguage(GetModuleHandleW(nullptr), "Brassolin", "");
    }
    ~LanguageScope() { FreeLanguage(); }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

private:
    ScratchRegistry registry_;
};

// A top-level window standing in for the main window. It stays hidden: under Xvfb without
// a window manager, Wine spends two seconds on every hiding of a shown top-level window.
class OwnerWindow : public CWnd {
public:
    OwnerWindow() {
        m_hWnd = CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200,
                                 nullptr, nullptr, nullptr, nullptr);
    }
    ~OwnerWindow() override { DestroyWindow(); }
    bool Enabled() const { return IsWindowEnabled(m_hWnd) != FALSE; }
};

inline std::wstring WindowText(HWND window) {
    wchar_t text[8192] = {};
    GetWindowTextW(window, text, 8192);
    return text;
}

}  // namespace console_test
