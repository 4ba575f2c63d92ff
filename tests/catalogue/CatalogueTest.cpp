// The behaviour catalogue (README.md): each behaviour of the topic files runs on a machine of
// its own, which the test commands set up and look at, and is checked against its comments.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>

#include "commands/FileSource.h"
#include "platform/PathHelpers.h"
#include "commands/RestartFileOps.h"
#include "engine/ScriptEngine.h"
#include "engine/Tokenizer.h"
#include "install/SilentInstallHost.h"
#include "rollback/Recovery.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"
#include "tests/common/ChildProcess.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

struct Behaviour {
    std::string file;  // path of the topic file
    std::string name;  // the procedure
    int line = 0;      // file line (from 1) of its "proc" line
    bool stepped = false;
    std::vector<std::string> expectations;  // called: the items of the comments above "proc"
};
void PrintTo(const Behaviour& behaviour, std::ostream* out) {
    *out << behaviour.name;
}

constexpr char kArrow[] = "; =>";

// The items a line expects: what follows "; =>", or "$NAME: text" of a "; $NAME: text"
// comment. A line without expectations gives false.
bool ItemsOf(const std::string& line, std::string* items) {
    const size_t arrow = line.find(kArrow);
    if (line.rfind("; $", 0) == 0) {
        *items = line.substr(2);
    } else if (arrow != std::string::npos) {
        *items = line.substr(arrow + sizeof kArrow - 1);
    }
    return line.rfind("; $", 0) == 0 || arrow != std::string::npos;
}

// The first two words of line, the first lower-cased: a "proc" line gives the name.
std::string FirstWord(const std::string& line, std::string* second = nullptr) {
    std::istringstream in(line.substr(0, line.find(';')));
    std::string word;
    in >> word;
    if (second) in >> *second;
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

void ReadFile(const std::string& path, std::vector<Behaviour>& behaviours) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        lines.push_back(line);
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        Behaviour b;
        if (FirstWord(lines[i], &b.name) != "proc") continue;
        b.file = path;
        b.line = static_cast<int>(i + 1);
        std::string items;
        for (size_t above = i;
             above > 0 && lines[above - 1].rfind(';', 0) == 0 && ItemsOf(lines[above - 1], &items);
             --above) {
            b.expectations.insert(b.expectations.begin(), items);
        }
        for (size_t j = i + 1; j < lines.size() && FirstWord(lines[j]) != "endp"; ++j) {
            b.stepped |= lines[j].find(kArrow) != std::string::npos;
        }
        if (b.stepped || !b.expectations.empty()) behaviours.push_back(b);
    }
}

std::vector<Behaviour> ReadBehaviours() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(TOLV_CATALOGUE)) {
        if (entry.path().extension() == ".pxf") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    std::vector<Behaviour> behaviours;
    for (const std::string& file : files) ReadFile(file, behaviours);
    return behaviours;
}

std::string VarOr(CScriptEngine& engine, const std::string& name, std::string fallback) {
    try {
        return engine.GetVar(name.c_str());
    } catch (int) {
        return fallback;
    }
}

// text with each "#$name#" replaced by the variable's value, as a script line would have it.
std::string WithVariables(std::string text, CScriptEngine& engine) {
    for (size_t at = 0; (at = text.find("#$", at)) != std::string::npos;) {
        const size_t end = text.find('#', at + 2);
        if (end == std::string::npos) break;
        const std::string value =
            VarOr(engine, text.substr(at + 2, end - at - 2), text.substr(at, end + 1 - at));
        text.replace(at, end + 1 - at, value);
        at += value.size();
    }
    return text;
}

