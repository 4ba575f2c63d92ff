// killchild N REGISTRY FOLDER FILE PROC [ARGUMENT]: runs PROC of FILE inside a journal, as
// the flows do, and ends the process at its N-th Win32 call of the file, registry and
// journal code. REGISTRY (or "-" for the real one) is the HKEY_CURRENT_USER key whose
// subkeys 0..3 stand for the four roots; FOLDER (or "-") is the machine of the catalogue:
// files from FOLDER\src, FOLDER as the Windows directory, the journal folder under
// FOLDER\tmp. With N = 0 the run is counted, rolled back, and its number of calls is the
// exit code. With rN in place of N, the process is the recovery of the program's start
// instead, ended at its N-th call (r0: not ended; its number of calls is the exit code).
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "commands/FileSource.h"
#include "platform/PathHelpers.h"
#include "commands/RestartFileOps.h"
#include "engine/ScriptEngine.h"
#include "rollback/JournalFolder.h"
#include "rollback/Recovery.h"
#include "install/SilentInstallHost.h"
#include "tests/rollback/RollbackTestSupport.h"

int main(int argc, char** argv) {
    if (argc < 6) return 2;
    const bool recovery = argv[1][0] == 'r';
    const int killAt = std::atoi(argv[1] + (recovery ? 1 : 0));
    const std::string registry = argv[2], folder = argv[3];
    if (registry != "-") {
        const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS};
        HKEY keys[4] = {};
        for (int i = 0; i < 4; ++i) {
            RegOpenKeyExA(HKEY_CURRENT_USER, (registry + "\\" + std::to_string(i)).c_str(), 0,
                          KEY_ALL_ACCESS, &keys[i]);
        }
        for (int i = 0; i < 4; ++i) RegOverridePredefKey(roots[i], keys[i]);
    }
    CSilentInstallHost host(2);  // keeps a newer file, as the catalogue's machine answers
    if (folder != "-") {
        // The catalogue's journal folder, under its temporary directory.
        tolv::SetCommonAppDataForTesting((folder + "\\tmp").c_str());
        tolv::OverrideIsWindowsNT(0);
        tolv::SetWindowsDirectoryForTesting(folder.c_str());
    }
    if (recovery) {
        FailureInjector inject(killAt, true);
        RecoverKilledRuns(host);
        return inject.Calls();
    }
    CScriptEngine engine;
    engine.SetHost(&host);
    try {
        engine.Load(argv[4]);
        engine.AddScriptDirSource();
        if (folder != "-") {
            engine.SetGlobalVar("dir", folder.c_str());
            engine.GetFileSources().InsertAt(0,
                                             std::make_unique<CDirectorySource>(folder + "\\src"));
        }
        engine.StartJournal();
        std::string argument = argc > 6 ? argv[6] : "";
        FailureInjector inject(killAt, true);
        engine.CallProc(argv[5], argument.empty() ? nullptr : argument.data());
        if (killAt == 0) {
            const int calls = inject.Calls();
            engine.RollBack();
            return calls;
        }
        engine.CommitJournal();
    } catch (int code) {
        return 100 + code;
    }
    return 0;
}
