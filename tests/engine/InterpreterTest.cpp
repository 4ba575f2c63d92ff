// The interpreter seen from C++: call depth, frames and scopes, line expansion limits,
// the command registry, stop modes, the rollback seam and the host.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "engine/CoreCommands.h"
#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;
using engine_test::LoadText;

namespace {

// "probe" runs whatever the current test puts here; "countdown" is true while the counter,
// counted down by each call, has not reached zero.
std::function<int(CScriptEngine&, char*)> gProbe;
int gCounter = 0;

int Probe(CScriptEngine& engine, char* args) {
    return gProbe ? gProbe(engine, args) : 0;
}
int Countdown(CScriptEngine&, char*) {
    return gCounter > 0 ? (--gCounter, 1) : 0;
}

const ScriptCommand kTestCommands[] = {
    {"probe", Probe},
    {"countdown", Countdown},
    {nullptr, nullptr},
};

class Interpreter : public testing::Test {
protected:
    Interpreter() { engine.RegisterCommands(kTestCommands); }
    ~Interpreter() override { gProbe = nullptr; }
    CScriptEngine engine;
};

}  // namespace

TEST_F(Interpreter, AllowsOneHundredActiveCallsAndNoMore) {
    LoadText(engine, "proc Down\nif countdown\nDown\nendp\n");
    gCounter = 99;  // 100 calls in all
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("Down"); }), 0);

    gProbe = nullptr;
    gCounter = 100;
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("Down"); }), 6);
    EXPECT_EQ(engine.GetCallDepth(), 0);
    EXPECT_EQ(engine.GetCurrentLine(), 3);  // the "Down" line of the hundredth call

    gCounter = 3;  // the engine is usable again
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("Down"); }), 0);
    EXPECT_EQ(gCounter, 0);
}

TEST_F(Interpreter, BoundsStatementsNestedInOneLine) {
    // Each call of A nests 1300 statements in one line; without a bound, 100 such calls
    // would take the native stack far beyond its size.
    std::string ifs;
    for (int i = 0; i < 1300; ++i) ifs += "if ";
    LoadText(engine, "proc A\n" + ifs + "A\nendp\n");
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("A"); }), 6);
    EXPECT_EQ(engine.GetCallDepth(), 0);
}

TEST_F(Interpreter, ReadsVariablesAsIntegersByTheirLeadingNumber) {
    engine.SetGlobalVar("a", "12abc");
    engine.SetGlobalVar("b", "0x10");
    engine.SetGlobalVar("c", "");
    EXPECT_EQ(engine.GetVarInt("a"), 12);
    EXPECT_EQ(engine.GetVarInt("b"), 0);
    EXPECT_EQ(engine.GetVarInt("c"), 0);
    EXPECT_EQ(ErrorOf([&] { engine.GetVarInt("d"); }), 1);
    engine.SetVarInt("d", -2147483647 - 1);
    EXPECT_STREQ(engine.GetVar("d"), "-2147483648");
}

TEST_F(Interpreter, HandsCommandsTheirArgumentText) {
    LoadText(engine,
             "proc Main\nprobe\nprobe ; only a comment\nPROBE \t a, b\n"
             "lbl:probe x\nendp\n");
    std::string calls;
    gProbe = [&](CScriptEngine&, char* args) {
        calls += args ? "[" + std::string(args) + "]" : "null";
        return 0;
    };
    engine.CallProc("Main");
    EXPECT_EQ(calls, "null[][a, b][x]");
}

TEST_F(Interpreter, RegistersCommandsByNameWithReplacement) {
    EXPECT_NE(engine.FindCommand("SeT"), nullptr);
    EXPECT_EQ(engine.FindCommand("nosuch"), nullptr);
    EXPECT_EQ(engine.FindCommand("probe"), &Probe);

    const ScriptCommand replacement[] = {
        {"PROBE", Countdown}, {"extra", Probe}, {nullptr, nullptr}};
    engine.RegisterCommands(replacement, 1);  // only the first row
    EXPECT_EQ(engine.FindCommand("probe"), &Countdown);
    EXPECT_EQ(engine.FindCommand("extra"), nullptr);
}

