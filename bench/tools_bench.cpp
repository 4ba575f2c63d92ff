// Prints the figures of the tools for script authors and administrators; measures, never
// judges.
//
//   check:  pxfcheck on a generated file of 100,000 lines (best of three);
//   loop:   interpreter statements per second with the installation log off, on, and on at
//           the trace level (the log in the temporary folder);
//   sample: InstallDevice and UninstallDevice of the sample device (build/bin/sample), in
//           this process, with the log off and on: the log's cost on a real
//           installation, without the noise of starting processes under Wine.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/InstallDialogHost.h"
#include "install/DeviceActions.h"
#include "plixa/DeviceLibrary.h"
#include "engine/ScriptEngine.h"
#include "install/InstallLog.h"
#include "install/SilentInstallHost.h"
#include "tools/pxfcheck/Checker.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A vendor-style file: procedures of twenty statements each, as many as make the lines.
std::string LargeFile(int lines) {
    std::string text =
        ";OBRIX_INST_FILE\r\nproc Identify\r\n set $INST_TYPE, \"OBX\"\r\n"
        " set $DEVNAME, \"R\"\r\n set $INST_NAME, \"R\"\r\nendp\r\n"
        "proc Install\r\nendp\r\n";
    for (int n = 0, written = 8; written + 22 <= lines; ++n, written += 22) {
        text += "proc Step" + std::to_string(n) + "\r\n";
        for (int k = 0; k < 4; ++k) {
            text += "    ; copy and register part " + std::to_string(k) +
                    "\r\n"
                    "    copy \"part.dll\", \"#$dir#\\\", sb\r\n"
                    "    regSZ HKLM, $key, \"Part\", \"#$dir#\\part.dll\"\r\n"
                    "    if ! intcmp $needReboot, \"=\", 0\r\n"
                    "        prompt \"Restart later.\", \"!o\"\r\n";
        }
        text += "endp\r\n";
    }
    return text;
}

void CheckFigure() {
    const std::string text = LargeFile(100000);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    double best = 1e30;
    size_t found = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        found = pxfcheck::CheckText(text, {}).size();
        best = std::min(best, Seconds(Clock::now() - start));
    }
    std::printf("check:  %d lines in %.3f s (%zu diagnostics)\n", lines, best, found);
}

int gLeft = 0;
int Next(CScriptEngine&, char*) {
    return --gLeft > 0 ? 1 : 0;
}
const ScriptCommand kBenchCommands[] = {{"bench_next", Next}, {nullptr, nullptr}};

double LoopRate(const char* level) {
    const fs::path script = fs::temp_directory_path() / "tolv_tools_bench.pxf";
    const fs::path log = fs::temp_directory_path() / "tolv_tools_bench.log";
    std::ofstream(script, std::ios::binary)
        << ";OBRIX_INST_FILE\nproc Main\nset $y, 0\nloop: set $x, 5\n"
           "intadd $y, 2\n"
           "if bench_next\ngoto loop\nendp\n";
    SetEnvironmentVariableA("TOLVARIN_LOG", level ? log.string().c_str() : nullptr);
    SetEnvironmentVariableA("TOLVARIN_LOG_LEVEL", level);
    OpenInstallLog("bench");
    CScriptEngine engine;
    CSilentInstallHost host;
    engine.SetHost(&host);
    engine.RegisterCommands(kBenchCommands);
    engine.Load(script.string().c_str());
    constexpr int kIterations = 200000;
    gLeft = kIterations;
    const auto start = Clock::now();
    engine.CallProc("Main");
    const double rate = kIterations * 5 / Seconds(Clock::now() - start);
    CloseInstallLog(0);
    fs::remove(script);
    fs::remove(log);
    return rate;
}

// One installation and uninstallation of the sample device, in seconds.
double SampleRound() {
    const auto start = Clock::now();
    const int installed = InstallDevice("sample\\setup.pxf", 0);
    pxRebuildDeviceList(0);
    const int uninstalled = UninstallDevice("SampleReader", 0);
    if (installed != 0 || uninstalled != 0) std::printf("sample: a round failed\n");
    pxRebuildDeviceList(0);
    return Seconds(Clock::now() - start);
}

void SampleFigure() {
    // As the program does: the sample's run shows its progress window.
    SetWindowHostMaker(MakeInstallDialogHost);
    if (pxInitLibrary(kExclusiveMode) != 0) {
        std::printf("sample: the Device library is in use\n");
        return;
    }
    const fs::path log = fs::temp_directory_path() / "tolv_tools_bench_sample.log";
    // Rounds alternate, so that a busy machine slows both sides alike; medians are printed.
    constexpr int kRounds = 15;
    std::vector<double> off, on;
    for (int round = 0; round < kRounds; ++round) {
        off.push_back(SampleRound());
        SetEnvironmentVariableA("TOLVARIN_LOG", log.string().c_str());
        OpenInstallLog("bench");
        on.push_back(SampleRound());
        CloseInstallLog(0);
        SetEnvironmentVariableA("TOLVARIN_LOG", nullptr);
    }
    std::sort(off.begin(), off.end());
    std::sort(on.begin(), on.end());
    const double a = off[kRounds / 2], b = on[kRounds / 2];
    std::printf(
        "sample: install and uninstall, median of %d: log off %.1f ms, on %.1f ms "
        "(%+.1f%%)\n",
        kRounds, a * 1e3, b * 1e3, (b - a) / a * 100);
    pxDoneLibrary();
    fs::remove(log);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        CheckFigure();
        for (int run = 0; run < 3; ++run) {
            std::printf("loop:   log off %.0f, on %.0f, trace %.0f statements/s\n",
                        LoopRate(nullptr), LoopRate("normal"), LoopRate("trace"));
        }
        if (argc < 2 || std::string(argv[1]) != "--no-sample") SampleFigure();
    } catch (int code) {
        std::printf("script error %d\n", code);
        return 1;
    }
    return 0;
}
