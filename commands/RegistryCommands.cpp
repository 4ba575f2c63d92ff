// The registry command table: regDel, regSZ, regDW, regGetValue, regChangeRef, and the
// queries regKeyExists, regEnumKey and regEnumValue.
//
// Commands that change a key first have the journal save it (the key's own values, or its
// whole subtree before a deletion), then change it, then record the statement that removes
// what they created. Together the two put a key back as it was: the undo line deletes the
// value or the new key, and the journal then restores the values saved before the first
// change. Windows failures are results (0), never script errors; only a root name that is
// not one of HKLM, HKCU, HKCR, HKU or an empty subkey is a fault of the script (8).
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/Handles.h"
#include "commands/RegistryHelpers.h"
#include "commands/SysCommandSupport.h"
#include "commands/SystemCommandTables.h"
#include "platform/Win32Calls.h"
#include "engine/ScriptEngine.h"
#include "rollback/RegistryStream.h"
#include "rollback/RollbackJournal.h"

namespace {

using tolv::QuoteForScript;
using tolv::Win32;

// Backups of a key's own values, or of the key with everything below it.
constexpr int kValuesOnly = 0;
constexpr int kWholeTree = 1;

// The root a script names; raises 8 for an unknown name or an empty subkey, before anything
// is touched.
HKEY RequireRoot(const char* rootName, const char* subkey) {
    const HKEY root = tolv::RootKeyFromName(rootName);
    if (!root || !subkey || !*subkey) ThrowScriptError(ScriptError::kBadArgument);
    return root;
}

int RegDel(CScriptEngine& engine, char* args) {
    const char* rootName = nullptr;
    const char* subkey = nullptr;
    const char* valueName = nullptr;
    ParseArgs(engine, args, nullptr, "ssS", &rootName, &subkey, &valueName);
    const HKEY root = RequireRoot(rootName, subkey);

    // A key or value whose backup failed stays: the rollback could not bring it back. This
    // is the one case in which regDel returns 0.
    CRollbackJournal& journal = engine.GetJournal();
    if (!valueName) {
        journal.BackupRegistryKey(root, subkey, kWholeTree);
        if (journal.GetBackupError()) return 0;
        tolv::DeleteRegTree(root, subkey);
        return 1;
    }
    tolv::RegKey key;
    if (Win32().RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) {
        return 1;
    }
    journal.BackupRegistryKey(root, subkey, kValuesOnly);
    if (journal.GetBackupError()) return 0;
    Win32().RegDeleteValueA(key.Get(), valueName);
    return 1;
}

// False when the journal could not keep them: the key must not be made.
bool NoteMissingParents(CRollbackJournal& journal, HKEY root, const std::string& subkey) {
    if (!journal.IsActive() || tolv::RegKeyExists(root, subkey.c_str())) return true;
    bool missing = false;
    for (size_t at = subkey.find('\\'); at != std::string::npos; at = subkey.find('\\', at + 1)) {
        const std::string parent = subkey.substr(0, at);
        if (parent.empty() || parent.back() == '\\') continue;
        // Below a missing key every key is missing.
        missing = missing || !tolv::RegKeyExists(root, parent.c_str());
        if (!missing) continue;
        journal.NoteMadeKey(root, parent.c_str());
        if (journal.GetBackupError()) return false;
    }
    return true;
}

// regSZ and regDW: one routine, the value written as text or as a DWORD.
int WriteValue(CScriptEngine& engine, const char* rootName, const char* subkey,
               const char* valueName, DWORD type, const BYTE* data, DWORD size) {
    const HKEY root = RequireRoot(rootName, subkey);
    // Parent keys the create call is about to make, topmost first: a rollback deletes them
    // again once they are empty. The saved uninstaller's undo line leaves them (by then
    // another product may keep keys there).
    if (!NoteMissingParents(engine.GetJournal(), root, subkey)) return 0;
    // A key the write is about to make is noted first: a run killed before its undo line
    // is recorded loses it all the same.
    engine.GetJournal().NoteCreatingKey(root, subkey);
    if (engine.GetJournal().GetBackupError()) return 0;
    tolv::RegKey key;
    DWORD disposition = 0;
    if (Win32().RegCreateKeyExA(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, key.Put(), &disposition) != ERROR_SUCCESS) {
        return 0;
    }
    // The root name goes into the undo line as the script wrote it; only the journal
    // record uses the canonical name.
    std::string undo = std::string("  regDel ") + rootName + ", " + QuoteForScript(subkey);
    if (disposition == REG_OPENED_EXISTING_KEY) {
        // Without a backup of the old values the write would be for good: nothing is
        // written and nothing recorded.
        CRollbackJournal& journal = engine.GetJournal();
        journal.BackupRegistryKey(root, subkey, kValuesOnly);
        if (journal.GetBackupError()) return 0;
        undo += ", " + QuoteForScript(valueName);
    } else {
        engine.GetJournal().NoteCreatedKey(root, subkey);
    }
    engine.AddUndoLine(undo.c_str());
    return Win32().RegSetValueExA(key.Get(), valueName, 0, type, data, size) == ERROR_SUCCESS ? 1
                                                                                              : 0;
}

int RegSZ(CScriptEngine& engine, char* args) {
    const char* rootName = nullptr;
    const char* subkey = nullptr;
    const char* valueName = nullptr;
    const char* text = nullptr;
    ParseArgs(engine, args, nullptr, "ssss", &rootName, &subkey, &valueName, &text);
    return WriteValue(engine, rootName, subkey, valueName, REG_SZ,
                      reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1));
}

