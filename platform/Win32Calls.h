// The Win32 calls that the rollback journal, the registry stream, the directory source and
// the file and registry commands make, gathered in one table of function pointers.
//
// Code that changes or reads the machine on the way to a backup or a restore calls through
// Win32() instead of calling the API directly. Production code never touches the table; a
// test swaps entries (see FailureInjector in tests/rollback/RollbackTestSupport.h) to count
// the calls and make the n-th one fail, and then checks that the rollback still puts
// everything back.
#pragma once

#include <windows.h>

namespace tolv {

struct Win32Calls {
    // Files and directories.
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::SetFilePointer) SetFilePointer;
    decltype(&::GetFileTime) GetFileTime;
    decltype(&::SetFileTime) SetFileTime;
    decltype(&::GetFileSize) GetFileSize;
    decltype(&::GetFileAttributesA) GetFileAttributesA;
    decltype(&::SetFileAttributesA) SetFileAttributesA;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::FindFirstFileA) FindFirstFileA;
    decltype(&::FindClose) FindClose;
    decltype(&::DeleteFileA) DeleteFileA;
    decltype(&::MoveFileA) MoveFileA;
    decltype(&::MoveFileExA) MoveFileExA;
    decltype(&::CreateDirectoryA) CreateDirectoryA;
    decltype(&::RemoveDirectoryA) RemoveDirectoryA;
    decltype(&::GetTempPathA) GetTempPathA;
    decltype(&::GetTempFileNameA) GetTempFileNameA;
    // Registry.
    decltype(&::RegOpenKeyExA) RegOpenKeyExA;
    decltype(&::RegCreateKeyExA) RegCreateKeyExA;
    decltype(&::RegCloseKey) RegCloseKey;
    decltype(&::RegEnumValueA) RegEnumValueA;
    decltype(&::RegEnumKeyExA) RegEnumKeyExA;
    decltype(&::RegSetValueExA) RegSetValueExA;
    // Added after the first set; kept last so the table's order stays stable.
    decltype(&::CopyFileA) CopyFileA;
    decltype(&::RegQueryValueExA) RegQueryValueExA;
    decltype(&::RegDeleteValueA) RegDeleteValueA;
    decltype(&::RegDeleteKeyA) RegDeleteKeyA;
};

// The table in use. Starts out holding the real functions.
Win32Calls& Win32();
// A table holding the real functions, for restoring entries and for wrappers to forward to.
const Win32Calls& RealWin32();

}  // namespace tolv
