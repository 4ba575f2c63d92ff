#include "install/InstallLog.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/CommandCatalog.h"
#include "engine/RunObserver.h"
#include "engine/ScriptEngine.h"
#include "engine/Tokenizer.h"
#include "platform/Handles.h"
#include "platform/TextCodec.h"
#include "commands/RegistryHelpers.h"
#include "version.h"

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

std::string Utf8FromWide(const std::wstring& text) {
    return tolv::TextFromWide(text, CP_UTF8);
}

std::string NarrowFromWide(const std::wstring& text) {
    return tolv::TextFromWide(text);
}

// The process's own environment, which a parent or SetEnvironmentVariable set, in the
// code page of every other text. Read wide: the narrow call of some systems counts a UTF-8
// value in UTF-16 units and cuts it.
std::string Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    return NarrowFromWide(value);
}

// The account the process runs as, "DOMAIN\user" where the system says.
std::string AccountName() {
    wchar_t user[256] = L"";
    DWORD size = 256;
    if (!GetUserNameW(user, &size)) return "an unknown account";
    return NarrowFromWide(user);
}

bool IsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const tolv::FileHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

// Quiet runs' own logs are named by their start, so that names sort by age.
constexpr int kQuietLogsKept = 50;

// Deletes the oldest quiet-run logs of folder until fewer than keep are left.
void PruneQuietLogs(const std::string& folder, int keep) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\tolvarin-*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    for (size_t i = 0; i + keep <= names.size(); ++i)
        DeleteFileA((folder + "\\" + names[i]).c_str());
}

