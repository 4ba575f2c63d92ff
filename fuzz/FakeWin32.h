// The machine that the native journal fuzz target runs the rollback journal on: a file
// system and a registry in memory, behind the calls of fuzz/FakeWindows.h. The calls
// follow Windows where the journal depends on it: case-insensitive names, a parent folder
// that must exist, read-only files that cannot be deleted or replaced, a file open
// elsewhere that cannot be moved or deleted, keys with subkeys that cannot be deleted.
//
// A process can be killed at its n-th call: from that call on nothing it does reaches the
// machine (a write cut there keeps its first half), just as a killed process's later steps
// never happen. Restart then closes what it held open, as the system does.
#pragma once

#include <map>
#include <set>
#include <string>

#include <windows.h>

namespace fakewin {

struct File {
    std::string name;  // the full path as written when it was made
    DWORD attributes = 0;
    std::string data;
};

struct Value {
    std::string name;
    DWORD type = 0;
    std::string data;
};

struct Key {
    std::string name;  // the full path as written, from its root name ("HKLM\...")
    std::map<std::string, Value> values;  // by upper-cased name
};

// Everything that outlives a process. Compared as a whole: the end state of a recovery.
struct Machine {
    std::map<std::string, File> files;  // by upper-cased full path
    std::map<std::string, Key> keys;    // by upper-cased full path
    std::set<std::string> deleteAtRestart;
    unsigned nextTempName = 1;

    bool operator==(const Machine& other) const;
    // The lines that differ from other, for a finding's log.
    std::string Difference(const Machine& other) const;
};

// A machine with the four registry roots and no files; drive C: always exists.
Machine EmptyMachine();
// Makes machine the current one, with the process of id (and a start time of its own)
// running on it.
void Boot(const Machine& machine, DWORD processId);
const Machine& Current();

// The next process dies at its calls-th call from now (0: it is not killed).
void KillAt(unsigned long calls);
// The process dies now.
void Kill();
bool Killed();
// The calls made since Boot or KillAt.
unsigned long Calls();
// The killed process is gone: its handles are closed and the next process runs.
void Restart();

// When the process of id started: what GetProcessTimes tells.
FILETIME StartTime(DWORD processId);

}  // namespace fakewin
