// Dialogue and progress commands against a host that records every call it gets.
#include <gtest/gtest.h>

#include <string>

#include "commands/CommandTables.h"
#include "install/InstallHost.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

namespace {

// Records each call as "<call> <arguments>|"; prompts answer 2 (No).
class RecordingHost : public CInstallHost {
public:
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
        if (pos == 102) throw 102;  // stands for the user's cancel, which the host raises
    }
    void SetProgressText(const char* text) override { Note("Text '" + std::string(text) + "'"); }
    void CheckCancel() override { Note("CheckCancel"); }
    int Prompt(const char* text, const char* type) override {
        Note("Prompt '" + std::string(text) + "' '" + type + "'");
        return 2;
    }
    void ShowError(const char* text) override { Note("ShowError '" + std::string(text) + "'"); }
    int AskReplaceNewer(const char*, const _WIN32_FIND_DATAA*, const _WIN32_FIND_DATAA*) override {
        Note("AskReplaceNewer");
        return 1;
    }

    std::string calls;

private:
    void Note(const std::string& call) { calls += call + "|"; }
};

class DialogueCommands : public testing::Test {
protected:
    DialogueCommands() {
        engine.RegisterCommands(kDialogueCommands);
        engine.SetHost(&host);
    }
    // Runs a statement; returns its script error code (0 for none).
    int Run(std::string statement) {
        host.calls.clear();
        result = -1;
        return ErrorOf([&] { result = engine.ExecuteStatement(statement.data()); });
    }

    CScriptEngine engine;
    RecordingHost host;
    int result = -1;
};

TEST_F(DialogueCommands, EachCommandMakesItsHostCallsInOrder) {
    const struct {
        const char* statement;
        int error;
        const char* calls;
        int result;  // when there is no error
    } cases[] = {
        {"progress_show 10", 0, "Reset|Add 10|Show|", 1},
        {"progress_show 10, \"Copying files\"", 0, "Reset|Add 10|Show|Text 'Copying files'|", 1},
        {"progress_show -5, \"\"", 0, "Reset|Add -5|Show|Text ''|", 1},  // still a title
        {"progress_show", 8, "", 0},
        {"progress_show many", 5, "", 0},
        {"progress_hide $unknown, \"left over", 0, "Hide|", 1},  // parses nothing
        {"progress_title Step one", 0, "Text 'Step one'|", 1},
        {"progress_title", 8, "", 0},
        {"progress_step", 0, "Step 1|", 1},
        {"progress_step -1", 0, "Step -1|", 1},
        {"progress_step 0x7FFFFFFF", 0, "Step 2147483647|", 1},
        {"progress_step 102", 102, "Step 102|", 0},  // the host's cancel passes through
        {"prompt \"Replace it?\", ?yNc", 0, "Prompt 'Replace it?' '?yNc'|", 2},
        {"prompt \"\"", 0, "Prompt '' ''|", 2},
        {"prompt", 8, "", 0},
        {"error \"Disk full\", a", 101, "ShowError 'Disk full'|", 0},
        {"error \"Disk full\", A", 101, "ShowError 'Disk full'|", 0},
        {"error \"Disk full\", xya", 101, "ShowError 'Disk full'|", 0},
        {"error Oops", 0, "ShowError 'Oops'|", 1},
        {"error Oops, xyz", 0, "ShowError 'Oops'|", 1},
        {"error Oops, \"\"", 0, "ShowError 'Oops'|", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error, Run(c.statement)) << c.statement;
        EXPECT_EQ(c.calls, host.calls) << c.statement;
        if (c.error == 0) {
            EXPECT_EQ(c.result, result) << c.statement;
        }
    }
}

TEST_F(DialogueCommands, WithoutAHostEveryCommandFailsWith13) {
    engine.SetHost(nullptr);
    for (const char* statement : {"prompt Hi", "prompt", "error Oops, a", "progress_show 3",
                                  "progress_hide", "progress_title x", "progress_step"}) {
        EXPECT_EQ(Run(statement), 13) << statement;
    }
}

}  // namespace
