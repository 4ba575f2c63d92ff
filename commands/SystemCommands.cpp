// The system half of the file and system command table.
//
// Questions an installation file asks before it changes anything: getInfo (folders, names,
// Windows version), fileAccess, freeSpace, fileSize, getErrorString and isAdmin. They change
// nothing and record nothing for rollback; getInfo and getErrorString store their answer in
// a variable, the others return it as the statement's result for if and eval. Only
// freeSpace reports a failed Windows call (ReportWinError); the others answer 0 or -1.
//
// And two commands that reach beyond the file system: shortcut saves a shell link and
// records the del statement that removes it again; run starts a program and, unless told
// not to, waits for it and hands its exit code to the script in exeReturned. While run
// waits, the thread pumps no messages: a program that never ends holds the installation
// until it is ended from outside (the task list), after which the script goes on.
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands/ComSession.h"
#include "platform/Handles.h"
#include "platform/PathHelpers.h"
#include "commands/RegistryHelpers.h"
#include "commands/ReportWinError.h"
#include "commands/SysCommandSupport.h"
#include "commands/SystemCommandTables.h"
#include "commands/FileSource.h"
#include "engine/ScriptEngine.h"
#include "engine/Text.h"
#include "engine/TextCase.h"
#include "rollback/RollbackJournal.h"

namespace {

using tolv::HasOption;

constexpr char kExeReturned[] = "exeReturned";

// ---------------------------------------------------------------------------------------
// getInfo

struct ShellFolderKey {
    const char* key;
    int csidl;
};

constexpr ShellFolderKey kShellFolders[] = {
    {"COMMON_DESKTOPDIRECTORY", CSIDL_COMMON_DESKTOPDIRECTORY},
    {"COMMON_PROGRAMS", CSIDL_COMMON_PROGRAMS},
    {"COMMON_STARTMENU", CSIDL_COMMON_STARTMENU},
    {"COMMON_STARTUP", CSIDL_COMMON_STARTUP},
    {"DESKTOP", CSIDL_DESKTOP},
    {"DESKTOPDIRECTORY", CSIDL_DESKTOPDIRECTORY},
    {"FONTS", CSIDL_FONTS},
    {"NETHOOD", CSIDL_NETHOOD},
    {"PERSONAL", CSIDL_PERSONAL},
    {"PROGRAMS", CSIDL_PROGRAMS},
    {"RECENT", CSIDL_RECENT},
    {"SENDTO", CSIDL_SENDTO},
    {"STARTMENU", CSIDL_STARTMENU},
    {"STARTUP", CSIDL_STARTUP},
    {"TEMPLATES", CSIDL_TEMPLATES},
};

// The path of the shell folder that key (any case) names. False for a key in no row and for
// a folder that has no path in the file system.
//
// Some shells hand out the documents folder as a virtual item whose "path" is its parsing
// name ("::{...}") or the folder with a trailing backslash; the answer is always the plain
// folder path, as the folder query of the shell gives it.
bool LookupShellFolder(const char* key, std::string& out) {
    for (const ShellFolderKey& row : kShellFolders) {
        if (!EqualsNoCase(key, row.key)) continue;
        LPITEMIDLIST items = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(nullptr, row.csidl, &items)) || !items) return false;
        char path[tolv::kNarrowPathBufferSize] = "";
        bool ok = SHGetPathFromIDListA(items, path) && path[0] != '\0';
        CoTaskMemFree(items);
        if (ok && path[0] == ':' && path[1] == ':') {
            ok = SUCCEEDED(SHGetFolderPathA(nullptr, row.csidl, nullptr, SHGFP_TYPE_CURRENT, path));
        }
        if (!ok) return false;
        out = path;
        tolv::StripBackslash(out);
        return true;
    }
    return false;
}

// The readers of the other keys. A reader fills a buffer of kNarrowPathBufferSize bytes that starts
// out empty and returns false only when the value cannot be had at all; a failed call
// leaves the buffer empty and that empty text is the answer.
using InfoReader = bool (*)(char* buffer);

