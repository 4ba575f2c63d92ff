// The rollback journal: what it holds, its file, and the writing of that file ahead of every
// change. Replay lives in JournalReplay.cpp; what the recovery of a killed run accepts of a
// journal file, in JournalAdopt.cpp; the layout's constants, in JournalFormat.h.
//
// WHAT IT HOLDS
//
// An ordered list of records, appended in the order the backups are taken. The first
// character of a record gives its kind:
//
//   "f" <path> 0x01 <backup path>      the file at path was moved to the backup file
//   "d" <path>                         the empty directory at path was removed
//   "r" <0|1> <offset> 0x01 <key>      the key was saved into the journal file at offset
//   "v" <0|1> <offset> 0x01 <key> 0x01 <name>
//                                      one value of the key: saved at offset (1) or absent (0)
//   "n" <path>                         a file the run made that no undo line removes
//   "m" <path>                         a parent folder that mkdir's chain made
//   "e" <key>                          a parent key that a value's key creation made
//   "c" <path>                         the run is about to make a file or folder at path,
//                                      where nothing stands: replay removes what is there
//   "k" <key>                          the same for a registry key: replay deletes its tree
//
// In a registry record, the flag is "1" when the key was saved with its whole subtree and
// "0" for its own values only; offset is the byte position of the saved key block in the
// journal file, in lower-case hexadecimal without prefix or leading zeros; key is the
// canonical root name ("HKLM", "HKCU", "HKCR", "HKU"), a backslash, and the subkey path as
// the script wrote it. Two key texts that differ only in letter case name the same key.
//
// THE FILES
//
// Backup files and the journal file lie in the journal folder under unique names with the
// prefix "kbx" (GetTempFileNameA). The journal file is written ahead: every
// record, and everything a rollback needs beside the records, is in it before the change it
// protects is made, so that a run whose process was killed can be taken back by the next
// start of the program (Adopt). It is opened without sharing, and deleted by Commit, Replay
// and the destructor; only a process that ends without them leaves it behind. Its layout:
//
//   header  "TOLVJRN1", the owner's process id (32 bits), the owner's creation time
//           (FILETIME, 64 bits): a process id alone may since belong to another process
//   entry*  size (32 bits), then size bytes whose first character gives the kind:
//     a record (kinds above)
//     "B" <bytes>    a saved key block (format of RegistryStream.h), or a saved value as its
//                    type, its size and its bytes (the first two 32-bit numbers); the offset
//                    of its record points just after the "B"
//     "+" / "-"      the newest file record's backup is complete / failed (name not ours)
//     "u" <line>     an undo line, as recorded (each goes in front of the earlier ones)
//     "p" <lines>    a procedure copied after the rollback procedure, lines split by LF
//     "R"            the rollback's undo lines have run: only the records remain to replay
//     "C"            the run was committed: a journal left with it is deleted, not replayed
//     "D" <offset>   the records whose entries start at offset (32 bits) or later have been
//                    replayed: a replay started again goes on with the older ones
//     "w" <as "v">   a value saved ahead of a change whose undo line takes it back: replayed
//                    as a "v" record unless that undo line is the next entry
//
// Numbers are little-endian. A key block's size is written as 0xFFFFFFFF before the block
// and set when the block is complete; reading stops at such an entry or at one that runs
// past the end of the file, which only a process killed while writing leaves. A file record
// without its "+" or "-" was being backed up when the process died: its backup is put back
// only when the file is gone from its path (the move had finished), else it is deleted.
//
// TRUST
//
// The next start runs a killed run's undo lines and puts its backups back as administrator,
// so a journal is an order to the machine: it must come from a run of this program. Hence:
// T1. Journals and backups live only in the journal folder, which only Administrators and
//     SYSTEM can write; a folder found otherwise is refused and nothing in it is read or
//     written (JournalFolder.h).
// T2. Recovery reads journals only there; one left anywhere else is named in the log and
//     left alone (Recovery.cpp).
// T3. Adopt accepts a file only as a whole, before it touches anything: each entry one a
//     run writes, each backup a "kbx" file of the journal folder itself (JournalAdopt.cpp).
//     Everything else a journal names (paths, keys, undo lines) was written by an
//     administrator's run and is what that run changed.
// T4. The folder is the machine's: any account's start takes back any killed run.
//
// STATES AND TRANSITIONS
//
//   constructed --Open--> active --Commit--> committed
//                            \--SetActive(false), Replay--> replayed
//   constructed --Adopt (the file of a dead process)--> adopted, inactive --Replay--> replayed
//                                                 (--Commit--> committed, for a "C" file)
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
// 9. Written ahead: the journal file holds a record, and an undo line's "c", "k" or "w"
//    entry, before the change it protects is made, and each undo line as soon as it is
//    recorded. So at any instant the file alone takes the run back (Adopt, then the undo
//    lines and Replay) to the state a rollback of the live process would give. Commit
//    marks the journal committed before it deletes a backup: a process killed during
//    Commit leaves a run the next start commits, never one to be undone (and when the mark
//    cannot be written, the journal goes first). The entries reach the system with
//    each write, which a killed process cannot undo; they are not forced to the disk.
//
// 10. Replay can be killed at any instant and started again, any number of times, with
//    the same end state: after each record it appends its "D" entry, so a replay of the adopted
//    file skips what was replayed (a "c" note replayed twice would delete the original its
//    older file record put back); a record cut short is replayed again, which each kind
//    bears (a backup moved back is gone, a deletion finds nothing, a restore writes the same
//    again). Adopt cuts a half-written last entry off first, so what it appends is read.
//    Backups are deleted only by Commit, while its journal is marked committed, or moved
//    back by Replay: none goes while a journal that needs it can still be replayed.
//
// Every Win32 call goes through the Win32() table, so tests can fail the n-th call of a
// backup or a replay and check guarantees 3 and 4 still hold.
#include "rollback/RollbackJournal.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/RunObserver.h"
#include "engine/TextCase.h"
#include "platform/PathHelpers.h"
#include "platform/Win32Calls.h"
#include "rollback/JournalFolder.h"
#include "rollback/JournalFormat.h"
#include "rollback/RegistryStream.h"

