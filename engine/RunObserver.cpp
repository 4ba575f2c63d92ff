#include "engine/RunObserver.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

CRunObserver* g_runObserver = nullptr;

void RunNote(const char* format, ...) {
    if (!g_runObserver) return;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length >= 0) {
        std::vector<char> text(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        g_runObserver->Note(text.data());
    }
    va_end(again);
}