bool ReadWindowsDir(char* buffer) {
    GetWindowsDirectoryA(buffer, tolv::kNarrowPathBufferSize);
    return true;
}
bool ReadSystemDir(char* buffer) {
    GetSystemDirectoryA(buffer, tolv::kNarrowPathBufferSize);
    return true;
}
bool ReadUserName(char* buffer) {
    DWORD size = tolv::kNarrowPathBufferSize;
    GetUserNameA(buffer, &size);
    return true;
}
bool ReadComputerName(char* buffer) {
    DWORD size = tolv::kNarrowPathBufferSize;
    GetComputerNameA(buffer, &size);
    return true;
}
bool ReadTempDir(char* buffer) {
    GetTempPathA(tolv::kNarrowPathBufferSize, buffer);
    std::string path = buffer;
    tolv::StripBackslash(path);
    lstrcpynA(buffer, path.c_str(), tolv::kNarrowPathBufferSize);
    return true;
}
bool ReadOsName(char* buffer) {
    lstrcpynA(buffer, tolv::IsWindowsNT() ? "WINNT" : "WIN95", tolv::kNarrowPathBufferSize);
    return true;
}
// "0x" and major * 256 + minor in lower-case hexadecimal: 0x400 for 4.0, 0x40a for 4.10.
bool ReadOsVersion(char* buffer) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    const uint32_t version = info.dwMajorVersion * 256u + info.dwMinorVersion;
    std::snprintf(buffer, tolv::kNarrowPathBufferSize, "0x%lx",
                  static_cast<unsigned long>(version));
    return true;
}
bool ReadProgramFilesDir(char* buffer) {
    std::string value;
    if (tolv::ReadRegString(value, HKEY_LOCAL_MACHINE,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                            "ProgramFilesDir") != ERROR_SUCCESS) {
        return false;
    }
    lstrcpynA(buffer, value.c_str(), tolv::kNarrowPathBufferSize);
    return true;
}

struct InfoKey {
    const char* key;
    InfoReader read;
};

// Tried in this order after the shell folders.
constexpr InfoKey kInfoKeys[] = {
    {"WINDOWS", ReadWindowsDir}, {"SYSTEM", ReadSystemDir},
    {"USERNAME", ReadUserName},  {"COMPUTERNAME", ReadComputerName},
    {"TEMP", ReadTempDir},       {"OSNAME", ReadOsName},
    {"OSVER", ReadOsVersion},    {"APPPATH", ReadProgramFilesDir},
};

bool LookupInfoKey(const char* key, std::string& out) {
    for (const InfoKey& row : kInfoKeys) {
        if (!EqualsNoCase(key, row.key)) continue;
        char buffer[tolv::kNarrowPathBufferSize] = "";
        if (!row.read(buffer)) return false;
        out = buffer;
        return true;
    }
    return false;
}

// getInfo $var, key: the variable gets the value, result 1; a key in no table or a value
// that cannot be had gives 0 and leaves the variable as it was.
int GetInfoCommand(CScriptEngine& engine, char* args) {
    const char* variable = nullptr;
    const char* key = nullptr;
    ParseArgs(engine, args, nullptr, "vs", &variable, &key);
    std::string value;
    if (!LookupShellFolder(key, value) && !LookupInfoKey(key, value)) return 0;
    engine.SetVar(variable, value.c_str());
    return 1;
}

// ---------------------------------------------------------------------------------------
// fileAccess, freeSpace, fileSize, getErrorString, isAdmin

