// The rollback journal.
//
// WHAT IT HOLDS
//
// An ordered list of records, appended in the order the backups are taken and kept in memory
// only (the records themselves are never written to disk). The first character of a record
// gives its kind:
//
//   "f" <path> 0x01 <backup path>      the file at path was moved to the backup file
//   "d" <path>                         the empty directory at path was removed
//   "r" <0|1> <offset> 0x01 <key>      the key was saved into the journal file at offset
//
// In a registry record, the flag is "1" when the key was saved with its whole subtree and
// "0" for its own values only; offset is the byte position of the saved key block in the
// journal file, in lower-case hexadecimal without prefix or leading zeros; key is the
// canonical root name ("HKLM", "HKCU", "HKCR", "HKU"), a backslash, and the subkey path as
// the script wrote it. Two key texts that differ only in letter case name the same key.
//
// THE FILES
//
// Backup files and the journal file lie in the system's temporary directory under unique
// names with the prefix "kbx" (GetTempFileNameA). The journal file holds nothing but the
// saved keys, one key block after another in the format of RegistryStream.h, each at the
// offset its record names. It is opened without sharing and delete-on-close: whatever
// happens to the process, closing the handle removes it.
//
// STATES AND TRANSITIONS
//
//   constructed --Open--> active --Commit--> committed
//                            \--SetActive(false), Replay--> replayed
//
// Only an active journal takes backups; an inactive one (before Open, during and after the
// rollback) answers every BackupFile and BackupRegistryKey with success and records nothing,
// so the undo lines run by a rollback never back up what they put back.
//
// GUARANTEES
//
// 1. After BackupFile the path is free when the backup worked: the file has been moved
//    away or the empty directory removed. A record is appended whenever something was at
//    the path, even if the move or removal failed.
// 2. A key is saved at most once per subtree flag: a record of the same key with flag "1"
//    covers every later request, one with "0" covers only requests with "0". A saved
//    parent does not cover its children. So the saved state is always the state before
//    the key's first change in this run.
// 2a. What the run made where nothing stood (NoteCreatedPath, NoteCreatedKey) is never
//    saved: its state before the run is "absent", which the undo line recorded with its
//    creation restores. Saving it at a later change would let the replay bring the run's
//    own work back after that undo line removed it.
// 3. Replay walks the records newest first and ignores every failure, going on with the
//    next record. A file or key changed several times therefore ends in its state before
//    the first change, and a directory removed after its files were moved aside is created
//    again before those files come back into it.
// 4. Replay never leaves a file record's path without a file when one is there: the backup
//    replaces the current file in one step (MoveFileExA with MOVEFILE_REPLACE_EXISTING), so
//    a failed move leaves the current file; and a record whose backup was never made or has
//    gone missing is skipped, leaving the path as it is. A file whose folder the undo
//    lines removed (an "rmdir" of a folder that existed before the run) gets its folder
//    back first.
// 5. After Commit no backup file and no journal file of this run remains. After Replay
//    every backup has been moved back or deleted, and the journal file is gone.
// 6. Restoring a key sets every saved value and recreates every saved subkey; it deletes
//    nothing. Removing what the run added is the undo lines' work, which runs before Replay.
//
// Every Win32 call goes through the Win32() table, so tests can fail the n-th call of a
// backup or a replay and check guarantees 3 and 4 still hold.
#include "rollback/RollbackJournal.h"

#include <cstdlib>
#include <cstring>

#include "commands/PathHelpers.h"
#include "engine/TextCase.h"
#include "commands/Win32Calls.h"
#include "engine/RunObserver.h"
#include "rollback/RegistryStream.h"

using tolv::Win32;

