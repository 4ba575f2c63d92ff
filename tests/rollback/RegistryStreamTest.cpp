// The registry tree stream, byte for byte, and its readers against every kind of bad input.
#include <gtest/gtest.h>

#include <cstring>

#include "rollback/RegistryStream.h"
#include "tests/rollback/RollbackTestSupport.h"

using namespace tolv;

namespace {

using Bytes = std::vector<unsigned char>;

// A read-write file in the test folder standing in for the journal file.
class StreamFile {
public:
    explicit StreamFile(const std::string& path) {
        handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    ~StreamFile() { CloseHandle(handle_); }
    HANDLE Get() const { return handle_; }
    void Rewind() { SetFilePointer(handle_, 0, nullptr, FILE_BEGIN); }
    Bytes All() {
        Rewind();
        Bytes bytes(GetFileSize(handle_, nullptr));
        DWORD read = 0;
        if (!bytes.empty()) ReadFile(handle_, bytes.data(), DWORD(bytes.size()), &read, nullptr);
        return bytes;
    }
    void Replace(const Bytes& bytes) {
        Rewind();
        SetEndOfFile(handle_);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(handle_, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        Rewind();
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
void PutStringValue(Bytes& out, const char* name, const char* value) {
    Put32(out, uint32_t(std::strlen(name) + 1));
    Put32(out, uint32_t(std::strlen(value) + 1));
    Put32(out, REG_SZ);
    PutText(out, name);
    PutText(out, value);
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

TEST_F(RegistryStreamTest, RootNamesMatchInAnyCaseAndOnlyTheShortForms) {
    EXPECT_EQ(RootKeyFromName("HKLM"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(RootKeyFromName("hkcu"), HKEY_CURRENT_USER);
    EXPECT_EQ(RootKeyFromName("HkCr"), HKEY_CLASSES_ROOT);
    EXPECT_EQ(RootKeyFromName("hku"), HKEY_USERS);
    EXPECT_EQ(RootKeyFromName("HKEY_LOCAL_MACHINE"), nullptr);
    EXPECT_EQ(RootKeyFromName("HKL"), nullptr);
    EXPECT_EQ(RootKeyFromName("HKLMX"), nullptr);
    EXPECT_EQ(RootKeyFromName(""), nullptr);
    EXPECT_STREQ(RootKeyName(HKEY_CLASSES_ROOT), "HKCR");
    EXPECT_STREQ(RootKeyName(HKEY_USERS), "HKU");
    EXPECT_EQ(RootKeyName(HKEY_CURRENT_CONFIG), nullptr);
}

TEST_F(RegistryStreamTest, EmptyKeyWithSubtreeIsSixteenBytes) {
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Empty", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegCloseKey(key);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "empty"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Absent"));

    ASSERT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "Empty", stream.Get(), true), 0u);
    Bytes expected;
    PutEndOfValues(expected);
    Put32(expected, 0);
    EXPECT_EQ(stream.All(), expected);
}

TEST_F(RegistryStreamTest, DwordAndDefaultValuesAreSavedAsRecordsAndRestored) {
    WriteDword(HKEY_CURRENT_USER, "Dev", "Count", 5);
    ASSERT_EQ(SaveRegTree(HKEY_CURRENT_USER, "Dev", stream.Get(), false), 0u);
    const Bytes count = {6, 0,   0,   0,   4,   0,   0, 0, 4, 0, 0,
                         0, 'C', 'o', 'u', 'n', 't', 0, 5, 0, 0, 0};
    Bytes expected = count;
    PutEndOfValues(expected);
    Put32(expected, 0);
    EXPECT_EQ(stream.All(), expected);

    stream.Replace({});
    WriteString(HKEY_CURRENT_USER, "Only", "", "default");
    ASSERT_EQ(SaveRegTree(HKEY_CURRENT_USER, "Only", stream.Get(), true), 0u);
    expected.clear();
    PutStringValue(expected, "", "default");  // name size 1
    PutEndOfValues(expected);
    Put32(expected, 0);
    EXPECT_EQ(stream.All(), expected);

    RegDeleteTreeA(HKEY_CURRENT_USER, "Only");
    stream.Rewind();
    ASSERT_EQ(RestoreRegTree(HKEY_CURRENT_USER, "Only", stream.Get()), 0u);
    EXPECT_EQ(GetRegString(HKEY_CURRENT_USER, "Only", nullptr), "default");
}

TEST_F(RegistryStreamTest, SubtreeNestsSubkeyBlocksAndRestoresADeletedKey) {
    WriteString(HKEY_LOCAL_MACHINE, "K", "P", "p");
    WriteString(HKEY_LOCAL_MACHINE, "K", "Q", "q");
    WriteString(HKEY_LOCAL_MACHINE, "K\\S", "W", "w");
    ASSERT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get(), true), 0u);
    Bytes expected;
    PutStringValue(expected, "P", "p");
    PutStringValue(expected, "Q", "q");
    PutEndOfValues(expected);
    Put32(expected, 2);
    PutText(expected, "S");
    PutStringValue(expected, "W", "w");
    PutEndOfValues(expected);
    Put32(expected, 0);  // end of S's subkeys
    Put32(expected, 0);  // end of K's subkeys
    EXPECT_EQ(stream.All(), expected);

    // Without the subtree only K's own values are saved.
    stream.Replace({});
    ASSERT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get(), false), 0u);
    Bytes own;
    PutStringValue(own, "P", "p");
    PutStringValue(own, "Q", "q");
    PutEndOfValues(own);
    Put32(own, 0);
    EXPECT_EQ(stream.All(), own);