using tolv::Win32;
using namespace tolv::journal;

namespace {

// Written to the system at once, which a killed process cannot undo; forcing every entry to
// the disk as well would cost an installation several times its time (see bench/).
CRollbackJournal::WriteAhead gWriteAhead = CRollbackJournal::WriteAhead::kWritten;

}  // namespace

CRollbackJournal::CRollbackJournal() {
    records_.reserve(50);
}

CRollbackJournal::~CRollbackJournal() {
    CloseFile();
}

void CRollbackJournal::SetWriteAheadForBenchmark(WriteAhead mode) {
    gWriteAhead = mode;
}

void CRollbackJournal::CloseFile() {
    if (!file_) return;
    file_.Reset();
    if (!fileName_.empty()) Win32().DeleteFileA(fileName_.c_str());
}

bool CRollbackJournal::Append(const std::string& entry, DWORD* at) {
    if (at) *at = 0;
    if (!file_ || writeFailed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (gWriteAhead == WriteAhead::kOff && entry[0] != kBlockEntry) return true;
    std::string bytes;
    bytes.reserve(4 + entry.size());
    PutNumber(bytes, static_cast<DWORD>(entry.size()));
    bytes += entry;
    DWORD written = 0;
    if (!Win32().WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                           nullptr) ||
        written != bytes.size()) {
        // A part-written entry ends what a recovery reads: nothing may follow it.
        writeFailed_ = true;
        if (GetLastError() == 0) SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    if (at) *at = end_;
    end_ += static_cast<DWORD>(bytes.size());
    if (gWriteAhead == WriteAhead::kFlushed) FlushFileBuffers(file_.Get());
    return true;
}

bool CRollbackJournal::AddRecord(std::string text, bool movedAside) {
    DWORD at = 0;
    if (!Append(text, &at)) {
        Fail(GetLastError());
        return false;
    }
    records_.push_back(Record{std::move(text), movedAside, at});
    return true;
}

void CRollbackJournal::StartAfresh() {
    CloseFile();
    records_.clear();
    created_.clear();
    active_ = false;
    writeFailed_ = false;
    undoLinesRan_ = false;
    committed_ = false;
    refusal_.clear();
    restartNeeded_ = false;
    end_ = 0;
    replayedFrom_ = 0xFFFFFFFF;
}

void CRollbackJournal::Open() {
    // A journal opened again starts afresh: the old file's offsets mean nothing in the new one.
    StartAfresh();
    active_ = true;

    std::string reason;
    folder_ = tolv::OpenJournalFolder(&reason);
    if (folder_.empty()) RunNote("no journal: %s", reason.c_str());

    // Without the journal folder nothing is made: GetTempFileNameA would fall back on the
    // current directory.
    char name[tolv::kNarrowPathBufferSize] = "";
    if (folder_.empty() || !Win32().GetTempFileNameA(folder_.c_str(), "kbx", 0, name)) {
        name[0] = '\0';
    }
    fileName_ = name;
    if (fileName_.empty()) return;
    file_.Reset(Win32().CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY, nullptr));
    // CREATE_ALWAYS on the name GetTempFileNameA made: if it failed, that empty file stays.
    if (!file_) {
        Win32().DeleteFileA(name);
        return;
    }
    FILETIME created{}, exit{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exit, &kernel, &user);
    ownerId_ = GetCurrentProcessId();
    std::string header(kMagic, kMagicSize);
    PutNumber(header, ownerId_);
    PutNumber(header, created.dwLowDateTime);
    PutNumber(header, created.dwHighDateTime);
    DWORD written = 0;
    // Without its header the file is no journal that a recovery would find: no backups.
    if (!Win32().WriteFile(file_.Get(), header.data(), DWORD(header.size()), &written, nullptr) ||
        written != header.size()) {
        CloseFile();
    }
    end_ = static_cast<DWORD>(header.size());
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

int CRollbackJournal::NoteCreating(const char* path) {
    backupError_ = 0;
    if (!active_ || WasCreated(std::string(1, kFileRecord) + path)) return 1;
    if (tolv::FileExists(path)) return 1;
    NothingThere();
    if (backupError_) return 0;
    return AddRecord(std::string(1, kCreatingRecord) + path) ? 1 : 0;
}

int CRollbackJournal::NoteCreatingKey(HKEY root, const char* subkey) {
    backupError_ = 0;
    const char* rootName = tolv::RootKeyName(root);
    if (!active_ || !rootName) return 1;
    const std::string key = std::string(rootName) + '\\' + subkey;
    if (WasCreated(std::string(1, kRegistryRecord) + key)) return 1;
    // A key saved by this run stood before it: the run does not make it.
    for (const Record& record : records_) {
        const size_t separator = record.text.find(kSeparator);
        if (record.text[0] == kRegistryRecord && separator != std::string::npos &&
            EqualsNoCase(record.text.c_str() + separator + 1, key.c_str())) {
            return 1;
        }
    }
    tolv::RegKey probe;
    const LONG opened = Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, probe.Put());
    if (opened == ERROR_SUCCESS) return 1;
    if (opened != ERROR_FILE_NOT_FOUND && opened != ERROR_PATH_NOT_FOUND)
        return Fail(static_cast<DWORD>(opened));
    return AddRecord(std::string(1, kCreatingKeyRecord) + key) ? 1 : 0;
}

