// File work left to the next start of the system, for files that are in use now.
//
// Windows NT takes the work through MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT. Windows 95
// reads the section [Rename] of WININIT.INI in the Windows directory at start-up: each line
// "target=source" moves source over target, and "nul=path" deletes path. Which of the two
// applies is IsWindowsNT (PathHelpers.h), which tests can turn.
//
// The WININIT.INI section is written here directly rather than through
// WritePrivateProfileStringA: the profile functions keep one entry per key, so a second
// "nul" entry would replace the first and a file meant to go at restart would stay. The
// writer keeps the documented form: a "nul" line is added for each file (the same path
// only once), and a "target=source" line replaces an earlier one for the same target, as
// the profile functions would, so that the newest replacement wins.
#pragma once

#include <string>

namespace tolv {

// Where Windows NT keeps the work MoveFileExA leaves to the next start (under
// HKEY_LOCAL_MACHINE): the journal saves this value so that a rollback withdraws that work.
inline constexpr const char kPendingRenamesKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr const char kPendingRenamesValue[] = "PendingFileRenameOperations";

// Registers that tempFile is to be moved over destination at the next start. Failures are
// not reported: the install goes on, and the caller has already told the script that a
// restart is needed.
void ScheduleReplaceAtRestart(const char* tempFile, const char* destination);

// Registers that path is to be deleted at the next start. Failures are not reported.
void ScheduleDeleteAtRestart(const char* path);

// The WININIT.INI that the Windows 95 branch writes: the Windows directory followed by
// "\WININIT.INI".
std::string WininitPath();

// Adds one entry to the [Rename] section of the file at iniPath, creating the file or the
// section when missing (see the top of this header for the rules). Returns false when the
// file could not be read or written.
bool AddWininitRenameEntry(const std::string& iniPath, const char* key, const char* value);

// Test seam: the directory WininitPath uses instead of the real Windows directory; nullptr
// or an empty text returns to the real one.
void SetWindowsDirectoryForTesting(const char* directory);

}  // namespace tolv
