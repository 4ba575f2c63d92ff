// The error report of the file and system commands: a failed Windows call is not a script
// error but something the script may handle. The command stores the error code in
// lastWinError, calls the script's error procedure named by onErrorProc (if any) with
// "code, text", and returns 0 as its own result.
#pragma once

class CScriptEngine;

// Reports the calling thread's last Windows error with text (for example the path the
// command worked on). Call it right after the failing call, before anything that could
// change the last error. Returns 0. Errors raised by the error procedure travel on.
int ReportWinError(CScriptEngine& engine, const char* text);
