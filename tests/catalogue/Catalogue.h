// The behaviour catalogue (see README.md): reads the topic files' procedures and checks a
// run of each against its comments. No Windows header: the Windows machine of a run is
// the sandbox's.
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

// For test names: the procedure's name, and "topic_Procedure" as a test name.
void PrintTo(const Behaviour& behaviour, std::ostream* out);
std::string TestName(const Behaviour& behaviour);

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
