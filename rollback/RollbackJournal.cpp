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
//   "v" <0|1> <offset> 0x01 <key> 0x01 <name>
//                                      one value of the key: saved at offset (1) or absent (0)
//   "n" <path>                         a file the run made that no undo line removes
//   "m" <path>                         a parent folder that mkdir's chain made
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
// offset its record names, and the single values of "v" records, each as its type, its size
// and its bytes (three parts, the first two 32-bit numbers). It is opened without sharing and
// delete-on-close: whatever happens to the process, closing the handle removes it.
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
// 7. A backup that fails is reported (GetBackupError) so that the command does not make its
//    change: nothing is changed that the journal could not take back. A record whose backup
//    failed is never replayed and its backup name never deleted (the name is no longer ours).
// 8. Each record is replayed on its own: a failure or an exception in one does not stop the
//    others.
//
// Every Win32 call goes through the Win32() table, so tests can fail the n-th call of a
// backup or a replay and check guarantees 3 and 4 still hold.
#include "rollback/RollbackJournal.h"

#include <cstdlib>
#include <cstring>
#include <vector>

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
constexpr char kValueRecord = 'v';
constexpr char kTemporaryRecord = 'n';
constexpr char kMadeFolderRecord = 'm';
// Larger than any value the journal saves (a shared count, a list of restart-time work).
constexpr DWORD kMaxSavedValueSize = 16u << 20;

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

bool IsInUseError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
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

int CRollbackJournal::NothingThere() {
    // Only a search that found no such name means there is nothing to keep; any other
    // failure of it leaves unknown what the change would destroy.
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
        error != ERROR_NO_MORE_FILES && error != ERROR_INVALID_NAME) {
        Fail(error);
    }
    return 0;
}

void CRollbackJournal::NoteMadeFolder(const char* path) {
    AddPathRecord(kMadeFolderRecord, path);
}

int CRollbackJournal::Fail(DWORD error) {
    backupError_ = error != 0 ? error : ERROR_GEN_FAILURE;
    return 0;
}

std::string CRollbackJournal::NewBackupName() {
    char backup[MAX_PATH] = "";
    if (tempDirectory_.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::string();
    }
    if (!Win32().GetTempFileNameA(tempDirectory_.c_str(), "kbx", 0, backup)) return std::string();
    return backup;
}

int CRollbackJournal::BackupFile(const char* path) {
    backupError_ = 0;
    if (!active_) return 1;
    WIN32_FIND_DATAA found;
    if (!tolv::FileExists(path, &found)) return NothingThere();
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
        // A directory that still holds something is not removed, and needs no backup: it
        // stays where it is.
        record.text = std::string(1, kDirectoryRecord) + path;
        result = Win32().RemoveDirectoryA(path) ? 1 : 0;
        records_.push_back(std::move(record));
        return result;
    }
    const std::string backup = NewBackupName();
    record.text = std::string(1, kFileRecord) + path + kSeparator + backup;
    DWORD error = GetLastError();
    if (!backup.empty()) {
        const bool placeholderGone = Win32().DeleteFileA(backup.c_str()) != FALSE;
        result = Win32().MoveFileA(path, backup.c_str()) ? 1 : 0;
        error = GetLastError();
        if (!result && IsInUseError(error)) {
            // A file in use cannot be moved, but it can be read: its copy is the backup, and
            // the file stays. The command then meets the file in use and decides.
            // One that cannot even be read cannot be changed now either: the command's own
            // attempt fails the same way, and only restart-time work (which a rollback
            // withdraws) can touch it. So this is no failed backup.
            record.movedAside = Win32().CopyFileA(path, backup.c_str(), FALSE) != FALSE;
            if (!record.movedAside) {
                const DWORD copyError = GetLastError();
                error = IsInUseError(copyError) ? 0 : copyError;
            }
        } else {
            record.movedAside = result != 0;
        }
        // The empty file still holds the name only when its deletion failed; then it is
        // still ours to remove.
        if (!record.movedAside && !placeholderGone) Win32().DeleteFileA(backup.c_str());
    }
    RunNote("backup of %s: %s", path, result ? "done" : "failed");
    records_.push_back(std::move(record));
    if (!records_.back().movedAside && error != 0) Fail(error);
    return result;
}