TEST_F(Interpreter, EndStopsEveryLaterCall) {
    LoadText(engine, "proc Main\nend\nendp\nproc Other\nset $ran, 1\nendp\n");
    EXPECT_EQ(engine.CallProc("Main"), 1);
    EXPECT_EQ(engine.CallProc("Other"), 0);
    EXPECT_FALSE(engine.HasGlobalVar("ran"));
    EXPECT_EQ(engine.GetCallDepth(), 0);
}

TEST_F(Interpreter, BindsArgumentsGivenByTheCaller) {
    LoadText(engine, "proc Uninstall\nset $n, $PARAMCNT\nset $first, $1\nendp\n");
    std::string args = "Reader One";
    engine.CallProc("Uninstall", args.data());
    EXPECT_STREQ(engine.GetVar("n"), "1");
    EXPECT_STREQ(engine.GetVar("first"), "Reader One");
    EXPECT_EQ(ErrorOf([&] { engine.GetVar("1"); }), 1);  // the frame is gone
}

TEST_F(Interpreter, RunsStatementsOutsideAnyCallOnTheGlobals) {
    std::string line = "lset $x, 1";
    EXPECT_EQ(engine.ExecuteStatement(line.data()), 1);
    EXPECT_STREQ(engine.GetVar("x"), "1");
    line = "   ";
    EXPECT_EQ(engine.ExecuteStatement(line.data()), 0);
}

TEST_F(Interpreter, RunsTheRollbackLinesInRollbackMode) {
    LoadText(engine, "proc Main\nendp\n");  // three lines; the rollback body is longer
    CItemArray rollback(8, 8);
    for (const char* line : {";OBRIX_INST_FILE", "proc DefaultRollback", "set $a, 1", "",
                             "set $b, 2", "set $c, 3", "endp"}) {
        rollback.Add(line);
    }
    engine.SetRollbackLines(&rollback, 2);
    engine.SetRollbackMode(true);
    EXPECT_EQ(engine.CallProc("AnyName"), 0);
    EXPECT_STREQ(engine.GetVar("c"), "3");

    engine.SetRollbackMode(false);
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("AnyName"); }), 1);
}

TEST(Host, IsRequiredAndAnswersSilently) {
    CScriptEngine engine;
    EXPECT_EQ(ErrorOf([&] { engine.GetHost(); }), 13);
    CSilentInstallHost host;
    engine.SetHost(&host);
    EXPECT_EQ(&engine.GetHost(), &host);

    for (auto [type, answer] : {std::pair{"?yNc", 2},
                                {"?ynC", 0},
                                {"!oc", 1},
                                {"-", 1},
                                {"?ari", 0},
                                {"?arI", 2},
                                {"?Yn", 1},
                                {"", 1}}) {
        EXPECT_EQ(host.Prompt("?", type), answer) << type;
    }
    EXPECT_EQ(host.AskReplaceNewer("c:\\x", nullptr, nullptr), 1);
    host.SetReplaceNewerAnswer(2);
    EXPECT_EQ(host.AskReplaceNewer("c:\\x", nullptr, nullptr), 2);
}

TEST(CompareResult, TakesExactlyTheFiveOperators) {
    struct Case {
        const char* op;
        int below, zero, above;
    } cases[] = {
        {"=", 0, 1, 0}, {"<", 1, 0, 0}, {">", 0, 0, 1}, {"<=", 1, 1, 0}, {">=", 0, 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareResult(c.op, -5), c.below) << c.op;
        EXPECT_EQ(CompareResult(c.op, 0), c.zero) << c.op;
        EXPECT_EQ(CompareResult(c.op, 7), c.above) << c.op;
    }
    for (const char* bad : {"==", "!=", " =", "=>", ""}) {
        EXPECT_EQ(ErrorOf([&] { CompareResult(bad, 0); }), 3) << bad;
    }
}
