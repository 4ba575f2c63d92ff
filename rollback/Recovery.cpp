#include "rollback/Recovery.h"

#include <windows.h>

#include <string>
#include <vector>

#include "engine/RunObserver.h"
#include "engine/ScriptEngine.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"

namespace {

// The names of the files that may be journals: the journal and its backups share the
// prefix, and only a journal starts with its header.
std::vector<std::string> CandidateJournals() {
    std::vector<std::string> paths;
    char temp[MAX_PATH] = "";
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH) return paths;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(temp) + "kbx*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return paths;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.nFileSizeLow > 0)
            paths.push_back(std::string(temp) + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return paths;
}

// Whether the file at path was the journal of a killed run, now rolled back.
bool RecoverRun(CInstallHost& host, const std::string& path) {
    CScriptEngine engine;
    engine.SetHost(&host);
    CRollbackJournal& journal = engine.GetJournal();
    CRollbackJournal::KeptScript kept;
    if (!journal.Adopt(path, &kept)) return false;
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
    } catch (...) {
        // An undo line failed: the backups have been put back all the same.
    }
    return true;
}

}  // namespace

int RecoverKilledRuns(CInstallHost& host) {
    int recovered = 0;
    for (const std::string& path : CandidateJournals()) {
        try {
            if (RecoverRun(host, path)) ++recovered;
        } catch (...) {
            // Out of memory for one journal: the next start tries again.
        }
    }
    return recovered;
}