namespace {

constexpr char kSeparator = '\x01';
constexpr char kFileRecord = 'f';
constexpr char kDirectoryRecord = 'd';
constexpr char kRegistryRecord = 'r';

// A record as the installation log shows it: what is brought back, and from where.
std::string ReadableRecord(const std::string& text) {
    const size_t separator = text.find(kSeparator);
    if (separator == std::string::npos) return text.substr(1);
    if (text[0] == kRegistryRecord) return "registry key " + text.substr(separator + 1);
    return text.substr(1, separator - 1) + " from " + text.substr(separator + 1);
}

std::string LowerHex(unsigned long value) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    std::string out;
    while (n > 0) out += digits[--n];
    return out;
}

// Clears the read-only attribute of a file that is to be deleted or replaced: a backup keeps
// the attributes of the file it saved, and Windows refuses to delete or replace a read-only
// file.
void MakeWritable(const char* path) {
    const DWORD attributes = Win32().GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        Win32().SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace

CRollbackJournal::CRollbackJournal() {
    records_.reserve(50);
}

CRollbackJournal::~CRollbackJournal() {
    CloseFile();
}

void CRollbackJournal::CloseFile() {
    file_.Reset();
}

void CRollbackJournal::Open() {
    // A journal opened again starts afresh: the old file's offsets mean nothing in the new one.
    CloseFile();
    records_.clear();
    created_.clear();
    active_ = true;

    char buffer[MAX_PATH] = "";
    const DWORD length = Win32().GetTempPathA(MAX_PATH, buffer);
    tempDirectory_ = length > 0 && length < MAX_PATH ? buffer : "";

    // Without a temporary directory nothing is made: GetTempFileNameA would fall back on
    // the current directory.
    char name[MAX_PATH] = "";
    if (tempDirectory_.empty() ||
        !Win32().GetTempFileNameA(tempDirectory_.c_str(), "kbx", 0, name)) {
        name[0] = '\0';
    }
    fileName_ = name;
    if (fileName_.empty()) return;
    file_.Reset(Win32().CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY, nullptr));
    // CREATE_ALWAYS on the name GetTempFileNameA made: if it failed, that empty file stays.
    if (!file_) Win32().DeleteFileA(name);
}

bool CRollbackJournal::WasCreated(const std::string& entry) const {
    for (const std::string& made : created_) {
        if (EqualsNoCase(made.c_str(), entry.c_str())) return true;
    }
    return false;
}

void CRollbackJournal::NoteCreatedPath(const char* path) {
    const std::string entry = std::string(1, kFileRecord) + path;
    if (active_ && !WasCreated(entry)) created_.push_back(entry);
}

void CRollbackJournal::NoteCreatedKey(HKEY root, const char* subkey) {
    const char* rootName = tolv::RootKeyName(root);
    if (!rootName) return;
    const std::string entry = std::string(1, kRegistryRecord) + rootName + '\\' + subkey;
    if (active_ && !WasCreated(entry)) created_.push_back(entry);
}

int CRollbackJournal::BackupFile(const char* path) {
    if (!active_) return 1;
    WIN32_FIND_DATAA found;
    if (!tolv::FileExists(path, &found)) return 0;
    if (WasCreated(std::string(1, kFileRecord) + path)) {
        // The run's own work: freed for the change, and nothing to bring back.
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return Win32().RemoveDirectoryA(path) ? 1 : 0;
        MakeWritable(path);
        return Win32().DeleteFileA(path) ? 1 : 0;
    }

    Record record;
    int result = 0;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        record.text = std::string(1, kDirectoryRecord) + path;
        result = Win32().RemoveDirectoryA(path) ? 1 : 0;
    } else {
        char backup[MAX_PATH] = "";
        if (tempDirectory_.empty() ||
            !Win32().GetTempFileNameA(tempDirectory_.c_str(), "kbx", 0, backup)) {
            backup[0] = '\0';
        }
        record.text = std::string(1, kFileRecord) + path + kSeparator + backup;
        if (backup[0] != '\0') {
            Win32().DeleteFileA(backup);
            result = Win32().MoveFileA(path, backup) ? 1 : 0;
        }
        record.movedAside = result != 0;
    }
    RunNote("backup of %s: %s", path, result ? "done" : "failed");
    records_.push_back(std::move(record));
    return result;
}

