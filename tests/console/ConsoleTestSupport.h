// Helpers of the window tests: a language chosen through a scratch registry, and a
// window's text.
#pragma once

#include <windows.h>

#include "app/Language.h"
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

inline std::wstring WindowText(HWND window) {
    wchar_t text[8192] = {};
    GetWindowTextW(window, text, 8192);
    return text;
}

}  // namespace console_test