// Checks the ITEMS (README.md) of lines against one run: its error (0 for none), its result,
// the current line and the variables. Returns a line for each item that does not hold.
std::string Check(const std::vector<std::string>& lines, int error, int result,
                  CScriptEngine& engine, int procLine) {
    std::string failures;
    auto fail = [&](const std::string& what) { failures += "  " + what + "\n"; };
    bool errorNamed = false;
    for (const std::string& items : lines) {
        std::istringstream in(items);
        for (std::string item; in >> item;) {
            if (item == "error" || item == "line") {
                std::string number;
                in >> number;
                const int n = std::stoi(number) + (number[0] == '+' ? procLine : 0);
                const int actual = item == "error" ? error : engine.GetCurrentLine() + 1;
                if (n != actual) {
                    fail(item + " " + std::to_string(actual) + ", expected " + std::to_string(n));
                }
                errorNamed |= item == "error";
            } else if (item[0] == '$' || item[0] == '!') {
                const bool unset = item[0] == '!';
                const size_t mark = std::min(item.find_first_of("=:"), item.size());
                const std::string name = item.substr(unset ? 2 : 1, mark - (unset ? 2 : 1));
                std::string expected = mark < item.size() ? item.substr(mark + 1) : "";
                if (item[mark] == ':') {  // the rest of the line, after one blank
                    std::getline(in, expected);
                    expected = expected.empty() ? "" : expected.substr(1);
                }
                expected = unset ? "<unset>" : WithVariables(expected, engine);
                const std::string actual = VarOr(engine, name, "<unset>");
                if (actual != expected) {
                    fail("$" + name + " is '" + actual + "', expected '" + expected + "'");
                }
            } else if (item.find_first_not_of("-0123456789") != std::string::npos) {
                fail("'" + item + "' is no expectation");
            } else if (error == 0 && std::stoi(item) != result) {
                fail("result " + std::to_string(result) + ", expected " + item);
            }
        }
    }
    if (error != 0 && !errorNamed) fail("error " + std::to_string(error) + ", expected none");
    return failures;
}

using engine_test::ErrorOf;

std::string RunCalled(const Behaviour& b, CScriptEngine& engine) {
    int result = 0;
    const int error = ErrorOf([&] { result = engine.CallProc(b.name.c_str()); });
    std::string failures = Check(b.expectations, error, result, engine, b.line);
    if (engine.GetCallDepth() != 0) {
        failures += "  call depth left at " + std::to_string(engine.GetCallDepth()) + "\n";
    }
    return failures;
}

// Each line runs as the interpreter runs a line: expand, strip the label, execute.
std::string RunStepped(const Behaviour& b, CScriptEngine& engine) {
    std::string failures;
    int start = 0, end = 0;
    engine.GetProcRange(b.name.c_str(), &start, &end);
    for (int i = start + 1; i < end; ++i) {
        const char* raw = engine.GetLines().GetAt(i);
        const std::string line = raw ? raw : "";
        std::string items;
        ItemsOf(line, &items);
        int result = 0;
        const int error = ErrorOf([&] {
            engine.SetCurrentLine(i);
            char* text = engine.ExpandLine();
            if (*text != '\0') result = engine.ExecuteStatement(ParseLabel(text));
        });
        const std::string lineFailures = Check({items}, error, result, engine, b.line);
        if (!lineFailures.empty()) {
            failures += "  line " + std::to_string(i + 1) + ": " + line + "\n" + lineFailures;
        }
        // As at the end of a body: a return is over, an "end" stops every later call.
        if (engine.GetStopMode() == CScriptEngine::kReturning) {
            engine.SetStopMode(CScriptEngine::kRunning);
        }
    }
    return failures;
}

// The host of every run: answers as the silent host does and records each call as text.
// While a copy cancel is set, it records the copies' calls too and cancels the copy at
// that call: -1 its start, n its n-th progress report.
class RecordingHost : public CSilentInstallHost {
public:
    std::string TakeCalls() { return std::exchange(calls_, ""); }  // "|"-separated
    int cancelCopyAt = 0;

    void EndRun() override { Note("EndRun"); }
    void ResetProgressSteps() override { Note("Reset"); }
    int AddProgressSteps(int steps) override {
        Note("Add " + std::to_string(steps));
        return steps;
    }
    void ShowProgress() override { Note("Show"); }
    void HideProgress() override { Note("Hide"); }
    void ProgressStep(int pos) override {
        Note("Step " + std::to_string(pos));
        if (pos == 102) throw 102;  // stands for the user's cancel
    }
    void SetProgressText(const char* text) override { Note("Text '" + std::string(text) + "'"); }
    void OnRollback() override { Note("OnRollback"); }
    int Prompt(const char* text, const char* type) override {
        Note("Prompt '" + std::string(text) + "' '" + type + "'");
        return CSilentInstallHost::Prompt(text, type);
    }
    void ShowError(const char* text) override { Note("ShowError '" + std::string(text) + "'"); }
    int AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA* source,
                        const _WIN32_FIND_DATAA* destination) override {
        Note("AskReplaceNewer " + std::string(path));
        return CSilentInstallHost::AskReplaceNewer(path, source, destination);
    }
    void BeginFileCopy(const char*, std::uint32_t size) override {
        progress_ = 0;
        CopyCall("Begin " + std::to_string(size), cancelCopyAt == -1);
    }
    void FileCopyProgress(std::uint32_t done) override {
        CopyCall("Progress " + std::to_string(done), ++progress_ == cancelCopyAt);
    }
    void EndFileCopy() override { CopyCall("End", false); }