int CRollbackJournal::KeepFile(const char* path) {
    backupError_ = 0;
    if (!active_) return 1;
    if (!tolv::FileExists(path)) return NothingThere();
    if (WasCreated(std::string(1, kFileRecord) + path)) return 1;
    const std::string backup = NewBackupName();
    if (backup.empty()) return Fail(GetLastError());
    // The copy replaces the empty file that holds the name.
    if (!Win32().CopyFileA(path, backup.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        MakeWritable(backup.c_str());
        Win32().DeleteFileA(backup.c_str());
        return Fail(error);
    }
    Record record;
    record.text = std::string(1, kFileRecord) + path + kSeparator + backup;
    record.movedAside = true;
    records_.push_back(std::move(record));
    return 1;
}

void CRollbackJournal::NoteTemporaryFile(const char* path) {
    AddPathRecord(kTemporaryRecord, path);
}

void CRollbackJournal::AddPathRecord(char kind, const char* path) {
    if (!active_ || !path || !*path) return;
    Record record;
    record.text = std::string(1, kind) + path;
    records_.push_back(std::move(record));
}

int CRollbackJournal::BackupRegistryValue(HKEY root, const char* subkey, const char* name) {
    backupError_ = 0;
    if (!active_) return 1;
    const char* rootName = tolv::RootKeyName(root);
    if (!rootName) return Fail(ERROR_INVALID_PARAMETER);
    const std::string entry = std::string(rootName) + '\\' + subkey + kSeparator + name;
    for (const Record& record : records_) {
        const std::string& text = record.text;
        if (text.empty() || text[0] != kValueRecord) continue;
        const size_t separator = text.find(kSeparator);
        if (separator != std::string::npos &&
            EqualsNoCase(text.c_str() + separator + 1, entry.c_str()))
            return 1;
    }
    if (!file_) return Fail(ERROR_INVALID_HANDLE);

    // The value as it is now, or that it is absent.
    bool existed = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    tolv::RegKey key;
    LONG rc = Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, key.Put());
    if (rc == ERROR_SUCCESS) {
        DWORD size = 0;
        rc = Win32().RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size);
        if (rc == ERROR_SUCCESS) {
            data.resize(size);
            rc = Win32().RegQueryValueExA(key.Get(), name, nullptr, &type,
                                          data.empty() ? nullptr : data.data(), &size);
            data.resize(size);
            existed = rc == ERROR_SUCCESS;
        }
    }
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return Fail(static_cast<DWORD>(rc));

    const DWORD offset = Win32().SetFilePointer(file_.Get(), 0, nullptr, FILE_CURRENT);
    if (offset == INVALID_SET_FILE_POINTER) return Fail(GetLastError());
    if (existed) {
        const DWORD header[2] = {type, static_cast<DWORD>(data.size())};
        DWORD written = 0;
        if (!Win32().WriteFile(file_.Get(), header, sizeof header, &written, nullptr) ||
            written != sizeof header ||
            (!data.empty() &&
             (!Win32().WriteFile(file_.Get(), data.data(), DWORD(data.size()), &written, nullptr) ||
              written != data.size()))) {
            return Fail(GetLastError());
        }
    }
    Record record;
    record.text = std::string(1, kValueRecord) + (existed ? '1' : '0') + LowerHex(offset) +
                  kSeparator + entry;
    records_.push_back(std::move(record));
    return 1;
}

int CRollbackJournal::BackupRegistryKey(HKEY root, const char* subkey, int subtree) {
    backupError_ = 0;
    if (!active_) return 1;
    const char* rootName = tolv::RootKeyName(root);
    if (!rootName) return Fail(ERROR_INVALID_PARAMETER);
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
    {
        // Only a key that is not there needs no backup; a key that cannot be opened for
        // another reason may still be changed by the command.
        tolv::RegKey probe;
        const LONG opened = Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, probe.Put());
        if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND) return 0;
        if (opened != ERROR_SUCCESS) return Fail(static_cast<DWORD>(opened));
    }

    const DWORD offset = file_ ? Win32().SetFilePointer(file_.Get(), 0, nullptr, FILE_CURRENT)
                               : INVALID_SET_FILE_POINTER;
    if (!file_) return Fail(ERROR_INVALID_HANDLE);
    if (offset == INVALID_SET_FILE_POINTER) return Fail(GetLastError());
    Record record;
    record.text = std::string(1, kRegistryRecord) + wanted + LowerHex(offset) + kSeparator + key;
    records_.push_back(std::move(record));
    RunNote("backup of registry key %s", key.c_str());
    const DWORD error = tolv::SaveRegTree(root, subkey, file_.Get(), subtree != 0);
    if (error == 0) return 1;
    // The command will not make its change, so nothing needs restoring; a part-written
    // block must not be replayed, and the next backup writes over it.
    records_.pop_back();
    Win32().SetFilePointer(file_.Get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    return Fail(error);
}

int CRollbackJournal::Commit() {
    active_ = false;
    for (const Record& record : records_) {
        if (record.text.empty() || record.text[0] != kFileRecord || !record.movedAside) continue;
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
        if (g_runObserver && !it->text.empty())
            RunNote("restore %s", ReadableRecord(it->text).c_str());
        try {
            ReplayRecord(*it);
        } catch (...) {
            // Out of memory for one record must not cost the others theirs.
        }
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
    if (!folder.empty() && tolv::CreateDirectoryChain(folder.c_str()))
        Win32().MoveFileExA(backup.c_str(), path.c_str(), flags);
}

void CRollbackJournal::ReplayValue(const std::string& text) {
    if (text.size() < 3 || !file_) return;
    const char* digits = text.c_str() + 2;
    char* end = nullptr;
    const unsigned long offset = std::strtoul(digits, &end, 16);
    if (end == digits || *end != kSeparator) return;
    const char* key = end + 1;
    const char* backslash = std::strchr(key, '\\');
    const char* nameSeparator = std::strchr(key, kSeparator);
    if (!backslash || !nameSeparator || backslash > nameSeparator) return;
    HKEY root = tolv::RootKeyFromName(std::string_view(key, static_cast<size_t>(backslash - key)));
    if (!root) return;
    const std::string subkey(backslash + 1, nameSeparator);
    const char* name = nameSeparator + 1;
    if (text[1] == '0') {
        tolv::RegKey opened;
        if (Win32().RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, opened.Put()) ==
            ERROR_SUCCESS) {
            Win32().RegDeleteValueA(opened.Get(), name);
        }
        return;
    }
    if (offset >= INVALID_SET_FILE_POINTER ||
        Win32().SetFilePointer(file_.Get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER) {
        return;
    }
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
