// The COM library as one Script engine uses it. Only shell links need COM, so it is
// initialised when the first link is made and released when the engine is destroyed; an
// engine that makes no link never touches it. Each engine keeps its own flag, so engines
// that follow one another (or overlap) on one thread each balance their own initialisation.
#pragma once

class CComSession {
public:
    CComSession() = default;
    ~CComSession() { DoneCom(); }
    CComSession(const CComSession&) = delete;
    CComSession& operator=(const CComSession&) = delete;

    // True when COM is usable on this thread. Initialises it on the first call that
    // succeeds (a thread where COM was initialised before counts as success); a failed
    // attempt is made again by the next call.
    bool InitCom();
    // Releases what InitCom initialised, once; later calls do nothing until InitCom again.
    void DoneCom();

private:
    bool initialised_ = false;
};
