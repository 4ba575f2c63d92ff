// Adopt: what the recovery at the program's start accepts of a killed run's journal file.
#include "rollback/RollbackJournal.h"

#include <algorithm>
#include <vector>

#include "platform/PathHelpers.h"
#include "platform/Win32Calls.h"
#include "rollback/JournalFolder.h"
#include "rollback/JournalFormat.h"

using tolv::Win32;
using namespace tolv::journal;

namespace {

// Whether the process that wrote a journal still runs: the same id with the same creation
// time, since ids are given out again.
bool OwnerRuns(DWORD id, const FILETIME& created) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id);
    if (!process) return false;
    DWORD code = 0;
    FILETIME start{}, exit{}, kernel{}, user{};
    const bool runs = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
                      GetProcessTimes(process, &start, &exit, &kernel, &user) &&
                      CompareFileTime(&start, &created) == 0;
    CloseHandle(process);
    return runs;
}

}  // namespace

bool CRollbackJournal::Adopt(const std::string& path, KeptScript* script) {
    StartAfresh();
    // Opened without sharing: the journal of a run that goes on is open in its process.
    auto open = [&] {
        return tolv::FileHandle(Win32().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                    nullptr, OPEN_EXISTING, 0, nullptr));
    };
    tolv::FileHandle file = open();
    if (!file && GetLastError() == ERROR_ACCESS_DENIED && IsJournalFile(path)) {
        // A journal made read-only would otherwise be passed over at every start.
        MakeWritable(path.c_str());
        file = open();
        if (!file) {
            return Refuse("it cannot be opened for writing (error " +
                          std::to_string(GetLastError()) + ")");
        }
    }
    if (!file) return false;
    const DWORD size = Win32().GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE || size < kHeaderSize) return false;
    std::string content(kMagicSize, '\0');
    DWORD read = 0;
    if (!Win32().ReadFile(file.Get(), &content[0], kMagicSize, &read, nullptr) ||
        read != kMagicSize || content != std::string(kMagic, kMagicSize)) {
        return false;  // a backup, or no file of ours
    }
    if (size > kMaxJournalSize) return Refuse("it is larger than any journal a run writes");
    content.resize(size);
    if (!Win32().ReadFile(file.Get(), &content[kMagicSize], size - kMagicSize, &read, nullptr) ||
        read != size - kMagicSize) {
        return Refuse("it cannot be read (error " + std::to_string(GetLastError()) + ")");
    }
    const FILETIME created = {NumberAt(content, kMagicSize + 4), NumberAt(content, kMagicSize + 8)};
    ownerId_ = NumberAt(content, kMagicSize);
    if (OwnerRuns(ownerId_, created)) return false;
    fileName_ = path;
    tolv::SplitPath(path, &folder_, nullptr);
    if (!folder_.empty() && folder_.back() == '\\') folder_.pop_back();
    std::vector<int> unsettled;
    const size_t complete = ReadEntries(content, script, &unsettled);
    if (!refusal_.empty()) return Refuse(std::string(refusal_));
    for (int index : unsettled) {
        // A record that a killed replay went past was settled by it: its backup name may since
        // hold a file that an older record put back.
        if (records_[index].offset < replayedFrom_) SettleUnfinishedBackup(records_[index]);
    }
    file_ = std::move(file);
    end_ = static_cast<DWORD>(complete);
    // What a killed write left half done is cut off, so that what the recovery appends (the
    // mark that the undo lines ran) is read by the next start if this one is killed too.
    if (Win32().SetFilePointer(file_.Get(), static_cast<LONG>(complete), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER ||
        !SetEndOfFile(file_.Get())) {
        writeFailed_ = true;
    }
    return true;
}

bool CRollbackJournal::Refuse(const std::string& reason) {
    StartAfresh();
    refusal_ = reason;
    return false;
}

