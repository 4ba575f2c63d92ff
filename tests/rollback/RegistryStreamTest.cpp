// The registry tree stream, byte for byte, and its readers against every kind of bad input.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "rollback/RegistryStream.h"
#include "tests/rollback/RollbackTestSupport.h"

using namespace tolv;

namespace {

using Bytes = std::vector<unsigned char>;

// The stream in a file of the test folder, standing in for the journal file, opened afresh
// for each save and restore.
DWORD Save(const std::string& path, const char* key, bool subtree) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    const DWORD result = SaveRegTree(HKEY_LOCAL_MACHINE, key, file, subtree);
    CloseHandle(file);
    return result;
}
DWORD Restore(const std::string& path, const Bytes& bytes, const char* key) {
    WriteFileText(path, std::string(bytes.begin(), bytes.end()));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD result = RestoreRegTree(HKEY_LOCAL_MACHINE, key, file);
    CloseHandle(file);
    return result;
}
Bytes Content(const std::string& path) {
    const std::string text = ReadFileText(path);
    return Bytes(text.begin(), text.end());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes N(uint32_t n) {  // a 32-bit number, low byte first
    return {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
}
Bytes Z(const std::string& text) {  // text and its terminating zero
    return Bytes(text.c_str(), text.c_str() + text.size() + 1);
}
// A value record: name size, data size, type, then the given payload bytes.
Bytes Record(uint32_t nameSize, uint32_t dataSize, DWORD type, const Bytes& payload) {
    return N(nameSize) + N(dataSize) + N(type) + payload;
}
Bytes Text(const char* name, const char* value) {
    return Record(uint32_t(strlen(name) + 1), uint32_t(strlen(value) + 1), REG_SZ,
                  Z(name) + Z(value));
}
const Bytes kEndOfValues = N(0) + N(0) + N(0xFAAAAAAA);

class RegistryStreamTest : public ::testing::Test {
protected:
    ScratchRoots roots;
    TempFolder folder;
    const std::string stream = folder / "stream.bin";
};

// Each case sets up HKLM\K, saves it, and compares the stream byte for byte.
TEST_F(RegistryStreamTest, SavedStreamMatchesTheFormatByteForByte) {
    const struct {
        const char* what;
        std::function<void()> setUp;
        bool subtree;
        DWORD result;
        Bytes expected;
    } cases[] = {
        {"empty key with subtree",
         [] {
             WriteDword(HKEY_LOCAL_MACHINE, "K", "x", 0);
             RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "K", "x");
         },
         true, 0, kEndOfValues + N(0)},
        {"DWORD record", [] { WriteDword(HKEY_LOCAL_MACHINE, "K", "Count", 5); }, false, 0,
         Record(6, 4, REG_DWORD, Z("Count") + N(5)) + kEndOfValues + N(0)},
        {"nested subkeys",
         [] {
             WriteString(HKEY_LOCAL_MACHINE, "K", "P", "p");
             WriteString(HKEY_LOCAL_MACHINE, "K", "Q", "q");
             WriteString(HKEY_LOCAL_MACHINE, "K\\S", "W", "w");
         },
         true, 0,
         Text("P", "p") + Text("Q", "q") + kEndOfValues + N(2) + Z("S") + Text("W", "w") +
             kEndOfValues + N(0) + N(0)},
        {"value of exactly 4096 bytes",
         [] {
             WriteValue(HKEY_LOCAL_MACHINE, "K", "M", REG_BINARY, Bytes(4096, 'C').data(), 4096);
         },
         false, 0, Record(2, 4096, REG_BINARY, Z("M") + Bytes(4096, 'C')) + kEndOfValues + N(0)},
        {"value over 4096 bytes ends the list",
         [] {
             WriteString(HKEY_LOCAL_MACHINE, "K", "A", "a");
             WriteValue(HKEY_LOCAL_MACHINE, "K", "Big", REG_BINARY, Bytes(4097, 'B').data(), 4097);
             WriteString(HKEY_LOCAL_MACHINE, "K\\Sub", "S", "s");
         },
         true, DWORD(ERROR_MORE_DATA), Text("A", "a") + kEndOfValues + N(0)},
        {"missing key gets only the end marker", [] {}, true, DWORD(ERROR_FILE_NOT_FOUND), N(0)},
    };
    for (const auto& c : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "K");
        c.setUp();
        EXPECT_EQ(Save(stream, "K", c.subtree), c.result) << c.what;
        EXPECT_EQ(Content(stream), c.expected) << c.what;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "K");
}

TEST_F(RegistryStreamTest, EveryTruncationOfAValidStreamFailsCleanly) {
    WriteString(HKEY_LOCAL_MACHINE, "K", "P", "p");
    WriteString(HKEY_LOCAL_MACHINE, "K\\S", "W", "w");
    ASSERT_EQ(Save(stream, "K", true), 0u);
    const Bytes whole = Content(stream);
    for (size_t length = 0; length < whole.size(); ++length) {
        const Bytes part(whole.begin(), whole.begin() + long(length));
        EXPECT_NE(Restore(stream, part, "T"), 0u) << length;
    }
}

TEST_F(RegistryStreamTest, RecordsOutsideTheFormatAreRefusedBeforeReading) {
    Bytes deep;  // nesting deeper than any registry: refused, not a stack overflow
    for (int i = 0; i < 2000; ++i) deep = deep + kEndOfValues + N(2) + Z("d");
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"huge name size", Record(0xFFFFFFFF, 1, REG_SZ, Bytes(300, 'n'))},
        {"name of 261", Record(261, 0, REG_SZ, Bytes(261, 0))},
        {"data over 4096", Record(2, 4097, REG_BINARY, Z("v") + Bytes(4097, 'd'))},
        {"unterminated name", Record(2, 0, REG_SZ, {'a', 'b'}) + kEndOfValues + N(0)},
        {"huge subkey name", kEndOfValues + N(100000) + Bytes(1000, 'k')},
        {"too deep", deep},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Restore(stream, c.bytes, "Bad"), DWORD(ERROR_INVALID_DATA)) << c.what;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Bad");
}

}  // namespace
