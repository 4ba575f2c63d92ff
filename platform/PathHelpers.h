// Path and file helpers shared by the file and system commands, the directory source and the
// rollback journal.
//
// Paths are narrow texts (UTF-8, see engine/Text.h) in the Windows form: backslash separators, and
// a colon after a drive letter ("C:file" is relative to the drive's current directory but counts as
// absolute here, because nothing may be joined in front of it). A forward slash is an ordinary
// character. The text routines work on std::string, so no path however long can overrun
// anything; a path that Windows cannot take (260 UTF-16 units or more) simply fails the call
// that uses it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>
#include <string_view>

namespace tolv {

// Room for a path that Windows returns through a narrow call: each of its MAX_PATH UTF-16
// units takes at most three bytes in UTF-8.
inline constexpr DWORD kNarrowPathBufferSize = MAX_PATH * 3;

// Appends a backslash unless path is empty or already ends with a backslash or a colon.
std::string& AppendBackslash(std::string& path);
// Removes one trailing backslash, except from a lone backslash and from a drive root ("C:\").
std::string& StripBackslash(std::string& path);
// directory + name with exactly the separator AppendBackslash would give; an empty
// directory gives name alone.
std::string JoinPath(std::string_view directory, std::string_view name);
// Splits path after its last backslash or colon. directory (when given) gets the text before
// the split with StripBackslash applied ("C:\Dir\f" -> "C:\Dir", "C:\f" -> "C:\",
// "C:f" -> "C:", "f" -> ""); name (when given) the text after it.
void SplitPath(std::string_view path, std::string* directory, std::string* name);
// Appends extension (with a dot in front unless it has one) when the file-name part of path
// has no dot. Dots in directory names do not count.
void AddDefaultExtension(std::string& path, std::string_view extension);

// True when path (which may hold wildcards) matches anything, directories included. Fills
// record with the first match when given.
bool FileExists(const char* path, WIN32_FIND_DATAA* record = nullptr);
// True for an empty path, one ending with a backslash or a colon, and an existing directory.
bool IsDirectoryPath(const char* path);
// True when path starts with a backslash or its second character is a colon.
bool IsAbsolutePath(std::string_view path);

// Creates path and every missing directory above it, left to right from the second
// backslash on (the part before the first backslash, a drive or a server, is never
// created). "Already exists" counts as success at every step; *existed (when given) is set
// to true when the last directory was already there. False when path has no backslash or a
// CreateDirectoryA fails otherwise; the directories made up to then stay.
bool CreateDirectoryChain(const char* path, bool* existed = nullptr,
                          std::vector<std::string>* made = nullptr);

// -1, 0 or 1 as a is earlier than, equal to or later than b, after rounding both down to an
// even second (the resolution of FAT file times), so times within one two-second step are
// equal.
int CompareFileTimes(const FILETIME& a, const FILETIME& b);

// Creates an empty file with a unique "ktx" name in the temporary directory and returns its
// path (empty if the system could not make one).
std::string MakeTempFileName();

// Whether the system is of the Windows NT family (else Windows 95 or 98, whose restart-time
// file operations differ).
bool IsWindowsNT();
// Test seam: 1 or 0 makes IsWindowsNT answer that; -1 asks the system again.
void OverrideIsWindowsNT(int answer);

}  // namespace tolv