size_t CRollbackJournal::ReadEntries(const std::string& content, KeptScript* script,
                                     std::vector<int>* unsettledRecords) {
    int unsettled = -1;  // the file record whose "+" or "-" has not come yet
    int ahead = -1;      // a value saved ahead of a change whose undo line has not come yet
    size_t at = kHeaderSize;
    while (at + 4 <= content.size()) {
        const DWORD size = NumberAt(content, at);
        if (size == kUnfinishedSize || size > content.size() - at - 4) break;
        std::string entry = content.substr(at + 4, size);
        const DWORD start = static_cast<DWORD>(at);
        at += 4 + size;
        if (entry.empty()) continue;
        switch (entry[0]) {
            case kBlockEntry:
                break;
            case kBackupDone:
            case kBackupFailed:
                if (unsettled >= 0) records_[unsettled].movedAside = entry[0] == kBackupDone;
                unsettled = -1;
                break;
            case kUndoLineEntry:
                // The undo line that follows a value saved ahead takes its change back.
                if (ahead >= 0) records_.erase(records_.begin() + ahead);
                ahead = -1;
                script->undoLines.push_back(entry.substr(1));
                break;
            case kValueAheadEntry:
                ahead = static_cast<int>(records_.size());
                records_.push_back(Record{kValueRecord + entry.substr(1), false, start});
                break;
            case kProcedureEntry: {
                std::vector<std::string> lines;
                for (size_t from = 1;;) {
                    const size_t end = entry.find('\n', from);
                    lines.push_back(entry.substr(from, end - from));
                    if (end == std::string::npos) break;
                    from = end + 1;
                }
                script->procedures.push_back(std::move(lines));
                break;
            }
            case kUndoLinesRanEntry:
                undoLinesRan_ = true;
                break;
            case kCommittedEntry:
                committed_ = true;
                break;
            case kReplayedEntry:
                if (entry.size() >= 5) replayedFrom_ = std::min(replayedFrom_, NumberAt(entry, 1));
                break;
            default:
                if (!Accountable(entry)) return at;
                if (unsettled >= 0) unsettledRecords->push_back(unsettled);
                unsettled = -1;
                ahead = -1;
                if (entry[0] == kFileRecord) unsettled = static_cast<int>(records_.size());
                if (entry[0] == kCreatingRecord) created_.push_back(kFileRecord + entry.substr(1));
                if (entry[0] == kCreatingKeyRecord)
                    created_.push_back(kRegistryRecord + entry.substr(1));
                records_.push_back(Record{std::move(entry), false, start});
                break;
        }
    }
    if (unsettled >= 0) unsettledRecords->push_back(unsettled);
    return at;
}

bool CRollbackJournal::Accountable(const std::string& entry) {
    // A run writes every path and key of a record from a text that a zero byte ends. With one
    // inside, the calls would act on a shorter name than the one checked and split here.
    if (entry.find('\0') != std::string::npos) {
        refusal_ = "it holds a record with a zero byte";
        return false;
    }
    switch (entry[0]) {
        case kFileRecord: {
            // A backup is put back over the file's path and deleted at the end: one that
            // does not lie in the journal folder would move or delete any file on the disk.
            const size_t separator = entry.find(kSeparator);
            if (separator == std::string::npos) break;
            // A file record names the file a backup found. A path that ends in a folder (a
            // backslash or a colon) has the replay make that folder in the file's place.
            std::string name;
            tolv::SplitPath(std::string_view(entry).substr(1, separator - 1), nullptr, &name);
            if (name.empty()) {
                refusal_ = "the file record " + entry.substr(1, separator - 1) + " names no file";
                return false;
            }
            const std::string backup = entry.substr(separator + 1);
            if (backup.empty() || tolv::IsJournalFolderFile(folder_, backup)) return true;
            refusal_ = "the backup " + backup + " lies outside the journal folder";
            return false;
        }
        case kDirectoryRecord:
        case kRegistryRecord:
        case kValueRecord:
        case kTemporaryRecord:
        case kMadeFolderRecord:
        case kMadeKeyRecord:
        case kCreatingRecord:
        case kCreatingKeyRecord:
            return true;
        default:
            break;
    }
    refusal_ = "it holds an entry no run writes (kind " +
               std::to_string(static_cast<unsigned char>(entry[0])) + ")";
    return false;
}

void CRollbackJournal::SettleUnfinishedBackup(Record& record) {
    const size_t separator = record.text.find(kSeparator);
    if (separator == std::string::npos || separator + 1 == record.text.size()) return;
    const std::string path = record.text.substr(1, separator - 1);
    const std::string backup = record.text.substr(separator + 1);
    const bool backupThere = Exists(backup);
    // The move had finished when the file is gone from its path; anything else at the
    // backup name is an empty name holder or a copy cut short, and the file is in place.
    record.movedAside = backupThere && !Exists(path);
    if (backupThere && !record.movedAside) {
        MakeWritable(backup.c_str());
        Win32().DeleteFileA(backup.c_str());
    }
}
