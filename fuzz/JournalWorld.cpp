#include "fuzz/JournalWorld.h"

#include <vector>

#include "rollback/RollbackJournal.h"

namespace fuzz {
namespace {

const std::string kApp = "C:\\Program Files\\Reader";

void WriteText(const std::string& path, const std::string& text, DWORD attributes = 0) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    if (attributes) SetFileAttributesA(path.c_str(), attributes);
}

void SetValue(HKEY root, const char* subkey, const char* name, DWORD type,
              const std::string& data) {
    HKEY key = nullptr;
    RegCreateKeyExA(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

void SetText(HKEY root, const char* subkey, const char* name, const std::string& text) {
    SetValue(root, subkey, name, REG_SZ, text + '\0');
}

void SetNumber(HKEY root, const char* subkey, const char* name, DWORD number) {
    SetValue(root, subkey, name, REG_DWORD, std::string(reinterpret_cast<char*>(&number), 4));
}

// The files a run replaces, keeps a copy of, and deletes with their folders.
void ChangeFiles(CRollbackJournal& journal) {
    journal.BackupFile((kApp + "\\reader.exe").c_str());
    WriteText(kApp + "\\reader.exe", "reader 2.0");
    journal.KeepFile((kApp + "\\shared.dll").c_str());
    WriteText(kApp + "\\shared.dll", "shared 2.0");
    journal.BackupFile((kApp + "\\doc\\readme.txt").c_str());
    journal.BackupFile((kApp + "\\doc").c_str());
    journal.BackupFile((kApp + "\\old").c_str());
}

// What a run makes where nothing stood, each with the undo line that takes it away.
void MakeFiles(CRollbackJournal& journal) {
    const std::string lang = kApp + "\\lang", text = lang + "\\de.txt";
    if (journal.NoteCreating(lang.c_str())) {
        CreateDirectoryA(lang.c_str(), nullptr);
        journal.NoteCreatedPath(lang.c_str());
        journal.NoteUndoLine(("rmdir " + lang).c_str());
    }
    if (journal.NoteCreating(text.c_str())) {
        WriteText(text, "Kartenleser");
        journal.NoteCreatedPath(text.c_str());
        journal.NoteUndoLine(("delete " + text).c_str());
    }
    journal.NoteMadeFolder("C:\\Program Files\\Vendor");
    CreateDirectoryA("C:\\Program Files\\Vendor", nullptr);
    journal.NoteTemporaryFile("C:\\Temp\\ktx1.tmp");
    WriteText("C:\\Temp\\ktx1.tmp", "rename at restart");
}

void ChangeKeys(CRollbackJournal& journal) {
    journal.BackupRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Reader", 1);
    SetText(HKEY_LOCAL_MACHINE, "Software\\Reader", "Version", "2.0");
    SetText(HKEY_LOCAL_MACHINE, "Software\\Reader\\Devices\\Slot0", "Name", "Reader 2");
    journal.BackupRegistryKey(HKEY_CURRENT_USER, "Software\\Reader\\Settings", 0);
    SetText(HKEY_CURRENT_USER, "Software\\Reader\\Settings", "Language", "de");
    // A shared count raised, and one that was absent.
    journal.BackupRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Shared", "reader.sys");
    SetNumber(HKEY_LOCAL_MACHINE, "Software\\Shared", "reader.sys", 2);
    journal.BackupRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Shared", "vendor.dll");
    SetNumber(HKEY_LOCAL_MACHINE, "Software\\Shared", "vendor.dll", 1);
    // One saved ahead of a change whose undo line came, one whose undo line never did.
    journal.SaveValueAhead(HKEY_LOCAL_MACHINE, "Software\\Reader", "Port");
    SetNumber(HKEY_LOCAL_MACHINE, "Software\\Reader", "Port", 2);
    journal.NoteUndoLine("regChangeRef HKLM Software\\Reader Port");
    journal.NoteMadeKey(HKEY_LOCAL_MACHINE, "Software\\Vendor");
    journal.NoteCreatingKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Reader");
    SetText(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Reader", "Path", kApp);
    journal.NoteCreatedKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Reader");
    journal.NoteUndoLine("regDelKey HKLM Software\\Vendor\\Reader");
    journal.SaveValueAhead(HKEY_LOCAL_MACHINE, "Software\\Reader", "Mode");
    SetText(HKEY_LOCAL_MACHINE, "Software\\Reader", "Mode", "fast");
}

}  // namespace

fakewin::Machine MachineBeforeRun() {
    fakewin::Boot(fakewin::EmptyMachine(), kWriterProcess);
    for (const char* folder : {"C:\\ProgramData", "C:\\ProgramData\\Tolvarin", kJournalFolderPath,
                               "C:\\Temp", "C:\\Program Files"}) {
        CreateDirectoryA(folder, nullptr);
    }
    for (const char* folder : {"", "\\doc", "\\old"})
        CreateDirectoryA((kApp + folder).c_str(), nullptr);
    WriteText(kApp + "\\reader.exe", "reader 1.0");
    WriteText(kApp + "\\shared.dll", "shared 1.0");
    WriteText(kApp + "\\reader.sys", "driver 1.0");
    WriteText(kApp + "\\doc\\readme.txt", "read me", FILE_ATTRIBUTE_READONLY);
    SetText(HKEY_LOCAL_MACHINE, "Software\\Reader", "Version", "1.0");
    SetNumber(HKEY_LOCAL_MACHINE, "Software\\Reader", "Port", 1);
    SetText(HKEY_LOCAL_MACHINE, "Software\\Reader\\Devices\\Slot0", "Name", "Reader 1");
    SetText(HKEY_CURRENT_USER, "Software\\Reader\\Settings", "Language", "en");
    SetNumber(HKEY_LOCAL_MACHINE, "Software\\Shared", "reader.sys", 1);
    return fakewin::Current();
}

std::string RunInstallation() {
    CRollbackJournal journal;
    journal.Open();
    ChangeFiles(journal);
    MakeFiles(journal);
    ChangeKeys(journal);
    journal.NoteProcedure({"proc Uninstall", "delete " + kApp + "\\reader.exe", "endp"});
    // Killed before it ends: its journal file stays.
    fakewin::Kill();
    return journal.GetFileName();
}

const KilledRun& TheKilledRun() {
    static const KilledRun run = [] {
        fakewin::Boot(MachineBeforeRun(), kWriterProcess);
        const std::string journal = RunInstallation();
        fakewin::Restart();
        return KilledRun{fakewin::Current(), journal};
    }();
    return run;
}

fakewin::Machine WithJournal(const std::string& bytes, bool readOnly) {
    const KilledRun& run = TheKilledRun();
    fakewin::Boot(run.machine, kRecoveryProcess);
    WriteText(run.journal, bytes, readOnly ? FILE_ATTRIBUTE_READONLY : 0);
    return fakewin::Current();
}

bool RecoverJournal(const std::string& path) {
    CRollbackJournal journal;
    CRollbackJournal::KeptScript kept;
    if (!journal.Adopt(path, &kept)) return false;
    if (journal.WasCommitted()) {
        journal.Commit();
    } else {
        if (!journal.UndoLinesRan()) journal.NoteUndoLinesRan();
        journal.Replay();
    }
    return true;
}

}  // namespace fuzz
