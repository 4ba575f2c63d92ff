// The file command table: copy, mkdir, rmdir, del.
//
// Each command hands what it is about to overwrite or remove to the journal first (which
// moves a file aside, or removes an empty directory, and remembers it), then changes the
// disk, then records the statement that takes back what it created. The undo lines of copy
// and mkdir are del and rmdir statements, so the recorded rollback doubles as the device's
// uninstall script. A failed Windows call is reported through ReportWinError (lastWinError,
// onErrorProc) with a result of 0; faults of the script itself are script errors.
//
// Decisions the commands share:
// - A path of 260 UTF-16 units or more is refused before anything is touched, as a Windows
//   failure ERROR_FILENAME_EXCED_RANGE reported with that path: the file functions
//   cannot take it, and a failure halfway through would leave a half-done change.
// - An item that the journal's backup already took away counts as removed: del and rmdir
//   then succeed, exactly as they do when no journal runs.
// - del that deletes nothing because every match is a directory or a shared file that
//   still has users succeeds: nothing that should go is left.
// - mkdir and rmdir hand only an existing directory to the journal, never a file of the
//   same name, which the journal would move aside for good if the run commits.
// - del removes read-only files too, so that what copy installed with r can be undone.
// - A copy that fails after the journal moved the old file aside puts the old file back at
//   once, so that a script that goes on and commits does not lose it.
// - Nothing is changed that the journal could not back up: when the backup fails (no usable
//   temporary directory, a full disk, a file that cannot be read), the command reports the
//   backup's error with the path and returns 0 before touching anything.
// - A file that copy leaves in place (the user kept the newer one, or the shared-file rule)
//   still gets copy's undo line, which a rollback runs: the journal keeps a copy of it, so
//   that the rollback puts the user's own file back.
// - Restart-time work a run scheduled is withdrawn by its rollback: the journal saves the
//   list of that work before the first entry is added, and puts it back.
// - del with s lowers a shared count only after the journal saved it, and deletes nothing
//   when the count cannot be read or written: other programs may still count on the file.
// - mkdir over an existing file fails with ERROR_ALREADY_EXISTS: no folder is there.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/PathHelpers.h"
#include "commands/RegistryHelpers.h"
#include "commands/ReportWinError.h"
#include "commands/RestartFileOps.h"
#include "commands/SysCommandSupport.h"
#include "commands/SystemCommandTables.h"
#include "platform/Win32Calls.h"
#include "commands/FileSource.h"
#include "engine/ScriptEngine.h"
#include "engine/Text.h"
#include "engine/InstallHost.h"
#include "rollback/RollbackJournal.h"