private:
    void Note(const std::string& call) { calls_ += (calls_.empty() ? "" : "|") + call; }
    void CopyCall(const std::string& call, bool cancel) {
        if (cancelCopyAt != 0) Note(call);
        if (cancel) throw 102;
    }
    std::string calls_;
    int progress_ = 0;
};

HKEY RootOf(const char* name) {
    const std::string n = name;
    return n == "HKLM"   ? HKEY_LOCAL_MACHINE
           : n == "HKCU" ? HKEY_CURRENT_USER
           : n == "HKCR" ? HKEY_CLASSES_ROOT
                         : HKEY_USERS;
}

// The machine of a run: scratch registry roots, a scratch folder that is also the temporary
// directory, and the Windows 95 rules of restart-time work.
class Sandbox {
public:
    Sandbox() {
        CreateDirectoryA((folder / "src").c_str(), nullptr);
        CreateDirectoryA((folder / "dst").c_str(), nullptr);
        tolv::OverrideIsWindowsNT(0);
        tolv::SetWindowsDirectoryForTesting(folder.Path().c_str());
        SetEnvironmentVariableA("TOLV_SYS_ROOT", "D:\\Cards");
    }
    ~Sandbox() {
        for (HANDLE h : locks) {
            SetEvent(h);  // an event lets its waiters go; for a file nothing
            CloseHandle(h);
        }
        tolv::SetWindowsDirectoryForTesting(nullptr);
        tolv::OverrideIsWindowsNT(-1);
    }
    void Prepare(CScriptEngine& engine);

    // The files (attributes, time, content) and keys of the machine, in a stable order.
    std::vector<std::string> Machine() const {
        std::vector<std::string> state;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.Path())) {
            const std::string path = entry.path().string();
            state.push_back(entry.is_directory()
                                ? path + "\\"
                                : path + " " + std::to_string(GetFileAttributesA(path.c_str())) +
                                      " " + std::to_string(WriteTimeOf(path)) + " " +
                                      ReadFileText(path));
        }
        std::sort(state.begin(), state.end());
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS}) {
            char name[256];
            for (DWORD i = 0, size = sizeof name;
                 RegEnumKeyExA(root, i, name, &size, nullptr, nullptr, nullptr, nullptr) == 0;
                 ++i, size = sizeof name) {
                DumpKey(root, name, state);
            }
        }
        return state;
    }

    ScratchRoots roots;
    TempFolder folder;
    std::vector<HANDLE> locks;
    std::vector<std::string> snapshot;
};
Sandbox* gSandbox = nullptr;  // the sandbox of the behaviour running now

RecordingHost& HostOf(CScriptEngine& engine) {
    return static_cast<RecordingHost&>(engine.GetHost());
}

