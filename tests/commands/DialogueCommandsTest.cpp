// Dialogue and progress commands against a host that records every call it gets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/CommandTables.h"
#include "install/InstallHost.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

namespace {

class RecordingHost : public CInstallHost {
public:
    void EndRun() override { calls.push_back("EndRun"); }
    void ResetProgressSteps() override { calls.push_back("Reset"); }
    int AddProgressSteps(int steps) override {
        calls.push_back("Add " + std::to_string(steps));
        return steps;
    }
    void ShowProgress() override { calls.push_back("Show"); }
    void HideProgress() override { calls.push_back("Hide"); }
    void ProgressStep(int pos) override {
        calls.push_back("Step " + std::to_string(pos));
        if (cancelSteps) throw 102;
    }
    void SetProgressText(const char* text) override { calls.push_back("Text " + Quote(text)); }
    void CheckCancel() override { calls.push_back("CheckCancel"); }
    int Prompt(const char* text, const char* type) override {
        calls.push_back("Prompt " + Quote(text) + " " + Quote(type));
        return answer;
    }
    void ShowError(const char* text) override { calls.push_back("ShowError " + Quote(text)); }
    int AskReplaceNewer(const char*, const _WIN32_FIND_DATAA*, const _WIN32_FIND_DATAA*) override {
        calls.push_back("AskReplaceNewer");
        return 1;
    }

    std::vector<std::string> calls;
    int answer = 1;
    bool cancelSteps = false;

private:
    static std::string Quote(const char* text) { return "'" + std::string(text) + "'"; }
};

class DialogueCommands : public testing::Test {
protected:
    DialogueCommands() {
        engine.RegisterCommands(kDialogueCommands);
        engine.SetHost(&host);
    }
    // Runs a statement; returns its script error code (0 for none).
    int Run(const std::string& statement) {
        line = statement;
        return ErrorOf([&] { result = engine.ExecuteStatement(line.data()); });
    }
    using Calls = std::vector<std::string>;

    CScriptEngine engine;
    RecordingHost host;
    std::string line;
    int result = -1;
};

TEST_F(DialogueCommands, ProgressShowResetsAddsShowsAndTitlesOnlyWhenGivenATitle) {
    EXPECT_EQ(Run("progress_show 10"), 0);
    EXPECT_EQ(host.calls, (Calls{"Reset", "Add 10", "Show"}));
    EXPECT_EQ(result, 1);

    host.calls.clear();
    EXPECT_EQ(Run("progress_show 10, \"Copying files\""), 0);
    EXPECT_EQ(host.calls, (Calls{"Reset", "Add 10", "Show", "Text 'Copying files'"}));

    host.calls.clear();
    EXPECT_EQ(Run("progress_show -5, \"\""), 0);  // an empty title is still a title
    EXPECT_EQ(host.calls, (Calls{"Reset", "Add -5", "Show", "Text ''"}));

    host.calls.clear();
    EXPECT_EQ(Run("progress_show"), 8);
    EXPECT_EQ(Run("progress_show many"), 5);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(DialogueCommands, ProgressHideTitleAndStepMakeOneCallEach) {
    // progress_hide parses nothing, not even an unknown variable.
    EXPECT_EQ(Run("progress_hide $unknown, \"left over"), 0);
    EXPECT_EQ(Run("progress_title Step one"), 0);
    EXPECT_EQ(Run("progress_step"), 0);
    EXPECT_EQ(Run("progress_step -1"), 0);
    EXPECT_EQ(Run("progress_step 0x7FFFFFFF"), 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(host.calls,
              (Calls{"Hide", "Text 'Step one'", "Step 1", "Step -1", "Step 2147483647"}));
    EXPECT_EQ(Run("progress_title"), 8);

    host.cancelSteps = true;  // the user's cancel, raised by the host, passes through
    EXPECT_EQ(Run("progress_step 3"), 102);
}

TEST_F(DialogueCommands, PromptPassesTheTypeAndReturnsTheAnswer) {
    host.answer = 2;
    EXPECT_EQ(Run("prompt \"Replace it?\", ?yNc"), 0);
    EXPECT_EQ(result, 2);
    host.answer = 0;
    EXPECT_EQ(Run("prompt \"\""), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host.calls, (Calls{"Prompt 'Replace it?' '?yNc'", "Prompt '' ''"}));
    EXPECT_EQ(Run("prompt"), 8);
}

TEST_F(DialogueCommands, ErrorShowsTheMessageAndAbortsOnlyWithTheLetterA) {
    for (const char* flags : {"a", "A", "xya"}) {
        host.calls.clear();
        EXPECT_EQ(Run(std::string("error \"Disk full\", ") + flags), 101) << flags;
        EXPECT_EQ(host.calls, (Calls{"ShowError 'Disk full'"})) << flags;
    }
    for (const char* statement : {"error Oops", "error Oops, xyz", "error Oops, \"\""}) {
        host.calls.clear();
        result = -1;
        EXPECT_EQ(Run(statement), 0) << statement;
        EXPECT_EQ(result, 1) << statement;
        EXPECT_EQ(host.calls, (Calls{"ShowError 'Oops'"})) << statement;
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
