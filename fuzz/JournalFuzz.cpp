// libFuzzer target: any bytes as the journal file that a killed installation run left in
// the journal folder, beside its backups. The next start adopts it and takes the run back;
// a start killed at any call (once or twice over) and followed by another must end where one
// start alone ends, and so must a further start after that. A difference traps.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/RunObserver.h"
#include "fuzz/JournalWorld.h"

namespace {

// Formats every note of the journal, as the installation log would, and drops it.
class DiscardingObserver : public CRunObserver {
public:
    void StatementStarting(const CScriptEngine&, const char*, const char*) override {}
    void StatementEnded(const CScriptEngine&, int) override {}
    void Note(const char*) override {}
};

// Kill points tried per input: spread over the calls of one start, shifted by the input.
constexpr unsigned long kKillPoints = 8;

void Expect(const fakewin::Machine& expected, const char* what, unsigned long killedAt) {
    const fakewin::Machine& actual = fakewin::Current();
    if (actual == expected) return;
    std::fprintf(stderr, "%s (killed at call %lu) ends elsewhere than one start:\n%s", what,
                 killedAt, expected.Difference(actual).c_str());
    __builtin_trap();
}

unsigned long Hash(const std::string& bytes) {
    unsigned long hash = 2166136261u;
    for (unsigned char c : bytes) hash = (hash ^ c) * 16777619u;
    return hash;
}

// Starts on start killed at call killAt, then (when again is not 0) the next start killed at
// its call again, then one start that runs to its end.
void RecoverAfterKills(const fakewin::Machine& start, const std::string& journal,
                       unsigned long killAt, unsigned long again) {
    fakewin::Boot(start, fuzz::kRecoveryProcess);
    for (unsigned long kill : {killAt, again}) {
        if (kill == 0) continue;
        fakewin::KillAt(kill);
        fuzz::RecoverJournal(journal);
        fakewin::Restart();
    }
    fuzz::RecoverJournal(journal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static DiscardingObserver observer;
    g_runObserver = &observer;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string& journal = fuzz::TheKilledRun().journal;
    const unsigned long shift = Hash(bytes);
    // One input in four finds its journal file read-only.
    const fakewin::Machine start = fuzz::WithJournal(bytes, shift % 4 == 0);

    fakewin::Boot(start, fuzz::kRecoveryProcess);
    fuzz::RecoverJournal(journal);
    const unsigned long calls = fakewin::Calls();
    const fakewin::Machine once = fakewin::Current();
    fakewin::Restart();
    fuzz::RecoverJournal(journal);
    Expect(once, "a second start", 0);

    // Every other kill point is followed by a second kill, of the start after it.
    const unsigned long points = calls < kKillPoints ? calls : kKillPoints;
    for (unsigned long i = 0; i < points; ++i) {
        const unsigned long killAt = 1 + (shift + i * calls / points) % calls;
        const unsigned long again = i % 2 ? 1 + (shift / 7 + i) % calls : 0;
        RecoverAfterKills(start, journal, killAt, again);
        Expect(once, "a start killed and started again", killAt);
    }
    return 0;
}
