// The engine's rollback: StartJournal, CommitJournal and RollBack with the recorded
// DefaultRollback procedure; the rollback commands; the script's file source; and the
// Windows error report. Scripts are written inline, one small file per behaviour.
#include <gtest/gtest.h>

#include <functional>

#include "commands/ReportWinError.h"
#include "commands/FileSource.h"
#include "engine/ScriptEngine.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/rollback/RecordingHost.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

std::vector<std::string> gNotes;

// note text: remembers text, in the order the notes run.
int Note(CScriptEngine& engine, char* args) {
    const char* text = "";
    ParseArgs(engine, args, nullptr, "S", &text);
    gNotes.push_back(text);
    return 1;
}
// stoprec / stoprec_ok: turn recording off, then fail or return 7 (for "@").
int StopRecordingAndFail(CScriptEngine& engine, char*) {
    engine.GetRollbackScript().SetRecording(false);
    ThrowScriptError(ScriptError::kAborted);
}
int StopRecording(CScriptEngine& engine, char*) {
    engine.GetRollbackScript().SetRecording(false);
    return 7;
}
// failwin text: a Windows call failing with access denied, reported the commands' way.
int FailWin(CScriptEngine& engine, char* args) {
    const char* text = "";
    ParseArgs(engine, args, nullptr, "S", &text);
    SetLastError(ERROR_ACCESS_DENIED);
    return ReportWinError(engine, text);
}
const ScriptCommand kTestCommands[] = {
    {"note", Note},
    {"stoprec", StopRecordingAndFail},
    {"stoprec_ok", StopRecording},
    {"failwin", FailWin},
    {nullptr, nullptr},
};

using engine_test::ErrorOf;

class RollbackEngineTest : public ::testing::Test {
protected:
    RollbackEngineTest() {
        gNotes.clear();
        engine.RegisterCommands(kTestCommands);
        engine.SetHost(&host);
    }
    // Loads the lines as an installation file in the test folder.
    void Load(const std::string& body, const std::string& name = "setup.pxf") {
        const std::string path = folder / name;
        WriteFileText(path, ";OBRIX_INST_FILE\r\n" + body);
        engine.Load(path.c_str());
        engine.SetGlobalVar("OUT", out.c_str());  // Load empties the globals
    }
    // Runs Install inside the journal after backing up and overwriting driver.dll, the way
    // copy does; returns the file's path.
    std::string InstallOverAFile() {
        const std::string file = folder / "driver.dll";
        WriteFileText(file, "original");
        engine.StartJournal();
        engine.GetJournal().BackupFile(file.c_str());
        WriteFileText(file, "installed");
        engine.CallProc("Install");
        return file;
    }

    ScratchRoots roots;
    TempFolder folder;
    const std::string out = folder / "saved.pxf";
    RecordingHost host;
    CScriptEngine engine;
};

TEST_F(RollbackEngineTest, RollBackWithoutStartJournalOnlyEndsTheRun) {
    Load("proc Install\r\nrback_add note A\r\nendp\r\n");
    engine.CallProc("Install");
    engine.RollBack();
    EXPECT_EQ(host.calls, std::vector<std::string>{"EndRun"});
    EXPECT_TRUE(gNotes.empty());
    EXPECT_FALSE(engine.IsRollbackMode());
}

TEST_F(RollbackEngineTest, UndoLinesRunNewestFirstAndThenTheJournalIsReplayed) {
    Load(
        "proc Install\r\n"
        "set $onErrorProc, Handler\r\n"
        "rback_add note A\r\n"
        "rback_add note B\r\n"
        "end\r\n"
        "endp\r\n"
        "proc Handler\r\n"
        "note handler\r\n"
        "endp\r\n");
    const std::string file = InstallOverAFile();  // "end" leaves the stop mode set
    host.calls.clear();

    engine.RollBack();
    EXPECT_EQ(gNotes, (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(ReadFileText(file), "original");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"EndRun", "OnRollback", "EndRun"}));
    EXPECT_TRUE(engine.IsRollbackMode());
    EXPECT_STREQ(engine.GetVar("onErrorProc"), "");
    EXPECT_FALSE(engine.GetRollbackScript().IsRecording());
    EXPECT_FALSE(engine.GetJournal().IsActive());
    EXPECT_TRUE(folder.TempFiles().empty());

    // A second rollback finds nothing recorded.
    host.calls.clear();
    engine.RollBack();
    EXPECT_EQ(host.calls, std::vector<std::string>{"EndRun"});
    EXPECT_EQ(gNotes.size(), 2u);
}

