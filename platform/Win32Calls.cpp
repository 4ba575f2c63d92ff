#include "platform/Win32Calls.h"

namespace tolv {

// Function-local statics: the imported functions' addresses are only known at load time, and
// other files' static initialisers may already call through the table.
const Win32Calls& RealWin32() {
    static const Win32Calls real = {
        ::CreateFileA,        ::ReadFile,     ::WriteFile,        ::SetFilePointer,
        ::GetFileTime,        ::SetFileTime,  ::GetFileSize,      ::GetFileAttributesA,
        ::SetFileAttributesA, ::CloseHandle,  ::FindFirstFileA,   ::FindClose,
        ::DeleteFileA,        ::MoveFileA,    ::MoveFileExA,      ::CreateDirectoryA,
        ::RemoveDirectoryA,   ::GetTempPathA, ::GetTempFileNameA, ::RegOpenKeyExA,
        ::RegCreateKeyExA,    ::RegCloseKey,  ::RegEnumValueA,    ::RegEnumKeyExA,
        ::RegSetValueExA,     ::CopyFileA,    ::RegQueryValueExA, ::RegDeleteValueA,
        ::RegDeleteKeyA,
    };
    return real;
}

Win32Calls& Win32() {
    static Win32Calls calls = RealWin32();
    return calls;
}

}  // namespace tolv
