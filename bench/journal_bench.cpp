// What writing the rollback journal ahead of every change costs an installation: a file
// that copies 100 new files and writes 1,000 registry values, run (and committed) with the
// journal not written ahead, written ahead, and written ahead with every entry forced to
// the disk; then the recovery at the program's start of that installation killed before its
// commit, and a start with no journal to recover. Prints the best and the median of several
// rounds of each; asserts nothing.
//
//   journal_bench.exe [rounds]     (default 7)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"
#include "platform/Win32Calls.h"
#include "rollback/Recovery.h"
#include "rollback/RollbackJournal.h"

namespace {

using Clock = std::chrono::steady_clock;
using Mode = CRollbackJournal::WriteAhead;
constexpr char kKey[] = "Software\\TolvarinJournalBench";

std::string Folder() {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "tolv_journal_bench";
}

// The sources, and the installation file whose Install puts them into dst.
std::string MakeInstallation(const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string script = ";OBRIX_INST_FILE\nproc Install\n";
    script += "mkdir \"" + folder + "\\dst\"\n";
    for (int i = 0; i < 100; ++i) {
        const std::string name = "file" + std::to_string(i) + ".dll";
        std::ofstream(folder + "\\" + name, std::ios::binary)
            << std::string(4096, char('a' + i % 26));
        script += "copy \"" + name + "\", \"" + folder + "\\dst\\\"\n";
    }
    for (int i = 0; i < 1000; ++i) {
        script += "regSZ HKCU, \"" + std::string(kKey) + "\", \"Value" + std::to_string(i) +
                  "\", \"text " + std::to_string(i) + "\"\n";
    }
    script += "endp\n";
    const std::string path = folder + "\\bench.pxf";
    std::ofstream(path, std::ios::binary) << script;
    return path;
}

void Uninstall(const std::string& folder) {
    for (int i = 0; i < 100; ++i)
        DeleteFileA((folder + "\\dst\\file" + std::to_string(i) + ".dll").c_str());
    RemoveDirectoryA((folder + "\\dst").c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
}

// Loads the installation file into engine and runs its Install inside a journal, which is
// left open.
void RunInstall(CScriptEngine& engine, CSilentInstallHost& host, const std::string& path) {
    engine.SetHost(&host);
    engine.Load(path.c_str());
    engine.AddScriptDirSource();
    engine.StartJournal();
    engine.CallProc("Install");
}

double InstallSeconds(const std::string& path, Mode mode) {
    CRollbackJournal::SetWriteAheadForBenchmark(mode);
    const Clock::time_point start = Clock::now();
    CScriptEngine engine;
    CSilentInstallHost host;
    RunInstall(engine, host, path);
    engine.CommitJournal();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

BOOL WINAPI KeepFile(LPCSTR) {
    return FALSE;
}

// The installation left as a killed process leaves it: journal and backups in place, its
// owner gone (the owner's id and start time cleared).
void InstallAndDie(const std::string& path) {
    CRollbackJournal::SetWriteAheadForBenchmark(Mode::kWritten);
    std::string journal;
    {
        CScriptEngine engine;
        CSilentInstallHost host;
        RunInstall(engine, host, path);
        journal = engine.GetJournal().GetFileName();
        tolv::Win32().DeleteFileA = KeepFile;
    }
    tolv::Win32().DeleteFileA = tolv::RealWin32().DeleteFileA;
    std::fstream file(journal, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(8);
    file.write(std::string(12, '\0').data(), 12);
}

double RecoverySeconds() {
    CSilentInstallHost host;
    const Clock::time_point start = Clock::now();
    RecoverKilledRuns(host);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void PrintTimes(const char* name, std::vector<double>& times) {
    std::sort(times.begin(), times.end());
    std::printf("  %-24s best %7.1f ms  median %7.1f ms\n", name, times[0] * 1000,
                times[times.size() / 2] * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string folder = Folder();
    const std::string path = MakeInstallation(folder);
    const Mode modes[] = {Mode::kOff, Mode::kWritten, Mode::kFlushed};
    const char* names[] = {"not written ahead", "written ahead", "written ahead, flushed"};
    std::vector<double> times[3];
    try {
        for (int round = 0; round < rounds; ++round) {
            for (int m = 0; m < 3; ++m) {
                times[m].push_back(InstallSeconds(path, modes[m]));
                Uninstall(folder);
            }
        }
    } catch (int code) {
        std::printf("script error %d\n", code);
        return 1;
    }
    // The best round is the least disturbed by other work on the machine; the median shows
    // the spread.
    std::printf("installation of 100 files and 1,000 registry values, %d rounds:\n", rounds);
    for (int m = 0; m < 3; ++m) std::sort(times[m].begin(), times[m].end());
    for (int m = 0; m < 3; ++m) {
        const double best = times[m][0], median = times[m][times[m].size() / 2];
        std::printf("  %-24s best %7.1f ms (%+6.1f%%)  median %7.1f ms (%+6.1f%%)\n", names[m],
                    best * 1000, (best / times[0][0] - 1) * 100, median * 1000,
                    (median / times[0][times[0].size() / 2] - 1) * 100);
    }
    std::vector<double> recoveries, idle;
    try {
        for (int round = 0; round < rounds; ++round) {
            InstallAndDie(path);
            recoveries.push_back(RecoverySeconds());
            HKEY left = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &left) == ERROR_SUCCESS ||
                GetFileAttributesA((folder + "\\dst").c_str()) != INVALID_FILE_ATTRIBUTES) {
                std::printf("the recovery left the installation in place\n");
                RegCloseKey(left);
                return 1;
            }
            idle.push_back(RecoverySeconds());
        }
    } catch (int code) {
        std::printf("script error %d\n", code);
        return 1;
    }
    std::printf("start of the program, %d rounds:\n", rounds);
    PrintTimes("recovery of that run", recoveries);
    PrintTimes("nothing to recover", idle);
    return 0;
}
