// Runs every behaviour of the catalogue on a machine of its own, with the test commands
// that set it up and look at it (README.md).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "commands/PathHelpers.h"
#include "commands/ReportWinError.h"
#include "commands/RestartFileOps.h"
#include "commands/FileSource.h"
#include "engine/ScriptEngine.h"
#include "rollback/RollbackJournal.h"
#include "rollback/RollbackScript.h"
#include "tests/catalogue/Catalogue.h"
#include "tests/common/ChildProcess.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

class Catalogue : public testing::TestWithParam<catalogue::Behaviour> {};

// The sandbox of the behaviour running now, for the test commands.
class Win32Sandbox;
Win32Sandbox* gSandbox = nullptr;

HKEY RootOf(const char* name) {
    const std::string n = name;
    return n == "HKLM"   ? HKEY_LOCAL_MACHINE
           : n == "HKCU" ? HKEY_CURRENT_USER
           : n == "HKCR" ? HKEY_CLASSES_ROOT
                         : HKEY_USERS;
}

class Win32Sandbox : public catalogue::Sandbox {
public:
    Win32Sandbox() {
        gSandbox = this;
        CreateDirectoryA((folder / "src").c_str(), nullptr);
        CreateDirectoryA((folder / "dst").c_str(), nullptr);
        tolv::OverrideIsWindowsNT(0);
        tolv::SetWindowsDirectoryForTesting(folder.Path().c_str());
        SetEnvironmentVariableA("TOLV_SYS_ROOT", "D:\\Cards");
    }
    ~Win32Sandbox() override {
        for (HANDLE h : locks) {
            SetEvent(h);  // an event lets its waiters go; for a file nothing
            CloseHandle(h);
        }
        tolv::SetWindowsDirectoryForTesting(nullptr);
        tolv::OverrideIsWindowsNT(-1);
        gSandbox = nullptr;
    }
    void Prepare(CScriptEngine& engine) override;
    // No backup of a run that neither commits nor rolls back stays.
    void Finish(CScriptEngine& engine) override { engine.GetJournal().Commit(); }

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
    static_cast<catalogue::RecordingHost&>(engine.GetHost()).SetReplaceNewerAnswer(answer);
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
    engine.SetVar(var,
                  static_cast<catalogue::RecordingHost&>(engine.GetHost()).TakeCalls().c_str());
    return 1;
}
int Snapshot(CScriptEngine&, char*) {
    gSandbox->snapshot = gSandbox->Machine();
    return 1;
}
int Unchanged(CScriptEngine&, char*) {
    return gSandbox->snapshot == gSandbox->Machine();
}
// faults proc[, file[, arguments]]: runs proc of file (by default this behaviour's file)
// with the arguments, each run in an engine of its own inside a journal, once per Win32 call
// of the file, registry and journal code that the run makes, the n-th call failing; rolls
// each run back and compares the machine with the snapshot. The result is the number of runs
// it differed after; their failing calls go to $faultsLost, the number of runs to $faultsRun.
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
            try {
                run.CallProc(procName.c_str(),
                             argumentCopy.empty() ? nullptr : argumentCopy.data());
            } catch (int) {
            }
            if (n == 0) calls = inject.Calls();
        }
        try {
            run.RollBack();
        } catch (int) {
        }
        if (gSandbox->Machine() != gSandbox->snapshot) {
            ++lost;
            lostAt += (lostAt.empty() ? "" : ",") + std::to_string(n);
        }
    }
    engine.SetVar("faultsLost", lostAt.c_str());
    engine.SetVarInt("faultsRun", calls + 1);
    return lost;
}
int Tmp(CScriptEngine& engine, char* args) {
    const char* path = nullptr;
    ParseArgs(engine, args, nullptr, "s", &path);
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
int FailWin(CScriptEngine& engine, char* args) {
    const char* text = "";
    ParseArgs(engine, args, nullptr, "s", &text);
    SetLastError(ERROR_ACCESS_DENIED);
    return ReportWinError(engine, text);
}

const ScriptCommand kTestCommands[] = {
    {"journal", Journal},     {"commit", Commit},
    {"rollback", Rollback},   {"put", Put},
    {"lock", Lock},           {"readonly", ReadOnly},
    {"file", File},           {"reg", Reg},
    {"regput", RegPut},       {"undo", Undo},
    {"host", Host},           {"snapshot", Snapshot},
    {"unchanged", Unchanged}, {"tempfiles", TempFiles},
    {"failwin", FailWin},     {"recording", Recording},
    {"link", Link},           {"event", Event},
    {"filetime", FileTime},   {"answer", Answer},
    {"faults", Faults},       {"tmp", Tmp},
    {nullptr, nullptr},
};

void Win32Sandbox::Prepare(CScriptEngine& engine) {
    engine.RegisterCommands(kTestCommands);
    engine.SetGlobalVar("dir", folder.Path().c_str());
    engine.SetGlobalVar("bin", BinDir().c_str());
    engine.GetFileSources().InsertAt(0, std::make_unique<CDirectorySource>(folder / "src"));
}

TEST_P(Catalogue, DoesWhatItsCommentsSay) {
    Win32Sandbox sandbox;
    EXPECT_EQ(catalogue::Run(GetParam(), sandbox), "");
}

INSTANTIATE_TEST_SUITE_P(Topics, Catalogue,
                         testing::ValuesIn(catalogue::ReadBehaviours(TOLV_CATALOGUE)),
                         [](const auto& info) { return catalogue::TestName(info.param); });

}  // namespace
