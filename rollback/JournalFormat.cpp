#include "rollback/JournalFormat.h"

#include "platform/Win32Calls.h"

namespace tolv::journal {

std::string LowerHex(unsigned long value) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    std::string out;
    while (n > 0) out += digits[--n];
    return out;
}

void MakeWritable(const char* path) {
    const DWORD attributes = tolv::Win32().GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        tolv::Win32().SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool IsInUseError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

void PutNumber(std::string& out, DWORD value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

DWORD NumberAt(const std::string& in, size_t at) {
    DWORD value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
    return value;
}

bool Exists(const std::string& path) {
    return tolv::Win32().GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsJournalFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char magic[kMagicSize] = {};
    DWORD read = 0;
    const bool journal = ReadFile(file, magic, kMagicSize, &read, nullptr) && read == kMagicSize &&
                         std::string(magic, kMagicSize) == kMagic;
    CloseHandle(file);
    return journal;
}

}  // namespace tolv::journal
