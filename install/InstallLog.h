// The installation log: one UTF-8 line with a time stamp for every event of every
// installation and uninstallation this process runs, appended to the file that the
// environment variable TOLVARIN_LOG, or else the value Log of HKLM\SOFTWARE\Obrix\Tolvarin,
// names. TOLVARIN_LOG_LEVEL=trace adds every statement run.
//
// The log only watches: a file that cannot be opened or written switches it off, and
// nothing it does can change a run's outcome.
#pragma once

#include <string>

class CScriptEngine;

// Opens the log when one is configured and starts listening to runs; logs the command
// line. Does nothing when no log is configured or it cannot be opened.
void OpenInstallLog(const char* commandLine);
// Logs the process's exit code and closes the log.
void CloseInstallLog(int exitCode);

// Steps of the flows.
void LogRunStart(const char* what, const char* target);
// The answers of Identify, read back from the engine.
void LogIdentified(CScriptEngine& engine);
// A run failed with a script error code: its meaning, the file and line that raised it.
void LogRunFailed(const CScriptEngine& engine, int code);
// The flow's result; returns it, so that a flow can end with "return LogRunResult(r)".
int LogRunResult(int result);
// A message box the flow showed and the button that answered it; returns the answer.
int LogFlowMessage(const std::wstring& text, int answer);

// The meaning of a script error code, in English ("" for codes without one).
const char* ScriptErrorMeaning(int code);