namespace {

using tolv::HasOption;
using tolv::QuoteForScript;
using tolv::Win32;

constexpr char kNeedReboot[] = "needReboot";

// The last error code after a failed call, as the commands test it.
bool IsInUse(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}
// What a failed search answers for a name that is not there.
bool NotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_NO_MORE_FILES || error == ERROR_INVALID_NAME;
}
bool IsNotThere(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Reports that the journal could not back up path, with the backup's error; returns 0.
int ReportBackupFailure(CScriptEngine& engine, const std::string& path) {
    SetLastError(engine.GetJournal().GetBackupError());
    return ReportWinError(engine, path.c_str());
}

// Saves the list of restart-time file work before an entry is added to it, so that a
// rollback withdraws what the run scheduled. Returns false when that could not be saved.
bool BackupRestartWork(CScriptEngine& engine) {
    CRollbackJournal& journal = engine.GetJournal();
    if (tolv::IsWindowsNT()) {
        journal.BackupRegistryValue(HKEY_LOCAL_MACHINE, tolv::kPendingRenamesKey,
                                    tolv::kPendingRenamesValue);
    } else {
        const std::string wininit = tolv::WininitPath();
        if (tolv::FileExists(wininit.c_str())) {
            journal.KeepFile(wininit.c_str());
        } else if (!NotFound(GetLastError())) {
            return false;
        } else {
            journal.NoteTemporaryFile(wininit.c_str());  // made by this run: gone on rollback
        }
    }
    return journal.GetBackupError() == 0;
}

// Refuses a path the ANSI file functions cannot take (see the top of this file).
bool PathTooLong(CScriptEngine& engine, const std::string& path) {
    if (!PathLongerThan(path, tolv::kMaxPathLength)) return false;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    ReportWinError(engine, path.c_str());
    return true;
}

// After a failed copy: if the journal's newest record moved the old file at path aside and
// nothing stands at path now, copy the backup back. The backup stays where the journal
// expects it, so a rollback and a commit both still find the state they record.
void PutBackMovedAside(CScriptEngine& engine, const std::string& path) {
    const auto& records = engine.GetJournal().GetRecords();
    auto newest = records.rbegin();
    // Skips the temporary file a copy at restart noted since.
    while (newest != records.rend() && newest->text[0] == 'n') ++newest;
    if (newest == records.rend() || !newest->movedAside) return;
    const std::string& text = newest->text;
    const std::string prefix = "f" + path + '\x01';
    if (text.compare(0, prefix.size(), prefix) != 0) return;
    if (tolv::FileExists(path.c_str())) return;
    CopyFileA(text.substr(prefix.size()).c_str(), path.c_str(), TRUE);
}

struct CopyOptions {
    bool askNewer, atRestart, shared, readOnly;
};

// Puts the source at target: directly, or through a temporary file replacing target at the
// next restart when target is in use and b allows that. Then gives the result the source's
// attributes, read-only exactly when r asks for it. Returns 1, or 0 after the failure has
// been reported.
int CopyIntoPlace(CScriptEngine& engine, const std::string& source, const std::string& target,
                  const WIN32_FIND_DATAA& sourceRecord, const CopyOptions& options) {
    CFileSourceList& sources = engine.GetFileSources();
    CInstallHost& host = engine.GetHost();
    bool ok = sources.Copy(source.c_str(), target.c_str(), &host);
    if (!ok && options.atRestart && IsInUse(GetLastError())) {
        const std::string temp = tolv::MakeTempFileName();
        // Noted before anything is written into it, so that a killed run leaves none behind.
        if (!temp.empty()) engine.GetJournal().NoteTemporaryFile(temp.c_str());
        bool staged = false;
        try {
            staged = sources.Copy(source.c_str(), temp.c_str(), &host);
        } catch (...) {
            // The copy only removes a file it has begun to write; the empty one made for
            // the name is left to this command.
            if (!temp.empty()) Win32().DeleteFileA(temp.c_str());
            throw;
        }
        if (!staged) {
            const DWORD error = GetLastError();
            if (!temp.empty()) Win32().DeleteFileA(temp.c_str());
            // The same codes come from a source that cannot be read, and then the old file
            // may have been moved aside for nothing.
            PutBackMovedAside(engine, target);
            SetLastError(error);
            return ReportWinError(engine, source.c_str());
        }
        if (!BackupRestartWork(engine)) {
            Win32().DeleteFileA(temp.c_str());
            PutBackMovedAside(engine, target);
            return ReportBackupFailure(engine, target);
        }
        // The file in use must not be read-only, or the replacement at restart fails.
        SetFileAttributesA(target.c_str(),
                           sourceRecord.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        tolv::ScheduleReplaceAtRestart(temp.c_str(), target.c_str());
        engine.SetVar(kNeedReboot, "1");
        ok = true;
    }
    if (!ok) {
        const DWORD error = GetLastError();
        PutBackMovedAside(engine, target);
        SetLastError(error);
        return ReportWinError(engine, target.c_str());
    }
    DWORD attributes = sourceRecord.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (options.readOnly) attributes |= FILE_ATTRIBUTE_READONLY;
    if (attributes != sourceRecord.dwFileAttributes) SetFileAttributesA(target.c_str(), attributes);
    return 1;
}

int CopyCommand(CScriptEngine& engine, char* args) {
    const tolv::RawArguments raw(args);
    const char* sourceArg = nullptr;
    const char* destinationArg = nullptr;
    const char* optionsArg = nullptr;
    ParseArgs(engine, args, nullptr, "ssS", &sourceArg, &destinationArg, &optionsArg);
    const std::string source = sourceArg;
    std::string target = destinationArg;
    const std::string letters = tolv::LowerOptions(optionsArg);
    tolv::StoreArgumentBack(engine, raw, 2, optionsArg, letters);
    const CopyOptions options{HasOption(letters, 'd'), HasOption(letters, 'b'),
                              HasOption(letters, 's'), HasOption(letters, 'r')};
    std::string sourceName;
    tolv::SplitPath(source, nullptr, &sourceName);

    if (!tolv::IsAbsolutePath(target)) ThrowScriptError(ScriptError::kBadArgument);
    if (tolv::IsDirectoryPath(target.c_str())) {
        tolv::AppendBackslash(target);
        target += sourceName;
    }
    if (PathTooLong(engine, target)) return 0;

    WIN32_FIND_DATAA sourceRecord{};
    if (!engine.GetFileSources().Find(source.c_str(), &sourceRecord)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return ReportWinError(engine, source.c_str());
    }
    WIN32_FIND_DATAA targetRecord{};
    const bool existed = tolv::FileExists(target.c_str(), &targetRecord);
    // A search that failed for another reason than "no such file" leaves unknown what the
    // copy would overwrite.
    if (!existed && !NotFound(GetLastError())) return ReportWinError(engine, target.c_str());
    bool copyIt = true;
    if (options.shared) {
        // The count goes back as it was, whatever the undo line's del does with it.
        CRollbackJournal& journal = engine.GetJournal();
        journal.BackupRegistryValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, target.c_str());
        if (journal.GetBackupError()) return ReportBackupFailure(engine, target);
    }
    if (existed) {
        const int age =
            tolv::CompareFileTimes(sourceRecord.ftLastWriteTime, targetRecord.ftLastWriteTime);
        if (options.askNewer && age < 0) {
            const int answer =
                engine.GetHost().AskReplaceNewer(target.c_str(), &sourceRecord, &targetRecord);
            if (answer == 0) ThrowScriptError(ScriptError::kCancelled);
            if (answer == 2) copyIt = false;
        }
        // After the question: for a shared file, "replace" does not force an older or equal
        // file over a newer one.
        if (options.shared && age <= 0) copyIt = false;
        CRollbackJournal& journal = engine.GetJournal();
        if (copyIt) {
            journal.BackupFile(target.c_str());
        } else {
            journal.KeepFile(target.c_str());  // the undo line may delete the user's file
        }
        if (journal.GetBackupError()) return ReportBackupFailure(engine, target);
    }
    if (!existed) {
        CRollbackJournal& journal = engine.GetJournal();
        journal.NoteCreating(target.c_str());
        if (journal.GetBackupError()) return ReportBackupFailure(engine, target);
    }
    if (copyIt && !CopyIntoPlace(engine, source, target, sourceRecord, options)) return 0;
    if (!existed) engine.GetJournal().NoteCreatedPath(target.c_str());

    if (options.shared) tolv::ChangeSharedDllCount(target.c_str(), 1, existed, true);
    std::string undo = "  del " + QuoteForScript(target);
    if (options.shared || options.atRestart) {
        undo += ",";
        if (options.shared) undo += "s";
        if (options.atRestart) undo += "b";
    }
    engine.AddUndoLine(undo.c_str());
    return 1;
}

// The journal's backup of a directory that mkdir or rmdir works on. Only a directory is
// handed over: a file of that name would be moved aside, and lost if the run commits, for a
// command that cannot replace it. Returns whether a directory was there.
bool BackupDirectory(CScriptEngine& engine, const std::string& path, bool* failed) {
    WIN32_FIND_DATAA found;
    *failed = false;
    if (!tolv::FileExists(path.c_str(), &found)) {
        *failed = !NotFound(GetLastError());  // unknown whether a folder is there
        return false;
    }
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    engine.GetJournal().BackupFile(path.c_str());
    if (engine.GetJournal().GetBackupError()) {
        SetLastError(engine.GetJournal().GetBackupError());
        *failed = true;
    }
    return true;
}

// Written ahead of mkdir: the folder, and with the chain each missing parent, outermost
// first, so that a killed run's folders go again. False when the journal could not note them.
bool NoteFoldersToMake(CScriptEngine& engine, const std::string& path, bool chain) {
    std::vector<std::string> folders{path};
    while (chain) {
        std::string parent;
        tolv::SplitPath(folders.back(), &parent, nullptr);
        if (parent.empty() || parent.size() >= folders.back().size() ||
            tolv::FileExists(parent.c_str())) {
            break;
        }
        folders.push_back(parent);
    }
    CRollbackJournal& journal = engine.GetJournal();
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        journal.NoteCreating(folder->c_str());
        if (journal.GetBackupError()) return false;
    }
    return true;
}