// A new log file's path for this quiet run, its folder made, older logs pruned; "" when
// there is no place for it.
std::string NewQuietLogPath() {
    const std::string folder = QuietLogFolder();
    if (folder.empty()) return "";
    const std::string parent = folder.substr(0, folder.find_last_of('\\'));
    CreateDirectoryA(parent.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    PruneQuietLogs(folder, kQuietLogsKept);
    SYSTEMTIME t;
    GetLocalTime(&t);
    char name[64];
    std::snprintf(name, sizeof name, "tolvarin-%04u%02u%02u-%02u%02u%02u-%03u-%lu.log", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                  static_cast<unsigned long>(GetCurrentProcessId()));
    return folder + "\\" + name;
}

std::string ConfiguredPath() {
    if (std::string path = Environment(L"TOLVARIN_LOG"); !path.empty()) return path;
    std::string value;
    if (tolv::ReadRegString(value, HKEY_LOCAL_MACHINE, kPolicyKey, "Log") == ERROR_SUCCESS)
        return value;
    return "";
}

bool TraceWanted() {
    return _stricmp(Environment(L"TOLVARIN_LOG_LEVEL").c_str(), "trace") == 0;
}

class CInstallLog : public CRunObserver {
public:
    CInstallLog(HANDLE file, bool trace) : file_(file), trace_(trace) {}

    // Statement lines gather in a buffer, flushed with every other event and at 8 KiB, so
    // that the trace level does not pay one write per statement.
    void Write(const std::string& text, bool flush = true) {
        WriteUtf8(Utf8FromAnsi(text.c_str()), flush);
    }

    // The user interface's own texts come in UTF-8 already, whatever the code page.
    void WriteUtf8(const std::string& text, bool flush = true) {
        SYSTEMTIME t;
        GetLocalTime(&t);
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", t.wYear, t.wMonth,
                      t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
        buffer_ += stamp;
        // One event, one line: a text's own line breaks are written as \n.
        for (char c : text) {
            if (c == '\n')
                buffer_ += "\\n";
            else if (c != '\r')
                buffer_ += c;
        }
        buffer_ += "\r\n";
        if (flush || buffer_.size() >= 8192) Flush();
    }

    void Flush() {
        DWORD written = 0;
        // A failed write is lost, never reported: the log must not change a run.
        if (!buffer_.empty())
            WriteFile(file_.Get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &written,
                      nullptr);
        buffer_.clear();
    }

    ~CInstallLog() override { Flush(); }

    void StatementStarting(const CScriptEngine& engine, const char* word,
                           const char* args) override {
        const CommandInfo* info = FindCommandInfo(word);
        const bool logged = trace_ || engine.IsRollbackMode() || (info && info->flags != 0);
        lastLine_ = engine.GetCurrentLine();
        pending_.push_back({logged, {}});
        if (!logged) return;
        std::string& text = pending_.back().text;
        text = Where(engine) + ": " + word;
        if (args) text += std::string(" ") + args;
    }

    void StatementEnded(const CScriptEngine&, int result) override {
        if (pending_.empty()) return;
        if (pending_.back().logged)
            Write(pending_.back().text + " -> " + std::to_string(result), false);
        pending_.pop_back();
    }

    void Note(const char* text) override { Write(text); }

    // The line that raised code, as the file has it, after the statements it interrupted
    // (a command whose error procedure aborted the run, say). Running past the last line is
    // the fault of the statement run last (an if that skipped the endp), so it names that.
    void Failed(const CScriptEngine& engine, int code) {
        for (const Pending& statement : pending_) {
            if (statement.logged) Write(statement.text + " -> error " + std::to_string(code));
        }
        pending_.clear();
        std::string text = "error " + std::to_string(code);
        if (*ScriptErrorMeaning(code)) {
            text += std::string(" (") + ScriptErrorMeaning(code);
            if (code == 1 && !engine.GetMissingName().empty())
                text += ": " + engine.GetMissingName();
            text += ")";
        }
        const int line = code == 7 ? lastLine_ : engine.GetCurrentLine();
        text += " at " + Where(engine, line);
        const CItemArray& lines = engine.GetLines();
        if (!engine.IsRollbackMode() && line >= 0 && line < lines.GetCount() && lines.GetAt(line))
            text += std::string(": ") + SkipBlanks(lines.GetAt(line));
        Write(text);
    }

private:
    struct Pending {
        bool logged;
        std::string text;  // where and what, when logged
    };

    static std::string Where(const CScriptEngine& engine) {
        return Where(engine, engine.GetCurrentLine());
    }
    static std::string Where(const CScriptEngine& engine, int line) {
        const std::string file = engine.IsRollbackMode() ? "rollback" : engine.GetScriptPath();
        return file + "(" + std::to_string(line + 1) + ")";
    }

    tolv::FileHandle file_;
    bool trace_;
    std::vector<Pending> pending_;
    int lastLine_ = -1;  // the line of the statement begun last
    std::string buffer_;
};

std::unique_ptr<CInstallLog> gLog;

}  // namespace

std::string QuietLogFolder() {
    wchar_t common[MAX_PATH] = L"";
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) {
        return "";
    }
    return NarrowFromWide(std::wstring(common) + L"\\Tolvarin\\Logs");
}

void OpenInstallLog(const char* commandLine, const std::string& logFile, bool quiet) {
    std::string path = logFile.empty() ? ConfiguredPath() : logFile;
    if (path.empty() && quiet) path = NewQuietLogPath();
    if (path.empty()) return;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    gLog = std::make_unique<CInstallLog>(file, TraceWanted());
    g_runObserver = gLog.get();
    RunNote("tolvarin %s started as %s (%s): command line \"%s\"", TOLV_VERSION_TEXT,
            AccountName().c_str(), IsElevated() ? "elevated" : "not elevated",
            commandLine ? commandLine : "");
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

void LogWaitingForAnswer(const std::wstring& text) {
    if (gLog) gLog->WriteUtf8("waiting for an answer: \"" + Utf8FromWide(text) + "\"");
}

void LogRunNote(const std::string& text) {
    if (gLog) gLog->Note(text.c_str());
}

int LogFlowMessage(const std::wstring& text, int answer) {
    if (!gLog) return answer;
    gLog->WriteUtf8("message \"" + Utf8FromWide(text) + "\": answer " + std::to_string(answer));
    return answer;
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
