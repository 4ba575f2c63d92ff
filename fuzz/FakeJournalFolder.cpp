// The journal folder of the fuzz target's machine. Its security is Windows's to check; the
// fuzz target trusts the folder and tests what lies past that check.
#include "fuzz/JournalWorld.h"
#include "rollback/JournalFolder.h"

namespace tolv {

std::string FindJournalFolder(std::string* reason) {
    reason->clear();
    const DWORD attributes = GetFileAttributesA(fuzz::kJournalFolderPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::string();
    return fuzz::kJournalFolderPath;
}

std::string OpenJournalFolder(std::string* reason) {
    const std::string folder = FindJournalFolder(reason);
    if (folder.empty()) *reason = "the journal folder is missing";
    return folder;
}

}  // namespace tolv
