#include "commands/ComSession.h"

#include <objbase.h>

#include <new>

#include "engine/ScriptEngine.h"

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
    if (!comSession_) {
        comSession_.reset(new (std::nothrow) CComSession);
        if (!comSession_) ThrowScriptError(ScriptError::kNoMemory);
    }
    return *comSession_;
}

void CScriptEngine::ComSessionDeleter::operator()(CComSession* session) const {
    delete session;  // DoneCom
}
