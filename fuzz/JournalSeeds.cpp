// Writes seed journals for journal_fuzz into the folder given: what the fuzz target's
// installation run leaves when it is killed at its end and at each call along the way (cut
// entries, a key block never finished, a backup without its outcome), and what a recovery
// of it leaves when that is killed too (replayed marks), or marked committed.
#include <cstdio>
#include <fstream>
#include <string>

#include "fuzz/JournalWorld.h"
#include "rollback/JournalFormat.h"

namespace {

std::string JournalOf(const fakewin::Machine& machine, const std::string& path) {
    for (const auto& [key, file] : machine.files) {
        if (file.name == path) return file.data;
    }
    return std::string();
}

// The entry of one kind character, with its size in front.
std::string Entry(char kind) {
    std::string entry;
    tolv::journal::PutNumber(entry, 1);
    return entry + kind;
}

bool Save(const std::string& folder, const std::string& name, const std::string& bytes) {
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: journal_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const fuzz::KilledRun& run = fuzz::TheKilledRun();
    const std::string whole = JournalOf(run.machine, run.journal);
    bool saved = Save(folder, "killed-run", whole) &&
                 Save(folder, "committed-run", whole + Entry('C')) &&
                 Save(folder, "undo-lines-ran", whole + Entry('R'));

    // The installation killed at each of its calls: every journal it can leave.
    const fakewin::Machine before = fuzz::MachineBeforeRun();
    fakewin::Boot(before, fuzz::kWriterProcess);
    fuzz::RunInstallation();
    const unsigned long writerCalls = fakewin::Calls();
    std::string last;
    for (unsigned long call = 1; call <= writerCalls; ++call) {
        fakewin::Boot(before, fuzz::kWriterProcess);
        fakewin::KillAt(call);
        const std::string path = fuzz::RunInstallation();
        const std::string journal = JournalOf(fakewin::Current(), path);
        if (journal == last) continue;
        last = journal;
        saved = saved && Save(folder, "run-killed-" + std::to_string(call), journal);
    }

    // Its recovery killed along the way: the journal with some records marked replayed.
    fakewin::Boot(fuzz::WithJournal(whole), fuzz::kRecoveryProcess);
    fuzz::RecoverJournal(run.journal);
    const unsigned long recoveryCalls = fakewin::Calls();
    for (unsigned long i = 1; i <= 4; ++i) {
        fakewin::Boot(fuzz::WithJournal(whole), fuzz::kRecoveryProcess);
        fakewin::KillAt(i * recoveryCalls / 5);
        fuzz::RecoverJournal(run.journal);
        saved = saved && Save(folder, "recovery-killed-" + std::to_string(i),
                              JournalOf(fakewin::Current(), run.journal));
    }
    if (!saved) std::fprintf(stderr, "journal_seeds: cannot write into %s\n", folder.c_str());
    return saved ? 0 : 1;
}