// Each undo line runs once: a call from an undo line runs a procedure copied into the
// rollback script, or fails with 1, and never the undo lines again. Their failure ends them,
// but the journal is still replayed.
TEST_F(RollbackEngineTest, FailingUndoLineEndsTheUndoLinesButNotTheReplay) {
    Load(
        "proc Install\r\n"
        "rback_add note A\r\n"
        "rback_add NoSuchCommand\r\n"
        "rback_add Helper\r\n"
        "rback_addproc Helper\r\n"
        "rback_add note C\r\n"
        "endp\r\n"
        "proc Helper\r\nnote helper\r\nendp\r\n");
    const std::string file = InstallOverAFile();
    host.calls.clear();

    EXPECT_EQ(ErrorOf([&] { engine.RollBack(); }), ScriptError::kNotFound);
    EXPECT_EQ(gNotes, (std::vector<std::string>{"C", "helper"}));
    EXPECT_EQ(ReadFileText(file), "original");
    EXPECT_TRUE(folder.TempFiles().empty());
    EXPECT_FALSE(engine.IsRollbackMode());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"EndRun", "OnRollback", "EndRun"}));
}

TEST_F(RollbackEngineTest, GotoInAnUndoLineJumpsAmongTheUndoLines) {
    // The installation file's own "past:" label must not be the target.
    Load(
        "proc Install\r\n"
        "rback_add note A\r\n"
        "rback_add past: note B\r\n"
        "rback_add note skipped\r\n"
        "rback_add goto past\r\n"
        "endp\r\n"
        "proc Other\r\n"
        "past: note file\r\n"
        "endp\r\n");
    InstallOverAFile();
    EXPECT_EQ(ErrorOf([&] { engine.RollBack(); }), 0);
    EXPECT_EQ(gNotes, (std::vector<std::string>{"B", "A"}));
}

TEST_F(RollbackEngineTest, RollbackScriptLongerThanTheInstallationFileRunsWhole) {
    Load("proc Install\r\nendp\r\n");
    engine.StartJournal();
    for (int i = 1; i <= 40; ++i) engine.AddUndoLine(("note " + std::to_string(i)).c_str());
    engine.RollBack();
    ASSERT_EQ(gNotes.size(), 40u);
    EXPECT_EQ(gNotes.front(), "40");
    EXPECT_EQ(gNotes.back(), "1");
}

TEST_F(RollbackEngineTest, CommitEndsTheRunAndLeavesNoFileOfItBehind) {
    Load("proc Install\r\nrback_add note A\r\nendp\r\n");
    WriteFileText(folder / "a.txt", "a");
    WriteString(HKEY_LOCAL_MACHINE, "Software\\Dev", "V", "v");
    engine.StartJournal();
    engine.CallProc("Install");
    engine.GetJournal().BackupFile((folder / "a.txt").c_str());
    engine.GetJournal().BackupRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Dev", 1);
    EXPECT_EQ(folder.TempFiles().size(), 2u);
    engine.CommitJournal();
    EXPECT_TRUE(folder.TempFiles().empty());
    EXPECT_EQ(host.calls, std::vector<std::string>{"EndRun"});
    EXPECT_EQ(engine.GetRollbackScript().GetLines().GetCount(), 0);
}

TEST_F(RollbackEngineTest, SavedScriptListsUndoLinesNewestFirstThenCopiedProcedures) {
    Load(
        "proc Install\r\n"
        "rback_add A\r\n"
        "rback_add B\r\n"
        "rback_addproc Helper\r\n"
        "rback_addproc remove, Uninstall\r\n"
        "eval $SAVED, rback_save $OUT\r\n"
        "endp\r\n"
        "proc Helper a, b\r\n"
        "note x\r\n"
        "endp\r\n"
        "proc Remove\r\n"
        "note r\r\n"
        "endp\r\n");
    engine.StartJournal();
    engine.CallProc("Install");
    EXPECT_EQ(engine.GetVarInt("SAVED"), 1);
    EXPECT_EQ(ReadFileText(out),
              ";OBRIX_INST_FILE\r\nproc DefaultRollback\r\nB\r\nA\r\nendp\r\n"
              "; \r\nproc Helper a, b\r\nnote x\r\nendp\r\n"
              "; \r\nproc Uninstall\r\nnote r\r\nendp\r\n");

    // The saved file is an installation file whose Uninstall runs.
    CScriptEngine saved;
    saved.RegisterCommands(kTestCommands);
    saved.Load(out.c_str());
    saved.CallProc("Uninstall");
    EXPECT_EQ(gNotes, std::vector<std::string>{"r"});
}

