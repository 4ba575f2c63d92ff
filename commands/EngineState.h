// The services the program attaches to every engine (see CEngineServices): the rollback
// journal, the rollback script, the file sources and the COM session, which the engine
// owns for its run.
#pragma once

#include <memory>

#include "commands/ComSession.h"
#include "commands/FileSource.h"
#include "engine/ScriptEngine.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"

struct CEngineState final : CEngineServices {
    // Members destroyed in reverse: COM (released before the file sources), file sources,
    // rollback script, then the journal.
    std::unique_ptr<CRollbackJournal> journal;  // made on first use
    CRollbackScript rollbackScript;
    CFileSourceList fileSources;
    CDirectorySource* scriptDirSource = nullptr;  // owned by fileSources
    std::unique_ptr<CComSession> comSession;      // made by the first shell link
};

// The state of an engine made by the program's constructor (commands/EngineTables.cpp).
inline CEngineState& EngineState(CScriptEngine& engine) {
    return *static_cast<CEngineState*>(engine.GetServices());
}