// fileAccess path[, mode]: whether the file opens for reading (r, or no letter), writing
// (w), or as a destination (d: a file that does not exist yet passes). A file that is there
// but locked or protected passes only an empty mode. Nothing is reported.
int FileAccessCommand(CScriptEngine& engine, char* args) {
    const tolv::RawArguments raw(args);
    const char* pathArg = nullptr;
    const char* modeArg = nullptr;
    ParseArgs(engine, args, nullptr, "sS", &pathArg, &modeArg);
    const std::string path = pathArg;  // storing the mode back may replace the variable
    const std::string mode = tolv::LowerOptions(modeArg);
    tolv::StoreArgumentBack(engine, raw, 1, modeArg, mode);

    DWORD access = 0;
    if (HasOption(mode, 'r')) access |= GENERIC_READ;
    if (HasOption(mode, 'w') || HasOption(mode, 'd')) access |= GENERIC_WRITE;
    if (access == 0) access = GENERIC_READ;
    const tolv::FileHandle file(CreateFileA(path.c_str(), access,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return 1;
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return mode.empty();
    return HasOption(mode, 'd');
}

// The root that GetDiskFreeSpaceA is asked about: the path up to and including its first
// backslash (the whole text when it has none), with a backslash after a bare drive.
std::string DriveRoot(const std::string& path) {
    const size_t backslash = path.find('\\');
    std::string root = backslash == std::string::npos ? path : path.substr(0, backslash + 1);
    if (!root.empty() && root.back() == ':') root += '\\';
    return root;
}

// freeSpace path[, minimum KiB]: the free KiB of the path's drive, or with a minimum 1 when
// the drive has more than that (strictly) and 0 otherwise. The arithmetic is unsigned
// 32-bit, as the drive counts are.
int FreeSpaceCommand(CScriptEngine& engine, char* args) {
    const char* path = nullptr;
    int minimum = 0;
    ParseArgs(engine, args, nullptr, "sD", &path, &minimum);
    const std::string root = DriveRoot(path);
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters)) {
        return ReportWinError(engine, root.c_str());
    }
    const uint32_t clusterQuarterKiB =
        (static_cast<uint32_t>(bytesPerSector) * static_cast<uint32_t>(sectorsPerCluster)) >> 8;
    const uint32_t freeKiB = (clusterQuarterKiB * static_cast<uint32_t>(freeClusters)) >> 2;
    if (minimum == 0) return static_cast<int>(freeKiB);
    return static_cast<uint32_t>(minimum) < freeKiB;
}

// fileSize name: the size in bytes (low 32 bits) of the file the file sources find under
// that name, as copy would find its source; -1 when none has it (or only a directory).
int FileSizeCommand(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    ParseArgs(engine, args, nullptr, "s", &name);
    WIN32_FIND_DATAA record{};
    if (!engine.GetFileSources().Find(name, &record)) return -1;
    return static_cast<int>(record.nFileSizeLow);
}

// getErrorString $var, code: the system's text for the code with its line ends turned into
// blanks (so it usually ends in two); empty for a code without a text. Inserts such as "%1"
// stay as written: there is nothing to fill them with.
int GetErrorStringCommand(CScriptEngine& engine, char* args) {
    const char* variable = nullptr;
    int code = 0;
    ParseArgs(engine, args, nullptr, "vd", &variable, &code);
    char text[1024] = "";
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                        static_cast<DWORD>(code), 0, text, sizeof text, nullptr)) {
        text[0] = '\0';
    }
    text[sizeof text - 1] = '\0';
    for (char* c = text; *c; ++c) {
        if (*c == '\r' || *c == '\n') *c = ' ';
    }
    engine.SetVar(variable, text);
    return 1;
}

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static SC_HANDLE Invalid() { return nullptr; }
    static bool Close(SC_HANDLE handle) { return CloseServiceHandle(handle) != FALSE; }
};

// isAdmin: 1 when the service manager opens for full use, which only an administrator may
// (Windows 95 has none: always 0). Any argument text is ignored.
int IsAdminCommand(CScriptEngine&, char*) {
    const tolv::UniqueHandle<ServiceHandleTraits> manager(
        OpenSCManagerA(nullptr, nullptr, GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE));
    return manager.IsValid();
}

// ---------------------------------------------------------------------------------------
// shortcut, run

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, ComReleaser>;

// Saves a shell link at path (at most MAX_PATH - 1 UTF-16 units) that starts target
// with arguments. Only the target and its arguments are set; everything else keeps the
// link object's defaults. True when the link file was saved.
bool CreateShellLink(CComSession& com, const std::string& path, const char* target,
                     const char* arguments) {
    if (PathLongerThan(path, tolv::kMaxPathLength) || !com.InitCom()) return false;
    IShellLinkA* linkObject = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&linkObject)))) {
        return false;
    }
    const ComPtr<IShellLinkA> link(linkObject);
    IPersistFile* fileObject = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&fileObject)))) {
        return false;
    }
    const ComPtr<IPersistFile> file(fileObject);  // released before the link
    link->SetPath(target);
    link->SetArguments(arguments);
    wchar_t widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH)) return false;
    return SUCCEEDED(file->Save(widePath, TRUE));
}

