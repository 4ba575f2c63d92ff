// Replay: putting back, newest first, what a journal saved (see RollbackJournal.cpp for
// the records and guarantees 3, 4, 6 and 8).
#include "rollback/RollbackJournal.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/RunObserver.h"
#include "platform/PathHelpers.h"
#include "platform/Win32Calls.h"
#include "rollback/JournalFormat.h"
#include "rollback/RegistryStream.h"

using tolv::Win32;
using namespace tolv::journal;

namespace {

// A record as the installation log shows it: what is brought back, and from where.
std::string ReadableRecord(const std::string& text) {
    const size_t separator = text.find(kSeparator);
    if (separator == std::string::npos) return text.substr(1);
    const std::string key = text.substr(separator + 1);
    if (text[0] == kRegistryRecord) return "registry key " + key;
    if (text[0] == kValueRecord) {
        const size_t name = key.find(kSeparator);
        if (name == std::string::npos) return "registry value of " + key;
        // The flag before the offset says whether the value was there before the run.
        return "registry value \"" + key.substr(name + 1) + "\" of " + key.substr(0, name) +
               (text[1] == '0' ? " (absent before the run)" : "");
    }
    return text.substr(1, separator - 1) + " from " + key;
}

// Deletes root\subkey with everything below it.
void DeleteKeyTree(HKEY root, const std::string& subkey) {
    std::vector<std::string> children;
    {
        tolv::RegKey key;
        if (Win32().RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, key.Put()) !=
            ERROR_SUCCESS) {
            return;
        }
        char name[256];
        DWORD size = sizeof name;
        for (DWORD i = 0; Win32().RegEnumKeyExA(key.Get(), i, name, &size, nullptr, nullptr,
                                                nullptr, nullptr) == ERROR_SUCCESS;
             ++i, size = sizeof name) {
            children.push_back(name);
        }
    }
    for (const std::string& child : children) DeleteKeyTree(root, subkey + '\\' + child);
    Win32().RegDeleteKeyA(root, subkey.c_str());
}

