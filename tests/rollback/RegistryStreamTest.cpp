// The registry tree stream, byte for byte, and its readers against every kind of bad input.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "rollback/RegistryStream.h"
#include "tests/rollback/RollbackTestSupport.h"

using namespace tolv;

namespace {

using Bytes = std::vector<unsigned char>;

// A read-write file in the test folder standing in for the journal file.
class StreamFile {
public:
    explicit StreamFile(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr)) {}
    ~StreamFile() { CloseHandle(handle_); }
    HANDLE Get() const { return handle_; }
    Bytes All() {
        Bytes bytes(GetFileSize(handle_, nullptr));
        DWORD read = 0;
        SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
        ReadFile(handle_, bytes.data(), DWORD(bytes.size()), &read, nullptr);
        return bytes;
    }
    void Replace(const Bytes& bytes) {
        DWORD written = 0;
        SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(handle_);
        WriteFile(handle_, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
    }

private:
    HANDLE handle_;
};

void Put32(Bytes& out, uint32_t n) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(n >> (8 * i)));
}
void PutText(Bytes& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text) + 1);
}
// A value record: name size, data size, type, then the given payload bytes.
Bytes Record(uint32_t nameSize, uint32_t dataSize, DWORD type, Bytes payload) {
    Bytes out;
    Put32(out, nameSize);
    Put32(out, dataSize);
    Put32(out, type);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}
void PutStringValue(Bytes& out, const char* name, const char* value) {
    Bytes payload;
    PutText(payload, name);
    PutText(payload, value);
    const Bytes record =
        Record(uint32_t(std::strlen(name) + 1), uint32_t(std::strlen(value) + 1), REG_SZ, payload);
    out.insert(out.end(), record.begin(), record.end());
}
void PutEndOfValues(Bytes& out) {
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0xFAAAAAAA);
}

class RegistryStreamTest : public ::testing::Test {
protected:
    ScratchRoots roots;
    TempFolder folder;
    StreamFile stream{folder / "stream.bin"};
};

// Each case sets up HKLM\K, saves it, and compares the stream byte for byte.
TEST_F(RegistryStreamTest, SavedStreamMatchesTheFormatByteForByte) {
    auto values = [](std::initializer_list<std::pair<const char*, const char*>> list) {
        Bytes out;
        for (const auto& v : list) PutStringValue(out, v.first, v.second);
        PutEndOfValues(out);
        return out;
    };
    auto cat = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    auto dword = [](uint32_t n) {
        Bytes out;
        Put32(out, n);
        return out;
    };
    auto nested = [] {
        WriteString(HKEY_LOCAL_MACHINE, "K", "P", "p");
        WriteString(HKEY_LOCAL_MACHINE, "K", "Q", "q");
        WriteString(HKEY_LOCAL_MACHINE, "K\\S", "W", "w");
    };
    const Bytes countRecord = {6, 0,   0,   0,   4,   0,   0, 0, 4, 0, 0,
                               0, 'C', 'o', 'u', 'n', 't', 0, 5, 0, 0, 0};
    const struct {
        const char* what;
        std::function<void()> setUp;
        bool subtree;
        DWORD result;
        Bytes expected;
    } cases[] = {
        {"empty key with subtree",
         [] {
             HKEY key;
             RegCreateKeyExA(HKEY_LOCAL_MACHINE, "K", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr);
             RegCloseKey(key);
         },
         true, 0, cat(values({}), dword(0))},
        {"DWORD record", [] { WriteDword(HKEY_LOCAL_MACHINE, "K", "Count", 5); }, false, 0,
         cat(cat(countRecord, values({})), dword(0))},
        {"nested subkeys", nested, true, 0,
         cat(cat(cat(values({{"P", "p"}, {"Q", "q"}}), dword(2)),
                 cat(Bytes{'S', 0}, values({{"W", "w"}}))),
             cat(dword(0), dword(0)))},
        {"value over 4096 bytes ends the list",
         [] {
             WriteString(HKEY_LOCAL_MACHINE, "K", "A", "a");
             WriteValue(HKEY_LOCAL_MACHINE, "K", "Big", REG_BINARY, std::string(4097, 'B').data(),
                        4097);
             WriteString(HKEY_LOCAL_MACHINE, "K\\Sub", "S", "s");
         },
         true, DWORD(ERROR_MORE_DATA), cat(values({{"A", "a"}}), dword(0))},
        {"missing key gets only the end marker", [] {}, true, DWORD(ERROR_FILE_NOT_FOUND),
         dword(0)},
    };
    for (const auto& c : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "K");
        stream.Replace({});
        c.setUp();
        EXPECT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get(), c.subtree), c.result)
            << c.what;
        EXPECT_EQ(stream.All(), c.expected) << c.what;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "K");
}

TEST_F(RegistryStreamTest, ExactlyTheDataLimitStillFits) {
    WriteValue(HKEY_LOCAL_MACHINE, "Fits", "Max", REG_BINARY, std::string(4096, 'C').data(), 4096);
    EXPECT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "Fits", stream.Get(), false), 0u);
    EXPECT_EQ(stream.All().size(), 12u + 4 + 4096 + 12 + 4);
}

TEST_F(RegistryStreamTest, EveryTruncationOfAValidStreamFailsCleanly) {
    WriteString(HKEY_LOCAL_MACHINE, "K", "P", "p");
    WriteString(HKEY_LOCAL_MACHINE, "K\\S", "W", "w");
    ASSERT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get(), true), 0u);
    const Bytes whole = stream.All();
    for (size_t length = 0; length < whole.size(); ++length) {
        stream.Replace(Bytes(whole.begin(), whole.begin() + long(length)));
        EXPECT_NE(RestoreRegTree(HKEY_LOCAL_MACHINE, "T", stream.Get()), 0u) << length;
    }
}

TEST_F(RegistryStreamTest, RecordsOutsideTheFormatAreRefusedBeforeReading) {
    Bytes unterminated = Record(2, 0, REG_SZ, {'a', 'b'});
    PutEndOfValues(unterminated);
    Put32(unterminated, 0);
    Bytes hugeSubkey;
    PutEndOfValues(hugeSubkey);
    Put32(hugeSubkey, 100000);
    hugeSubkey.resize(hugeSubkey.size() + 1000, 'k');
    // Nesting deeper than any registry: refused, not a stack overflow.
    Bytes deep;
    for (int i = 0; i < 2000; ++i) {
        PutEndOfValues(deep);
        Put32(deep, 2);
        PutText(deep, "d");
    }
    Bytes hugeData = Record(2, 4097, REG_BINARY, {'v', 0});
    hugeData.resize(hugeData.size() + 4097, 'd');
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"huge name size", Record(0xFFFFFFFF, 1, REG_SZ, Bytes(300, 'n'))},
        {"name of 261", Record(261, 0, REG_SZ, Bytes(261, 0))},
        {"data over 4096", hugeData},
        {"unterminated name", unterminated},
        {"huge subkey name", hugeSubkey},
        {"too deep", deep},
    };
    for (const auto& c : cases) {
        stream.Replace(c.bytes);
        EXPECT_EQ(RestoreRegTree(HKEY_LOCAL_MACHINE, "Bad", stream.Get()),
                  DWORD(ERROR_INVALID_DATA))
            << c.what;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Bad");
}

}  // namespace
