// Installing and uninstalling one device through its installation file.
//
// The program writes nothing for a device itself: the installation file's Install
// procedure copies files and writes the device's registry record, and everything it did is
// taken back through the engine's rollback when it fails. Uninstallation runs the
// Uninstall procedure of the file the record names, or deletes the driver module, and then
// deletes the record.
#include "install/DeviceActions.h"
#include "framework/Framework.h"
#include "plixa/DeviceLibrary.h"
#include "language/Language.h"
#include "platform/PathHelpers.h"
#include "commands/RegistryHelpers.h"
#include "engine/ScriptEngine.h"
#include "install/InstallLog.h"
#include "install/ProgramsEntry.h"
#include "install/SilentInstallHost.h"
#include "platform/Handles.h"
#include "resources/resource.h"
#include "rollback/Recovery.h"
#include "rollback/RollbackJournal.h"

#include <memory>
#include <string>

namespace {

constexpr char kDevicesKey[] = "Software\\Obrix\\Plixa\\Devices\\";
bool gQuietRuns = false;
InstallHostMaker gWindowHostMaker = nullptr;
constexpr char kDriverType[] = "OBX_PLIXA_DRIVER";
// The procedure whose presence lets a file replace an installed version of its device.
constexpr char kUpgradeProc[] = "Upgrade";
// Uninstallation answers questions about replacing a newer file with "replace".
constexpr int kReplace = 1;

// A language string with its "%s" replaced by text; no printf, so that a "%" in a device
// or component name stays text.
std::wstring FormatLangString(UINT id, const std::string& text) {
    std::wstring message = LangString(id);
    size_t at = message.find(L"%s");
    if (at != std::wstring::npos) message.replace(at, 2, WideFromAnsi(text));
    return message;
}

// Brings back what a failed run changed. A fault in the recorded undo lines ends the
// rollback early but must not end the program.
void RollBackQuietly(CScriptEngine& engine) {
    try {
        engine.RollBack();
    } catch (...) {
    }
}

// The script error code of the exception being handled; 0 for any other exception.
int CaughtCode() {
    try {
        throw;
    } catch (int code) {
        return code;
    } catch (...) {
        return 0;
    }
}

// Every message box of the flows goes here, so that the log records it with its answer,
// and that a box nobody answers shows in the log as the run's last line.
int ShowMessage(const std::wstring& text, UINT flags) {
    LogWaitingForAnswer(text);
    return LogFlowMessage(text, AfxMessageBox(text, flags));
}

// Whether the run left work for the next restart ($needReboot set to 1).
bool RestartNeeded(const CScriptEngine& engine) {
    int needed = 0;
    return engine.HasGlobalVar("needReboot") && engine.ReadVarInt("needReboot", &needed) &&
           needed == 1;
}

void SetOutcome(FlowOutcome* outcome, FlowOutcome value) {
    if (outcome) *outcome = value;
}

void ReportInstallFailure(int code) {
    if (code >= 1 && code <= 99) {
        ShowMessage(LangString(IDS_BAD_INSTALL_FILE), MB_OK);
    } else if (code == ScriptError::kAborted) {
        ShowMessage(LangString(IDS_INSTALL_ABORTED), MB_OK);
    }
    // Other codes, such as the user's Cancel, need no message of their own.
}

std::string RecordKey(const char* deviceName) {
    return kDevicesKey + std::string(deviceName);
}

// A string value of the device's record, empty when it is missing. Returns false when the
// value is there but cannot be read as a path (too long, another type): then what it names
// is unknown, and guessing "absent" would delete the driver module instead of running the
// device's own uninstaller.
bool ReadRecordValue(const std::string& key, const char* name, std::string& value) {
    value.clear();
    const LONG rc = tolv::ReadRegString(value, HKEY_LOCAL_MACHINE, key.c_str(), name);
    if (rc == ERROR_SUCCESS) return true;
    value.clear();
    return rc == ERROR_FILE_NOT_FOUND;
}

// Whether directory is the system's temporary directory, which holds other programs' files
// and the journal's backups even when it happens to be empty.
bool IsTemporaryDirectory(const std::string& directory) {
    char temp[tolv::kNarrowPathBufferSize] = "";
    const DWORD length = GetTempPathA(tolv::kNarrowPathBufferSize, temp);
    if (length == 0 || length >= tolv::kNarrowPathBufferSize) return false;
    std::string stripped = temp;
    tolv::StripBackslash(stripped);
    return _stricmp(stripped.c_str(), directory.c_str()) == 0;
}

std::string DirectoryOf(const std::string& path) {
    std::string directory;
    tolv::SplitPath(path, &directory, nullptr);
    return directory;
}

// Runs the Uninstall procedure of the installation file at path in engine, silently, with
// the file's directory as its argument, and commits it when commit is set. Returns whether
// it ran to its end; a failure is taken back.
bool RunUninstallScript(CScriptEngine& engine, const char* deviceName, const std::string& path,
                        bool commit) {
    try {
        std::string directory = DirectoryOf(path);
        pxShutdownDevice(deviceName);
        engine.Load(path.c_str());
        engine.AddScriptDirSource();
        engine.StartJournal();
        engine.CallProc("Uninstall", directory.data());
        if (commit) engine.CommitJournal();
        return true;
    } catch (...) {
        LogRunFailed(engine, CaughtCode());
        RollBackQuietly(engine);
        return false;
    }
}

void DeleteDriverModule(const char* deviceName, const std::string& driver) {
    std::string directory = DirectoryOf(driver);
    pxShutdownDevice(deviceName);
    DeleteFileA(driver.c_str());
    // Only an empty directory goes: one that still holds other files stays, and so does the
    // temporary directory.
    if (!IsTemporaryDirectory(directory)) RemoveDirectoryA(directory.c_str());
}

// The values of the installed version's record that the user may have changed through the
// Device library's settings: they outlive an upgrade unless the new version writes its own.
struct UserSettings {
    bool hasLogicalName = false;
    std::string logicalName;
    bool hasStartup = false;
    DWORD startup = 0;
};

UserSettings ReadUserSettings(const std::string& key) {
    UserSettings settings;
    settings.hasLogicalName = tolv::ReadRegString(settings.logicalName, HKEY_LOCAL_MACHINE,
                                                  key.c_str(), "LogicalName") == ERROR_SUCCESS;
    settings.hasStartup = tolv::ReadRegDword(settings.startup, HKEY_LOCAL_MACHINE, key.c_str(),
                                             "Startup") == ERROR_SUCCESS;
    return settings;
}

// Writes back the user's settings that the new version's record lacks, inside the run's
// journal. A record the new version did not write gets nothing: the device is gone with it.
void KeepUserSettings(CScriptEngine& engine, const std::string& key, const UserSettings& settings) {
    tolv::RegKey record;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, record.Put()) !=
        ERROR_SUCCESS)
        return;
    const bool name =
        settings.hasLogicalName && RegQueryValueExA(record.Get(), "LogicalName", nullptr, nullptr,
                                                    nullptr, nullptr) == ERROR_FILE_NOT_FOUND;
    const bool startup =
        settings.hasStartup && RegQueryValueExA(record.Get(), "Startup", nullptr, nullptr, nullptr,
                                                nullptr) == ERROR_FILE_NOT_FOUND;
    if (!name && !startup) return;
    CRollbackJournal& journal = engine.GetJournal();
    journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, key.c_str(), 0);
    if (journal.GetBackupError()) return;
    if (name) {
        RegSetValueExA(record.Get(), "LogicalName", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(settings.logicalName.c_str()),
                       static_cast<DWORD>(settings.logicalName.size() + 1));
    }
    if (startup) {
        RegSetValueExA(record.Get(), "Startup", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&settings.startup), sizeof settings.startup);
    }
    const char* kept = name && startup ? "LogicalName and Startup"
                       : name          ? "LogicalName"
                                       : "Startup";
    LogRunNote(std::string("kept the installed version's ") + kept);
}

