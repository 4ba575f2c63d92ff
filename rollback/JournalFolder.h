// The one folder where journals and their backups live, and why recovery may trust it.
//
// A journal tells the next start of the program what to undo: which files to delete or put
// back, which keys to delete or restore, which undo lines to run. The start runs elevated,
// so whoever can write a journal that it reads can do anything as administrator. Journals
// therefore live in one machine-wide folder, "<common application data>\Tolvarin\Journal",
// that only Administrators and SYSTEM can write: both folders of that path are made with an
// owner of Administrators and a protected access list granting full control to
// Administrators and SYSTEM only. A folder found there is trusted only when it is still so
// (CheckFolderSecurity); otherwise it is refused, with the reason, and nothing in it is read.
#pragma once

#include <windows.h>

#include <string>

namespace tolv {

// The journal folder, made when missing, when both of its folders pass the check: its path
// without a trailing backslash. Empty, with *reason saying why, when it cannot be made or is
// refused.
std::string OpenJournalFolder(std::string* reason);
// The same without making anything: empty (and *reason empty) when the folder does not exist.
std::string FindJournalFolder(std::string* reason);

// Whether a folder with this security may hold journals: owned by Administrators or SYSTEM,
// and no entry of its access list lets anyone else write, delete or change its security.
// Under Wine, where file security is the Unix owner and permissions, the process's own user
// (the Unix owner of every file Wine makes) counts beside them. False, with *reason, when not.
bool CheckFolderSecurity(PSECURITY_DESCRIPTOR security, std::string* reason);

// Whether path names a file of the journal folder folder itself (not below it) with the
// journal's prefix: the only place a journal's backup may be.
bool IsJournalFolderFile(const std::string& folder, const std::string& path);

// Tests: the folder that stands in for the common application data folder (nullptr: the
// real one again).
void SetCommonAppDataForTesting(const char* folder);

}  // namespace tolv
