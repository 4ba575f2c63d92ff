// Dialogue and progress commands. None of them shows anything: each forwards to the host
// attached to the engine, so one script runs interactively during installation and
// silently during removal. The host is fetched before the arguments are parsed, so a
// missing host fails with kNoHost whatever the arguments; errors the host raises (the
// user's cancel) pass through unchanged.
#include "commands/CommandTables.h"

#include "engine/InstallHost.h"
#include "engine/RunObserver.h"

namespace {

bool HasAbortFlag(const char* flags) {
    for (const char* p = flags; *p; ++p) {
        if (*p == 'a' || *p == 'A') return true;
    }
    return false;
}

// Returns the host's answer (1, 0 or 2), for a script to branch on.
int Prompt(CScriptEngine& engine, char* args) {
    CInstallHost& host = engine.GetHost();
    const char* message = nullptr;
    const char* type = "";
    ParseArgs(engine, args, nullptr, "sS", &message, &type);
    return host.Prompt(message, type);
}

// The message is always shown; the flag letter "a" then ends the run with kAborted.
int Error(CScriptEngine& engine, char* args) {
    CInstallHost& host = engine.GetHost();
    const char* message = nullptr;
    const char* flags = "";
    ParseArgs(engine, args, nullptr, "sS", &message, &flags);
    host.ShowError(message);
    if (HasAbortFlag(flags)) ThrowScriptError(ScriptError::kAborted);
    return 1;
}

int ProgressShow(CScriptEngine& engine, char* args) {
    CInstallHost& host = engine.GetHost();
    int steps = 0;
    const char* title = nullptr;
    ParseArgs(engine, args, nullptr, "dS", &steps, &title);
    host.ResetProgressSteps();
    host.AddProgressSteps(steps);
    host.ShowProgress();
    if (title) host.SetProgressText(title);
    return 1;
}

// Takes no arguments and ignores any text after the command.
int ProgressHide(CScriptEngine& engine, char*) {
    engine.GetHost().HideProgress();
    return 1;
}

int ProgressTitle(CScriptEngine& engine, char* args) {
    CInstallHost& host = engine.GetHost();
    const char* text = nullptr;
    ParseArgs(engine, args, nullptr, "s", &text);
    host.SetProgressText(text);
    return 1;
}

int ProgressStep(CScriptEngine& engine, char* args) {
    CInstallHost& host = engine.GetHost();
    int position = 1;
    ParseArgs(engine, args, nullptr, "D", &position);
    host.ProgressStep(position);
    return 1;
}

// A line for the administrator rather than the user: into the installation log when one is
// open. 1 when it went there, 0 when no log is open.
int Log(CScriptEngine& engine, char* args) {
    const char* text = nullptr;
    ParseArgs(engine, args, nullptr, "s", &text);
    if (!RunWatched()) return 0;
    RunNote("script: %s", text);
    return 1;
}

}  // namespace

const ScriptCommand kDialogueCommands[] = {
    {"prompt", Prompt},
    {"error", Error},
    {"progress_show", ProgressShow},
    {"progress_hide", ProgressHide},
    {"progress_title", ProgressTitle},
    {"progress_step", ProgressStep},
    {"log", Log},
    {nullptr, nullptr},
};