TEST_F(RollbackEngineTest, NothingIsRecordedOrSavedOutsideARecordingRun) {
    Load(
        "proc Save\r\n"
        "rback_add note early\r\n"
        "rback_addproc Save\r\n"
        "eval $SAVED, rback_save $OUT\r\n"
        "endp\r\n"
        "proc Missing\r\n"
        "rback_addproc NoSuchProc\r\n"
        "endp\r\n");
    engine.CallProc("Save");
    EXPECT_EQ(engine.GetVarInt("SAVED"), 0);
    EXPECT_FALSE(PathExists(out));
    EXPECT_EQ(engine.GetRollbackScript().GetLines().GetCount(), 0);

    engine.StartJournal();
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("Missing"); }), ScriptError::kNotFound);
    engine.AddUndoLine("rback_save $OUT");
    engine.AddUndoLine("note during");
    engine.RollBack();
    EXPECT_EQ(gNotes, std::vector<std::string>{"during"});
    EXPECT_FALSE(PathExists(out));
}

TEST_F(RollbackEngineTest, AtKeepsTheRecordingSwitchWhateverItsStatementDoes) {
    Load(
        "proc Fails\r\n@ stoprec\r\nendp\r\n"
        "proc Returns\r\n@ stoprec_ok\r\nendp\r\n"
        "proc Records\r\n@ rback_add note X\r\nendp\r\n"
        "proc Empty\r\n@\r\nendp\r\n");
    engine.StartJournal();
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("Fails"); }), ScriptError::kAborted);
    EXPECT_TRUE(engine.GetRollbackScript().IsRecording());
    EXPECT_EQ(engine.CallProc("Returns"), 0);  // endp's 0 is the procedure's result ...
    EXPECT_TRUE(engine.GetRollbackScript().IsRecording());
    engine.CallProc("Records");
    EXPECT_EQ(engine.GetRollbackScript().GetLines().GetCount(), 4);
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("Empty"); }), ScriptError::kSyntax);

    // ... and a switch that was off stays off.
    engine.GetRollbackScript().SetRecording(false);
    char statement[] = "@ stoprec_ok";
    EXPECT_EQ(engine.ExecuteStatement(statement), 7);
    EXPECT_FALSE(engine.GetRollbackScript().IsRecording());
}

TEST_F(RollbackEngineTest, ScriptDirectoryIsTheOneFileSource) {
    CreateDirectoryA((folder / "Media").c_str(), nullptr);
    WriteFileText(folder / "Media\\drv.sys", "driver");
    Load("proc Install\r\nendp\r\n", "Media\\setup.pxf");
    engine.AddScriptDirSource();
    engine.AddScriptDirSource();
    CFileSourceList& sources = engine.GetFileSources();
    ASSERT_EQ(sources.GetCount(), 1);
    EXPECT_EQ(static_cast<CDirectorySource*>(sources.GetAt(0))->GetDirectory(), folder / "Media\\");
    EXPECT_TRUE(sources.Copy("DRV.SYS", (folder / "copy.sys").c_str(), &host));
    EXPECT_EQ(ReadFileText(folder / "copy.sys"), "driver");
}

TEST_F(RollbackEngineTest, WindowsErrorsGoToTheErrorProcedure) {
    Load(
        "proc Main\r\n"
        "failwin C:\\plain\r\n"
        "set $onErrorProc, OnError\r\n"
        "failwin C:\\x\r\n"
        "endp\r\n"
        "proc OnError\r\n"
        "set $GOT, #$1#/#$2#/#$PARAMCNT#\r\n"
        "endp\r\n");
    engine.CallProc("Main");
    EXPECT_EQ(engine.GetVarInt("lastWinError"), ERROR_ACCESS_DENIED);
    EXPECT_STREQ(engine.GetVar("GOT"), "5/C:\\x/2");
}

}  // namespace