// shortcut link, target[, arguments]: a link path without an extension gets ".lnk". The
// undo line is a del of the saved path, quoted. A link that cannot be made gives 0 and is
// reported nowhere; an existing link of that name is overwritten after a copy is kept.
int ShortcutCommand(CScriptEngine& engine, char* args) {
    const char* link = nullptr;
    const char* target = nullptr;
    const char* arguments = "";
    ParseArgs(engine, args, nullptr, "ssS", &link, &target, &arguments);
    std::string path = link;
    tolv::AddDefaultExtension(path, ".lnk");
    // A link that is there already is the user's: a copy of it comes back when the undo
    // line has deleted the new one. It stays in place, so a save that fails keeps it.
    CRollbackJournal& journal = engine.GetJournal();
    if (tolv::FileExists(path.c_str())) {
        journal.KeepFile(path.c_str());
    } else {
        journal.NoteCreating(path.c_str());
    }
    if (journal.GetBackupError()) return 0;
    if (!CreateShellLink(engine.GetComSession(), path, target, arguments)) return 0;
    engine.AddUndoLine(("  del " + tolv::QuoteForScript(path)).c_str());
    return 1;
}

// The program a command line names: its first word, in quotes or up to the first blank, as
// written. Windows' own reading would try "C:\Program.exe" for an unquoted
// "C:\Program Files\tool.exe" and look in the current folder first: both run whatever
// anyone put there, elevated. A path must be a full one; a bare name is looked for in the
// system folders only (".exe" added when it has no extension). Empty, with the Windows
// error, when there is no such program.
std::string ProgramToStart(const std::string& commandLine) {
    const size_t start = commandLine.find_first_not_of(" \t");
    std::string name;
    if (start != std::string::npos && commandLine[start] == '"') {
        name = commandLine.substr(start + 1, commandLine.find('"', start + 1) - start - 1);
    } else if (start != std::string::npos) {
        name = commandLine.substr(start, commandLine.find_first_of(" \t", start) - start);
    }
    if (name.find_first_of("\\/:") != std::string::npos) {
        const bool full =
            (name.size() > 2 && name[1] == ':' && (name[2] == '\\' || name[2] == '/')) ||
            name.compare(0, 2, "\\\\") == 0;
        if (!full) {
            SetLastError(ERROR_BAD_PATHNAME);
            return std::string();
        }
        if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
            SetLastError(ERROR_FILE_NOT_FOUND);  // as Windows reports a program not found
            return std::string();
        }
        return name;
    }
    char system[MAX_PATH] = "", windows[MAX_PATH] = "", found[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    GetSystemWindowsDirectoryA(windows, MAX_PATH);
    const std::string folders = std::string(system) + ";" + windows;
    if (name.empty() ||
        !SearchPathA(folders.c_str(), name.c_str(), ".exe", MAX_PATH, found, nullptr)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return std::string();
    }
    return found;
}

// run commandLine[, options]: starts the program the command line names (ProgramToStart)
// and, unless the options hold d, waits for its end; exeReturned is 0 until then and the
// exit code after. 1 when it started; a start that fails is reported.
int RunCommand(CScriptEngine& engine, char* args) {
    const tolv::RawArguments raw(args);
    const char* commandArg = nullptr;
    const char* optionsArg = nullptr;
    ParseArgs(engine, args, nullptr, "sS", &commandArg, &optionsArg);
    // Copies: setting exeReturned may replace the variable an argument was read from, and
    // CreateProcessA may write into its command line.
    const std::string commandLine = commandArg;
    const std::string options = optionsArg ? optionsArg : "";
    engine.SetVarInt(kExeReturned, 0);

    const std::string program = ProgramToStart(commandLine);
    if (program.empty()) return ReportWinError(engine, commandLine.c_str());
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &started)) {
        return ReportWinError(engine, commandLine.c_str());
    }
    const tolv::FileHandle process(started.hProcess);
    const tolv::FileHandle thread(started.hThread);
    WaitForInputIdle(process.Get(), 10000);  // returns at once for a program without windows

    const std::string letters = tolv::LowerOptions(options.c_str());
    tolv::StoreArgumentBack(engine, raw, 1, optionsArg ? options.c_str() : nullptr, letters);
    if (HasOption(letters, 'd')) return 1;
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    engine.SetVarInt(kExeReturned, static_cast<int>(exitCode));
    return 1;
}

}  // namespace

