// CScriptEngine's side of the rollback: starting, committing and rolling back the journal
// and the rollback script it owns. Kept out of ScriptEngine.cpp because the journal is a
// Win32 edge; the engine header only knows it by name.
#include "engine/ScriptEngine.h"
#include "engine/RunObserver.h"

#include "install/InstallHost.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"

void CScriptEngine::JournalDeleter::operator()(CRollbackJournal* journal) const {
    delete journal;
}

CRollbackJournal& CScriptEngine::GetJournal() {
    if (!journal_) journal_.reset(new CRollbackJournal);
    return *journal_;
}

void CScriptEngine::StartJournal() {
    rollbackScript_.Begin();
    GetJournal().Open();
}

void CScriptEngine::CommitJournal() {
    if (host_) host_->EndRun();
    rollbackScript_.Clear();
    GetJournal().Commit();
}

void CScriptEngine::AddUndoLine(const char* text) {
    if (rollbackScript_.IsRecording()) RunNote("undo line: %s", text ? text : "");
    rollbackScript_.AddUndoLine(text ? text : "");
}

void CScriptEngine::RollBack() {
    if (host_) host_->EndRun();
    // Nothing was started, or a rollback already ran.
    if (!rollbackScript_.IsRecording()) return;
    if (host_) host_->OnRollback();

    rollbackMode_ = true;
    SetRollbackLines(&rollbackScript_.GetLines(), rollbackScript_.GetBodyIndex());
    try {
        // Errors of the undo lines must not call the script's error procedure, and the
        // abort or end that stopped the run must not stop its undoing.
        SetVar("onErrorProc", "");
        stopMode_ = kRunning;
        // What the undo lines do is neither backed up nor recorded again.
        rollbackScript_.SetRecording(false);
        GetJournal().SetActive(false);
        CallProc(CRollbackScript::kProcName);
        GetJournal().Replay();
    } catch (...) {
        rollbackMode_ = false;
        if (host_) host_->EndRun();
        throw;
    }
    if (host_) host_->EndRun();
}
