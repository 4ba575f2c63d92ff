// CRollbackJournal: the backups an installation run takes before it changes anything, so
// that a failed run can be taken back. The format of its records and file, and what holds
// after each operation, are described at the top of RollbackJournal.cpp.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handles.h"

class CRollbackJournal {
public:
    // One backup, newest last. text is the record as described in RollbackJournal.cpp.
    struct Record {
        std::string text;
        // File records only: the backup file holds the file (moved aside, or copied when the
        // file stays in place). A record whose backup failed is kept but never replayed, and
        // its backup name is never deleted: the name went back to the system when the move
        // failed, and a later backup may have been given it since.
        bool movedAside = false;
        // Where its entry starts in the journal file; 0 when the file does not hold it.
        DWORD offset = 0;
    };

    CRollbackJournal();
    // Closes and deletes the journal file if it is still open. Backup files of a run that
    // was neither committed nor replayed stay where they are.
    ~CRollbackJournal();
    CRollbackJournal(const CRollbackJournal&) = delete;
    CRollbackJournal& operator=(const CRollbackJournal&) = delete;

    // Starts a journal: active, temporary directory known, journal file created with this
    // process as its owner. A journal file that cannot be created is not reported here;
    // every later backup fails.
    void Open();
    // What a journal file keeps of the rollback script: the undo lines, oldest first, and
    // the lines of each procedure copied after the rollback procedure.
    struct KeptScript {
        std::vector<std::string> undoLines;
        std::vector<std::vector<std::string>> procedures;
    };
    // Takes over the journal file at path, in the journal folder, when its owner process is
    // gone: this journal then holds its records (inactive, ready for Replay) and script what
    // it kept of the rollback script; a last entry that a killed write left half done is cut
    // off. False, with the file left alone, when it is no journal, or is open or owned by a
    // running process; and when it is refused (GetRefusal says why): larger than any journal,
    // unreadable, or holding what no run of this program writes (an unknown entry, a record
    // with a zero byte, a file record whose path ends in a folder, a backup outside the
    // journal folder). Nothing is touched before the whole file is accepted.
    bool Adopt(const std::string& path, KeptScript* script);
    // Why the last Adopt refused its file; empty when it did not.
    const std::string& GetRefusal() const { return refusal_; }
    // The owner of an adopted journal, for the log.
    DWORD GetOwnerProcessId() const { return ownerId_; }
    // An adopted journal whose rollback had run its undo lines already: only Replay remains.
    bool UndoLinesRan() const { return undoLinesRan_; }
    // An adopted journal of a run that was committed (its file could not be deleted): only
    // Commit remains.
    bool WasCommitted() const { return committed_; }
    // Frees path for a change: moves the file at path to a backup file, or removes the
    // (empty) directory at path, and records it. Nonzero when that worked or the journal is
    // not active; 0 when nothing is at path (nothing recorded) or the move or removal
    // failed (recorded all the same). Callers go on with their change either way.
    int BackupFile(const char* path);
    // Saves root\subkey (with its whole subtree when subtree is 1) into the journal file,
    // unless an earlier record of the same key (any letter case) with at least that subtree
    // flag covers it. 1 when saved, covered or inactive; 0 when the key does not exist (no
    // record) or saving failed (no record: the caller must not make its change).
    int BackupRegistryKey(HKEY root, const char* subkey, int subtree);
    // The run has just made the file or directory at path, or the key root\subkey, where
    // nothing stood before; the undo line recorded with it takes it away again. A later
    // backup of the same path or key (any letter case) then keeps nothing: saving the run's
    // own work would bring it back after the undo line removed it. BackupFile still frees
    // the path, by deleting the file or the empty directory. Nothing happens while the
    // journal is not active.
    void NoteCreatedPath(const char* path);
    void NoteCreatedKey(HKEY root, const char* subkey);
    // Written ahead of a change that makes something where nothing stands, so that a run
    // killed after the change takes it away again: the file or folder at path, the key
    // root\subkey. Nothing is noted when something stands there, when the run made it
    // already, or while the journal is not active. 0, with GetBackupError, when it could not
    // be written or it is unknown whether something stands there: the change must not be made.
    int NoteCreating(const char* path);
    int NoteCreatingKey(HKEY root, const char* subkey);
    // What the rollback script records, kept in the journal file for a run that is killed:
    // an undo line; the lines of a copied procedure (without its "; " line); and the end of
    // the rollback's undo lines.
    void NoteUndoLine(const char* text);
    void NoteProcedure(const std::vector<std::string>& lines);
    void NoteUndoLinesRan();
    // The Windows error of the last BackupFile, KeepFile, BackupRegistryKey or
    // BackupRegistryValue: 0 when it saved what was there, found nothing to save, was covered
    // by an earlier record or the journal is off. Nonzero means the state before the change
    // could not be kept, and the caller must not make its change.
    DWORD GetBackupError() const { return backupError_; }
    // Saves a copy of the file at path, which stays where it is: for a file the run leaves in
    // place but whose undo line may remove it (copy's kept file; a file in use, which
    // cannot be moved). Replay puts the copy back; Commit deletes it.
    int KeepFile(const char* path);
    // Saves one value of root\subkey (or that it is absent) before a change; Replay sets it
    // back or deletes it. For values that the commands change without an undo line of their
    // own: shared counts that del lowers, the list of restart-time file operations.
    int BackupRegistryValue(HKEY root, const char* subkey, const char* name);
    // Saves one value into the journal file only, ahead of a change whose undo line, recorded
    // right after it, takes it back (regChangeRef): a run killed before that undo line gets
    // the value back; otherwise the value is left to the undo line.
    int SaveValueAhead(HKEY root, const char* subkey, const char* name);
    // A file the run made that no undo line removes (a temporary file for work at the next
    // restart, a saved rollback script): kept by Commit, deleted by Replay, together with its
    // folder when the run made that folder and it is empty now. Noted before the file is
    // made; GetBackupError then tells whether the journal file holds it.
    void NoteTemporaryFile(const char* path);
    // A parent folder that a folder chain made on the way to the folder of an undo line:
    // Replay removes it when it is empty.
    void NoteMadeFolder(const char* path);
    // A parent key that the creation of root\subkey's child is about to make: Replay deletes
    // it when it is empty. Noted topmost first, ahead of the creation.
    void NoteMadeKey(HKEY root, const char* subkey);
    // The run succeeded: deletes the backup files and the journal file. Returns 1. A backup
    // in use is deleted at the next restart instead (RestartNeeded).
    int Commit();
    bool RestartNeeded() const { return restartNeeded_; }
    // The run failed: puts back every backup, newest first, ignoring failures, then deletes
    // the journal file. Returns 1.
    int Replay();

