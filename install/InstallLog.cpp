#include "install/InstallLog.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/CommandCatalog.h"
#include "engine/RunObserver.h"
#include "engine/ScriptEngine.h"
#include "commands/Handles.h"
#include "commands/RegistryHelpers.h"

namespace {

constexpr char kPolicyKey[] = "SOFTWARE\\Obrix\\Tolvarin";

// Script texts are in the ANSI code page; the log is UTF-8 whatever the machine's.
std::string Utf8FromAnsi(const char* text) {
    const int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide <= 0) return text;
    std::vector<wchar_t> w(static_cast<size_t>(wide));
    MultiByteToWideChar(CP_ACP, 0, text, -1, w.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return text;
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the terminator
    return out;
}

std::string ConfiguredPath() {
    if (const char* path = std::getenv("TOLVARIN_LOG"); path && *path) return path;
    std::string value;
    if (tolv::ReadRegString(value, HKEY_LOCAL_MACHINE, kPolicyKey, "Log") == ERROR_SUCCESS)
        return value;
    return "";
}

bool TraceWanted() {
    const char* level = std::getenv("TOLVARIN_LOG_LEVEL");
    return level && _stricmp(level, "trace") == 0;
}

class CInstallLog : public CRunObserver {
public:
    CInstallLog(HANDLE file, bool trace) : file_(file), trace_(trace) {}

    void Write(const std::string& text) {
        SYSTEMTIME t;
        GetLocalTime(&t);
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", t.wYear, t.wMonth,
                      t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
        std::string line = stamp + Utf8FromAnsi(text.c_str()) + "\r\n";
        DWORD written = 0;
        // A failed write is lost, never reported: the log must not change a run.
        WriteFile(file_.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }

    void StatementStarting(const CScriptEngine& engine, const char* word,
                           const char* args) override {
        Pending p;
        const CommandInfo* info = FindCommandInfo(word);
        p.logged = trace_ || engine.IsRollbackMode() || (info && info->flags != 0);
        if (p.logged || pending_.empty()) {
            p.where = Where(engine);
            p.text = word;
            if (args) p.text += std::string(" ") + args;
        }
        pending_.push_back(std::move(p));
    }

    void StatementEnded(const CScriptEngine&, int result) override {
        if (pending_.empty()) return;
        const Pending& p = pending_.back();
        if (p.logged) Write(p.where + ": " + p.text + " -> " + std::to_string(result));
        pending_.pop_back();
    }

    void Note(const char* text) override { Write(text); }

    // The statement that raised code: the innermost one still running.
    void Failed(const CScriptEngine& engine, int code) {
        std::string text = "error " + std::to_string(code);
        if (*ScriptErrorMeaning(code)) text += std::string(" (") + ScriptErrorMeaning(code) + ")";
        text += " at " + Where(engine);
        for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
            if (it->text.empty()) continue;
            text += ": " + it->text;
            break;
        }
        pending_.clear();
        Write(text);
    }

private:
    struct Pending {
        bool logged = false;
        std::string where, text;
    };

    static std::string Where(const CScriptEngine& engine) {
        const std::string file = engine.IsRollbackMode() ? "rollback" : engine.GetScriptPath();
        return file + "(" + std::to_string(engine.GetCurrentLine() + 1) + ")";
    }

    tolv::FileHandle file_;
    bool trace_;
    std::vector<Pending> pending_;
};

std::unique_ptr<CInstallLog> gLog;

}  // namespace

void OpenInstallLog(const char* commandLine) {
    const std::string path = ConfiguredPath();
    if (path.empty()) return;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    gLog = std::make_unique<CInstallLog>(file, TraceWanted());
    g_runObserver = gLog.get();
    RunNote("tolvarin started: command line \"%s\"", commandLine ? commandLine : "");
}

void CloseInstallLog(int exitCode) {
    if (!gLog) return;
    RunNote("exit code %d", exitCode);
    g_runObserver = nullptr;
    gLog.reset();
}

void LogRunStart(const char* what, const char* target) {
    RunNote("%s %s", what, target ? target : "");
}

void LogIdentified(CScriptEngine& engine) {
    if (!gLog) return;
    std::string text = "Identify:";
    for (const char* name : {"INST_TYPE", "DEVNAME", "INST_NAME"}) {
        const char* value = engine.HasGlobalVar(name) ? engine.GetVar(name) : "<not set>";
        text += std::string(" ") + name + "=\"" + value + "\"";
    }
    gLog->Note(text.c_str());
}

void LogRunFailed(const CScriptEngine& engine, int code) {
    if (gLog) gLog->Failed(engine, code);
    RunNote("rolling back");
}

int LogRunResult(int result) {
    RunNote("result %d", result);
    return result;
}

const char* ScriptErrorMeaning(int code) {
    switch (code) {
        case 1:
            return "name not found";
        case 2:
            return "memory exhausted";
        case 3:
            return "syntax error";
        case 4:
            return "duplicate procedure name";
        case 5:
            return "not an integer";
        case 6:
            return "nesting too deep";
        case 7:
            return "ran past the last line";
        case 8:
            return "missing or invalid argument";
        case 9:
            return "text too long";
        case 10:
            return "unclosed quote";
        case 11:
            return "installation file cannot be read";
        case 12:
            return "not an installation file";
        case 13:
            return "no host attached";
        case 101:
            return "installation aborted by the script";
        case 102:
            return "cancelled by the user";
        default:
            return "";
    }
}