// Takes the installed version of device away as UninstallDevice does, its record last, but
// inside engine's journal: the new version's run goes on in it, so that both are committed,
// or taken back and the old version left as it was, together. False, with nothing changed,
// when the old version could not be taken away.
bool RemoveInstalledVersion(CScriptEngine& engine, const std::string& device, bool* restart) {
    const std::string key = RecordKey(device.c_str());
    std::string uninstallScript, driver;
    bool readable = ReadRecordValue(key, "Uninstall", uninstallScript);
    if (readable && uninstallScript.empty()) readable = ReadRecordValue(key, "DriverDll", driver);
    if (!readable) return false;
    if (!uninstallScript.empty()) {
        CScriptEngine old;
        CSilentInstallHost host(kReplace);
        old.SetHost(&host);
        if (!RunUninstallScript(old, device.c_str(), uninstallScript, false)) return false;
        *restart = RestartNeeded(old);
        engine.ContinueRun(old);
    } else {
        engine.StartJournal();
    }
    CRollbackJournal& journal = engine.GetJournal();
    if (!driver.empty()) {
        // Moved aside rather than deleted, and its folder removed only when empty, so that a
        // rollback puts both back.
        const std::string directory = DirectoryOf(driver);
        pxShutdownDevice(device.c_str());
        journal.BackupFile(driver.c_str());
        if (!IsTemporaryDirectory(directory)) journal.BackupFile(directory.c_str());
    }
    journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, key.c_str(), 1);
    if (journal.GetBackupError()) {
        LogRunNote("the record of " + device + " cannot be saved: Windows error " +
                   std::to_string(journal.GetBackupError()));
        RollBackQuietly(engine);
        return false;
    }
    tolv::DeleteRegTree(HKEY_LOCAL_MACHINE, key.c_str());
    return true;
}

