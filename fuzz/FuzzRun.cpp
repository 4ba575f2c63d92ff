#include "fuzz/FuzzRun.h"

#include <string>
#include <vector>

#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"

namespace fuzz {
namespace {

// The native engine with a statement budget: ExecuteStatement is the one place every
// statement, nested ones included, passes through.
class BudgetEngine : public CScriptEngine {
public:
    int ExecuteStatement(char* text) override {
        if (++statements_ > kStatementBudget) throw kBudgetSpent;
        return CScriptEngine::ExecuteStatement(text);
    }

private:
    int statements_ = 0;
};

}  // namespace

int RunInput(const std::uint8_t* data, std::size_t size, const char* path) {
    BudgetEngine engine;
    CSilentInstallHost host;
    engine.SetHost(&host);
    try {
        engine.LoadBytes(reinterpret_cast<const char*>(data), size, path);
    } catch (int) {
        return 0;
    }
    // Names first: a procedure may change nothing in the table, but copies keep the loop
    // independent of what the calls do.
    std::vector<std::string> names;
    const CNameValueTable& procs = engine.GetProcTable();
    for (int i = 0; i < procs.GetCount(); ++i) {
        std::string name, range;
        procs.GetAt(i, &name, &range);
        names.push_back(name);
    }
    int called = 0;
    for (const std::string& name : names) {
        try {
            ++called;
            engine.CallProc(name.c_str());
        } catch (int code) {
            if (code == kBudgetSpent) break;
        }
        // Every call, whatever it raised, leaves no call active.
        if (engine.GetCallDepth() != 0) __builtin_trap();
    }
    return called;
}

}  // namespace fuzz
