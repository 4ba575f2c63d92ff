// The behaviour catalogue: installation files under tests/catalogue, one per topic, in
// which every behaviour is a procedure that states what it must do in its comments.
//
// A procedure runs in one of two ways, chosen by where its expectations stand:
// - Called: expectation comments directly above "proc Name" make the procedure a
//   behaviour that is called as a whole (a fresh load of the file, CallProc):
//     ; => ITEMS           what the call gives (several such lines may stand)
//     ; $NAME: text        afterwards GetVar(NAME) is exactly the rest of the line
// - Stepped: a procedure whose lines end in "; => ITEMS" is run one line at a time at the
//   top level, as the interpreter runs a line (expand, strip the label, execute); each line
//   must succeed unless its expectations say otherwise, and is checked on its own.
// ITEMS, separated by blanks:
//     N                    the result
//     error N              the script error code
//     line N, line +N      the current line: file line N, or N lines below "proc"
//     $NAME=value          the variable's value; "$NAME:" takes the rest of the line
//     !$NAME               the variable is not set
// An expected value may hold "#$NAME#", replaced by that variable's value as in a script
// line. What is not named is not checked. A failure names the file, the line and the procedure.
//
// This part needs no Windows header: with a sandbox that has no machine of its own it
// runs the core-language topics natively too.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "install/SilentInstallHost.h"

class CScriptEngine;

namespace catalogue {

struct Behaviour {
    std::string file;  // path of the topic file
    std::string name;  // the procedure
    int line = 0;      // file line (from 1) of its "proc" line
    bool stepped = false;
    std::vector<std::string> expectations;  // called: the comment lines above "proc"
};

// For test names: the procedure's name.
void PrintTo(const Behaviour& behaviour, std::ostream* out);

// The installation files of the folder, sorted; the behaviours of one of them.
std::vector<std::string> TopicFiles(const std::string& folder);
std::vector<Behaviour> ReadBehaviours(const std::string& path);

// The host of every run: answers as the silent host does, records each call as text.
class RecordingHost : public CSilentInstallHost {
public:
    std::string TakeCalls();  // the calls since the last TakeCalls, "|"-separated

    void EndRun() override { Note("EndRun"); }
    void ResetProgressSteps() override { Note("Reset"); }
    int AddProgressSteps(int steps) override;
    void ShowProgress() override { Note("Show"); }
    void HideProgress() override { Note("Hide"); }
    void ProgressStep(int pos) override;  // position 102 stands for the user's cancel
    void SetProgressText(const char* text) override { Note("Text '" + std::string(text) + "'"); }
    void OnRollback() override { Note("OnRollback"); }
    int Prompt(const char* text, const char* type) override;
    void ShowError(const char* text) override { Note("ShowError '" + std::string(text) + "'"); }
    int AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA* source,
                        const _WIN32_FIND_DATAA* destination) override;

private:
    void Note(const std::string& call);
    std::string calls_;
};

// What a run needs beyond the engine core: the machine (registry, files, journal) and the
// test commands that set it up and look at it. Prepare runs after each load.
class Sandbox {
public:
    virtual ~Sandbox() = default;
    virtual void Prepare(CScriptEngine& engine) = 0;
};

// Loads the behaviour's file into engine and runs it; returns one line per expectation
// that did not hold, empty when the behaviour does what its comments say.
std::string Run(const Behaviour& behaviour, CScriptEngine& engine, Sandbox& sandbox);

}  // namespace catalogue
