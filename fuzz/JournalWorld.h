// The journal fuzz target's world: a machine with an installed reader driver, an
// installation run over it that the real journal writer backs up and that is killed at its
// end, and the recovery that the next start of the program makes of the journal it left.
// Shared by the fuzz target and the program that writes its seed journals.
#pragma once

#include <string>

#include "fuzz/FakeWin32.h"

namespace fuzz {

constexpr DWORD kWriterProcess = 0x4d1;
constexpr DWORD kRecoveryProcess = 0x4d2;
constexpr char kJournalFolderPath[] = "C:\\ProgramData\\Tolvarin\\Journal";

// The machine before the run: files, folders and keys of an earlier installation.
fakewin::Machine MachineBeforeRun();

// Runs the installation on the current machine, every change backed up first; the process
// ends killed (at its end, or earlier when fakewin::KillAt was called before). Returns the
// journal file's path.
std::string RunInstallation();

// What the killed run left: the machine with its backups and its journal file.
struct KilledRun {
    fakewin::Machine machine;
    std::string journal;  // the journal file's path
};
const KilledRun& TheKilledRun();
// The killed run's machine with bytes in place of its journal file's content; a read-only
// journal file (as a user may leave it) with readOnly.
fakewin::Machine WithJournal(const std::string& bytes, bool readOnly = false);

// One start of the program on the current machine, for the journal file at path: adopts it
// as the recovery of killed runs does, then commits a committed run or takes the run back.
// The undo lines are the engine's to run, which this build has not: they count as run.
// Whether the journal was adopted.
bool RecoverJournal(const std::string& path);

}  // namespace fuzz
