// The installation log: one UTF-8 line with a time stamp for every event of every
// installation and uninstallation this process runs, appended to the file that the command
// line's /l switch, the environment variable TOLVARIN_LOG, or else the value Log of
// HKLM\SOFTWARE\Obrix\Tolvarin names. A quiet run with none of them logs to a file of its
// own under the machine's common data folder (Tolvarin\Logs), which keeps the last 50.
// TOLVARIN_LOG_LEVEL=trace adds every statement run.
//
// The log only watches: a file that cannot be opened or written switches it off, and
// nothing it does can change a run's outcome.
#pragma once

#include <string>

class CScriptEngine;

// Opens the log when one is named (logFile first, when not empty) or the run is quiet, and
// starts listening to runs; logs the program's version, the account, whether it is
// elevated and the command line. Does nothing when no log is named and the run is not
// quiet, or the file cannot be opened.
void OpenInstallLog(const char* commandLine, const std::string& logFile = "", bool quiet = false);
// The folder of the quiet runs' own logs ("" when the system names no common data folder).
std::string QuietLogFolder();
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
// Written before a box is shown: a run that waits for a click nobody gives shows why.
void LogWaitingForAnswer(const std::wstring& text);
// A line of the flows' own.
void LogRunNote(const std::string& text);

// The meaning of a script error code, in English ("" for codes without one).
const char* ScriptErrorMeaning(int code);
