// Prints interpreter figures; measures, never judges.
//
//   loop:   statements per second for a loop of set, a procedure call (with its return),
//           if and goto, over 1,000,000 statements;
//   lookup: the cost of GetVar among 10 and among 10,000 global variables.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ScriptEngine.h"

namespace {

using Clock = std::chrono::steady_clock;

int gIterationsLeft = 0;
// True while the loop is to go on; kept in C++ so the loop body is only the statements
// being measured.
int Next(CScriptEngine&, char*) {
    return --gIterationsLeft > 0 ? 1 : 0;
}
const ScriptCommand kBenchCommands[] = {{"bench_next", Next}, {nullptr, nullptr}};

// Five statements per iteration: set, the call Sub, its return, if (with bench_next run
// inside it), goto.
constexpr char kLoopScript[] =
    ";OBRIX_INST_FILE\n"
    "proc Main\n"
    "loop: set $x, 5\n"
    "Sub $x\n"
    "if bench_next\n"
    "goto loop\n"
    "endp\n"
    "proc Sub\n"
    "return $1\n"
    "endp\n";
constexpr int kStatementsPerIteration = 5;
constexpr int kStatements = 1000000;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Runs the loop kRuns times; a shared machine makes single runs noisy, so the best and the
// median are printed along with every run.
void LoopFigure() {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "tolv_engine_bench.pxf";
    {
        std::ofstream out(path, std::ios::binary);
        out << kLoopScript;
    }
    CScriptEngine engine;
    engine.RegisterCommands(kBenchCommands);
    engine.Load(path.string().c_str());
    std::filesystem::remove(path);

    constexpr int kRuns = 5;
    std::vector<double> rates;
    for (int run = 0; run < kRuns; ++run) {
        gIterationsLeft = kStatements / kStatementsPerIteration;
        const auto start = Clock::now();
        engine.CallProc("Main");
        rates.push_back(kStatements / Seconds(Clock::now() - start));
        std::printf("loop:   run %d: %d statements, %.0f statements/s\n", run + 1, kStatements,
                    rates.back());
    }
    std::sort(rates.begin(), rates.end());
    std::printf("loop:   best %.0f statements/s, median %.0f statements/s\n", rates.back(),
                rates[kRuns / 2]);
}

double LookupNanoseconds(int variables) {
    CScriptEngine engine;
    for (int i = 0; i < variables; ++i) {
        engine.SetGlobalVar(("variable_" + std::to_string(i)).c_str(), "value");
    }
    // Look up names spread over the whole table, last one included.
    std::string names[8];
    for (int k = 0; k < 8; ++k) names[k] = "VARIABLE_" + std::to_string((variables - 1) * k / 7);
    constexpr int kLookups = 2000000;
    size_t sink = 0;
    const auto start = Clock::now();
    for (int i = 0; i < kLookups; ++i) sink += engine.GetVar(names[i & 7].c_str())[0];
    const double seconds = Seconds(Clock::now() - start);
    if (sink == 0) std::printf("(unexpected)\n");
    return seconds * 1e9 / kLookups;
}

}  // namespace

int main() {
    try {
        LoopFigure();
        // Best of three for each size, for the same reason as above.
        double small = 1e30, large = 1e30;
        for (int run = 0; run < 3; ++run) {
            small = std::min(small, LookupNanoseconds(10));
            large = std::min(large, LookupNanoseconds(10000));
        }
        std::printf("lookup: %.1f ns among 10 variables, %.1f ns among 10,000 (ratio %.2f)\n",
                    small, large, large / small);
    } catch (int code) {
        std::printf("script error %d\n", code);
        return 1;
    }
    return 0;
}