// Deletes the key named by a key specification when it has neither values nor subkeys: a
// parent key the run made, which the undo lines emptied.
void DeleteEmptyKey(const char* specification) {
    const char* backslash = std::strchr(specification, '\\');
    if (!backslash) return;
    const HKEY root = tolv::RootKeyFromName(
        std::string_view(specification, static_cast<size_t>(backslash - specification)));
    if (!root) return;
    {
        tolv::RegKey key;
        if (Win32().RegOpenKeyExA(root, backslash + 1, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
            return;
        char name[256];
        DWORD size = sizeof name;
        if (Win32().RegEnumKeyExA(key.Get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_NO_MORE_ITEMS) {
            return;
        }
        size = sizeof name;
        if (Win32().RegEnumValueA(key.Get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_NO_MORE_ITEMS) {
            return;
        }
    }
    Win32().RegDeleteKeyA(root, backslash + 1);
}

// The parts of an "r" or "v" record: the offset of its saved block in the journal file, the
// root key, and the text from the subkey on. False when the record does not read so.
bool ReadRegistryRecord(const std::string& text, unsigned long* offset, HKEY* root,
                        const char** subkey) {
    if (text.size() < 3) return false;
    const char* digits = text.c_str() + 2;
    char* end = nullptr;
    *offset = std::strtoul(digits, &end, 16);
    if (end == digits || *end != kSeparator) return false;
    const char* key = end + 1;
    const char* backslash = std::strchr(key, '\\');
    if (!backslash) return false;
    *root = tolv::RootKeyFromName(std::string_view(key, static_cast<size_t>(backslash - key)));
    *subkey = backslash + 1;
    return *root != nullptr;
}

}  // namespace

int CRollbackJournal::Replay() {
    active_ = false;
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        if (it->offset != 0 && it->offset >= replayedFrom_) continue;  // by a killed replay
        if (g_runObserver && !it->text.empty())
            RunNote("restore %s", ReadableRecord(it->text).c_str());
        try {
            ReplayRecord(*it);
        } catch (...) {
            // Out of memory for one record must not cost the others theirs.
        }
        if (it->offset == 0) continue;
        // Reading a saved key or value moved the file's pointer into the file.
        if (!SeekJournal(end_)) continue;
        std::string done(1, kReplayedEntry);
        PutNumber(done, it->offset);
        Append(done);
    }
    CloseFile();
    return 1;
}

void CRollbackJournal::ReplayRecord(const Record& record) {
    const std::string& text = record.text;
    if (text.empty()) return;
    switch (text[0]) {
        case kFileRecord:
            ReplayFile(record);
            break;
        case kDirectoryRecord:
            tolv::CreateDirectoryChain(text.c_str() + 1);
            break;
        case kRegistryRecord:
            ReplayRegistry(text);
            break;
        case kValueRecord:
            ReplayValue(text);
            break;
        case kMadeFolderRecord:
            Win32().RemoveDirectoryA(text.c_str() + 1);  // only when empty again
            break;
        case kMadeKeyRecord:
            DeleteEmptyKey(text.c_str() + 1);
            break;
        case kCreatingRecord:
        case kCreatingKeyRecord:
            ReplayCreated(text);
            break;
        case kTemporaryRecord: {
            MakeWritable(text.c_str() + 1);
            Win32().DeleteFileA(text.c_str() + 1);
            // The undo line of the folder the run made ran before, and found this file in it.
            std::string folder;
            tolv::SplitPath(text.substr(1), &folder, nullptr);
            if (!folder.empty() && WasCreated(std::string(1, kFileRecord) + folder))
                Win32().RemoveDirectoryA(folder.c_str());
            break;
        }
        default:
            break;
    }
}

void CRollbackJournal::ReplayCreated(const std::string& text) {
    const char* target = text.c_str() + 1;
    if (text[0] == kCreatingRecord) {
        const DWORD attributes = Win32().GetFileAttributesA(target);
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Win32().RemoveDirectoryA(target);  // only when empty
            return;
        }
        MakeWritable(target);
        Win32().DeleteFileA(target);
        return;
    }
    const char* backslash = std::strchr(target, '\\');
    if (!backslash) return;
    const HKEY root =
        tolv::RootKeyFromName(std::string_view(target, static_cast<size_t>(backslash - target)));
    if (root) DeleteKeyTree(root, backslash + 1);
}

void CRollbackJournal::ReplayFile(const Record& record) {
    // A backup that failed saved nothing, and its name may since belong to another backup.
    if (!record.movedAside) return;
    const size_t separator = record.text.find(kSeparator);
    if (separator == std::string::npos) return;
    const std::string path = record.text.substr(1, separator - 1);
    const std::string backup = record.text.substr(separator + 1);
    if (backup.empty()) return;
    const DWORD attributes = Win32().GetFileAttributesA(backup.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return;  // nothing to put back: whatever is at path stays
    }
    // Whatever the run left at the path goes, read-only or not.
    MakeWritable(path.c_str());
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
    if (Win32().MoveFileExA(backup.c_str(), path.c_str(), flags)) return;
    // The file's folder may be gone: an undo line "rmdir" of a folder that existed before
    // the run removes it once the run's own files are deleted. The file must come back all
    // the same, so its folder is made again.
    std::string folder;
    tolv::SplitPath(path, &folder, nullptr);
    if (!folder.empty() && tolv::CreateDirectoryChain(folder.c_str()) &&
        Win32().MoveFileExA(backup.c_str(), path.c_str(), flags)) {
        return;
    }
    RunNote("could not put %s back from %s (error %lu); the backup stays", path.c_str(),
            backup.c_str(), static_cast<unsigned long>(GetLastError()));
}

void CRollbackJournal::ReplayValue(const std::string& text) {
    unsigned long offset = 0;
    HKEY root = nullptr;
    const char* subkeyStart = nullptr;
    if (!file_ || !ReadRegistryRecord(text, &offset, &root, &subkeyStart)) return;
    const char* nameSeparator = std::strchr(subkeyStart, kSeparator);
    if (!nameSeparator) return;
    const std::string subkey(subkeyStart, nameSeparator);
    const char* name = nameSeparator + 1;
    if (text[1] == '0') {
        tolv::RegKey opened;
        if (Win32().RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, opened.Put()) ==
            ERROR_SUCCESS) {
            Win32().RegDeleteValueA(opened.Get(), name);
        }
        return;
    }
    if (!SeekJournal(offset)) return;
    DWORD header[2] = {0, 0};
    DWORD read = 0;
    if (!Win32().ReadFile(file_.Get(), header, sizeof header, &read, nullptr) ||
        read != sizeof header) {
        return;
    }
    if (header[1] > kMaxSavedValueSize) return;
    std::vector<BYTE> data(header[1]);
    if (!data.empty() && (!Win32().ReadFile(file_.Get(), data.data(), header[1], &read, nullptr) ||
                          read != header[1])) {
        return;
    }
    tolv::RegKey opened;
    if (Win32().RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, opened.Put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    Win32().RegSetValueExA(opened.Get(), name, 0, header[0], data.empty() ? nullptr : data.data(),
                           header[1]);
}

void CRollbackJournal::ReplayRegistry(const std::string& text) {
    unsigned long offset = 0;
    HKEY root = nullptr;
    const char* subkey = nullptr;
    if (!file_ || !ReadRegistryRecord(text, &offset, &root, &subkey) || !SeekJournal(offset))
        return;
    const DWORD error = tolv::RestoreRegTree(root, subkey, file_.Get());
    if (error != 0) {
        RunNote("could not restore all of registry key %s (error %lu)", subkey,
                static_cast<unsigned long>(error));
    }
}

bool CRollbackJournal::SeekJournal(unsigned long offset) {
    return offset < INVALID_SET_FILE_POINTER &&
           Win32().SetFilePointer(file_.Get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN) !=
               INVALID_SET_FILE_POINTER;
}