// getEnv $var, name: the variable gets the process's environment variable, read wide and
// turned into the engine's text (the narrow call of some systems counts a UTF-8 value in
// UTF-16 units and cuts it). Values of up to 511 units take no allocation. 0, and the
// variable untouched, when it is not set.
int GetEnvCommand(CScriptEngine& engine, char* args) {
    const char* variable = nullptr;
    const char* nameArg = nullptr;
    ParseArgs(engine, args, nullptr, "vs", &variable, &nameArg);
    if (!*nameArg) ThrowScriptError(ScriptError::kBadArgument);
    constexpr DWORD kShort = 512;
    wchar_t shortName[kShort];
    wchar_t shortValue[kShort];
    const int nameUnits = MultiByteToWideChar(CP_ACP, 0, nameArg, -1, shortName, kShort);
    if (nameUnits <= 0) return 0;  // a name of 512 units or more names no variable
    SetLastError(ERROR_SUCCESS);
    DWORD units = GetEnvironmentVariableW(shortName, shortValue, kShort);
    if (units == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return 0;
    std::wstring longValue;
    const wchar_t* value = shortValue;
    if (units >= kShort) {
        longValue.resize(units);
        units = GetEnvironmentVariableW(shortName, longValue.data(), units);
        value = longValue.c_str();
    }
    std::string& text = engine.ResultScratch();
    const int bytes = units ? WideCharToMultiByte(CP_ACP, 0, value, static_cast<int>(units),
                                                  nullptr, 0, nullptr, nullptr)
                            : 0;
    text.resize(static_cast<size_t>(bytes > 0 ? bytes : 0));
    if (bytes > 0) {
        WideCharToMultiByte(CP_ACP, 0, value, static_cast<int>(units), text.data(), bytes, nullptr,
                            nullptr);
    }
    if (LongerThan(text, kMaxTextLength)) ThrowScriptError(ScriptError::kTooLong);
    engine.SetVar(variable, text.c_str());
    return 1;
}

// fileVersion $var, path: the file's version resource as "major.minor.build.revision".
// A relative path is looked for as copy looks for its source. 0, and the variable
// untouched, for a missing file or one without a version resource.
int FileVersionCommand(CScriptEngine& engine, char* args) {
    const char* variable = nullptr;
    const char* name = nullptr;
    ParseArgs(engine, args, nullptr, "vs", &variable, &name);
    std::string found;
    const char* path = tolv::SourceFilePath(engine, name, found);
    const DWORD size = GetFileVersionInfoSizeA(path, nullptr);
    if (size == 0) return 0;
    // The resource is read into the engine's result text, whose storage stays from call to
    // call.
    std::string& block = engine.ResultScratch();
    block.resize(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path, 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) ||
        length < sizeof *info) {
        return 0;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
                  LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                  LOWORD(info->dwFileVersionLS));
    engine.SetVar(variable, text);
    return 1;
}

const ScriptCommand kSystemCommands[] = {
    {"getInfo", GetInfoCommand},
    {"fileAccess", FileAccessCommand},
    {"freeSpace", FreeSpaceCommand},
    {"getErrorString", GetErrorStringCommand},
    {"fileSize", FileSizeCommand},
    {"isAdmin", IsAdminCommand},
    {"shortcut", ShortcutCommand},
    {"run", RunCommand},
    {"getEnv", GetEnvCommand},
    {"fileVersion", FileVersionCommand},
    {nullptr, nullptr},
};
