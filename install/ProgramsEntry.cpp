#include "install/ProgramsEntry.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "commands/RegistryHelpers.h"
#include "engine/RunObserver.h"
#include "engine/ScriptEngine.h"
#include "platform/Handles.h"
#include "platform/TextCodec.h"
#include "rollback/RollbackJournal.h"

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kDevicesKey[] = "Software\\Obrix\\Plixa\\Devices\\";
constexpr int kWholeTree = 1;

// tolvarin.exe beside the running program (the program itself, or a test beside it).
std::string ProgramPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    folder.erase(folder.find_last_of(L"\\/") == std::wstring::npos ? 0
                                                                   : folder.find_last_of(L"\\/"));
    return tolv::TextFromWide(folder + L"\\tolvarin.exe");
}

std::string RecordText(const std::string& device, const char* name) {
    std::string value;
    tolv::ReadRegString(value, HKEY_LOCAL_MACHINE, (kDevicesKey + device).c_str(), name);
    return value;
}

// The record's Version (major << 8 | minor) as "major.minor"; empty without one.
std::string RecordVersion(const std::string& device) {
    DWORD version = 0;
    if (tolv::ReadRegDword(version, HKEY_LOCAL_MACHINE, (kDevicesKey + device).c_str(),
                           "Version") != ERROR_SUCCESS) {
        return "";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%lu.%lu", static_cast<unsigned long>(version >> 8),
                  static_cast<unsigned long>(version & 0xFF));
    return text;
}

bool SetText(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

}  // namespace

std::string ProgramsEntryKey(const std::string& device) {
    return kUninstallKey + ("Tolvarin." + device);
}

void WriteProgramsEntry(CScriptEngine& engine, const std::string& device) {
    const std::string key = ProgramsEntryKey(device);
    // An entry already there (left by a run of an earlier version) comes back with a
    // rollback; a new one is noted before it is made, so that a killed run loses it too.
    CRollbackJournal& journal = engine.GetJournal();
    journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, key.c_str(), kWholeTree);
    if (!journal.GetBackupError()) journal.NoteCreatingKey(HKEY_LOCAL_MACHINE, key.c_str());
    if (journal.GetBackupError()) {
        RunNote("programs entry not written: its backup failed (Windows error %lu)",
                static_cast<unsigned long>(journal.GetBackupError()));
        return;
    }
    tolv::RegKey entry;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        entry.Put(), nullptr) != ERROR_SUCCESS) {
        RunNote("programs entry not written: its key cannot be made");
        return;
    }
    journal.NoteCreatedKey(HKEY_LOCAL_MACHINE, key.c_str());
    const std::string program = "\"" + ProgramPath() + "\"";
    const std::string quoted = "\"" + device + "\"";
    const std::string name = engine.HasGlobalVar("INST_NAME") ? engine.GetVar("INST_NAME") : "";
    const bool written =
        SetText(entry.Get(), "DisplayName", name.empty() ? device : name) &&
        SetText(entry.Get(), "DisplayVersion", RecordVersion(device)) &&
        SetText(entry.Get(), "Publisher", RecordText(device, "Vendor")) &&
        SetText(entry.Get(), "UninstallString", program + " /u " + quoted) &&
        SetText(entry.Get(), "QuietUninstallString", program + " /q /u " + quoted) &&
        SetNumber(entry.Get(), "NoModify", 1) && SetNumber(entry.Get(), "NoRepair", 1);
    RunNote(written ? "programs entry written: HKLM\\%s" : "programs entry incomplete: HKLM\\%s",
            key.c_str());
}

void RemoveProgramsEntry(const std::string& device) {
    tolv::DeleteRegTree(HKEY_LOCAL_MACHINE, ProgramsEntryKey(device).c_str());
}