int CRollbackJournal::BackupRegistryKey(HKEY root, const char* subkey, int subtree) {
    if (!active_) return 1;
    const char* rootName = tolv::RootKeyName(root);
    if (!rootName) return 0;
    const std::string key = std::string(rootName) + '\\' + subkey;
    const char wanted = subtree ? '1' : '0';

    // A key the run created was absent before; its undo line deletes it.
    if (WasCreated(std::string(1, kRegistryRecord) + key)) return 1;
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        const std::string& text = it->text;
        if (text.size() < 2 || text[0] != kRegistryRecord) continue;
        const size_t separator = text.find(kSeparator);
        if (separator == std::string::npos) continue;
        if (text[1] >= wanted && EqualsNoCase(text.c_str() + separator + 1, key.c_str())) {
            return 1;
        }
    }
    if (!tolv::RegKeyExists(root, subkey)) return 0;

    const DWORD offset = file_ ? Win32().SetFilePointer(file_.Get(), 0, nullptr, FILE_CURRENT)
                               : INVALID_SET_FILE_POINTER;
    Record record;
    record.text = std::string(1, kRegistryRecord) + wanted + LowerHex(offset) + kSeparator + key;
    records_.push_back(std::move(record));
    RunNote("backup of registry key %s", key.c_str());
    if (!file_ || offset == INVALID_SET_FILE_POINTER) return 0;
    return tolv::SaveRegTree(root, subkey, file_.Get(), subtree != 0) == 0 ? 1 : 0;
}

int CRollbackJournal::Commit() {
    active_ = false;
    for (const Record& record : records_) {
        if (record.text.empty() || record.text[0] != kFileRecord) continue;
        const size_t separator = record.text.find(kSeparator);
        if (separator == std::string::npos) continue;
        const std::string backup = record.text.substr(separator + 1);
        if (backup.empty()) continue;
        MakeWritable(backup.c_str());
        Win32().DeleteFileA(backup.c_str());
    }
    CloseFile();
    return 1;
}

int CRollbackJournal::Replay() {
    active_ = false;
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        const std::string& text = it->text;
        if (text.empty()) continue;
        if (g_runObserver) RunNote("restore %s", ReadableRecord(text).c_str());
        switch (text[0]) {
            case kFileRecord:
                ReplayFile(*it);
                break;
            case kDirectoryRecord:
                tolv::CreateDirectoryChain(text.c_str() + 1);
                break;
            case kRegistryRecord:
                ReplayRegistry(text);
                break;
            default:
                break;
        }
    }
    CloseFile();
    return 1;
}

void CRollbackJournal::ReplayFile(const Record& record) {
    const size_t separator = record.text.find(kSeparator);
    if (separator == std::string::npos) return;
    const std::string path = record.text.substr(1, separator - 1);
    const std::string backup = record.text.substr(separator + 1);
    if (backup.empty()) return;
    if (!record.movedAside) {
        // The file never left its path; only the empty placeholder may be left over.
        Win32().DeleteFileA(backup.c_str());
        return;
    }
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
    if (!folder.empty() && tolv::CreateDirectoryChain(folder.c_str()))
        Win32().MoveFileExA(backup.c_str(), path.c_str(), flags);
}

void CRollbackJournal::ReplayRegistry(const std::string& text) {
    if (text.size() < 3 || !file_) return;
    const char* digits = text.c_str() + 2;
    char* end = nullptr;
    const unsigned long offset = std::strtoul(digits, &end, 16);
    if (end == digits || *end != kSeparator) return;
    const char* key = end + 1;
    const char* backslash = std::strchr(key, '\\');
    if (!backslash) return;
    HKEY root = tolv::RootKeyFromName(std::string_view(key, static_cast<size_t>(backslash - key)));
    if (!root || offset >= INVALID_SET_FILE_POINTER) return;
    if (Win32().SetFilePointer(file_.Get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER) {
        return;
    }
    tolv::RestoreRegTree(root, backslash + 1, file_.Get());
}
