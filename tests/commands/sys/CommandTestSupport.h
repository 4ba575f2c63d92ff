// An engine with the file and registry commands, scratch registry roots, a scratch folder
// (also the temporary directory) with a file source in it, and a host that records the newer-file
// questions: the set-up of every command test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/PathHelpers.h"
#include "commands/RestartFileOps.h"
#include "commands/SystemCommandTables.h"
#include "commands/FileSource.h"
#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"
#include "tests/rollback/RollbackTestSupport.h"
#include "tests/engine/EngineTestSupport.h"

namespace sys_test {

class RecordingHost : public CSilentInstallHost {
public:
    int AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA* source,
                        const _WIN32_FIND_DATAA* destination) override {
        questions.push_back(path);
        return CSilentInstallHost::AskReplaceNewer(path, source, destination);
    }
    std::vector<std::string> questions;
};

class CommandTest : public ::testing::Test {
protected:
    CommandTest() {
        engine.RegisterCommands(kFileCommands);
        engine.RegisterCommands(kRegistryCommands);
        engine.SetHost(&host);
        CreateDirectoryA(SourceDir().c_str(), nullptr);
        CreateDirectoryA(TargetDir().c_str(), nullptr);
        engine.GetFileSources().InsertAt(0, std::make_unique<CDirectorySource>(SourceDir()));
        // Restart-time work goes to a WININIT.INI of the test's own.
        tolv::OverrideIsWindowsNT(0);
        tolv::SetWindowsDirectoryForTesting(folder.Path().c_str());
    }
    ~CommandTest() override {
        // A test that neither commits nor rolls back leaves no backup file behind either.
        engine.GetJournal().Commit();
        tolv::SetWindowsDirectoryForTesting(nullptr);
        tolv::OverrideIsWindowsNT(-1);
    }

    std::string SourceDir() const { return folder / "src"; }
    std::string TargetDir() const { return folder / "dst"; }
    std::string Source(const std::string& name) const { return SourceDir() + "\\" + name; }
    std::string Target(const std::string& name) const { return TargetDir() + "\\" + name; }
    std::string Wininit() const { return ReadFileText(folder / "WININIT.INI"); }

    // Loads a script whose procedure Main has body as its lines and runs it. Returns the
    // result of body's last statement; a script error fails the test (use Error for those).
    int Run(std::string body) {
        while (!body.empty() && body.back() == '\n') body.pop_back();
        const size_t last = body.rfind('\n') + 1;  // 0 when body is one line
        body.insert(last, "eval $runResult, ");
        Load(body + "\nreturn $runResult");
        return engine.CallProc("Main");
    }
    // The script error code Main raises, 0 when none.
    int Error(const std::string& body) {
        Load(body);
        return engine_test::ErrorOf([&] { engine.CallProc("Main"); });
    }
    void Load(const std::string& body) {
        engine_test::LoadText(engine, "proc Main\n" + body + "\nendp\n" + extraProcs);
    }

    // The recorded undo lines, newest first.
    std::vector<std::string> UndoLines() {
        std::vector<std::string> lines;
        const CItemArray& all = engine.GetRollbackScript().GetLines();
        for (int i = engine.GetRollbackScript().GetBodyIndex(); i < all.GetCount(); ++i) {
            const char* line = all.GetAt(i);
            if (line && std::string(line) == "endp") break;
            lines.push_back(line ? line : "");
        }
        return lines;
    }
    std::string Var(const char* name) const {
        return engine.HasGlobalVar(name) ? engine.GetVar(name) : "<unset>";
    }

    ScratchRoots roots;
    TempFolder folder;  // also the temporary directory
    RecordingHost host;
    CScriptEngine engine;
    std::string extraProcs;  // further procedures of the loaded script
};

}  // namespace sys_test
