// Installing and uninstalling one device through its installation file. Both return the
// process exit code of a command-line run: 0 on success, 1 when refused, declined or
// failed. interactive 0 shows none of the flows' own messages. outcome, when given, says
// more: what the quiet command line's exit code tells a fleet tool.
#pragma once

#include <memory>

class CInstallHost;

enum class FlowOutcome {
    kDone,              // installed or uninstalled
    kRestartNeeded,     // done, and a file is replaced or deleted at the next restart
    kFailed,            // refused, declined, or failed and taken back
    kAlreadyInstalled,  // the installation file's device is installed already
    kNoSuchDevice,      // no device of that name to uninstall
};

int InstallDevice(const char* path, int interactive, FlowOutcome* outcome = nullptr);
int UninstallDevice(const char* deviceName, int interactive, FlowOutcome* outcome = nullptr);
// Takes back every installation and uninstallation whose process was killed before it
// ended (see rollback/Recovery.h); with interactive, says so in a message box when there
// was one.
void RecoverInterruptedRuns(int interactive);
// Quiet runs show no window at all: the installation file's questions are answered by the
// silent host, with their default buttons, and logged; no progress window opens.
void SetQuietRuns(bool quiet);

// Makes the host of a run that may show windows: questions as message boxes, progress in a
// progress window. The windows above this library provide it, so that the flows need none
// of them; until it is set, and in quiet runs, the silent host answers every question.
using InstallHostMaker = std::unique_ptr<CInstallHost> (*)();
void SetWindowHostMaker(InstallHostMaker maker);
