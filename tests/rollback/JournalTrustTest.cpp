// What recovery accepts from the disk: the journal folder's security, journals planted
// where every user may write, and journals of the folder that a run never wrote.
#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>

#include "engine/RunObserver.h"
#include "install/SilentInstallHost.h"
#include "rollback/JournalFolder.h"
#include "rollback/RegistryStream.h"
#include "rollback/Recovery.h"
#include "rollback/RollbackJournal.h"
#include "tests/rollback/RollbackTestSupport.h"

namespace {

struct NoteLog : CRunObserver {
    NoteLog() { g_runObserver = this; }
    ~NoteLog() override { g_runObserver = nullptr; }
    void StatementStarting(const CScriptEngine&, const char*, const char*) override {}
    void StatementEnded(const CScriptEngine&, int) override {}
    void Note(const char* text) override { notes += std::string(text) + "\n"; }
    std::string notes;
};

std::string Entry(const std::string& bytes) {
    const DWORD size = static_cast<DWORD>(bytes.size());
    return std::string(reinterpret_cast<const char*>(&size), 4) + bytes;
}

// A journal of a dead process (id 0) that would delete victim, delete the key
// HKLM\Software\Victim (and its value V), move backup over moved, and run an undo line that
// writes a value and one that fails.
std::string PlantedJournal(const std::string& victim, const std::string& moved,
                           const std::string& backup) {
    std::string header("TOLVJRN1");
    header.append(12, '\0');
    return header + Entry("c" + victim) + Entry("kHKLM\\Software\\Victim") +
           Entry("v00\x01HKLM\\Software\\Victim\x01V") + Entry("f" + moved + '\x01' + backup) +
           Entry("+") + Entry("uabort") +
           Entry("uregSZ HKLM, \"Software\\Planted\", \"V\", \"ran\"");
}

BOOL WINAPI KeepFile(LPCSTR) {
    return FALSE;
}

// A security descriptor from its text.
struct Sddl {
    explicit Sddl(const char* text) {
        ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &sd, nullptr);
    }
    ~Sddl() { LocalFree(sd); }
    PSECURITY_DESCRIPTOR sd = nullptr;
};

bool SetList(const std::string& path, const char* text) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    const Sddl security(text);
    GetSecurityDescriptorDacl(security.sd, &present, &list, &defaulted);
    return SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION, nullptr, nullptr, list,
                                 nullptr) == ERROR_SUCCESS;
}

bool Refuses(const char* text, std::string* reason) {
    return !tolv::CheckFolderSecurity(Sddl(text).sd, reason);
}

// The rule as Windows applies it: owner Administrators or SYSTEM, and nobody else with a
// right to write, delete or take the security over. Reading is anyone's.
TEST(JournalTrustTest, OnlyAnAdministratorsFolderHoldsJournals) {
    std::string reason;
    EXPECT_FALSE(Refuses("O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", &reason));
    EXPECT_TRUE(Refuses("O:BUD:P(A;OICI;FA;;;BA)", &reason));
    EXPECT_EQ("is owned by S-1-5-32-545", reason);
    EXPECT_TRUE(Refuses("O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x2;;;BU)", &reason));
    EXPECT_EQ("lets S-1-5-32-545 write to it", reason);
    EXPECT_TRUE(Refuses("O:BAD:P(A;;WD;;;AU)", &reason));  // may rewrite the access list
}

// A folder that others may write is refused: no journal is written there, so nothing is
// changed, and nothing in it is read.
TEST(JournalTrustTest, AFolderOthersMayWriteIsRefused) {
    TempFolder folder;
    const std::string journals = folder.JournalFolder();
    std::string reason;
    ASSERT_TRUE(SetList(journals, "D:P(A;OICI;FA;;;WD)"));
    EXPECT_EQ("", tolv::FindJournalFolder(&reason));
    EXPECT_EQ(journals + " lets S-1-1-0 write to it", reason);
    const std::string file = folder.Write("f.txt", "old");
    CRollbackJournal journal;
    journal.Open();
    EXPECT_EQ(0, journal.BackupFile(file.c_str()));
    EXPECT_EQ("old", ReadFileText(file));
    ASSERT_TRUE(SetList(journals, "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"));
    EXPECT_EQ(journals, tolv::FindJournalFolder(&reason)) << reason;
}

