// The engine's own interface to its callers: arguments handed to a procedure from outside,
// the host, and lines run again after what they mean changed.
#include <gtest/gtest.h>

#include <string>

#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

TEST(Interpreter, BindsArgumentsGivenByTheCallerAndNeedsAHost) {
    CScriptEngine engine;
    EXPECT_EQ(ErrorOf([&] { engine.GetHost(); }), 13);
    CSilentInstallHost host;
    engine.SetHost(&host);
    engine_test::LoadText(engine, "proc Uninstall\nset $n, $PARAMCNT\nset $first, $1\nendp\n");
    std::string args = "Reader One";
    engine.CallProc("Uninstall", args.data());
    EXPECT_STREQ(engine.GetVar("n"), "1");
    EXPECT_STREQ(engine.GetVar("first"), "Reader One");
    EXPECT_EQ(ErrorOf([&] { engine.GetVar("1"); }), 1);  // the frame is gone
}

namespace {
int SetProbe(CScriptEngine& engine, char*) {
    engine.SetVar("r", "probe");
    return 1;
}
int SetOther(CScriptEngine& engine, char*) {
    engine.SetVar("r", "other");
    return 1;
}
}  // namespace

// A line run before keeps its meaning only while the command table, the lines and the
// procedure table stay as they were.
TEST(Interpreter, RunsALineAnewAfterWhatItMeansChanged) {
    CScriptEngine engine;
    engine_test::LoadText(engine, "proc Main\nstep\nendp\nproc Step\nset $r, proc\nendp\n");
    engine.CallProc("Main");
    EXPECT_STREQ(engine.GetVar("r"), "proc");
    const ScriptCommand step[] = {{"step", SetProbe}, {nullptr, nullptr}};
    engine.RegisterCommands(step);
    engine.CallProc("Main");
    EXPECT_STREQ(engine.GetVar("r"), "probe");
    const ScriptCommand other[] = {{"STEP", SetOther}, {nullptr, nullptr}};
    engine.RegisterCommands(other);
    engine.CallProc("Main");
    EXPECT_STREQ(engine.GetVar("r"), "other");

    engine_test::LoadText(engine, "proc Main\nset $r, new\nendp\n");
    engine.CallProc("Main");
    EXPECT_STREQ(engine.GetVar("r"), "new");
}

TEST(Interpreter, RunsRollbackLinesAddedSinceTheLastRun) {
    CScriptEngine engine;
    CItemArray rollback(8, 8);
    for (const char* line : {"proc DefaultRollback", "set $n, 0", "again:", "intadd $n",
                             "if intcmp $n, \"<\", 2", "goto again", "endp"}) {
        rollback.Add(line);
    }
    engine.SetRollbackLines(&rollback, 1);
    engine.SetRollbackMode(true);
    engine.CallProc("Any");
    EXPECT_STREQ(engine.GetVar("n"), "2");
    // Newer undo lines come first: every line moves, the label with them.
    rollback.InsertAt(1, "set $first, 1");
    rollback.SetAt(5, "if intcmp $n, \"<\", 4");
    engine.CallProc("Any");
    EXPECT_STREQ(engine.GetVar("n"), "4");
    EXPECT_STREQ(engine.GetVar("first"), "1");
}

// A line without substitution is read from its kept tokens; the same line with a
// substitution that adds nothing is read from its text every time. Both give the same
// results, errors and variables, on the line's first run and on its second.
TEST(Interpreter, KeptArgumentsReadAsTheWrittenText) {
    const char* const statements[] = {"intadd $i",
                                      "intadd $i, 0x10",
                                      "intadd $i, x",
                                      "intadd \"$i\"",
                                      "intadd $i, 1, 2",
                                      "intadd $i,",
                                      "intadd",
                                      "intcmp $i, \"<\"",
                                      "intcmp $none, \"<\", x", "intcmp $none, $i, $s",
                                      "intcmp $i, \"<\", $i",
                                      "strcmp $s, \"=\", \"a#\"b\", 2",
                                      "strlen ,",
                                      "strlen \"\"",
                                      "strget $t, $s, 2, 1",
                                      "set $t",
                                      "set $t,",
                                      "set $t, \"\", x",
                                      "set $t, $s, $none",
                                      "eval $r, intcmp $i, \"=\", 2",
                                      "eval $r",
                                      "if intcmp $i, \">\", 3",
                                      "Sub $i, , \"#;\"",
                                      "Sub a,"};
    for (const char* statement : statements) {
        std::string outcome[2];
        for (int way = 0; way < 2; ++way) {
            CScriptEngine engine;
            engine_test::LoadText(engine,
                                  std::string("proc Main\n") + statement + (way ? "#$e#" : "") +
                                      "\nendp\nproc Sub\nset $r, \"#$PARAMCNT#:#$1#:#$2#\"\n"
                                      "endp\n");
            for (const char* name : {"i", "s", "e"}) engine.SetVar(name, name[0] == 'i' ? "2" : "");
            engine.SetVar("s", "abc");
            for (int run = 0; run < 2; ++run) {
                int result = 0;
                outcome[way] += std::to_string(ErrorOf([&] { result = engine.CallProc("Main"); }));
                outcome[way] += "/" + std::to_string(result);
                for (const char* name : {"i", "r", "t"}) {
                    outcome[way] +=
                        engine.HasGlobalVar(name) ? std::string(" ") + engine.GetVar(name) : " -";
                }
            }
        }
        EXPECT_EQ(outcome[0], outcome[1]) << statement;
    }
}