    bool IsActive() const { return active_; }
    // Switched off by the rollback before its undo lines run, so that they take no backups.
    void SetActive(bool active) { active_ = active; }

    const std::vector<Record>& GetRecords() const { return records_; }
    // The journal folder (JournalFolder.h) of this journal; empty when none could be used.
    const std::string& GetFolder() const { return folder_; }
    const std::string& GetFileName() const { return fileName_; }
    bool HasFile() const { return file_.IsValid(); }

    // For the benchmark only: whether the records and notes are written ahead (kOff keeps
    // only the saved keys and values in the file, as a journal that is not written ahead),
    // and whether each entry is then forced to the disk too (kFlushed).
    enum class WriteAhead { kOff, kWritten, kFlushed };
    static void SetWriteAheadForBenchmark(WriteAhead mode);

private:
    // Forgets every record and state of an earlier run and closes its file: inactive.
    void StartAfresh();
    void ReplayRecord(const Record& record);
    void ReplayFile(const Record& record);
    void ReplayRegistry(const std::string& text);
    void ReplayValue(const std::string& text);
    // Moves the journal file's pointer to offset; false when it cannot.
    bool SeekJournal(unsigned long offset);
    // Makes a backup file name in the temporary directory; empty on failure.
    std::string NewBackupName();
    int Fail(DWORD error);
    int NothingThere();
    // Closes and deletes the journal file.
    void CloseFile();
    // Appends one entry (its size, then its bytes) to the journal file; false, with the
    // Windows error as the last error, when that failed. After a failed write nothing more
    // is appended: a recovery reads the file up to the entry that was cut.
    // at (when given) gets where the entry starts, or 0 when it was not written.
    bool Append(const std::string& entry, DWORD* at = nullptr);
    // Appends a record to the list and to the journal file; false when it could not be
    // written (the record is not added).
    bool AddRecord(std::string text, bool movedAside = false);
    void ReplayCreated(const std::string& text);
    int SaveValue(HKEY root, const char* subkey, const char* name, bool keep);
    // Sets the size of the key block entry that starts at start and ends here.
    bool FinishBlock(DWORD start);
    // A file record that was being backed up when its process died: see the format.
    void SettleUnfinishedBackup(Record& record);
    // A record of kind for path, while the journal is active.
    void AddPathRecord(char kind, const char* path);
    // Reads the entries of an adopted file up to the first that is cut short or refused;
    // returns where that stops. unsettled gets the file records without their "+" or "-".
    size_t ReadEntries(const std::string& content, KeptScript* script, std::vector<int>* unsettled);
    // Whether an adopted record is one a run writes; else refusal_ says why.
    bool Accountable(const std::string& entry);
    bool Refuse(const std::string& reason);
    void DeleteBackup(const std::string& backup);

    bool WasCreated(const std::string& entry) const;

    std::string folder_;
    std::string refusal_;
    std::vector<Record> records_;
    // What the run made where nothing was: "f" + path or "r" + key specification.
    std::vector<std::string> created_;
    std::string fileName_;
    tolv::FileHandle file_;
    bool active_ = false;
    DWORD backupError_ = 0;
    DWORD ownerId_ = 0;
    // A write to the journal file failed: nothing more is appended, and no backup succeeds.
    bool writeFailed_ = false;
    // Where the next entry of the journal file goes.
    DWORD end_ = 0;
    // Records whose entries start here or later have been replayed (an adopted "D" entry).
    DWORD replayedFrom_ = 0xFFFFFFFF;
    bool undoLinesRan_ = false;
    bool committed_ = false;
    bool restartNeeded_ = false;
};