int RegDW(CScriptEngine& engine, char* args) {
    const char* rootName = nullptr;
    const char* subkey = nullptr;
    const char* valueName = nullptr;
    int number = 0;
    ParseArgs(engine, args, nullptr, "sssd", &rootName, &subkey, &valueName, &number);
    const DWORD data = static_cast<DWORD>(number);
    return WriteValue(engine, rootName, subkey, valueName, REG_DWORD,
                      reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

int RegGetValue(CScriptEngine& engine, char* args) {
    const char* variable = nullptr;
    const char* rootName = nullptr;
    const char* subkey = nullptr;
    const char* valueName = "";
    const char* fallback = nullptr;
    ParseArgs(engine, args, nullptr, "vssSS", &variable, &rootName, &subkey, &valueName, &fallback);
    const HKEY root = RequireRoot(rootName, subkey);

    std::string text;
    LONG rc = tolv::ReadRegString(text, root, subkey, valueName);
    if (rc == ERROR_BADKEY) {
        DWORD number = 0;
        rc = tolv::ReadRegDword(number, root, subkey, valueName);
        if (rc == ERROR_SUCCESS) text = std::to_string(number);
    }
    const bool read = rc == ERROR_SUCCESS;
    if (!read) {
        if (rc != ERROR_FILE_NOT_FOUND || !fallback) return 0;
        text = fallback;  // the variable gets the default, the command still fails
    }
    engine.SetVar(variable, text.c_str());
    return read ? 1 : 0;
}

int RegKeyExists(CScriptEngine& engine, char* args) {
    const char* rootName = nullptr;
    const char* subkey = nullptr;
    ParseArgs(engine, args, nullptr, "ss", &rootName, &subkey);
    const HKEY root = RequireRoot(rootName, subkey);
    tolv::RegKey key;
    return Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, key.Put()) == ERROR_SUCCESS ? 1 : 0;
}

// regEnumKey and regEnumValue: the variable gets the name of the key's n-th subkey or value
// (n from 1, in the order Windows lists them), or the empty text past the end or when the
// key is missing. The name is read into the engine's result text, whose storage stays from
// call to call, so that a loop over a key allocates nothing.
int EnumName(CScriptEngine& engine, char* args, bool values) {
    const char* variable = nullptr;
    const char* rootName = nullptr;
    const char* subkey = nullptr;
    int position = 0;
    ParseArgs(engine, args, nullptr, "vssd", &variable, &rootName, &subkey, &position);
    const HKEY root = RequireRoot(rootName, subkey);
    if (position < 1) ThrowScriptError(ScriptError::kBadArgument);
    std::string& name = engine.ResultScratch();
    tolv::RegKey key;
    LONG rc = Win32().RegOpenKeyExA(root, subkey, 0, KEY_READ, key.Put());
    // Key names have at most 255 characters; value names up to 16,383.
    for (DWORD capacity = 1024; rc == ERROR_SUCCESS; capacity *= 4) {
        name.resize(capacity);
        DWORD length = capacity;
        const DWORD index = static_cast<DWORD>(position - 1);
        rc = values ? Win32().RegEnumValueA(key.Get(), index, name.data(), &length, nullptr,
                                            nullptr, nullptr, nullptr)
                    : Win32().RegEnumKeyExA(key.Get(), index, name.data(), &length, nullptr,
                                            nullptr, nullptr, nullptr);
        if (rc == ERROR_SUCCESS) {
            name.resize(length);
            engine.SetVar(variable, name.c_str());
            return 1;
        }
        if (rc != ERROR_MORE_DATA || capacity >= 65536) break;
        rc = ERROR_SUCCESS;
    }
    engine.SetVar(variable, "");
    return 0;
}

int RegEnumKey(CScriptEngine& engine, char* args) {
    return EnumName(engine, args, false);
}
int RegEnumValue(CScriptEngine& engine, char* args) {
    return EnumName(engine, args, true);
}

int RegChangeRef(CScriptEngine& engine, char* args) {
    const char* path = nullptr;
    int change = 0;
    const char* flags = "";
    const tolv::RawArguments raw(args);
    ParseArgs(engine, args, nullptr, "sdS", &path, &change, &flags);
    const std::string file = path;
    const std::string lowered = tolv::LowerOptions(flags);
    tolv::StoreArgumentBack(engine, raw, 2, flags, lowered);
    const bool keepZero = tolv::HasOption(lowered, 'l');

    WIN32_FIND_DATAA found;
    tolv::FindHandle search(Win32().FindFirstFileA(file.c_str(), &found));
    const bool fileExists = search.IsValid();
    search.Reset();

    // The count's undo line comes after the change; a run killed in between gets the saved
    // count back. One that cannot be saved is not changed.
    CRollbackJournal& journal = engine.GetJournal();
    if (change != 0) {
        journal.SaveValueAhead(HKEY_LOCAL_MACHINE, tolv::kSharedDllsKey, file.c_str());
        if (journal.GetBackupError()) return 0;
    }
    const int count = tolv::ChangeSharedDllCount(file.c_str(), change, fileExists, keepZero);
    if (count != -1 && change != 0) {
        // Negated in 64 bits: the negation of INT_MIN does not fit an int.
        const long long undoChange = -static_cast<long long>(change);
        engine.AddUndoLine(("  regChangeRef " + QuoteForScript(file) + "," +
                            std::to_string(undoChange) + "," + QuoteForScript(lowered))
                               .c_str());
    }
    if (count == 0 && !keepZero) {
        // The file goes through the journal, so that a rollback, which gives the count back
        // with the undo line, also gives the file back. One that cannot be backed up stays.
        journal.BackupFile(file.c_str());
        if (!journal.GetBackupError()) Win32().DeleteFileA(file.c_str());
    }
    return 1;
}

}  // namespace

const ScriptCommand kRegistryCommands[] = {
    {"regDel", RegDel},
    {"regSZ", RegSZ},
    {"regDW", RegDW},
    {"regGetValue", RegGetValue},
    {"regChangeRef", RegChangeRef},
    {"regKeyExists", RegKeyExists},
    {"regEnumKey", RegEnumKey},
    {"regEnumValue", RegEnumValue},
    {nullptr, nullptr},
};
