#include "commands/ReportWinError.h"

#include <windows.h>

#include <string>

#include "engine/ScriptEngine.h"

int ReportWinError(CScriptEngine& engine, const char* text) {
    return engine.ReportWinError(static_cast<int>(GetLastError()), text);
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