    // Deeper levels come back too.
    stream.Replace({});
    WriteString(HKEY_LOCAL_MACHINE, "K\\S\\T\\U", "Deep", "d");
    ASSERT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get(), true), 0u);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "K");
    stream.Rewind();
    ASSERT_EQ(RestoreRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get()), 0u);
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "K", "Q"), "q");
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "K\\S", "W"), "w");
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "K\\S\\T\\U", "Deep"), "d");
    // The reader stopped exactly at the end of the block.
    EXPECT_EQ(SetFilePointer(stream.Get(), 0, nullptr, FILE_CURRENT), stream.All().size());
}

TEST_F(RegistryStreamTest, RestoreKeepsValuesAddedAfterTheSave) {
    WriteString(HKEY_LOCAL_MACHINE, "K", "Old", "1");
    ASSERT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get(), true), 0u);
    WriteString(HKEY_LOCAL_MACHINE, "K", "Old", "changed");
    WriteString(HKEY_LOCAL_MACHINE, "K", "Extra", "x");
    stream.Rewind();
    ASSERT_EQ(RestoreRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get()), 0u);
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "K", "Old"), "1");
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "K", "Extra"), "x");
}

TEST_F(RegistryStreamTest, ValueOverTheDataLimitEndsTheListWithMoreData) {
    WriteString(HKEY_LOCAL_MACHINE, "K", "A", "a");
    WriteValue(HKEY_LOCAL_MACHINE, "K", "Big", REG_BINARY, std::string(4097, 'B').data(), 4097);
    WriteString(HKEY_LOCAL_MACHINE, "K", "C", "c");
    WriteString(HKEY_LOCAL_MACHINE, "K\\Sub", "S", "s");
    EXPECT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get(), true), DWORD(ERROR_MORE_DATA));
    Bytes expected;
    PutStringValue(expected, "A", "a");
    PutEndOfValues(expected);
    Put32(expected, 0);  // the subkeys are not reached
    EXPECT_EQ(stream.All(), expected);

    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "K");
    stream.Rewind();
    ASSERT_EQ(RestoreRegTree(HKEY_LOCAL_MACHINE, "K", stream.Get()), 0u);
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "K", "A"), "a");
    EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, "K", "C"), "<missing>");

    // Exactly 4096 bytes still fit.
    stream.Replace({});
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
    auto restore = [&](const Bytes& bytes) {
        stream.Replace(bytes);
        return RestoreRegTree(HKEY_LOCAL_MACHINE, "Bad", stream.Get());
    };
    Bytes hugeName;
    Put32(hugeName, 0xFFFFFFFF);
    Put32(hugeName, 1);
    Put32(hugeName, REG_SZ);
    hugeName.resize(hugeName.size() + 300, 'n');
    EXPECT_EQ(restore(hugeName), DWORD(ERROR_INVALID_DATA));

    Bytes name261;
    Put32(name261, 261);
    Put32(name261, 0);
    Put32(name261, REG_SZ);
    name261.resize(name261.size() + 261, 0);
    EXPECT_EQ(restore(name261), DWORD(ERROR_INVALID_DATA));

    Bytes hugeData;
    Put32(hugeData, 2);
    Put32(hugeData, 4097);
    Put32(hugeData, REG_BINARY);
    PutText(hugeData, "v");
    hugeData.resize(hugeData.size() + 4097, 'd');
    EXPECT_EQ(restore(hugeData), DWORD(ERROR_INVALID_DATA));

    Bytes unterminated;
    Put32(unterminated, 2);
    Put32(unterminated, 0);
    Put32(unterminated, REG_SZ);
    unterminated.push_back('a');
    unterminated.push_back('b');
    PutEndOfValues(unterminated);
    Put32(unterminated, 0);
    EXPECT_EQ(restore(unterminated), DWORD(ERROR_INVALID_DATA));

    Bytes hugeSubkey;
    PutEndOfValues(hugeSubkey);
    Put32(hugeSubkey, 100000);
    hugeSubkey.resize(hugeSubkey.size() + 1000, 'k');
    EXPECT_EQ(restore(hugeSubkey), DWORD(ERROR_INVALID_DATA));

    // Nesting deeper than any registry: refused, not a stack overflow.
    Bytes deep;
    for (int i = 0; i < 2000; ++i) {
        PutEndOfValues(deep);
        Put32(deep, 2);
        PutText(deep, "d");
    }
    EXPECT_EQ(restore(deep), DWORD(ERROR_INVALID_DATA));
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Bad");
}

TEST_F(RegistryStreamTest, KeyThatCannotBeOpenedGetsOnlyTheEndMarker) {
    EXPECT_EQ(SaveRegTree(HKEY_LOCAL_MACHINE, "Absent", stream.Get(), true),
              DWORD(ERROR_FILE_NOT_FOUND));
    Bytes expected;
    Put32(expected, 0);
    EXPECT_EQ(stream.All(), expected);
}

}  // namespace
