#include "rollback/Recovery.h"

#include <windows.h>

#include <string>
#include <vector>

#include "engine/RunObserver.h"
#include "engine/ScriptEngine.h"
#include "engine/TextCase.h"
#include "platform/PathHelpers.h"
#include "rollback/JournalFolder.h"
#include "rollback/JournalFormat.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"

namespace {

// The files of folder (with its trailing backslash) with the prefix (the journal's "kbx", or
// "ktx" of the files copy stages for the next restart): journals (only they start with the
// journal's header), backups, staged files, and empty files that hold a name.
void ListRunFiles(const std::string& folder, const char* prefix, std::vector<std::string>* files,
                  std::vector<std::string>* empty) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + prefix + "*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const bool isEmpty = found.nFileSizeLow == 0 && found.nFileSizeHigh == 0;
        (isEmpty ? empty : files)->push_back(folder + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string TempFolder() {
    char temp[tolv::kNarrowPathBufferSize] = "";
    const DWORD length = GetTempPathA(tolv::kNarrowPathBufferSize, temp);
    return length == 0 || length >= tolv::kNarrowPathBufferSize ? std::string() : temp;
}

std::string SystemTempFolder() {
    char windows[tolv::kNarrowPathBufferSize] = "";
    const UINT length = GetSystemWindowsDirectoryA(windows, tolv::kNarrowPathBufferSize);
    return length == 0 || length >= tolv::kNarrowPathBufferSize ? std::string()
                                                                : std::string(windows) + "\\Temp\\";
}

// Journals where every user may write (where journals lay once) are never taken back: each
// is named in the log, and left as it is.
void RefuseStrayJournals() {
    const std::string folders[] = {TempFolder(), SystemTempFolder()};
    for (size_t i = 0; i < 2; ++i) {
        if (folders[i].empty() || (i == 1 && EqualsNoCase(folders[0], folders[1]))) continue;
        std::vector<std::string> files, empty;
        ListRunFiles(folders[i], "kbx", &files, &empty);
        for (const std::string& path : files) {
            if (tolv::journal::IsJournalFile(path))
                RunNote("refused the journal %s: journals are taken back only from their folder",
                        path.c_str());
        }
    }
}

// A journal is held open, unshared, for as long as its run goes on.
bool OpenElsewhere(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}

// Whether the file at path was the journal of a killed run, now rolled back.
bool RecoverRun(CInstallHost& host, const std::string& path) {
    CScriptEngine engine;
    engine.SetHost(&host);
    CRollbackJournal& journal = engine.GetJournal();
    CRollbackJournal::KeptScript kept;
    if (!journal.Adopt(path, &kept)) {
        if (!journal.GetRefusal().empty())
            RunNote("refused the journal %s: %s", path.c_str(), journal.GetRefusal().c_str());
        return false;
    }
    if (journal.WasCommitted()) {
        journal.Commit();
        return false;
    }
    RunNote("rolling back the run of process %lu, which ended before it was done (%s)",
            static_cast<unsigned long>(journal.GetOwnerProcessId()), path.c_str());
    if (journal.UndoLinesRan()) {
        journal.Replay();
        return true;
    }
    CRollbackScript& script = engine.GetRollbackScript();
    script.Begin();
    for (const std::string& line : kept.undoLines) script.AddUndoLine(line);
    for (const std::vector<std::string>& procedure : kept.procedures) {
        CItemArray lines(static_cast<int>(procedure.size()) + 1, 10);
        for (const std::string& line : procedure) lines.Add(line);
        script.AddProcedure(lines, 0, lines.GetCount() - 1);
    }
    try {
        engine.RollBack();
    } catch (int code) {
        RunNote(
            "an undo line of that run failed with script error %d; its backups were put "
            "back all the same",
            code);
    }
    return true;
}

}  // namespace

int RecoverKilledRuns(CInstallHost& host) {
    RefuseStrayJournals();
    std::string reason;
    const std::string folder = tolv::FindJournalFolder(&reason);
    if (!reason.empty()) RunNote("no killed run is taken back: %s", reason.c_str());
    if (folder.empty()) return 0;
    std::vector<std::string> files, empty, staged;
    ListRunFiles(folder + "\\", "kbx", &files, &empty);
    ListRunFiles(TempFolder(), "ktx", &staged, &empty);
    int recovered = 0;
    bool runGoesOn = false;
    for (const std::string& path : files) {
        try {
            if (RecoverRun(host, path)) {
                ++recovered;
            } else if (OpenElsewhere(path)) {
                runGoesOn = true;
            }
        } catch (...) {
            RunNote(
                "the journal %s could not be taken back now (out of memory); the next "
                "start tries again",
                path.c_str());
            runGoesOn = true;
        }
    }
    // A process killed between taking a name and writing it into its journal leaves an
    // empty file. While no run goes on, no empty file is a backup anyone will need (a run
    // that ended took its backups back or threw them away).
    if (!runGoesOn) {
        for (const std::string& path : empty) DeleteFileA(path.c_str());
    }
    return recovered;
}
