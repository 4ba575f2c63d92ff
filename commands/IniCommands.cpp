// The INI file commands: iniGet reads one key of a section, iniSet writes or deletes one.
//
// iniSet changes a file that usually belongs to someone else (a vendor's settings file, a
// system file), so it takes the file back exactly: before the first change of a run the
// journal keeps a copy of the whole file, which a rollback puts back byte for byte. The undo
// line it records sets the key back to its old text (or deletes it, or the file the run
// made), so that a saved uninstaller undoes the one key and leaves the rest of the file as
// later programs changed it.
//
// Both go through the profile functions of Windows, which read a file without a byte order
// mark in the process's code page: UTF-8 for this program.
#include <windows.h>

#include <string>

#include "commands/CommandTables.h"
#include "commands/ReportWinError.h"
#include "commands/SysCommandSupport.h"
#include "engine/Text.h"
#include "platform/PathHelpers.h"
#include "rollback/RollbackJournal.h"

namespace {

// The default the profile functions give a missing key, which no file can hold: a key is
// there exactly when its text is not this.
constexpr char kMissing[] = "\x01\x02";

// Reads section/key of the file at path into value (its storage reused from call to call);
// false when the key is not there. Raises 9 for a text over 4095 characters.
bool ReadKey(const char* path, const char* section, const char* key, std::string& value) {
    constexpr DWORD kCapacity = kMaxTextLength * 4 + 2;  // one byte more than any value that fits
    value.resize(kCapacity);
    const DWORD length =
        GetPrivateProfileStringA(section, key, kMissing, value.data(), kCapacity, path);
    value.resize(length);
    if (value == kMissing) return false;
    if (length >= kCapacity - 1 || LongerThan(value, kMaxTextLength))
        ThrowScriptError(ScriptError::kTooLong);
    return true;
}

// iniGet $var, file, section, key[, default]: the variable gets the key's text; a missing
// key gives the default when there is one (the result is 0 all the same) and leaves the
// variable as it was when there is none.
int IniGet(CScriptEngine& engine, char* args) {
    const char* variable = nullptr;
    const char* file = nullptr;
    const char* section = nullptr;
    const char* key = nullptr;
    const char* fallback = nullptr;
    ParseArgs(engine, args, nullptr, "vsssS", &variable, &file, &section, &key, &fallback);
    std::string foundPath;
    const char* path = tolv::SourceFilePath(engine, file, foundPath);
    std::string& value = engine.ResultScratch();
    const bool found = ReadKey(path, section, key, value);
    if (found) {
        engine.SetVar(variable, value.c_str());
    } else if (fallback) {
        engine.SetVar(variable, fallback);
    }
    return found ? 1 : 0;
}

// iniSet file, section, key[, text]: writes the key, or deletes it when no text is given.
// The file must be given by an absolute path (8): a relative one would land in the Windows
// folder. A file that cannot be backed up is not changed; a failed write is reported through
// ReportWinError. 1 when written.
int IniSet(CScriptEngine& engine, char* args) {
    const char* fileArg = nullptr;
    const char* sectionArg = nullptr;
    const char* keyArg = nullptr;
    const char* text = nullptr;
    ParseArgs(engine, args, nullptr, "sssS", &fileArg, &sectionArg, &keyArg, &text);
    if (!tolv::IsAbsolutePath(fileArg)) ThrowScriptError(ScriptError::kBadArgument);
    if (text && LongerThan(text, kMaxTextLength)) ThrowScriptError(ScriptError::kTooLong);
    const std::string path = fileArg;
    const std::string section = sectionArg;
    const std::string key = keyArg;

    std::string old;
    const bool keyExisted = ReadKey(path.c_str(), section.c_str(), key.c_str(), old);
    // Which undo line fits; the backups below decide for themselves what stands there, and
    // refuse when they cannot tell.
    const bool fileExisted = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    CRollbackJournal& journal = engine.GetJournal();
    journal.KeepFile(path.c_str());
    if (!journal.GetBackupError()) journal.NoteCreating(path.c_str());
    if (journal.GetBackupError()) {
        SetLastError(journal.GetBackupError());
        return ReportWinError(engine, path.c_str());
    }
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), text, path.c_str()))
        return ReportWinError(engine, path.c_str());
    // Flushes what Windows may cache of the file, so that the next reader sees it.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());

    std::string undo;
    if (!fileExisted) {
        journal.NoteCreatedPath(path.c_str());
        undo = "  del " + tolv::QuoteForScript(path);
    } else {
        undo = "  iniSet " + tolv::QuoteForScript(path) + ", " + tolv::QuoteForScript(section) +
               ", " + tolv::QuoteForScript(key);
        if (keyExisted) undo += ", " + tolv::QuoteForScript(old);
    }
    engine.AddUndoLine(undo.c_str());
    return 1;
}

}  // namespace

const ScriptCommand kIniCommands[] = {
    {"iniGet", IniGet},
    {"iniSet", IniSet},
    {nullptr, nullptr},
};
