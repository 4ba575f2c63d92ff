// The application object: start-up, the command-line action and the shared error report.
#pragma once

#include "install/DeviceActions.h"
#include "plixa/DeviceLibrary.h"
#include "framework/Framework.h"

#include <string>

struct ParsedCommandLine;

class CManagerApp : public CWinApp {
public:
    // No application name: the framework takes the executable's base name. Help pages live
    // in the folder "help" beside the executable.
    CManagerApp();
    // Selects the language, opens the Device library exclusively, then runs the
    // command-line action or the main window; always FALSE, so no message loop follows.
    BOOL InitInstance() override;
    // The command-line action's exit code when it is non-zero, else the framework's.
    int ExitInstance() override;
    // The application's message map: ID_HELP opens help for the window in use.
    BOOL OnCmdMsg(UINT commandId) override;

private:
    // InitInstance's work between opening and closing the log: language, library, action.
    // failedCode is the exit code of a start-up that fails.
    BOOL Start(const ParsedCommandLine& parsed, int failedCode);
};

// The entry points the command-line action uses; tests replace them with fakes.
struct CommandLineActions {
    int (*install)(const char* path, int interactive, FlowOutcome* outcome);
    int (*uninstall)(const char* deviceName, int interactive, FlowOutcome* outcome);
    int(__stdcall* deviceCount)();
    int(__stdcall* deviceInfo)(int index, DeviceInfo* info);
};
const CommandLineActions& DefaultCommandLineActions();

// A command line taken apart: its options, and its action with its argument (unquoted).
struct ParsedCommandLine {
    bool quiet = false;    // /q: no window, exit codes for fleet tools
    std::string logFile;   // /l <file>
    bool valid = true;     // false: the usage text (or 1639 when quiet)
    char action = 0;       // 'I', 'U', or 0 for an empty line
    std::string argument;  // the path or device name
};
ParsedCommandLine ParseCommandLine(const char* commandLine);

// Carries out the first switch of a command line: /i <file>, /u <device> or /u *;
// anything else shows the usage text (a quiet run shows nothing and returns 1639).
// Returns the process exit code.
int RunCommandLine(const char* commandLine,
                   const CommandLineActions& actions = DefaultCommandLineActions());

// The exit code the command-line action left, 0 if none ran.
int ProcessExitCode();
