// Generated malformed input, from a fixed seed: whatever the loader and the interpreter
// are fed, they end in a script error code or a clean result, never a crash or a hang, and
// every call leaves the call depth where it found it.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

// xorshift64*: the same sequence on every platform and library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint32_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<std::uint32_t>((state_ * 2685821657736338717ULL) >> 32);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint64_t state_;
};

const char* const kFragments[] = {
    "proc",       "endp",      "Main",  "Sub",    "P1",           "set",   "lset",  "eval",
    "if",         "!",         "goto",  "return", "end",          "abort", "macro", "$x",
    "$1",         "$PARAMCNT", "$",     "#",      "##",           "#;",    "#\"",   "#65#",
    "#0#",        "#x#",       "#$x#",  "#$1#",   "#m#",          "\"",    "\"\"",  ",",
    ",,",         ";",         ":",     "lbl:",   "LBL",          " ",     "\t",    "0x7FFFFFFF",
    "0xFFFFFFFF", "-1",        "12abc", "010",    "Sub #$1#, $x", "\r",
};

// Statement and structure lines built from fragments and random bytes.
std::string RandomLine(Random& r) {
    switch (r.Below(12)) {
        case 0:
            return "proc P" + std::to_string(r.Below(4));
        case 1:
            return "endp";
        case 2:
            return "";
        case 3: {  // raw bytes, NUL included
            std::string s;
            for (int i = r.Below(40); i > 0; --i) s += static_cast<char>(r.Below(256));
            return s;
        }
        case 4: {  // a long run of one fragment
            std::string s;
            const char* f = kFragments[r.Below(static_cast<int>(std::size(kFragments)))];
            for (int i = r.Below(3000); i > 0; --i) s += f;
            return s;
        }
        default: {
            std::string s;
            for (int i = 1 + r.Below(10); i > 0; --i) {
                s += kFragments[r.Below(static_cast<int>(std::size(kFragments)))];
                if (r.Below(2)) s += ' ';
            }
            return s;
        }
    }
}

struct BudgetExceeded {};

// Stops a run after a fixed number of statements: a generated loop may never end.
class BoundedEngine : public CScriptEngine {
public:
    int ExecuteStatement(char* text) override {
        if (++statements_ > kBudget) throw BudgetExceeded{};
        return CScriptEngine::ExecuteStatement(text);
    }
    void ResetBudget() { statements_ = 0; }

private:
    static constexpr int kBudget = 20000;
    int statements_ = 0;
};

const std::set<int> kLoadCodes = {2, 3, 4, 9, 11, 12};
const std::set<int> kRunCodes = {1, 2, 3, 5, 6, 7, 8, 9, 10, 101};

}  // namespace

// A statement line whose first word is a command or procedure name, so that the loader
// takes it and the interpreter gets to chew on the rest.
std::string RandomStatement(Random& r) {
    static const char* const kWords[] = {"set $x,", "lset $y,", "eval $r,",  "if",  "if !",
                                         "goto",    "return",   "macro m2,", "P0",  "P1",
                                         "P2",      "Main",     "end",       "lbl:"};
    std::string line = kWords[r.Below(static_cast<int>(std::size(kWords)))];
    line += ' ';
    if (r.Below(3)) return line + RandomLine(r);
    return line + kFragments[r.Below(static_cast<int>(std::size(kFragments)))];
}

TEST(Robustness, GeneratedScriptsEndInAnErrorCodeOrAResult) {
    Random r(20240611);
    CSilentInstallHost host;
    int lines = 0, loaded = 0, calls = 0;
    for (int script = 0; script < 300; ++script) {
        std::string text = r.Below(20) ? ";OBRIX_INST_FILE\n" : "";
        const bool raw = r.Below(3) == 0;  // raw: anything goes; else well-formed blocks
        text += "proc Main\nmacro m, \"##$x##\"\n";
        if (raw) {
            for (int i = 1 + r.Below(25); i > 0; --i, ++lines) text += RandomLine(r) + "\n";
            if (r.Below(4)) text += "endp\n";
        } else {
            for (int p = 0; p < 4; ++p) {
                if (p > 0) text += "proc P" + std::to_string(p - 1) + "\n";
                for (int i = r.Below(6); i > 0; --i, ++lines) text += RandomStatement(r) + "\n";
                text += "endp\n";
            }
        }

        engine_test::ScratchFile file(text, "fuzz");
        BoundedEngine engine;
        engine.SetHost(&host);
        try {
            engine.Load(file.Path().c_str());
        } catch (int code) {
            EXPECT_TRUE(kLoadCodes.count(code)) << "load error " << code << " in\n" << text;
            continue;
        }
        ++loaded;
        engine.SetGlobalVar("x", "#m#");
        const CNameValueTable& procs = engine.GetProcTable();
        for (int i = 0; i < procs.GetCount(); ++i) {
            std::string name;
            procs.GetAt(i, &name, nullptr);
            std::string args = "a, $x, \"b\"";
            engine.ResetBudget();
            engine.SetStopMode(CScriptEngine::kRunning);
            ++calls;
            try {
                engine.CallProc(name.c_str(), args.data());
            } catch (int code) {
                EXPECT_TRUE(kRunCodes.count(code)) << "run error " << code << " in\n" << text;
            } catch (const BudgetExceeded&) {
            }
            EXPECT_EQ(engine.GetCallDepth(), 0);
        }
    }
    EXPECT_GE(lines, 3000);
    EXPECT_GT(loaded, 100);  // most scripts get past the loader
    EXPECT_GT(calls, 100);
}

TEST(Robustness, GeneratedArgumentListsParseOrFailWithACode) {
    Random r(7);
    CScriptEngine engine;
    engine.SetGlobalVar("x", "1");
    const char* const signatures[] = {"s", "S", "d", "D", "v", "vS", "ssD", "dd", "sssD", "vsdD"};
    for (int i = 0; i < 3000; ++i) {
        const std::string text = RandomLine(r);
        const char* signature = signatures[r.Below(static_cast<int>(std::size(signatures)))];
        const std::string got =
            engine_test::ParseAs(engine, text.c_str(), signature, "", r.Below(2) == 0);
        if (got[0] == '!') {
            EXPECT_TRUE(kRunCodes.count(std::stoi(got.substr(1)))) << got << " for " << text;
        }
    }
}
