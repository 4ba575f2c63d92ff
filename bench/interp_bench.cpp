// Interpreter throughput and load figures; measures, never judges. Each figure is the best of
// three runs (the machine is shared, so single runs are noisy).
//
//   loop:       set $i, 0 / loop: / intadd $i / if intcmp $i, "<", N / goto loop
//   loop-subst: the same loop with a "#$i#" substitution in the compared value
//   call:       a procedure call with three arguments and its return
//   strings:    strcat, strlen, strpos and strget on 1,000-character values
//   load:       a 100,000-line installation file: load time and the peak working set
//
// Statements are counted as lines run (a label line and "if intcmp ..." each count once).
//   scripts/wine-run build/bin/interp_bench.exe
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/ScriptEngine.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string LoopScript(const char* compared, int iterations) {
    return ";OBRIX_INST_FILE\nproc Main\nset $i, 0\nloop:\nintadd $i\nif intcmp " +
           std::string(compared) + ", \"<\", " + std::to_string(iterations) + "\ngoto loop\nendp\n";
}

// Loads script, then calls Main three times; prints the best rate.
void Figure(const char* name, const std::string& script, double statementsPerRun) {
    CScriptEngine engine;
    engine.LoadBytes(script.data(), script.size(), "bench.pxf");
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        engine.CallProc("Main");
        best = std::min(best, Seconds(Clock::now() - start));
    }
    std::printf("%-11s %12.0f statements/s  (%.3f s for %.0f statements, best of 3)\n", name,
                statementsPerRun / best, best, statementsPerRun);
}

void LoopFigures() {
    constexpr int kIterations = 2000000;
    // Per iteration: loop:, intadd, if, goto; plus set and endp once.
    constexpr double kStatements = 4.0 * kIterations + 2;
    Figure("loop:", LoopScript("$i", kIterations), kStatements);
    Figure("loop-subst:", LoopScript("\"#$i#\"", kIterations), kStatements);
}

void CallFigure() {
    constexpr int kIterations = 500000;
    const std::string script =
        ";OBRIX_INST_FILE\nproc Main\nset $i, 0\nset $b, \"two\"\nloop:\n"
        "Sub $i, $b, \"three\"\nintadd $i\nif intcmp $i, \"<\", " +
        std::to_string(kIterations) + "\ngoto loop\nendp\nproc Sub\nreturn $1\nendp\n";
    // Per iteration: loop:, the call, return, intadd, if, goto.
    Figure("call:", script, 6.0 * kIterations + 3);
}

void StringFigure() {
    constexpr int kIterations = 200000;
    const std::string big(1000, 'x');
    const std::string script = ";OBRIX_INST_FILE\nproc Main\nset $i, 0\nset $a, \"" + big +
                               "y\"\nloop:\nset $b, $a\nstrcat $b, \"z\"\nstrlen $b\n"
                               "strpos $b, \"yz\"\nstrget $c, $b, 500, 400\nintadd $i\n"
                               "if intcmp $i, \"<\", " +
                               std::to_string(kIterations) + "\ngoto loop\nendp\n";
    // Per iteration: loop:, set, strcat, strlen, strpos, strget, intadd, if, goto.
    Figure("strings:", script, 9.0 * kIterations + 3);
}

void LoadFigure() {
    constexpr int kLines = 100000;
    std::string script = ";OBRIX_INST_FILE\nproc Main\n";
    for (int i = 0; i < kLines - 3; ++i) {
        script +=
            "  set $v" + std::to_string(i % 500) + ", \"value " + std::to_string(i) + "\" ; note\n";
    }
    script += "endp\n";
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        CScriptEngine engine;
        const auto start = Clock::now();
        engine.LoadBytes(script.data(), script.size(), "big.pxf");
        best = std::min(best, Seconds(Clock::now() - start));
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    const double megabytes = static_cast<double>(script.size()) / (1024.0 * 1024.0);
    const double peak = static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
    std::printf(
        "load:       %d lines (%.2f MB) in %.3f s (best of 3); peak working set %.1f MB"
        " (limit 4 x file + 20 = %.1f MB)\n",
        kLines, megabytes, best, peak, 4 * megabytes + 20);
}

}  // namespace

int main() {
    try {
        LoopFigures();
        CallFigure();
        StringFigure();
        LoadFigure();
    } catch (int code) {
        std::printf("script error %d\n", code);
        return 1;
    }
    return 0;
}
