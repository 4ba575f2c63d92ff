// Registry keys saved into, and recreated from, a binary stream in an open file: the format
// of the saved keys in the rollback journal's file, and the root-name helpers that the
// journal and the registry commands share.
//
// Stream format (all numbers unsigned 32-bit little-endian; texts ANSI with their zero byte,
// which their size counts):
//
//   key block      := value record* end-of-values subkey record* end-of-subkeys
//   value record   := nameSize(1..260) dataSize(0..4096) type name[nameSize] data[dataSize]
//   end-of-values  := 0 0 0xFAAAAAAA                        (12 bytes; known by its type)
//   subkey record  := nameSize(2..260) name[nameSize] key block
//   end-of-subkeys := 0                                      (4 bytes)
//
// The default value has the empty name (size 1). An empty key saved with its subtree is the
// 16 bytes 0, 0, 0xFAAAAAAA, 0.
//
// Readers trust nothing in the stream: a size beyond the limits above, a name without its
// zero byte, a stream that ends inside a record or blocks nested deeper than the registry
// allows end the restore with an error before anything is read into a buffer too small.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

namespace tolv {

constexpr std::uint32_t kEndOfValuesType = 0xFAAAAAAA;
constexpr DWORD kMaxStreamNameSize = 260;  // name with its zero byte
constexpr DWORD kMaxStreamDataSize = 4096;
// Deeper nesting than the registry itself allows is taken as a corrupt stream.
constexpr int kMaxStreamDepth = 512;

// The root for "HKLM", "HKCU", "HKCR" or "HKU" in any letter case; nullptr for any other
// text (also for the long names such as "HKEY_LOCAL_MACHINE").
HKEY RootKeyFromName(std::string_view name);
// "HKLM", "HKCU", "HKCR" or "HKU" for one of the four roots; nullptr for any other key.
const char* RootKeyName(HKEY root);
// Whether root\subkey can be opened for reading.
bool RegKeyExists(HKEY root, const char* subkey);

// Each returns 0 or a Windows error code and leaves the file position after what it wrote
// or read.

// Writes the key block of root\subkey; with subtree, every subkey to any depth. A key that
// cannot be opened gets only the end-of-subkeys marker and its error. A value whose name or
// data is too long for the format ends the key's value list properly and reports
// ERROR_MORE_DATA; the values before it are saved.
DWORD SaveRegTree(HKEY root, const char* subkey, HANDLE file, bool subtree);
// Writes the value list of an open key with its end-of-values record.
DWORD SaveRegValues(HKEY key, HANDLE file);
// Reads one key block and recreates it as root\subkey: sets every saved value, creates every
// saved subkey, deletes nothing. ERROR_INVALID_DATA for a record outside the format,
// ERROR_HANDLE_EOF for a stream that ends inside one.
DWORD RestoreRegTree(HKEY root, const char* subkey, HANDLE file);
// Reads one value list up to its end-of-values record and sets each value in key.
DWORD RestoreRegValues(HKEY key, HANDLE file);

}  // namespace tolv