// Runs the installation file from Identify on; returns the flow's result.
int RunInstallation(CScriptEngine& engine, const char* path, int interactive,
                    FlowOutcome* outcome) {
    SetOutcome(outcome, FlowOutcome::kFailed);
    engine.Load(path);
    engine.AddScriptDirSource();
    engine.CallProc("Identify");
    LogIdentified(engine);

    if (_stricmp(engine.GetVar("INST_TYPE"), kDriverType) != 0) {
        if (interactive) ShowMessage(LangString(IDS_WRONG_TYPE), MB_ICONHAND);
        return 1;
    }
    const std::string deviceName = engine.GetVar("DEVNAME");
    DeviceInfo info = {};
    const bool installed = pxGetDeviceInfo1(deviceName.c_str(), &info) == 0;
    const bool upgrade = installed && engine.GetProcTable().FindName(kUpgradeProc) >= 0;
    if (installed && !upgrade) {
        LogRunNote("already installed: the device " + deviceName + " exists");
        SetOutcome(outcome, FlowOutcome::kAlreadyInstalled);
        if (interactive)
            ShowMessage(FormatLangString(IDS_ALREADY_INSTALLED, deviceName), MB_ICONHAND);
        return 0;
    }
    if (interactive) {
        std::wstring question = FormatLangString(IDS_CONFIRM_INSTALL, engine.GetVar("INST_NAME"));
        if (ShowMessage(question, MB_OKCANCEL | MB_ICONQUESTION) == IDCANCEL) return 1;
    } else {
        engine.GetVar("INST_NAME");  // Identify must have named the component all the same
    }

    bool restart = false;
    if (upgrade) {
        LogRunNote("upgrade: the installed " + deviceName + " is uninstalled first");
        const std::string key = RecordKey(deviceName.c_str());
        const UserSettings settings = ReadUserSettings(key);
        if (!RemoveInstalledVersion(engine, deviceName, &restart)) {
            if (interactive) ShowMessage(LangString(IDS_UNINSTALL_FAILED), MB_OK);
            return 1;
        }
        engine.CallProc(kUpgradeProc);
        KeepUserSettings(engine, key, settings);
    } else {
        engine.StartJournal();
        engine.CallProc("Install");
    }
    WriteProgramsEntry(engine, deviceName);
    engine.CommitJournal();
    restart = RestartNeeded(engine) || restart;
    if (restart) LogRunNote("a restart is needed to finish the installation");
    SetOutcome(outcome, restart ? FlowOutcome::kRestartNeeded : FlowOutcome::kDone);
    return 0;
}

}  // namespace

