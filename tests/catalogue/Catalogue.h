// The behaviour catalogue (see README.md): reads the topic files' procedures and checks a
// run of each against its comments. No Windows header: the Windows machine of a run is
// the sandbox's.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "install/SilentInstallHost.h"

class CScriptEngine;

namespace catalogue {

struct Behaviour {
    std::string file;  // path of the topic file
    std::string name;  // the procedure
    int line = 0;      // file line (from 1) of its "proc" line
    bool stepped = false;
    std::vector<std::string> expectations;  // called: the items of the comments above "proc"
};

// For test names: the procedure's name, and "topic_Procedure" as a test name.
inline void PrintTo(const Behaviour& behaviour, std::ostream* out) {
    *out << behaviour.name;
}
std::string TestName(const Behaviour& behaviour);

// The behaviours of the named topics of folder, or of all its installation files (sorted).
std::vector<Behaviour> ReadBehaviours(const std::string& folder,
                                      const std::vector<std::string>& topics = {});

// The host of every run: answers as the silent host does, records each call as text.
class RecordingHost : public CSilentInstallHost {
public:
    std::string TakeCalls() { return std::exchange(calls_, ""); }  // "|"-separated

    void EndRun() override { Note("EndRun"); }
    void ResetProgressSteps() override { Note("Reset"); }
    int AddProgressSteps(int steps) override {
        Note("Add " + std::to_string(steps));
        return steps;
    }
    void ShowProgress() override { Note("Show"); }
    void HideProgress() override { Note("Hide"); }
    void ProgressStep(int pos) override {
        Note("Step " + std::to_string(pos));
        if (pos == 102) throw 102;  // stands for the user's cancel
    }
    void SetProgressText(const char* text) override { Note("Text '" + std::string(text) + "'"); }
    void OnRollback() override { Note("OnRollback"); }
    int Prompt(const char* text, const char* type) override {
        Note("Prompt '" + std::string(text) + "' '" + type + "'");
        return CSilentInstallHost::Prompt(text, type);
    }
    void ShowError(const char* text) override { Note("ShowError '" + std::string(text) + "'"); }
    int AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA* source,
                        const _WIN32_FIND_DATAA* destination) override {
        Note("AskReplaceNewer " + std::string(path));
        return CSilentInstallHost::AskReplaceNewer(path, source, destination);
    }

private:
    void Note(const std::string& call) { calls_ += (calls_.empty() ? "" : "|") + call; }
    std::string calls_;
};

// What a run needs beyond the engine core: the machine (registry, files, journal) and the
// test commands that set it up and look at it. Prepare runs after each load, Finish once
// the behaviour is checked.
class Sandbox {
public:
    virtual ~Sandbox() = default;
    virtual void Prepare(CScriptEngine& engine) = 0;
    virtual void Finish(CScriptEngine&) {}
};

// Loads the behaviour's file into an engine of its own with a RecordingHost and runs it;
// returns "file:line: proc Name" and one line per expectation that did not hold, or ""
// when the behaviour does what its comments say.
std::string Run(const Behaviour& behaviour, Sandbox& sandbox);

}  // namespace catalogue