void CRollbackJournal::NoteUndoLine(const char* text) {
    if (active_) Append(kUndoLineEntry + std::string(text ? text : ""));
}

void CRollbackJournal::NoteProcedure(const std::vector<std::string>& lines) {
    if (!active_) return;
    std::string entry(1, kProcedureEntry);
    for (size_t i = 0; i < lines.size(); ++i) entry += (i ? "\n" : "") + lines[i];
    Append(entry);
}

void CRollbackJournal::NoteUndoLinesRan() {
    Append(std::string(1, kUndoLinesRanEntry));
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

void CRollbackJournal::NoteMadeKey(HKEY root, const char* subkey) {
    const char* rootName = tolv::RootKeyName(root);
    if (rootName) AddPathRecord(kMadeKeyRecord, (std::string(rootName) + '\\' + subkey).c_str());
}

int CRollbackJournal::Fail(DWORD error) {
    backupError_ = error != 0 ? error : ERROR_GEN_FAILURE;
    return 0;
}

std::string CRollbackJournal::NewBackupName() {
    char backup[tolv::kNarrowPathBufferSize] = "";
    if (folder_.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::string();
    }
    if (!Win32().GetTempFileNameA(folder_.c_str(), "kbx", 0, backup)) return std::string();
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

    int result = 0;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A directory that still holds something is not removed, and needs no backup: it
        // stays where it is.
        if (!AddRecord(std::string(1, kDirectoryRecord) + path)) return 0;
        return Win32().RemoveDirectoryA(path) ? 1 : 0;
    }
    const std::string backup = NewBackupName();
    DWORD error = GetLastError();
    if (backup.empty()) {
        // Nothing was moved and no name taken: kept in the list only, never replayed.
        records_.push_back(Record{std::string(1, kFileRecord) + path + kSeparator, false});
        return Fail(error);
    }
    // Written before the move (and before the empty file holding the name goes), so that a
    // process killed from here on leaves a journal that finds the file.
    if (!AddRecord(std::string(1, kFileRecord) + path + kSeparator + backup)) {
        Win32().DeleteFileA(backup.c_str());
        return 0;
    }
    Record& record = records_.back();
    {
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
    const bool movedAside = record.movedAside;
    if (!Append(std::string(1, movedAside ? kBackupDone : kBackupFailed))) Fail(GetLastError());
    if (!movedAside && error != 0) Fail(error);
    return result;
}

int CRollbackJournal::KeepFile(const char* path) {
    backupError_ = 0;
    if (!active_) return 1;
    if (!tolv::FileExists(path)) return NothingThere();
    if (WasCreated(std::string(1, kFileRecord) + path)) return 1;
    const std::string backup = NewBackupName();
    if (backup.empty()) return Fail(GetLastError());
    if (!AddRecord(std::string(1, kFileRecord) + path + kSeparator + backup)) {
        Win32().DeleteFileA(backup.c_str());
        return 0;
    }
    // The copy replaces the empty file that holds the name.
    if (!Win32().CopyFileA(path, backup.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        MakeWritable(backup.c_str());
        Win32().DeleteFileA(backup.c_str());
        records_.pop_back();
        Append(std::string(1, kBackupFailed));
        return Fail(error);
    }
    records_.back().movedAside = true;
    if (!Append(std::string(1, kBackupDone))) return Fail(GetLastError());
    return 1;
}

void CRollbackJournal::NoteTemporaryFile(const char* path) {
    AddPathRecord(kTemporaryRecord, path);
}

void CRollbackJournal::AddPathRecord(char kind, const char* path) {
    backupError_ = 0;
    if (!active_ || !path || !*path) return;
    // Kept in the list even when the journal file refuses it: a rollback of this process
    // still needs it. The backup error tells the caller that a killed run would not.
    std::string text = std::string(1, kind) + path;
    DWORD at = 0;
    if (!Append(text, &at)) Fail(GetLastError());
    records_.push_back(Record{std::move(text), false, at});
}

int CRollbackJournal::BackupRegistryValue(HKEY root, const char* subkey, const char* name) {
    return SaveValue(root, subkey, name, true);
}

int CRollbackJournal::SaveValueAhead(HKEY root, const char* subkey, const char* name) {
    return SaveValue(root, subkey, name, false);
}

int CRollbackJournal::SaveValue(HKEY root, const char* subkey, const char* name, bool keep) {
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

    DWORD offset = Win32().SetFilePointer(file_.Get(), 0, nullptr, FILE_CURRENT);
    if (offset == INVALID_SET_FILE_POINTER) return Fail(GetLastError());
    if (existed) {
        std::string block(1, kBlockEntry);
        PutNumber(block, type);
        PutNumber(block, static_cast<DWORD>(data.size()));
        block.append(reinterpret_cast<const char*>(data.data()), data.size());
        if (!Append(block)) return Fail(GetLastError());
        offset += 5;  // after the entry's size and kind
    }
    const std::string text = (existed ? "1" : "0") + LowerHex(offset) + kSeparator + entry;
    if (keep) return AddRecord(kValueRecord + text) ? 1 : 0;
    return Append(kValueAheadEntry + text) ? 1 : Fail(GetLastError());
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
    if (!file_ || writeFailed_) return Fail(ERROR_INVALID_HANDLE);
    if (offset == INVALID_SET_FILE_POINTER) return Fail(GetLastError());
    RunNote("backup of registry key %s", key.c_str());
    // The block is streamed into a "B" entry whose size is known only at its end.
    std::string start;
    PutNumber(start, kUnfinishedSize);
    start += kBlockEntry;
    DWORD written = 0;
    if (!Win32().WriteFile(file_.Get(), start.data(), DWORD(start.size()), &written, nullptr) ||
        written != start.size()) {
        writeFailed_ = true;
        return Fail(GetLastError());
    }
    const DWORD error = tolv::SaveRegTree(root, subkey, file_.Get(), subtree != 0);
    if (!FinishBlock(offset)) return Fail(GetLastError());
    // A block that failed is never replayed: the command will not make its change.
    if (error != 0) return Fail(error);
    const std::string text =
        std::string(1, kRegistryRecord) + wanted + LowerHex(offset + 5) + kSeparator + key;
    return AddRecord(text) ? 1 : 0;
}

bool CRollbackJournal::FinishBlock(DWORD start) {
    const DWORD end = Win32().SetFilePointer(file_.Get(), 0, nullptr, FILE_CURRENT);
    std::string size;
    PutNumber(size, end - start - 4);
    DWORD written = 0;
    if (end == INVALID_SET_FILE_POINTER ||
        Win32().SetFilePointer(file_.Get(), static_cast<LONG>(start), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER ||
        !Win32().WriteFile(file_.Get(), size.data(), 4, &written, nullptr) || written != 4 ||
        Win32().SetFilePointer(file_.Get(), static_cast<LONG>(end), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER) {
        writeFailed_ = true;
        return false;
    }
    end_ = end;
    return true;
}

int CRollbackJournal::Commit() {
    active_ = false;
    // Marked committed, no start of the program takes this run back: it deletes the backups
    // that are left, and then the journal. Unmarked (the write failed), the journal goes
    // first: a process killed then leaves spare backups rather than a half-undone run.
    const bool marked = Append(std::string(1, kCommittedEntry));
    if (!marked) CloseFile();
    for (const Record& record : records_) {
        if (record.text.empty() || record.text[0] != kFileRecord || !record.movedAside) continue;
        const size_t separator = record.text.find(kSeparator);
        if (separator == std::string::npos) continue;
        const std::string backup = record.text.substr(separator + 1);
        if (backup.empty()) continue;
        DeleteBackup(backup);
    }
    CloseFile();
    return 1;
}

void CRollbackJournal::DeleteBackup(const std::string& backup) {
    MakeWritable(backup.c_str());
    if (Win32().DeleteFileA(backup.c_str())) return;
    const DWORD error = GetLastError();
    // An old driver the system still has loaded could be moved aside, but not deleted.
    if (IsInUseError(error) &&
        Win32().MoveFileExA(backup.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        RunNote("the backup %s is in use: deleted at the next restart", backup.c_str());
        restartNeeded_ = true;
        return;
    }
    if (error != ERROR_FILE_NOT_FOUND)
        RunNote("could not delete the backup %s (error %lu)", backup.c_str(),
                static_cast<unsigned long>(error));
}