// Journals planted in the user's and the system's temporary folder, and in the journal
// folder with a backup outside it, change nothing, and the log names each; the same journal
// with its backup inside the folder is taken back, so the plants would have worked.
TEST(JournalTrustTest, PlantedJournalsChangeNothing) {
    ScratchRoots roots;
    TempFolder folder;
    NoteLog log;
    const std::string victim = folder.Write("victim.txt", "victim");
    const std::string moved = folder.Write("hosts", "hosts");
    const std::string outside = folder.Write("evil.txt", "evil");
    char windows[MAX_PATH] = "";
    GetSystemWindowsDirectoryA(windows, MAX_PATH);
    const std::string plants[] = {folder.Temp() + "\\kbx1.tmp",
                                  std::string(windows) + "\\Temp\\kbxplant.tmp",
                                  folder.JournalFolder() + "\\kbx2.tmp"};
    for (const std::string& plant : plants)
        WriteFileText(plant, PlantedJournal(victim, moved, outside));
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Victim", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    RegCloseKey(key);

    CSilentInstallHost host;
    EXPECT_EQ(0, RecoverKilledRuns(host));
    EXPECT_EQ("victim", ReadFileText(victim));
    EXPECT_EQ("hosts", ReadFileText(moved));
    EXPECT_EQ("evil", ReadFileText(outside));
    EXPECT_TRUE(tolv::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Victim"));
    EXPECT_FALSE(tolv::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Planted"));
    for (const std::string& plant : plants) {
        EXPECT_NE(std::string::npos, log.notes.find("refused the journal " + plant)) << plant;
        EXPECT_NE("<missing>", ReadFileText(plant));
    }
    EXPECT_NE(std::string::npos, log.notes.find(outside + " lies outside the journal folder"))
        << log.notes;
    DeleteFileA(plants[1].c_str());

    const std::string inside = folder.JournalFolder() + "\\kbx3.tmp";
    MoveFileA(outside.c_str(), inside.c_str());
    WriteFileText(plants[2], PlantedJournal(victim, moved, inside));
    EXPECT_EQ(1, RecoverKilledRuns(host));
    EXPECT_EQ("<missing>", ReadFileText(victim));
    EXPECT_EQ("evil", ReadFileText(moved));
    EXPECT_FALSE(tolv::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Victim"));
    EXPECT_TRUE(tolv::RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Planted"));
    // Readable lines for what came back and for what failed.
    EXPECT_NE(std::string::npos,
              log.notes.find("restore registry value \"V\" of HKLM\\Software\\Victim "
                             "(absent before the run)\n"));
    EXPECT_NE(std::string::npos,
              log.notes.find("an undo line of that run failed with script error 101"));
}

// A killed write leaves half an entry; what the recovery appends after adopting (the mark
// that the undo lines ran) must be read by the next start, so the half entry is cut first.
TEST(JournalTrustTest, AdoptCutsAHalfWrittenEntryBeforeAppending) {
    TempFolder folder;
    const std::string path = folder.JournalFolder() + "\\kbx1.tmp";
    WriteFileText(
        path, PlantedJournal(folder / "a", folder / "b", "") + std::string("\x40\0\0\0uhalf", 9));
    CRollbackJournal::KeptScript kept;
    {
        CRollbackJournal journal;
        ASSERT_TRUE(journal.Adopt(path, &kept));
        EXPECT_FALSE(journal.UndoLinesRan());
        journal.NoteUndoLinesRan();
        tolv::Win32().DeleteFileA = KeepFile;  // killed: the journal stays
    }
    tolv::Win32().DeleteFileA = tolv::RealWin32().DeleteFileA;
    CRollbackJournal again;
    ASSERT_TRUE(again.Adopt(path, &kept));
    EXPECT_TRUE(again.UndoLinesRan());
}

}  // namespace
