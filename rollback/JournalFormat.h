// The journal file's layout, shared by the code that writes it ahead (RollbackJournal.cpp),
// the code that replays it (JournalReplay.cpp) and the code that accepts a killed run's file
// (JournalAdopt.cpp). The format is described at the top of RollbackJournal.cpp.
#pragma once

#include <windows.h>

#include <string>

namespace tolv::journal {

constexpr char kSeparator = '\x01';
constexpr char kFileRecord = 'f';
constexpr char kDirectoryRecord = 'd';
constexpr char kRegistryRecord = 'r';
constexpr char kValueRecord = 'v';
constexpr char kTemporaryRecord = 'n';
constexpr char kMadeFolderRecord = 'm';
constexpr char kMadeKeyRecord = 'e';
constexpr char kCreatingRecord = 'c';
constexpr char kCreatingKeyRecord = 'k';
// Entries of the journal file that are no records.
constexpr char kBlockEntry = 'B';
constexpr char kBackupDone = '+';
constexpr char kBackupFailed = '-';
constexpr char kUndoLineEntry = 'u';
constexpr char kProcedureEntry = 'p';
constexpr char kUndoLinesRanEntry = 'R';
constexpr char kValueAheadEntry = 'w';
constexpr char kCommittedEntry = 'C';
constexpr char kReplayedEntry = 'D';
constexpr char kMagic[] = "TOLVJRN1";
constexpr size_t kMagicSize = 8;
constexpr size_t kHeaderSize = kMagicSize + 4 + 8;
constexpr DWORD kUnfinishedSize = 0xFFFFFFFF;
// Larger than any value the journal saves (a shared count, a list of restart-time work).
constexpr DWORD kMaxSavedValueSize = 16u << 20;
// Far above what any run writes (its saved keys and values, its records and undo lines).
constexpr DWORD kMaxJournalSize = 256u << 20;
// Larger than any value the journal saves (a shared count, a list of restart-time work).

// A number in lower-case hexadecimal without prefix or leading zeros.
std::string LowerHex(unsigned long value);
// Clears the read-only attribute of a file that is to be deleted or replaced: a backup keeps
// the attributes of the file it saved, and Windows refuses to delete or replace a read-only
// file.
void MakeWritable(const char* path);
bool IsInUseError(DWORD error);
// Little-endian 32-bit numbers of the file.
void PutNumber(std::string& out, DWORD value);
DWORD NumberAt(const std::string& in, size_t at);
bool Exists(const std::string& path);
// Whether the file at path starts as a journal does (read shared: a look, no more).
bool IsJournalFile(const std::string& path);

}  // namespace tolv::journal