int InstallDevice(const char* path, int interactive, FlowOutcome* outcome) {
    LogRunStart("install from", path);
    SetOutcome(outcome, FlowOutcome::kFailed);
    CScriptEngine engine;
    std::unique_ptr<CInstallHost> windowHost;
    if (!gQuietRuns && gWindowHostMaker) windowHost = gWindowHostMaker();
    CSilentInstallHost silentHost(kReplace);
    engine.SetHost(windowHost ? windowHost.get() : &silentHost);
    try {
        return LogRunResult(RunInstallation(engine, path, interactive, outcome));
    } catch (int code) {
        LogRunFailed(engine, code);
        RollBackQuietly(engine);
        if (interactive) ReportInstallFailure(code);
        return LogRunResult(1);
    } catch (...) {
        // Not a script error (out of memory inside a command): the run is taken back all
        // the same before the exception goes on to the caller.
        RollBackQuietly(engine);
        throw;
    }
}

void RecoverInterruptedRuns(int interactive) {
    CSilentInstallHost host(kReplace);
    if (RecoverKilledRuns(host) > 0 && interactive)
        ShowMessage(LangString(IDS_RUN_TAKEN_BACK), MB_ICONINFORMATION);
}

int UninstallDevice(const char* deviceName, int interactive, FlowOutcome* outcome) {
    LogRunStart("uninstall device", deviceName);
    SetOutcome(outcome, FlowOutcome::kFailed);
    DeviceInfo info = {};
    if (pxGetDeviceInfo1(deviceName, &info) != 0) {
        LogRunNote(std::string("no such device: ") + deviceName);
        SetOutcome(outcome, FlowOutcome::kNoSuchDevice);
        return LogRunResult(1);
    }
    const std::string key = RecordKey(deviceName);

    std::string uninstallScript, driver;
    bool restart = false;
    bool done = ReadRecordValue(key, "Uninstall", uninstallScript);
    if (done && uninstallScript.empty()) done = ReadRecordValue(key, "DriverDll", driver);
    if (done && !uninstallScript.empty()) {
        CScriptEngine engine;
        CSilentInstallHost host(kReplace);
        engine.SetHost(&host);
        done = RunUninstallScript(engine, deviceName, uninstallScript, true);
        restart = done && RestartNeeded(engine);
    }
    if (!done) {
        if (interactive) ShowMessage(LangString(IDS_UNINSTALL_FAILED), MB_OK);
        return LogRunResult(1);
    }
    if (uninstallScript.empty() && !driver.empty()) DeleteDriverModule(deviceName, driver);
    tolv::DeleteRegTree(HKEY_LOCAL_MACHINE, key.c_str());
    RemoveProgramsEntry(deviceName);
    if (restart) LogRunNote("a restart is needed to finish the uninstallation");
    SetOutcome(outcome, restart ? FlowOutcome::kRestartNeeded : FlowOutcome::kDone);
    return LogRunResult(0);
}

void SetQuietRuns(bool quiet) {
    gQuietRuns = quiet;
}

void SetWindowHostMaker(InstallHostMaker maker) {
    gWindowHostMaker = maker;
}