bool IsDirectory(const std::string& path) {
    WIN32_FIND_DATAA found;
    return tolv::FileExists(path.c_str(), &found) &&
           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// mkdir and rmdir take their path without one trailing backslash (a drive root keeps it).
std::string DirectoryArgument(CScriptEngine& engine, const tolv::RawArguments& raw,
                              const char* path) {
    std::string directory = path;
    tolv::StripBackslash(directory);
    tolv::StoreArgumentBack(engine, raw, 0, path, directory);
    return directory;
}

int MkdirCommand(CScriptEngine& engine, char* args) {
    const tolv::RawArguments raw(args);
    const char* pathArg = nullptr;
    const char* optionsArg = nullptr;
    ParseArgs(engine, args, nullptr, "sS", &pathArg, &optionsArg);
    const std::string path = DirectoryArgument(engine, raw, pathArg);
    const std::string letters = tolv::LowerOptions(optionsArg);
    tolv::StoreArgumentBack(engine, raw, 1, optionsArg, letters);
    if (PathTooLong(engine, path)) return 0;

    // An existing empty directory is removed here and comes back with the journal.
    bool failed = false;
    const bool wasThere = BackupDirectory(engine, path, &failed);
    if (failed) return ReportWinError(engine, path.c_str());
    if (!wasThere && !NoteFoldersToMake(engine, path, HasOption(letters, 'f')))
        return ReportBackupFailure(engine, path);
    bool ok;
    bool existed = false;
    if (HasOption(letters, 'f')) {
        // The parents the chain makes get no undo line; the journal takes them back.
        std::vector<std::string> made;
        ok = tolv::CreateDirectoryChain(path.c_str(), &existed, &made);
        for (const std::string& folder : made) {
            if (folder != path) engine.GetJournal().NoteMadeFolder(folder.c_str());
        }
    } else {
        ok = Win32().CreateDirectoryA(path.c_str(), nullptr) != FALSE;
        if (!ok && GetLastError() == ERROR_ALREADY_EXISTS) ok = existed = true;
    }
    if (ok && existed && !IsDirectory(path)) {
        // A file of that name stands there: no folder was made, and none exists.
        SetLastError(ERROR_ALREADY_EXISTS);
        ok = false;
    }
    if (!ok) return ReportWinError(engine, path.c_str());
    if (!wasThere && !existed) engine.GetJournal().NoteCreatedPath(path.c_str());
    engine.AddUndoLine(("  rmdir " + QuoteForScript(path)).c_str());
    return 1;
}

int RmdirCommand(CScriptEngine& engine, char* args) {
    const tolv::RawArguments raw(args);
    const char* pathArg = nullptr;
    ParseArgs(engine, args, nullptr, "s", &pathArg);
    const std::string path = DirectoryArgument(engine, raw, pathArg);
    if (PathTooLong(engine, path)) return 0;

    bool failed = false;
    const bool existed = BackupDirectory(engine, path, &failed);
    if (failed) return ReportWinError(engine, path.c_str());
    if (Win32().RemoveDirectoryA(path.c_str())) return 1;
    if (existed && IsNotThere(GetLastError()) && !tolv::FileExists(path.c_str())) return 1;
    return ReportWinError(engine, path.c_str());
}

// A read-only file refuses DeleteFileA with ERROR_ACCESS_DENIED. del removes it all the
// same, because the files a script installed with copy's r option must go again when its
// recorded undo lines (which are del statements) run. Returns whether the file is gone;
// otherwise the attribute is put back and *error holds the retry's error.
bool DeleteReadOnly(const std::string& path, DWORD* error) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (Win32().DeleteFileA(path.c_str())) return true;
    *error = GetLastError();
    SetFileAttributesA(path.c_str(), attributes);
    return false;
}

