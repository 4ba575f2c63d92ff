// Registry reads, key-tree deletion and the shared-file reference counts of Windows.
//
// The registry and file commands and the uninstall flow read values and keep SharedDLLs
// counts through these helpers; each opens what it needs and closes it on every path.
// Windows error codes are returned, never thrown: a failed registry call is something a
// script reports, not a fault of the script.
#pragma once

#include <windows.h>

#include <string>

namespace tolv {

// The key under HKEY_LOCAL_MACHINE that holds one count per shared file, named by its path.
inline constexpr const char kSharedDllsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// A value read as text fits the 260-character buffer of the script language: at most 260
// characters with its terminator. The bytes are read into room for that many characters
// of any script.
inline constexpr size_t kRegTextMaxChars = MAX_PATH;
inline constexpr DWORD kRegTextBufferSize = MAX_PATH * 4;

// Reads a string value (name nullptr or "" for the key's default value) into out. REG_SZ is
// taken as stored; REG_EXPAND_SZ has its environment references expanded. Returns 0, or a
// Windows error code: the open or query failure (ERROR_FILE_NOT_FOUND for a missing key or
// value, ERROR_MORE_DATA for a text that does not fit 260 characters with its terminator, before
// or after expansion), ERROR_BADKEY
// (1010) for a value of another type. out is changed only when 0 is returned.
LONG ReadRegString(std::string& out, HKEY root, const char* subkey, const char* name);

// Reads a REG_DWORD value. Returns 0, the open or query error, or ERROR_BADKEY for a value
// of another type (a 4-byte binary value included). out is changed only when 0 is returned.
LONG ReadRegDword(DWORD& out, HKEY root, const char* subkey, const char* name);

// Deletes subkey of root with everything below it. At most 512 subkeys are taken per level;
// a key whose children could not all go stays. Returns 1 when subkey itself was deleted.
int DeleteRegTree(HKEY root, const char* subkey);

// Changes the SharedDLLs count of path by change and returns the new count, or -1 when the
// key cannot be opened or created or the value cannot be read or has a type other than REG_SZ (read
// as a decimal number) and REG_DWORD. A change of 0 only reads the count (0 when there is none). A
// file that existed before without a count is taken to have had one user. The new count is clamped
// to 0..INT_MAX and written as REG_DWORD; a count of 0 is removed unless keepZero is set.
int ChangeSharedDllCount(const char* path, int change, bool fileExisted, bool keepZero);

}  // namespace tolv
