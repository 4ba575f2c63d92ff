// CScriptEngine's side of the rollback: starting, committing and rolling back the journal
// and the rollback script of the engine's state. Kept out of the interpreter core because
// the journal is a Win32 edge; the engine header only knows it by name.
#include "engine/ScriptEngine.h"
#include "engine/RunObserver.h"

#include <exception>
#include <utility>

#include "engine/InstallHost.h"
#include "commands/EngineState.h"

CRollbackJournal& CScriptEngine::GetJournal() {
    std::unique_ptr<CRollbackJournal>& journal = EngineState(*this).journal;
    if (!journal) journal = std::make_unique<CRollbackJournal>();
    return *journal;
}

CRollbackScript& CScriptEngine::GetRollbackScript() {
    return EngineState(*this).rollbackScript;
}

void CScriptEngine::StartJournal() {
    GetRollbackScript().Begin();
    GetJournal().Open();
}

void CScriptEngine::ContinueRun(CScriptEngine& earlier) {
    EngineState(*this).journal = std::move(EngineState(earlier).journal);
    GetRollbackScript().ContinueFrom(earlier.GetRollbackScript());
}

void CScriptEngine::CommitJournal() {
    if (host_) host_->EndRun();
    GetRollbackScript().Clear();
    GetJournal().Commit();
    // An old file still in use is deleted at the next restart, as copy's own work would be.
    if (GetJournal().RestartNeeded()) SetVar("needReboot", "1");
}

void CScriptEngine::AddUndoLine(const char* text) {
    if (GetRollbackScript().IsRecording()) {
        RunNote("undo line: %s", text ? text : "");
        GetJournal().NoteUndoLine(text);
    }
    GetRollbackScript().AddUndoLine(text ? text : "");
}

void CScriptEngine::RollBack() {
    if (host_) host_->EndRun();
    // Nothing was started, or a rollback already ran.
    if (!GetRollbackScript().IsRecording()) return;
    if (host_) host_->OnRollback();

    rollbackMode_ = true;
    SetRollbackLines(&GetRollbackScript().GetLines(), GetRollbackScript().GetBodyIndex());
    // The backups are put back whatever the undo lines did: an undo line that fails must
    // not leave the files moved aside in the temporary directory and the saved keys lost.
    std::exception_ptr undoError;
    try {
        // Errors of the undo lines must not call the script's error procedure, and the
        // abort or end that stopped the run must not stop its undoing.
        SetVar("onErrorProc", "");
        stopMode_ = kRunning;
        // What the undo lines do is neither backed up nor recorded again.
        GetRollbackScript().SetRecording(false);
        GetJournal().SetActive(false);
        CallProc(CRollbackScript::kProcName);
    } catch (...) {
        undoError = std::current_exception();
    }
    // A process killed during the replay leaves a journal whose undo lines must not run twice.
    GetJournal().NoteUndoLinesRan();
    GetRollbackScript().SetRecording(false);
    GetJournal().Replay();
    if (undoError) {
        rollbackMode_ = false;
        if (host_) host_->EndRun();
        std::rethrow_exception(undoError);
    }
    if (host_) host_->EndRun();
}