// One file of del's search. Returns whether a deletion was attempted; *failed tells whether
// that attempt ended in a failure, with its error in *error.
bool DeleteOne(CScriptEngine& engine, const std::string& path, bool shared, bool atRestart,
               bool* failed, DWORD* error) {
    *failed = true;
    if (PathLongerThan(path, tolv::kMaxPathLength)) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return true;
    }
    CRollbackJournal& journal = engine.GetJournal();
    if (shared) {
        // Asked first and lowered only after the journal saved it: an unreadable count
        // deletes nothing, and a rollback gives every user back.
        const int count = tolv::ChangeSharedDllCount(path.c_str(), 0, true, false);
        if (count == -1) {
            *error = GetLastError();
            return true;
        }
        journal.BackupRegistryValue(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, path.c_str());
        if ((*error = journal.GetBackupError()) != 0) return true;
        if (count > 1) {
            if (tolv::ChangeSharedDllCount(path.c_str(), -1, true, false) != -1) return false;
            *error = GetLastError();
            return true;
        }
    }
    journal.BackupFile(path.c_str());
    if ((*error = journal.GetBackupError()) != 0) return true;
    if (shared && tolv::ChangeSharedDllCount(path.c_str(), -1, true, false) == -1) {
        *error = GetLastError();
        PutBackMovedAside(engine, path);
        return true;
    }
    *failed = false;
    if (Win32().DeleteFileA(path.c_str())) return true;
    *error = GetLastError();
    if (*error == ERROR_ACCESS_DENIED && DeleteReadOnly(path, error)) return true;
    if (IsNotThere(*error) && !tolv::FileExists(path.c_str())) return true;  // backed up
    if (atRestart && IsInUse(*error)) {
        if (!BackupRestartWork(engine)) {
            *error = journal.GetBackupError();
            *failed = true;
            return true;
        }
        tolv::ScheduleDeleteAtRestart(path.c_str());
        engine.SetVar(kNeedReboot, "1");
        return true;
    }
    *failed = true;
    return true;
}

