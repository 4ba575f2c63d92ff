#include "commands/ComSession.h"

#include <objbase.h>

#include <new>

#include "engine/ScriptEngine.h"
#include "commands/EngineState.h"

bool CComSession::InitCom() {
    if (!initialised_) initialised_ = SUCCEEDED(CoInitialize(nullptr));
    return initialised_;
}

void CComSession::DoneCom() {
    if (!initialised_) return;
    CoUninitialize();
    initialised_ = false;
}

CComSession& CScriptEngine::GetComSession() {
    std::unique_ptr<CComSession>& session = EngineState(*this).comSession;
    if (!session) {
        session.reset(new (std::nothrow) CComSession);
        if (!session) ThrowScriptError(ScriptError::kNoMemory);
    }
    return *session;
}
