// The seam through which a run can be watched: the installation log listens here.
//
// Nobody listens by default; then every hook is one test of a null pointer, so watching
// costs nothing unless it is switched on. The interpreter reports each statement it runs;
// the flows, hosts and journal report their own steps as lines of text with RunNote.
#pragma once

class CScriptEngine;

class CRunObserver {
public:
    virtual ~CRunObserver() = default;
    // A statement is about to run: its command word and argument text (nullptr for none),
    // as expanded. Both are only valid during this call.
    virtual void StatementStarting(const CScriptEngine& engine, const char* word,
                                   const char* args) = 0;
    // The statement begun last has ended with result (not called when it raised an error).
    virtual void StatementEnded(const CScriptEngine& engine, int result) = 0;
    // One event of the run, as text.
    virtual void Note(const char* text) = 0;
};

// The observer of this process, or nullptr. Not owned.
extern CRunObserver* g_runObserver;

// Whether anyone watches the runs of this process.
inline bool RunWatched() {
    return g_runObserver != nullptr;
}

// Formats an event printf-style and hands it to the observer; does nothing (and formats
// nothing) when there is none.
void RunNote(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
