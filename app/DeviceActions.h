// Installing and uninstalling one device through its installation file. Both return the
// process exit code of a command-line run: 0 on success, 1 when refused, declined or
// failed. interactive 0 shows none of the flows' own messages.
#pragma once

int InstallDevice(const char* path, int interactive);
int UninstallDevice(const char* deviceName, int interactive);
// Takes back every installation and uninstallation whose process was killed before it
// ended (see rollback/Recovery.h); with interactive, says so in a message box when there
// was one.
void RecoverInterruptedRuns(int interactive);
