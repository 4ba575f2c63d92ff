#include "commands/RollbackCommands.h"

#include <string>
#include <vector>

#include "platform/PathHelpers.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"
#include "engine/Text.h"

namespace {

// A "proc" line, like every name of the language, holds a name of at most 255 characters.
constexpr size_t kMaxProcLine = 255;

// rback_save path: writes the rollback script as an installation file. 1 when written; 0
// when not recording (before StartJournal, during a rollback) or the file cannot be opened.
// No undo line takes the saved file away, so the journal does: it keeps a copy of a file the
// save overwrites, and removes a file the save made, if the run fails. A file it could not
// keep is not overwritten.
int RbackSave(CScriptEngine& engine, char* args) {
    const char* path = nullptr;
    ParseArgs(engine, args, nullptr, "s", &path);
    CRollbackScript& script = engine.GetRollbackScript();
    if (!script.IsRecording()) return 0;
    CRollbackJournal& journal = engine.GetJournal();
    const bool existed = tolv::FileExists(path);
    if (existed) {
        journal.KeepFile(path);
        if (journal.GetBackupError()) return 0;
    } else {
        journal.NoteTemporaryFile(path);  // before the file is there: see NoteCreating
        if (journal.GetBackupError()) return 0;
    }
    return script.Save(path);
}

// rback_add line: records line, unchanged, as the newest undo line.
int RbackAdd(CScriptEngine& engine, char* args) {
    const char* line = nullptr;
    ParseArgs(engine, args, nullptr, "s", &line);
    engine.AddUndoLine(line);
    return 1;
}

// rback_addproc name[, newName]: copies a procedure of the installation file, as loaded,
// after the rollback procedure; with newName its "proc" line becomes "proc newName".
int RbackAddProc(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    const char* newName = nullptr;
    ParseArgs(engine, args, nullptr, "sS", &name, &newName);
    std::string firstLine;
    if (newName && *newName) {
        firstLine = std::string("proc ") + newName;
        if (LongerThan(firstLine, kMaxProcLine)) ThrowScriptError(ScriptError::kTooLong);
    }
    int first = 0, last = 0;
    engine.GetProcRange(name, &first, &last);
    CRollbackScript& script = engine.GetRollbackScript();
    const int before = script.GetLines().GetCount();
    script.AddProcedure(engine.GetLines(), first, last,
                        firstLine.empty() ? nullptr : firstLine.c_str());
    // The journal keeps the copy without its "; " line, as AddProcedure takes it back.
    std::vector<std::string> copied;
    for (int i = before + 1; i < script.GetLines().GetCount(); ++i) {
        const char* line = script.GetLines().GetAt(i);
        copied.push_back(line ? line : "");
    }
    if (script.IsRecording()) engine.GetJournal().NoteProcedure(copied);
    return 1;
}

// @ statement: runs statement and puts the recording switch back as it was, also when the
// statement fails; the statement's result, or its error, goes on unchanged.
int RunKeepingRecording(CScriptEngine& engine, char* args) {
    if (!args || *args == '\0') ThrowScriptError(ScriptError::kSyntax);
    CRollbackScript& script = engine.GetRollbackScript();
    const bool recording = script.IsRecording();
    int result = 0;
    try {
        result = engine.ExecuteStatement(args);
    } catch (...) {
        script.SetRecording(recording);
        throw;
    }
    script.SetRecording(recording);
    return result;
}

}  // namespace

const ScriptCommand kRollbackCommands[] = {
    {"rback_save", RbackSave},  {"rback_add", RbackAdd}, {"rback_addproc", RbackAddProc},
    {"@", RunKeepingRecording}, {nullptr, nullptr},
};