int Journal(CScriptEngine& engine, char*) {
    engine.StartJournal();
    return 1;
}
int Commit(CScriptEngine& engine, char*) {
    engine.CommitJournal();
    return 1;
}
int Rollback(CScriptEngine& engine, char*) {
    engine.RollBack();
    const int mode = engine.IsRollbackMode();
    engine.SetRollbackMode(false);
    return mode;
}
int Put(CScriptEngine& engine, char* args) {
    const char *path = nullptr, *text = nullptr;
    int second = 0;
    ParseArgs(engine, args, nullptr, "ssD", &path, &text, &second);
    WriteFileText(path, text);
    SetWriteTime(path, TimeAt(second));
    return 1;
}
int Lock(CScriptEngine& engine, char* args) {
    const char* path = nullptr;
    ParseArgs(engine, args, nullptr, "s", &path);
    gSandbox->locks.push_back(
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return gSandbox->locks.back() != INVALID_HANDLE_VALUE;
}
int ReadOnly(CScriptEngine& engine, char* args) {
    const char* path = nullptr;
    ParseArgs(engine, args, nullptr, "s", &path);
    return SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY);
}
int File(CScriptEngine& engine, char* args) {
    const char *var = nullptr, *path = nullptr;
    ParseArgs(engine, args, nullptr, "vs", &var, &path);
    const DWORD attributes = GetFileAttributesA(path);
    std::string text;
    int kind = 0;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        kind = 3;
    } else {
        kind = (attributes & FILE_ATTRIBUTE_READONLY) ? 2 : 1;
        for (char c : ReadFileText(path)) {
            if (c != '\r') text += c == '\n' ? '|' : c;
        }
    }
    engine.SetVar(var, text.c_str());
    return kind;
}
int FileTime(CScriptEngine& engine, char* args) {
    const char* path = nullptr;
    ParseArgs(engine, args, nullptr, "s", &path);
    const FILETIME zero = TimeAt(0);
    const ULONGLONG base = (ULONGLONG(zero.dwHighDateTime) << 32) | zero.dwLowDateTime;
    return static_cast<int>((static_cast<long long>(WriteTimeOf(path)) - base) / 10000000LL);
}
int Answer(CScriptEngine& engine, char* args) {
    int answer = 0;
    ParseArgs(engine, args, nullptr, "d", &answer);
    HostOf(engine).SetReplaceNewerAnswer(answer);
    return 1;
}
int Cancel(CScriptEngine& engine, char* args) {
    ParseArgs(engine, args, nullptr, "d", &HostOf(engine).cancelCopyAt);
    return 1;
}
int Reg(CScriptEngine& engine, char* args) {
    const char *var = nullptr, *root = nullptr, *key = nullptr, *name = nullptr;
    ParseArgs(engine, args, nullptr, "vssS", &var, &root, &key, &name);
    if (!name) {
        engine.SetVar(var, "");
        return KeyExists(RootOf(root), key);
    }
    const RegValue v = ReadValue(RootOf(root), key, name);
    std::string text;
    if (v.type == REG_DWORD) text = "DWORD " + std::to_string(v.Dword());
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
        text = (v.type == REG_SZ ? "SZ " : "EXPAND ") + v.Text();
    }
    if (v.type == REG_BINARY) text = "BINARY " + std::to_string(v.data.size());
    engine.SetVar(var, text.c_str());
    return v.exists;
}
int RegPut(CScriptEngine& engine, char* args) {
    const char *root = nullptr, *key = nullptr, *name = nullptr, *type = nullptr, *data = nullptr;
    ParseArgs(engine, args, nullptr, "sssss", &root, &key, &name, &type, &data);
    const std::string t = type;
    if (t == "expand") WriteString(RootOf(root), key, name, data, REG_EXPAND_SZ);
    if (t == "unterminated") WriteValue(RootOf(root), key, name, REG_SZ, data, DWORD(strlen(data)));
    if (t == "binary") WriteValue(RootOf(root), key, name, REG_BINARY, data, DWORD(strlen(data)));
    return 1;
}
int Undo(CScriptEngine& engine, char* args) {
    const char* var = nullptr;
    ParseArgs(engine, args, nullptr, "v", &var);
    std::string text;
    const CItemArray& all = engine.GetRollbackScript().GetLines();
    for (int i = engine.GetRollbackScript().GetBodyIndex(); i < all.GetCount(); ++i) {
        const char* line = all.GetAt(i);
        if (line && std::string(line) == "endp") break;
        text += (text.empty() ? "" : " | ") + std::string(line ? line : "");
    }
    engine.SetVar(var, text.c_str());
    return 1;
}
int Host(CScriptEngine& engine, char* args) {
    const char* var = nullptr;
    ParseArgs(engine, args, nullptr, "v", &var);
    engine.SetVar(var, HostOf(engine).TakeCalls().c_str());
    return 1;
}
int Snapshot(CScriptEngine&, char*) {
    gSandbox->snapshot = gSandbox->Machine();
    return 1;
}
int Unchanged(CScriptEngine&, char*) {
    return gSandbox->snapshot == gSandbox->Machine();
}
// faults proc[, file[, arguments]] (README.md): each run in an engine of its own inside a
// journal, its n-th Win32 call of the file, registry and journal code failing, then rolled back.
int Faults(CScriptEngine& engine, char* args) {
    const char *proc = nullptr, *file = nullptr, *arguments = nullptr;
    ParseArgs(engine, args, nullptr, "sSS", &proc, &file, &arguments);
    const std::string path = file && *file ? file : engine.GetScriptPath();
    const std::string procName = proc, argumentText = arguments ? arguments : "";
    std::string lostAt;
    int calls = 0, lost = 0;
    for (int n = 0; n == 0 || n <= calls; ++n) {
        CScriptEngine run;
        run.SetHost(&engine.GetHost());
        run.Load(path.c_str());
        gSandbox->Prepare(run);
        run.StartJournal();
        std::string argumentCopy = argumentText;
        {
            FailureInjector inject(n);
            ErrorOf([&] {
                run.CallProc(procName.c_str(),
                             argumentCopy.empty() ? nullptr : argumentCopy.data());
            });
            if (n == 0) calls = inject.Calls();
        }
        ErrorOf([&] { run.RollBack(); });
        if (gSandbox->Machine() != gSandbox->snapshot) {
            ++lost;
            lostAt += (lostAt.empty() ? "" : ",") + std::to_string(n);
        }
    }
    engine.SetVar("faultsLost", lostAt.c_str());
    engine.SetVarInt("faultsRun", calls + 1);
    printf("faults %s: %d points, %d with differences\n", procName.c_str(), calls + 1, lost);
    return lost;
}
// kills proc[, file[, arguments]]: as faults, but each run is a process of its own (killchild)
// that ends at its n-th call, for n from the last call down in steps that make about 20 runs
// (every n with TOLVARIN_KILL_EVERY_CALL set); after each, the recovery of the program's start
// takes the run back (a process of its own too), and the machine is compared with the
// snapshot. Then, for about 3 calls m of that recovery (every m with the variable set), the
// run is killed at n again, its recovery killed at m, and that recovery recovered. killsteps
// sets other steps for n and m. The result is the number of
// runs the machine differed after; their n (n/m for a killed recovery) go to $killsLost, the
// number of runs killed to $killsRun, the number of recoveries killed to $recoveryKills.
int gKillSteps[2] = {0, 0};  // killsteps: the steps of n and m for kills (0: the usual)
int Kills(CScriptEngine& engine, char* args) {
    const char *proc = nullptr, *file = nullptr, *arguments = nullptr;
    ParseArgs(engine, args, nullptr, "sSS", &proc, &file, &arguments);
    const std::string path = file && *file ? file : engine.GetScriptPath();
    std::string argument;  // quotes escaped for the child's command line
    for (const char* c = arguments ? arguments : ""; *c; ++c)
        argument += *c == '"' ? std::string("\\\"") : std::string(1, *c);
    const std::string tail = " " + gSandbox->roots.Path() + " \"" + gSandbox->folder.Path() +
                             "\" \"" + path + "\" " + proc +
                             (arguments ? " \"" + argument + "\"" : "");
    const std::string procName = proc;
    const int calls = ChildProcess("killchild.exe", "0" + tail).ExitCode();
    std::string lostAt;
    int runs = 0, recoveries = 0, lost = 0;
    // A run that was not killed where asked did not run as counted: lost too.
    auto killRun = [&](int n) {
        return ChildProcess("killchild.exe", std::to_string(n) + tail).ExitCode() ==
               FailureInjector::kKilled;
    };
    auto check = [&](bool ok, const std::string& at) {
        if (ok && gSandbox->Machine() == gSandbox->snapshot) return;
        ++lost;
        lostAt += (lostAt.empty() ? "" : ",") + at;
    };
    // TOLVARIN_KILL_EVERY_CALL set: every call, not about 20 of them (a process each: slow).
    const bool everyCall = getenv("TOLVARIN_KILL_EVERY_CALL") != nullptr;
    const int step = everyCall ? 1 : gKillSteps[0] > 0 ? gKillSteps[0] : std::max(1, calls / 20);
    for (int n = calls; n >= 1; n -= step) {
        const bool killed = killRun(n);
        const int recoveryCalls = ChildProcess("killchild.exe", "r0" + tail).ExitCode();
        ++runs;
        check(killed, std::to_string(n));
        const int recoveryStep = everyCall           ? 1
                                 : gKillSteps[1] > 0 ? gKillSteps[1]
                                                     : std::max(1, recoveryCalls / 3);
        for (int m = 1; m < recoveryCalls; m += recoveryStep) {
            const bool runKilled = killRun(n);
            const bool recoveryKilled =
                ChildProcess("killchild.exe", "r" + std::to_string(m) + tail).ExitCode() ==
                FailureInjector::kKilled;
            RecoverKilledRuns(engine.GetHost());
            ++recoveries;
            check(runKilled && recoveryKilled, std::to_string(n) + "/" + std::to_string(m));
        }
    }
    engine.SetVar("killsLost", lostAt.c_str());
    engine.SetVarInt("killsRun", runs);
    engine.SetVarInt("recoveryKills", recoveries);
    printf("kills %s: %d of %d calls, %d recoveries killed, %d with differences\n",
           procName.c_str(), runs, calls, recoveries, lost);
    return lost;
}
int KillSteps(CScriptEngine& engine, char* args) {
    ParseArgs(engine, args, nullptr, "dd", &gKillSteps[0], &gKillSteps[1]);
    return 1;
}
int Tmp(CScriptEngine& engine, char* args) {
    const char* path = nullptr;
    ParseArgs(engine, args, nullptr, "s", &path);
    tolv::SetCommonAppDataForTesting(path);
    return SetEnvironmentVariableA("TMP", path);
}
int TempFiles(CScriptEngine&, char*) {
    return static_cast<int>(gSandbox->folder.TempFiles().size());
}
int Recording(CScriptEngine& engine, char* args) {
    int on = 0;
    ParseArgs(engine, args, nullptr, "d", &on);
    engine.GetRollbackScript().SetRecording(on != 0);
    return 1;
}
int Link(CScriptEngine& engine, char* args) {
    const char *var = nullptr, *path = nullptr;
    ParseArgs(engine, args, nullptr, "vs", &var, &path);
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    CoInitialize(nullptr);
    CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link);
    link->QueryInterface(IID_IPersistFile, (void**)&file);
    wchar_t wide[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
    char t[5][MAX_PATH] = {};
    int index = -1, show = -1;
    file->Load(wide, STGM_READ);
    link->GetPath(t[0], MAX_PATH, 0, 0), link->GetArguments(t[1], MAX_PATH);
    link->GetWorkingDirectory(t[2], MAX_PATH), link->GetDescription(t[3], MAX_PATH);
    link->GetIconLocation(t[4], MAX_PATH, &index), link->GetShowCmd(&show);
    file->Release(), link->Release();
    CoUninitialize();
    engine.SetVar(var, (std::string(t[0]) + "|" + t[1] + "|" + t[2] + "|" + t[3] + "|" + t[4] +
                        std::to_string(index) + "|" + std::to_string(show))
                           .c_str());
    return 1;
}
int Event(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    ParseArgs(engine, args, nullptr, "s", &name);
    gSandbox->locks.push_back(CreateEventA(nullptr, TRUE, FALSE, name));
    return 1;
}
const ScriptCommand kTestCommands[] = {
    {"journal", Journal},     {"commit", Commit},
    {"rollback", Rollback},   {"put", Put},
    {"lock", Lock},           {"readonly", ReadOnly},
    {"file", File},           {"reg", Reg},
    {"regput", RegPut},       {"undo", Undo},
    {"host", Host},           {"snapshot", Snapshot},
    {"unchanged", Unchanged}, {"tempfiles", TempFiles},
    {"recording", Recording}, {"link", Link},
    {"event", Event},         {"filetime", FileTime},
    {"answer", Answer},       {"cancel", Cancel},
    {"faults", Faults},       {"tmp", Tmp},
    {"kills", Kills},         {"killsteps", KillSteps},
    {nullptr, nullptr},
};

