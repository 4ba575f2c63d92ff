// The engine's own interface to its callers: command registration, arguments handed to a
// procedure from outside, and the host.
#include <gtest/gtest.h>

#include <string>

#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

namespace {
int Probe(CScriptEngine&, char*) {
    return 1;
}
int Other(CScriptEngine&, char*) {
    return 2;
}
}  // namespace

TEST(Interpreter, RegistersCommandsByNameWithReplacement) {
    CScriptEngine engine;
    const ScriptCommand table[] = {{"probe", Probe}, {nullptr, nullptr}};
    engine.RegisterCommands(table);
    EXPECT_EQ(engine.FindCommand("PROBE"), &Probe);
    EXPECT_EQ(engine.FindCommand("nosuch"), nullptr);
    const ScriptCommand replacement[] = {{"Probe", Other}, {"extra", Probe}, {nullptr, nullptr}};
    engine.RegisterCommands(replacement, 1);  // only the first row
    EXPECT_EQ(engine.FindCommand("probe"), &Other);
    EXPECT_EQ(engine.FindCommand("extra"), nullptr);
}

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
    EXPECT_EQ(host.AskReplaceNewer("c:\\x", nullptr, nullptr), 1);
}
