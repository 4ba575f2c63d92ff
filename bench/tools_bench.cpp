// Prints the figures of the tools for script authors and administrators; measures, never
// judges.
//
//   check:  pxfcheck on a generated file of 100,000 lines (best of three);
//   loop:   interpreter statements per second with the installation log off, on, and on at
//           the trace level (the log in the temporary folder);
//   sample: tolvarin.exe /i and /u of the sample device (build/bin/sample), as processes,
//           with the log off and on: the log's cost on a real installation.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

// Runs tolvarin.exe with arguments from this program's folder; returns the seconds taken.
double RunSeconds(const std::string& arguments) {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string dir = fs::path(self).parent_path().string();
    std::string commandLine = "\"" + dir + "\\tolvarin.exe\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const auto start = Clock::now();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        dir.c_str(), &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return Seconds(Clock::now() - start);
}

void SampleFigure() {
    const fs::path log = fs::temp_directory_path() / "tolv_tools_bench_sample.log";
    for (const bool on : {false, true, false, true}) {
        SetEnvironmentVariableA("TOLVARIN_LOG", on ? log.string().c_str() : nullptr);
        double best = 1e30;
        for (int run = 0; run < 3; ++run) {
            const double install = RunSeconds("/i sample\\setup.pxf");
            const double uninstall = RunSeconds("/u SampleReader");
            best = std::min(best, install + uninstall);
        }
        std::printf("sample: /i and /u with the log %s: best %.3f s\n", on ? "on " : "off", best);
    }
    SetEnvironmentVariableA("TOLVARIN_LOG", nullptr);
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