int DelCommand(CScriptEngine& engine, char* args) {
    const tolv::RawArguments raw(args);
    const char* patternArg = nullptr;
    const char* optionsArg = nullptr;
    ParseArgs(engine, args, nullptr, "sS", &patternArg, &optionsArg);
    const std::string pattern = patternArg;
    const std::string letters = tolv::LowerOptions(optionsArg);
    tolv::StoreArgumentBack(engine, raw, 1, optionsArg, letters);
    const bool shared = HasOption(letters, 's');
    const bool atRestart = HasOption(letters, 'b');
    if (PathTooLong(engine, pattern)) return 0;
    std::string directory;
    tolv::SplitPath(pattern, &directory, nullptr);

    // The names are taken first and deleted after the search is closed: the journal moves
    // each file away before it is deleted, and a search must not see its own changes.
    std::vector<std::string> files;
    {
        WIN32_FIND_DATAA found;
        tolv::FindHandle search(Win32().FindFirstFileA(pattern.c_str(), &found));
        if (!search) return ReportWinError(engine, pattern.c_str());
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            files.push_back(tolv::JoinPath(directory, found.cFileName));
        } while (FindNextFileA(search.Get(), &found));
    }

    bool lastFailed = false;
    DWORD lastError = 0;
    std::string lastPath;
    for (const std::string& path : files) {
        bool failed = false;
        DWORD error = 0;
        if (!DeleteOne(engine, path, shared, atRestart, &failed, &error)) continue;
        lastFailed = failed;
        lastError = error;
        lastPath = path;
    }
    if (!lastFailed) return 1;
    SetLastError(lastError);
    return ReportWinError(engine, lastPath.c_str());
}

}  // namespace

const ScriptCommand kFileCommands[] = {
    {"copy", CopyCommand}, {"mkdir", MkdirCommand}, {"rmdir", RmdirCommand},
    {"del", DelCommand},   {nullptr, nullptr},
};