void Sandbox::Prepare(CScriptEngine& engine) {
    engine.RegisterCommands(kTestCommands);
    engine.SetGlobalVar("dir", folder.Path().c_str());
    engine.SetGlobalVar("bin", BinDir().c_str());
    engine.GetFileSources().InsertAt(0, std::make_unique<CDirectorySource>(folder / "src"));
}

class Catalogue : public testing::TestWithParam<Behaviour> {};

// Loads the behaviour's file into an engine of its own and runs it; a failure names the
// file, the line and the procedure, and each expectation that did not hold.
TEST_P(Catalogue, DoesWhatItsCommentsSay) {
    const Behaviour& b = GetParam();
    Sandbox sandbox;
    gSandbox = &sandbox;
    RecordingHost host;
    CScriptEngine engine;
    engine.SetHost(&host);
    std::string failures;
    const int loadError = ErrorOf([&] { engine.Load(b.file.c_str()); });
    if (loadError != 0) {
        failures = "  the file does not load: error " + std::to_string(loadError) + "\n";
    } else {
        sandbox.Prepare(engine);
        failures = b.stepped ? RunStepped(b, engine) : RunCalled(b, engine);
        engine.GetJournal().Commit();  // no backup of a run that neither commits nor rolls back
    }
    gSandbox = nullptr;
    EXPECT_EQ(failures, "") << b.file << ":" << b.line << ": proc " << b.name;
}

INSTANTIATE_TEST_SUITE_P(Topics, Catalogue, testing::ValuesIn(ReadBehaviours()),
                         [](const auto& info) {
                             const std::string& path = info.param.file;
                             const std::string file = path.substr(path.find_last_of("\\/") + 1);
                             std::string name =
                                 file.substr(0, file.find('.')) + "_" + info.param.name;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
