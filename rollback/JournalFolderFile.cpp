// Which files of the journal folder a journal may name as its backups: the trust check of
// Adopt, apart from the folder's security so that it builds wherever the journal does.
#include "rollback/JournalFolder.h"

#include "engine/TextCase.h"

namespace tolv {

bool IsJournalFolderFile(const std::string& folder, const std::string& path) {
    if (folder.empty() || path.size() <= folder.size() + 1 || path[folder.size()] != '\\' ||
        !EqualsNoCase(path.substr(0, folder.size()).c_str(), folder.c_str())) {
        return false;
    }
    const std::string name = path.substr(folder.size() + 1);
    return name.find_first_of("\\/:") == std::string::npos && name.size() > 7 &&
           EqualsNoCase(name.substr(0, 3).c_str(), "kbx") &&
           EqualsNoCase(name.substr(name.size() - 4).c_str(), ".tmp") &&
           name.find("..") == std::string::npos;
}

}  // namespace tolv
