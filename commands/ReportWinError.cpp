#include "commands/ReportWinError.h"

#include <windows.h>

#include <string>

#include "engine/RunObserver.h"
#include "engine/ScriptEngine.h"

namespace {
// The system's own text for a Windows error, without its line end ("" when it has none).
std::string WindowsErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message(text ? text : "", text ? length : 0);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}
}  // namespace

int ReportWinError(CScriptEngine& engine, const char* text) {
    const DWORD error = GetLastError();
    if (g_runObserver) {
        RunNote("Windows error %lu (%s): %s", static_cast<unsigned long>(error),
                WindowsErrorText(error).c_str(), text ? text : "");
    }
    return engine.ReportWinError(static_cast<int>(error), text);
}

int CScriptEngine::ReportWinError(int winError, const char* text) {
    SetVarInt("lastWinError", winError);
    const char* handlerName =
        HasLocalVar("onErrorProc") || HasGlobalVar("onErrorProc") ? GetVar("onErrorProc") : "";
    if (*handlerName == '\0') return 0;
    // Copies: the call runs lines that overwrite the line buffer and may set onErrorProc.
    const std::string name = handlerName;
    std::string arguments = std::to_string(winError) + ", " + (text ? text : "");
    CallProc(name.c_str(), arguments.data());
    return 0;
}
